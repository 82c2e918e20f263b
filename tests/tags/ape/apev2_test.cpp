// APE tag: reading, writing, removal and the unified mapping.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "tags/ape/apev2_tag.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLE(Bytes& B, uint32_t V) {
    for (int i = 0; i < 4; ++i) B.push_back((uint8_t)(V >> (8 * i)));
}
Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const auto& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes B(const std::string& S) { return Bytes(S.begin(), S.end()); }

// One item: value size, flags (kind in bits 1-2), key, 0x00, value.
Bytes Item(const std::string& Key, const Bytes& Value, uint32_t Kind = 0) {
    Bytes b;
    PutLE(b, (uint32_t)Value.size());
    PutLE(b, Kind << 1);
    b.insert(b.end(), Key.begin(), Key.end());
    b.push_back(0);
    b.insert(b.end(), Value.begin(), Value.end());
    return b;
}

// "APETAGEX", version, size, count, flags, 8 reserved.
Bytes Header(uint32_t Version, uint32_t Size, uint32_t Count, uint32_t Flags) {
    Bytes b = B("APETAGEX");
    PutLE(b, Version);
    PutLE(b, Size);
    PutLE(b, Count);
    PutLE(b, Flags);
    b.resize(b.size() + 8, 0);
    return b;
}

struct TTagSpec {
    std::vector<Bytes> Items;
    bool WithHeader = true;
    uint32_t Version = 2000;
    int64_t Count = -1;  // override
    int64_t Size = -1;   // override
};
Bytes Tag(const TTagSpec& S) {
    Bytes items;
    for (const auto& i : S.Items) items.insert(items.end(), i.begin(), i.end());
    const uint32_t size = S.Size >= 0 ? (uint32_t)S.Size : (uint32_t)items.size() + 32;
    const uint32_t count = S.Count >= 0 ? (uint32_t)S.Count : (uint32_t)S.Items.size();
    Bytes out;
    if (S.WithHeader) out = Header(S.Version, size, count, 0xA0000000u);
    out.insert(out.end(), items.begin(), items.end());
    const Bytes f = Header(S.Version, size, count, S.WithHeader ? 0x80000000u : 0);
    out.insert(out.end(), f.begin(), f.end());
    return out;
}

Bytes ID3v1Block(const std::string& Title) {
    Bytes b = B("TAG");
    b.resize(128, 0);
    std::memcpy(b.data() + 3, Title.data(), std::min<size_t>(30, Title.size()));
    b[127] = 12;
    return b;
}
Bytes Lyrics3Block() {
    const std::string body = "LYRICSBEGININD0000210LYR00005hello";
    char size[8];
    std::snprintf(size, sizeof size, "%06zu", body.size());
    return B(body + size + "LYRICS200");
}
Bytes Audio() { return testutil::MpegFrames(3); }
Bytes Jpeg(size_t N, uint8_t Fill) {
    Bytes b{0xFF, 0xD8, 0xFF, 0xE0};
    b.resize(N, Fill);
    return b;
}

bool EndsWith(const Bytes& All, const Bytes& Tail) {
    return All.size() >= Tail.size() && std::equal(Tail.begin(), Tail.end(), All.end() - (long)Tail.size());
}

TEST(APEv2, ReadsItemsInFrontOfLyrics3AndID3v1AndKeepsThemOnSave) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    const Bytes tail = Cat({Lyrics3Block(), ID3v1Block("v1 title")});
    const Bytes audio = Audio();
    testutil::WriteFile(path, Cat({audio, Tag({{Item("Title", B("Song")), Item("Artist", B("A"))}}), tail}));

    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    ASSERT_TRUE(t.APEv2Tag().Loaded);
    EXPECT_EQ(t.APEv2Tag().GetText("TITLE"), "Song");
    EXPECT_EQ(t.GetText("ARTIST"), "A");
    t.SetText("ARTIST", "Someone else");
    ASSERT_EQ(t.SaveAPEv2Tag(path, nullptr), 0);

    const Bytes after = testutil::ReadFile(path);
    EXPECT_TRUE(EndsWith(after, tail));
    EXPECT_TRUE(after.size() >= audio.size() && std::equal(audio.begin(), audio.end(), after.begin()));
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromFile(path), 0);
    EXPECT_EQ(back.GetText("Artist"), "Someone else");
    EXPECT_EQ(back.GetText("Title"), "Song");
    // The item that was replaced keeps its place and spelling.
    EXPECT_EQ(back.Frame(1)->Name, "Artist");
}

