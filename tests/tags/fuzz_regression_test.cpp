// Every file under tests/fixtures/fuzz goes through the same checks as the
// fuzz targets: it loads without crashing, and a save reported as successful
// loads back, with the bytes in front of an ID3v1 tag unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/test_util.h"

namespace {

std::vector<std::string> Fixtures() {
    std::vector<std::string> Files;
    const std::filesystem::path Dir = std::filesystem::path(testutil::SourceDir()) / "tests/fixtures/fuzz";
    for (const auto& E : std::filesystem::directory_iterator(Dir))
        if (E.is_regular_file() && E.path().extension() != ".md") Files.push_back(E.path().string());
    std::sort(Files.begin(), Files.end());
    return Files;
}

TEST(FuzzRegression, EveryFixtureLoadsAndSavesBack) {
    const auto Files = Fixtures();
    ASSERT_FALSE(Files.empty());
    for (const auto& File : Files) {
        SCOPED_TRACE(File);
        const std::vector<uint8_t> Data = testutil::ReadFile(File);

        TTags Loaded;
        Loaded.LoadFromMemory(Data.data(), (int64_t)Data.size());

        {   // ID3v1 + Lyrics3: a save keeps everything in front of the old tail.
            TMemoryStream S(Data);
            TID3v1Tag T;
            if (T.LoadFromStream(S) == 0) {
                const int64_t Kept = (int64_t)Data.size() - std::min<int64_t>((int64_t)Data.size(), 128) - T.LyricsSize();
                T.Title = "Regression";
                ASSERT_EQ(T.SaveToStream(S, !T.LyricsFrames.empty()), 0);
                EXPECT_TRUE(std::equal(Data.begin(), Data.begin() + Kept, S.Data().begin()));
                TID3v1Tag Again;
                ASSERT_EQ(Again.LoadFromStream(S), 0);
                EXPECT_EQ(Again.Title, "Regression");
            }
        }
        {   // ID3v2 on its own.
            TMemoryStream S(Data);
            TID3v2Tag T;
            if (T.LoadFromStream(S, false) == 0) {
                T.SetText("TIT2", "Regression", teUTF8);
                if (T.SaveToStream(S, false) == 0) {
                    TID3v2Tag Again;
                    EXPECT_EQ(Again.LoadFromStream(S, false), 0);
                }
            }
        }
        {   // Every loaded kind through the container.
            TMemoryStream S(Data);
            TTags Tags;
            if (Tags.LoadFromStream(S, true) == 0 && Tags.Loaded) {
                Tags.SetText("TITLE", "Regression");
                if (Tags.SaveToStream(S, true, ttAutomatic) == 0) {
                    TTags Again;
                    EXPECT_EQ(Again.LoadFromStream(S, false), 0);
                    EXPECT_EQ(Again.GetText("TITLE"), "Regression");
                }
            }
        }
    }
}

}  // namespace
