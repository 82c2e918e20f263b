// ID3v2 frames <-> unified entries and pictures, through the container.
#include <gtest/gtest.h>

#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

using namespace tbytes;

namespace {

// Writes an MP3 with the given 2.3 frames and loads it into Tags.
void LoadFrames(testutil::TTempDir& Dir, TTags& Tags, const Bytes& Frames, const std::string& Name = "m.mp3") {
    testutil::WriteFile(Dir.file(Name), Cat(Tag(3, Frames, 100), tbytes::MpegFrames(5)));
    ASSERT_EQ(Tags.LoadFromFile(Dir.file(Name)), 0);
}

Bytes U16(const std::string& Ascii) {
    Bytes b = {0xFF, 0xFE};
    for (char c : Ascii) b.insert(b.end(), {(uint8_t)c, 0});
    return Cat(b, Bytes{0, 0});
}

}  // namespace

TEST(ID3v2Mapping, GenreReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"(17)", "Rock"},        {"(17)Rock", "Rock"}, {"(4)(17)Eurodisco", "Disco Rock Eurodisco"},
        {"Rock", "Rock"},        {"(255)", ""},        {"(RX)(CR)", "Remix Cover"},
        {"((Dream)", "(Dream)"}, {"()Folk", "Folk"},   {"(300)x", "(300)x"},
        {"(abc)", "(abc)"},      {"17", "Rock"},  // the version 2.4 way
        {"(17", "(17"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ResolveID3v2Genre(in), out) << in;
}

TEST(ID3v2Mapping, LoadsFramesAsEntries) {
    testutil::TTempDir dir;
    TTags tags;
    LoadFrames(dir, tags,
               Cat(Frame(3, "TIT2", Text0("Title")), Frame(3, "TPE1", Cat(Bytes{1}, U16("A"), U16("B"))),
                   Frame(3, "TRCK", Text0("3/12")), Frame(3, "TPOS", Text0("1/2")), Frame(3, "TCON", Text0("(17)")),
                   Frame(3, "COMM", Cat(Bytes{0}, Str("deu"), Str("desc"), Bytes{0}, Str("line1\r\nline2"))),
                   Frame(3, "TXXX", Cat(Bytes{0}, Str("MOOD2"), Bytes{0}, Str("a"), Bytes{0}, Str("b"))),
                   Frame(3, "WXXX", Cat(Bytes{0}, Bytes{0}, Str("http://plain"))),
                   Frame(3, "WXXX", Cat(Bytes{0}, Str("Shop"), Bytes{0}, Str("http://shop"))),
                   Frame(3, "WOAR", Str("http://artist")), Frame(3, "PCNT", Bytes{0, 0, 1, 0}),
                   Frame(3, "POPM", Cat(Str("me"), Bytes{0, 200, 0, 0, 0, 1})),
                   Frame(3, "TIPL", Cat(Bytes{0}, Str("producer"), Bytes{0}, Str("P"), Bytes{0}))));
    EXPECT_EQ(tags.GetText("TITLE"), "Title");
    EXPECT_EQ(tags.GetText("ARTIST"), "A\r\nB");
    EXPECT_EQ(tags.GetText("TRACKNUMBER"), "3");
    EXPECT_EQ(tags.GetText("TOTALTRACKS"), "12");
    EXPECT_EQ(tags.GetText("DISCNUMBER"), "1");
    EXPECT_EQ(tags.GetText("TOTALDISCS"), "2");
    EXPECT_EQ(tags.GetText("GENRE"), "Rock");
    TTag* c = tags.Tag("COMMENT");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Value, "line1\r\nline2");
    EXPECT_EQ(c->Language, "deu");
    EXPECT_EQ(c->Description, "desc");
    TTag* m = tags.Tag("MOOD2");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Value, "a\r\nb");
    EXPECT_EQ(m->ExtTagType, ettTXXX);
    EXPECT_EQ(tags.GetText("URL"), "http://plain");
    TTag* shop = tags.Tag("Shop");
    ASSERT_NE(shop, nullptr);
    EXPECT_EQ(shop->Value, "http://shop");
    EXPECT_EQ(shop->ExtTagType, ettWXXX);
    EXPECT_EQ(tags.GetText("ARTISTURL"), "http://artist");
    EXPECT_EQ(tags.GetText("PLAYCOUNT"), "256");
    EXPECT_EQ(tags.GetText("RATING"), "200");
    EXPECT_EQ(tags.GetText("TIPL"), "producer\r\nP");
}