TEST(APEv2, NewTagGoesInFrontOfID3v1AndEmptyTagIsRemoved) {
    testutil::TTempDir dir;
    const std::string path = dir.file("b.xyz");
    const Bytes v1 = ID3v1Block("only v1");
    testutil::WriteFile(path, Cat({Audio(), v1}));

    TAPEv2Tag t;
    EXPECT_EQ(t.LoadFromFile(path), apev2result::NoTag);
    t.AddTextFrame("Album", "Rec");
    ASSERT_EQ(t.SaveToFile(path), 0);
    Bytes after = testutil::ReadFile(path);
    EXPECT_TRUE(EndsWith(after, v1));
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromFile(path), 0);
    // A new key is written upper-cased.
    EXPECT_EQ(back.Frame(0)->Name, "ALBUM");

    back.Frame(0)->Value.clear();
    ASSERT_EQ(back.SaveToFile(path), 0);
    EXPECT_EQ(testutil::ReadFile(path), Cat({Audio(), v1}));
    // Nothing in the tag and none in the file: nothing to write.
    EXPECT_EQ(back.SaveToFile(path), apev2result::NothingToWrite);
}

TEST(APEv2, Version1AnsiTextIsReadAndWrittenBackAsVersion2Utf8) {
    TMemoryStream s(Cat({Audio(), Tag({{Item("Artist", Bytes{'M', 0xF6, 'b', 'i', 'u', 's'})}, false, 1000})}));
    TAPEv2Tag t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.Version, 1000u);
    EXPECT_EQ(t.GetText("ARTIST"),
              "M\xC3\xB6"
              "bius");
    ASSERT_EQ(t.SaveToStream(s), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.Version, 2000u);
    EXPECT_EQ(back.Frame(0)->Value, B("M\xC3\xB6"
                                      "bius"));
}

TEST(APEv2, MappingOfTrackListsAndMultipleValues) {
    TMemoryStream s(Cat({Audio(), Tag({{Item("Track", B("4/10")), Item("Artist", B(std::string("A\0B", 3))),
                                        Item("TIPL", B("producer\r\nP\r\nmix\r\nM\r\n")), Item("Artist", B("C"))}})}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("TRACKNUMBER"), "4");
    EXPECT_EQ(t.GetText("TOTALTRACKS"), "10");
    std::vector<std::string> artists;
    t.GetMultipleList("ARTIST", artists);
    EXPECT_EQ(artists, (std::vector<std::string>{"A", "B", "C"}));
    std::vector<std::string> people;
    t.GetList("TIPL", people);
    EXPECT_EQ(people, (std::vector<std::string>{"producer=P", "mix=M"}));

    t.SetText("TOTALTRACKS", "12");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.GetText("TRACK"), "4/12");
    // Keys are unique: the two Artist items became one with three values.
    EXPECT_EQ(back.FrameTypeCount("ARTIST"), 1);
    EXPECT_EQ(back.Frame(back.FrameExists("ARTIST"))->Value, B(std::string("A\0B\0C", 5)));
    EXPECT_EQ(back.Frame(back.FrameExists("TIPL"))->Value, B("producer\r\nP\r\nmix\r\nM\r\n"));

    // One value supplied twice (by this tag and by another tag of the file)
    // is written once, so repeated saves never multiply it.
    TTags twice;
    ASSERT_EQ(twice.LoadFromStream(s), 0);
    twice.Add("RATING")->Value = "0";
    twice.Add("RATING")->Value = "0";
    ASSERT_EQ(twice.SaveToStream(s, true, ttAPEv2), 0);
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.Frame(back.FrameExists("RATING"))->Value, B("0"));

    // Deleting one value of a multi-valued entry leaves the others.
    TTags t2;
    ASSERT_EQ(t2.LoadFromStream(s), 0);
    t2.Delete(t2.Exists("ARTIST"));
    ASSERT_EQ(t2.SaveToStream(s, true, ttAPEv2), 0);
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.Frame(back.FrameExists("ARTIST"))->Value, B(std::string("B\0C", 3)));
}

