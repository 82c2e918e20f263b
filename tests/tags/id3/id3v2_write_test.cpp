// Writing ID3v2 tags: in place or through a temporary file, containers,
// removal, frame bodies as built, and what happens when writing fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tags/id3/id3v2_tag.h"
#include "tags/padding.h"
#include "tags/stream.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

using namespace tbytes;
namespace fs = std::filesystem;

namespace {

ino_t Inode(const std::string& P) {
    struct stat st {};
    ::stat(P.c_str(), &st);
    return st.st_ino;
}

Bytes Tail(const Bytes& B, size_t From) { return Bytes(B.begin() + (ptrdiff_t)std::min(From, B.size()), B.end()); }

uint32_t StoredTagSize(const Bytes& F, size_t At = 0) {
    const uint8_t* p = F.data() + At + 6;
    return ((p[0] & 0x7F) << 21) | ((p[1] & 0x7F) << 14) | ((p[2] & 0x7F) << 7) | (p[3] & 0x7F);
}

bool NoTempLeft(const testutil::TTempDir& D) {
    for (const auto& e : fs::directory_iterator(D.path()))
        if (e.path().extension() == ".tmp") return false;
    return true;
}

}  // namespace

TEST(ID3v2Write, InPlaceWhenItFitsTheOldSpace) {
    testutil::TTempDir dir;
    const std::string f = dir.file("a.mp3");
    const Bytes audio = Cat(tbytes::MpegFrames(20), Audio(999));
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("old")), 2000), audio));
    const ino_t inode = Inode(f);
    const size_t size = testutil::ReadFile(f).size();

    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.SetText("TIT2", std::string(500, 'n'), teUnicode);  // grows by less than the padding
    ASSERT_EQ(t.SaveToFile(f), 0);
    Bytes after = testutil::ReadFile(f);
    EXPECT_EQ(Inode(f), inode);
    EXPECT_EQ(after.size(), size);
    EXPECT_EQ(Tail(after, after.size() - audio.size()), audio);
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetText("TIT2"), std::string(500, 'n'));
    EXPECT_TRUE(NoTempLeft(dir));
}

TEST(ID3v2Write, RewritesWhenTooLargeOrTooMuchSlack) {
    testutil::TTempDir dir;
    const std::string f = dir.file("a.mp3");
    const Bytes audio = Cat(tbytes::MpegFrames(10), Audio(333));
    struct TCase {
        const char* Name;
        Bytes OldTag;
        std::string NewTitle;
    };
    const TCase cases[] = {
        {"grows past the padding", Tag(3, Frame(3, "TIT2", Text0("old")), 10), std::string(100, 'g')},
        // A small file keeps up to twice 4 KiB of padding.
        {"shrinks by more than 8192", Tag(3, Frame(3, "TIT2", Text0(std::string(9000, 's'))), 0), "short"},
        {"no tag yet", {}, "new"},
    };
    for (const auto& c : cases) {
        testutil::WriteFile(f, Cat(c.OldTag, audio));
        TID3v2Tag t;
        t.LoadFromFile(f);
        t.SetText("TIT2", c.NewTitle, teUnicode);
        ASSERT_EQ(t.SaveToFile(f), 0) << c.Name;
        Bytes after = testutil::ReadFile(f);
        ASSERT_EQ(after[3], 3) << c.Name;  // written as 2.3
        const uint32_t frames = 10 + 1 + 2 + 2 * (uint32_t)c.NewTitle.size() + 2;
        EXPECT_EQ(StoredTagSize(after), frames + 4096) << c.Name;
        EXPECT_EQ(Tail(after, 10 + StoredTagSize(after)), audio) << c.Name;
        EXPECT_TRUE(NoTempLeft(dir)) << c.Name;
    }
}

// A 2,000-character title written, then edited back to one character: the
// tag keeps its place, the freed bytes becoming padding.
TEST(ID3v2Write, AShrunkTagKeepsItsPlace) {
    testutil::TTempDir dir;
    const std::string f = dir.file("a.mp3");
    const Bytes audio = tbytes::MpegFrames(1440);  // 600 KB
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("x"))), audio));
    for (const std::string& title :
         {std::string(2000, 'l'), std::string("s"), std::string("Ночь 東京 🎵"), std::string("short")}) {
        TID3v2Tag t;
        ASSERT_EQ(t.LoadFromFile(f), 0);
        const ino_t inode = Inode(f);
        const uint32_t size = t.Size();
        t.SetText("TIT2", title, teUnicode);
        ASSERT_EQ(t.SaveToFile(f), 0);
        const Bytes after = testutil::ReadFile(f);
        EXPECT_EQ(Tail(after, 10 + StoredTagSize(after)), audio) << title;
        if (title.size() == 2000) {
            // Written anew: one hundredth of the file as padding.
            EXPECT_EQ(StoredTagSize(after), 10 + 1 + 2 + 4000 + 2 + padding::PaddingFor(22 + (int64_t)audio.size()));
            continue;
        }
        EXPECT_EQ(Inode(f), inode) << title;
        EXPECT_EQ(10 + StoredTagSize(after), size) << title;
    }
}

