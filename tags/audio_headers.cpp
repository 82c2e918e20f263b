#include "tags/audio_headers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "tags/byte_io.h"
#include "tags/riff/riff_chunks.h"

namespace {

// Exactly Count bytes at Pos, or the reader fails.
TStreamBytes ReadBlock(TStream& Stream, int64_t Pos, int64_t Count) {
    TStreamBytes Bytes = ReadAt(Stream, Pos, Count);
    if (!Bytes.has(size_t(Count))) throw ETagFormat("short header");
    return Bytes;
}

int64_t ClampToInt64(uint64_t V) {
    return V > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max() : int64_t(V);
}

// round(x), for the kbit/s figures of the header readers; 0 for what is no
// finite positive number.
double RoundedRate(double X) {
    if (!std::isfinite(X) || X <= 0) return 0;
    return std::round(X);
}

// ---- WavPack ----

// Sample rates of the WavPack 4 rate index (flag bits 23 to 27).
constexpr int32_t WavPackRates[15] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                      32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr int32_t WavPackDefaultRate = 44100;
constexpr int64_t WavPack4HeaderSize = 32;
constexpr int64_t WavPack3HeaderSize = 36;
// The block following the version 4 header is searched for the
// configuration byte that names the encoder mode.
constexpr int64_t WavPackModeSearchSize = 4096;
// A version 3 file's chunks are walked at most this far (each "fmt " chunk
// is read, and a hostile file could hold millions of them).
constexpr int MaxWavPack3Chunks = 1024;
static_assert(MaxWavPack3Chunks <= riff::MaxChunks);
// A version 4 header gives this total when the length is not known.
constexpr uint32_t WavPackUnknownLength = 0xFFFFFFFF;

// ---- Musepack ----

constexpr uint32_t MusepackRates[4] = {44100, 48000, 37800, 32000};
constexpr int64_t MusepackSV7HeaderSize = 32;
// What the SV8 stream header needs after "MPCKSH": a few variable-length
// numbers (at most MusepackMaxVarBytes each), the CRC and three bytes.
constexpr int64_t MusepackSV8HeaderSpan = 64;
constexpr int MusepackMaxVarBytes = 10;
constexpr int32_t MusepackSamplesPerFrame = 1152;

// ---- Monkey's Audio ----

constexpr int64_t MonkeyOldHeaderSize = 30;
constexpr int64_t MonkeyDescriptorSize = 52;
constexpr int64_t MonkeyNewHeaderSize = 24;

}  // namespace

// ============================================================ WavPack

void TWAVPackfile::Reset() { *this = TWAVPackfile(); }

bool TWAVPackfile::LoadFromFile(const std::string& FileName, int64_t TagSize) {
    Reset();
    auto Stream = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!Stream) return false;
    return LoadFromStream(*Stream, TagSize);
}

bool TWAVPackfile::LoadFromStream(TStream& Stream, int64_t TagSize) {
    Reset();
    FTagSize = TagSize;
    FFileSize = Stream.Size();
    try {
        TStreamBytes Magic = ReadBlock(Stream, 0, 4);
        if (Magic.startsWith("RIFF"))
            ReadVersion3(Stream);
        else if (Magic.startsWith("wvpk"))
            ReadVersion4(Stream);
    } catch (const ETagFormat&) {
        FValid = false;
    }
    return FValid;
}

// Version 4 block header (little-endian): "wvpk", block size, version (16),
// track, index, total samples, block index, block samples, flags, checksum.
void TWAVPackfile::ReadVersion4(TStream& Stream) {
    TStreamBytes R = ReadBlock(Stream, 0, WavPack4HeaderSize);
    if (R.str(4) != "wvpk") return;
    R.u32le();  // block size
    const uint16_t Version = R.u16le();
    R.skip(2);  // track, index
    const uint32_t TotalSamples = R.u32le();
    R.u32le();  // block index
    const uint32_t BlockSamples = R.u32le();
    const uint32_t Flags = R.u32le();

    FValid = true;
    FVersion = Version >> 8;
    FChannels = (Flags & 4) ? 1 : 2;
    FBits = int32_t((Flags & 3) + 1) * 8;
    // All bits set means the encoder did not know the length (a stream
    // piped in): no sample count, rather than 27 hours of audio.
    FSamples = TotalSamples == WavPackUnknownLength ? 0 : TotalSamples;
    FBSamples = BlockSamples;
    const uint32_t RateIndex = (Flags >> 23) & 0x1F;
    FSampleRate = RateIndex < 15 ? WavPackRates[RateIndex] : WavPackDefaultRate;
    FEncoder = (Flags & 8) ? "hybrid lossy" : "lossless";
    FDuration = double(FSamples) / FSampleRate;
    if (FDuration > 0) FBitrate = double(FFileSize - FTagSize) * 8 / FDuration / 1000;

    TStreamBytes After = ReadAt(Stream, WavPack4HeaderSize, WavPackModeSearchSize);
    const uint8_t* Block = After.data();
    for (size_t I = 0; I + 2 < After.size(); ++I) {
        if (Block[I] != 0x65 || Block[I + 1] != 0x02) continue;
        switch (Block[I + 2]) {
            case 8: FEncoder += " (high)"; break;
            case 0: FEncoder += " (normal)"; break;
            case 2: FEncoder += " (fast)"; break;
            case 6: FEncoder += " (very fast)"; break;
            default: break;
        }
        break;
    }
}