TEST(APEv2, PicturesAreKeyedByTypeAndRoundTripByteForByte) {
    const Bytes front = Jpeg(300, 0x11), back = Jpeg(200, 0x22), front2 = Jpeg(100, 0x33);
    TMemoryStream s(Audio());
    {
        TTags t;
        ASSERT_EQ(t.LoadFromStream(s), 0);
        t.SetText("TITLE", "x");
        t.AddCoverArt("Cover art 1", front, "image/jpeg")->CoverType = 3;
        t.AddCoverArt("Cover art 2", back, "image/jpeg")->CoverType = 4;
        TCoverArt* c = t.AddCoverArt("Cover art 3", front2, "image/jpeg");
        c->CoverType = 3;
        c->Description = "second";
        ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    }
    TAPEv2Tag raw;
    ASSERT_EQ(raw.LoadFromStream(s), 0);
    ASSERT_GE(raw.FrameExists("Cover Art (Back)"), 0);
    EXPECT_EQ(raw.Frame(raw.FrameExists("Cover Art (Front) 2"))->Value, Cat({B("second"), Bytes{0}, front2}));

    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    ASSERT_EQ(t.CoverArtCount(), 3);
    EXPECT_EQ(t.CoverArtAt(0)->CoverType, 3u);
    EXPECT_EQ(t.CoverArtAt(0)->Data, front);
    EXPECT_EQ(t.CoverArtAt(0)->MIMEType, "image/jpeg");
    EXPECT_EQ(t.CoverArtAt(1)->CoverType, 4u);
    EXPECT_EQ(t.CoverArtAt(1)->Data, back);
    EXPECT_EQ(t.CoverArtAt(2)->CoverType, 3u);
    EXPECT_EQ(t.CoverArtAt(2)->Description, "second");

    // Saving again without a change writes the same bytes.
    const Bytes before = static_cast<TMemoryStream&>(s).Data();
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    EXPECT_EQ(s.Data(), before);
}

TEST(APEv2, ACoverSignatureCountsOnlyRightAfterTheDescription) {
    // A binary item whose bytes contain FF D8 somewhere inside is no picture,
    // and comes back unchanged.
    const Bytes blob = Cat({B("desc"), Bytes{0}, B("xyz"), Bytes{0xFF, 0xD8, 0xFF}, B("tail")});
    TMemoryStream s(Cat({Audio(), Tag({{Item("Blob", blob, 1), Item("Title", B("T"))}})}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.CoverArtCount(), 0);
    t.SetText("TITLE", "U");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.Frame(back.FrameExists("Blob"))->Value, blob);
    EXPECT_EQ(back.Frame(back.FrameExists("Blob"))->GetText(), "BINARY 15 Byte");
}

TEST(APEv2, ItemsOfKindsTwoAndThreeAreSkippedByTheirSizeAndKept) {
    TMemoryStream s(
        Cat({Audio(), Tag({{Item("Link", B("http://x/y"), 2), Item("Odd", B("zz"), 3), Item("Title", B("T"))}})}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("TITLE"), "T");
    EXPECT_EQ(t.Exists("Link"), -1);
    t.SetText("TITLE", "New");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Frame(0)->Kind, 2u);
    EXPECT_EQ(back.Frame(0)->Value, B("http://x/y"));
    EXPECT_EQ(back.Frame(1)->Kind, 3u);
    EXPECT_EQ(back.GetText("TITLE"), "New");
}

