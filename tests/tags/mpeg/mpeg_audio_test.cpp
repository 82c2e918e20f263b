// MPEG audio stream properties: header decoding, the frame search, the
// Xing / Info / VBRI header, trailing-tag measurement, play time, bit rate
// and sample count, and what hostile streams get.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tags/audio_properties.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mpeg/mpeg_audio.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& To, const Bytes& What) { To.insert(To.end(), What.begin(), What.end()); }
void Append(Bytes& To, const char* Text) { To.insert(To.end(), Text, Text + std::strlen(Text)); }
void PutBE32(Bytes& To, uint32_t V) {
    for (int s = 24; s >= 0; s -= 8) To.push_back(uint8_t(V >> s));
}
void PutLE32(Bytes& To, uint32_t V) {
    for (int s = 0; s <= 24; s += 8) To.push_back(uint8_t(V >> s));
}

// One frame of Size bytes starting with the four header bytes; the rest zero.
Bytes Frame(uint8_t B1, uint8_t B2, uint8_t B3, size_t Size) {
    Bytes F = {0xFF, B1, B2, B3};
    F.resize(Size, 0);
    return F;
}
// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes.
Bytes JointFrame() { return Frame(0xFB, 0x90, 0x64, 417); }

// A first frame (MPEG-1 Layer III 128 kbit/s 44100 Hz joint stereo) holding
// a Xing or Info header with frame count, byte count and quality, the
// encoder string and the encoder extension with delay bytes D0 D1 D2.
Bytes XingFrame(const char* Magic, uint32_t Frames, uint8_t D0 = 0x24, uint8_t D1 = 0x04, uint8_t D2 = 0x80) {
    Bytes F = {0xFF, 0xFB, 0x90, 0x64};
    F.resize(4 + 32, 0);  // side information of MPEG-1 stereo
    Append(F, Magic);
    PutBE32(F, 1 | 2 | 8);
    PutBE32(F, Frames);
    PutBE32(F, 123456);  // bytes
    PutBE32(F, 57);      // quality
    Append(F, "LAME3.100");
    Bytes Ext(27, 0);
    Ext[12] = D0;
    Ext[13] = D1;
    Ext[14] = D2;
    Append(F, Ext);
    F.resize(417, 0);
    return F;
}

// An APE tag footer whose size field is Size.
Bytes APEFooter(uint32_t Size) {
    Bytes F;
    Append(F, "APETAGEX");
    PutLE32(F, 2000);
    PutLE32(F, Size);
    PutLE32(F, 1);
    PutLE32(F, 0);
    F.resize(32, 0);
    return F;
}
Bytes ID3v1() {
    Bytes T;
    Append(T, "TAG");
    T.resize(128, 0);
    return T;
}
Bytes Lyrics3(const std::string& Body) {
    Bytes L;
    const std::string Block = "LYRICSBEGIN" + Body;
    Append(L, Block.c_str());
    char Size[7];
    std::snprintf(Size, sizeof Size, "%06zu", Block.size());
    Append(L, Size);
    Append(L, "LYRICS200");
    return L;
}

// A file of Total bytes: zeros up to At, then Audio, zeros, then Tail at the end.
Bytes Layout(int64_t Total, int64_t At, const Bytes& Audio, const Bytes& Tail = {}) {
    Bytes B(size_t(At), 0);
    Append(B, Audio);
    B.resize(size_t(Total) - Tail.size(), 0);
    Append(B, Tail);
    return B;
}

TMPEGStreamInfo Scan(const Bytes& Data, int64_t Start = 0, int32_t SearchLength = DefaultMPEGSearchLength) {
    TMemoryStream S(Data);
    TMPEGStreamInfo Info;
    ScanMPEGAudio(S, Start, SearchLength, Info);
    return Info;
}

// Bytes this process has read through system calls so far.
int64_t ProcessBytesRead() {
    std::ifstream Io("/proc/self/io");
    std::string Key;
    int64_t Value = 0;
    while (Io >> Key >> Value)
        if (Key == "rchar:") return Value;
    return -1;
}

}  // namespace