// The write options outlive a load: a configured padding and version are
// what the next save writes.
TEST(ID3v2Write, WriteOptionsSurviveALoad) {
    testutil::TTempDir dir;
    const std::string f = dir.file("a.mp3");
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("old")), 20), tbytes::MpegFrames(3)));
    TID3v2Tag t;
    t.WriteOptions.Padding = TPaddingOption::Exactly(100);
    t.WriteOptions.Version = sfid3v24;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    EXPECT_EQ(t.WriteOptions.Padding, TPaddingOption::Exactly(100));
    t.SetText("TIT2", std::string(100, 'n'), teUnicode);  // beyond the 20 bytes of room
    ASSERT_EQ(t.SaveToFile(f), 0);
    const Bytes after = testutil::ReadFile(f);
    EXPECT_EQ(after[3], 4);
    EXPECT_EQ(t.PaddingSize(), 100u);
    EXPECT_EQ(after.size(), 10 + StoredTagSize(after) + tbytes::MpegFrames(3).size());
}

TEST(ID3v2Write, Version22IsWrittenAs23) {
    testutil::TTempDir dir;
    const std::string f = dir.file("old.mp3");
    testutil::WriteFile(
        f, Cat(Tag(2, Cat(Frame(2, "TT2", Text0("T")), Frame(2, "XXX", Text0("?")))), tbytes::MpegFrames(3)));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    ASSERT_EQ(t.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    EXPECT_EQ(b[3], 3);
    EXPECT_EQ(Bytes(b.begin() + 10, b.begin() + 14), Str("TIT2"));
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetFrameCount(), 1);  // the unknown 2.2 frame has no 2.3 form
    EXPECT_EQ(back.GetText("TIT2"), "T");
}

TEST(ID3v2Write, EmptyFramesRemoveTheTag) {
    testutil::TTempDir dir;
    const std::string f = dir.file("a.mp3");
    const Bytes audio = tbytes::MpegFrames(4);
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("x")), 50), audio));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.Frames[0]->Data.clear();
    EXPECT_EQ(t.SaveToFile(f), 0);
    EXPECT_EQ(testutil::ReadFile(f), audio);
    TID3v2Tag none;
    EXPECT_EQ(none.SaveToFile(f), 2);  // no frames: nothing written
    EXPECT_EQ(RemoveID3v2TagFromFile(f), 2);
    EXPECT_EQ(RemoveID3v2TagFromFile(dir.file("missing.mp3")), 4);
}