// Version 3: a RIFF WAVE file whose "fmt " chunk gives the PCM format and
// whose "data" chunk begins with a 36-byte "wvpk" header: magic, size (32),
// version (16), bits (16), flags (16), shift (16), total samples (32), ...
void TWAVPackfile::ReadVersion3(TStream& Stream) {
    const riff::TFormHeader Form = riff::ProbeForm(Stream);
    if (Form.Kind != riff::TFormKind::RIFF) return;
    riff::TChunkWalker Walker(Stream, Form, Form.FirstChunk, Stream.Size());
    riff::TChunk C;
    bool HaveFormat = false;
    for (int Chunks = 0; Chunks < MaxWavPack3Chunks && Walker.Next(C); ++Chunks) {
        if (C.Size == 0) break;
        if (C.Is("fmt ")) {
            if (C.Size >= 16) {
                TStreamBytes F = ReadBlock(Stream, C.DataPos(), 16);
                FFormatTag = F.u16le();
                FChannels = F.u16le();
                FSampleRate = int32_t(F.u32le());
                const uint32_t BytesPerSecond = F.u32le();
                F.u16le();  // block align
                FBits = F.u16le();
                FBitrate = double(BytesPerSecond) / 125;
                FValid = true;
                HaveFormat = true;
            }
            // A chunk reaching past the end ends the walk.
            if (C.Overruns) break;
            continue;
        }
        if (C.Is("data") && HaveFormat) {
            TStreamBytes W = ReadAt(Stream, C.DataPos(), WavPack3HeaderSize);
            if (W.has(WavPack3HeaderSize) && W.startsWith("wvpk")) {
                W.skip(4);
                const uint32_t HeaderSize = W.u32le();
                const uint16_t Version = W.u16le();
                const uint16_t Bits = W.u16le();
                const uint16_t Flags = W.u16le();
                W.u16le();  // shift
                const uint32_t TotalSamples = W.u32le();
                FVersion = Version;
                FChannels = 2 - (Flags & 1);
                FSamples = TotalSamples;
                if (Bits != 0) {
                    if (Flags & 0x400)
                        FEncoder = std::string("hybrid") + ((Flags & 0x80) ? " lossless" : " lossy") +
                                   ((Flags & 0x8000) ? " (high)" : "");
                    else if (Flags & 0x12)
                        FEncoder = std::to_string(Bits + 3) + "-bit lossy" + ((Flags & 0x10) ? " high" : " fast");
                    else
                        FEncoder = std::to_string(Bits + 3) + "-bit lossy";
                } else {
                    if (!(Flags & 0x10))
                        FEncoder = "lossless (fast mode)";
                    else if (Flags & 0x8000)
                        FEncoder = "lossless (high mode)";
                    else
                        FEncoder = "lossless";
                }
                if (FSampleRate <= 0) FSampleRate = WavPackDefaultRate;
                FDuration = double(FSamples) / FSampleRate;
                if (FDuration > 0)
                    FBitrate = double(FFileSize - FTagSize - int64_t(HeaderSize)) * 8 / (FDuration * 1000);
            }
        }
        break;  // after "data", and at any other chunk
    }
}

std::string TWAVPackfile::GetChannelMode() const {
    switch (FChannels) {
        case 1: return "Mono";
        case 2: return "Stereo";
        default: return "Unknown";
    }
}