TEST(MPEGHeader, DecodesFieldsAndFrameSizes) {
    struct TCase {
        uint8_t B1, B2, B3;
        TMPEGVersion Version;
        TMPEGLayer Layer;
        uint32_t BitRate, SampleRate;
        int32_t FrameSize;
        TMPEGChannelMode Mode;
    };
    const TCase Cases[] = {
        {0xFB, 0x90, 0x64, tmpegv1, tmpegl3, 128, 44100, 417, tmpegcmJointStereo},
        {0xFB, 0x92, 0x64, tmpegv1, tmpegl3, 128, 44100, 418, tmpegcmJointStereo},  // padding
        {0xF3, 0x84, 0xC0, tmpegv2, tmpegl3, 64, 24000, 192, tmpegcmMono},          // exact quotient
        {0xFB, 0xE4, 0x00, tmpegv1, tmpegl3, 320, 48000, 960, tmpegcmStereo},
        {0xE3, 0x80, 0x80, tmpegv25, tmpegl3, 64, 11025, 417, tmpegcmDualChannel},
        {0xFD, 0x90, 0x00, tmpegv1, tmpegl2, 160, 44100, 522, tmpegcmStereo},       // layer II table
        {0xFB, 0x00, 0x00, tmpegv1, tmpegl3, 65535, 44100, 213991, tmpegcmStereo},  // free format
        {0xFB, 0x9C, 0x00, tmpegv1, tmpegl3, 128, 0, 0, tmpegcmStereo},             // reserved rate
        {0xFB, 0xF0, 0x00, tmpegv1, tmpegl3, 0, 44100, 0, tmpegcmStereo},           // bit-rate index 15
        {0xF9, 0x90, 0x00, tmpegv1, tmpeglUnknown, 0, 44100, 0, tmpegcmStereo},     // reserved layer
        {0xEB, 0x90, 0x00, tmpegvUnknown, tmpegl3, 0, 0, 0, tmpegcmStereo},         // reserved version
    };
    for (const auto& C : Cases) {
        const uint8_t B[4] = {0xFF, C.B1, C.B2, C.B3};
        SCOPED_TRACE(testing::Message() << std::hex << int(C.B1) << " " << int(C.B2) << " " << int(C.B3));
        const TMPEGHeader H = DecodeMPEGHeader(B, 77);
        EXPECT_EQ(H.Position, 77);
        EXPECT_EQ(H.Header, 0xFF000000u | (C.B1 << 16) | (C.B2 << 8) | C.B3);
        EXPECT_EQ(H.Version, C.Version);
        EXPECT_EQ(H.Layer, C.Layer);
        EXPECT_EQ(H.BitRate, C.BitRate);
        EXPECT_EQ(H.SampleRate, C.SampleRate);
        EXPECT_EQ(H.FrameSize, C.FrameSize);
        EXPECT_EQ(H.ChannelMode, C.Mode);
        EXPECT_EQ(MPEGHeaderTest(B), C.FrameSize);
    }
    // The remaining bits of FF FC 93 7D: CRC follows, padding, joint stereo
    // with intensity and M/S, copyrighted, original, emphasis 50/15.
    const uint8_t B[4] = {0xFF, 0xFC, 0x93, 0x7D};
    const TMPEGHeader H = DecodeMPEGHeader(B, 0);
    EXPECT_TRUE(H.CRC);
    EXPECT_TRUE(H.Padding);
    EXPECT_TRUE(H._Private);
    EXPECT_EQ(H.ModeExtension, tmpegmeIntensityMS);
    EXPECT_TRUE(H.Copyrighted);
    EXPECT_TRUE(H.Original);
    EXPECT_EQ(H.Emphasis, tmpege5015);
}

