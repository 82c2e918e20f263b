// The Vorbis-comment mapping on save: comments of names the caller left
// alone keep their bytes, a number keeps its n/m or separate form, several
// values of a name are replaced together, and other programs' spellings of a
// name ("ALBUM ARTIST") are read and kept. Every row runs on a FLAC file and
// on an Opus file built in code; the comments are compared as stored.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tags/flac/flac_tag.h"
#include "tags/ogg/opus_tag.h"
#include "tags/tags.h"
#include "tests/tags/flac_ogg_fixtures.h"
#include "tests/test_util.h"

namespace {

using tbytes::Bytes;
using tbytes::Cat;
using tbytes::Str;
namespace fx = flacoggfixtures;

Bytes Body(const std::vector<std::string>& Fields) { return tbytes::VorbisComments(Fields, "vendor"); }

Bytes FlacWith(const std::vector<std::string>& Fields) {
    return Cat(Str("fLaC"), fx::FlacBlock(0, fx::StreamInfo()), fx::FlacBlock(4, Body(Fields)),
               fx::FlacBlock(1, Bytes(200, 0), true), tbytes::Audio(3000));
}

Bytes OpusWith(const std::vector<std::string>& Fields) {
    const Bytes id = Cat(Str("OpusHead"), Bytes{1, 2, 0x38, 0x01}, tbytes::LE32(48000), Bytes{0, 0, 0});
    return Cat(fx::OggPage({id}, 0, 0, ogg::FlagFirst), fx::OggPage({Cat(Str("OpusTags"), Body(Fields))}, 1, 0),
               fx::OggPage({tbytes::Audio(3000)}, 2, 96312, ogg::FlagLast));
}

// The comments as the file stores them: "Name=value", the file's spelling.
std::vector<std::string> Stored(const std::vector<TVorbisComment>& Comments) {
    std::vector<std::string> out;
    for (const auto& c : Comments) out.push_back((c.StoredName.empty() ? c.Name : c.StoredName) + "=" + c.Value);
    return out;
}

std::vector<std::string> StoredComments(const std::string& Path, bool Flac) {
    if (Flac) {
        TFlacTag t;
        EXPECT_EQ(t.LoadFromFile(Path), flacresult::Success);
        return Stored(t.Tags);
    }
    TOpusTag t;
    EXPECT_EQ(t.LoadFromFile(Path), 0);
    return Stored(t.Frames);
}

// Every entry of Name, in order.
std::vector<std::string> Values(const TTags& Tags, const std::string& Name) {
    std::vector<std::string> out;
    for (int i = 0; i < Tags.Count(); ++i)
        if (Tags.TagAt(i)->Name == Name) out.push_back(Tags.TagAt(i)->Value);
    return out;
}

// Replaces every entry of Name by Values (as the record does with a field).
void SetValues(TTags& Tags, const std::string& Name, const std::vector<std::string>& New) {
    int first = Tags.Exists(Name);
    for (int i = Tags.Count() - 1; i > first; --i)
        if (Tags.TagAt(i)->Name == Name) Tags.Remove(i);
    for (size_t k = 0; k < New.size(); ++k) {
        if (k == 0 && first >= 0)
            Tags.TagAt(first)->Value = New[0];
        else
            Tags.Add(Name)->Value = New[k];
    }
}

struct TRow {
    const char* Name;
    std::vector<std::string> Before;
    std::function<void(TTags&)> Edit;
    std::vector<std::string> After;
};

}  // namespace