TEST(ID3v2Write, FramesWithoutAMeaningSurviveByteForByte) {
    testutil::TTempDir dir;
    const std::string f = dir.file("keep.mp3");
    const Bytes raw =
        Cat(Frame(4, "PRIV", Cat(Str("owner"), Bytes{0, 1, 2, 0xFF, 0})),
            Frame(4, "GEOB", Cat(Bytes{0}, Str("bin"), Bytes{0}, Str("f"), Bytes{0, 0}, Audio(40))),
            Frame(4, "UFID", Cat(Str("http://x"), Bytes{0}, Str("id-1"))),
            Frame(4, "RVA2", Cat(Str("track"), Bytes{0, 1, 0xFE, 0x00, 0})),
            Frame(4, "POPM", Cat(Str("a@b"), Bytes{0, 196, 0, 0, 0, 9})),
            Frame(4, "SYLT", Cat(Bytes{0}, Str("eng"), Bytes{2, 1, 0}, Str("la"), Bytes{0}, BE32(1000))),
            Frame(4, "TXXX", Cat(Bytes{3}, Str("k"), Bytes{0}, Str("v"))), Frame(4, "XABC", Str("experimental")));
    testutil::WriteFile(f, Cat(Tag(4, Cat(Frame(4, "TIT2", Text0("a")), raw)), tbytes::MpegFrames(2)));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.SetText("TIT2", "changed", teUnicode);
    ASSERT_EQ(t.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    EXPECT_EQ(b[3], 4);  // 2.4 stays 2.4
    auto at = std::search(b.begin(), b.end(), raw.begin(), raw.end());
    EXPECT_NE(at, b.end()) << "unknown frames changed";
}

TEST(ID3v2Write, BodiesAsBuilt) {
    TID3v2Tag t;
    t.SetContent("COMM", "Hi", teUnicode, "d", "eng");
    EXPECT_EQ(t.Frames[0]->Data, (Bytes{1, 'e', 'n', 'g', 0xFF, 0xFE, 'd', 0, 0, 0, 0xFF, 0xFE, 'H', 0, 'i', 0, 0, 0}));
    t.SetContent("USLT", "x", teUTF8, "", "de");
    EXPECT_EQ(t.Frames[1]->Data, (Bytes{3, 'd', 'e', ' ', 0, 'x', 0}));
    t.SetURL("WOAR", "http://a.b/c");
    EXPECT_EQ(t.Frames[2]->Data, Str("http://a.b/c"));
    EXPECT_EQ(t.GetURL("WOAR"), "http://a.b/c");
    t.SetPlayCount("PCNT", 0x01020304);
    EXPECT_EQ(t.Frames[3]->Data, (Bytes{1, 2, 3, 4}));

    // A leading byte above 3 is text, not an encoding byte.
    TID3v2Frame* x = t.AddFrameEx("TXXX");
    x->Data = Cat(Bytes{7}, Str("desc"), Bytes{0}, Str("value"));
    std::string d;
    EXPECT_EQ(t.GetUserDefinedTextInformation(t.GetFrameCount() - 1, d), "value");
    EXPECT_EQ(d,
              "\x07"
              "desc");

    // UTF-16 strings without their own mark keep the order of the one before.
    TID3v2Frame* m = t.AddFrameEx("TPE1");
    m->Data = {1, 0xFE, 0xFF, 0, 'A', 0, 0, 0, 'B', 0, 0};
    std::vector<std::string> list;
    EXPECT_TRUE(t.GetTextMultiple(t.GetFrameCount() - 1, list));
    EXPECT_EQ(list, (std::vector<std::string>{"A", "B"}));
    // Encoding 2 (UTF-16BE without mark) and odd trailing bytes.
    m->Data = {2, 0, 'O', 0, 'K', 0};
    EXPECT_EQ(t.GetText(t.GetFrameCount() - 1), "OK");
    // UTF-8, and the same bytes as an ANSI reader sees them.
    m->Data = Cat(Bytes{3}, Str("caf\xC3\xA9"));
    EXPECT_EQ(t.GetText(t.GetFrameCount() - 1), "caf\xC3\xA9");
    EXPECT_EQ(t.GetText(t.GetFrameCount() - 1, true), "caf\xC3\x83\xC2\xA9");
}

TEST(ID3v2Write, ContainersRoundTrip) {
    testutil::TTempDir dir;
    const Bytes pcm = Audio(2001);
    const Bytes id3v1 = Cat(Str("TAG"), Bytes(125, 0));
    const Bytes oldTag = Tag(3, Frame(3, "TIT2", Text0("old")));
    const Bytes rf64Chunks = Cat(Str("ds64"), LE32(28), LE64(0), LE64(pcm.size()), LE64(500), LE32(0), FmtChunk(),
                                 Str("data"), LE32(0xFFFFFFFF), pcm, Bytes{0});
    struct TCase {
        const char* Name;
        Bytes File;
        TSourceFileType Type;
        size_t Trailer = 0;
    };
    Bytes rf64 = Cat(Str("RF64"), LE32(0xFFFFFFFF), Str("WAVE"), rf64Chunks);
    std::copy_n(LE64(rf64.size() - 8).begin(), 8, rf64.begin() + 20);
    // A RIFF size that ends inside the fmt chunk: the new chunk goes after the
    // last whole chunk, never into the middle of one.
    Bytes shortRiff = Wave(Cat(FmtChunk(), Chunk("data", pcm)));
    std::copy_n(LE32(8).begin(), 4, shortRiff.begin() + 4);
    const TCase cases[] = {
        {"WAVE with a RIFF size too small", shortRiff, sftWAVE},
        {"WAVE without tag, ID3v1 after the RIFF data", Cat(Wave(Cat(FmtChunk(), Chunk("data", pcm))), id3v1), sftWAVE,
         128},
        {"WAVE with tag", Wave(Cat(FmtChunk(), Chunk("id3 ", oldTag), Chunk("data", pcm))), sftWAVE},
        // The chunk is replaced: a second one would never be looked at.
        {"WAVE with an id3 chunk holding no tag", Wave(Cat(FmtChunk(), Chunk("id3 ", Audio(21)), Chunk("data", pcm))),
         sftWAVE},
        {"RF64", rf64, sftRF64},
        {"AIFF", Aiff(Cat(Chunk("COMM", Bytes(18, 0), true), Chunk("SSND", pcm, true))), sftAIFF},
        {"AIFF with tag", Aiff(Cat(Chunk("ID3 ", oldTag, true), Chunk("SSND", pcm, true))), sftAIFF},
        {"DSF", Dsf(pcm, {}), sftDSF},
        {"DSF with tag", Dsf(pcm, oldTag), sftDSF},
        {"DFF", Dff(Cat(DffChunk("FVER", BE32(0x01050000)), DffChunk("DSD ", pcm))), sftDFF},
        {"DFF with tag", Dff(Cat(DffChunk("ID3 ", oldTag), DffChunk("DSD ", pcm))), sftDFF},
    };
    for (const auto& c : cases) {
        const std::string f = dir.file("c.bin");
        testutil::WriteFile(f, c.File);
        TID3v2Tag t;
        t.LoadFromFile(f);
        EXPECT_EQ(t.SourceFileType(), c.Type) << c.Name;
        t.SetText("TIT2", "Neu \xC3\xA4", teUnicode);
        t.SetText("TPE1", std::string(301, 'p'), teUTF8);  // odd size somewhere
        ASSERT_EQ(t.SaveToFile(f), 0) << c.Name;
        Bytes b = testutil::ReadFile(f);
        TID3v2Tag back;
        ASSERT_EQ(back.LoadFromFile(f), 0) << c.Name;
        EXPECT_EQ(back.GetText("TIT2"), "Neu \xC3\xA4") << c.Name;
        EXPECT_EQ(back.SourceFileType(), c.Type) << c.Name;
        // The audio is still there, whole.
        EXPECT_NE(std::search(b.begin(), b.end(), pcm.begin(), pcm.end()), b.end()) << c.Name;
        // The form size still covers the file (RIFF / FORM 32-bit, FRM8 64-bit).
        if (c.Type == sftWAVE || c.Type == sftAIFF) {
            uint32_t form = c.Type == sftWAVE ? (b[4] | b[5] << 8 | b[6] << 16 | (uint32_t)b[7] << 24)
                                              : ((uint32_t)b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7]);
            EXPECT_EQ(form + 8 + c.Trailer, b.size()) << c.Name;
        }
        if (c.Type == sftDFF) {
            uint64_t form = 0;
            for (int i = 4; i < 12; ++i) form = form << 8 | b[i];
            EXPECT_EQ(form + 12, b.size()) << c.Name;
        }
        if (c.Type == sftRF64) {
            uint64_t form = 0;
            for (int i = 27; i >= 20; --i) form = form << 8 | b[i];
            EXPECT_EQ(form + 8, b.size()) << c.Name;
        }
        if (c.Type == sftDSF) {
            uint64_t total = 0;
            for (int i = 19; i >= 12; --i) total = total << 8 | b[i];
            EXPECT_EQ(total, b.size()) << c.Name;
        }
        // The ID3v1 block after the RIFF data stays last.
        if (c.Trailer) {
            EXPECT_EQ(Tail(b, b.size() - 128), id3v1) << c.Name;
        }
        // And the tag comes out again.
        ASSERT_EQ(RemoveID3v2TagFromFile(f), 0) << c.Name;
        TID3v2Tag gone;
        EXPECT_EQ(gone.LoadFromFile(f), 1) << c.Name;
        EXPECT_EQ(gone.SourceFileType(), c.Type) << c.Name;
        EXPECT_TRUE(NoTempLeft(dir)) << c.Name;
    }
}

