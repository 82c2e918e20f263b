#include "tags/riff/container_audio.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "tags/byte_io.h"
#include "tags/riff/riff_chunks.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

// DSDIFF: chunks at the top level and property chunks inside "PROP".
constexpr int MaxDFFChunks = 8;
constexpr int MaxDFFPropertyChunks = 5;
// A "PROP" chunk is small (rate, channels, compression, ...); a larger one is not read.
constexpr uint64_t MaxDFFPropSize = 1 << 20;

// Reads Count bytes at Pos into Buf; bytes beyond the end read as zero.
bool ReadAt(TStream& S, int64_t Pos, uint8_t* Buf, int64_t Count) {
    std::memset(Buf, 0, (size_t)Count);
    const TStreamBytes B = ::ReadAt(S, Pos, Count);
    if (B.size()) std::memcpy(Buf, B.data(), B.size());
    return (int64_t)B.size() == Count;
}

uint16_t LE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t LE32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }
uint64_t LE64(const uint8_t* p) { return LE32(p) | ((uint64_t)LE32(p + 4) << 32); }
uint16_t BE16(const uint8_t* p) { return (uint16_t)((p[0] << 8) | p[1]); }
uint32_t BE32(const uint8_t* p) { return ((uint32_t)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint64_t BE64(const uint8_t* p) { return ((uint64_t)BE32(p) << 32) | BE32(p + 4); }

// Rounds halves to the even neighbour; non-finite or negative values give 0.
template <typename T>
T RoundTo(double V) {
    if (!std::isfinite(V) || V <= 0) return 0;
    const double r = std::nearbyint(V);
    return r >= (double)std::numeric_limits<T>::max() ? std::numeric_limits<T>::max() : (T)r;
}

double Divide(double A, double B) { return B != 0 && std::isfinite(A / B) ? A / B : 0; }

// The first chunk ID between Start and Limit. The chunk sought counts even
// when it claims more than the stream holds (a
// sound chunk of a file cut short, or written before its length was known);
// the caller uses what is there.
bool FindChunkAnySize(TStream& S, const riff::TFormHeader& F, int64_t Start, int64_t Limit, const char* ID,
                      riff::TChunk& Out) {
    riff::TChunkWalker W(S, F, Start, Limit);
    riff::TChunk C;
    while (W.Next(C)) {
        if (C.Is(ID)) {
            Out = C;
            return true;
        }
    }
    return false;
}

// What of a chunk's declared size lies inside the stream.
uint64_t InStream(TStream& S, const riff::TChunk& C) {
    const int64_t left = S.Size() - C.DataPos();
    return left <= 0 ? 0 : std::min<uint64_t>(C.Size, (uint64_t)left);
}

// RIFF / RF64 WAVE: "RIFF"|"RF64", size, "WAVE", ["ds64" (RF64): sizes and
// the sample count], chunks; "fmt " (format), "data" (samples).
void ReadWave(TStream& S, const riff::TFormHeader& F, TContainerAudio& A) {
    if (F.FormType != "WAVE") return;
    const int64_t end = S.Size();
    const bool rf64 = F.Kind == riff::TFormKind::RF64;
    uint64_t ds64Samples = 0;
    if (rf64 && F.HasDS64) {
        uint8_t d[8];
        ReadAt(S, 12 + 8 + 16, d, 8);
        ds64Samples = LE64(d);
    }
    riff::TChunk fmt, data;
    // The walk goes on past a declared form size that falls short.
    if (!FindChunkAnySize(S, F, F.FirstChunk, end, "fmt ", fmt)) return;
    uint8_t f[40] = {};
    ReadAt(S, fmt.DataPos(), f, std::min<int64_t>(40, (int64_t)InStream(S, fmt)));
    TWaveFmt& W = A.WAVInfo;
    W.fmtSize = (uint32_t)std::min<uint64_t>(fmt.Size, UINT32_MAX);
    W.FormatTag = LE16(f);
    W.Channels = LE16(f + 2);
    W.SamplesPerSec = LE32(f + 4);
    W.AvgBytesPerSec = LE32(f + 8);
    W.BlockAlign = LE16(f + 12);
    W.BitsPerSample = LE16(f + 14);
    if (W.FormatTag == 0xFFFE && fmt.Size >= 40) {
        W.cbSize = LE16(f + 16);
        W.ValidBitsPerSample = LE16(f + 18);
        W.ChannelMask = LE32(f + 20);
        std::memcpy(W.SubFormat, f + 24, 16);
    }
    uint64_t dataSize = 0;
    if (FindChunkAnySize(S, F, fmt.End(), end, "data", data) || FindChunkAnySize(S, F, F.FirstChunk, end, "data", data))
        dataSize = InStream(S, data);
    A.SampleCount = rf64 && ds64Samples != 0 ? (int64_t)std::min<uint64_t>(ds64Samples, INT64_MAX)
                    : W.BlockAlign           ? (int64_t)(dataSize / W.BlockAlign)
                                             : 0;
    A.PlayTime = Divide((double)A.SampleCount, W.SamplesPerSec);
    A.BitRate = W.AvgBytesPerSec / 125;
}

// AIFF / AIFC: "FORM", size, "AIFF"|"AIFC", chunks (big-endian sizes, padded
// to even): "COMM" (channels, frames, sample size, 80-bit rate[, AIFC
// compression type and name]), "SSND" (sound data).
void ReadAIFF(TStream& S, const riff::TFormHeader& F, TContainerAudio& A) {
    const bool aifc = F.FormType == "AIFC";
    if (!aifc && F.FormType != "AIFF") return;
    // The walk ends at the form's end, which never lies past the stream's.
    const int64_t end = F.FormEnd;
    riff::TChunk comm, ssnd;
    TAIFFInformation& I = A.AIFFInfo;
    if (FindChunkAnySize(S, F, F.FirstChunk, end, "COMM", comm)) {
        uint8_t c[18 + 4 + 256] = {};
        ReadAt(S, comm.DataPos(), c, std::min<int64_t>(sizeof c, (int64_t)InStream(S, comm)));
        I.Channels = BE16(c);
        I.SampleFrames = BE32(c + 2);
        I.SampleSize = BE16(c + 6);
        I.SampleRate = DecodeExtended80(c + 8);
        if (aifc && comm.Size >= 22) {
            I.CompressionID.assign((const char*)c + 18, 4);
            const size_t n = std::min<uint64_t>(c[22], comm.Size >= 23 ? comm.Size - 23 : 0);
            I.Compression = text::AnsiToUtf8(std::string_view((const char*)c + 23, n));
        }
    }
    uint64_t d = 0;
    if (FindChunkAnySize(S, F, F.FirstChunk, end, "SSND", ssnd)) d = ssnd.Size + (ssnd.Size & 1);
    A.PlayTime = Divide(I.SampleFrames, I.SampleRate);
    A.BitRate =
        A.PlayTime > 0 ? (uint32_t)std::min<double>(std::trunc((double)d / (A.PlayTime * 125) + 0.5), UINT32_MAX) : 0;
}

// DSF: "DSD " chunk, then "fmt " (size u64, version, format id, channel
// type, channels, sampling frequency, bits, sample count u64, block size per
// channel), little-endian.
void ReadDSF(TStream& S, const riff::TFormHeader& F, TContainerAudio& A) {
    riff::TChunk fmt;
    if (!FindChunkAnySize(S, F, F.FirstChunk, S.Size(), "fmt ", fmt)) return;
    uint8_t f[40];
    ReadAt(S, fmt.DataPos(), f, 40);
    TDSFInfo& D = A.DSFInfo;
    D.FormatVersion = LE32(f);
    D.FormatID = LE32(f + 4);
    const uint32_t type = LE32(f + 8);
    D.ChannelType = type >= 1 && type <= 7 ? (TDSFChannelType)type : dsfctUnknown;
    D.ChannelNumber = LE32(f + 12);
    D.SamplingFrequency = LE32(f + 16);
    D.BitsPerSample = LE32(f + 20);
    D.SampleCount = LE64(f + 24);
    D.BlockSizePerChannel = LE32(f + 32);
    D.PlayTime = Divide((double)D.SampleCount, D.SamplingFrequency);
    A.PlayTime = D.PlayTime;
    A.SampleCount = (int64_t)std::min<uint64_t>(D.SampleCount, INT64_MAX);
    A.BitRate = D.BitRate();
}

}  // namespace

uint32_t TDSFInfo::BitRate() const {
    if (!(PlayTime > 0)) return 0;
    return RoundTo<uint32_t>((double)SampleCount * ChannelNumber * BitsPerSample / 8 / PlayTime / 125);
}

double DecodeExtended80(const uint8_t B[10]) {
    const int exponent = ((B[0] & 0x7F) << 8) | B[1];
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | B[i];
    if (exponent == 0 && mantissa == 0) return 0;
    if (exponent == 0x7FFF) return 0;  // infinity / NaN: no rate
    const double v = std::ldexp((double)mantissa, exponent - 16383 - 63);
    return (B[0] & 0x80) ? -v : v;
}

// DSDIFF ("FRM8", size u64, "DSD ", chunks of ID + u64 size, big-endian, odd
// sizes padded by one byte): "FVER" version, "PROP" with "SND " property
// chunks ("FS  " rate, "CHNL" channels, "CMPR" compression, "ABSS"), the
// sound data "DSD " (plain) or "DST " (compressed, its "FRTE" giving frame
// count and rate), and "DSTI", "COMT", "DIIN", "MANF", "ID3 " skipped.
bool TDFFInfo::LoadFromStream(TStream& S) {
    const int64_t size = S.Size();
    const int64_t e = ID3v2PrefixSize(S);
    uint8_t h[16];
    if (!ReadAt(S, e, h, 16) || std::memcmp(h, "FRM8", 4) != 0 || std::memcmp(h + 12, "DSD ", 4) != 0) return false;
    int64_t pos = e + 16;
    for (int n = 0; n < MaxDFFChunks && size - pos >= 12; ++n) {
        uint8_t c[12];
        if (!ReadAt(S, pos, c, 12)) break;
        const uint64_t len = BE64(c + 4);
        const int64_t data = pos + 12;
        if (len > (uint64_t)(size - data)) break;  // a chunk the file cannot hold ends the walk
        auto is = [&](const char* ID) { return std::memcmp(c, ID, 4) == 0; };
        if (is("FVER")) {
            uint8_t v[4];
            ReadAt(S, data, v, 4);
            static constexpr const char* Versions[] = {"1.0", nullptr, nullptr, "1.3", "1.4", "1.5"};
            FormatVersion = v[0] == 1 && v[1] <= 5 && Versions[v[1]] ? Versions[v[1]] : "";
        } else if (is("PROP")) {
            if (len <= MaxDFFPropSize) {
                S.Seek(data);
                const std::vector<uint8_t> prop = S.ReadBytes((int64_t)len);
                TByteReader r(prop);
                try {
                    if (r.startsWith("SND ")) {
                        r.skip(4);
                        for (int k = 0; k < MaxDFFPropertyChunks && r.remaining() >= 12; ++k) {
                            const std::string id = r.str(4);
                            const uint64_t plen = r.u64be();
                            if (plen > r.remaining()) break;
                            TByteReader p = r.sub((size_t)plen);
                            if (plen & 1 && !r.atEnd()) r.skip(1);
                            if (id == "FS  ") {
                                SampleRate = p.u32be();
                            } else if (id == "CHNL") {
                                ChannelNumber = p.u16be();
                            } else if (id == "CMPR") {
                                const std::string type = p.str(4);
                                if (type == "DSD ")
                                    CompressionName = "Not Compressed";
                                else if (type == "DST ")
                                    CompressionName = "DST Encoded";
                            } else if (id != "ABSS") {
                                break;
                            }
                        }
                    }
                } catch (const ETagFormat&) {
                    // A property cut short: what was read stays.
                }
            }
        } else if (is("DSD ")) {
            SoundDataLength = len;
            // The exact count, so the play time keeps its fraction of a second.
            SampleCount = ChannelNumber ? len * 8 / ChannelNumber : 0;
            PlayTime = Divide((double)SampleCount, SampleRate);
            BitRate = PlayTime > 0 ? RoundTo<uint32_t>((double)SampleCount * ChannelNumber / 8 / PlayTime / 125) : 0;
            Ratio = 1;
        } else if (is("DST ")) {
            SoundDataLength = len;
            uint8_t f[18];
            if (len >= 18 && ReadAt(S, data, f, 18) && std::memcmp(f, "FRTE", 4) == 0) {
                DSTFramesCount = BE32(f + 12);
                DSTFramesRate = BE16(f + 16);
                PlayTime = Divide(DSTFramesCount, DSTFramesRate);
                SampleCount = RoundTo<uint64_t>(SampleRate * PlayTime);
                BitRate =
                    PlayTime > 0 ? RoundTo<uint32_t>((double)SampleCount * ChannelNumber / 8 / PlayTime / 125) : 0;
                Ratio = Divide((double)SoundDataLength, ChannelNumber / 8.0 * (double)SampleCount);
            }
        } else if (!(is("DSTI") || is("COMT") || is("DIIN") || is("MANF") || is("ID3 "))) {
            break;
        }
        const uint64_t step = len + (len & 1);
        if (step > (uint64_t)(size - data)) break;
        pos = data + (int64_t)step;
    }
    return true;
}

bool TDFFInfo::LoadFromFile(const std::string& FileName) {
    auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    return f && LoadFromStream(*f);
}

TContainerAudio ReadContainerAudio(TStream& S, TSourceFileType Type) {
    TContainerAudio A;
    const int64_t saved = S.Position();
    try {
        A.Type = Type;
        const riff::TFormHeader F = riff::ProbeForm(S);
        switch (Type) {
            case sftWAVE:
            case sftRF64:
                if (F.Kind == riff::TFormKind::RIFF || F.Kind == riff::TFormKind::RF64) ReadWave(S, F, A);
                break;
            case sftAIFF:
                if (F.Kind == riff::TFormKind::AIFF) ReadAIFF(S, F, A);
                break;
            case sftDSF:
                if (F.Kind == riff::TFormKind::DSF) ReadDSF(S, F, A);
                break;
            case sftDFF: A.DFFInfo.LoadFromStream(S); break;
            default: break;
        }
    } catch (const ETagFormat&) {
        A = TContainerAudio{};
        A.Type = Type;
    }
    S.Seek(saved);
    return A;
}