TEST(MPEGSearch, FindsTheFirstConfirmedFrame) {
    auto Frames = [](int N) { return tbytes::MpegFrames(N); };
    Bytes FFThenFrames = {0xFF};  // FF FF FB 90: the frame at offset 1 is never taken
    Append(FFThenFrames, Frames(3));
    Bytes FollowedByZeros = Frame(0xFB, 0x90, 0x00, 417);  // nothing at the frame distance
    FollowedByZeros.resize(1000, 0);
    Append(FollowedByZeros, Frames(2));
    // At the frame distance lie bytes whose fields decode but that carry no
    // frame sync: not a second frame.
    Bytes NoSyncAtDistance = Frame(0xFB, 0x90, 0x00, 417);
    Append(NoSyncAtDistance, Bytes{0x7F, 0xFB, 0x90, 0x00});
    NoSyncAtDistance.resize(1000, 0);
    Append(NoSyncAtDistance, Frames(2));
    Bytes LayerOne;  // MPEG-1 Layer I (FF FF) and MPEG-2 Layer II (FF F5) are not searched for
    for (int i = 0; i < 3; ++i) Append(LayerOne, Frame(0xFF, 0x90, 0x00, 416));
    for (int i = 0; i < 3; ++i) Append(LayerOne, Frame(0xF5, 0x90, 0x00, 576));
    Bytes FarAway(9000, 0);
    Append(FarAway, Frames(2));

    struct TCase {
        const char* Name;
        Bytes Data;
        int64_t Start;
        int32_t SearchLength;
        int64_t Expected;
    };
    const TCase Cases[] = {
        {"frames at the start", Frames(2), 0, 4096, 0},
        {"frames after a tag", Layout(5000, 1234, Frames(2)), 1234, 4096, 1234},
        {"FF before the frame", FFThenFrames, 0, 4096, 1 + 417},
        {"garbage at frame distance", FollowedByZeros, 0, 4096, 1000},
        {"no sync at frame distance", NoSyncAtDistance, 0, 4096, 1000},
        {"a single frame", Frames(1), 0, 4096, -1},
        {"layer I and MPEG-2 layer II", LayerOne, 0, 4096, -1},
        {"beyond the search rounds", FarAway, 0, 4096, -1},
        {"within a longer search", FarAway, 0, 10000, 9000},
        {"all FF bytes", Bytes(100000, 0xFF), 0, 4096, -1},
        {"empty", Bytes(), 0, 4096, -1},
        {"start beyond the end", Frames(2), 5000, 4096, -1},
        {"negative search length", Frames(2), 0, -1, -1},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TMemoryStream S(C.Data);
        EXPECT_EQ(FindMPEGFrame(S, C.Start, C.SearchLength), C.Expected);
        TMPEGStreamInfo Info;
        EXPECT_EQ(ScanMPEGAudio(S, C.Start, C.SearchLength, Info), C.Expected >= 0);
        if (C.Expected >= 0) {
            EXPECT_EQ(Info.MPEGInfo.Position, C.Expected);
            EXPECT_EQ(S.Position(), C.Expected);  // left at the frame found
        } else {
            EXPECT_EQ(Info.PlayTime, 0);
            EXPECT_EQ(Info.BitRate, 0);
        }
    }
}

TEST(MPEGVBR, XingGivesFrameCountDelayPaddingAndAverageBitRate) {
    Bytes Audio = XingFrame("Xing", 1000);
    Append(Audio, JointFrame());
    const TMPEGStreamInfo Info = Scan(Layout(5000000, 4106, Audio), 4106);
    const TMPEGHeader& H = Info.MPEGInfo;
    ASSERT_TRUE(Info.Found);
    EXPECT_TRUE(H.VBR);
    EXPECT_TRUE(H.HasXing);
    EXPECT_FALSE(H.HasInfo);
    EXPECT_EQ(H.FrameCount, 1000);
    EXPECT_EQ(H.Bytes, 123456);
    EXPECT_EQ(H.Quality, 57u);
    EXPECT_EQ(H.EncoderShortVersionString, "LAME3.100");
    EXPECT_EQ(H.EncoderDelay, 576);
    EXPECT_EQ(H.EncoderPadding, 1152);
    EXPECT_EQ(Info.SampleCount, 1150272);
    EXPECT_DOUBLE_EQ(Info.PlayTime, 1150272.0 / 44100);
    EXPECT_EQ(Info.BitRate, 1532);
}