double TWAVPackfile::GetRatio() const {
    const double Raw = double(FSamples) * FChannels * FBits / 8 + 44;
    if (!FValid || FSamples <= 0 || FChannels <= 0 || FBits <= 0) return 0;
    return double(FFileSize - FTagSize) / Raw * 100;
}

// ============================================================ Musepack

void TMPEGplus::Reset() { *this = TMPEGplus(); }

bool TMPEGplus::LoadFromFile(const std::string& FileName, int64_t ID3v2Size, int64_t RestTagsTotalSize) {
    Reset();
    auto Stream = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!Stream) return false;
    return LoadFromStream(*Stream, ID3v2Size, RestTagsTotalSize);
}

bool TMPEGplus::LoadFromStream(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize) {
    Reset();
    FTagsSize = ID3v2Size + RestTagsTotalSize;
    try {
        TStreamBytes Magic = ReadBlock(Stream, ID3v2Size, 6);
        if (Magic.startsWith("MPCKSH"))
            FValid = ReadSV8(Stream, ID3v2Size + 6);
        else
            FValid = ReadSV7(Stream, ID3v2Size);
    } catch (const ETagFormat&) {
        FValid = false;
    }
    return FValid;
}

// Stream version 8: after "MPCK" the stream header packet "SH": packet size,
// CRC (4), version, sample count, beginning silence (variable-length
// numbers, 7 bits a byte, most significant first, continued while the top
// bit is set), then a byte whose top three bits give the sample rate and a
// byte whose top four bits give the channel count less one.
bool TMPEGplus::ReadSV8(TStream& Stream, int64_t Pos) {
    FSV8 = true;
    TStreamBytes R = ReadAt(Stream, Pos, MusepackSV8HeaderSpan);
    auto VarNumber = [&R]() {
        uint64_t V = 0;
        for (int I = 0; I < MusepackMaxVarBytes; ++I) {
            const uint8_t B = R.u8();
            V = (V << 7) | (B & 0x7F);
            if (!(B & 0x80)) return V;
        }
        throw ETagFormat("Musepack number too long");
    };
    VarNumber();  // packet size
    R.skip(4);    // CRC
    FStreamVersion = R.u8();
    FSampleCount = ClampToInt64(VarNumber());
    VarNumber();  // beginning silence
    const uint8_t RateByte = R.u8();
    const unsigned RateIndex = RateByte >> 5;
    if (RateIndex < 4) FSampleRate = MusepackRates[RateIndex];
    FChannelCount = uint8_t(R.u8() / 16 + 1);
    FFileSize = Stream.Size();
    return true;
}

// Stream versions 4 to 7.1: a 32-byte little-endian header.
bool TMPEGplus::ReadSV7(TStream& Stream, int64_t ID3v2Size) {
    FFileSize = Stream.Size();
    TStreamBytes R = ReadBlock(Stream, ID3v2Size, MusepackSV7HeaderSize);
    const uint8_t* H = R.data();
    const uint32_t Word0 = R.u32le();
    const uint32_t Word1 = R.u32le();

    if (Word0 == 0x072B504D)
        FStreamVersion = 7;
    else if (Word0 == 0x172B504D)
        FStreamVersion = 71;
    else
        switch ((H[1] >> 1) & 15) {
            case 3: FStreamVersion = 4; break;
            case 7: FStreamVersion = 5; break;
            case 11: FStreamVersion = 6; break;
            default: FStreamVersion = 0; break;
        }
    if (FStreamVersion == 0 || FFileSize <= 0) return false;

    const bool SV7 = FStreamVersion == 7 || FStreamVersion == 71;
    // Only stream version 7 stores a rate (in byte 10); the older versions
    // are always 44100 Hz, and their byte 10 is part of other fields.
    FSampleRate = SV7 ? MusepackRates[H[10] & 3] : MusepackRates[0];
    if (SV7)
        FChannelModeID = (H[11] & 0x40) ? 2 : 1;
    else
        FChannelModeID = (H[2] & 0x7F) ? 2 : 1;
    FFrameCount = FStreamVersion == 4 ? (Word1 >> 16) : Word1;
    FBitRate = (FStreamVersion == 4 || FStreamVersion == 5) ? uint16_t(Word0 >> 23) : 0;
    if (SV7) {
        switch (H[10] & 0xF0) {
            case 0x10: FProfileID = 12; break;
            case 0x50: FProfileID = 9; break;
            case 0x60: FProfileID = 10; break;
            case 0x70: FProfileID = 11; break;
            case 0x80: FProfileID = 1; break;
            case 0x90: FProfileID = 2; break;
            case 0xA0: FProfileID = 3; break;
            case 0xB0: FProfileID = 4; break;
            case 0xC0: FProfileID = 5; break;
            case 0xD0: FProfileID = 6; break;
            case 0xE0: FProfileID = 7; break;
            case 0xF0: FProfileID = 8; break;
            default: FProfileID = 0; break;
        }
    }
    const unsigned A = H[27];
    char Text[32] = "";
    if (A != 0) {
        if (A % 10 == 0)
            std::snprintf(Text, sizeof Text, "%u.%u Release", A / 100, (A / 10) % 10);
        else if (A % 2 == 0)
            std::snprintf(Text, sizeof Text, "%u.%.2u Beta", A / 100, A % 100);
        else
            std::snprintf(Text, sizeof Text, "%u.%.2u --Alpha--", A / 100, A % 100);
    }
    FEncoder = Text;
    return !(FProfileID == 0 && FEncoder.empty());
}

