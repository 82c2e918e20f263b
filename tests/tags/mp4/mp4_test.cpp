// MP4 item lists: reading, hostile atoms, writing in place or by moving the
// media data with every chunk offset corrected, and the unified mapping.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tags/audio_properties.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/tags/mp4/mp4_fixtures.h"
#include "tests/test_util.h"

using namespace mp4fx;

namespace {

uint32_t Get32(const Bytes& B, size_t At) {
    return (uint32_t(B[At]) << 24) | (B[At + 1] << 16) | (B[At + 2] << 8) | B[At + 3];
}

// Chunk offsets of every track, read independently of the library:
// moov/trak/mdia/minf/stbl/stco|co64.
std::vector<uint64_t> ChunkOffsets(const Bytes& F) {
    std::vector<uint64_t> out;
    std::function<void(size_t, size_t)> walk = [&](size_t p, size_t end) {
        while (p + 8 <= end) {
            uint64_t size = Get32(F, p);
            const std::string type(F.begin() + (ptrdiff_t)p + 4, F.begin() + (ptrdiff_t)p + 8);
            size_t h = 8;
            if (size == 1) size = (uint64_t(Get32(F, p + 8)) << 32) | Get32(F, p + 12), h = 16;
            if (size == 0) size = end - p;
            if (type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl")
                walk(p + h, p + (size_t)size);
            if (type == "stco" || type == "co64") {
                const uint32_t n = Get32(F, p + h + 4);
                for (uint32_t i = 0; i < n; ++i) {
                    const size_t at = p + h + 8 + (type == "co64" ? 8 : 4) * (size_t)i;
                    out.push_back(type == "co64" ? (uint64_t(Get32(F, at)) << 32) | Get32(F, at + 4) : Get32(F, at));
                }
            }
            p += (size_t)size;
        }
    };
    walk(0, F.size());
    return out;
}

// Every chunk offset of After points at the media bytes Before's did.
void ExpectMediaFollowed(const Bytes& Before, const Bytes& After) {
    const auto a = ChunkOffsets(Before), b = ChunkOffsets(After);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_LE(b[i] + 4, After.size());
        EXPECT_EQ(Get32(After, (size_t)b[i]), Get32(Before, (size_t)a[i])) << "chunk " << i;
    }
}

int Load(TMP4Tag& T, const Bytes& F) {
    TMemoryStream s(F);
    return T.LoadFromStream(s, false);
}

bool Contains(const Bytes& Hay, const Bytes& Needle) {
    return std::search(Hay.begin(), Hay.end(), Needle.begin(), Needle.end()) != Hay.end();
}

}  // namespace

// ---- reading ----------------------------------------------------------------------

TEST(MP4Read, ItemsTrackGenreMediaAndProperties) {
    const Bytes items =
        Cat({TextItem("©nam", "Song"), Atom("trkn", Data(0, {0, 0, 0, 3, 0, 12, 0, 0})), Atom("gnre", Data(0, {0, 18})),
             Atom("stik", Data(21, {1})), Atom("disk", Data(0, {0, 0, 0, 2, 0, 2})), Freeform("CONDUCTOR", "Karl")});
    TMP4Tag t;
    ASSERT_EQ(Load(t, FastStart(Udta(items))), 0);
    EXPECT_TRUE(t.Loaded);
    EXPECT_EQ(t.GetText(AtomName("©nam")), "Song");
    EXPECT_EQ(t.GetTrack(), 3);
    EXPECT_EQ(t.GetTotalTracks(), 12);
    EXPECT_EQ(t.GetDisc(), 2);
    EXPECT_EQ(t.GetGenre(), "Rock");
    EXPECT_EQ(t.GetMediaType(), "Music");  // one byte, read at its own width
    EXPECT_EQ(t.GetCommon("CONDUCTOR"), "Karl");
    EXPECT_DOUBLE_EQ(t.Playtime, 3.0);
    EXPECT_EQ(t.AudioChannelCount, 2);
    EXPECT_EQ(t.AudioSampleRate, 44100u);
    EXPECT_EQ(t.AudioFormat, mp4afAAC);
}

TEST(MP4Read, ResultCodes) {
    TMP4Tag t;
    EXPECT_EQ(Load(t, Cat({Atom("free", {}), Ftyp()})), mp4result::NotMP4);
    EXPECT_EQ(Load(t, Cat({Ftyp(), Atom("mdat", Bytes(16, 0))})), mp4result::NoTag);
    EXPECT_EQ(Load(t, FastStart(Udta({}))), mp4result::NoTag);  // empty ilst
    EXPECT_FALSE(t.Loaded);
    // A 64-bit moov header is read with its 16-byte header.
    const Bytes wide = Cat({Ftyp(), WideAtom("moov", Cat({Mvhd(1000, 1000), Udta(TextItem("©nam", "W"))}))});
    EXPECT_EQ(Load(t, wide), 0);
    EXPECT_EQ(t.GetText(AtomName("©nam")), "W");
}

