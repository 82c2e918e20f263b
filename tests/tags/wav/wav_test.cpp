// WAV chunks: INFO, bext and cart read and written on WAVE and RF64, the
// RIFF size after a save, chunks carried over, the mapping rules, hostile
// chunk sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "tags/audio_properties.h"
#include "tags/byte_io.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/wav/wav_tag.h"
#include "tests/test_util.h"

namespace {

std::vector<uint8_t> Chunk(const std::string& Id, const std::vector<uint8_t>& Data) {
    TByteWriter w;
    w.str(Id).u32le((uint32_t)Data.size()).bytes(Data);
    if (Data.size() & 1) w.u8(0);
    return w.take();
}

std::vector<uint8_t> Info(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& Items) {
    std::vector<uint8_t> d = {'I', 'N', 'F', 'O'};
    for (const auto& [id, v] : Items) {
        const auto c = Chunk(id, v);
        d.insert(d.end(), c.begin(), c.end());
    }
    return Chunk("LIST", d);
}

std::vector<uint8_t> Z(const std::string& S) {
    std::vector<uint8_t> v(S.begin(), S.end());
    v.push_back(0);
    return v;
}

std::vector<uint8_t> Fmt(uint16_t Tag = 1, uint16_t Channels = 2, uint32_t Rate = 44100, uint16_t Bits = 16) {
    TByteWriter w;
    const uint16_t align = uint16_t(Channels * Bits / 8);
    w.u16le(Tag).u16le(Channels).u32le(Rate).u32le(Rate * align).u16le(align).u16le(Bits);
    return Chunk("fmt ", w.take());
}

std::vector<uint8_t> Audio(size_t N) {
    std::vector<uint8_t> a(N);
    for (size_t i = 0; i < N; ++i) a[i] = uint8_t(i * 31 + 7);
    return a;
}

// "RIFF" size "WAVE" and the chunks; Trailing bytes after the form.
std::vector<uint8_t> Wave(const std::vector<std::vector<uint8_t>>& Chunks, const std::vector<uint8_t>& Trailing = {}) {
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (const auto& c : Chunks) body.insert(body.end(), c.begin(), c.end());
    TByteWriter w;
    w.str("RIFF").u32le((uint32_t)body.size()).bytes(body).bytes(Trailing);
    return w.take();
}

struct TWalked {
    std::string Id;
    uint32_t Size;
    std::vector<uint8_t> Data;
};

// An independent walk: every chunk of the form, and the form's size must
// match what the chunks take.
std::vector<TWalked> Walk(const std::vector<uint8_t>& F, bool* SizeOk) {
    std::vector<TWalked> out;
    TByteReader r(F);
    r.skip(4);
    const uint32_t riff = r.u32le();
    r.skip(4);
    size_t end = 8 + (size_t)riff;
    while (r.position() + 8 <= end) {
        TWalked w;
        w.Id = r.str(4);
        w.Size = r.u32le();
        w.Data = r.vec(w.Size);
        if (w.Size & 1) r.skip(1);
        out.push_back(w);
    }
    *SizeOk = r.position() == end;
    return out;
}

const TWalked* Find(const std::vector<TWalked>& W, const std::string& Id) {
    for (const auto& w : W)
        if (w.Id == Id) return &w;
    return nullptr;
}

}  // namespace

