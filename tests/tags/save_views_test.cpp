// A save back into the same file writes each tag kind from its own values
// for the names the caller left alone.
#include <gtest/gtest.h>

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
    const Bytes v2 = Tag(3, Cat(Frame(3, "TIT2", Text0("Old")),
                                Frame(3, "TPE1", Cat(Text0("A"), Bytes{0}, Str("B")))));
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