// Filler chunks right behind the tag chunk are room for it: the tag grows
// into them in place, the form keeps its size, and the chunks walk as before.
TEST(ID3v2Write, TagChunkGrowsIntoTheFillersBehindIt) {
    testutil::TTempDir dir;
    const Bytes pcm = Audio(5000);
    const Bytes tag = Tag(3, Frame(3, "TIT2", Text0("old")));
    struct TCase {
        const char* Name;
        Bytes File;
        bool BigEndian;
    };
    const TCase cases[] = {
        {"WAVE, one JUNK", Wave(Cat(FmtChunk(), Chunk("id3 ", tag), Chunk("JUNK", Bytes(3001, 0)), Chunk("data", pcm))),
         false},
        {"WAVE, JUNK and PAD",
         Wave(Cat(FmtChunk(), Chunk("id3 ", tag), Chunk("JUNK", Bytes(1000, 0xEE)), Chunk("PAD ", Bytes(2000, 0)),
                  Chunk("data", pcm))),
         false},
        {"AIFF, FLLR",
         Aiff(Cat(Chunk("ID3 ", tag, true), Chunk("FLLR", Bytes(3000, 0), true),
                  Chunk("SSND", Cat(Bytes(8, 0), pcm), true))),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string f = dir.file("a.bin");
        testutil::WriteFile(f, c.File);
        const ino_t inode = Inode(f);
        TID3v2Tag t;
        ASSERT_EQ(t.LoadFromFile(f), 0);
        t.SetText("TIT2", std::string(1200, 'g'), teUnicode);  // beyond its chunk, within the fillers
        ASSERT_EQ(t.SaveToFile(f), 0);
        const Bytes b = testutil::ReadFile(f);
        EXPECT_EQ(Inode(f), inode);
        ASSERT_EQ(b.size(), c.File.size());
        EXPECT_EQ(Tail(b, b.size() - pcm.size()), pcm);
        // The tag chunk now spans the fillers' room; the chunk after it is the audio.
        auto u32 = [&](size_t At) {
            return c.BigEndian ? (uint32_t)b[At] << 24 | b[At + 1] << 16 | b[At + 2] << 8 | b[At + 3]
                               : b[At] | b[At + 1] << 8 | b[At + 2] << 16 | (uint32_t)b[At + 3] << 24;
        };
        EXPECT_EQ(u32(4) + 8, b.size());
        const size_t tagChunk = c.BigEndian ? 12 : 12 + FmtChunk().size();
        const size_t next = tagChunk + 8 + u32(tagChunk + 4);
        EXPECT_EQ(Bytes(b.begin() + (ptrdiff_t)next, b.begin() + (ptrdiff_t)next + 4),
                  Str(c.BigEndian ? "SSND" : "data"));
        TID3v2Tag back;
        ASSERT_EQ(back.LoadFromFile(f), 0);
        EXPECT_EQ(back.GetText("TIT2"), std::string(1200, 'g'));
    }
}

TEST(ID3v2Write, WaveChunkGrowsTheRiffSizeByChunkPlusHeader) {
    testutil::TTempDir dir;
    const std::string f = dir.file("w.wav");
    const Bytes wav = Wave(Cat(FmtChunk(), Chunk("data", Audio(100))));
    const Bytes id3v1 = Cat(Str("TAG"), Bytes(125, 0));
    testutil::WriteFile(f, Cat(wav, id3v1));
    TID3v2Tag t;
    t.SetText("TIT2", "x", teANSI);
    ASSERT_EQ(t.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    const size_t chunkData = 10 + 10 + 3 + 4096;  // header, frame, body, padding
    ASSERT_EQ(b.size(), wav.size() + 8 + chunkData + (chunkData & 1) + 128);
    EXPECT_EQ(Bytes(b.begin() + (ptrdiff_t)wav.size(), b.begin() + (ptrdiff_t)wav.size() + 4), Str("id3 "));
    uint32_t riff = b[4] | b[5] << 8 | b[6] << 16 | (uint32_t)b[7] << 24;
    EXPECT_EQ(riff, (uint32_t)(wav.size() - 8 + 8 + chunkData + (chunkData & 1)));
}

TEST(ID3v2Write, UnsoundContainersAreRefused) {
    testutil::TTempDir dir;
    const std::string f = dir.file("bad.wav");
    const Bytes bad = Wave(Cat(FmtChunk(), Str("data"), LE32(0x7FFFFFFF), Audio(10)));
    testutil::WriteFile(f, bad);
    TID3v2Tag t;
    t.SetText("TIT2", "x", teANSI);
    EXPECT_EQ(t.SaveToFile(f), 7);
    EXPECT_EQ(testutil::ReadFile(f), bad);
    testutil::WriteFile(f, Cat(Str("RF64"), LE32(0), Str("XXXX"), Audio(10)));
    EXPECT_EQ(t.SaveToFile(f), 9);
}

TEST(ID3v2Write, StreamsAreWrittenLikeFiles) {
    const Bytes audio = tbytes::MpegFrames(3);
    TMemoryStream s(Cat(Tag(3, Frame(3, "TIT2", Text0("a")), 4000), audio));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromStream(s, false), 0);
    t.SetText("TIT2", std::string(5000, 'b'), teANSI);
    ASSERT_EQ(t.SaveToStream(s), 0);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(Tail(s.Data(), s.Data().size() - audio.size()), audio);
    t.Frames[0]->Data.clear();
    ASSERT_EQ(t.SaveToStream(s), 0);
    EXPECT_EQ(s.Data(), audio);
}

TEST(ID3v2Write, ReadOnlyFileIsRefusedUntouched) {
    testutil::TTempDir dir;
    const std::string f = dir.file("ro.mp3");
    const Bytes orig = Cat(Tag(3, Frame(3, "TIT2", Text0("a")), 10), tbytes::MpegFrames(2));
    testutil::WriteFile(f, orig);
    ::chmod(f.c_str(), 0444);
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.SetText("TIT2", std::string(100, 'z'), teUnicode);
    EXPECT_EQ(t.SaveToFile(f), 12);
    EXPECT_EQ(RemoveID3v2TagFromFile(f), 12);
    EXPECT_EQ(testutil::ReadFile(f), orig);
    EXPECT_TRUE(NoTempLeft(dir));
}

TEST(ID3v2Write, PreservesTheModificationTimeWhenAsked) {
    testutil::TTempDir dir;
    const std::string f = dir.file("t.mp3");
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("a")), 10), tbytes::MpegFrames(2)));
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, f.c_str(), times, 0);
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.WriteOptions.PreserveFileDateTime = true;
    t.SetText("TIT2", std::string(100, 'z'), teUnicode);
    ASSERT_EQ(t.SaveToFile(f), 0);
    struct stat st {};
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(ID3v2Write, AStaleTemporaryFileIsNeitherUsedNorRemoved) {
    testutil::TTempDir dir;
    const std::string f = dir.file("s.mp3");
    const Bytes orig = Cat(Tag(3, Frame(3, "TIT2", Text0("a"))), tbytes::MpegFrames(2));
    testutil::WriteFile(f, orig);
    testutil::WriteFile(f + ".tmp", Str("someone else's"));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.SetText("TIT2", std::string(100, 'z'), teUnicode);
    // The save goes through another temporary name and succeeds; the stale file stays as it was.
    EXPECT_EQ(t.SaveToFile(f), 0);
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetText("TIT2"), std::string(100, 'z'));
    EXPECT_EQ(testutil::ReadFile(f + ".tmp"), Str("someone else's"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A full disk, simulated with a file-size limit in a child process: the
// rewrite fails with its code, the original stays whole, no temporary file remains.
TEST(ID3v2Write, FullDiskLeavesTheOriginalWhole) {
    testutil::TTempDir dir;
    const std::string f = dir.file("big.mp3");
    const Bytes orig = Cat(Tag(3, Frame(3, "TIT2", Text0("a"))), tbytes::MpegFrames(300));
    testutil::WriteFile(f, orig);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {
            (rlim_t) orig.size() / 2, (rlim_t)orig.size() / 2
        };
        ::setrlimit(RLIMIT_FSIZE, &rl);
        TID3v2Tag t;
        if (t.LoadFromFile(f) != 0) _exit(100);
        t.SetText("TIT2", std::string(100, 'z'), teUnicode);
        _exit(t.SaveToFile(f));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 6);
    EXPECT_EQ(testutil::ReadFile(f), orig);
    EXPECT_TRUE(NoTempLeft(dir));
}

// A process killed in the middle of a rewrite leaves the old file or the new one whole,
// and no temporary file.
TEST(ID3v2Write, KillDuringRewriteLeavesOneWholeFile) {
    testutil::TTempDir dir;
    const std::string f = dir.file("k.mp3");
    const Bytes audio = Audio(8 * 1024 * 1024);
    const Bytes orig = Cat(Tag(3, Frame(3, "TIT2", Text0("a"))), audio);
    testutil::WriteFile(f, orig);
    for (int delayMs : {0, 5, 15}) {
        testutil::WriteFile(f, orig);
        ::unlink((f + ".tmp").c_str());
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TID3v2Tag t;
            t.LoadFromFile(f);
            t.SetText("TIT2", std::string(100, 'z'), teUnicode);
            _exit(t.SaveToFile(f));
        }
        ::usleep(delayMs * 1000);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        Bytes now = testutil::ReadFile(f);
        // A half-built file has no name yet, so nothing is left behind. Only a
        // kill between naming the complete file and the swap (two calls) can
        // leave "<file>.tmp": then it is the whole new file and the original is intact.
        if (!NoTempLeft(dir)) {
            EXPECT_EQ(now, orig) << delayMs;
            TID3v2Tag left;
            ASSERT_EQ(left.LoadFromFile(f + ".tmp"), 0) << delayMs;
            EXPECT_EQ(left.GetText("TIT2"), std::string(100, 'z')) << delayMs;
            EXPECT_EQ(Tail(testutil::ReadFile(f + ".tmp"), left.Size()), audio) << delayMs;
            continue;
        }
        if (now == orig) continue;
        TID3v2Tag back;
        ASSERT_EQ(back.LoadFromFile(f), 0) << delayMs;
        EXPECT_EQ(back.GetText("TIT2"), std::string(100, 'z')) << delayMs;
        EXPECT_EQ(Tail(now, back.Size()), audio) << delayMs;
    }
}

