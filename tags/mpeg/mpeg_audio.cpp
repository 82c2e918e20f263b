#include "tags/mpeg/mpeg_audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "tags/byte_io.h"
#include "tags/trailer_edit.h"
#include "tags/text.h"

namespace {

// The search reads its window in blocks of this size: the size of the
// reader's buffered stream, and in most files the first frame lies within
// the first block after the tag.
constexpr int64_t SearchBlockSize = 1024;
// Largest part of a first frame the VBR header can occupy: header, MPEG-1
// stereo side information, "Xing", flags, frame count, byte count, seek
// table, quality, encoder string and encoder extension.
constexpr int64_t VBRHeaderSpan = 4 + 32 + 4 + 4 + 4 + 4 + 100 + 4 + 9 + 27;
// Where a "VBRI" header sits in the first frame.
constexpr int64_t VBRIOffset = 36;
// Play time per frame reported when the header gives none.
constexpr double FallbackFramePlayTime = 0.026;

// Bit-rate tables in kbit/s by index 0..15 (index 0 free format, 15 invalid;
// both are mapped by the decoder, the zeros here are placeholders).
constexpr uint32_t BitRatesV1L1[16] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};
constexpr uint32_t BitRatesV1L2[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
constexpr uint32_t BitRatesV1L3[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint32_t BitRatesV2L1[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr uint32_t BitRatesV2L23[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr uint32_t FreeFormatBitRate = 65535;

constexpr uint32_t SampleRatesV1[3] = {44100, 48000, 32000};
constexpr uint32_t SampleRatesV2[3] = {22050, 24000, 16000};
constexpr uint32_t SampleRatesV25[3] = {11025, 12000, 8000};

// Second bytes of a frame header the search accepts: MPEG-1 Layer II and III
// with or without CRC, MPEG-2 Layer III with or without CRC, MPEG-2.5 Layer
// III without CRC, and F9 (MPEG-1, reserved layer), which the header test
// then rejects.
bool IsAcceptedSecondByte(uint8_t B) {
    switch (B) {
        case 0xF9:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFD:
        case 0xF2:
        case 0xF3:
        case 0xE3: return true;
        default: return false;
    }
}

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | uint32_t(P[3]);
}

// Reads Count bytes at Position into Buffer; what lies beyond the end of the
// stream (or before its start) reads as zero.
void ReadAt(TStream& Stream, int64_t Position, uint8_t* Buffer, int64_t Count) {
    std::memset(Buffer, 0, size_t(Count));
    const int64_t Size = Stream.Size();
    if (Position < 0 || Position >= Size) return;
    if (Stream.Seek(Position) != Position) return;
    Stream.Read(Buffer, std::min(Count, Size - Position));
}

// A read window over the stream for the byte-by-byte search.
class TSearchWindow {
public:
    explicit TSearchWindow(TStream& Stream) : FStream(Stream), FSize(Stream.Size()) {}
    int64_t Size() const { return FSize; }
    // Whether Count bytes at Position can be had without reading again.
    bool Holds(int64_t Position, int64_t Count) const {
        return Position >= FSize || (Position >= FStart && Position <= FStart + FLength - Count);
    }
    uint8_t At(int64_t Position) {
        if (Position < 0 || Position >= FSize) return 0;
        if (Position < FStart || Position >= FStart + FLength) {
            FStart = Position;
            FLength = std::min<int64_t>(SearchBlockSize, FSize - Position);
            ReadAt(FStream, FStart, FBuffer, FLength);
        }
        return FBuffer[Position - FStart];
    }
    // How many bytes from Position on are not 0xFF, looking at most Limit
    // bytes ahead and only at what the window already holds (after At).
    int64_t BytesBeforeFF(int64_t Position, int64_t Limit) const {
        if (Position < FStart || Position >= FStart + FLength) return 0;
        const int64_t n = std::min(Limit, FStart + FLength - Position);
        const uint8_t* from = FBuffer + (Position - FStart);
        const void* ff = std::memchr(from, 0xFF, (size_t)n);
        return ff ? static_cast<const uint8_t*>(ff) - from : n;
    }

private:
    TStream& FStream;
    int64_t FSize;
    int64_t FStart = 0;
    int64_t FLength = 0;
    uint8_t FBuffer[SearchBlockSize];
};

}  // namespace

int32_t MPEGSamplesPerFrame(TMPEGVersion Version, TMPEGLayer Layer) {
    if (Version == tmpegvUnknown || Layer == tmpeglUnknown) return 0;
    if (Layer == tmpegl1) return 384;
    if (Layer == tmpegl2 || Version == tmpegv1) return 1152;
    return 576;
}

TMPEGHeader DecodeMPEGHeader(const uint8_t B[4], int64_t Position) {
    TMPEGHeader H;
    H.Position = Position;
    H.Header = BigEndian32(B);

    static constexpr TMPEGVersion Versions[4] = {tmpegv25, tmpegvUnknown, tmpegv2, tmpegv1};
    static constexpr TMPEGLayer Layers[4] = {tmpeglUnknown, tmpegl3, tmpegl2, tmpegl1};
    H.Version = Versions[(B[1] >> 3) & 3];
    H.Layer = Layers[(B[1] >> 1) & 3];
    H.CRC = (B[1] & 1) == 0;

    const unsigned BitRateIndex = B[2] >> 4;
    if (H.Version != tmpegvUnknown && H.Layer != tmpeglUnknown) {
        if (BitRateIndex == 0) {
            H.BitRate = FreeFormatBitRate;
        } else if (BitRateIndex < 15) {
            const uint32_t* Table = nullptr;
            if (H.Version == tmpegv1)
                Table = H.Layer == tmpegl1 ? BitRatesV1L1 : H.Layer == tmpegl2 ? BitRatesV1L2 : BitRatesV1L3;
            else
                Table = H.Layer == tmpegl1 ? BitRatesV2L1 : BitRatesV2L23;
            H.BitRate = Table[BitRateIndex];
        }
    }
    const unsigned RateIndex = (B[2] >> 2) & 3;
    if (RateIndex < 3) {
        if (H.Version == tmpegv1)
            H.SampleRate = SampleRatesV1[RateIndex];
        else if (H.Version == tmpegv2)
            H.SampleRate = SampleRatesV2[RateIndex];
        else if (H.Version == tmpegv25)
            H.SampleRate = SampleRatesV25[RateIndex];
    }
    H.Padding = (B[2] >> 1) & 1;
    H._Private = B[2] & 1;

    static constexpr TMPEGChannelMode Modes[4] = {tmpegcmStereo, tmpegcmJointStereo, tmpegcmDualChannel, tmpegcmMono};
    H.ChannelMode = Modes[B[3] >> 6];
    if (H.ChannelMode == tmpegcmJointStereo) {
        static constexpr TMPEGModeExtension Ext[4] = {tmpegmeNone, tmpegmeIntensity, tmpegmeMS, tmpegmeIntensityMS};
        H.ModeExtension = Ext[(B[3] >> 4) & 3];
    } else {
        H.ModeExtension = tmpegmeNone;
    }
    H.Copyrighted = (B[3] >> 3) & 1;
    H.Original = (B[3] >> 2) & 1;
    static constexpr TMPEGEmphasis Emphases[4] = {tmpegeNo, tmpege5015, tmpegeUnknown, tmpegeCCITJ17};
    H.Emphasis = Emphases[B[3] & 3];

    if (H.BitRate != 0 && H.SampleRate != 0 && H.Version != tmpegvUnknown && H.Layer != tmpeglUnknown) {
        const uint64_t Pad = H.Padding ? 1 : 0;
        uint64_t Size;
        if (H.Layer == tmpegl1) {
            // Layer I counts in 4-byte slots.
            Size = (12000ull * H.BitRate / H.SampleRate + Pad) * 4;
        } else {
            // 144000 for 1152-sample frames, 72000 for the 576-sample frames
            // of MPEG-2 and MPEG-2.5 Layer III. Integer arithmetic, so that
            // exact quotients (64 kbit/s at 24000 Hz: 192) are not cut short.
            const uint64_t K = MPEGSamplesPerFrame(H.Version, H.Layer) == 576 ? 72000 : 144000;
            Size = K * H.BitRate / H.SampleRate + Pad;
        }
        H.FrameSize = int32_t(Size);
    }
    return H;
}

int32_t MPEGHeaderTest(const uint8_t B[4]) {
    // The frame sync (11 set bits) is part of the test: the second header,
    // one frame further on, must be a frame header too, not any four bytes
    // whose fields happen to decode.
    if (B[0] != 0xFF || (B[1] & 0xE0) != 0xE0) return 0;
    return DecodeMPEGHeader(B, 0).FrameSize;
}

int64_t FindMPEGFrame(TStream& Stream, int64_t StartPosition, int32_t SearchLength) {
    if (SearchLength < 0) return -1;
    TSearchWindow Window(Stream);
    const int64_t Rounds = int64_t(SearchLength) + 1;
    int64_t Pos = std::max<int64_t>(StartPosition, 0);
    for (int64_t Round = 0; Round < Rounds; ++Round) {
        // Every further round would only read zeros past the end.
        if (Pos >= Window.Size()) break;
        const int64_t Candidate = Pos;
        if (Window.At(Pos) != 0xFF) {
            // Every byte that is not 0xFF takes one round; skip a run of them at once.
            const int64_t skip = std::max<int64_t>(Window.BytesBeforeFF(Pos, Rounds - Round), 1);
            Pos += skip;
            Round += skip - 1;
            continue;
        }
        ++Pos;
        // The search goes on after the second byte, so an FF that follows
        // another FF is never itself taken as a frame start.
        if (!IsAcceptedSecondByte(Window.At(Pos++))) continue;

        uint8_t First[4] = {0xFF, Window.At(Candidate + 1), Window.At(Candidate + 2), Window.At(Candidate + 3)};
        const int32_t FrameSize = MPEGHeaderTest(First);
        if (FrameSize <= 0) continue;
        // One frame further on; usually still inside the window, and read
        // apart from it when not, so that a far jump does not move it.
        const int64_t Next = Candidate + FrameSize;
        uint8_t Second[4];
        if (Window.Holds(Next, 4))
            for (int i = 0; i < 4; ++i) Second[i] = Window.At(Next + i);
        else
            ReadAt(Stream, Next, Second, 4);
        if (MPEGHeaderTest(Second) > 0) return Candidate;
    }
    return -1;
}

void ReadMPEGVBRHeader(TStream& Stream, TMPEGHeader& H) {
    H.VBR = false;
    H.FrameCount = 0;
    H.Quality = 0;
    H.Bytes = 0;

    // The span is read zero-filled, so a header cut short by the end of the
    // file reads as zeros; the reader over it never runs out.
    uint8_t Buf[VBRHeaderSpan];
    ReadAt(Stream, H.Position, Buf, VBRHeaderSpan);
    TByteReader R(Buf, sizeof Buf);
    auto AsTheyLie = [&R](auto& Field) { std::memcpy(&Field, R.bytes(sizeof Field).data(), sizeof Field); };

    // Length of the side information that precedes a Xing / Info header.
    size_t SideInfo = 0;
    if (H.ChannelMode != tmpegcmUnknown) {
        const bool Mono = H.ChannelMode == tmpegcmMono;
        if (H.Version == tmpegv1)
            SideInfo = Mono ? 17 : 32;
        else
            SideInfo = Mono ? 9 : 17;
    }
    try {
        R.seek(4 + SideInfo);
        const std::string Magic = R.str(4);
        if (Magic == "Xing" || Magic == "Info") {
            H.HasXing = Magic == "Xing";
            H.HasInfo = !H.HasXing;
            H.VBR = H.HasXing;
            const uint32_t Flags = R.u32be();
            if (Flags & 1) H.FrameCount = R.u32be();
            if (Flags & 2) H.Bytes = R.u32be();
            if (Flags & 4) R.skip(100);  // seek table
            if (Flags & 8) H.Quality = R.u32be();
            // The encoder string and extension are taken whether or not the
            // string names an encoder.
            H.EncoderShortVersionString = text::Latin1ToUtf8(R.str(9));
            const uint8_t Revision = R.u8();
            H.InfoTagRevision = Revision >> 4;
            H.VBRMethod = Revision & 0x0F;
            H.LowpassFilterValue = int32_t(R.u8()) * 100;
            AsTheyLie(H.PeakSignalSmplitude);
            AsTheyLie(H.RadioReplayGain);
            AsTheyLie(H.AudiophileReplayGain);
            const uint8_t Encoding = R.u8();
            H.EncodingFlags = Encoding >> 4;
            H.ATHType = Encoding & 0x0F;
            H.ABROrMinimalBitrate = R.u8();
            const uint32_t DelayPadding = R.u24be();  // 12 bits each
            H.EncoderDelay = int32_t(DelayPadding >> 12);
            H.EncoderPadding = int32_t(DelayPadding & 0x0FFF);
            H.Misc = R.u8();
            H.MP3Gain = R.u8();
            AsTheyLie(H.PresetAndSurroundInfo);
            AsTheyLie(H.MusicLength);
            AsTheyLie(H.MusicCRC);
            AsTheyLie(H.CRC16OfInfoTag);
        } else {
            R.seek(VBRIOffset);
            if (R.str(4) == "VBRI") {
                R.skip(4);  // version and delay
                H.HasVBRI = true;
                H.VBR = true;
                H.Quality = R.u16be();
                H.Bytes = R.u32be();
                H.FrameCount = R.u32be();
            }
        }
    } catch (const ETagFormat&) {
        // Cannot happen with the span sized for the longest header; were it
        // to, the fields read so far stand.
    }
    Stream.Seek(H.Position);
}

namespace {

// The MPEG measurements count an APEv2 tag only where it ends right before
// the ID3v1 tag (or the end); one behind a Lyrics3 block is left to the
// audio. The size is the footer's (items and footer, no header).
int32_t APEv2TagSizeOf(const TTrailerLayout& L) {
    if (!L.APEv2().Present() || L.Lyrics3().Present()) return 0;
    return int32_t(L.APEv2().Size - (L.APEv2HasHeader ? trailer::APEv2FooterSize : 0));
}

// The ID3v1 tag with the Lyrics3 block in front of it.
int64_t ID3v1TagSizeOf(const TTrailerLayout& L) {
    if (!L.ID3v1().Present()) return 0;
    return L.ID3v1().Size + L.Lyrics3().Size;
}

}  // namespace

double MPEGFramePlayTime(const TMPEGHeader& H) {
    const int32_t SPF = MPEGSamplesPerFrame(H.Version, H.Layer);
    const double T = H.SampleRate > 0 ? double(SPF) / H.SampleRate : 0;
    return T != 0 ? T : FallbackFramePlayTime;
}

int64_t MPEGSampleCount(const TMPEGHeader& H) {
    if (H.FrameCount <= 0) return 0;
    const int64_t Samples = H.FrameCount * MPEGSamplesPerFrame(H.Version, H.Layer) - H.EncoderDelay - H.EncoderPadding;
    return std::max<int64_t>(Samples, 0);
}

double MPEGPlayTime(const TMPEGHeader& H, int32_t BitRate, int64_t FileSize, int64_t ID3v1TagSize,
                    int32_t APEv2TagSize) {
    if (H.FrameCount > 0) {
        // A delay and padding larger than the frames hold would give a
        // negative time: such a header is not believed, and gives none.
        if (H.SampleRate == 0) return 0;
        return double(MPEGSampleCount(H)) / H.SampleRate;
    }
    if (BitRate <= 0) return 0;
    const int64_t AudioBytes = FileSize - H.Position - ID3v1TagSize - APEv2TagSize;
    if (AudioBytes <= 0) return 0;
    return double(AudioBytes) / BitRate * 8 / 1000;
}

int32_t MPEGBitRate(const TMPEGHeader& H, double PlayTime, int64_t FileSize, int32_t APEv2TagSize) {
    if (H.VBR && PlayTime != 0) {
        const double Rate = double(FileSize - H.Position - APEv2TagSize) / (PlayTime * 125) + 0.5;
        // A hostile frame count can make the quotient absurd; keep it a number.
        if (!(Rate > 0)) return 0;
        if (Rate >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
        return int32_t(Rate);
    }
    return int32_t(H.BitRate);
}

double PlayTimeFromTLEN(const std::string& Text) {
    const std::optional<int64_t> Ms = text::ParseInt(Text);
    // A negative length is no length.
    if (!Ms || *Ms <= 0 || *Ms > std::numeric_limits<int32_t>::max()) return 0;
    return double(*Ms) / 1000;
}

double MPEGReaderPlayTime(const TMPEGStreamInfo& Info, bool IsMPEG, bool UseTLEN, const std::string& TLENText) {
    if (UseTLEN) {
        const double FromTLEN = PlayTimeFromTLEN(TLENText);
        if (FromTLEN != 0) return FromTLEN;
    }
    return IsMPEG ? Info.PlayTime : 0;
}

bool ScanMPEGAudio(TStream& Stream, int64_t StartPosition, int32_t SearchLength, TMPEGStreamInfo& Info,
                   bool ParseAudioAttributes) {
    Info = TMPEGStreamInfo();
    Info.FileSize = Stream.Size();
    const int64_t Frame = FindMPEGFrame(Stream, StartPosition, SearchLength);
    if (Frame < 0) {
        Stream.Seek(StartPosition);
        return false;
    }
    Info.Found = true;
    if (ParseAudioAttributes) {
        // The first frame first, while a buffered stream still holds it.
        uint8_t B[4];
        ReadAt(Stream, Frame, B, 4);
        Info.MPEGInfo = DecodeMPEGHeader(B, Frame);
        ReadMPEGVBRHeader(Stream, Info.MPEGInfo);
        const TTrailerLayout Trailer = FindTrailer(Stream);
        Info.APEv2TagSize = APEv2TagSizeOf(Trailer);
        Info.ID3v1TagSize = ID3v1TagSizeOf(Trailer);
        const TMPEGHeader& H = Info.MPEGInfo;
        // The VBR bit rate is the average over the play time the frame count
        // gives; without a frame count the header's rate stands, and the
        // play time is then estimated from it.
        const double FramePlayTime = MPEGPlayTime(H, 0, Info.FileSize, Info.ID3v1TagSize, Info.APEv2TagSize);
        Info.BitRate = MPEGBitRate(H, FramePlayTime, Info.FileSize, Info.APEv2TagSize);
        Info.PlayTime = MPEGPlayTime(H, Info.BitRate, Info.FileSize, Info.ID3v1TagSize, Info.APEv2TagSize);
        Info.SampleCount = MPEGSampleCount(H);
    }
    Stream.Seek(Frame);
    return true;
}