TEST(MP4Read, CoverItemWithoutPictureBytes) {
    const Bytes f = FastStart(Udta(Atom("covr", Cat({Data(13, {0xFF, 0xD8, 1}), Data(14, {0x89, 0x50, 2})}))));
    TMP4Tag t;
    t.ParseCoverArts = false;
    ASSERT_EQ(Load(t, f), 0);
    ASSERT_EQ(t.CoverArtCount(), 2);
    EXPECT_TRUE(t.FindAtom(AtomName("covr"))->Datas[1].Data.empty());
    EXPECT_EQ(t.FindAtom(AtomName("covr"))->Datas[1].DataType, 14u);
    // Such a tag cannot write its pictures back, and says so.
    TMemoryStream s(f);
    EXPECT_EQ(t.SaveToStream(s, false), mp4result::UnsafeLayout);
    EXPECT_EQ(s.Data(), f);
}

// Hostile atoms give a code (or are skipped), never a crash, a hang or a
// negative length.
TEST(MP4Read, HostileAtoms) {
    struct TCase {
        const char* What;
        Bytes File;
    };
    Bytes deep = Atom("meta", {});
    for (int i = 0; i < 1000; ++i) deep = Atom(i % 2 ? "udta" : "trak", deep);
    Bytes many;
    many.reserve(8u << 20);
    for (int i = 0; i < (1 << 20) + 1; ++i) many.insert(many.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
    const TCase cases[] = {
        {"size 0 inside moov", Cat({Ftyp(), Atom("moov", Cat({U32(0), Str("udta")}))})},
        {"size 1 with a 64-bit size past the end", Cat({Ftyp(), U32(1), Str("moov"), U64(1ull << 40)})},
        {"size below the header", Cat({Ftyp(), U32(4), Str("moov"), Bytes(8, 0)})},
        {"moov past the end", Cat({Ftyp(), U32(4000), Str("moov"), Bytes(8, 0)})},
        {"item past the ilst", FastStart(Udta(Cat({U32(999), Str("©nam")})))},
        {"depth 1000", Cat({Ftyp(), Atom("moov", deep)})},
        {"a million children", Cat({Ftyp(), Atom("moov", Cat({Mvhd(1, 1), many}))})},
    };
    for (const auto& c : cases) {
        TMP4Tag t;
        const int r = Load(t, c.File);
        EXPECT_TRUE(r == mp4result::ReadError || r == mp4result::NoTag) << c.What << " gave " << r;
        EXPECT_FALSE(t.Loaded) << c.What;
    }
}

TEST(MP4Read, XtraValues) {
    // Attribute: size, name length, name, value count, then per value its size, type and bytes.
    const Bytes category = Cat({U32(4 + 4 + 11 + 4 + 2 * 12), U32(11), Str("WM/Category"), U32(2), U32(12), U16(8),
                                Bytes{'P', 0, 'o', 0, 'p', 0}, U32(12), U16(8), Bytes{'R', 0, 'o', 0, 'c', 0}});
    const Bytes guid =
        Cat({U32(4 + 4 + 4 + 4 + 22), U32(4), Str("WM/G"), U32(1), U32(22), U16(72),
             Bytes{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}});
    TMP4Tag t;
    ASSERT_EQ(Load(t, FastStart(Udta(TextItem("©nam", "T"), Atom("Xtra", Cat({category, guid}))))), 0);
    EXPECT_EQ(t.GetTextXtra("wm/category", true), "Pop;Roc");
    EXPECT_EQ(t.GetTextXtra("WM/Category", false), "");
    EXPECT_EQ(t.GetTextXtra("WM/G", false), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

TEST(MP4Read, DataChildUnder16BytesEndsItsItem) {
    // data of 12 bytes: type and locale, no room for a payload.
    const Bytes items = Cat({Atom("©nam", Cat({U32(12), Str("data"), U32(1)})), TextItem("©ART", "After")});
    TMP4Tag t;
    ASSERT_EQ(Load(t, FastStart(Udta(items))), 0);
    EXPECT_EQ(t.FindAtom(AtomName("©nam"))->Count(), 0);
    EXPECT_EQ(t.GetText(AtomName("©ART")), "After");
}

TEST(MP4Read, XtraAttributeLongerThanItsBoxIsKeptAsRead) {
    // Attribute size 1000 in a box of 30 bytes.
    const Bytes xtra = Atom("Xtra", Cat({U32(1000), U32(5), Str("WM/Ab"), U32(1), U32(8), U16(8), U16(0)}));
    const Bytes f = FastStart(Udta(TextItem("©nam", "T"), xtra));
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    EXPECT_TRUE(t.Xtras.empty());
    TMemoryStream s(f);
    t.SetText(AtomName("©nam"), "U");
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    EXPECT_TRUE(Contains(s.Data(), xtra));
}

TEST(MP4Write, XtraBoxKeptUnlessTheTagOwnsIt) {
    const Bytes xtra = Atom("Xtra", Cat({U32(22), U32(4), Str("WM/A"), U32(1), U32(8), U16(8), U16('x')}));
    const Bytes f = FastStart(Udta(TextItem("©nam", "T"), xtra));
    TMP4Tag blind;
    blind.ParseXtra = false;
    ASSERT_EQ(Load(blind, f), 0);
    EXPECT_TRUE(blind.Xtras.empty());
    blind.SetText(AtomName("©nam"), "U");
    TMemoryStream s(f);
    ASSERT_EQ(blind.SaveToStream(s, false), 0);
    EXPECT_TRUE(Contains(s.Data(), xtra));

    testutil::TTempDir dir;
    testutil::WriteFile(dir.file("x.m4a"), f);
    ASSERT_EQ(RemoveMP4TagFromFile(dir.file("x.m4a")), 0);
    const Bytes stripped = testutil::ReadFile(dir.file("x.m4a"));
    EXPECT_FALSE(Contains(stripped, Str("Xtra")));
    EXPECT_FALSE(Contains(stripped, Str("©nam")));
    ExpectMediaFollowed(f, stripped);
    EXPECT_EQ(RemoveMP4TagFromFile(dir.file("x.m4a")), 0);  // the empty list once more: no change
    EXPECT_EQ(testutil::ReadFile(dir.file("x.m4a")), stripped);
}

// ---- writing ----------------------------------------------------------------------

TEST(MP4Write, InPlaceWhenTheNewMoovFitsItsSlack) {
    const Bytes f = FastStart(Udta(TextItem("©nam", "A long title to shrink"), Atom("free", Bytes(200, 0))));
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), "Short");
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    EXPECT_EQ(s.Data().size(), f.size());
    EXPECT_EQ(ChunkOffsets(s.Data()), ChunkOffsets(f));  // nothing moved
    TMP4Tag again;
    ASSERT_EQ(Load(again, s.Data()), 0);
    EXPECT_EQ(again.GetText(AtomName("©nam")), "Short");
}

TEST(MP4Write, ExactFitWritesNoFreeAtom) {
    const Bytes f = FastStart(Udta(TextItem("©nam", "abcdefgh")));
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), "ABCDEFGH");
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    EXPECT_EQ(s.Data().size(), f.size());
    EXPECT_FALSE(Contains(s.Data(), Str("free")));
    EXPECT_TRUE(Contains(s.Data(), Str("ABCDEFGH")));
}

