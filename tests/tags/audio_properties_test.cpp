// Audio properties: the WavPack, Musepack and Monkey's Audio header readers,
// the order in which the container's sources answer, real encoders' files
// and the peer corpus.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tags/audio_properties.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& To, const Bytes& What) { To.insert(To.end(), What.begin(), What.end()); }
void Append(Bytes& To, const char* Text) { To.insert(To.end(), Text, Text + std::strlen(Text)); }
void PutLE16(Bytes& To, uint16_t V) {
    To.push_back(uint8_t(V));
    To.push_back(uint8_t(V >> 8));
}
void PutLE32(Bytes& To, uint32_t V) {
    for (int s = 0; s <= 24; s += 8) To.push_back(uint8_t(V >> s));
}

// WavPack 4 block header followed by Extra (metadata sub-blocks).
Bytes WavPack4(uint32_t TotalSamples, uint32_t Flags, const Bytes& Extra = {}) {
    Bytes B;
    Append(B, "wvpk");
    PutLE32(B, 1000);   // block size
    PutLE16(B, 0x410);  // version
    B.push_back(0);     // track
    B.push_back(0);     // index
    PutLE32(B, TotalSamples);
    PutLE32(B, 0);      // block index
    PutLE32(B, 22050);  // block samples
    PutLE32(B, Flags);
    PutLE32(B, 0);  // checksum
    Append(B, Extra);
    return B;
}
uint32_t RateIndex(uint32_t Index) { return Index << 23; }

// WavPack 3: RIFF WAVE with a "fmt " chunk and a "data" chunk that begins
// with the 36-byte version 3 header.
Bytes WavPack3(uint16_t Channels, uint32_t Rate, uint16_t Bits, uint16_t Flags, uint32_t TotalSamples) {
    Bytes B;
    Append(B, "RIFF");
    PutLE32(B, 0);
    Append(B, "WAVE");
    Append(B, "fmt ");
    PutLE32(B, 16);
    PutLE16(B, 1);
    PutLE16(B, Channels);
    PutLE32(B, Rate);
    PutLE32(B, Rate * Channels * 2);
    PutLE16(B, uint16_t(Channels * 2));
    PutLE16(B, 16);
    Append(B, "data");
    PutLE32(B, 1000);
    Append(B, "wvpk");
    PutLE32(B, 100);  // header size field
    PutLE16(B, 3);
    PutLE16(B, Bits);
    PutLE16(B, Flags);
    PutLE16(B, 0);  // shift
    PutLE32(B, TotalSamples);
    B.resize(B.size() + 16, 0);
    return B;
}

// Musepack SV7 header: "MP+" 0x07, frame count, then bytes 8..31.
Bytes MusepackSV7(uint32_t Frames, uint8_t Byte10, uint8_t Byte11, uint8_t EncoderByte) {
    Bytes B = {'M', 'P', '+', 0x07};
    PutLE32(B, Frames);
    B.resize(32, 0);
    B[10] = Byte10;
    B[11] = Byte11;
    B[27] = EncoderByte;
    return B;
}

// Musepack SV8: "MPCK", then the stream header packet "SH".
Bytes MusepackSV8(uint64_t Samples, uint8_t RateByte, uint8_t ChannelByte) {
    Bytes B;
    Append(B, "MPCKSH");
    B.push_back(0x10);        // packet size
    B.insert(B.end(), 4, 0);  // CRC
    B.push_back(8);           // stream version
    Bytes Var;                // sample count, 7 bits a byte, most significant first
    do {
        Var.insert(Var.begin(), uint8_t((Samples & 0x7F) | (Var.empty() ? 0 : 0x80)));
        Samples >>= 7;
    } while (Samples);
    Append(B, Var);
    B.push_back(0);  // beginning silence
    B.push_back(RateByte);
    B.push_back(ChannelByte);
    B.resize(B.size() + 8, 0);
    return B;
}

// Monkey's Audio 3.98 and later: descriptor and header.
Bytes MonkeyNew(uint16_t Version, uint32_t BlocksPerFrame, uint32_t FinalBlocks, uint32_t Frames, uint16_t Bits,
                uint16_t Channels, uint32_t Rate, uint32_t DescriptorBytes = 52, uint16_t Compression = 2000) {
    Bytes B;
    Append(B, "MAC ");
    PutLE16(B, Version);
    PutLE16(B, 0);
    PutLE32(B, DescriptorBytes);
    PutLE32(B, 24);   // header bytes
    B.resize(52, 0);  // seek table, frame data sizes, MD5
    B.resize(DescriptorBytes, 0);
    PutLE16(B, Compression);
    PutLE16(B, 0);
    PutLE32(B, BlocksPerFrame);
    PutLE32(B, FinalBlocks);
    PutLE32(B, Frames);
    PutLE16(B, Bits);
    PutLE16(B, Channels);
    PutLE32(B, Rate);
    return B;
}