// The read-only flag (bit 0) of items and of the tag is kept by a save,
// on the items it left alone and on the one it edited.
TEST(APEv2, ReadOnlyFlagsAreKept) {
    auto flagged = [](Bytes Item, uint32_t Flags) {
        for (int i = 0; i < 4; ++i) Item[4 + (size_t)i] = uint8_t(Flags >> (8 * i));
        return Item;
    };
    Bytes tag = Tag({{flagged(Item("Title", B("T")), 1), Item("Artist", B("A")),
                      flagged(Item("Cover Art (Front)", Cat({B("c.jpg"), Bytes{0}, Jpeg(40, 1)})), 3),
                      flagged(Item("Album", B("B")), 1)}});
    tag[20] |= 1;               // the header's read-only flag
    tag[tag.size() - 12] |= 1;  // the footer's
    TMemoryStream s(Cat({Audio(), tag}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    t.SetText("ARTIST", "New");
    t.SetText("ALBUM", "Edited");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.Flags & 1, 1u);
    struct TCase {
        const char* Key;
        uint32_t Kind, OtherFlags;
    };
    for (const TCase& c :
         {TCase{"Title", 0, 1}, TCase{"Artist", 0, 0}, TCase{"Cover Art (Front)", 1, 1}, TCase{"Album", 0, 1}}) {
        const TAPEv2Frame* f = back.Frame(back.FrameExists(c.Key));
        ASSERT_NE(f, nullptr) << c.Key;
        EXPECT_EQ(f->Kind, c.Kind) << c.Key;
        EXPECT_EQ(f->OtherFlags, c.OtherFlags) << c.Key;
    }
    EXPECT_EQ(back.GetText("Album"), "Edited");
    // Saved again unchanged: the same bytes.
    const Bytes once = s.Data();
    TTags again;
    ASSERT_EQ(again.LoadFromStream(s), 0);
    ASSERT_EQ(again.SaveToStream(s, true, ttAPEv2), 0);
    EXPECT_EQ(s.Data(), once);
}

TEST(APEv2, AnUnchangedSaveOfATagWithoutHeaderWritesNothing) {
    testutil::TTempDir dir;
    const std::string path = dir.file("c.wv");
    const Bytes content = Cat({Audio(), Tag({{Item("Title", B("T  ")), Item("Comment", B("c"))}, false})});
    testutil::WriteFile(path, content);
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    ASSERT_EQ(t.SaveToFile(path, ttAutomatic), 0);
    EXPECT_EQ(testutil::ReadFile(path), content);
}

// Footers whose fields the file cannot hold: a code, nothing read beyond the
// file, nothing written by a save or a removal.
TEST(APEv2, HostileFootersGiveACodeAndWriteNothing) {
    const Bytes items = Cat({Item("Title", B("T")), Item("Artist", B("A"))});
    struct TCase {
        const char* What;
        Bytes Tail;
        int Code;
    };
    const TCase cases[] = {
        {"count of four billion", Tag({{Item("Title", B("T"))}, true, 2000, 0xFFFFFFFF}), apev2result::DamagedFooter},
        {"count beyond what the size holds", Tag({{Item("Title", B("T"))}, true, 2000, 3}), apev2result::DamagedFooter},
        {"size beyond the file", Tag({{Item("Title", B("T"))}, false, 2000, -1, 0x7FFFFFF0}),
         apev2result::DamagedFooter},
        {"size below the footer", Tag({{}, false, 2000, 0, 16}), apev2result::DamagedFooter},
        {"item past the footer", Tag({{Item("Title", B("T")), Bytes{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 'K', 0}}}),
         apev2result::ItemTooLarge},
        {"key without terminator", Tag({{Bytes{1, 0, 0, 0, 0, 0, 0, 0, 'K', 'K'}}}), apev2result::ItemTooLarge},
        {"unknown version", Tag({{Item("Title", B("T"))}, true, 3000}), apev2result::UnsupportedVersion},
    };
    testutil::TTempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file("h.ape");
        const Bytes content = Cat({Audio(), c.Tail, ID3v1Block("v1")});
        testutil::WriteFile(path, content);
        TAPEv2Tag t;
        EXPECT_EQ(t.LoadFromFile(path), c.Code) << c.What;
        t.AddTextFrame("Title", "new");
        EXPECT_EQ(t.SaveToFile(path), c.Code) << c.What;
        EXPECT_EQ(testutil::ReadFile(path), content) << c.What;
        TTags all;
        EXPECT_EQ(all.LoadFromFile(path), 0) << c.What;
        if (c.Code == apev2result::ItemTooLarge) {
            // The footer itself is sound, so the tag's extent is known: it can go.
            EXPECT_EQ(RemoveAPEv2TagFromFile(path), 0) << c.What;
            EXPECT_EQ(testutil::ReadFile(path), Cat({Audio(), ID3v1Block("v1")})) << c.What;
            continue;
        }
        EXPECT_EQ(RemoveAPEv2TagFromFile(path), c.Code) << c.What;
        EXPECT_EQ(testutil::ReadFile(path), content) << c.What;
        // Stripping removes what it can and says that a tag stayed.
        EXPECT_NE(StripTagsFromFile(path, ttAutomatic), 0) << c.What;
    }
}