TEST(MP4Write, SlackTooSmallForAFreeAtomRewritesWithPadding) {
    const Bytes f = FastStart(Udta(TextItem("©nam", "abcdefgh")));
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), "a");  // 7 bytes shorter: no room for a free atom
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    EXPECT_EQ(s.Data().size(), f.size() - 7 + 4096);
    ExpectMediaFollowed(f, s.Data());
    // Without padding kept, a shorter moov pulls the media data forward.
    t.Padding = TPaddingOption::Exactly(0);
    TMemoryStream shrink(f);
    ASSERT_EQ(t.SaveToStream(shrink, true, false), 0);  // through the buffered window
    EXPECT_EQ(shrink.Data().size(), f.size() - 7);
    ExpectMediaFollowed(f, shrink.Data());
}

// The media data moves; every stco and co64 entry of every track follows it.
TEST(MP4Write, GrowingMoovMovesMediaAndEveryChunkOffset) {
    for (bool wide : {false, true}) {
        const Bytes f = FastStart(Udta(TextItem("©nam", "x")), 3, wide);
        TMP4Tag t;
        ASSERT_EQ(Load(t, f), 0);
        t.SetText(AtomName("©cmt"), std::string(10000, 'c'));
        TMemoryStream s(f);
        ASSERT_EQ(t.SaveToStream(s, false), 0);
        ASSERT_GT(s.Data().size(), f.size() + 10000);
        ExpectMediaFollowed(f, s.Data());
        EXPECT_EQ(ChunkOffsets(s.Data()).size(), 6u);
    }
}

// Encryption data found by file position (saio) follows the media like the chunks.
TEST(MP4Write, AuxiliaryInformationOffsetsFollowTheMedia) {
    auto build = [](uint64_t MdatPos) {
        const Bytes saio = Atom("saio", Cat({U32(0), U32(1), U32(uint32_t(MdatPos + 40))}));
        const Bytes stbl = Atom("stbl", Cat({Atom("stco", Cat({U32(0), U32(1), U32(uint32_t(MdatPos + 8))})), saio}));
        return Atom("moov", Cat({Mvhd(1000, 1000), Atom("trak", Atom("mdia", Atom("minf", stbl))),
                                 Udta(TextItem("©nam", "x"))}));
    };
    const uint64_t mdatPos = Ftyp().size() + build(0).size();
    const Bytes f = Cat({Ftyp(), build(mdatPos), Mdat(mdatPos, 16)});
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), std::string(3000, 'n'));
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    const Bytes& out = s.Data();
    const Bytes saio = Str("saio");
    const size_t at = (size_t)(std::search(out.begin(), out.end(), saio.begin(), saio.end()) - out.begin());
    EXPECT_EQ(Get32(out, Get32(out, at + 12)), mdatPos + 40);  // still the word that was at mdatPos + 40
    ExpectMediaFollowed(f, out);
}

// Media data on both sides of moov: only what lies behind the moved region moves.
TEST(MP4Write, MediaOnBothSidesOfMoov) {
    const Bytes front = Mdat(Ftyp().size(), 8);
    const uint64_t frontChunk = Ftyp().size() + 8;
    auto build = [&](uint64_t BackPos) {
        return Atom("moov", Cat({Mvhd(1000, 1000), Trak({frontChunk, BackPos + 8}), Udta(TextItem("©nam", "x"))}));
    };
    const uint64_t back = Ftyp().size() + front.size() + build(0).size();
    const Bytes f = Cat({Ftyp(), front, build(back), Mdat(back, 8)});
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), std::string(5000, 'n'));
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    ExpectMediaFollowed(f, s.Data());
    EXPECT_EQ(ChunkOffsets(s.Data())[0], frontChunk);
}

