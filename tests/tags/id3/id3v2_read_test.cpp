// Reading ID3v2 tags: header, extended headers, frame headers, version 2.2
// conversion, unsynchronisation, compression, containers and hostile input.
#include <gtest/gtest.h>

#include <filesystem>

#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

using namespace tbytes;

namespace {

int Load(TID3v2Tag& T, const Bytes& File) {
    TMemoryStream s(File);
    return T.LoadFromStream(s, true);
}

std::string Title(const TID3v2Tag& T) { return T.GetText("TIT2"); }

}  // namespace

TEST(ID3v2Read, VersionsAndHeaderVariants) {
    struct TCase {
        const char* Name;
        Bytes File;
        std::string Title;
        int Frames;
    };
    const Bytes tit = Text0("Song");
    const TCase cases[] = {
        {"2.3 with padding", Cat(Tag(3, Frame(3, "TIT2", tit), 100), Audio(50)), "Song", 1},
        {"2.4", Tag(4, Cat(Frame(4, "TIT2", tit), Frame(4, "TPE1", Text0("A")))), "Song", 2},
        {"2.2", Tag(2, Frame(2, "TT2", tit)), "Song", 1},
        // The extended-header flag is set but a frame follows directly.
        {"lying extended-header flag", Tag(3, Frame(3, "TIT2", tit), 0, 0x40), "Song", 1},
        {"2.3 extended header", Tag(3, Cat(BE32(6), Bytes{0, 0}, BE32(0), Frame(3, "TIT2", tit)), 0, 0x40), "Song", 1},
        {"2.3 extended header with CRC",
         Tag(3, Cat(BE32(10), Bytes{0x80, 0}, BE32(0), BE32(0x12345678), Frame(3, "TIT2", tit)), 0, 0x40), "Song", 1},
        {"2.4 extended header with CRC",
         Tag(4, Cat(SyncSafe(12), Bytes{1, 0x20, 5, 1, 2, 3, 4, 5}, Frame(4, "TIT2", tit)), 0, 0x40), "Song", 1},
        // Padding starts right after the last frame.
        {"padding stops the list", Tag(3, Cat(Frame(3, "TIT2", tit), Bytes(30, 0), Frame(3, "TPE1", Text0("x")))),
         "Song", 1},
        // Some writers stored plain sizes in version 2.4 tags; 0x80 is not sync-safe.
        {"2.4 with a plain size",
         Tag(4, Cat(Str("TIT2"), BE32(129), Bytes{0, 0}, Text0(std::string(128, 'a')), Frame(4, "TPE1", Text0("x")))),
         std::string(128, 'a'), 2},
    };
    for (const auto& c : cases) {
        TID3v2Tag t;
        EXPECT_EQ(Load(t, c.File), 0) << c.Name;
        EXPECT_TRUE(t.Loaded) << c.Name;
        EXPECT_EQ(Title(t), c.Title) << c.Name;
        EXPECT_EQ(t.GetFrameCount(), c.Frames) << c.Name;
        EXPECT_FALSE(t.FramesDamaged()) << c.Name;
    }
}

TEST(ID3v2Read, ExtendedHeadersAreKept) {
    TID3v2Tag t;
    Bytes file = Tag(4, Cat(SyncSafe(12), Bytes{1, 0x20, 5, 1, 2, 3, 4, 5}, Frame(4, "TIT2", Text0("x"))), 0, 0x40);
    ASSERT_EQ(Load(t, file), 0);
    EXPECT_TRUE(t.ExtendedHeader);
    EXPECT_TRUE(t.ExtendedHeader4().CRCPresent);
    EXPECT_EQ(t.ExtendedHeader4().ExtendedFlagsData, (Bytes{5, 1, 2, 3, 4, 5}));
}