// Monkey's Audio before 3.98.
Bytes MonkeyOld(uint16_t Version, uint16_t Compression, uint16_t Flags, uint32_t Frames, uint32_t FinalBlocks,
                uint32_t Peak = 0) {
    Bytes B;
    Append(B, "MAC ");
    PutLE16(B, Version);
    PutLE16(B, Compression);
    PutLE16(B, Flags);
    PutLE16(B, 2);  // channels
    PutLE32(B, 44100);
    PutLE32(B, 0);  // header bytes
    PutLE32(B, 0);  // terminating bytes
    PutLE32(B, Frames);
    PutLE32(B, FinalBlocks);
    PutLE32(B, Peak);
    return B;
}

Bytes Padded(Bytes B, size_t Size) {
    B.resize(std::max(B.size(), Size), 0);
    return B;
}

}  // namespace

TEST(WavPackHeader, Version4FlagsRateAndMode) {
    struct TCase {
        const char* Name;
        Bytes Data;
        int32_t Channels, Bits, Rate;
        int64_t Samples;
        const char* Encoder;
    };
    const Bytes High = {0x21, 0x00, 0x65, 0x02, 0x08, 0x00};  // mode byte 8 after 65 02
    const Bytes VeryFast = {0x65, 0x02, 0x06};
    const Bytes Odd = {0x65, 0x02, 0x07};
    const TCase Cases[] = {
        {"mono 24-bit 11025", WavPack4(110250, 4 | 2 | RateIndex(3), High), 1, 24, 11025, 110250, "lossless (high)"},
        {"stereo 16-bit 44100 hybrid", WavPack4(441000, 1 | 8 | RateIndex(9), VeryFast), 2, 16, 44100, 441000,
         "hybrid lossy (very fast)"},
        {"rate index 15 means 44100", WavPack4(44100, RateIndex(15), Odd), 2, 8, 44100, 44100, "lossless"},
        {"192 kHz 32-bit", WavPack4(192000, 3 | RateIndex(14)), 2, 32, 192000, 192000, "lossless"},
        // All bits set: the length was not known when encoding.
        {"unknown length", WavPack4(0xFFFFFFFF, 1 | RateIndex(9)), 2, 16, 44100, 0, "lossless"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TMemoryStream S(Padded(C.Data, 10000));
        TWAVPackfile R;
        ASSERT_TRUE(R.LoadFromStream(S, 1000));
        EXPECT_EQ(R.FVersion, 4);
        EXPECT_EQ(R.FChannels, C.Channels);
        EXPECT_EQ(R.FBits, C.Bits);
        EXPECT_EQ(R.FSampleRate, C.Rate);
        EXPECT_EQ(R.FSamples, C.Samples);
        EXPECT_EQ(R.FEncoder, C.Encoder);
        const double Duration = double(C.Samples) / C.Rate;
        EXPECT_DOUBLE_EQ(R.FDuration, Duration);
        EXPECT_DOUBLE_EQ(R.FBitrate, Duration > 0 ? (10000.0 - 1000) * 8 / Duration / 1000 : 0);
    }
}

TEST(WavPackHeader, Version3RIFFFile) {
    struct TCase {
        uint16_t Bits, Flags;
        const char* Encoder;
        int32_t Channels;
    };
    const TCase Cases[] = {
        {0, 0x00, "lossless (fast mode)", 2},   {0, 0x10, "lossless", 2},
        {0, 0x8010, "lossless (high mode)", 2}, {5, 0x400 | 0x80 | 0x8000, "hybrid lossless (high)", 2},
        {5, 0x400 | 0x01, "hybrid lossy", 1},   {5, 0x10, "8-bit lossy high", 2},
        {5, 0x02, "8-bit lossy fast", 2},       {13, 0x00, "16-bit lossy", 2},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Encoder);
        TMemoryStream S(Padded(WavPack3(2, 22050, C.Bits, C.Flags, 44100), 20000));
        TWAVPackfile R;
        ASSERT_TRUE(R.LoadFromStream(S, 0));
        EXPECT_EQ(R.FVersion, 3);
        EXPECT_EQ(R.FEncoder, C.Encoder);
        EXPECT_EQ(R.FChannels, C.Channels);
        EXPECT_EQ(R.FSampleRate, 22050);
        EXPECT_EQ(R.FBits, 16);
        EXPECT_EQ(R.FSamples, 44100);
        EXPECT_DOUBLE_EQ(R.FDuration, 2.0);
        EXPECT_DOUBLE_EQ(R.FBitrate, (20000.0 - 100) * 8 / 2000);
    }
    // A plain RIFF WAVE with a format chunk is taken as version 3 without a
    // "wvpk" header: the format chunk alone makes it valid.
    TMemoryStream Plain(Padded(WavPack3(1, 8000, 0, 0, 0), 200));
    Plain.Data()[44] = 'x';
    TWAVPackfile R;
    EXPECT_TRUE(R.LoadFromStream(Plain, 0));
    EXPECT_DOUBLE_EQ(R.FBitrate, 8000.0 * 2 / 125);
}