TEST(MPEGVBR, InfoKeepsTheHeaderBitRate) {
    Bytes Audio = XingFrame("Info", 1000);
    Append(Audio, JointFrame());
    const TMPEGStreamInfo Info = Scan(Layout(5000000, 4106, Audio), 4106);
    EXPECT_TRUE(Info.MPEGInfo.HasInfo);
    EXPECT_FALSE(Info.MPEGInfo.VBR);
    EXPECT_EQ(Info.BitRate, 128);
    EXPECT_DOUBLE_EQ(Info.PlayTime, 1150272.0 / 44100);
}

TEST(MPEGVBR, VBRIHeader) {
    Bytes First = JointFrame();
    const uint8_t VBRI[] = {'V',  'B',  'R',  'I',  0,    1,    0x05, 0x3B, 0, 75,  // version, delay, quality
                            0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x2C};        // bytes, frames (300)
    std::memcpy(First.data() + 36, VBRI, sizeof VBRI);
    Append(First, JointFrame());
    const TMPEGStreamInfo Info = Scan(Layout(200000, 0, First));
    const TMPEGHeader& H = Info.MPEGInfo;
    EXPECT_TRUE(H.HasVBRI);
    EXPECT_TRUE(H.VBR);
    EXPECT_EQ(H.Quality, 75u);
    EXPECT_EQ(H.Bytes, 0x100000);
    EXPECT_EQ(H.FrameCount, 300);
    EXPECT_DOUBLE_EQ(Info.PlayTime, 300.0 * 1152 / 44100);
    EXPECT_EQ(Info.BitRate, int32_t(200000 / (Info.PlayTime * 125) + 0.5));
}

TEST(MPEGPlayTime, ConstantBitRateEstimateLeavesOutTrailingTags) {
    const Bytes Audio = tbytes::MpegFrames(2);
    struct TCase {
        const char* Name;
        Bytes Tail;
        int32_t APE;
        int64_t ID3v1;
        double PlayTime;
    };
    const Bytes Lyrics = Lyrics3("IND00003110LYR00005hello");
    Bytes APEThenID3v1 = APEFooter(500);
    Append(APEThenID3v1, ID3v1());
    Bytes APEThenLyricsThenID3v1 = APEFooter(500);
    Append(APEThenLyricsThenID3v1, Lyrics);
    Append(APEThenLyricsThenID3v1, ID3v1());
    Bytes LyricsThenID3v1 = Lyrics;
    Append(LyricsThenID3v1, ID3v1());
    const TCase Cases[] = {
        {"ID3v1 without Lyrics3", ID3v1(), 0, 128, 62.235375},
        {"no trailing tag", {}, 0, 0, (1000000.0 - 4106) / 16000},
        {"ID3v1 with Lyrics3", LyricsThenID3v1, 0, int64_t(128 + Lyrics.size()),
         (1000000.0 - 4106 - 128 - Lyrics.size()) / 16000},
        {"APE footer last", APEFooter(500), 500, 0, (1000000.0 - 4106 - 500) / 16000},
        {"APE footer before ID3v1", APEThenID3v1, 500, 128, (1000000.0 - 4106 - 628) / 16000},
        // Lyrics3 between them hides the APE tag.
        {"Lyrics3 between APE and ID3v1", APEThenLyricsThenID3v1, 0, int64_t(128 + Lyrics.size()),
         (1000000.0 - 4106 - 128 - Lyrics.size()) / 16000},
        // A size field larger than the file is no tag of this file.
        {"APE size beyond the file", APEFooter(0xFFFFFFF0u), 0, 0, (1000000.0 - 4106) / 16000},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TMPEGStreamInfo Info = Scan(Layout(1000000, 4106, Audio, C.Tail), 4106);
        EXPECT_EQ(Info.APEv2TagSize, C.APE);
        EXPECT_EQ(Info.ID3v1TagSize, C.ID3v1);
        EXPECT_EQ(Info.BitRate, 128);
        EXPECT_NEAR(Info.PlayTime, C.PlayTime, 1e-9);
        EXPECT_EQ(Info.SampleCount, 0);  // no frame count, no sample count
    }
}