TEST(ID3v2Mapping, SavesEntriesAsFrames) {
    testutil::TTempDir dir;
    const std::string f = dir.file("s.mp3");
    TTags tags;
    LoadFrames(dir, tags,
               Cat(Frame(3, "TRCK", Text0("3/12")), Frame(3, "TPE1", Cat(Bytes{1}, U16("A"), U16("B"))),
                   Frame(3, "WXXX", Cat(Bytes{0}, Str("Shop"), Bytes{0}, Str("http://shop"))),
                   Frame(3, "TYER", Text0("1999"))),
               "s.mp3");
    tags.SetText("YEAR", "2003-05-01");
    TTag* comment = tags.Add("COMMENT");
    comment->Value = "c";
    comment->Language = "de";  // two letters: saved as "eng"
    tags.Tag("Shop")->Value = "http://shop2";
    tags.SetText("MOOD2", "x\r\ny");
    ASSERT_EQ(tags.SaveToFile(f), 0);

    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    EXPECT_EQ(t.GetText("TRCK"), "3/12");
    std::string d;
    // The total goes back into TRCK only: no TXXX beside it.
    EXPECT_LT(t.FindTXXXByDescription("TOTALTRACKS"), 0);
    std::vector<std::string> artists;
    t.GetTextMultiple("TPE1", artists);
    EXPECT_EQ(artists, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(t.FrameTypeCount("TPE1"), 1);
    EXPECT_EQ(t.GetText("TYER"), "2003");
    std::string lang, desc;
    EXPECT_EQ(t.GetContent(t.FrameExists("COMM"), lang, desc), "c");
    EXPECT_EQ(lang, "eng");
    EXPECT_EQ(t.FrameTypeCount("WXXX"), 1);
    EXPECT_EQ(t.GetUserDefinedURLLink(t.FrameExists("WXXX"), d), "http://shop2");
    EXPECT_EQ(d, "Shop");
    std::vector<std::string> mood;
    EXPECT_TRUE(t.GetUserDefinedTextInformationMultiple(t.FindTXXXByDescription("MOOD2"), d, mood));
    EXPECT_EQ(mood, (std::vector<std::string>{"x", "y"}));

    // A year without four digits in a row deletes TYER; an emptied entry deletes its frame.
    TTags again;
    ASSERT_EQ(again.LoadFromFile(f), 0);
    again.SetText("YEAR", "99");
    again.SetText("COMMENT", "");
    ASSERT_EQ(again.SaveToFile(f), 0);
    TID3v2Tag t2;
    ASSERT_EQ(t2.LoadFromFile(f), 0);
    EXPECT_EQ(t2.FrameExists("TYER"), -1);
    EXPECT_EQ(t2.FrameExists("COMM"), -1);
    EXPECT_EQ(t2.GetText("TRCK"), "3/12");
}

TEST(ID3v2Mapping, PicturesReplaceThoseOfEarlierFormatsAndSaveBack) {
    testutil::TTempDir dir;
    const Bytes png = Cat(Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, Audio(100));
    Bytes apic = Cat(Bytes{0}, Str("image/png"), Bytes{0, 3}, Str("front"), Bytes{0}, png);
    TTags tags;
    LoadFrames(dir, tags, Cat(Frame(3, "TIT2", Text0("t")), Frame(3, "APIC", apic)));
    ASSERT_EQ(tags.CoverArtCount(), 1);
    TCoverArt* c = tags.CoverArtAt(0);
    EXPECT_EQ(c->Name, "Cover art 1");
    EXPECT_EQ(c->MIMEType, "image/png");
    EXPECT_EQ(c->CoverType, 3u);
    EXPECT_EQ(c->Description, "front");
    EXPECT_EQ(c->PictureFormat, tpfPNG);
    EXPECT_EQ(c->Data, png);

    // A picture without a MIME type gets one from its content.
    c->MIMEType.clear();
    const std::string f = dir.file("m.mp3");
    ASSERT_EQ(tags.SaveToFile(f), 0);
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    Bytes data;
    uint32_t type = 0;
    std::string desc, mime;
    ASSERT_TRUE(t.GetCoverPictureStream(t.FrameExists("APIC"), data, type, desc, mime));
    EXPECT_EQ(mime, "image/png");
    EXPECT_EQ(data, png);
    EXPECT_EQ(type, 3u);
}

TEST(ID3v2Mapping, NewFileGetsA23TagWithPadding) {
    testutil::TTempDir dir;
    const std::string f = dir.file("bare.mp3");
    const Bytes audio = tbytes::MpegFrames(20);
    testutil::WriteFile(f, audio);
    TTags tags;
    tags.LoadFromFile(f);
    tags.SetText("TITLE", "New");
    ASSERT_EQ(tags.SaveToFile(f), 0);
    Bytes b = testutil::ReadFile(f);
    ASSERT_GE(b.size(), 10u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 5), (Bytes{'I', 'D', '3', 3, 0}));
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    EXPECT_EQ(t.GetText("TIT2"), "New");
    EXPECT_EQ(t.SourceFileType(), sftMPEG);
    EXPECT_EQ(Bytes(b.end() - (ptrdiff_t)audio.size(), b.end()), audio);
    EXPECT_EQ(b.size() - audio.size(), t.Size());
    EXPECT_GE(t.Size(), 4096u + 10);
}