double TMPEGplus::GetDuration() const {
    if (FSV8) return FSampleRate > 0 ? double(FSampleCount) / FSampleRate : 0;
    return FSampleRate > 0 ? double(FFrameCount) * MusepackSamplesPerFrame / FSampleRate : 0;
}

uint32_t TMPEGplus::GetBitRate() const {
    if (FSV8) {
        const double Duration = GetDuration();
        if (Duration <= 0) return 0;
        const double R = RoundedRate(double(FFileSize - FTagsSize) / (Duration * 125) + 0.5);
        return R >= double(std::numeric_limits<uint32_t>::max()) ? std::numeric_limits<uint32_t>::max() : uint32_t(R);
    }
    if (FBitRate != 0) return FBitRate;
    if (FFrameCount < 1) return 0;
    const double R = RoundedRate(double(FSampleRate) / 1000 * double(FFileSize - FTagsSize) * 8 / FFrameCount /
                                 MusepackSamplesPerFrame);
    return R >= double(std::numeric_limits<uint32_t>::max()) ? std::numeric_limits<uint32_t>::max() : uint32_t(R);
}

std::string TMPEGplus::GetChannelMode() const {
    if (FSV8) return "";
    static const char* const Names[3] = {"Unknown", "Stereo", "Joint Stereo"};
    return FChannelModeID < 3 ? Names[FChannelModeID] : "Unknown";
}

std::string TMPEGplus::GetProfile() const {
    if (FSV8) return "";
    static const char* const Names[13] = {"Unknown",     "Thumb",     "Radio",       "Standard",     "Xtreme",
                                          "Insane",      "BrainDead", "--quality 9", "--quality 10", "--quality 0",
                                          "--quality 1", "Telephone", "Experimental"};
    return FProfileID < 13 ? Names[FProfileID] : "Unknown";
}

bool TMPEGplus::GetCorrupted() const {
    if (FSV8 || !FValid) return false;
    const uint32_t R = GetBitRate();
    return R < 3 || R > 480;
}

double TMPEGplus::GetRatio() const {
    const double Duration = GetDuration();
    const uint32_t Channels = FSV8 ? FChannelCount : 2;
    if (!FValid || Duration <= 0 || Channels == 0) return 0;
    return double(FFileSize - FTagsSize) / (Duration * FSampleRate * Channels * 2) * 100;
}

std::string TMPEGplus::GetStreamStreamVersionString() const {
    switch (FStreamVersion) {
        case 4: return "4.0";
        case 5: return "5.0";
        case 6: return "6.0";
        case 7: return "7.0";
        case 71: return "7.1";
        default: return std::to_string(FStreamVersion);
    }
}

// ============================================================ Monkey's Audio

void TMonkey::Reset() { *this = TMonkey(); }

bool TMonkey::LoadFromFile(const std::string& FileName, int64_t ID3v2Size, int64_t RestTagsTotalSize) {
    Reset();
    auto Stream = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!Stream) return false;
    return LoadFromStream(*Stream, ID3v2Size, RestTagsTotalSize);
}

bool TMonkey::LoadFromStream(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize) {
    Reset();
    FFileSize = Stream.Size();
    try {
        FValid = ReadHeader(Stream, ID3v2Size, RestTagsTotalSize);
    } catch (const ETagFormat&) {
        FValid = false;
    }
    return FValid;
}