// INFO items: the trailing NUL goes, a last byte that is no NUL stays;
// written back with the NUL and a pad byte.
TEST(WAV, InfoTextAndPadding) {
    const auto f = Wave({Fmt(), Info({{"INAM", Z("Abcd")}, {"ICMT", {'a', 'b', 'c', 'd'}}, {"ZZZZ", Z("private")}}),
                         Chunk("data", Audio(400))});
    TMemoryStream s(f);
    TWAVTag t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("INAM"), "Abcd");
    EXPECT_EQ(t.GetText("ICMT"), "abcd");
    TTags tags;
    ASSERT_EQ(tags.LoadFromStream(s), 0);
    EXPECT_EQ(tags.GetText("TITLE"), "Abcd");
    EXPECT_EQ(tags.GetText("COMMENT"), "abcd");
    EXPECT_EQ(tags.Exists("ZZZZ"), -1);
    tags.SetText("COMMENT", "Changed");
    ASSERT_EQ(tags.SaveToStream(s, false, ttWAV), 0);
    bool sizeOk = false;
    const auto w = Walk(s.Data(), &sizeOk);
    EXPECT_TRUE(sizeOk);
    const TWalked* list = Find(w, "LIST");
    ASSERT_NE(list, nullptr);
    // INAM: 5 bytes and a pad byte; the private item kept as it was.
    std::vector<uint8_t> inam = {'I', 'N', 'A', 'M', 5, 0, 0, 0, 'A', 'b', 'c', 'd', 0, 0};
    EXPECT_NE(std::search(list->Data.begin(), list->Data.end(), inam.begin(), inam.end()), list->Data.end());
    TWAVTag again;
    ASSERT_EQ(again.LoadFromStream(s), 0);
    EXPECT_EQ(again.GetText("ZZZZ"), "private");
    EXPECT_EQ(again.GetText("ICMT"), "Changed");
    // Items the save did not change keep their bytes: a UTF-8 text, a text without its NUL.
    {
        TMemoryStream u(
            Wave({Fmt(), Info({{"INAM", Z("Gr\xC3\xB6\xC3\x9Fte")}, {"IART", {'a', 'b'}}}), Chunk("data", Audio(4))}));
        TTags x;
        ASSERT_EQ(x.LoadFromStream(u), 0);
        x.SetText("COMMENT", "new");
        ASSERT_EQ(x.SaveToStream(u, false, ttWAV), 0);
        const auto items = Find(Walk(u.Data(), &sizeOk), "LIST")->Data;
        const std::vector<uint8_t> utf8 = {'I', 'N',  'A',  'M',  9,    0,   0,   0, 'G',
                                           'r', 0xC3, 0xB6, 0xC3, 0x9F, 't', 'e', 0};
        const std::vector<uint8_t> bare = {'I', 'A', 'R', 'T', 2, 0, 0, 0, 'a', 'b'};
        EXPECT_NE(std::search(items.begin(), items.end(), utf8.begin(), utf8.end()), items.end());
        EXPECT_NE(std::search(items.begin(), items.end(), bare.begin(), bare.end()), items.end());
    }
    EXPECT_EQ(Find(w, "data")->Data, Audio(400));
}

// The filler behind the INFO list is its room: a title that fits stays in
// place with a smaller filler; a gap too small for a filler goes into the
// list; a title beyond the room moves the audio, with a filler of 4 KiB.
TEST(WAV, InfoListUsesTheFillerBehindItAsRoom) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wav");
    const auto audio = Audio(4000);
    // INFO list 24 bytes, filler 508: 532 bytes of room, 512 of them for the title item's text.
    const auto original =
        Wave({Fmt(), Info({{"INAM", Z("abc")}}), Chunk("JUNK", std::vector<uint8_t>(500, 0)), Chunk("data", audio)});
    struct TCase {
        const char* Name;
        size_t Title;
        bool InPlace;
        const char* Behind;
    };
    const TCase cases[] = {
        {"fits, the filler shrinks", 100, true, "JUNK"},
        {"a gap of 4 bytes", 507, true, "data"},
        {"fills the room", 511, true, "data"},
        {"beyond the room", 600, false, "JUNK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        testutil::WriteFile(path, original);
        struct stat before {};
        ::stat(path.c_str(), &before);
        TWAVTag w;
        ASSERT_EQ(w.LoadFromFile(path), 0);
        w.SetText("INAM", std::string(c.Title, 't'));
        ASSERT_EQ(w.SaveToFile(path), 0);
        struct stat after {};
        ::stat(path.c_str(), &after);
        const auto b = testutil::ReadFile(path);
        // Within its room the list keeps the file's length and the audio's
        // place (a small file like this one is edited in place either way).
        EXPECT_EQ(b.size() == original.size(), c.InPlace);
        EXPECT_EQ(after.st_ino, before.st_ino);
        bool sizeOk = false;
        const auto walked = Walk(b, &sizeOk);
        EXPECT_TRUE(sizeOk);
        ASSERT_EQ(walked.size(), c.Behind == std::string("JUNK") ? 4u : 3u);
        EXPECT_EQ(walked[2].Id, c.Behind);
        if (!c.InPlace) {
            EXPECT_EQ(walked[2].Size + 8, 4096u);
        }
        EXPECT_EQ(Find(walked, "data")->Data, audio);
        TWAVTag back;
        ASSERT_EQ(back.LoadFromFile(path), 0);
        EXPECT_EQ(back.GetText("INAM"), std::string(c.Title, 't'));
        // A second save of the same title writes nothing.
        ASSERT_EQ(back.SaveToFile(path), 0);
        EXPECT_EQ(testutil::ReadFile(path), b);
    }
}