TEST(VorbisMapping, ASaveChangesOnlyWhatWasEdited) {
    const TRow rows[] = {
        {"untouched comments keep n/m, a TAB, bytes that are no UTF-8, other spellings and order",
         {"TRACKNUMBER=3/12", "DISCNUMBER=1/2", "COMMENT=a\tb", "Album Artist=AA", "ARTIST=One", "ARTIST=Two",
          "ARTIST=\xE9t\xE9", "TITLE=Old"},
         [](TTags& t) { t.SetText("TITLE", "New"); },
         {"TRACKNUMBER=3/12", "DISCNUMBER=1/2", "COMMENT=a\tb", "Album Artist=AA", "ARTIST=One", "ARTIST=Two",
          "ARTIST=\xE9t\xE9", "TITLE=New"}},
        {"a number edit keeps the n/m form",
         {"TRACKNUMBER=3/12", "TITLE=x"},
         [](TTags& t) { t.SetText("TRACKNUMBER", "4"); },
         {"TRACKNUMBER=4/12", "TITLE=x"}},
        {"a total edit goes into the n/m value",
         {"TRACKNUMBER=3/12"},
         [](TTags& t) { t.SetText("TOTALTRACKS", "13"); },
         {"TRACKNUMBER=3/13"}},
        {"a typed n/m sets the number and every total in step",
         {"TRACKNUMBER=3/12", "TRACKTOTAL=12"},
         [](TTags& t) { t.SetText("TRACKNUMBER", "5/9"); },
         {"TRACKNUMBER=5/9", "TRACKTOTAL=9"}},
        {"a typed n/m on separate comments keeps them separate",
         {"TRACKNUMBER=3", "TRACKTOTAL=12"},
         [](TTags& t) { t.SetText("TRACKNUMBER", "5/9"); },
         {"TRACKNUMBER=5", "TRACKTOTAL=9"}},
        {"a changed TRACKTOTAL beside an n/m number",
         {"TRACKNUMBER=3/12", "TRACKTOTAL=12"},
         [](TTags& t) { t.SetText("TRACKTOTAL", "14"); },
         {"TRACKNUMBER=3/14", "TRACKTOTAL=14"}},
        {"a typed n/m on a file without a number",
         {"TITLE=x"},
         [](TTags& t) { t.SetText("TRACKNUMBER", "5/9"); },
         {"TITLE=x", "TRACKNUMBER=5", "TOTALTRACKS=9"}},
        {"a short TRACK name keeps its name and form",
         {"TRACK=5/9"},
         [](TTags& t) { t.SetText("TRACKNUMBER", "6"); },
         {"TRACK=6/9"}},
        {"deleting the number takes the total of its n/m with it",
         {"TRACKNUMBER=3/12", "TITLE=x"},
         [](TTags& t) { t.Delete("TRACKNUMBER"); },
         {"TITLE=x"}},
        {"deleting the number leaves a total comment of its own",
         {"TRACKNUMBER=3", "TRACKTOTAL=12"},
         [](TTags& t) { t.Delete("TRACKNUMBER"); },
         {"TRACKTOTAL=12"}},
        {"deleting the total of an n/m",
         {"TRACKNUMBER=3/12"},
         [](TTags& t) { t.Delete("TOTALTRACKS"); },
         {"TRACKNUMBER=3"}},
        {"a disc number edit keeps the n/m form",
         {"DISCNUMBER=1/2", "TRACKNUMBER=3/12"},
         [](TTags& t) { t.SetText("DISCNUMBER", "2"); },
         {"DISCNUMBER=2/2", "TRACKNUMBER=3/12"}},
        {"deleting a comment that holds a TAB sticks",
         {"COMMENT=a\tb", "TITLE=x"},
         [](TTags& t) { t.Delete("COMMENT"); },
         {"TITLE=x"}},
        {"several values replaced by one, in the place of the first",
         {"ARTIST=One", "TITLE=x", "ARTIST=Two"},
         [](TTags& t) { SetValues(t, "ARTIST", {"Solo"}); },
         {"ARTIST=Solo", "TITLE=x"}},
        {"one value becomes several",
         {"ARTIST=One", "TITLE=x"},
         [](TTags& t) {
             SetValues(t, "ARTIST", {"A", "B", "C"});
         },
         {"ARTIST=A", "ARTIST=B", "ARTIST=C", "TITLE=x"}},
        {"a value kept in an edited name keeps its bytes",
         {"ARTIST=\xE9t\xE9", "ARTIST=Two"},
         [](TTags& t) {
             SetValues(t, "ARTIST", {Values(t, "ARTIST")[0], "Three"});
         },
         {"ARTIST=\xE9t\xE9", "ARTIST=Three"}},
        {"one of several values deleted",
         {"ARTIST=One", "ARTIST=Two"},
         [](TTags& t) { t.Delete(t.TagAt(1)->GetIndex()); },
         {"ARTIST=One"}},
        {"an edited ALBUM ARTIST keeps its spelling and gains no ALBUMARTIST",
         {"Album Artist=AA", "TITLE=x"},
         [](TTags& t) { t.SetText("ALBUMARTIST", "BB"); },
         {"Album Artist=BB", "TITLE=x"}},
        {"a deleted ALBUM ARTIST goes",
         {"ALBUM ARTIST=AA", "TITLE=x"},
         [](TTags& t) { t.Delete("ALBUMARTIST"); },
         {"TITLE=x"}},
    };
    testutil::TTempDir dir;
    for (const bool flac : {true, false}) {
        for (const TRow& row : rows) {
            SCOPED_TRACE(std::string(flac ? "FLAC: " : "Opus: ") + row.Name);
            const std::string path = dir.file(flac ? "v.flac" : "v.opus");
            testutil::WriteFile(path, flac ? FlacWith(row.Before) : OpusWith(row.Before));
            TTags tags;
            ASSERT_EQ(tags.LoadFromFile(path), 0);
            row.Edit(tags);
            ASSERT_EQ(tags.SaveToFile(path), 0);
            EXPECT_EQ(StoredComments(path, flac), row.After);
        }
    }
}

// What the container shows: an n/m number as number and total (the disc
// too), other programs' spellings under the unified name, every value of a
// repeated name; control characters as spaces in FLAC only.
TEST(VorbisMapping, LoadShowsNumbersAliasesAndEveryValue) {
    const std::vector<std::string> fields = {"TRACKNUMBER=3/12", "DISCNUMBER=1/2", "ALBUM ARTIST=AA",
                                             "ARTIST=One",       "ARTIST=Two",     "COMMENT=a\tb"};
    testutil::TTempDir dir;
    for (const bool flac : {true, false}) {
        SCOPED_TRACE(flac ? "FLAC" : "Opus");
        const std::string path = dir.file(flac ? "l.flac" : "l.opus");
        testutil::WriteFile(path, flac ? FlacWith(fields) : OpusWith(fields));
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        EXPECT_EQ(Values(tags, "TRACKNUMBER"), std::vector<std::string>{"3"});
        EXPECT_EQ(Values(tags, "TOTALTRACKS"), std::vector<std::string>{"12"});
        EXPECT_EQ(Values(tags, "DISCNUMBER"), std::vector<std::string>{"1"});
        EXPECT_EQ(Values(tags, "TOTALDISCS"), std::vector<std::string>{"2"});
        EXPECT_EQ(Values(tags, "ALBUMARTIST"), std::vector<std::string>{"AA"});
        EXPECT_EQ(tags.Exists("ALBUM ARTIST"), -1);
        EXPECT_EQ(Values(tags, "ARTIST"), (std::vector<std::string>{"One", "Two"}));
        EXPECT_EQ(tags.GetText("COMMENT"), flac ? "a b" : "a\tb");
    }
}
