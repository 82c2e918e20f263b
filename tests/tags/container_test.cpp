// Entries and pictures of the unified container.
#include <gtest/gtest.h>

#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/test_util.h"

TEST(Container, SetTextEmptyDeletesOnlyFirstAndClearDeletesAll) {
    TTags t;
    t.Add("TITLE")->Value = "one";
    t.Add("TITLE")->Value = "two";
    EXPECT_EQ(t.SetText("Title", ""), -1);
    ASSERT_EQ(t.TypeCount("TITLE"), 1);
    EXPECT_EQ(t.GetText("title"), "two");
    t.Add("TITLE")->Value = "three";
    EXPECT_EQ(t.Clear("TITLE"), 2);
    EXPECT_EQ(t.Count(), 0);
}

TEST(Container, SetTextAddsReplacesAndIgnoresEmptyWhenMissing) {
    TTags t;
    EXPECT_EQ(t.SetText("ARTIST", ""), -1);
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.SetText("ARTIST", "A"), 0);
    EXPECT_EQ(t.SetText("artist", "B"), 0);
    EXPECT_EQ(t.GetText("ARTIST"), "B");
    EXPECT_EQ(t.Exists("nothing"), -1);
    EXPECT_EQ(t.Tag("nothing"), nullptr);
}

TEST(Container, GetMultipleListDropsCaseInsensitiveDuplicates) {
    TTags t;
    for (const char* v : {"A", "b", "B"}) t.Add("ARTIST")->Value = v;
    std::vector<std::string> list;
    EXPECT_TRUE(t.GetMultipleList("artist", list));
    EXPECT_EQ(list, (std::vector<std::string>{"A", "b"}));
    EXPECT_FALSE(t.GetMultipleList("ALBUM", list));
    EXPECT_TRUE(list.empty());
}

TEST(Container, ListValuesUseAlternatingLines) {
    TTags t;
    EXPECT_EQ(t.SetList("TIPL", {"producer=Ann", "engineer=Bob"}), 0);
    EXPECT_EQ(t.GetText("TIPL"), "producer\r\nAnn\r\nengineer\r\nBob\r\n");
    std::vector<std::string> list;
    t.GetList("TIPL", list);
    EXPECT_EQ(list, (std::vector<std::string>{"producer=Ann", "engineer=Bob"}));
    EXPECT_EQ(t.SetList("TIPL", {}), -1);
    EXPECT_EQ(t.Exists("TIPL"), -1);
}

TEST(Container, DeleteAndRemoveRangeAndRemoveEmpty) {
    TTags t;
    t.Add("A")->Value = "x";
    t.Add("B");
    t.Add("C")->Value = "z";
    EXPECT_FALSE(t.Delete(3));
    EXPECT_FALSE(t.Delete(-1));
    EXPECT_FALSE(t.Remove(5));
    t.RemoveEmptyTags();
    ASSERT_EQ(t.Count(), 2);
    EXPECT_EQ(t.TagAt(1)->Name, "C");
    EXPECT_EQ(t.TagAt(1)->GetIndex(), 1);
    EXPECT_TRUE(t.TagAt(0)->Delete());
    EXPECT_EQ(t.TagAt(0)->Name, "C");
}

TEST(Container, PictureFormatsByContentAndMime) {
    struct TCase {
        std::vector<uint8_t> Head;
        TTagPictureFormat Expected;
    };
    const TCase cases[] = {
        {{0xFF, 0xD8, 0xFF, 0xE0}, tpfJPEG},
        {{0x89, 0x50, 0x4E, 0x47}, tpfPNG},
        {{'G', 'I', 'F', '8'}, tpfGIF},
        {{'B', 'M', 0, 0}, tpfBMP},
        {{'I', 'I', 0x2A, 0}, tpfTIFF},
        {{'M', 'M', 0, 0x2A}, tpfTIFF},
        {{0xFF}, tpfUnknown},
        {{}, tpfUnknown},
        {{1, 2, 3, 4}, tpfUnknown},
    };
    for (const auto& c : cases) {
        TMemoryStream s(c.Head);
        s.Seek((int64_t)c.Head.size());
        EXPECT_EQ(TTags::PictureStreamType(&s), c.Expected);
        EXPECT_EQ(s.Position(), 0);
    }
    EXPECT_EQ(TTags::PictureStreamType(nullptr), tpfUnknown);
    EXPECT_EQ(TTags::PicturePointerType("\xFF\xD8", 2), tpfUnknown);  // fewer than 3 bytes
    EXPECT_EQ(PictureFormatFromMIMEType("IMAGE/JPG"), tpfJPEG);
    EXPECT_EQ(PictureFormatFromMIMEType("image/tiff"), tpfUnknown);
    EXPECT_EQ(PictureTypeFromName("cover (FRONT)"), 3u);
    EXPECT_EQ(PictureTypeFromName("no such type"), 0u);
}

TEST(Container, AddCoverArtVariants) {
    testutil::TTempDir dir;
    TTags t;
    TCoverArt* plain = t.AddCoverArt("Cover art 1");
    EXPECT_EQ(plain->Description, "No description");
    TMemoryStream src(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 1, 2});
    src.Seek(3);
    TCoverArt* fromStream = t.AddCoverArt("Cover art 2", src, "image/jpg");
    EXPECT_EQ(fromStream->PictureFormat, tpfJPEG);
    EXPECT_EQ(fromStream->Data.size(), 6u);  // copied from the start, not from the position

    testutil::WriteFile(dir.file("front.png"), std::vector<uint8_t>{0x89, 0x50, 0x4E, 0x47, 0, 0});
    TCoverArt* fromFile = t.AddCoverArtFromFile("Cover art 3", dir.file("front.png"));
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(fromFile->MIMEType, "image/png");
    EXPECT_EQ(fromFile->Description, "front.png");
    EXPECT_EQ(t.AddCoverArtFromFile("x", dir.file("missing.png")), nullptr);
    EXPECT_EQ(t.CoverArt("cover ART 2"), fromStream);
    EXPECT_EQ(fromStream->GetIndex(), 1);
    EXPECT_TRUE(fromStream->Delete());
    EXPECT_EQ(t.CoverArtCount(), 2);
    EXPECT_FALSE(t.DeleteCoverArt(7));
}

TEST(Container, AssignCopiesEntriesAndOptionallyPictures) {
    TTags a, b;
    a.Add("TITLE")->Value = "T";
    a.TagAt(0)->Language = "eng";
    a.AddCoverArt("Cover art 1")->Data = {1, 2, 3};
    EXPECT_TRUE(b.Assign(a, false));
    EXPECT_EQ(b.GetText("TITLE"), "T");
    EXPECT_EQ(b.TagAt(0)->Language, "eng");
    EXPECT_EQ(b.TagAt(0)->Parent, &b);
    EXPECT_EQ(b.CoverArtCount(), 0);
    EXPECT_TRUE(b.Assign(a, true));
    ASSERT_EQ(b.CoverArtCount(), 1);
    EXPECT_EQ(b.CoverArtAt(0)->Data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(b.AssignCoverArts(a, true));
    EXPECT_EQ(b.CoverArtCount(), 2);
}