// The save replaces every INFO list (a file may hold several), keeps every
// other chunk byte for byte and the bytes after the form, and the RIFF size
// counts exactly the chunks written.
TEST(WAV, RebuildKeepsOtherChunksAndSizes) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wav");
    const auto junk = Chunk("JUNK", std::vector<uint8_t>(27, 0xEE));
    const auto cue = Chunk("LIST", {'a', 'd', 't', 'l', 'l', 'a', 'b', 'l', 5, 0, 0, 0, 1, 0, 0, 0, 'x'});
    const std::vector<uint8_t> id3v1(128, 'T');
    const auto original = Wave(
        {Fmt(), Info({{"INAM", Z("One")}}), Chunk("data", Audio(1001)), Info({{"IART", Z("Two")}}), junk, cue}, id3v1);
    testutil::WriteFile(path, original);
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        EXPECT_EQ(t.GetText("TITLE"), "One");
        EXPECT_EQ(t.GetText("ARTIST"), "Two");
        t.SetText("ALBUM", "Three");
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    const auto after = testutil::ReadFile(path);
    bool sizeOk = false;
    const auto w = Walk(after, &sizeOk);
    EXPECT_TRUE(sizeOk);
    EXPECT_EQ(std::vector<uint8_t>(after.end() - 128, after.end()), id3v1);
    int infos = 0;
    for (const auto& c : w)
        infos += c.Id == "LIST" && c.Data.size() >= 4 && std::equal(c.Data.begin(), c.Data.begin() + 4, "INFO");
    EXPECT_EQ(infos, 1);
    EXPECT_EQ(Find(w, "data")->Data, Audio(1001));
    // The filler behind the last INFO list is room for the tag chunks: the
    // file keeps its size, the rest of the room a filler of zeros.
    EXPECT_EQ(after.size(), original.size());
    ASSERT_NE(Find(w, "JUNK"), nullptr);
    EXPECT_EQ(Find(w, "JUNK")->Data, std::vector<uint8_t>(Find(w, "JUNK")->Data.size(), 0));
    int adtl = 0;
    for (const auto& c : w)
        adtl += c.Id == "LIST" && c.Data.size() >= 4 && std::equal(c.Data.begin(), c.Data.begin() + 4, "adtl");
    EXPECT_EQ(adtl, 1);
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    EXPECT_EQ(t.GetText("TITLE"), "One");
    EXPECT_EQ(t.GetText("ARTIST"), "Two");
    EXPECT_EQ(t.GetText("ALBUM"), "Three");
    // Ten saves in a row give the same bytes.
    for (int i = 0; i < 10; ++i) {
        TTags again;
        ASSERT_EQ(again.LoadFromFile(path), 0);
        ASSERT_EQ(again.SaveToFile(path), 0);
    }
    EXPECT_EQ(testutil::ReadFile(path), after);
}

