// The helpers every format's mapping shares.
#include <gtest/gtest.h>

#include "tags/mapping_common.h"
#include "tags/tags.h"
#include "tests/bytes.h"

namespace {

TEST(MappingCommon, NumberAndTotalTextForms) {
    const struct {
        const char* Text;
        const char* Number;
        const char* Total;
        const char* Joined;
    } Cases[] = {
        {"4/10", "4", "10", "4/10"},     {"4", "4", "", "4"},  {"/10", "", "10", ""},
        {" 4 / 10 ", "4", "10", "4/10"}, {"4/", "4", "", "4"}, {"", "", "", ""},
    };
    for (const auto& C : Cases) {
        const mapping::TNumberTotal p = mapping::SplitNumberTotal(C.Text);
        EXPECT_EQ(p.Number, C.Number) << C.Text;
        EXPECT_EQ(p.Total, C.Total) << C.Text;
        EXPECT_EQ(mapping::JoinNumberTotal(p), C.Joined) << C.Text;
    }
}

struct TEntrySpec {
    const char* Name;
    const char* Value;
    TExtTagType Ext = ettUnknown;
};

void Fill(TTags& Tags, std::initializer_list<TEntrySpec> Entries) {
    for (const auto& e : Entries) {
        TTag* t = Tags.Add(e.Name);
        t->Value = e.Value;
        t->ExtTagType = e.Ext;
        if (e.Ext == ettTXXX) t->Description = e.Name;
    }
}

// Which total goes with the number, and what a typed "n/m" does to the container.
TEST(MappingCommon, NumberAndTotalOfTheContainer) {
    const struct {
        const char* What;
        std::initializer_list<TEntrySpec> Entries;
        const char* Joined;
    } Cases[] = {
        {"number with total", {{"TRACKNUMBER", "3"}, {"TOTALTRACKS", "12"}}, "3/12"},
        {"typed n/m wins over the total", {{"TRACKNUMBER", "4/10"}, {"TOTALTRACKS", "12"}}, "4/10"},
        {"TRACK and TRACKTOTAL", {{"TRACK", "5"}, {"TRACKTOTAL", "9"}}, "5/9"},
        {"the total that came with the number, not a TXXX of the same name",
         {{"TRACKNUMBER", "3"}, {"TOTALTRACKS", "13", ettTXXX}, {"TOTALTRACKS", "12"}},
         "3/12"},
        {"a TXXX total alone", {{"TRACKNUMBER", "3"}, {"TOTALTRACKS", "13", ettTXXX}}, "3/13"},
        {"no number", {{"TOTALTRACKS", "12"}}, ""},
    };
    for (const auto& C : Cases) {
        TTags tags;
        Fill(tags, C.Entries);
        EXPECT_EQ(mapping::JoinNumberTotal(mapping::NumberAndTotal(tags, true)), C.Joined) << C.What;
    }

    TTags tags;
    Fill(tags, {{"TRACKNUMBER", "4/10"}, {"TOTALTRACKS", "13", ettTXXX}, {"TOTALTRACKS", "12"}, {"DISCNUMBER", "1/2"}});
    mapping::SplitTypedNumberTotal(tags, true);
    mapping::SplitTypedNumberTotal(tags, false);
    EXPECT_EQ(tags.GetText("TRACKNUMBER"), "4");
    EXPECT_EQ(tags.TagAt(1)->Value, "13");  // a TXXX of its own keeps its value
    EXPECT_EQ(tags.TagAt(2)->Value, "10");
    EXPECT_EQ(tags.GetText("DISCNUMBER"), "1");
    EXPECT_EQ(tags.GetText("TOTALDISCS"), "2");  // added
}

TEST(MappingCommon, YearAndDate) {
    EXPECT_EQ(mapping::FourDigitYear("c. 2003-05"), "2003");
    EXPECT_EQ(mapping::FourDigitYear("03"), "");
    const struct {
        const char* Stored;
        const char* Year;
        const char* Result;
    } Cases[] = {
        {"2003-05-01", "2003", "2003-05-01"},  // year unchanged: the full date stays
        {"2003-05-01", "2004", "2004"},
        {"", "2004", "2004"},
        {"2003-05-01", "", ""},                // cleared
        {"2003", "1999-12-31", "1999-12-31"},  // a full date typed stays as typed
        {"2003", "abc", ""},
        {"2003", "May 1999", "1999"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(mapping::YearIntoDate(C.Stored, C.Year), C.Result) << C.Stored << " + " << C.Year;
}

TEST(MappingCommon, LinesNamesAndPictures) {
    EXPECT_EQ(mapping::SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(mapping::SplitLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(mapping::JoinLines({"a", "b"}), "a\r\nb");

    TTags tags;
    EXPECT_EQ(mapping::RecordCover(tags), nullptr);
    EXPECT_EQ(mapping::NextCoverArtName(tags), "Cover art 1");
    TCoverArt* back = tags.AddCoverArt("Back", tbytes::Png(), "");
    back->CoverType = 4;
    EXPECT_EQ(mapping::PictureMIMEType(*back), "image/png");  // recognised from the bytes
    EXPECT_EQ(mapping::RecordCover(tags), back);              // the only picture
    TCoverArt* front = tags.AddCoverArt("Front", {0xFF, 0xD8, 0xFF}, "");
    EXPECT_EQ(front->CoverType, mapping::FrontCoverType);  // a new picture is the front cover
    EXPECT_EQ(mapping::RecordCover(tags), front);
    TCoverArt* named = tags.AddCoverArt(mapping::CoverArtName(1), {1, 2, 3}, "image/x-odd");
    EXPECT_EQ(mapping::PictureMIMEType(*named), "image/x-odd");
    EXPECT_EQ(mapping::RecordCover(tags), named);
    EXPECT_EQ(mapping::NextCoverArtName(tags), "Cover art 4");

    Fill(tags, {{"COMMENT", "player"}, {"COMMENT", "mine"}});
    tags.TagAt(0)->Description = "iTunNORM";
    ASSERT_NE(mapping::PlainEntry(tags, "comment"), nullptr);
    EXPECT_EQ(mapping::PlainEntry(tags, "comment")->Value, "mine");
    tags.Delete(1);
    EXPECT_EQ(mapping::PlainEntry(tags, "COMMENT"), nullptr);
}

}  // namespace