TEST(ID3v2Write, CompressedAndFlaggedFramesAreWrittenBack) {
    testutil::TTempDir dir;
    const std::string f = dir.file("z.mp3");
    const Bytes text = Cat(Bytes{0}, Str(std::string(300, 'q')));
    testutil::WriteFile(
        f, Cat(Tag(4, Cat(Frame(4, "TIT2", Text0("t")),
                          Frame(4, "TPE1", Cat(Bytes{9}, SyncSafe((uint32_t)text.size()), Deflate(text)), 0x0049))),
               tbytes::MpegFrames(2)));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    EXPECT_EQ(t.Frames[1]->GroupIdentifier, 9);
    ASSERT_TRUE(t.DeCompressAllFrames());
    EXPECT_EQ(t.GetText("TPE1"), std::string(300, 'q'));
    t.Frames[1]->Compress();
    ASSERT_EQ(t.SaveToFile(f), 0);
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_TRUE(back.Frames[1]->Compressed);
    EXPECT_EQ(back.Frames[1]->GroupIdentifier, 9);
    ASSERT_TRUE(back.DeCompressAllFrames());
    EXPECT_EQ(back.GetText("TPE1"), std::string(300, 'q'));
}

TEST(ID3v2Write, AFileThatVanishedGetsAWholeNewOne) {
    testutil::TTempDir dir;
    const std::string f = dir.file("gone.mp3");
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("a"))), tbytes::MpegFrames(2)));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    ::unlink(f.c_str());
    t.SetText("TIT2", "b", teUnicode);
    ASSERT_EQ(t.SaveToFile(f), 0);
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetText("TIT2"), "b");
    EXPECT_EQ(testutil::ReadFile(f).size(), back.Size());
    EXPECT_TRUE(NoTempLeft(dir));
}