// The album, copyright and track go to IPRD, ICOP and ITRK; the aliases other
// programs wrote follow, so the old value does not come back beside the new
// one; the track keeps its total.
TEST(WAV, AliasesInStepAndTrackTotal) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wav");
    testutil::WriteFile(path, Wave({Fmt(), Info({{"IALB", Z("Old")}, {"BCPR", Z("(c) old")}, {"ITRK", Z("3/12")}}),
                                    Chunk("data", Audio(40))}));
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        EXPECT_EQ(t.GetText("TRACKNUMBER"), "3");
        EXPECT_EQ(t.GetText("TOTALTRACKS"), "12");
        t.SetText("ALBUM", "New");
        t.SetText("COPYRIGHT", "(c) new");
        t.SetText("TRACKNUMBER", "4");
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    TWAVTag w;
    ASSERT_EQ(w.LoadFromFile(path), 0);
    EXPECT_EQ(w.GetText("IPRD"), "New");
    EXPECT_EQ(w.GetText("IALB"), "New");
    EXPECT_EQ(w.GetText("BCPR"), "(c) new");
    EXPECT_EQ(w.GetText("ITRK"), "4/12");
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    EXPECT_EQ(t.TypeCount("ALBUM"), 1);
    EXPECT_EQ(t.GetText("ALBUM"), "New");
    EXPECT_EQ(t.GetText("TOTALTRACKS"), "12");
    // Deleting the album removes both items.
    t.Delete("ALBUM");
    ASSERT_EQ(t.SaveToFile(path), 0);
    TWAVTag gone;
    ASSERT_EQ(gone.LoadFromFile(path), 0);
    EXPECT_EQ(gone.FrameExists("IPRD"), -1);
    EXPECT_EQ(gone.FrameExists("IALB"), -1);
}

// A plain INFO track number leaves the total the file's ID3v2 tag gives.
TEST(WAV, InfoTrackKeepsAnID3v2Total) {
    const std::vector<uint8_t> trck = {'T', 'R', 'C', 'K', 0, 0, 0, 4, 0, 0, 0, '1', '/', '8'};
    std::vector<uint8_t> id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, (uint8_t)trck.size()};
    id3.insert(id3.end(), trck.begin(), trck.end());
    TMemoryStream s(Wave({Fmt(), Info({{"ITRK", Z("1")}}), Chunk("data", Audio(40)), Chunk("id3 ", id3)}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("TRACKNUMBER"), "1");
    EXPECT_EQ(t.GetText("TOTALTRACKS"), "8");
}

// bext and cart round trips; a time reference beyond 32 bits survives.
TEST(WAV, BextAndCart) {
    TMemoryStream s(Wave({Fmt(), Chunk("data", Audio(100))}));
    {
        TTags t;
        ASSERT_EQ(t.LoadFromStream(s), 0);
        t.Add("BEXT Description")->Value = "Desc";
        t.Add("BEXT TimeReference")->Value = "576000000000";
        t.Add("BEXT LoudnessValue")->Value = "-2300";
        t.Add("BEXT CodingHistory")->Value = "A=PCM,F=48000,W=16,M=mono";  // 25 bytes
        t.Add("CART Title")->Value = "Cart title";
        t.Add("CART PostTimer3")->Value = "MRK1 48000";
        t.Add("CART PostTimer4")->Value = "1000";
        t.Add("CART TagText")->Value = "tag text";
        ASSERT_EQ(t.SaveToStream(s, false, ttWAV), 0);
    }
    bool sizeOk = false;
    const auto w = Walk(s.Data(), &sizeOk);
    EXPECT_TRUE(sizeOk);
    ASSERT_NE(Find(w, "bext"), nullptr);
    EXPECT_EQ(Find(w, "bext")->Size, 602u + 26u);  // history, NUL, already even
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("BEXT Description"), "Desc");
    EXPECT_EQ(t.GetText("BEXT TimeReference"), "576000000000");
    EXPECT_EQ(t.GetText("BEXT Version"), "1");
    EXPECT_EQ(t.GetText("BEXT LoudnessValue"), "63236");
    EXPECT_EQ(t.GetText("BEXT CodingHistory"), "A=PCM,F=48000,W=16,M=mono");
    EXPECT_EQ(t.GetText("CART Version"), "0101");
    EXPECT_EQ(t.GetText("CART Title"), "Cart title");
    EXPECT_EQ(t.GetText("CART PostTimer3"), "MRK1 48000");
    EXPECT_EQ(t.GetText("CART PostTimer4"), " 1000");
    EXPECT_EQ(t.GetText("CART TagText"), "tag text");
}