TEST(ID3v2Read, Version22FramesBecome23) {
    Bytes pic = Cat(Bytes{0}, Str("JPG"), Bytes{3}, Str("front"), Bytes{0}, Bytes{0xFF, 0xD8, 0xFF, 0xE0, 1, 2});
    Bytes file = Tag(2, Cat(Frame(2, "TT2", Text0("T")), Frame(2, "TP1", Text0("P")), Frame(2, "PIC", pic),
                            Frame(2, "XYZ", Text0("kept out"))));
    TID3v2Tag t;
    ASSERT_EQ(Load(t, file), 0);
    EXPECT_EQ(t.MajorVersion, 2);
    EXPECT_EQ(t.GetText("TIT2"), "T");
    EXPECT_EQ(t.GetText("TPE1"), "P");
    Bytes data;
    uint32_t type = 0;
    std::string desc, mime;
    ASSERT_TRUE(t.GetCoverPictureStream(t.FrameExists("APIC"), data, type, desc, mime));
    EXPECT_EQ(mime, "image/jpeg");
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(desc, "front");
    EXPECT_EQ(data, (Bytes{0xFF, 0xD8, 0xFF, 0xE0, 1, 2}));
    // An ID without a 2.3 counterpart keeps three characters and is never written.
    EXPECT_FALSE(ValidID3v2FrameID(t.Frames[3]->ID, 3));
}

TEST(ID3v2Read, Unsynchronisation) {
    // Version 2.3: the whole tag was unsynchronised after it was built, so the
    // frame size counts the bytes without the inserted zero.
    Bytes body = {0, 'a', 0xFF, 0xE0, 'b'};
    Bytes frames = Frame(3, "TIT2", body);
    Bytes unsynced = {frames.begin(), frames.begin() + 10};
    unsynced.insert(unsynced.end(), {0, 'a', 0xFF, 0x00, 0xE0, 'b'});
    TID3v2Tag t3;
    ASSERT_EQ(Load(t3, Tag(3, Cat(unsynced, Frame(3, "TPE1", Text0("next"))), 0, 0x80)), 0);
    EXPECT_EQ(t3.Frames[0]->Data, body);
    EXPECT_EQ(t3.GetText("TPE1"), "next");
    EXPECT_TRUE(t3.WasUnsynchronised());
    EXPECT_FALSE(t3.Unsynchronised);

    // Some writers unsynchronised each 2.3 frame on its own, the size counting
    // the inserted zero: read that way when the standard reading goes astray.
    TID3v2Tag perFrame;
    const Bytes stored23 = {0, 'a', 0xFF, 0x00, 0xE0, 'b'};
    ASSERT_EQ(Load(perFrame, Tag(3, Cat(Frame(3, "TIT2", stored23), Frame(3, "TPE1", Text0("next"))), 4, 0x80)), 0);
    EXPECT_EQ(perFrame.Frames[0]->Data, body);
    EXPECT_EQ(perFrame.GetText("TPE1"), "next");

    // Version 2.4: per frame, the size counts the stored (unsynchronised) bytes.
    Bytes stored = {0, 'a', 0xFF, 0x00, 0xE0, 'b'};
    TID3v2Tag t4;
    ASSERT_EQ(Load(t4, Tag(4, Cat(Frame(4, "TIT2", stored, 0x0002), Frame(4, "TPE1", Cat(Bytes{0}, Str("\xFF")))))), 0);
    EXPECT_EQ(t4.Frames[0]->Data, body);
    EXPECT_FALSE(t4.Frames[0]->Unsynchronised);
    EXPECT_EQ(t4.Frames[1]->Data, (Bytes{0, 0xFF}));  // not flagged: untouched
}