// A table that cannot follow the move fails the whole save before anything
// is written, whichever table it is.
TEST(MP4Write, ChunkOffsetFailuresLeaveTheFileUntouched) {
    struct TCase {
        const char* What;
        Bytes Moov;
        int Expected;
    };
    const Bytes udta = Udta(TextItem("©nam", "x"));
    // A damaged stco (entry count beyond its size) ahead of a sound one.
    const Bytes damaged =
        Atom("trak", Atom("mdia", Atom("minf", Atom("stbl", Atom("stco", Cat({U32(0), U32(50), U32(1)}))))));
    const TCase cases[] = {
        {"stco entry past 32 bits", Atom("moov", Cat({Trak({0xFFFFFFF0u}), udta})), mp4result::ChunkOffsetsFailed},
        {"damaged first table", Atom("moov", Cat({damaged, Trak({200}), udta})), mp4result::ChunkOffsetsFailed},
        {"damaged co64",
         Atom("moov",
              Cat({Trak({200}, true),
                   Atom("trak", Atom("mdia", Atom("minf", Atom("stbl", Atom("co64", Cat({U32(0), U32(9), U64(1)})))))),
                   udta})),
         mp4result::ChunkOffsets64Failed},
        {"entry inside the old moov", Atom("moov", Cat({Trak({40}), udta})), mp4result::ChunkOffsetsFailed},
    };
    for (const auto& c : cases) {
        const Bytes f = Cat({Ftyp(), c.Moov, Atom("mdat", Bytes(64, 0))});
        TMP4Tag t;
        ASSERT_EQ(Load(t, f), 0) << c.What;
        t.SetText(AtomName("©nam"), std::string(6000, 'n'));
        TMemoryStream s(f);
        EXPECT_EQ(t.SaveToStream(s, false), c.Expected) << c.What;
        EXPECT_EQ(s.Data(), f) << c.What;
    }
}

TEST(MP4Write, FragmentedFileIsRefusedWhenItsFragmentsWouldMove) {
    const Bytes f = Cat({FastStart(Udta(TextItem("©nam", "x")), 1, false, Atom("mvex", Atom("trex", Bytes(24, 0)))),
                         Atom("moof", Bytes(16, 0))});
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), std::string(6000, 'n'));
    TMemoryStream s(f);
    EXPECT_EQ(t.SaveToStream(s, false), mp4result::UnsafeLayout);
    EXPECT_EQ(s.Data(), f);
    t.SetText(AtomName("©nam"), "y");  // same size: in place, allowed
    EXPECT_EQ(t.SaveToStream(s, false), 0);
}

// What the tag does not own survives byte for byte; a meta without hdlr
// gets one; a file without moov gets one at its end; an empty list is an
// ilst of 8 bytes.
TEST(MP4Write, KeepsWhatItDoesNotOwn) {
    const Bytes chpl = Atom("chpl", Bytes(21, 7));
    const Bytes meta = Atom("meta", Cat({U32(0), Atom("ilst", TextItem("©nam", "x")), Atom("keys", Bytes(9, 3))}));
    const Bytes f = FastStart(Atom("udta", Cat({chpl, meta, Atom("XYZW", Bytes(5, 1))})), 2);
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), std::string(300, 'n'));
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    const Bytes& out = s.Data();
    EXPECT_TRUE(Contains(out, chpl));
    EXPECT_TRUE(Contains(out, Atom("keys", Bytes(9, 3))));
    EXPECT_TRUE(Contains(out, Atom("XYZW", Bytes(5, 1))));
    EXPECT_TRUE(Contains(out, Str("mdirappl")));
    ExpectMediaFollowed(f, out);

    TMP4Tag none;
    none.SetText(AtomName("©nam"), "new");
    const Bytes bare = Cat({Ftyp(), Atom("mdat", Bytes(32, 1))});
    TMemoryStream b(bare);
    ASSERT_EQ(none.SaveToStream(b, false), 0);
    EXPECT_TRUE(std::equal(bare.begin(), bare.end(), b.Data().begin()));
    TMP4Tag back;
    ASSERT_EQ(Load(back, b.Data()), 0);
    EXPECT_EQ(back.GetText(AtomName("©nam")), "new");

    TMP4Tag empty;
    TMemoryStream e(f);
    ASSERT_EQ(empty.SaveToStream(e, false), 0);
    EXPECT_TRUE(Contains(e.Data(), Cat({U32(8), Str("ilst")})));
    // And a file that never had an item list is left alone.
    TMemoryStream n(bare);
    EXPECT_EQ(empty.SaveToStream(n, false), mp4result::NothingToWrite);
}

