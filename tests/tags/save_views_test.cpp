// A save back into the same file writes each tag kind from its own values
// for the names the caller left alone.
#include <gtest/gtest.h>

#include "tags/ape/apev2_tag.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

using namespace tbytes;

namespace {

// An MP3 whose ID3v2 tag and ID3v1 tag disagree: ID3v2 holds two artists
// and no album, ID3v1 one artist and an album.
Bytes TwoTagMp3() {
    const Bytes v2 = Tag(3, Cat(Frame(3, "TIT2", Text0("Old")), Frame(3, "TPE1", Cat(Text0("A"), Bytes{0}, Str("B")))));
    return Cat(v2, MpegFrames(8), ID3v1Block("Old", "A, B", "V1 Album", "1999", "", 3, 255));
}

}  // namespace

TEST(SaveViews, EachKindKeepsItsOwnValuesForNamesLeftAlone) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, TwoTagMp3());
    for (int round = 0; round < 2; ++round) {
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        tags.SetText("TITLE", round ? "Newer" : "New");
        ASSERT_EQ(tags.SaveToFile(path), 0);
    }
    TID3v2Tag v2;
    ASSERT_EQ(v2.LoadFromFile(path), 0);
    EXPECT_EQ(v2.GetText("TIT2"), "Newer");
    std::vector<std::string> artists;
    ASSERT_TRUE(v2.GetTextMultiple(v2.FrameExists("TPE1"), artists));
    EXPECT_EQ(artists, (std::vector<std::string>{"A", "B"}));
    EXPECT_LT(v2.FrameExists("TALB"), 0) << "the ID3v1 album stays out of the ID3v2 tag";
    EXPECT_LT(v2.FrameExists("TYER"), 0);
    TID3v1Tag v1;
    ASSERT_EQ(v1.LoadFromFile(path), 0);
    EXPECT_EQ(v1.Title, "Newer");
    EXPECT_EQ(v1.Artist, "A, B");
    EXPECT_EQ(v1.Album, "V1 Album");
}

TEST(SaveViews, AChangedOrDeletedNameReachesEveryKind) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, TwoTagMp3());
    {
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        tags.SetText("ARTIST", "C");
        tags.Delete("ALBUM");
        ASSERT_EQ(tags.SaveToFile(path), 0);
    }
    TID3v2Tag v2;
    ASSERT_EQ(v2.LoadFromFile(path), 0);
    EXPECT_EQ(v2.GetText("TPE1"), "C");
    TID3v1Tag v1;
    ASSERT_EQ(v1.LoadFromFile(path), 0);
    EXPECT_EQ(v1.Artist, "C");
    EXPECT_EQ(v1.Album, "");
}

// Pictures follow the same rule: the merge shows one kind's pictures (the
// ID3v2 tag's over the APE tag's), and while they are left alone every kind
// keeps its own, so an edit of the title does not copy the ID3v2 picture
// over the APE one (with its file name description). A new picture reaches
// every kind.
TEST(SaveViews, EachKindKeepsItsOwnPicturesWhileTheyAreLeftAlone) {
    auto apeItem = [](const std::string& Key, const Bytes& Value, uint32_t Kind) {
        return Cat(LE32((uint32_t)Value.size()), LE32(Kind << 1), Str(Key), Bytes{0}, Value);
    };
    const Bytes apeCover = Cat(Str("Cover Art (Front).jpg"), Bytes{0}, Png(200));
    const Bytes items = Cat(apeItem("Title", Str("Old"), 0), apeItem("Cover Art (Front)", apeCover, 1));
    auto apeHeader = [&](uint32_t Flags) {
        return Cat(Str("APETAGEX"), LE32(2000), LE32((uint32_t)items.size() + 32), LE32(2), LE32(Flags), Bytes(8, 0));
    };
    const Bytes v2 =
        Tag(3, Cat(Frame(3, "TIT2", Text0("Old")), Frame(3, "APIC", Picture0("image/png", 3, "", Png(300)))));
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, Cat(v2, MpegFrames(8), apeHeader(0xA0000000u), items, apeHeader(0x80000000u)));
    {
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        ASSERT_EQ(tags.CoverArtCount(), 1);
        tags.SetText("TITLE", "New");
        ASSERT_EQ(tags.SaveToFile(path), 0);
    }
    TTags after;
    ASSERT_EQ(after.LoadFromFile(path), 0);
    EXPECT_EQ(after.GetText("TITLE"), "New");
    ASSERT_GE(after.APEv2Tag().FrameExists("Cover Art (Front)"), 0);
    EXPECT_EQ(after.APEv2Tag().Frame(after.APEv2Tag().FrameExists("Cover Art (Front)"))->Value, apeCover);

    const Bytes fresh = Png(100);
    TReadMemoryStream picture(fresh.data(), (int64_t)fresh.size());
    after.DeleteAllCoverArts();
    after.AddCoverArt("Cover art 1", picture, "image/png")->CoverType = 3;
    ASSERT_EQ(after.SaveToFile(path), 0);
    TTags again;
    ASSERT_EQ(again.LoadFromFile(path), 0);
    const TAPEv2Frame* ape = again.APEv2Tag().Frame(again.APEv2Tag().FrameExists("Cover Art (Front)"));
    ASSERT_NE(ape, nullptr);
    EXPECT_TRUE(std::equal(fresh.rbegin(), fresh.rend(), ape->Value.rbegin()));
    ASSERT_EQ(again.CoverArtCount(), 1);
    EXPECT_EQ(again.CoverArtAt(0)->Data, fresh);
}