bool TMonkey::ReadHeader(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize) {
    TStreamBytes S = ReadBlock(Stream, ID3v2Size, 6);
    if (S.str(4) != "MAC ") return false;
    FVersion = S.u16le();
    // Hundredths in integers: the text must not follow the user's locale.
    const int Hundredths = (FVersion + 5) / 10;
    char VersionText[32];
    std::snprintf(VersionText, sizeof VersionText, "%d.%02d", Hundredths / 100, Hundredths % 100);
    FVersionStr = VersionText;

    uint32_t TotalFrames = 0, FinalFrameBlocks = 0;
    uint64_t BlocksPerFrame = 0;
    if (FVersion < 3980) {
        // compression (16), flags (16), channels (16), sample rate, header
        // bytes, terminating bytes, total frames, final frame blocks, peak.
        TStreamBytes R = ReadBlock(Stream, ID3v2Size + 6, MonkeyOldHeaderSize);
        FCompressionMode = R.u16le();
        FFormatFlags = R.u16le();
        FChannels = R.u16le();
        FSampleRate = int32_t(R.u32le());
        R.u32le();  // header bytes
        R.u32le();  // terminating bytes
        TotalFrames = R.u32le();
        FinalFrameBlocks = R.u32le();
        const uint32_t Peak = R.u32le();
        FBits = 16;
        if (FFormatFlags & 1) FBits = 8;
        if (FFormatFlags & 8) FBits = 24;
        FHasSeekElements = FFormatFlags & 4;
        FWavNotStored = FFormatFlags & 16;
        FHasPeakLevel = FFormatFlags & 32;
        if (FHasPeakLevel) {
            FPeakLevel = Peak;
            FPeakLevelRatio = double(Peak) / std::pow(2.0, FBits) / 2 * 100;
        }
        if (FVersion >= 3950)
            BlocksPerFrame = 294912;
        else if (FVersion >= 3900 || (FVersion >= 3800 && FCompressionMode == 4000))
            BlocksPerFrame = 73728;
        else
            BlocksPerFrame = 9216;
    } else {
        // The rest of the 52-byte descriptor: its own length at bytes 8..11,
        // then the header's length. A longer descriptor is skipped.
        TStreamBytes R = ReadBlock(Stream, ID3v2Size + 6, MonkeyDescriptorSize - 6);
        R.skip(2);  // padding
        const uint32_t DescriptorBytes = R.u32le();
        const uint32_t HeaderBytes = R.u32le();
        const int64_t HeaderPos = ID3v2Size + int64_t(DescriptorBytes);
        if (HeaderPos > Stream.Size()) return false;
        // compression (16), flags (16), blocks per frame, final frame
        // blocks, total frames, bits (16), channels (16), sample rate; a
        // shorter header reads as zeros where it ends.
        const int64_t Take = std::min<int64_t>(HeaderBytes, MonkeyNewHeaderSize);
        std::vector<uint8_t> H = ReadBlock(Stream, HeaderPos, Take).Bytes();
        H.resize(MonkeyNewHeaderSize, 0);
        TByteReader HR(H);
        FCompressionMode = HR.u16le();
        FFormatFlags = HR.u16le();
        BlocksPerFrame = HR.u32le();
        FinalFrameBlocks = HR.u32le();
        TotalFrames = HR.u32le();
        FBits = HR.u16le();
        FChannels = HR.u16le();
        FSampleRate = int32_t(HR.u32le());
    }
    if (TotalFrames >= 1) FTotalSamples = ClampToInt64((uint64_t(TotalFrames) - 1) * BlocksPerFrame + FinalFrameBlocks);

    static const char* const Modes[7] = {"Unknown", "Fast", "Normal", "High", "Extra High", "Insane", "BrainDead"};
    if (FCompressionMode % 1000 == 0 && FCompressionMode <= 6000)
        FCompressionModeStr = Modes[FCompressionMode / 1000];
    else
        FCompressionModeStr = std::to_string(FCompressionMode);

    if (FSampleRate > 0) FDuration = double(FTotalSamples) / FSampleRate;
    if (FDuration > 0)
        FBitrate = RoundedRate(double(FFileSize - ID3v2Size - RestTagsTotalSize) / (FDuration * 125) + 0.5);
    return FBits > 0 && FSampleRate > 0 && FTotalSamples > 0 && FChannels > 0;
}

double TMonkey::GetRatio() const {
    if (!FValid || FTotalSamples <= 0) return 0;
    const double Raw = double(FTotalSamples) * FChannels * FBits / 8 + 44;
    return double(FFileSize) / Raw * 100;
}