// A moov may hold a udta of its own before or after the one with the item
// list (a phone's location, chapters): the items are read from wherever they
// are, a save rewrites only that udta, and every other udta stays whole.
TEST(MP4Write, ItemListInASecondUdta) {
    const Bytes location = Atom("udta", Atom("©xyz", Cat({U16(18), U16(0x15C7), Str("+48.8577+002.2950/")})));
    const Bytes chapters = Atom("udta", Atom("chpl", Bytes(13, 5)));
    const Bytes items =
        Cat({TextItem("©nam", "Title"), TextItem("©ART", "Artist"), Atom("covr", Data(13, {0xFF, 0xD8, 1}))});
    struct TCase {
        const char* What;
        Bytes Before, After;
    };
    // The last case has a udta with an empty meta behind: the meta with the items wins.
    const Bytes emptyMeta = Atom("udta", Atom("meta", Cat({U32(0), Handler()})));
    for (const auto& c : {TCase{"location first", location, {}}, TCase{"chapters behind", {}, chapters},
                          TCase{"both", location, Cat({chapters, emptyMeta})}}) {
        SCOPED_TRACE(c.What);
        const Bytes f = Cat({FastStart(Cat({Udta(items), c.After}), 1, false, c.Before)});
        TMP4Tag t;
        ASSERT_EQ(Load(t, f), 0);
        EXPECT_EQ(t.GetText(AtomName("©ART")), "Artist");
        t.SetText(AtomName("©nam"), std::string(200, 'n'));
        TMemoryStream s(f);
        ASSERT_EQ(t.SaveToStream(s, false), 0);
        const Bytes& out = s.Data();
        EXPECT_TRUE(Contains(out, c.Before));
        EXPECT_TRUE(Contains(out, c.After));
        ExpectMediaFollowed(f, out);
        TMP4Tag back;
        ASSERT_EQ(Load(back, out), 0);
        EXPECT_EQ(back.GetText(AtomName("©nam")), std::string(200, 'n'));
        EXPECT_EQ(back.GetText(AtomName("©ART")), "Artist");
        EXPECT_EQ(back.CoverArtCount(), 1);
        // Still one item list, in the same udta as before.
        EXPECT_EQ(std::search(out.begin(), out.end(), c.Before.begin(), c.Before.end()) - out.begin(),
                  std::search(f.begin(), f.end(), c.Before.begin(), c.Before.end()) - f.begin());
        const Bytes ilst = Str("ilst");
        auto first = std::search(out.begin(), out.end(), ilst.begin(), ilst.end());
        EXPECT_EQ(std::search(first + 1, out.end(), ilst.begin(), ilst.end()), out.end());
    }
}

// Bytes behind the media data that are no atom (an ID3v1 block some taggers
// append, a short run of garbage) end the walk and move along with the media.
TEST(MP4Write, JunkBehindTheMediaData) {
    for (const Bytes& junk : {Cat({Str("TAG"), Bytes(125, 'j')}), Cat({U32(3), Str("junk"), Bytes(4, 0)})}) {
        const Bytes f = Cat({FastStart(Udta(TextItem("©nam", "x"))), junk});
        TMP4Tag t;
        ASSERT_EQ(Load(t, f), 0);
        t.SetText(AtomName("©nam"), std::string(5000, 'n'));
        TMemoryStream s(f);
        ASSERT_EQ(t.SaveToStream(s, false), 0);
        ExpectMediaFollowed(f, s.Data());
        EXPECT_TRUE(std::equal(junk.rbegin(), junk.rend(), s.Data().rbegin()));
    }
}

// Media data cut off before its end (a truncated download) holds chunks the
// file no longer has: an edit that would move it is refused, the bytes kept;
// one that fits in place still goes through.
TEST(MP4Write, CutOffMediaDataIsNotMoved) {
    const Bytes whole = FastStart(Udta(TextItem("©nam", "x")));
    const Bytes f(whole.begin(), whole.end() - 100);  // the mdat claims 100 bytes more
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), std::string(5000, 'n'));
    TMemoryStream grown(f);
    EXPECT_NE(t.SaveToStream(grown, false), 0);
    EXPECT_EQ(grown.Data(), f);
    TMP4Tag same;
    ASSERT_EQ(Load(same, f), 0);
    same.SetText(AtomName("©nam"), "y");
    TMemoryStream inPlace(f);
    EXPECT_EQ(same.SaveToStream(inPlace, true), 0);
    EXPECT_EQ(inPlace.Data().size(), f.size());
}

TEST(MP4Write, UnchangedItemsAreWrittenBackAsRead) {
    // A locale, an odd type and a trailing unknown child survive untouched.
    const Bytes odd =
        Atom("©ART", Cat({Atom("data", Cat({U32(1), Str("enUS"), Str("Artist")})), Atom("zzzz", Bytes(3, 9))}));
    const Bytes f = FastStart(Udta(Cat({odd, TextItem("©nam", "x")})));
    TMP4Tag t;
    ASSERT_EQ(Load(t, f), 0);
    t.SetText(AtomName("©nam"), "yy");
    TMemoryStream s(f);
    ASSERT_EQ(t.SaveToStream(s, false), 0);
    EXPECT_TRUE(Contains(s.Data(), odd));
}