TEST(ID3v2Mapping, DeletedEntriesStayDeleted) {
    // TOTALTRACKS is kept in TRCK and in a TXXX frame; deleting the entry removes both.
    testutil::TTempDir dir;
    const std::string f = dir.file("d.mp3");
    TTags tags;
    LoadFrames(dir, tags, Cat(Frame(3, "TRCK", Text0("3/12")), Frame(3, "PCNT", Bytes{0, 0, 0, 5})), "d.mp3");
    ASSERT_EQ(tags.SaveToFile(f), 0);
    TTags again;
    ASSERT_EQ(again.LoadFromFile(f), 0);
    ASSERT_EQ(again.GetText("TOTALTRACKS"), "12");
    again.SetText("TOTALTRACKS", "");
    again.SetText("PLAYCOUNT", "");
    ASSERT_EQ(again.SaveToFile(f), 0);
    TTags last;
    ASSERT_EQ(last.LoadFromFile(f), 0);
    EXPECT_EQ(last.GetText("TRACKNUMBER"), "3");
    EXPECT_EQ(last.Exists("TOTALTRACKS"), -1);
    EXPECT_EQ(last.Exists("PLAYCOUNT"), -1);
}

TEST(ID3v2Mapping, PicturesNotLoadedAreNotLost) {
    testutil::TTempDir dir;
    const std::string f = dir.file("p.mp3");
    const Bytes apic = Cat(Bytes{0}, Str("image/jpeg"), Bytes{0, 3, 0}, Bytes{0xFF, 0xD8, 0xFF, 1, 2, 3});
    testutil::WriteFile(f,
                        Cat(Tag(3, Cat(Frame(3, "TIT2", Text0("t")), Frame(3, "APIC", apic))), tbytes::MpegFrames(3)));
    TTags tags;
    tags.ParseCoverArts = false;
    ASSERT_EQ(tags.LoadFromFile(f), 0);
    EXPECT_EQ(tags.CoverArtCount(), 0);
    tags.SetText("TITLE", "changed");
    ASSERT_EQ(tags.SaveToFile(f), 0);
    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(f), 0);
    EXPECT_EQ(t.GetText("TIT2"), "changed");
    ASSERT_GE(t.FrameExists("APIC"), 0);
    EXPECT_EQ(t.Frames[t.FrameExists("APIC")]->Data, apic);
}