TEST(APEv2, RemovalLooksPastLyrics3AndStripLeavesNoTag) {
    testutil::TTempDir dir;
    const std::string path = dir.file("d.mp3");
    const Bytes tail = Cat({Lyrics3Block(), ID3v1Block("v1")});
    testutil::WriteFile(path, Cat({Audio(), Tag({{Item("Title", B("T"))}}), tail}));
    EXPECT_EQ(RemoveAPEv2TagFromFile(path), 0);
    EXPECT_EQ(testutil::ReadFile(path), Cat({Audio(), tail}));
    EXPECT_EQ(RemoveAPEv2TagFromFile(path), apev2result::NoTag);

    // APE + ID3v2 + ID3v1: stripping removes all three.
    TTags t;
    testutil::WriteFile(path, Cat({Audio(), Tag({{Item("Title", B("T"))}}), tail}));
    ASSERT_EQ(t.LoadFromFile(path), 0);
    ASSERT_EQ(t.SaveToFile(path, ttID3v2), 0);
    ASSERT_EQ(StripTagsFromFile(path, ttAutomatic), 0);
    EXPECT_EQ(testutil::ReadFile(path), Audio());

    // Read-only: a code, nothing changed.
    testutil::WriteFile(path, Cat({Audio(), Tag({{Item("Title", B("T"))}})}));
    ::chmod(path.c_str(), 0444);
    EXPECT_EQ(RemoveAPEv2TagFromFile(path), apev2result::ReadOnly);
    TAPEv2Tag ro;
    ASSERT_EQ(ro.LoadFromFile(path), 0);
    EXPECT_EQ(ro.SaveToFile(path), apev2result::ReadOnly);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(RemoveAPEv2TagFromFile(dir.file("missing.ape")), apev2result::CannotOpen);
}

// A value holding "TAG" exactly 128 bytes before the end of the file is no
// ID3v1 block: the tag that ends the file still loads after it was written.
TEST(APEv2, ATagWhoseLast128BytesStartWithTAGStillLoads) {
    TMemoryStream s(Audio());
    TAPEv2Tag t;
    // The value ends right before the 32-byte footer, so its byte
    // 200 - 128 + 32 lies 128 bytes before the end of the file.
    std::string value(200, 'x');
    value.replace(value.size() - 128 + 32, 3, "TAG");
    t.UpperCaseFieldNamesToWrite = false;
    t.AddTextFrame("Album", value);
    ASSERT_EQ(t.SaveToStream(s), 0);
    ASSERT_EQ(std::string(s.Data().end() - 128, s.Data().end() - 125), "TAG");
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.GetText("Album"), value);
    // And it is replaced, not added to.
    back.Frame(0)->SetText("short");
    ASSERT_EQ(back.SaveToStream(s), 0);
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(s.Data().size(), Audio().size() + 32 + 8 + 6 + 5 + 32);
}