TEST(MP4Write, FileSaveRefusesReadOnlyAndKeepsBytes) {
    testutil::TTempDir dir;
    const std::string p = dir.file("a.m4a");
    const Bytes f = FastStart(Udta(TextItem("©nam", "x")));
    testutil::WriteFile(p, f);
    ::chmod(p.c_str(), 0444);
    TMP4Tag t;
    ASSERT_EQ(t.LoadFromFile(p), 0);
    t.SetText(AtomName("©nam"), std::string(9000, 'r'));
    EXPECT_EQ(t.SaveToFile(p), mp4result::FileOpenFailed);
    EXPECT_EQ(testutil::ReadFile(p), f);
    ::chmod(p.c_str(), 0644);
    // Files of the user's that carry the working files' names stay as they are.
    for (const char* n : {"a.m4a.tmp", "a.rest.tmp", "a.moovAtom.tmp"}) testutil::WriteFile(dir.file(n), "mine");
    ASSERT_EQ(t.SaveToFile(p), 0);
    ExpectMediaFollowed(f, testutil::ReadFile(p));
    for (const char* n : {"a.m4a.tmp", "a.rest.tmp", "a.moovAtom.tmp"})
        EXPECT_EQ(testutil::ReadFile(dir.file(n)), Str("mine"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 4);
    // A missing file becomes a new one with an ftyp and a moov.
    ASSERT_EQ(t.SaveToFile(dir.file("new.m4a")), 0);
    TMP4Tag made;
    ASSERT_EQ(made.LoadFromFile(dir.file("new.m4a")), 0);
    EXPECT_EQ(made.GetText(AtomName("©nam")), std::string(9000, 'r'));
}

// ---- mapping ----------------------------------------------------------------------

namespace {

struct TFile {
    testutil::TTempDir Dir;
    std::string Path;
    explicit TFile(const Bytes& B) : Path(Dir.file("t.m4a")) { testutil::WriteFile(Path, B); }
    Bytes Read() const { return testutil::ReadFile(Path); }
};

// Loads the file, lets Edit change the container, saves, loads again.
template <typename F>
void Edit(const std::string& Path, F&& Change, TTags& After) {
    TTags tags;
    ASSERT_EQ(tags.LoadFromFile(Path), 0);
    Change(tags);
    ASSERT_EQ(tags.SaveToFile(Path), 0);
    ASSERT_EQ(After.LoadFromFile(Path), 0);
}

const TMP4Atom* ItemOf(const TTags& T, const char* ID) { return T.MP4Tag().FindAtom(AtomName(ID)); }

}  // namespace

TEST(MP4Mapping, LoadNamesAndDedicatedItems) {
    const Bytes items =
        Cat({TextItem("©nam", "Song"), TextItem("©day", "2001-05-03T07:00:00Z"),
             Atom("trkn", Data(0, {0, 0, 0, 5, 0, 9, 0, 0})), Atom("cpil", Data(21, {1})), TextItem("©ART", "A"),
             TextItem("©ART", "B"), Freeform("CONDUCTOR", "Karl"), Atom("covr", Data(13, {0x89, 0x50, 0x4E, 0x47}))});
    TFile f(FastStart(Udta(items)));
    TTags t;
    ASSERT_EQ(t.LoadFromFile(f.Path), 0);
    EXPECT_EQ(t.GetText("TITLE"), "Song");
    EXPECT_EQ(t.GetText("RELEASEDATE"), "2001-05-03T07:00:00Z");
    EXPECT_EQ(t.GetText("TRACKNUMBER"), "5");
    EXPECT_EQ(t.GetText("TOTALTRACKS"), "9");
    EXPECT_EQ(t.GetText("PARTOFCOMPILATION"), "1");
    EXPECT_EQ(t.TypeCount("ARTIST"), 2);
    EXPECT_EQ(t.GetText("CONDUCTOR"), "Karl");
    ASSERT_EQ(t.CoverArtCount(), 1);
    EXPECT_EQ(t.CoverArtAt(0)->Name, "Cover art 1");
    EXPECT_EQ(t.CoverArtAt(0)->MIMEType, "image/png");
    EXPECT_EQ(t.CoverArtAt(0)->CoverType, 3u);
    EXPECT_DOUBLE_EQ(t.SourceAudioAttributes().PlayTime(), 3.0);
    EXPECT_EQ(t.SourceAudioAttributes().SamplesPerSec(), 44100u);
}

TEST(MP4Mapping, SaveNumbersFreeformAndMultipleValues) {
    TFile f(FastStart(Udta(TextItem("©nam", "x"))));
    TTags after;
    Edit(
        f.Path,
        [](TTags& t) {
            t.SetText("TRACKNUMBER", "3");
            t.SetText("TOTALTRACKS", "12");
            t.SetText("DISCNUMBER", "1/2");
            t.SetText("CONDUCTOR", "Karl");
            t.Add("ARTIST")->Value = "A";
            t.Add("ARTIST")->Value = "B";
            t.SetText("GENRE", "rock");
            t.SetText("BPM", "120");
            t.SetText("PARTOFCOMPILATION", "0");
        },
        after);
    const TMP4Tag& m = after.MP4Tag();
    EXPECT_EQ(m.GetTrack(), 3);
    EXPECT_EQ(m.GetTotalTracks(), 12);
    EXPECT_EQ(m.GetDisc(), 1);
    EXPECT_EQ(m.GetTotalDiscs(), 2);
    EXPECT_EQ(after.GetText("CONDUCTOR"), "Karl");
    EXPECT_EQ(after.TypeCount("ARTIST"), 2);
    EXPECT_EQ(ItemOf(after, "gnre")->Datas[0].Data, (Bytes{0, 18}));
    EXPECT_EQ(ItemOf(after, "tmpo")->Datas[0].Data, (Bytes{0, 120}));
    EXPECT_EQ(ItemOf(after, "cpil")->Datas[0].Data, Bytes{0});

    TTags cleared;
    Edit(
        f.Path,
        [](TTags& t) {
            t.Delete("TRACKNUMBER");
            t.TagAt(t.Exists("CONDUCTOR"))->Value = "";  // an emptied entry clears its item
            t.TagAt(t.Exists("BPM"))->Value = "";
        },
        cleared);
    EXPECT_EQ(ItemOf(cleared, "trkn"), nullptr);
    EXPECT_EQ(ItemOf(cleared, "tmpo"), nullptr);
    EXPECT_EQ(cleared.MP4Tag().GetCommon("CONDUCTOR"), "");
}

// The record's four-digit year must not cut a full release date down.
TEST(MP4Mapping, YearKeepsAFullDateOfTheSameYear) {
    TFile f(FastStart(Udta(TextItem("©day", "2001-05-03T07:00:00Z"))));
    TTags same;
    Edit(
        f.Path, [](TTags& t) { t.SetText("YEAR", "2001"); }, same);
    EXPECT_EQ(same.GetText("RELEASEDATE"), "2001-05-03T07:00:00Z");
    TTags other;
    Edit(
        f.Path, [](TTags& t) { t.SetText("YEAR", "2002"); }, other);
    EXPECT_EQ(other.GetText("RELEASEDATE"), "2002");
}

// A value held both as an item and in the Xtra box is one value, however
// often the file is saved; an Xtra value alone is not copied into an item.
TEST(MP4Mapping, XtraValuesDoNotMultiply) {
    // Attribute: size, name length, name, value count, value size, type, value.
    auto wm = [](const std::string& Name, uint16_t Type, const Bytes& V) {
        return Cat({U32(uint32_t(4 + 4 + Name.size() + 4 + 4 + 2 + V.size())), U32((uint32_t)Name.size()), Str(Name),
                    U32(1), U32(uint32_t(6 + V.size())), U16(Type), V});
    };
    const Bytes xtra = Atom("Xtra", Cat({wm("WM/EncodedBy", 8, {'E', 0, 0, 0}), wm("WM/Conductor", 8, {'K', 0, 0, 0}),
                                         wm("WM/SharedUserRating", 19, {99, 0, 0, 0, 0, 0, 0, 0})}));
    TFile f(FastStart(Udta(TextItem("©enc", "E"), xtra)));
    for (int i = 0; i < 3; ++i) {
        TTags t;
        Edit(
            f.Path, [](TTags& x) { x.SetText("TITLE", "T" + std::to_string(x.Count())); }, t);
        EXPECT_EQ(t.TypeCount("ENCODEDBY"), 1);
        EXPECT_EQ(t.MP4Tag().GetValues(AtomName("©enc")).size(), 1u);
        EXPECT_EQ(t.GetText("Conductor"), "K");
        EXPECT_EQ(t.MP4Tag().FindAtomCommon("Conductor", "com.apple.iTunes"), nullptr);
        EXPECT_EQ(t.GetText("SharedUserRating"), "255");  // 99 of 99
    }
}

// Integer items keep their width and type; stik stays one byte; pictures
// are typed by format, and a loaded picture keeps its type.
TEST(MP4Mapping, TypesAndWidthsKept) {
    const Bytes items = Cat({Atom("plID", Data(21, Bytes{0, 0, 0, 1, 0, 0, 0, 2})), Atom("stik", Data(21, {1})),
                             Atom("covr", Data(13, {0x89, 0x50, 0x4E, 0x47, 1}))});
    TFile f(FastStart(Udta(items)));
    TTags after;
    Edit(
        f.Path,
        [](TTags& t) {
            t.SetText("ITUNESALBUMID", "7");
            t.SetText("MEDIA", "Audiobook");
            t.SetText("ITUNESARTISTID", "5");
            TReadMemoryStream gif("GIF89a", 6);
            t.AddCoverArt("Cover art 2", gif, "image/gif");
        },
        after);
    const TMP4Atom* pl = ItemOf(after, "plID");
    EXPECT_EQ(pl->Datas[0].Data, (Bytes{0, 0, 0, 0, 0, 0, 0, 7}));
    EXPECT_EQ(pl->Datas[0].DataType, 21u);
    EXPECT_EQ(ItemOf(after, "stik")->Datas[0].Data, Bytes{2});
    EXPECT_EQ(ItemOf(after, "atID")->Datas[0].Data, (Bytes{0, 0, 0, 5}));
    const TMP4Atom* covr = ItemOf(after, "covr");
    ASSERT_EQ(covr->Count(), 2);
    EXPECT_EQ(covr->Datas[0].DataType, 13u);  // as loaded
    EXPECT_EQ(covr->Datas[1].DataType, 12u);  // GIF

    struct TCase {
        Bytes Picture;
        uint32_t Type;
    };
    for (const auto& c : {TCase{{0xFF, 0xD8, 0xFF}, 13}, TCase{{0x89, 0x50, 0x4E}, 14}, TCase{{'B', 'M', 0}, 27}}) {
        TFile g(FastStart(Udta(TextItem("©nam", "x"))));
        TTags t;
        Edit(
            g.Path,
            [&](TTags& x) {
                TReadMemoryStream s(c.Picture.data(), (int64_t)c.Picture.size());
                x.AddCoverArt("Cover art 1", s, "");
            },
            t);
        EXPECT_EQ(ItemOf(t, "covr")->Datas[0].DataType, c.Type);
    }
}

// An edit changes its own item and nothing else: every other item comes
// back byte for byte, and so does the audio.
TEST(MP4Mapping, EditChangesOnlyTheEditedItem) {
    const TTaggedFile tagged = TaggedM4a();
    TFile f(tagged.File);
    TTags after;
    Edit(
        f.Path, [](TTags& t) { t.SetText("TITLE", "A much longer title than before, so the media data moves"); },
        after);
    const Bytes out = f.Read();
    EXPECT_TRUE(Contains(out, tagged.Audio));
    TMP4Tag before;
    ASSERT_EQ(Load(before, tagged.File), 0);
    for (const auto& item : before.Atoms) {
        if (item.ID == AtomName("©nam")) continue;
        Bytes raw;
        item.Write(raw);
        EXPECT_TRUE(Contains(out, raw)) << AtomNameText(item.ID);
    }
    EXPECT_EQ(after.GetText("TITLE"), "A much longer title than before, so the media data moves");
    ExpectMediaFollowed(tagged.File, out);
}

// A container that does not load pictures leaves the file's pictures alone.
TEST(MP4Mapping, PicturesStayWhenTheContainerSkipsThem) {
    TFile f(TaggedM4a().File);
    TTags t;
    t.ParseCoverArts = false;
    ASSERT_EQ(t.LoadFromFile(f.Path), 0);
    EXPECT_EQ(t.CoverArtCount(), 0);
    t.SetText("TITLE", std::string(3000, 't'));
    ASSERT_EQ(t.SaveToFile(f.Path), 0);
    TTags again;
    ASSERT_EQ(again.LoadFromFile(f.Path), 0);
    ASSERT_EQ(again.CoverArtCount(), 1);
    EXPECT_EQ(again.CoverArtAt(0)->MIMEType, "image/png");
}

// Saving what was loaded changes nothing; ten saves give the same bytes.
TEST(MP4Mapping, UnchangedSavesAreByteIdentical) {
    const Bytes items = Cat({TextItem("©nam", "Song"), Atom("SErg", Data(1, Str("4"))), TextItem("TPUB", "Pub"),
                             Atom("TIPL", Data(1, Str("producer\r\nP\r\n"))), Atom("tmpo", Data(21, {0, 90})),
                             Atom("gnre", Data(0, {0, 18})), Atom("trkn", Data(0, {0, 0, 0, 5, 0, 9, 0, 0})),
                             Atom("covr", Data(13, {0xFF, 0xD8, 1}))});
    const Bytes original = FastStart(Udta(items));
    TFile f(original);
    for (int i = 0; i < 10; ++i) {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(f.Path), 0);
        t.SetText("YEAR", "");
        ASSERT_EQ(t.SaveToFile(f.Path), 0);
        ASSERT_EQ(f.Read(), original) << "save " << i;
    }
}

