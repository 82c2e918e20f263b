// The native item lists of every format: one name rule per format, and
// "exists", "count", "delete by name" agreeing about which items a name means.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tags/ape/apev2_tag.h"
#include "tags/asf/wma_tag.h"
#include "tags/flac/flac_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/ogg/opus_tag.h"
#include "tags/wav/wav_tag.h"
#include "tests/tags/flac_ogg_fixtures.h"
#include "tests/test_util.h"

namespace {

using Names = std::vector<std::string>;

// One format's native tag seen through its public list members.
struct TListUnderTest {
    std::function<void(const std::string&)> Add;
    std::function<int(const std::string&)> Exists;
    std::function<int(const std::string&)> TypeCount;
    std::function<bool(const std::string&)> DeleteByName;
    std::function<bool(int)> Delete;
    std::function<Names()> Stored;
};

// The tag's own list: FLAC calls it Tags, the others Frames.
template <class Tag>
const auto& ListOf(const Tag& T) {
    if constexpr (requires { T.Frames; })
        return T.Frames;
    else
        return T.Tags;
}

template <class Tag, class AddFn, class NameOf>
TListUnderTest Over(Tag& T, AddFn AddItem, NameOf Name) {
    return {[&T, AddItem](const std::string& N) { AddItem(T, N); },
            [&T](const std::string& N) { return T.FrameExists(N); },
            [&T](const std::string& N) { return T.FrameTypeCount(N); },
            [&T](const std::string& N) {
                // ID3v2 spells it as an overload of DeleteFrame.
                if constexpr (requires { T.DeleteFrameByName(N); })
                    return T.DeleteFrameByName(N);
                else
                    return T.DeleteFrame(N);
            },
            [&T](int I) { return T.DeleteFrame(I); },
            [&T, Name]() {
                Names out;
                for (const auto& f : ListOf(T)) out.push_back(Name(f));
                return out;
            }};
}

struct TCase {
    std::string Wanted;
    int FirstIndex;  // -1: no item carries the name
    int Count;
    Names AfterDelete;  // the stored names once the first of Wanted is deleted
};

// Stores Stored, then checks every case on a fresh copy.
void Check(const std::function<TListUnderTest()>& Make, const Names& Stored, const std::vector<TCase>& Cases) {
    for (const auto& c : Cases) {
        SCOPED_TRACE("wanted \"" + c.Wanted + "\"");
        TListUnderTest l = Make();
        for (const auto& n : Stored) l.Add(n);
        ASSERT_EQ(l.Stored(), Stored);
        EXPECT_EQ(l.Exists(c.Wanted), c.FirstIndex);
        EXPECT_EQ(l.TypeCount(c.Wanted), c.Count);
        EXPECT_EQ(l.DeleteByName(c.Wanted), c.FirstIndex >= 0);
        EXPECT_EQ(l.Stored(), c.AfterDelete);
        EXPECT_FALSE(l.Delete(-1));
        EXPECT_FALSE(l.Delete((int)c.AfterDelete.size()));
    }
}

// Vorbis comment field names and APEv2 keys: ASCII letters compare folded;
// other bytes (a trailing blank, a non-ASCII letter) as they are.
const Names CaseBlindStored = {"Title", "ARTIST", "title", "TITLE ", "\xC3\x89T\xC3\x89", "Artist"};
const std::vector<TCase> CaseBlindCases = {
    {"TITLE", 0, 2, {"ARTIST", "title", "TITLE ", "\xC3\x89T\xC3\x89", "Artist"}},
    {"tItLe", 0, 2, {"ARTIST", "title", "TITLE ", "\xC3\x89T\xC3\x89", "Artist"}},
    {"artist", 1, 2, {"Title", "title", "TITLE ", "\xC3\x89T\xC3\x89", "Artist"}},
    {"title ", 3, 1, {"Title", "ARTIST", "title", "\xC3\x89T\xC3\x89", "Artist"}},
    {"\xC3\xA9t\xC3\xA9", -1, 0, CaseBlindStored},
    {"TITL", -1, 0, CaseBlindStored},
    {"", -1, 0, CaseBlindStored},
};

TEST(ItemList, VorbisCommentNamesIgnoreAsciiCaseInEveryLookup) {
    TFlacTag flac;
    Check(
        [&] {
            flac.Clear();
            return Over(
                flac, [](TFlacTag& T, const std::string& N) { T.AddTag(N); },
                [](const TVorbisComment& c) { return c.Name; });
        },
        CaseBlindStored, CaseBlindCases);
    TOpusTag ogg;
    Check(
        [&] {
            ogg.Clear();
            return Over(
                ogg, [](TOpusTag& T, const std::string& N) { T.AddFrame(N); },
                [](const TOpusTagFrame& c) { return c.Name; });
        },
        CaseBlindStored, CaseBlindCases);
}

TEST(ItemList, APEv2KeysIgnoreAsciiCaseInEveryLookup) {
    TAPEv2Tag ape;
    ape.UpperCaseFieldNamesToWrite = false;  // keep the keys as given, to compare them
    Check(
        [&] {
            ape.DeleteAllFrames();
            return Over(
                ape, [](TAPEv2Tag& T, const std::string& N) { T.AddFrame(N); }, [](const auto& f) { return f->Name; });
        },
        CaseBlindStored, CaseBlindCases);
}

TEST(ItemList, AsfAttributeNamesIgnoreAsciiCaseInEveryLookup) {
    TWMATag wma;
    Check(
        [&] {
            wma.Clear();
            return Over(
                wma, [](TWMATag& T, const std::string& N) { T.AddFrame(N); }, [](const auto& f) { return f->Name; });
        },
        CaseBlindStored, CaseBlindCases);
}

TEST(ItemList, RiffInfoIdsCompareExactly) {
    const Names stored = {"ITRK", "INAM", "itrk", "ITRK"};
    TWAVTag wav;
    Check(
        [&] {
            wav.Clear();
            return Over(
                wav, [](TWAVTag& T, const std::string& N) { T.AddFrame(N); }, [](const auto& f) { return f->Name; });
        },
        stored,
        {{"ITRK", 0, 2, {"INAM", "itrk", "ITRK"}},
         {"itrk", 2, 1, {"ITRK", "INAM", "ITRK"}},
         {"Itrk", -1, 0, stored},
         {"ITRK ", -1, 0, stored},
         {"ITR", -1, 0, stored}});
}

TEST(ItemList, ID3v2FrameIdsCompareExactlyOverFourBytes) {
    const Names stored = {"TIT2", "TPE1", "TIT2", "TXXX"};
    TID3v2Tag id3;
    Check(
        [&] {
            id3.Clear();
            return Over(
                id3, [](TID3v2Tag& T, const std::string& N) { T.AddFrame(N); },
                [](const auto& f) { return f->IDText(); });
        },
        stored,
        {{"TIT2", 0, 2, {"TPE1", "TIT2", "TXXX"}},
         // A longer name is cut to the four bytes of an ID.
         {"TIT2 ", 0, 2, {"TPE1", "TIT2", "TXXX"}},
         {"tit2", -1, 0, stored},
         {"TIT", -1, 0, stored}});
    // DeleteFrames takes every frame of the ID, DeleteFrame(name) the first.
    id3.Clear();
    for (const auto& n : stored) id3.AddFrame(n);
    EXPECT_EQ(id3.DeleteFrames("TIT2"), 2);
    EXPECT_EQ(id3.FrameTypeCount("TIT2"), 0);
    EXPECT_EQ(id3.FrameExists("TXXX"), 1);
}

TEST(ItemList, FlacMultipleValuesFollowTheSameRuleAsTheLookups) {
    TFlacTag flac;
    flac.AddTextTag("ARTIST", "A");
    flac.AddTextTag("Title", "T");
    flac.AddTextTag("artist", "B");
    std::vector<std::string> values;
    ASSERT_TRUE(flac.GetMultipleValues("Artist", values));
    EXPECT_EQ(values, (Names{"A", "B"}));
    EXPECT_EQ(flac.FrameTypeCount("Artist"), 2);
    flac.SetMultipleValues("ARTIST", {"C"});
    EXPECT_EQ(flac.FrameTypeCount("artist"), 1);
    EXPECT_EQ(flac.GetText("artist"), "C");
}

TEST(ItemList, RemovingAnOggTagKeepsTheEncoderFieldWhateverItsCase) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.opus");
    testutil::WriteFile(path, flacoggfixtures::Opus().first);
    TOpusTag t;
    ASSERT_EQ(t.LoadFromFile(path), oggresult::Success);
    t.UpperCaseFieldNamesToWrite = false;
    t.AddTextFrame("encoder", "enc");
    ASSERT_EQ(t.SaveToFile(path), oggresult::Success);
    ASSERT_EQ(RemoveOggTagFromFile(path), oggresult::Success);
    TOpusTag after;
    ASSERT_EQ(after.LoadFromFile(path), oggresult::Success);
    ASSERT_EQ(after.Count(), 1);
    EXPECT_EQ(after.GetText("encoder"), "enc");
}

}  // namespace