TEST(ID3v2Write, ATagClaimingMoreThanTheFileDoesNotSwallowTheAudio) {
    testutil::TTempDir dir;
    const std::string f = dir.file("claim.mp3");
    const Bytes frames = Frame(3, "TIT2", Text0("a"));
    const Bytes audio = tbytes::MpegFrames(30);
    testutil::WriteFile(f, Cat(Str("ID3"), Bytes{3, 0, 0}, SyncSafe(0x0FFFFFFF), frames, audio));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.SetText("TIT2", "b", teUnicode);
    ASSERT_EQ(t.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    EXPECT_EQ(Tail(b, 10 + StoredTagSize(b)), audio);
    ASSERT_EQ(RemoveID3v2TagFromFile(f), 0);
    EXPECT_EQ(testutil::ReadFile(f), audio);
}

// Every sample file of other projects' test suites: a save keeps everything
// but the tag (the file without its tag is the same before and after), a
// second save gives the same bytes, and the new title reads back.
TEST(ID3v2Write, PeerFilesKeepEverythingButTheTag) {
    const fs::path root = fs::path(testutil::SourceDir()) / ".." / "shared" / "corpus" / "peers";
    if (!fs::exists(root)) GTEST_SKIP() << "no peer corpus";
    testutil::TTempDir dir;
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string ext = e.path().extension().string();
        for (auto& c : ext) c = (char)std::tolower((unsigned char)c);
        if (!e.is_regular_file() || (ext != ".mp3" && ext != ".wav" && ext != ".aif" && ext != ".aiff" &&
                                     ext != ".aifc" && ext != ".dsf" && ext != ".dff"))
            continue;
        const std::string name = e.path().string();
        const std::string a = dir.file("a" + ext), b = dir.file("b" + ext);
        testutil::WriteFile(a, testutil::ReadFile(name));
        testutil::WriteFile(b, testutil::ReadFile(name));
        TID3v2Tag t;
        int r = t.LoadFromFile(a);
        if (r != 0 && r != 1) continue;
        t.SetText("TIT2", "Peer \xE2\x9C\x93", teUnicode);
        r = t.SaveToFile(a);
        if (r == 7) continue;  // containers too damaged to write into are refused, untouched
        ASSERT_EQ(r, 0) << name;
        const Bytes once = testutil::ReadFile(a);
        ASSERT_EQ(t.SaveToFile(a), 0) << name;
        EXPECT_EQ(testutil::ReadFile(a), once) << name;
        TID3v2Tag back;
        ASSERT_EQ(back.LoadFromFile(a), 0) << name;
        EXPECT_EQ(back.GetText("TIT2"), "Peer \xE2\x9C\x93") << name;
        // Stripped of their tags, the original and the saved file are the same;
        // in containers, a form size that did not match the chunks has been
        // mended, and an odd last chunk has got its pad byte.
        RemoveID3v2TagFromFile(a);
        RemoveID3v2TagFromFile(b);
        Bytes sa = testutil::ReadFile(a), sb = testutil::ReadFile(b);
        if (ext != ".mp3" && sa.size() >= 12 && sb.size() >= 12) {
            if (sa.size() == sb.size() + 1 && sa.back() == 0) sa.pop_back();
            sa.erase(sa.begin() + 4, sa.begin() + 12);
            sb.erase(sb.begin() + 4, sb.begin() + 12);
        }
        EXPECT_EQ(sa, sb) << name;
        ++n;
    }
    EXPECT_GT(n, 20);
}

