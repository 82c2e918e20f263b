// The container's table of tag kinds.
#include <gtest/gtest.h>

#include <set>

#include "tags/stream.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

TEST(FormatTable, KindsNamesAndBitsAreUniqueAndFoundAgain) {
    std::set<int> bits;
    std::set<std::string> names;
    for (const TTagFormat& f : TagFormats()) {
        SCOPED_TRACE(f.CliName);
        EXPECT_TRUE(bits.insert(f.KindBit).second);
        EXPECT_TRUE(names.insert(f.CliName).second);
        EXPECT_EQ(FindTagFormat(f.Kind), &f);
        EXPECT_EQ(FindTagFormat(std::string(f.CliName)), &f);
    }
    EXPECT_EQ(FindTagFormat(ttLyrics2), FindTagFormat(ttID3v1));
    EXPECT_EQ(FindTagFormat(ttMKV), nullptr);
    EXPECT_EQ(FindTagFormat(std::string("auto")), nullptr);
    EXPECT_TRUE(TagFormatBuilt(ttID3v1));
    EXPECT_TRUE(TagFormatBuilt(ttID3v2));
}

// A kind whose reader and writer are not built holds nothing and never
// claims a save it did not make, neither to a file nor to a stream.
TEST(FormatTable, KindsNotBuiltNeverReportASave) {
    testutil::TTempDir D;
    const std::vector<uint8_t> Audio = tbytes::MpegFrames(4);
    for (const TTagFormat& f : TagFormats()) {
        if (TagFormatBuilt(f.Kind)) continue;
        SCOPED_TRACE(f.CliName);
        const std::string P = D.file(std::string("a.") + f.CliName);
        testutil::WriteFile(P, Audio);
        TTags Tags;
        Tags.LoadFromFile(P);
        EXPECT_FALSE(Tags.NativeLoaded(f.Kind));
        Tags.SetText("TITLE", "x");
        EXPECT_NE(Tags.SaveToFile(P, f.Kind), tagresult::Success);
        EXPECT_EQ(testutil::ReadFile(P), Audio);
        TMemoryStream S(Audio);
        EXPECT_NE(Tags.SaveToStream(S, false, f.Kind), tagresult::Success);
        EXPECT_EQ(S.Data(), Audio);
    }
}