TEST(ID3v2Read, CompressedFramesAreInflatedWithinLimits) {
    const Bytes text = Cat(Bytes{0}, Str(std::string(1000, 'z')));
    const Bytes z = Deflate(text);
    // 2.3: decompressed size (4 bytes) in front of the zlib data; 2.4: data length indicator.
    Bytes f3 = Frame(3, "TIT2", Cat(BE32((uint32_t)text.size()), z), 0x0080);
    Bytes f4 = Frame(4, "TIT2", Cat(SyncSafe((uint32_t)text.size()), z), 0x0009);
    for (const Bytes& file : {Tag(3, f3), Tag(4, f4)}) {
        TID3v2Tag t;
        ASSERT_EQ(Load(t, file), 0);
        EXPECT_TRUE(t.DeCompressAllFrames());
        EXPECT_EQ(t.Frames[0]->Data, text);
        EXPECT_FALSE(t.Frames[0]->Compressed);
    }

    // A declared size of 4 GiB - 1 allocates nothing beyond what the data gives.
    {
        TID3v2Tag t;
        ASSERT_EQ(Load(t, Tag(3, Frame(3, "TIT2", Cat(BE32(0xFFFFFFFF), z), 0x0080))), 0);
        EXPECT_TRUE(t.DeCompressAllFrames());
        EXPECT_EQ(t.Frames[0]->Data, text);
    }
    // Data that inflates past its declared size, and a bomb past the cap, stay
    // compressed and report failure; nothing is lost.
    const Bytes bomb = Deflate(Bytes(id3v2limit::MaxInflatedFrameSize + 1024 * 1024, 0));
    for (const Bytes& body : {Cat(BE32(10), z), Cat(BE32(0), bomb)}) {
        TID3v2Tag t;
        ASSERT_EQ(Load(t, Tag(3, Frame(3, "PRIV", body, 0x0080))), 0);
        EXPECT_FALSE(t.DeCompressAllFrames());
        EXPECT_TRUE(t.Frames[0]->Compressed);
        EXPECT_EQ(t.Frames[0]->Data, Bytes(body.begin() + 4, body.end()));
    }
    // Damaged zlib data.
    TID3v2Tag t;
    ASSERT_EQ(Load(t, Tag(3, Frame(3, "TIT2", Cat(BE32(50), Bytes{0x78, 0x9C, 1, 2, 3, 4, 5}), 0x0080))), 0);
    EXPECT_FALSE(t.DeCompressAllFrames());
}

TEST(ID3v2Read, HostileSizes) {
    const Bytes good = Frame(3, "TIT2", Text0("ok"));
    struct TCase {
        const char* Name;
        Bytes File;
        int Result;
        int Frames;
        bool Error;
    };
    Bytes hugeFrame = Cat(Str("TPE1"), BE32(0x7FFFFFF0), Bytes{0, 0}, Text0("x"));
    Bytes tagBeyondFile = Cat(Str("ID3"), Bytes{3, 0, 0}, SyncSafe(0x0FFFFFFF), good);
    Bytes highBits = Cat(Str("ID3"), Bytes{3, 0, 0}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, good);
    const TCase cases[] = {
        {"frame larger than the tag", Tag(3, Cat(good, hugeFrame)), 0, 2, true},
        {"frame size zero", Tag(3, Cat(Frame(3, "TPE1", {}), good)), 0, 2, false},
        {"tag size beyond the file", tagBeyondFile, 0, 1, false},
        {"sync-safe size with high bits", highBits, 0, 1, false},
        {"truncated header", Str("ID3\x03"), 1, 0, false},
        {"version 5", Cat(Str("ID3"), Bytes{5, 0, 0}, SyncSafe(20), good), 8, 0, false},
        {"version 1", Cat(Str("ID3"), Bytes{1, 0, 0}, SyncSafe(20), good), 8, 0, false},
        {"extended header larger than the tag", Tag(3, Cat(BE32(0x7FFFFFFF), Bytes{0, 0}, good), 0, 0x40), 65535, 0,
         false},
        // The frame is kept raw and the next one is still read.
        {"2.4 frame flags ask for extras the body lacks", Tag(4, Cat(Frame(4, "TIT2", Bytes{1}, 0x004D), good)), 0, 2,
         false},
        {"no tag", Audio(100), 1, 0, false},
        {"empty", {}, 1, 0, false},
    };
    for (const auto& c : cases) {
        TID3v2Tag t;
        EXPECT_EQ(Load(t, c.File), c.Result) << c.Name;
        EXPECT_EQ(t.GetFrameCount(), c.Frames) << c.Name;
        EXPECT_EQ(t.FramesDamaged(), c.Error) << c.Name;
    }
}