TEST(MPEGPlayTime, FramePlayTimeAndTLEN) {
    const uint8_t V1[4] = {0xFF, 0xFB, 0x90, 0x00}, V2[4] = {0xFF, 0xF3, 0x84, 0x00}, Bad[4] = {0xFF, 0xFB, 0x9C, 0x00};
    EXPECT_DOUBLE_EQ(MPEGFramePlayTime(DecodeMPEGHeader(V1, 0)), 1152.0 / 44100);
    EXPECT_DOUBLE_EQ(MPEGFramePlayTime(DecodeMPEGHeader(V2, 0)), 576.0 / 24000);
    EXPECT_DOUBLE_EQ(MPEGFramePlayTime(DecodeMPEGHeader(Bad, 0)), 0.026);
    EXPECT_DOUBLE_EQ(PlayTimeFromTLEN("65432"), 65.432);
    EXPECT_DOUBLE_EQ(PlayTimeFromTLEN(" 12"), 0.012);
    for (const char* NotANumber : {"", "12a", "-5", "12 ", "99999999999"}) EXPECT_EQ(PlayTimeFromTLEN(NotANumber), 0);

    TMPEGStreamInfo Info;
    Info.PlayTime = 7.5;
    EXPECT_EQ(MPEGReaderPlayTime(Info, true, false, "65432"), 7.5);  // TLEN only when asked
    EXPECT_EQ(MPEGReaderPlayTime(Info, true, true, "65432"), 65.432);
    EXPECT_EQ(MPEGReaderPlayTime(Info, true, true, "soon"), 7.5);  // no number: the scan's
    EXPECT_EQ(MPEGReaderPlayTime(Info, false, false, ""), 0);      // not MPEG: nothing
    EXPECT_EQ(MPEGReaderPlayTime(Info, false, true, "1000"), 1.0);
}

TEST(MPEGHostile, OddHeadersGiveFiniteValues) {
    auto WithSecondFrame = [](Bytes First) {
        Append(First, JointFrame());
        return Layout(200000, 0, First);
    };
    Bytes Truncated = XingFrame("Xing", 1000);
    Truncated.resize(4 + 32 + 4 + 4 + 2);  // the file ends inside the frame count
    Bytes FreeFormat = Frame(0xFB, 0x00, 0x00, 213991);
    Append(FreeFormat, Frame(0xFB, 0x00, 0x00, 4));
    struct TCase {
        const char* Name;
        Bytes Data;
        double PlayTime;
        int64_t Samples;
    };
    const TCase Cases[] = {
        {"huge frame count", WithSecondFrame(XingFrame("Xing", 0xFFFFFFFF)), (double(0xFFFFFFFF) * 1152 - 1728) / 44100,
         int64_t(0xFFFFFFFF) * 1152 - 1728},
        // Delay and padding larger than the frames hold: no negative time.
        {"delay beyond the samples", WithSecondFrame(XingFrame("Xing", 1, 0xFF, 0xFF, 0xFF)), 0, 0},
        // One sample left: an absurd average bit rate, but a number.
        {"one sample left", WithSecondFrame(XingFrame("Xing", 1, 0x47, 0xF0, 0x00)), 1.0 / 44100, 1},
        {"free format", Layout(300000, 0, FreeFormat), -1, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TMPEGStreamInfo Info = Scan(C.Data);
        EXPECT_TRUE(std::isfinite(Info.PlayTime));
        EXPECT_GE(Info.PlayTime, 0);
        if (C.PlayTime >= 0) {
            EXPECT_DOUBLE_EQ(Info.PlayTime, C.PlayTime);
        }
        EXPECT_GE(Info.BitRate, 0);
        EXPECT_EQ(Info.SampleCount, C.Samples);
    }
    // A Xing header cut short by the end of the file keeps what it read.
    TMemoryStream S(Truncated);
    const uint8_t B[4] = {0xFF, 0xFB, 0x90, 0x64};
    TMPEGHeader H = DecodeMPEGHeader(B, 0);
    ReadMPEGVBRHeader(S, H);
    EXPECT_TRUE(H.HasXing);
    EXPECT_EQ(H.FrameCount, 0);
    EXPECT_EQ(H.EncoderDelay, 0);
}

TEST(MPEGScan, WithoutAudioAttributesOnlyTheKindIsFound) {
    TMemoryStream S(Layout(100000, 0, tbytes::MpegFrames(2), ID3v1()));
    TMPEGStreamInfo Info;
    EXPECT_TRUE(ScanMPEGAudio(S, 0, DefaultMPEGSearchLength, Info, false));
    EXPECT_TRUE(Info.Found);
    EXPECT_EQ(Info.MPEGInfo.SampleRate, 0u);
    EXPECT_EQ(Info.BitRate, 0);
    EXPECT_EQ(Info.PlayTime, 0);
}

// A 2 GiB sparse file with a tag at its start: the scan reads the search
// window, the first frame and the tail, never the audio in between.
TEST(MPEGScan, LargeFileReadsOnlyTheStartAndTheTail) {
    testutil::TTempDir Dir;
    const int64_t Big = int64_t(2) << 30;
    struct TCase {
        const char* Name;
        bool Frames;
    };
    for (const TCase C : {TCase{"frames after the tag", true}, TCase{"nothing but zeros", false}}) {
        SCOPED_TRACE(C.Name);
        const std::string Path = Dir.file(std::string(C.Name) + ".mp3");
        Bytes Start = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x1F, 0x76};  // tag of 4096 bytes in all
        Start.resize(4096, 0);
        if (C.Frames) Append(Start, tbytes::MpegFrames(3));
        testutil::WriteFile(Path, Start);
        ASSERT_EQ(::truncate(Path.c_str(), Big), 0);

        auto File = TFileStream::Open(Path, TFileMode::fmOpenReadShared);
        ASSERT_TRUE(File);
        testutil::TCountingStream Counting(*File);
        TMPEGStreamInfo Info;
        EXPECT_EQ(ScanMPEGAudio(Counting, 4096, DefaultMPEGSearchLength, Info), C.Frames);
        EXPECT_LT(Counting.BytesRead, 32 * 1024);
        if (C.Frames) {
            EXPECT_NEAR(Info.PlayTime, double(Big - 4096) / 16000, 1e-6);
        }

        // The whole container load stays as small.
        const int64_t Before = ProcessBytesRead();
        TTags Tags;
        Tags.LoadFromFile(Path);
        const int64_t Read = ProcessBytesRead() - Before;
        EXPECT_NEAR(Tags.SourceAudioAttributes().PlayTime(), C.Frames ? Info.PlayTime : 0, 1e-6);
        if (Before >= 0) {
            EXPECT_LT(Read, 1024 * 1024) << Read << " bytes read";
        }
    }
}