// A freeform item of another namespace (DJ software keeps its cue points in
// one) is an entry of its own, "----:namespace:name": it never gains a copy
// in the iTunes namespace, however often the file is saved, and an edit of
// it goes into its own item.
TEST(MP4Mapping, FreeformItemsAreKeyedByNamespaceAndName) {
    auto freeform = [](const std::string& Mean, const std::string& Name, const std::string& Value) {
        return Atom("----", Cat({Atom("mean", Cat({U32(0), Str(Mean)})), Atom("name", Cat({U32(0), Str(Name)})),
                                 Data(1, Str(Value))}));
    };
    const Bytes serato = freeform("com.serato.dj", "markers", "YXBw");
    const Bytes items =
        Cat({TextItem("©nam", "x"), serato, Freeform("MOOD", "Calm"), freeform("org.other", "MOOD", "Odd")});
    TFile f(FastStart(Udta(items)));
    for (int i = 0; i < 3; ++i) {
        TTags t;
        Edit(
            f.Path, [&](TTags& x) { x.SetText("TITLE", "T" + std::to_string(i)); }, t);
        EXPECT_EQ(t.GetText("----:com.serato.dj:markers"), "YXBw");
        EXPECT_EQ(t.TypeCount("MOOD"), 1);
        EXPECT_EQ(t.GetText("----:org.other:MOOD"), "Odd");
        EXPECT_EQ(t.MP4Tag().FindAtomCommon("markers", "com.apple.iTunes"), nullptr);
        EXPECT_EQ(t.MP4Tag().Count(), 4);
        EXPECT_TRUE(Contains(f.Read(), serato));
    }
    TTags edited;
    Edit(
        f.Path, [](TTags& x) { x.SetText("----:com.serato.dj:markers", "bmV3"); }, edited);
    ASSERT_NE(edited.MP4Tag().FindAtomCommon("markers", "com.serato.dj"), nullptr);
    EXPECT_EQ(edited.MP4Tag().FindAtomCommon("markers", "com.serato.dj")->GetText(), "bmV3");
    EXPECT_EQ(edited.GetText("MOOD"), "Calm");
    EXPECT_EQ(edited.MP4Tag().Count(), 4);
    TTags deleted;
    Edit(
        f.Path, [](TTags& x) { x.Clear("----:org.other:MOOD"); }, deleted);
    EXPECT_EQ(deleted.MP4Tag().FindAtomCommon("MOOD", "org.other"), nullptr);
    EXPECT_EQ(deleted.GetText("MOOD"), "Calm");

    // Two items of one key (a file an older save multiplied) load as two
    // values; an edit leaves one item.
    TFile twice(FastStart(Udta(Cat({Freeform("MOOD", "A"), Freeform("MOOD", "B")}))));
    TTags one;
    Edit(
        twice.Path,
        [](TTags& x) {
            x.RemoveAll("MOOD");
            x.Add("MOOD")->Value = "C";
        },
        one);
    EXPECT_EQ(one.TypeCount("MOOD"), 1);
    EXPECT_EQ(one.MP4Tag().Count(), 1);
}