TEST(ID3v2Read, ChapterFramesCarrySubFrames) {
    Bytes sub = Frame(4, "TIT2", Text0("Intro"));
    Bytes chap = Cat(Str("ch1"), Bytes{0}, BE32(0), BE32(5000), BE32(0xFFFFFFFF), BE32(0xFFFFFFFF), sub);
    Bytes ctoc = Cat(Str("toc"), Bytes{0}, Bytes{0x03, 1}, Str("ch1"), Bytes{0});
    TID3v2Tag t;
    ASSERT_EQ(Load(t, Tag(4, Cat(Frame(4, "CTOC", ctoc), Frame(4, "CHAP", chap)))), 0);
    auto* c = dynamic_cast<TID3v2FrameCHAP*>(t.Frames[1].get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ElementID, "ch1");
    EXPECT_EQ(c->EndTime, 5000u);
    EXPECT_EQ(c->SubFrames->GetText("TIT2"), "Intro");
    auto* toc = dynamic_cast<TID3v2FrameCTOC*>(t.Frames[0].get());
    ASSERT_NE(toc, nullptr);
    EXPECT_TRUE(toc->TopLevel);
    EXPECT_EQ(toc->ChildElementIDs, std::vector<std::string>{"ch1"});
    // Rebuilding from the fields gives the same bytes.
    t.SetAllFrameDataStreams();
    EXPECT_EQ(t.Frames[1]->Data, chap);
    EXPECT_EQ(t.Frames[0]->Data, ctoc);
}

TEST(ID3v2Read, Containers) {
    const Bytes tag = Tag(3, Frame(3, "TIT2", Text0("In a box")), 10);
    const Bytes odd = Bytes(3, 1);  // odd chunk size: one pad byte follows
    // RF64: ds64 (RIFF size, data size, sample count, table length), data with size 0xFFFFFFFF.
    const Bytes pcm = Audio(1000);
    Bytes ds64 = Cat(Str("ds64"), LE32(28), LE64(0), LE64(pcm.size()), LE64(250), LE32(0));
    Bytes rf64Chunks = Cat(ds64, FmtChunk(), Str("data"), LE32(0xFFFFFFFF), pcm, Chunk("id3 ", tag));
    Bytes rf64 = Cat(Str("RF64"), LE32(0xFFFFFFFF), Str("WAVE"), rf64Chunks);
    struct TCase {
        const char* Name;
        Bytes File;
        TSourceFileType Type;
        int Result;
    };
    const TCase cases[] = {
        {"WAVE id3", Wave(Cat(FmtChunk(), Chunk("LIST", odd), Chunk("data", pcm), Chunk("id3 ", tag))), sftWAVE, 0},
        {"WAVE ID32", Wave(Cat(FmtChunk(), Chunk("ID32", tag), Chunk("data", pcm))), sftWAVE, 0},
        {"WAVE ID3 (as other writers name it)", Wave(Cat(FmtChunk(), Chunk("data", pcm), Chunk("ID3 ", tag))), sftWAVE,
         0},
        {"WAVE without tag", Wave(Cat(FmtChunk(), Chunk("data", pcm))), sftWAVE, 1},
        {"WAVE chunk without ID3", Wave(Cat(FmtChunk(), Chunk("id3 ", Audio(20)))), sftWAVE, 1},
        {"RF64", rf64, sftRF64, 0},
        {"AIFF", Aiff(Cat(Chunk("COMM", Bytes(18, 0), true), Chunk("ID3 ", tag, true))), sftAIFF, 0},
        {"DSF", Dsf(pcm, tag), sftDSF, 0},
        {"DSF without tag", Dsf(pcm, {}), sftDSF, 1},
        {"DFF", Dff(Cat(DffChunk("FVER", BE32(0x01050000)), DffChunk("ID3 ", tag))), sftDFF, 0},
    };
    for (const auto& c : cases) {
        TID3v2Tag t;
        EXPECT_EQ(Load(t, c.File), c.Result) << c.Name;
        EXPECT_EQ(t.SourceFileType(), c.Type) << c.Name;
        if (c.Result == 0) {
            EXPECT_EQ(Title(t), "In a box") << c.Name;
        }
    }
}