// A WAVE or AIFF file is never searched for MPEG frames, even when its
// audio is MPEG data.
TEST(MPEGScan, ContainersAreNotSearched) {
    testutil::TTempDir Dir;
    const Bytes Frames = tbytes::MpegFrames(10);
    Bytes Wave;
    Append(Wave, "RIFF");
    PutLE32(Wave, uint32_t(4 + 8 + 16 + 8 + Frames.size()));
    Append(Wave, "WAVE");
    Append(Wave, "fmt ");
    PutLE32(Wave, 16);
    const uint8_t Fmt[16] = {0x55, 0, 2, 0, 0x44, 0xAC, 0, 0, 0, 0xFA, 0, 0, 1, 0, 0, 0};  // MPEG Layer III
    Wave.insert(Wave.end(), Fmt, Fmt + 16);
    Append(Wave, "data");
    PutLE32(Wave, uint32_t(Frames.size()));
    Append(Wave, Frames);
    Bytes Aiff;
    Append(Aiff, "FORM");
    PutBE32(Aiff, uint32_t(4 + 8 + Frames.size()));
    Append(Aiff, "AIFF");
    Append(Aiff, "SSND");
    PutBE32(Aiff, uint32_t(Frames.size()));
    Append(Aiff, Frames);
    for (const auto& [Name, Data] : {std::pair{"a.wav", Wave}, std::pair{"a.aiff", Aiff}}) {
        SCOPED_TRACE(Name);
        const std::string Path = Dir.file(Name);
        testutil::WriteFile(Path, Data);
        TTags Tags;
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        EXPECT_NE(Tags.ID3v2Tag().SourceFileType(), sftMPEG);
        EXPECT_FALSE(Tags.ID3v2Tag().MPEGStream().Found);
    }
}
