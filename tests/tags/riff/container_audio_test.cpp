// Stream values of WAVE, RF64, AIFF / AIFC, DSF and DSDIFF files, built
// field by field, and what the container answers for them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tags/audio_properties.h"
#include "tags/riff/container_audio.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct TWriter {
    Bytes B;
    TWriter& s(const char* T) {
        B.insert(B.end(), T, T + std::strlen(T));
        return *this;
    }
    TWriter& raw(const Bytes& X) {
        B.insert(B.end(), X.begin(), X.end());
        return *this;
    }
    TWriter& le(uint64_t V, int N) {
        for (int i = 0; i < N; ++i) B.push_back(uint8_t(V >> (8 * i)));
        return *this;
    }
    TWriter& be(uint64_t V, int N) {
        for (int i = N - 1; i >= 0; --i) B.push_back(uint8_t(V >> (8 * i)));
        return *this;
    }
    TWriter& zeros(size_t N) {
        B.resize(B.size() + N, 0);
        return *this;
    }
};

// "fmt " of Size bytes (16, 18 or 40) for a format.
Bytes FmtChunk(uint16_t Tag, uint16_t Ch, uint32_t Rate, uint16_t Bits, uint32_t Size) {
    TWriter w;
    const uint16_t align = uint16_t(Ch * Bits / 8);
    w.s("fmt ").le(Size, 4).le(Tag, 2).le(Ch, 2).le(Rate, 4).le(uint64_t(Rate) * align, 4).le(align, 2).le(Bits, 2);
    if (Size >= 18) w.le(Size == 40 ? 22 : 0, 2);
    if (Size == 40)
        w.le(20, 2).le(0x3F, 4).raw(Bytes{1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    return w.B;
}

Bytes Wave(const Bytes& Fmt, uint32_t DataSize) {
    TWriter w;
    w.s("RIFF").le(4 + Fmt.size() + 8 + DataSize, 4).s("WAVE").raw(Fmt).s("LIST").le(3, 4).s("abc").zeros(1);
    w.s("data").le(DataSize, 4).zeros(DataSize);
    return w.B;
}

TContainerAudio Read(const Bytes& File, TSourceFileType Type) {
    TMemoryStream s(File);
    s.Seek(5);
    TContainerAudio a = ReadContainerAudio(s, Type);
    EXPECT_EQ(s.Position(), 5);  // the position is put back
    return a;
}

TEST(ContainerAudio, WaveFormats) {
    const struct {
        const char* What;
        Bytes Fmt;
        uint16_t ValidBits;
    } cases[] = {
        {"PCM, 16-byte format chunk", FmtChunk(1, 2, 44100, 16, 16), 0},
        {"PCM, 18-byte format chunk", FmtChunk(1, 2, 44100, 16, 18), 0},
        {"extensible", FmtChunk(0xFFFE, 2, 44100, 16, 40), 20},
    };
    for (const auto& c : cases) {
        const TContainerAudio a = Read(Wave(c.Fmt, 1764000), sftWAVE);
        EXPECT_EQ(a.SampleCount, 441000) << c.What;
        EXPECT_DOUBLE_EQ(a.PlayTime, 10.0) << c.What;
        EXPECT_EQ(a.BitRate, 1411u) << c.What;
        EXPECT_EQ(a.WAVInfo.Channels, 2) << c.What;
        EXPECT_EQ(a.WAVInfo.ValidBitsPerSample, c.ValidBits) << c.What;
        EXPECT_EQ(a.WAVInfo.ChannelMask, c.ValidBits ? 0x3Fu : 0u) << c.What;
    }
    // Zero divisors give zeros, never infinities.
    const TContainerAudio z = Read(Wave(FmtChunk(1, 0, 0, 16, 16), 100), sftWAVE);
    EXPECT_EQ(z.SampleCount, 0);
    EXPECT_EQ(z.PlayTime, 0);
    // A data chunk that claims more than the file holds counts what is there.
    Bytes cut = Wave(FmtChunk(1, 2, 44100, 16, 16), 176400);
    cut.resize(cut.size() - 88200);
    EXPECT_DOUBLE_EQ(Read(cut, sftWAVE).PlayTime, 0.5);
}

TEST(ContainerAudio, RF64TakesTheSampleCountOfDs64) {
    TWriter w;
    w.s("RF64").le(0xFFFFFFFF, 4).s("WAVE").s("ds64").le(28, 4).le(1000, 8).le(400, 8).le(123456789, 8).le(0, 4);
    w.raw(FmtChunk(1, 2, 48000, 16, 16)).s("data").le(0xFFFFFFFF, 4).zeros(400);
    const TContainerAudio a = Read(w.B, sftRF64);
    EXPECT_EQ(a.SampleCount, 123456789);
    EXPECT_NEAR(a.PlayTime, 123456789 / 48000.0, 1e-9);
    // Without a sample count in ds64 the data size there counts.
    TWriter v;
    v.s("RF64").le(0xFFFFFFFF, 4).s("WAVE").s("ds64").le(28, 4).le(1000, 8).le(400, 8).le(0, 8).le(0, 4);
    v.raw(FmtChunk(1, 2, 48000, 16, 16)).s("data").le(0xFFFFFFFF, 4).zeros(400);
    EXPECT_EQ(Read(v.B, sftRF64).SampleCount, 100);
}

Bytes Aiff(bool Aifc, uint32_t Frames, const Bytes& Rate, uint32_t SsndSize, bool Truncated = false) {
    TWriter comm;
    comm.be(2, 2).be(Frames, 4).be(16, 2).raw(Rate);
    if (Aifc) comm.s("sowt").raw(Bytes{8}).s("Caf\xE9 PCM").zeros(1);
    TWriter w;
    w.s("FORM").be(0, 4).s(Aifc ? "AIFC" : "AIFF").s("COMM").be(comm.B.size(), 4).raw(comm.B);
    w.s("SSND").be(SsndSize, 4);
    if (!Truncated) w.zeros(SsndSize);
    const uint32_t form = uint32_t(w.B.size() - 8);
    for (int i = 0; i < 4; ++i) w.B[4 + i] = uint8_t(form >> (24 - 8 * i));
    return w.B;
}
const Bytes Rate44100{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};

TEST(ContainerAudio, AiffAndAifc) {
    const TContainerAudio a = Read(Aiff(false, 441000, Rate44100, 1764008, true), sftAIFF);
    EXPECT_DOUBLE_EQ(a.AIFFInfo.SampleRate, 44100.0);
    EXPECT_DOUBLE_EQ(a.PlayTime, 10.0);
    EXPECT_EQ(a.BitRate, 1411u);
    EXPECT_EQ(a.AIFFInfo.CompressionID, "");

    const TContainerAudio c = Read(Aiff(true, 100, Rate44100, 400), sftAIFF);
    EXPECT_EQ(c.AIFFInfo.CompressionID, "sowt");
    EXPECT_EQ(c.AIFFInfo.Compression, "Caf\xC3\xA9 PCM");

    // The container answers an AIFF play time in whole seconds: 12.6 s -> 13.
    TMemoryStream s(Aiff(false, 555660, Rate44100, 400));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.ID3v2Tag().SourceFileType(), sftAIFF);
    EXPECT_DOUBLE_EQ(t.SourceAudioAttributes().PlayTime(), 13.0);
    EXPECT_EQ(t.SourceAudioAttributes().SamplesPerSec(), 44100u);
    EXPECT_EQ(t.SourceAudioAttributes().Channels(), 2);
    EXPECT_EQ(t.SourceAudioAttributes().BitsPerSample(), 16);
}

TEST(ContainerAudio, Dsf) {
    TWriter w;
    w.s("DSD ").le(28, 8).le(0, 8).le(0, 8);
    w.s("fmt ")
        .le(52, 8)
        .le(1, 4)
        .le(0, 4)
        .le(2, 4)
        .le(2, 4)
        .le(2822400, 4)
        .le(1, 4)
        .le(28224000, 8)
        .le(4096, 4)
        .le(0, 4);
    w.s("data").le(12, 8);
    const TContainerAudio a = Read(w.B, sftDSF);
    EXPECT_DOUBLE_EQ(a.PlayTime, 10.0);
    EXPECT_EQ(a.SampleCount, 28224000);
    EXPECT_EQ(a.BitRate, 5645u);
    EXPECT_EQ(a.DSFInfo.ChannelType, dsfctStereo);
}

Bytes Dff(const Bytes& Chunks, const Bytes& Prefix = {}) {
    TWriter w;
    w.raw(Prefix).s("FRM8").be(4 + Chunks.size(), 8).s("DSD ").raw(Chunks);
    return w.B;
}
Bytes Prop(uint32_t Rate, uint16_t Ch, const char* Cmpr) {
    TWriter p;
    p.s("SND ").s("FS  ").be(4, 8).be(Rate, 4).s("CHNL").be(2 + 4 * Ch, 8).be(Ch, 2);
    for (int i = 0; i < Ch; ++i) p.s(i ? "SRGT" : "SLFT");
    p.s("CMPR").be(5, 8).s(Cmpr).zeros(1).zeros(1);  // odd size, pad byte
    p.s("ABSS").be(8, 8).zeros(8);
    TWriter w;
    w.s("PROP").be(p.B.size(), 8).raw(p.B);
    return w.B;
}

TEST(ContainerAudio, Dsdiff) {
    // Plain DSD: the play time keeps its fraction of a second.
    TWriter plain;
    plain.s("FVER").be(4, 8).raw(Bytes{1, 5, 0, 0}).raw(Prop(2822400, 2, "DSD ")).s("COMT").be(3, 8).s("abc").zeros(1);
    plain.s("DSD ").be(710000, 8).zeros(710000);
    TDFFInfo d;
    TMemoryStream s(Dff(plain.B));
    ASSERT_TRUE(d.LoadFromStream(s));
    EXPECT_EQ(d.FormatVersion, "1.5");
    EXPECT_EQ(d.CompressionName, "Not Compressed");
    EXPECT_EQ(d.ChannelNumber, 2);
    EXPECT_EQ(d.SampleCount, 2840000u);
    EXPECT_NEAR(d.PlayTime, 2840000 / 2822400.0, 1e-12);
    EXPECT_EQ(d.BitRate, 5645u);

    // DST: frames and rate give the play time; after an ID3v2 tag at the start.
    TWriter dst;
    dst.raw(Prop(2822400, 2, "DST ")).s("DST ").be(40, 8).s("FRTE").be(6, 8).be(750, 4).be(75, 2).zeros(22);
    Bytes id3{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10};
    id3.resize(20, 0);
    TDFFInfo e;
    TMemoryStream t(Dff(dst.B, id3));
    ASSERT_TRUE(e.LoadFromStream(t));
    EXPECT_EQ(e.CompressionName, "DST Encoded");
    EXPECT_DOUBLE_EQ(e.PlayTime, 10.0);
    EXPECT_EQ(e.SampleCount, 28224000u);
    EXPECT_EQ(e.BitRate, 5645u);

    // A "PROP" size beyond the file is not copied; nothing is computed from it.
    TWriter hostile;
    hostile.s("PROP").be(0x7FFFFFFFFFFFFFF0ull, 8).s("SND ");
    TDFFInfo h;
    TMemoryStream u(Dff(hostile.B));
    EXPECT_TRUE(h.LoadFromStream(u));
    EXPECT_EQ(h.SampleRate, 0u);
    // Zero channels or rate: zeros.
    TWriter zero;
    zero.raw(Prop(0, 0, "DSD ")).s("DSD ").be(8, 8).zeros(8);
    TDFFInfo z;
    TMemoryStream v(Dff(zero.B));
    EXPECT_TRUE(z.LoadFromStream(v));
    EXPECT_EQ(z.PlayTime, 0);
    EXPECT_EQ(z.BitRate, 0u);
    TMemoryStream notDff(Bytes(64, 0));
    EXPECT_FALSE(TDFFInfo().LoadFromStream(notDff));
}

TEST(ContainerAudio, Extended80) {
    const uint8_t r48000[10] = {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(DecodeExtended80(r48000), 48000.0);
    const uint8_t inf[10] = {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeExtended80(inf), 0.0);
}

}  // namespace