TEST(ID3v2Read, HostileChunkWalksEnd) {
    const Bytes tag = Tag(3, Frame(3, "TIT2", Text0("x")));
    const Bytes cases[] = {
        // A zero-size chunk is stepped over; the walk goes on.
        Wave(Cat(Chunk("JUNK", {}), Chunk("JUNK", {}), Chunk("id3 ", tag))),
        // Chunk sizes beyond the file.
        Wave(Cat(Str("data"), LE32(0xFFFFFFF0), Bytes(20, 0))),
        Aiff(Cat(Str("SSND"), BE32(0xFFFFFFFF), Bytes(4, 0))),
        Dff(Cat(Str("DSD "), BE64(0xFFFFFFFFFFFFFFFFull), Bytes(4, 0))),
        // A DSF whose metadata pointer lies beyond the file.
        Cat(Str("DSD "), LE64(28), LE64(100), LE64(0xFFFFFFFFFFFFull), Bytes(20, 0)),
        // Odd sizes up to the last byte.
        Wave(Cat(Chunk("abcd", Bytes(1, 0)), Str("ef"))),
    };
    int i = 0;
    for (const auto& f : cases) {
        TID3v2Tag t;
        int r = Load(t, f);
        EXPECT_TRUE(r == 0 || r == 1) << i;
        ++i;
    }
    TID3v2Tag t;
    EXPECT_EQ(Load(t, cases[0]), 0);
}

TEST(ID3v2Read, FilesAndMemory) {
    testutil::TTempDir dir;
    TID3v2Tag t;
    EXPECT_EQ(t.LoadFromFile(dir.file("missing.mp3")), 4);
    testutil::WriteFile(dir.file("plain.mp3"), Audio(300));
    EXPECT_EQ(t.LoadFromFile(dir.file("plain.mp3")), 1);
    EXPECT_EQ(t.SourceFileName, dir.file("plain.mp3"));
    const Bytes tag = Tag(3, Frame(3, "TIT2", Text0("mem")));
    EXPECT_EQ(t.LoadFromMemory(nullptr, 0), 1);
    EXPECT_EQ(t.LoadFromMemory(tag.data(), (int64_t)tag.size()), 0);
    EXPECT_EQ(Title(t), "mem");

    // A tag behind other bytes is found only when asked to search for it.
    const Bytes late = Cat(Audio(40), tag, Audio(10));
    TID3v2Tag plain, searching;
    EXPECT_EQ(Load(plain, late), 1);
    searching.BeginningSearchLength = 100;
    EXPECT_EQ(Load(searching, late), 0);
    EXPECT_EQ(Title(searching), "mem");
    EXPECT_EQ(searching.TagPosition(), 40);
}

TEST(ID3v2Read, RealFilesFromOtherProjectsLoad) {
    // Every MP3 / WAV / AIFF / DSF / DFF sample of other projects' test suites
    // loads without a crash or a hang.
    namespace fs = std::filesystem;
    const fs::path root = fs::path(testutil::SourceDir()) / ".." / "shared" / "corpus" / "peers";
    if (!fs::exists(root)) GTEST_SKIP() << "no peer corpus";
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::string ext = e.path().extension().string();
        for (auto& c : ext) c = (char)std::tolower((unsigned char)c);
        if (ext != ".mp3" && ext != ".wav" && ext != ".aif" && ext != ".aiff" && ext != ".aifc" && ext != ".dsf" &&
            ext != ".dff" && ext != ".id3" && ext != ".tag")
            continue;
        TID3v2Tag t;
        int r = t.LoadFromFile(e.path().string());
        EXPECT_TRUE(r == 0 || r == 1 || r == 8) << e.path() << " gave " << r;
        if (r == 0) {
            t.RemoveUnsynchronisationOnAllFrames();
            t.DeCompressAllFrames();
            // Every accessor on every frame copes with what it finds.
            for (int i = 0; i < t.GetFrameCount(); ++i) {
                std::string a, b;
                t.GetText(i);
                t.GetContent(i, a, b);
                t.GetUserDefinedTextInformation(i, a);
                Bytes pic;
                uint32_t ty;
                t.GetCoverPictureStream(i, pic, ty, a, b);
            }
        }
        ++n;
    }
    EXPECT_GT(n, 10);
}
