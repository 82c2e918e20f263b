// WMA attributes over our own ASF header editor: where attributes are
// stored, the in-place and the rewriting save, types kept across a save,
// the mapping rules, and hostile object sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "tags/byte_io.h"
#include "tags/audio_properties.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/asf/asf_header.h"
#include "tags/asf/wma_tag.h"
#include "tests/tags/asf/asf_fixture.h"
#include "tests/test_util.h"

namespace {

using namespace asffixture;

bool Contains(const std::vector<uint8_t>& Hay, const std::vector<uint8_t>& Needle) {
    return std::search(Hay.begin(), Hay.end(), Needle.begin(), Needle.end()) != Hay.end();
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& File, size_t Bytes) {
    return std::vector<uint8_t>(File.end() - (ptrdiff_t)Bytes, File.end());
}

}  // namespace

TEST(WMA, HeaderValuesAndComputedAttributes) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    testutil::WriteFile(path, MakeAsf({}));
    TWMATag t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    // Only computed attributes: loaded, but no unified entries.
    EXPECT_TRUE(t.Loaded);
    EXPECT_EQ(t.Duration(), 5015);  // 81 150 000 - 3100 x 10 000, in ms
    EXPECT_EQ(t.BitRate(), 128u);
    EXPECT_TRUE(t.HasAudio());
    EXPECT_TRUE(t.Seekable());
    EXPECT_EQ(t.CodecInfo(), "Windows Media Audio V8");
    TTags tags;
    ASSERT_EQ(tags.LoadFromFile(path), 0);
    EXPECT_EQ(tags.Count(), 0);
    EXPECT_DOUBLE_EQ(tags.SourceAudioAttributes().PlayTime(), 5.015);
    // The audio stream's format comes from its stream properties.
    EXPECT_EQ(t.SampleRate, 44100u);
    EXPECT_EQ(t.Channels, 2);
    EXPECT_EQ(tags.SourceAudioAttributes().SamplesPerSec(), 44100u);
    EXPECT_EQ(tags.SourceAudioAttributes().Channels(), 2);
    EXPECT_EQ(tags.SourceAudioAttributes().BitsPerSample(), 16);
    // A computed attribute cannot be deleted.
    asf::TAsfEditor e;
    ASSERT_EQ(e.Open(path), 0);
    for (size_t i = e.AttributeCount(); i-- > 0;) EXPECT_FALSE(e.DeleteAttribute(i)) << e.Attribute(i).Name;
    EXPECT_FALSE(e.AddAttribute("Duration", asf::atQWORD, std::vector<uint8_t>(8, 0)));
}

// Saving into padding keeps the header's size: only the header is rewritten
// and the Data Object stays where it was. Without room the file is rewritten
// with the Data Object moved unchanged.
TEST(WMA, SaveInPlaceIntoPaddingElseRewrite) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    const auto original = MakeAsf({{"WM/AlbumTitle", 0, Str("Old")}}, 2000);
    testutil::WriteFile(path, original);
    const size_t dataSize = 50 + 3000;
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        t.SetText("TITLE", "A title");
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    auto after = testutil::ReadFile(path);
    EXPECT_EQ(after.size(), original.size());
    EXPECT_EQ(Tail(after, dataSize), Tail(original, dataSize));
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        EXPECT_EQ(t.GetText("TITLE"), "A title");
        EXPECT_EQ(t.GetText("ALBUM"), "Old");
        t.SetText("LYRICS", std::string(5000, 'x'));
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    after = testutil::ReadFile(path);
    EXPECT_GT(after.size(), original.size());
    EXPECT_EQ(Tail(after, dataSize), Tail(original, dataSize));
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    EXPECT_EQ(t.GetText("LYRICS").size(), 5000u);
    EXPECT_EQ(t.GetText("TITLE"), "A title");
    // File Properties' file size follows the new length.
    asf::TAsfEditor e;
    ASSERT_EQ(e.Open(path), 0);
    for (size_t i = 0; i < e.AttributeCount(); ++i) {
        if (e.Attribute(i).Name == "FileSize") {
            EXPECT_EQ(TByteReader(e.Attribute(i).Value).u64le(), after.size());
        }
    }
    // An unchanged save writes nothing.
    {
        TTags again;
        ASSERT_EQ(again.LoadFromFile(path), 0);
        ASSERT_EQ(again.SaveToFile(path), 0);
    }
    EXPECT_EQ(testutil::ReadFile(path), after);
}

// Numeric attributes keep their type; the 0-based "WM/Track" follows the
// track number; one "WM/Year" holds the year.
TEST(WMA, TypesTrackAndYear) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    testutil::WriteFile(path, MakeAsf({{"WM/SharedUserRating", 3, Dword(50)},
                                       {"WM/Track", 3, Dword(3)},
                                       {"WM/Year", 0, Str("1999")},
                                       {"IsVBR", 2, Dword(0)}}));
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        EXPECT_EQ(t.GetText("TRACKNUMBER"), "4");
        EXPECT_EQ(t.GetText("RATING"), "50");
        EXPECT_EQ(t.GetText("YEAR"), "1999");
        t.SetText("TRACKNUMBER", "7");
        t.SetText("TOTALTRACKS", "9");
        t.SetText("RATING", "80");
        t.SetText("YEAR", "2004");
        t.Add("RECORDINGDATE")->Value = "2004-05-06";
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    TWMATag w;
    ASSERT_EQ(w.LoadFromFile(path), 0);
    ASSERT_NE(w.Frame("WM/SharedUserRating"), nullptr);
    EXPECT_EQ(w.Frame("WM/SharedUserRating")->Format, WMT_TYPE_DWORD);
    EXPECT_EQ(w.GetInteger("WM/SharedUserRating"), 80);
    EXPECT_EQ(w.Frame("WM/Track")->Format, WMT_TYPE_DWORD);
    EXPECT_EQ(w.GetInteger("WM/Track"), 6);
    EXPECT_EQ(w.GetText("WM/TrackNumber"), "7/9");
    EXPECT_EQ(w.Frame("IsVBR")->Format, WMT_TYPE_BOOL);
    int years = 0;
    for (const auto& f : w.Frames) years += f->Name == "WM/Year";
    EXPECT_EQ(years, 1);
    EXPECT_EQ(w.GetText("WM/Year"), "2004");
    EXPECT_EQ(w.FrameExists("TOTALTRACKS"), -1);
}

