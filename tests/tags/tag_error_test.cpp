#include "tags/tag_error.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

#include "tags/tags.h"
#include "tests/test_util.h"

namespace {

// Every situation has a text of its own, and std::error_code carries it.
TEST(TagError, EverySituationHasATextOfItsOwn) {
    std::set<std::string> Texts;
    for (int E = 0; E <= static_cast<int>(TTagError::Failure); ++E)
        Texts.insert(std::error_code(static_cast<TTagError>(E)).message());
    EXPECT_EQ(Texts.size(), static_cast<size_t>(TTagError::Failure) + 1);
    const std::error_code Full = TTagError::NoSpace;
    EXPECT_STREQ(Full.category().name(), "tags");
    EXPECT_EQ(Full.message(), "not enough free space on the disk");
    EXPECT_EQ(ContainerTagError(tagresult::WMAToStream), TTagError::NoStreamWrite);
}

// A failed save says why: the writer's situation, or the system's errno.
TEST(TagError, AFailedSaveSaysWhy) {
    testutil::TTempDir Dir;
    const std::string Path = Dir.path() + "/song.mp3";
    std::vector<uint8_t> Frames;
    for (int i = 0; i < 20; ++i) {
        const uint8_t Header[] = {0xFF, 0xFB, 0x90, 0x00};
        Frames.insert(Frames.end(), Header, Header + 4);
        Frames.resize(Frames.size() + 413);
    }
    testutil::WriteFile(Path, Frames);
    {
        TTags Tags;
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        Tags.SetText("TITLE", "x");
        EXPECT_NE(Tags.SaveToFile(Path, ttMP4), 0);  // an MPEG file is no MP4 file
        const TSaveFailure Failure = LastSaveFailure(Tags);
        EXPECT_EQ(Failure.Error, TTagError::NotThisFormat);
        EXPECT_EQ(Failure.Errno, 0);
    }
    {
        TTags Tags;
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        Tags.SetText("TITLE", "y");
        EXPECT_EQ(Tags.SaveToFile(Path, ttID3v2), 0);
        EXPECT_EQ(LastSaveFailure(Tags).Error, TTagError::None);
    }
    ASSERT_EQ(::chmod(Path.c_str(), 0444), 0);
    {
        TTags Tags;
        ASSERT_EQ(Tags.LoadFromFile(Path), 0);
        Tags.SetText("TITLE", "z");
        EXPECT_NE(Tags.SaveToFile(Path, ttID3v2), 0);
        EXPECT_EQ(LastSaveFailure(Tags).Text(), "the file is read-only");
    }
}

}  // namespace