// Play time: PCM from its frames; MPEG in WAV from the "fact" sample count
// (the field after the chunk's size).
TEST(WAV, PlayTimeAndFact) {
    {
        TMemoryStream s(Wave({Fmt(1, 2, 44100, 16), Chunk("data", Audio(1764000))}));
        TTags t;
        ASSERT_EQ(t.LoadFromStream(s), 0);
        EXPECT_DOUBLE_EQ(t.SourceAudioAttributes().PlayTime(), 10.0);
        EXPECT_EQ(t.SourceAudioAttributes().SampleCount(), 441000);
        EXPECT_EQ(t.SourceAudioAttributes().BitRate(), 1411u);
        EXPECT_EQ(t.SourceAudioAttributes().Channels(), 2);
    }
    {
        // 10 s of MPEG layer III at 16 kB/s, 441000 samples at 44.1 kHz.
        TByteWriter fmt;
        fmt.u16le(85).u16le(2).u32le(44100).u32le(16000).u16le(1).u16le(0);
        TByteWriter fact;
        fact.u32le(441000);
        TMemoryStream s(Wave({Chunk("fmt ", fmt.take()), Chunk("fact", fact.take()), Chunk("data", Audio(160000))}));
        TWAVTag w;
        ASSERT_EQ(w.LoadFromStream(s), 0);
        EXPECT_DOUBLE_EQ(w.PlayTime, 10.0);
        EXPECT_EQ(w.SampleCount, 441000u);
        EXPECT_EQ(w.GetCodec(), "MPEG Layer III");
    }
}

// RF64: the 64-bit sizes in "ds64" are used, and a save updates the RIFF size there.
TEST(WAV, RF64) {
    TByteWriter ds;
    const auto fmt = Fmt();
    const auto audio = Audio(600);
    const uint64_t riff = 4 + 36 + fmt.size() + 8 + audio.size();
    ds.u64le(riff).u64le(audio.size()).u64le(150).u32le(0);
    TByteWriter f;
    f.str("RF64").u32le(0xFFFFFFFF).str("WAVE").bytes(Chunk("ds64", ds.take())).bytes(fmt);
    f.str("data").u32le(0xFFFFFFFF).bytes(audio);
    TMemoryStream s(f.take());
    {
        TTags t;
        ASSERT_EQ(t.LoadFromStream(s), 0);
        EXPECT_EQ(t.SourceAudioAttributes().SampleCount(), 150);
        t.SetText("TITLE", "Big");
        ASSERT_EQ(t.SaveToStream(s, false, ttWAV), 0);
    }
    TByteReader r(s.Data());
    r.seek(20);
    EXPECT_EQ(r.u64le(), s.Data().size() - 8);
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("TITLE"), "Big");
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), s.Data().end() - (ptrdiff_t)audio.size()));
}