// The chunk walk of a version 3 file is bounded: a file of endless format
// chunks is not read through.
TEST(WavPackHeader, Version3ChunkWalkIsBounded) {
    for (const int Chunks : {10, 5000}) {
        SCOPED_TRACE(Chunks);
        const Bytes One = WavPack3(2, 44100, 0, 0x10, 88200);
        Bytes Data(One.begin(), One.begin() + 36);  // RIFF header and one "fmt " chunk
        for (int i = 1; i < Chunks; ++i) Data.insert(Data.end(), One.begin() + 12, One.begin() + 36);
        Data.insert(Data.end(), One.begin() + 36, One.end());  // "data" with the header
        TMemoryStream S(Data);
        TWAVPackfile R;
        EXPECT_TRUE(R.LoadFromStream(S, 0));
        EXPECT_EQ(R.FVersion, Chunks < 1024 ? 3 : 0);
    }
}

TEST(MusepackHeader, StreamVersion7) {
    struct TCase {
        const char* Name;
        uint8_t Byte10, Byte11, EncoderByte;
        uint32_t Rate;
        uint8_t Profile;
        const char* ProfileText;
        const char* Encoder;
        const char* Mode;
    };
    const TCase Cases[] = {
        {"byte 10 = 5A", 0x5A, 0x00, 0, 37800, 9, "--quality 0", "", "Stereo"},
        {"standard release", 0xA0, 0x40, 110, 44100, 3, "Standard", "1.1 Release", "Joint Stereo"},
        {"braindead beta", 0xD1, 0x00, 116, 48000, 6, "BrainDead", "1.16 Beta", "Stereo"},
        {"experimental alpha", 0x13, 0x00, 115, 32000, 12, "Experimental", "1.15 --Alpha--", "Stereo"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TMemoryStream S(Padded(MusepackSV7(1000, C.Byte10, C.Byte11, C.EncoderByte), 100000));
        TMPEGplus R;
        ASSERT_TRUE(R.LoadFromStream(S, 0, 0));
        EXPECT_FALSE(R.FSV8);
        EXPECT_EQ(R.FStreamVersion, 7);
        EXPECT_EQ(R.FSampleRate, C.Rate);
        EXPECT_EQ(R.FProfileID, C.Profile);
        EXPECT_EQ(R.GetProfile(), C.ProfileText);
        EXPECT_EQ(R.FEncoder, C.Encoder);
        EXPECT_EQ(R.GetChannelMode(), C.Mode);
        EXPECT_EQ(R.FFrameCount, 1000u);
        EXPECT_DOUBLE_EQ(R.GetDuration(), 1000.0 * 1152 / C.Rate);
        EXPECT_EQ(R.GetBitRate(), uint32_t(std::round(C.Rate / 1000.0 * 100000 * 8 / 1000 / 1152)));
        EXPECT_EQ(R.GetStreamStreamVersionString(), "7.0");
    }
    // Profile 0 and no encoder text: not a Musepack header after all.
    TMemoryStream Bare(Padded(MusepackSV7(1000, 0x00, 0, 0), 1000));
    TMPEGplus R;
    EXPECT_FALSE(R.LoadFromStream(Bare, 0, 0));
}

TEST(MusepackHeader, OlderStreamVersionsAndTagOffsets) {
    // SV5: version in byte 1 (7 << 1), bit rate in the top 9 bits of word 0.
    const uint32_t Word0 = (160u << 23) | (0x01u << 16) | (0x0Eu << 8);  // bit rate, byte 2, byte 1
    Bytes SV5 = {uint8_t(Word0), uint8_t(Word0 >> 8), uint8_t(Word0 >> 16), uint8_t(Word0 >> 24)};
    PutLE32(SV5, 5000);
    SV5.resize(32, 0);
    SV5[27] = 100;         // "1.0 Release"
    Bytes Tagged(300, 0);  // as if an ID3v2 tag of 300 bytes came first
    Append(Tagged, SV5);
    TMemoryStream S(Padded(Tagged, 50000));
    TMPEGplus R;
    ASSERT_TRUE(R.LoadFromStream(S, 300, 128));
    EXPECT_EQ(R.FStreamVersion, 5);
    EXPECT_EQ(R.GetStreamStreamVersionString(), "5.0");
    EXPECT_EQ(R.GetBitRate(), 160u);
    EXPECT_EQ(R.FChannelModeID, 2);  // byte 2 AND 7F not 0
    EXPECT_EQ(R.FFrameCount, 5000u);
    EXPECT_EQ(R.FTagsSize, 428);
    EXPECT_FALSE(R.GetCorrupted());
}

TEST(MusepackHeader, StreamVersion8) {
    TMemoryStream S(Padded(MusepackSV8(480000, 1 << 5, 0x10), 60000));
    TMPEGplus R;
    ASSERT_TRUE(R.LoadFromStream(S, 0, 0));
    EXPECT_TRUE(R.FSV8);
    EXPECT_EQ(R.FStreamVersion, 8);
    EXPECT_EQ(R.FSampleCount, 480000);
    EXPECT_EQ(R.FSampleRate, 48000u);
    EXPECT_EQ(R.FChannelCount, 2);
    EXPECT_DOUBLE_EQ(R.GetDuration(), 10.0);
    EXPECT_EQ(R.GetBitRate(), uint32_t(std::round(60000.0 / 1250 + 0.5)));
    EXPECT_EQ(R.GetChannelMode(), "");
    EXPECT_EQ(R.GetProfile(), "");

    // Rate index 4 and up gives no rate and so no duration and no bit rate.
    TMemoryStream NoRate(Padded(MusepackSV8(480000, 5 << 5, 0x00), 1000));
    ASSERT_TRUE(R.LoadFromStream(NoRate, 0, 0));
    EXPECT_EQ(R.FSampleRate, 0u);
    EXPECT_EQ(R.GetDuration(), 0);
    EXPECT_EQ(R.GetBitRate(), 0u);

    // Cut short, or a number that never ends: invalid, nothing more.
    Bytes Short = MusepackSV8(480000, 0, 0);
    Short.resize(12);
    TMemoryStream ShortS(Short);
    EXPECT_FALSE(R.LoadFromStream(ShortS, 0, 0));
    Bytes Endless = {'M', 'P', 'C', 'K', 'S', 'H'};
    Endless.resize(200, 0xFF);
    TMemoryStream EndlessS(Endless);
    EXPECT_FALSE(R.LoadFromStream(EndlessS, 0, 0));
}

TEST(MonkeyHeader, NewAndOldLayouts) {
    struct TCase {
        const char* Name;
        Bytes Data;
        int64_t Samples;
        int32_t Bits;
        const char* Mode;
    };
    const TCase Cases[] = {
        {"3.99, 10 frames, 1000 final blocks", MonkeyNew(3990, 294912, 1000, 10, 16, 2, 44100), 9 * 294912 + 1000, 16,
         "Normal"},
        {"longer descriptor skipped", MonkeyNew(3990, 73728, 5, 2, 24, 2, 44100, 60, 4000), 73728 + 5, 24,
         "Extra High"},
        {"3.97: 294912 blocks a frame", MonkeyOld(3970, 3000, 0, 3, 7), 2 * 294912 + 7, 16, "High"},
        {"3.90: 73728", MonkeyOld(3900, 1000, 8, 3, 7), 2 * 73728 + 7, 24, "Fast"},
        {"3.81 extra high: 73728", MonkeyOld(3810, 4000, 1, 3, 7), 2 * 73728 + 7, 8, "Extra High"},
        {"3.81 high: 9216", MonkeyOld(3810, 3000, 0, 3, 7), 2 * 9216 + 7, 16, "High"},
        {"odd compression level", MonkeyOld(3700, 2500, 0, 3, 7), 2 * 9216 + 7, 16, "2500"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        Bytes Data(100, 0);  // an ID3v2 tag's place
        Append(Data, C.Data);
        TMemoryStream S(Padded(Data, 500000));
        TMonkey R;
        ASSERT_TRUE(R.LoadFromStream(S, 100, 28));
        EXPECT_EQ(R.FTotalSamples, C.Samples);
        EXPECT_EQ(R.FBits, C.Bits);
        EXPECT_EQ(R.FChannels, 2);
        EXPECT_EQ(R.FSampleRate, 44100);
        EXPECT_EQ(R.FCompressionModeStr, C.Mode);
        EXPECT_DOUBLE_EQ(R.FDuration, double(C.Samples) / 44100);
        EXPECT_DOUBLE_EQ(R.FBitrate, std::round((500000.0 - 128) / (R.FDuration * 125) + 0.5));
    }
    TMemoryStream S(MonkeyNew(3990, 294912, 1000, 10, 16, 2, 44100));
    TMonkey R;
    ASSERT_TRUE(R.LoadFromStream(S, 0, 0));
    EXPECT_EQ(R.FVersionStr, "3.99");

    // Peak level of an old header with flag 32.
    TMemoryStream Peak(MonkeyOld(3950, 2000, 32, 1, 100, 16384));
    ASSERT_TRUE(R.LoadFromStream(Peak, 0, 0));
    EXPECT_TRUE(R.FHasPeakLevel);
    EXPECT_EQ(R.FPeakLevel, 16384u);
    EXPECT_DOUBLE_EQ(R.FPeakLevelRatio, 16384.0 / 65536 / 2 * 100);
}

TEST(MonkeyHeader, InvalidHeaders) {
    struct TCase {
        const char* Name;
        Bytes Data;
    };
    Bytes Cut = MonkeyNew(3990, 294912, 1000, 10, 16, 2, 44100);
    Cut.resize(40);
    Bytes FarDescriptor = MonkeyNew(3990, 294912, 1000, 10, 16, 2, 44100);
    FarDescriptor[8] = 0xF0;  // descriptor length 0xFFFFFFF0
    FarDescriptor[9] = FarDescriptor[10] = FarDescriptor[11] = 0xFF;
    const TCase Cases[] = {
        {"no frames", MonkeyNew(3990, 294912, 1000, 0, 16, 2, 44100)},
        {"no rate", MonkeyNew(3990, 294912, 1000, 10, 16, 2, 0)},
        {"no channels", MonkeyNew(3990, 294912, 1000, 10, 16, 0, 44100)},
        {"descriptor beyond the end", FarDescriptor},
        {"cut short", Cut},
        {"not MAC", Bytes{'M', 'A', 'C', 0, 0xA6, 0x0F}},
        {"empty", {}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TMemoryStream S(C.Data);
        TMonkey R;
        EXPECT_FALSE(R.LoadFromStream(S, 0, 0));
    }
    // Huge frame counts still give numbers.
    TMemoryStream Huge(MonkeyNew(3990, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 16, 2, 8000));
    TMonkey R;
    ASSERT_TRUE(R.LoadFromStream(Huge, 0, 0));
    EXPECT_GT(R.FTotalSamples, 0);
    EXPECT_TRUE(std::isfinite(R.FDuration));
    EXPECT_GE(R.FBitrate, 0);
}

namespace {

struct TProps {
    double PlayTime;
    uint32_t BitRate, Rate;
    uint16_t Channels, Bits;
    int64_t Samples;
};
TProps Props(const TTags& Tags) {
    const TSourceAudioAttributes& A = Tags.SourceAudioAttributes();
    return {A.PlayTime(), A.BitRate(), A.SamplesPerSec(), A.Channels(), A.BitsPerSample(), A.SampleCount()};
}
std::ostream& operator<<(std::ostream& Out, const TProps& P) {
    return Out << "playtime " << P.PlayTime << " bitrate " << P.BitRate << " rate " << P.Rate << " channels "
               << P.Channels << " bits " << P.Bits << " samples " << P.Samples;
}

// A container that runs all three header readers.
void EnableHeaderReaders(TTags& Tags) {
    Tags.ParseWavPackAudioAttributes = Tags.ParseMusePackAudioAttributes = Tags.ParseMonkeyAudioAttributes = true;
}

const std::string PeerRoot = testutil::SourceDir() + "/../shared/corpus/peers/";

std::vector<std::vector<std::string>> PeerManifest() {
    std::vector<std::vector<std::string>> Rows;
    std::ifstream In(PeerRoot + "MANIFEST.tsv");
    std::string Line;
    while (std::getline(In, Line)) {
        std::vector<std::string> Cols;
        std::stringstream SS(Line);
        std::string Col;
        while (std::getline(SS, Col, '\t')) Cols.push_back(Col);
        if (Cols.size() > 2) Rows.push_back(Cols);
    }
    return Rows;
}

}  // namespace

// Every MP3, WavPack, Musepack and Monkey's Audio file of the peers (the
// malformed and fuzzed ones among them) loads to finite, non-negative
// properties; those whose length the peers know match it.
TEST(PeerCorpus, EveryAudioFileGetsSaneProperties) {
    const auto Manifest = PeerManifest();
    if (Manifest.empty()) GTEST_SKIP() << "no peer corpus";
    struct TKnown {
        const char* File;
        double PlayTime;
        int64_t Samples;
    };
    const TKnown Known[] = {
        {"taglib/xing.mp3", 2.052, 0},
        {"mutagen/vbri.mp3", 222.198, -1},
        {"taglib/mpeg2.mp3", 5387.285, -1},
        {"taglib/lame_cbr.mp3", 1887.164, -1},
        {"taglib/invalid-frames1.mp3", 0.392, 0},
        {"taglib/tagged.wv", 3.550, 156556},
        {"taglib/mac-390-hdr.ape", 15.630, 689262},
        {"taglib/mac-399.ape", 3.550, 156556},
        {"taglib/sv4_header.mpc", 26.371, 0},
        {"taglib/no_length.wv", 0, 0},
    };
    int Seen = 0, Checked = 0;
    for (const auto& Row : Manifest) {
        const std::string& Family = Row[1];
        if (Family != "MP3" && Family != "WavPack" && Family != "Musepack" && Family != "APE") continue;
        SCOPED_TRACE(Row[0]);
        TTags Tags;
        EnableHeaderReaders(Tags);
        EXPECT_EQ(Tags.LoadFromFile(PeerRoot + Row[0]), 0);
        const TProps P = Props(Tags);
        EXPECT_TRUE(std::isfinite(P.PlayTime)) << P;
        EXPECT_GE(P.PlayTime, 0) << P;
        EXPECT_GE(P.Samples, 0) << P;
        for (const auto& K : Known) {
            if (Row[0] != K.File) continue;
            EXPECT_NEAR(P.PlayTime, K.PlayTime, 0.1) << P;
            if (K.Samples >= 0) {
                EXPECT_EQ(P.Samples, K.Samples) << P;
            }
            ++Checked;
        }
        ++Seen;
    }
    EXPECT_GT(Seen, 40);
    EXPECT_EQ(Checked, int(std::size(Known)));
}

TEST(AudioProperties, NothingKnownGivesZeros) {
    TTags Tags;
    const TProps P = Props(Tags);
    EXPECT_EQ(P.PlayTime, 0);
    EXPECT_EQ(P.BitRate, 0u);
    EXPECT_EQ(P.Rate, 0u);
    EXPECT_EQ(P.Channels, 0);
    EXPECT_EQ(P.Bits, 0);
    EXPECT_EQ(P.Samples, 0);
    TSourceAudioAttributes Orphan(nullptr);
    EXPECT_EQ(Orphan.PlayTime(), 0);
    EXPECT_EQ(Orphan.BitRate(), 0u);
}

TEST(AudioProperties, MPEGValuesComeFromTheID3v2Reader) {
    testutil::TTempDir Dir;
    struct TCase {
        const char* Name;
        uint8_t Mode;
        uint16_t Channels;
    };
    for (const TCase C :
         {TCase{"stereo", 0x00, 2}, TCase{"joint", 0x40, 2}, TCase{"dual", 0x80, 2}, TCase{"mono", 0xC0, 1}}) {
        SCOPED_TRACE(C.Name);
        Bytes Audio;
        for (int i = 0; i < 100; ++i) {
            Bytes F = {0xFF, 0xFB, 0x90, C.Mode};
            F.resize(417, 0);
            Append(Audio, F);
        }
        const std::string Path = Dir.file(std::string(C.Name) + ".mp3");
        testutil::WriteFile(Path, Audio);
        TTags Tags;
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        const TProps P = Props(Tags);
        EXPECT_DOUBLE_EQ(P.PlayTime, 41700.0 / 16000);
        EXPECT_EQ(P.BitRate, 128u);
        EXPECT_EQ(P.Rate, 44100u);
        EXPECT_EQ(P.Channels, C.Channels);
        EXPECT_EQ(P.Bits, 0);
        EXPECT_EQ(P.Samples, 0);
    }
}

// A present header reader answers before the native readers: its play time
// and sample rate even when 0, the rest only when not 0.
TEST(AudioProperties, HeaderReadersAnswerFirst) {
    testutil::TTempDir Dir;
    const std::string Path = Dir.file("a.mp3");
    testutil::WriteFile(Path, tbytes::MpegFrames(100));
    TTags Tags;
    ASSERT_EQ(Tags.LoadFromFile(Path), 0);
    TSourceAudioAttributes& A = Tags.SourceAudioAttributes();
    ASSERT_EQ(A.SamplesPerSec(), 44100u);

    A.WAVPackAttributes = std::make_unique<TWAVPackfile>();
    A.WAVPackAttributes->FChannels = 1;
    EXPECT_EQ(A.PlayTime(), 0);        // the reader's 0 ends the search
    EXPECT_EQ(A.SamplesPerSec(), 0u);  // likewise
    EXPECT_EQ(A.Channels(), 1);
    EXPECT_EQ(A.BitRate(), 128u);  // WavPack knows none: MPEG answers
    A.WAVPackAttributes->FDuration = std::nan("");
    EXPECT_EQ(A.PlayTime(), 0);  // a NaN duration is no play time
    A.WAVPackAttributes->FDuration = 12.5;
    A.WAVPackAttributes->FBitrate = 700.6;
    A.WAVPackAttributes->FBits = 24;
    A.WAVPackAttributes->FSamples = 551250;
    EXPECT_EQ(A.PlayTime(), 12.5);
    EXPECT_EQ(A.BitRate(), 701u);
    EXPECT_EQ(A.BitsPerSample(), 24);
    EXPECT_EQ(A.SampleCount(), 551250);

    A.ClearReaders();
    A.MusePackAttributes = std::make_unique<TMPEGplus>();
    A.MusePackAttributes->FSV8 = true;
    A.MusePackAttributes->FSampleRate = 48000;
    A.MusePackAttributes->FSampleCount = 96000;
    A.MusePackAttributes->FFileSize = 25000;
    EXPECT_EQ(A.PlayTime(), 2.0);
    EXPECT_EQ(A.Channels(), 2);  // SV8 channel count 0 counts as stereo
    EXPECT_EQ(A.SamplesPerSec(), 48000u);
    EXPECT_EQ(A.SampleCount(), 96000);
    EXPECT_EQ(A.BitRate(), 101u);  // round(25000 / 250 + 0.5)

    A.ClearReaders();
    A.MonkeyAttributes = std::make_unique<TMonkey>();
    A.MonkeyAttributes->FBits = 0;
    A.MonkeyAttributes->FSampleRate = 22050;
    EXPECT_EQ(A.SamplesPerSec(), 22050u);
    EXPECT_EQ(A.BitsPerSample(), 0);  // MPEG's 0 is final once its rate is known
    EXPECT_EQ(A.Channels(), 2);       // Monkey knows none: MPEG answers
}

// The container runs each header reader for its own extension only, when
// its option is set, and drops a reader whose header is invalid.
TEST(AudioProperties, ContainerRunsHeaderReadersByExtension) {
    testutil::TTempDir Dir;
    const Bytes WV = Padded(WavPack4(110250, 4 | 2 | RateIndex(3)), 5000);
    const Bytes MPC = Padded(MusepackSV8(441000, 0, 0x00), 5000);
    const Bytes APE = Padded(MonkeyNew(3990, 294912, 1000, 10, 16, 2, 44100), 5000);
    struct TCase {
        const char* Name;
        const Bytes& Data;
        bool Enable;
        double PlayTime;
        uint16_t Channels;
    };
    const TCase Cases[] = {
        {"a.wv", WV, true, 10.0, 1},
        {"a.mpc", MPC, true, 10.0, 1},
        {"a.ape", APE, true, (9.0 * 294912 + 1000) / 44100, 2},
        {"b.wv", WV, false, 0, 0},   // option off
        {"c.mpc", APE, true, 0, 0},  // Monkey's Audio content under a Musepack name
        {"d.APE", APE, true, (9.0 * 294912 + 1000) / 44100, 2},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Path = Dir.file(C.Name);
        testutil::WriteFile(Path, C.Data);
        TTags Tags;
        if (C.Enable) EnableHeaderReaders(Tags);
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        const TProps P = Props(Tags);
        EXPECT_DOUBLE_EQ(P.PlayTime, C.PlayTime);
        EXPECT_EQ(P.Channels, C.Channels);
        const TSourceAudioAttributes& A = Tags.SourceAudioAttributes();
        EXPECT_EQ(A.WAVPackAttributes || A.MusePackAttributes || A.MonkeyAttributes, C.PlayTime > 0);
    }
    // The stream load has no extension: every enabled reader runs.
    TMemoryStream S(WV);
    TTags Tags;
    EnableHeaderReaders(Tags);
    ASSERT_EQ(Tags.LoadFromStream(S), 0);
    EXPECT_EQ(Props(Tags).Rate, 11025u);
    EXPECT_TRUE(Tags.SourceAudioAttributes().WAVPackAttributes);
    EXPECT_FALSE(Tags.SourceAudioAttributes().MonkeyAttributes);
}

TEST(AudioProperties, FormatRecognitionHelpers) {
    TMemoryStream WV(Padded(WavPack4(100, 0), 100));
    EXPECT_TRUE(IsValidWavPackStream(WV));
    Bytes Tagged(200, 0);
    Append(Tagged, MusepackSV7(1000, 0x5A, 0, 0));
    TMemoryStream MPC(Tagged);
    EXPECT_TRUE(IsValidMusepackStream(MPC, 200));
    EXPECT_FALSE(IsValidMusepackStream(MPC, 0));
    EXPECT_FALSE(IsValidWavPackStream(MPC));
    TMemoryStream Empty;
    EXPECT_FALSE(IsValidWavPackStream(Empty));
    EXPECT_FALSE(IsValidMusepackStream(Empty, 0));
    EXPECT_FALSE(IsValidMusepackStream(Empty, 1000));
}

// Files of the real encoders: the header readers give the source's sample
// count, rate, channels and width.
TEST(AudioProperties, RealWavPackAndMusepackFiles) {
    for (const char* Tool : {"ffmpeg", "wavpack", "mpcenc"})
        if (!testutil::HaveCommand(Tool)) GTEST_SKIP() << Tool << " missing";
    testutil::TTempDir Dir;
    auto Wav = [&](const std::string& Name, int Rate, int Channels, const char* Codec, double Seconds) {
        const std::string Path = Dir.file(Name);
        std::ostringstream Cmd;
        Cmd << "ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=" << Rate << ":duration=" << Seconds
            << " -ac " << Channels << " -c:a " << Codec << " '" << Path << "'";
        EXPECT_EQ(testutil::Run(Cmd.str()), 0);
        return Path;
    };
    const std::string Mono24 = Wav("m24.wav", 11025, 1, "pcm_s24le", 2.4);
    const std::string Stereo16 = Wav("s16.wav", 44100, 2, "pcm_s16le", 3.2);
    const std::string Stereo48 = Wav("s48.wav", 48000, 2, "pcm_s16le", 1.5);
    struct TCase {
        const char* Name;
        std::string Command;
        int64_t Samples;
        uint32_t Rate;
        uint16_t Channels, Bits;
        const char* Encoder;  // WavPack only
    };
    const TCase Cases[] = {
        {"m24.wv", "wavpack -q -h '" + Mono24 + "' -o", 26460, 11025, 1, 24, "lossless"},
        {"fast.wv", "wavpack -q -f '" + Stereo16 + "' -o", 141120, 44100, 2, 16, "lossless"},
        {"hybrid.wv", "wavpack -q -b256 '" + Stereo16 + "' -o", 141120, 44100, 2, 16, "hybrid lossy"},
        {"s16.mpc", "mpcenc --silent '" + Stereo16 + "'", 141120, 44100, 2, 0, nullptr},
        {"s48.mpc", "mpcenc --silent --quality 3 '" + Stereo48 + "'", 72000, 48000, 2, 0, nullptr},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Path = Dir.file(C.Name);
        ASSERT_EQ(testutil::Run(C.Command + " '" + Path + "' >/dev/null 2>&1"), 0);
        TTags Tags;
        EnableHeaderReaders(Tags);
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        const TProps P = Props(Tags);
        EXPECT_EQ(P.Samples, C.Samples) << P;
        EXPECT_EQ(P.Rate, C.Rate) << P;
        EXPECT_EQ(P.Channels, C.Channels) << P;
        EXPECT_EQ(P.Bits, C.Bits) << P;
        EXPECT_NEAR(P.PlayTime, double(C.Samples) / C.Rate, 1e-9) << P;
        const double FileKbit = double(testutil::ReadFile(Path).size()) * 8 / 1000;
        EXPECT_NEAR(P.BitRate, FileKbit / P.PlayTime, 1.0) << P;
        if (C.Encoder) {
            ASSERT_TRUE(Tags.SourceAudioAttributes().WAVPackAttributes);
            EXPECT_EQ(Tags.SourceAudioAttributes().WAVPackAttributes->FEncoder.rfind(C.Encoder, 0), 0u)
                << Tags.SourceAudioAttributes().WAVPackAttributes->FEncoder;
        }
    }
}