// Pictures are stored in the file's own form; one over 64 KiB goes to the
// Metadata Library, and both come back whole.
TEST(WMA, PicturesSmallAndLarge) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    testutil::WriteFile(path, MakeAsf({}));
    std::vector<uint8_t> small = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
    std::vector<uint8_t> large(200000, 0x5A);
    large[0] = 0x89, large[1] = 'P', large[2] = 'N', large[3] = 'G';
    {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        auto* front = t.AddCoverArt("Cover art 1", small, "");
        front->CoverType = 3;
        front->Description.clear();
        auto* c = t.AddCoverArt("Cover art 2", large, "image/png");
        c->CoverType = 4;
        c->Description = "back";
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    const auto bytes = testutil::ReadFile(path);
    // The small one in the stored form: type, length, MIME, description, data.
    std::vector<uint8_t> stored = {3, 7, 0, 0, 0};
    const auto mime = U16z("image/jpeg");
    stored.insert(stored.end(), mime.begin(), mime.end());
    stored.insert(stored.end(), {0, 0});
    stored.insert(stored.end(), small.begin(), small.end());
    EXPECT_TRUE(Contains(bytes, stored));
    EXPECT_TRUE(Contains(bytes, LibraryG));
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    ASSERT_EQ(t.CoverArtCount(), 2);
    EXPECT_EQ(t.CoverArtAt(0)->Data, small);
    EXPECT_EQ(t.CoverArtAt(0)->MIMEType, "image/jpeg");
    EXPECT_EQ(t.CoverArtAt(1)->Data, large);
    EXPECT_EQ(t.CoverArtAt(1)->CoverType, 4u);
    EXPECT_EQ(t.CoverArtAt(1)->Description, "back");
}

// An attribute the file cannot hold fails the save before anything is
// written, instead of dropping it after the old attributes were deleted.
TEST(WMA, AnAttributeThatCannotBeStoredFailsTheSave) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    const auto original = MakeAsf({{"WM/AlbumTitle", 0, Str("Keep")}});
    testutil::WriteFile(path, original);
    TWMATag w;
    ASSERT_EQ(w.LoadFromFile(path), 0);
    TWMATagFrame* f = w.AddFrame("Broken");
    f->Format = WMT_TYPE_DWORD;
    f->Value = {1, 2, 3};  // a DWORD of three bytes
    EXPECT_EQ(w.SaveToFile(path), 0xFFFF);
    EXPECT_EQ(testutil::ReadFile(path), original);
}

TEST(WMA, ReadOnlyAndMissingFiles) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.wma");
    const auto original = MakeAsf({});
    testutil::WriteFile(path, original);
    ::chmod(path.c_str(), 0444);
    TWMATag w;
    ASSERT_EQ(w.LoadFromFile(path), 0);
    w.SetText("Title", "x");
    EXPECT_EQ(w.SaveToFile(path), wmaresult::ReadOnly);
    EXPECT_EQ(testutil::ReadFile(path), original);
    EXPECT_EQ(w.LoadFromFile(dir.file("none.wma")), wmaresult::NoFile);
}

// Hostile sizes give a code and no crash.
TEST(WMA, HostileObjectSizes) {
    const auto good = MakeAsf({{"WM/AlbumTitle", 0, Str("x")}});
    auto put64 = [](std::vector<uint8_t> B, size_t At, uint64_t V) {
        if (B.size() < 8 || At > B.size() - 8)
            ADD_FAILURE() << "no room for a size at " << At;
        else
            for (int i = 0; i < 8; ++i) B[At + i] = uint8_t(V >> (8 * i));
        return B;
    };
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Bytes;
    };
    const TCase cases[] = {
        {"header size 0", put64(good, 16, 0)},
        {"header size past the end", put64(good, 16, good.size() + 1)},
        {"header size 2^64-1", put64(good, 16, UINT64_MAX)},
        {"first child size 0", put64(good, 30 + 16, 0)},
        {"first child size 2^64-1", put64(good, 30 + 16, UINT64_MAX)},
        {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + 200)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream s(c.Bytes);
        TWMATag w;
        EXPECT_EQ(w.LoadFromStream(s), wmaresult::NotAsf);
        EXPECT_FALSE(w.Loaded);
    }
    // A descriptor count larger than what follows: the descriptors present are kept.
    auto bad = good;
    const auto name = U16z("WM/AlbumTitle");
    auto at = std::search(bad.begin(), bad.end(), name.begin(), name.end()) - bad.begin() - 4;
    bad[at] = 0xFF;
    TMemoryStream s(bad);
    TWMATag w;
    EXPECT_NE(w.LoadFromStream(s), 0xFFFF);
}