// Hostile sizes: each loads without a crash; a save of a file whose chunk
// runs past its end is refused and changes nothing.
TEST(WAV, HostileSizes) {
    auto le32 = [](uint32_t V) {
        return std::vector<uint8_t>{uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
    };
    std::vector<uint8_t> itemPastList = {'I', 'N', 'F', 'O', 'I', 'N', 'A',  'M',  2,    0,    0,   0,
                                         'o', 0,   'I', 'A', 'R', 'T', 0xFF, 0xFF, 0xFF, 0xFF, 'x', 0};
    std::vector<uint8_t> evnt = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Bytes;
        bool SaveRefused;
    };
    const TCase cases[] = {
        {"INFO item past its list", Wave({Fmt(), Chunk("LIST", itemPastList), Chunk("data", Audio(10))}), false},
        {"bext shorter than its fixed part", Wave({Fmt(), Chunk("bext", {1, 2, 3}), Chunk("data", Audio(10))}), false},
        {"EVNT token past the chunk", Wave({Fmt(), Chunk("EVNT", evnt), Chunk("data", Audio(10))}), false},
        {"zero block align", Wave({Chunk("fmt ", std::vector<uint8_t>(16, 0)), Chunk("data", Audio(10))}), false},
        {"data past the end",
         [&] {
             auto f = Wave({Fmt(), Chunk("data", Audio(10))});
             const auto n = le32(0x7FFFFFF0);
             std::copy(n.begin(), n.end(), f.end() - 14);
             return f;
         }(),
         true},
        {"chunk size 2^32-1",
         [&] {
             auto f = Wave({Fmt(), Chunk("JUNK", {}), Chunk("data", Audio(10))});
             const auto n = le32(0xFFFFFFFF);
             std::copy(n.begin(), n.end(), f.begin() + 12 + 24 + 4);
             return f;
         }(),
         true},
        {"RIFF size 0",
         [&] {
             auto f = Wave({Fmt(), Chunk("data", Audio(10))});
             std::fill(f.begin() + 4, f.begin() + 8, 0);
             return f;
         }(),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream s(c.Bytes);
        TTags t;
        ASSERT_EQ(t.LoadFromStream(s), 0);
        t.SetText("TITLE", "x");
        TWAVTag w;
        EXPECT_EQ(w.LoadFromStream(s), 0);
        const int r = t.SaveToStream(s, false, ttWAV);
        if (c.SaveRefused) {
            EXPECT_NE(r, 0);
            EXPECT_EQ(s.Data(), c.Bytes);
        }
    }
    // A form whose size stops short of its chunks still shows them; the
    // bytes after an ID3v1-like tail are no chunk.
    {
        auto f = Wave({Fmt(), Chunk("data", Audio(10))}, std::vector<uint8_t>(128, 'T'));
        std::fill(f.begin() + 4, f.begin() + 8, 0);
        f[4] = 8;
        TMemoryStream s(f);
        TWAVTag w;
        ASSERT_EQ(w.LoadFromStream(s), 0);
        EXPECT_EQ(w.Attributes.SamplesPerSec, 44100u);
        EXPECT_EQ(w.SampleDataSize, 10u);
        w.SetText("INAM", "x");
        ASSERT_EQ(w.SaveToStream(s), 0);
        bool sizeOk = false;
        const auto walked = Walk(s.Data(), &sizeOk);
        EXPECT_TRUE(sizeOk);
        ASSERT_EQ(walked.size(), 4u);  // the INFO list, the filler behind it, fmt and data
        EXPECT_EQ(walked[1].Id, "JUNK");
        EXPECT_EQ(std::vector<uint8_t>(s.Data().end() - 128, s.Data().end()), std::vector<uint8_t>(128, 'T'));
    }
    // An RF64 whose "ds64" cannot hold its sizes is no form we can write into.
    {
        std::vector<uint8_t> f = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',
                                  'V', 'E', 'd', 's', '6',  '4',  0,    0,    0,   0};
        f.resize(45, 0);
        TMemoryStream s(f);
        TWAVTag w;
        EXPECT_EQ(w.LoadFromStream(s), wavresult::NotWave);
        w.SetText("INAM", "x");
        EXPECT_EQ(w.SaveToStream(s), wavresult::NotWave);
        EXPECT_EQ(s.Data(), f);
    }
    TMemoryStream notWave(std::vector<uint8_t>{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    TWAVTag w;
    EXPECT_EQ(w.LoadFromStream(notWave), wavresult::NotWave);
}

// An untagged WAVE gets its tags (stage two writes ID3v2 and INFO), a
// read-only one is refused and unchanged, and removal drops the chunks.
TEST(WAV, ContainerSaveReadOnlyAndRemoval) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wav");
    const auto plain = Wave({Fmt(), Chunk("data", Audio(100))});
    testutil::WriteFile(path, plain);
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        t.SetText("TITLE", "T");
        EXPECT_EQ(t.SaveToFile(path), 0);
    }
    {
        TWAVTag w;
        ASSERT_EQ(w.LoadFromFile(path), 0);
        EXPECT_EQ(w.GetText("INAM"), "T");
    }
    const auto tagged = testutil::ReadFile(path);
    ::chmod(path.c_str(), 0444);
    {
        TWAVTag w;
        ASSERT_EQ(w.LoadFromFile(path), 0);
        w.SetText("INAM", "U");
        EXPECT_EQ(w.SaveToFile(path), wavresult::ReadOnly);
        EXPECT_EQ(testutil::ReadFile(path), tagged);
    }
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(RemoveWAVTagFromFile(path), 0);
    TWAVTag w;
    ASSERT_EQ(w.LoadFromFile(path), 0);
    EXPECT_FALSE(w.Loaded);
    EXPECT_EQ(w.Count(), 0);
    EXPECT_EQ(RemoveWAVTagFromFile(dir.file("none.wav")), wavresult::NoFile);
}