TEST(ID3v2Write, ASymbolicLinkStaysALinkToTheChangedFile) {
    testutil::TTempDir dir;
    const std::string f = dir.file("real.mp3"), link = dir.file("link.mp3");
    const Bytes audio = tbytes::MpegFrames(3);
    testutil::WriteFile(f, Cat(Tag(3, Frame(3, "TIT2", Text0("a"))), audio));
    ASSERT_EQ(::symlink("real.mp3", link.c_str()), 0);
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(link), 0);
    t.SetText("TIT2", std::string(300, 'l'), teUnicode);  // does not fit: rewritten
    ASSERT_EQ(t.SaveToFile(link), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetText("TIT2"), std::string(300, 'l'));
    EXPECT_EQ(RemoveID3v2TagFromFile(link), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testutil::ReadFile(f), audio);
    EXPECT_TRUE(NoTempLeft(dir));
}

TEST(ID3v2Write, VersionChangesAndFootersLeaveNoDebris) {
    testutil::TTempDir dir;
    const std::string f = dir.file("v.mp3");
    const Bytes audio = tbytes::MpegFrames(4);
    // A 2.4 frame with only a data length indicator, written as 2.3: no
    // compression flag may appear on its plain body.
    testutil::WriteFile(f, Cat(Tag(4, Frame(4, "TPE1", Cat(SyncSafe(4), Text0("abc")), 0x0001), 20), audio));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    t.WriteOptions.Version = sfid3v23;
    ASSERT_EQ(t.SaveToFile(f), 0);
    TID3v2Tag back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.MajorVersion, 3);
    EXPECT_FALSE(back.Frames[0]->Compressed);
    EXPECT_EQ(back.GetText("TPE1"), "abc");

    // A 2.4 footer belongs to the old tag: it goes with it.
    const Bytes frames = Frame(4, "TIT2", Text0("f"));
    const Bytes footer = Cat(Str("3DI"), Bytes{4, 0, 0x10}, SyncSafe((uint32_t)frames.size()));
    testutil::WriteFile(f, Cat(Tag(4, frames, 0, 0x10), footer, audio));
    TID3v2Tag ft;
    ASSERT_EQ(ft.LoadFromFile(f), 0);
    ft.SetText("TIT2", std::string(50, 'n'), teUnicode);
    ASSERT_EQ(ft.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    EXPECT_EQ(Tail(b, 10 + StoredTagSize(b)), audio);
}