// "Album Artist", the key other writers use, is the container's ALBUMARTIST;
// the item keeps its key, and a new album artist gets that key.
TEST(APEv2, AlbumArtistKey) {
    TMemoryStream s(Cat({Audio(), Tag({{Item("Album Artist", B("Band"))}})}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("ALBUMARTIST"), "Band");
    t.SetText("ALBUMARTIST", "Other Band");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Frame(0)->Name, "Album Artist");
    EXPECT_EQ(back.Frame(0)->GetText(), "Other Band");

    TMemoryStream fresh(Audio());
    TTags n;
    ASSERT_EQ(n.LoadFromStream(fresh), 0);
    n.SetText("ALBUMARTIST", "New");
    ASSERT_EQ(n.SaveToStream(fresh, true, ttAPEv2), 0);
    ASSERT_EQ(back.LoadFromStream(fresh), 0);
    EXPECT_EQ(back.GetText("Album Artist"), "New");
    EXPECT_EQ(back.Frame(0)->Name, "ALBUM ARTIST");
}

// "Disc" is the disc item other writers key: it loads as the disc number
// with its total, a title edit leaves it alone (no second "DISCNUMBER" item
// beside it), and a disc edit changes it under its own key.
TEST(APEv2, DiscKeyOfOtherWriters) {
    TMemoryStream s(Cat({Audio(), Tag({{Item("Title", B("Old")), Item("Disc", B("1/2"))}})}));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    EXPECT_EQ(t.GetText("DISCNUMBER"), "1");
    EXPECT_EQ(t.GetText("TOTALDISCS"), "2");
    t.SetText("TITLE", "New");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TAPEv2Tag back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Frame(1)->Name, "Disc");
    EXPECT_EQ(back.Frame(1)->GetText(), "1/2");

    ASSERT_EQ(t.LoadFromStream(s), 0);
    t.SetText("DISCNUMBER", "3");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    ASSERT_EQ(back.LoadFromStream(s), 0);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Frame(1)->Name, "Disc");
    EXPECT_EQ(back.Frame(1)->GetText(), "3/2");
}

TEST(APEv2, TextOfItems) {
    TAPEv2Tag t;
    Bytes big(1536, 0);
    t.AddBinaryFrame("Blob", big.data(), big.size());
    EXPECT_EQ(t.Frame(0)->GetText(), "BINARY 1.50 KB");
    t.AddTextFrame("Title", "padded \t\r\n");
    EXPECT_EQ(t.GetText("title"), "padded");
    t.SetText("TITLE", "");
    EXPECT_EQ(t.FrameExists("TITLE"), -1);
    EXPECT_EQ(APEv2CoverTypeOfKey("cover art (BACK)"), 4);
    EXPECT_EQ(APEv2CoverTypeOfKey("Cover Art (Front) 3"), 3);
    EXPECT_EQ(APEv2CoverTypeOfKey("Cover Art (Front)x"), -1);
}

}  // namespace

// An empty item of another kind under the key does not keep a new value out:
// an empty item is never written, and the value would be lost.
TEST(APEv2, AnEmptyItemOfAnotherKindDoesNotHoldTheKey) {
    const std::string path =
        std::string(VELTRANO_SOURCE_DIR) + "/tests/fixtures/fuzz/apev2-empty-item-holds-title-key.mp3";
    TMemoryStream s(testutil::ReadFile(path));
    TTags t;
    ASSERT_EQ(t.LoadFromStream(s), 0);
    ASSERT_GE(t.APEv2Tag().FrameExists("TITLE"), 0);
    ASSERT_TRUE(t.APEv2Tag().Frame(t.APEv2Tag().FrameExists("TITLE"))->Value.empty());
    t.SetText("TITLE", "New title");
    ASSERT_EQ(t.SaveToStream(s, true, ttAPEv2), 0);
    TTags back;
    ASSERT_EQ(back.LoadFromStream(s), 0);
    EXPECT_EQ(back.APEv2Tag().GetText("TITLE"), "New title");
}