TEST(ID3v2Mapping, EveryCommentEntryKeepsItsFrame) {
    // A file's own comment beside a player's comment under another description:
    // editing the first keeps both, each with its own language and description.
    testutil::TTempDir dir;
    const std::string f = dir.file("c.mp3");
    TTags tags;
    LoadFrames(dir, tags,
               Cat(Frame(3, "COMM", Cat(Bytes{0}, Str("eng"), Bytes{0}, Str("mine"))),
                   Frame(3, "COMM", Cat(Bytes{0}, Str("eng"), Str("iTunNORM"), Bytes{0}, Str(" 0000036C"))),
                   Frame(3, "USLT", Cat(Bytes{0}, Str("fra"), Str("paroles"), Bytes{0}, Str("la\r\nla")))),
               "c.mp3");
    ASSERT_EQ(tags.TypeCount("COMMENT"), 2);
    tags.SetText("COMMENT", "edited");
    ASSERT_EQ(tags.SaveToFile(f), 0);
    TTags back;
    ASSERT_EQ(back.LoadFromFile(f), 0);
    EXPECT_EQ(back.GetText("COMMENT"), "edited");
    ASSERT_EQ(back.TypeCount("COMMENT"), 2);
    EXPECT_EQ(back.TagAt(back.Exists("COMMENT") + 1)->Description, "iTunNORM");
    TTag* lyrics = back.Tag("LYRICS");
    ASSERT_NE(lyrics, nullptr);
    EXPECT_EQ(lyrics->Value, "la\r\nla");
    EXPECT_EQ(lyrics->Language, "fra");
    EXPECT_EQ(lyrics->Description, "paroles");
}

// Repeated frames of one ID keep their order: the n-th entry goes back into
// the n-th frame, and a frame whose entry did not change keeps its bytes.
TEST(ID3v2Mapping, RepeatedLinksAndRatingsGoBackToTheirOwnFrames) {
    testutil::TTempDir dir;
    TTags tags;
    const Bytes popmA = Cat(Str("a@x"), Bytes{0, 10, 0, 0, 0, 3});
    const Bytes popmB = Cat(Str("b@x"), Bytes{0, 20, 0, 0, 0, 4});
    LoadFrames(dir, tags,
               Cat(Frame(3, "WOAR", Str("http://one")), Frame(3, "WOAR", Str("http://two")), Frame(3, "POPM", popmA),
                   Frame(3, "POPM", popmB), Frame(3, "TIT2", Text0("t"))));
    ASSERT_EQ(tags.TypeCount("RATING"), 2);
    ASSERT_EQ(tags.TypeCount("ARTISTURL"), 2);
    for (int i = 0, r = 0, u = 0; i < tags.Count(); ++i) {
        TTag& e = *tags.TagAt(i);
        if (e.Name == "RATING" && r++ == 1) e.Value = "30";
        if (e.Name == "ARTISTURL" && u++ == 1) e.Value = "http://three";
    }
    ASSERT_EQ(tags.SaveToFile(dir.file("m.mp3"), ttID3v2), 0);

    TID3v2Tag t;
    ASSERT_EQ(t.LoadFromFile(dir.file("m.mp3")), 0);
    std::vector<std::string> urls;
    std::vector<Bytes> popm;
    for (int i = 0; i < t.GetFrameCount(); ++i) {
        if (t.Frames[i]->IsID("WOAR")) urls.push_back(t.GetURL(i));
        if (t.Frames[i]->IsID("POPM")) popm.push_back(t.Frames[i]->Data);
    }
    EXPECT_EQ(urls, (std::vector<std::string>{"http://one", "http://three"}));
    ASSERT_EQ(popm.size(), 2u);
    EXPECT_EQ(popm[0], popmA);
    EXPECT_EQ(popm[1], Cat(Str("b@x"), Bytes{0, 30, 0, 0, 0, 4}));  // e-mail and counter kept
    EXPECT_LT(t.FindTXXXByDescription("RATING"), 0);
}
