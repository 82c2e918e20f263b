// ID3v1 block, Lyrics3 block, removal and the unified mapping.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tags/id3/id3v1_module.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

using tbytes::Cat;
using tbytes::Str;

// 128-byte ID3v1 block, field by field; texts are raw bytes (Windows-1252).
struct TBlock {
    std::string Title, Artist, Album, Year, Comment;
    int B125 = 0, B126 = 0, Genre = 12;
    Bytes Build() const {
        Bytes B(128, 0);
        std::memcpy(B.data(), "TAG", 3);
        auto Put = [&](size_t At, size_t W, const std::string& S) {
            std::memcpy(B.data() + At, S.data(), std::min(W, S.size()));
        };
        Put(3, 30, Title);
        Put(33, 30, Artist);
        Put(63, 30, Album);
        Put(93, 4, Year);
        Put(97, 30, Comment);
        if (B125 >= 0) B[125] = (uint8_t)B125;
        if (B126 >= 0) B[126] = (uint8_t)B126;
        B[127] = (uint8_t)Genre;
        return B;
    }
};

std::string Digits(size_t V, int W) {
    char B[16];
    std::snprintf(B, sizeof B, "%0*zu", W, V);
    return B;
}

// Lyrics3 v2.00 block from (ID, raw data) pairs; SizeField overrides the 6-digit size.
Bytes Lyrics(const std::vector<std::pair<std::string, std::string>>& Fields, const std::string& SizeField = "") {
    std::string Body = "LYRICSBEGIN";
    for (auto& [ID, Data] : Fields) Body += ID + Digits(Data.size(), 5) + Data;
    return Str(Body + (SizeField.empty() ? Digits(Body.size(), 6) : SizeField) + "LYRICS200");
}

TBlock Titled(std::string Title) {
    TBlock B;
    B.Title = std::move(Title);
    return B;
}

const Bytes Audio = [] {
    Bytes A(3000);
    for (size_t i = 0; i < A.size(); ++i) A[i] = (uint8_t)(i * 7 + 1);
    A[0] = 0xFF, A[1] = 0xFB;
    return A;
}();

int LoadBytes(TID3v1Tag& T, const Bytes& Data) {
    TMemoryStream S(Data);
    return T.LoadFromStream(S);
}

// Writes Data to a new file in D and returns its path.
std::string Put(const testutil::TTempDir& D, const std::string& Name, const Bytes& Data) {
    std::string P = D.file(Name);
    testutil::WriteFile(P, Data);
    return P;
}

using testutil::ReadFile;

// --- reading ----------------------------------------------------------------

struct TLoadCase {
    const char* What;
    TBlock Block;
    std::string Title, Comment, Genre;
    bool Revision1;
    int Track;
};

TEST(ID3v1Load, FieldsFromTheBlock) {
    const std::string C28(28, 'c'), C30(30, 'd');
    const TLoadCase Cases[] = {
        {"v1.1 with track", {"Song", "", "", "", "Hi", 0, 5, 17}, "Song", "Hi", "Rock", true, 5},
        {"v1.1 with track 0", {"Song", "", "", "", "", 0, 0, 0}, "Song", "", "Blues", true, 0},
        {"v1.0: 30-byte comment", {"Song", "", "", "", C30, -1, -1, 12}, "Song", C30, "Other", false, 0},
        {"28-byte comment stays v1.1", {"T", "", "", "", C28, 0, 9, 12}, "T", C28, "Other", true, 9},
        {"genre 255 is empty", {"T", "", "", "", "", 0, 0, 255}, "T", "", "", true, 0},
        {"unknown genre as number", {"T", "", "", "", "", 0, 0, 200}, "T", "", "200", true, 0},
        {"last table genre", {"T", "", "", "", "", 0, 0, 191}, "T", "", "Psybient", true, 0},
        {"Windows-1252 letters",
         {"Caf\xE9 \x80", "", "", "",
          "Stra\xDF"
          "e",
          0, 0, 12},
         "Caf\xC3\xA9 \xE2\x82\xAC",
         "Stra\xC3\x9F"
         "e",
         "Other",
         true,
         0},
        {"blanks and controls trimmed",
         {" \t Song \x01", "", "", "", "  c  ", 0, 0, 12},
         "Song",
         "c",
         "Other",
         true,
         0},
        {"30 bytes without terminator",
         {std::string(30, 'x'), "", "", "", "", 0, 0, 12},
         std::string(30, 'x'),
         "",
         "Other",
         true,
         0},
        {"bytes after the zero ignored",
         {std::string("ab\0zz", 5), "", "", "", "", 0, 0, 12},
         "ab",
         "",
         "Other",
         true,
         0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        TBlock B = C.Block;
        Bytes Data = B.Build();
        if (B.B125 < 0) std::memcpy(Data.data() + 97, C.Comment.data(), 30);
        TID3v1Tag T;
        ASSERT_EQ(LoadBytes(T, Cat(Audio, Data)), 0);
        EXPECT_TRUE(T.Loaded);
        EXPECT_EQ(T.Title, C.Title);
        EXPECT_EQ(T.Comment, C.Comment);
        EXPECT_EQ(T.Genre, C.Genre);
        EXPECT_EQ(T.Revision1, C.Revision1);
        EXPECT_EQ(T.Track, C.Track);
        EXPECT_EQ(T.TrackString, C.Revision1 ? std::to_string(C.Track) : "");
        EXPECT_EQ(T.Size(), 128);
        EXPECT_EQ(T.FileSize(), (int64_t)(Audio.size() + 128));
    }
}

TEST(ID3v1Load, OptionsChangeDecoding) {
    Bytes Data = TBlock{" Caf\xE9\x80", "", "", "", "", 0, 0, 200}.Build();
    TID3v1Tag T;
    T.TreatUnknownGenresAsOther = true;
    T.ReturnANSIText = false;
    T.TrimText = false;
    ASSERT_EQ(LoadBytes(T, Data), 0);
    EXPECT_EQ(T.Genre, "Other");
    EXPECT_EQ(T.Title, " Caf\xC3\xA9\xC2\x80");  // ISO-8859-1, untrimmed
}

TEST(ID3v1Load, NoTagOrTooShort) {
    const std::pair<const char*, Bytes> Cases[] = {
        {"empty", {}},
        {"one byte", {0x54}},
        {"127 bytes", Bytes(127, 0x41)},
        {"128 bytes of garbage", Bytes(128, 0xAB)},
        {"TAG not in the last 128 bytes", Cat(Titled("T").Build(), Bytes(1, 0))},
    };
    for (const auto& [What, Data] : Cases) {
        SCOPED_TRACE(What);
        TID3v1Tag T;
        EXPECT_EQ(LoadBytes(T, Data), 65535);
        EXPECT_FALSE(T.Loaded);
        EXPECT_EQ(T.Title, "");
    }
    TID3v1Tag T;
    EXPECT_EQ(T.LoadFromMemory(nullptr), 65535);
    Bytes Block = Titled("Mem").Build();
    EXPECT_EQ(T.LoadFromMemory(Block.data()), 0);
    EXPECT_EQ(T.Title, "Mem");
}

TEST(ID3v1Load, FileErrors) {
    testutil::TTempDir D;
    TID3v1Tag T;
    EXPECT_EQ(T.LoadFromFile(D.file("missing.mp3")), 3);
    std::filesystem::create_directory(D.file("dir.mp3"));
    EXPECT_EQ(T.LoadFromFile(D.file("dir.mp3")), 3);
    std::string P = Put(D, "a.mp3", Cat(Audio, Titled("File").Build()));
    EXPECT_EQ(T.LoadFromFile(P), 0);
    EXPECT_EQ(T.SourceFileName, P);
}

// --- Lyrics3 ----------------------------------------------------------------

TEST(ID3v1Lyrics, ReadsFieldsFlagsAndExtendedTexts) {
    const std::string LongTitle = "A Title That Is Longer Than Thirty Bytes";
    Bytes File = Cat(
        Cat(Audio,
            Lyrics({{"IND", "111"}, {"LYR", "[00:01]La la\r\nCaf\xE9"}, {"ETT", LongTitle}, {"EAR", "Someone Else"}})),
        TBlock{LongTitle.substr(0, 30), "Artist", "", "", "", 0, 0, 12}.Build());
    TID3v1Tag T;
    ASSERT_EQ(LoadBytes(T, File), 0);
    EXPECT_EQ(T.Title, LongTitle);  // cut title found inside ETT
    EXPECT_EQ(T.Artist, "Artist");  // not a part of EAR: kept
    EXPECT_EQ(T.GetLyrics(), "[00:01]La la\r\nCaf\xC3\xA9");
    EXPECT_TRUE(T.LyricsHasTimeStamp);
    EXPECT_TRUE(T.InhibitTracksForRandomSelection);
    ASSERT_EQ(T.LyricsFrames.size(), 4u);
    EXPECT_EQ(T.LyricsFrames[2]->ID, "ETT");
    EXPECT_EQ(T.LyricsFrames[2]->Index(), 2);
    EXPECT_EQ(T.LyricsSize(), File.size() - Audio.size() - 128);
}

// A damaged Lyrics3 block is ignored: the ID3v1 fields still load and the
// block's bytes are kept as they are by a later save.
TEST(ID3v1Lyrics, DamagedBlocksAreIgnored) {
    const Bytes Good = Lyrics({{"LYR", "words"}});
    const std::string GoodSize = Digits(Good.size() - 15, 6);
    const std::pair<const char*, Bytes> Cases[] = {
        {"size of non-digits", Lyrics({{"LYR", "words"}}, "00x01A")},
        {"size before the file start", Lyrics({{"LYR", "words"}}, "999999")},
        {"size smaller than the start marker", Lyrics({{"LYR", "words"}}, "000005")},
        {"start marker missing", Lyrics({{"LYR", "words"}}, Digits(Good.size() - 15 - 1, 6))},
        {"field running past the block", Str("LYRICSBEGINLYR00099short" + Digits(24, 6) + "LYRICS200")},
        {"field size of non-digits", Str("LYRICSBEGINLYR0x005words" + Digits(24, 6) + "LYRICS200")},
        {"field header cut short", Str("LYRICSBEGINLYR00" + Digits(16, 6) + "LYRICS200")},
    };
    for (const auto& [What, Block] : Cases) {
        SCOPED_TRACE(What);
        Bytes File =
            Cat(Cat(Bytes(Audio.begin(), Audio.begin() + 40), Block), TBlock{"Song", "", "", "", "", 0, 3, 17}.Build());
        TMemoryStream S(File);
        TID3v1Tag T;
        ASSERT_EQ(T.LoadFromStream(S), 0);
        EXPECT_EQ(T.Title, "Song");
        EXPECT_EQ(T.Track, 3);
        EXPECT_TRUE(T.LyricsFrames.empty());
        EXPECT_EQ(T.LyricsSize(), 0u);
        T.Title = "New";
        ASSERT_EQ(T.SaveToStream(S, false), 0);
        ASSERT_EQ(S.Data().size(), File.size());
        EXPECT_TRUE(std::equal(File.begin(), File.end() - 128, S.Data().begin()));
    }
}

TEST(ID3v1Lyrics, SaveRoundTripIsStable) {
    TID3v1Tag T;
    ASSERT_EQ(LoadBytes(T, Cat(Cat(Audio, Lyrics({{"IND", "010"}, {"LYR", "old"}, {"ETT", "Song"}})),
                               Titled("Song").Build())),
              0);
    const std::string LongTitle = "Caf\xC3\xA9 Title Well Beyond The Thirty Byte Limit";
    T.Title = LongTitle;
    T.SetLyrics(
        "Stra\xC3\x9F"
        "e und Caf\xC3\xA9");

    TMemoryStream S(Cat(Audio, TBlock{"Old", "", "", "", "", 0, 0, 12}.Build()));
    ASSERT_EQ(T.SaveToStream(S, true), 0);
    Bytes First = S.Data();
    EXPECT_TRUE(std::equal(Audio.begin(), Audio.end(), First.begin()));

    // Reload and save again: texts come back whole and the bytes do not drift.
    for (int Round = 0; Round < 2; ++Round) {
        TID3v1Tag R;
        ASSERT_EQ(R.LoadFromStream(S), 0);
        EXPECT_EQ(R.Title, LongTitle);
        EXPECT_EQ(R.GetLyrics(),
                  "Stra\xC3\x9F"
                  "e und Caf\xC3\xA9");
        EXPECT_TRUE(R.LyricsHasTimeStamp);
        ASSERT_EQ(R.SaveToStream(S, true), 0);
        EXPECT_EQ(S.Data(), First);
    }
    // Writing without the lyrics block keeps the block in place.
    TID3v1Tag R;
    ASSERT_EQ(R.LoadFromStream(S), 0);
    R.Title = "Short";
    ASSERT_EQ(R.SaveToStream(S, false), 0);
    EXPECT_TRUE(std::equal(First.begin(), First.end() - 128, S.Data().begin()));
}

TEST(ID3v1Lyrics, ValuesBeyondTheSizeFieldsAreRefused) {
    const Bytes Original = Cat(Audio, Titled("Song").Build());
    const std::pair<const char*, std::vector<std::string>> Cases[] = {
        {"one field over 99999 bytes", {std::string(100000, 'a')}},
        {"block over 999999 bytes", std::vector<std::string>(11, std::string(99999, 'b'))},
    };
    for (const auto& [What, Values] : Cases) {
        SCOPED_TRACE(What);
        TID3v1Tag T;
        for (const auto& V : Values) T.AddLyricsFrame("LYR")->Data = V;
        TMemoryStream S(Original);
        EXPECT_EQ(T.SaveToStream(S, true), 5);
        EXPECT_EQ(S.Data(), Original);
    }
    TID3v1Tag T;
    T.SetLyrics(std::string(99999, 'c'));
    TMemoryStream S(Original);
    EXPECT_EQ(T.SaveToStream(S, true), 0);
}

TEST(ID3v1Lyrics, FieldListOperations) {
    TID3v1Tag T;
    T.SetLyrics("one");
    T.AddLyricsFrame("LYR")->Data = "two";
    EXPECT_EQ(T.GetLyrics(), "two");  // the last one wins
    T.SetLyrics("");                  // deletes the first
    EXPECT_EQ(T.LyricsFrames.size(), 1u);
    EXPECT_EQ(T.GetLyrics(), "two");
    EXPECT_FALSE(T.DeleteLyricsFrame(5));
    EXPECT_FALSE(T.DeleteLyricsFrame(std::string("EAL")));
    EXPECT_TRUE(T.DeleteLyricsFrame(0));
    EXPECT_TRUE(T.LyricsFrames.empty());
}

// --- writing ----------------------------------------------------------------

TEST(ID3v1Save, AppendsOrOverwritesInPlace) {
    TID3v1Tag T;
    T.Title = "Title";
    T.Track = 7;
    T.Genre = "Rock";
    // No tag: appended. Tag: same size. Exactly 128 bytes: overwritten.
    const std::pair<Bytes, size_t> Cases[] = {
        {Audio, Audio.size() + 128},
        {Cat(Audio, Titled("Old").Build()), Audio.size() + 128},
        {Titled("Old").Build(), 128},
        {{}, 128},
    };
    for (const auto& [Input, Size] : Cases) {
        TMemoryStream S(Input);
        ASSERT_EQ(T.SaveToStream(S, false), 0);
        ASSERT_EQ(S.Data().size(), Size);
        EXPECT_TRUE(std::equal(S.Data().begin(), S.Data().end() - 128, Input.begin()));
        TID3v1Tag R;
        ASSERT_EQ(R.LoadFromStream(S), 0);
        EXPECT_EQ(R.Title, "Title");
        EXPECT_EQ(R.Track, 7);
        EXPECT_EQ(R.Genre, "Rock");
    }
}

TEST(ID3v1Save, AStreamThatRefusesWritesReportsFailure) {
    const Bytes Data = Cat(Audio, Titled("Old").Build());
    TReadMemoryStream S(Data.data(), (int64_t)Data.size());
    TID3v1Tag T;
    T.Title = "New";
    EXPECT_EQ(T.SaveToStream(S, false), 5);
    T.SetLyrics("words");
    EXPECT_EQ(T.SaveToStream(S, true), 5);
}

// A stream that can be resized but takes only the first Budget bytes written.
class TShortWriteStream final : public TStream {
public:
    TShortWriteStream(Bytes Data, int64_t Budget) : FInner(std::move(Data)), FBudget(Budget) {}
    int64_t Read(void* B, int64_t N) override { return FInner.Read(B, N); }
    int64_t Write(const void* B, int64_t N) override {
        const int64_t Take = std::max<int64_t>(0, std::min(N, FBudget));
        FBudget -= Take;
        return FInner.Write(B, Take);
    }
    int64_t Seek(int64_t P) override { return FInner.Seek(P); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    bool SetSize(int64_t N) override { return FInner.SetSize(N); }
    const Bytes& Data() const { return FInner.Data(); }
    void Refill(int64_t Budget) { FBudget = Budget; }

private:
    TMemoryStream FInner;
    int64_t FBudget;
};

// Replacing the Lyrics3 block that ends a stream: a write that stops half-way
// puts the old block back instead of leaving the stream cut short.
TEST(ID3v1Lyrics, AFailedBlockWriteKeepsTheOldBlock) {
    const Bytes Before = Cat(Audio, Lyrics({{"IND", "100"}, {"LYR", "old words"}}));
    TID3v1Tag T;
    T.SetLyrics("new words that are longer than the old ones");
    TShortWriteStream S(Before, 20);
    EXPECT_NE(T.LyricsTagSaveToStream(S), 0);
    EXPECT_EQ(S.Data(), Before);
    S.Refill(1 << 20);
    ASSERT_EQ(T.LyricsTagSaveToStream(S), 0);
    const std::string After(S.Data().begin(), S.Data().end());
    EXPECT_EQ(After.substr(0, Audio.size()), std::string(Audio.begin(), Audio.end()));
    EXPECT_EQ(After.find("old words"), std::string::npos);
    EXPECT_NE(After.find("LYR00043new words that are longer than the old ones"), std::string::npos);
    EXPECT_EQ(After.substr(After.size() - 9), "LYRICS200");
}

TEST(ID3v1Save, BlockLayout) {
    struct TCase {
        const char* What;
        std::string Title, Comment, Genre;
        int Track;
        int B125, B126, B127;
        std::string TitleBytes;
    } Cases[] = {
        {"28-byte comment keeps the track", "t", std::string(28, 'c'), "Rock", 5, 0, 5, 17, "t"},
        {"29-byte comment drops the track", "t", std::string(29, 'c'), "", 5, 'c', 0, 255, "t"},
        {"30-byte comment drops the track", "t", std::string(30, 'c'), "Nu-Gaze", 5, 'c', 'c', 12, "t"},
        {"long title cut at 30 bytes", std::string(40, 'T'), "", "Psychadelic", 0, 0, 0, 67, std::string(30, 'T')},
        {"Windows-1252 encoding", "Caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD", "", "17", 0, 0, 0, 17, "Caf\xE9 \x80 ?"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        TID3v1Tag T;
        T.Title = C.Title;
        T.Comment = C.Comment;
        T.Genre = C.Genre;
        T.Track = (uint8_t)C.Track;
        TMemoryStream S;
        ASSERT_EQ(T.SaveToStream(S, false), 0);
        const Bytes& B = S.Data();
        ASSERT_EQ(B.size(), 128u);
        EXPECT_EQ(std::string((const char*)B.data(), 3), "TAG");
        EXPECT_EQ(std::string((const char*)B.data() + 3, C.TitleBytes.size()), C.TitleBytes);
        EXPECT_EQ(B[125], C.B125);
        EXPECT_EQ(B[126], C.B126);
        EXPECT_EQ(B[127], C.B127);
        TID3v1Tag R;
        ASSERT_EQ(R.LoadFromStream(S), 0);
        EXPECT_EQ(R.Revision1, C.B125 == 0);
    }
}

TEST(ID3v1Save, GenreNames) {
    const std::pair<std::string, int> Cases[] = {
        {"Blues", 0},      {"Rock", 17}, {"rock", 12}, {"Psychadelic", 67}, {"Psychedelic", 67},
        {"Psybient", 191}, {"17", 17},   {"255", 255}, {"256", 12},         {"-1", 12},
        {"", 255},         {" ", 255},   {"Nope", 12},
    };
    for (const auto& [Name, Index] : Cases) EXPECT_EQ(ID3v1GenreNameToIndex(Name), Index) << Name;
    EXPECT_EQ(ID3v1GenreIndexToName(12), "Other");
    EXPECT_EQ(ID3v1GenreIndexToName(192), "192");
    EXPECT_EQ(ID3v1GenreIndexToName(255), "");
}

TEST(ID3v1Save, FileWrites) {
    testutil::TTempDir D;
    TID3v1Tag T;
    T.Title = "Saved";

    std::string P = Put(D, "a.mp3", Audio);
    ASSERT_EQ(T.SaveToFile(P, false), 0);
    EXPECT_EQ(T.SourceFileName, P);
    Bytes Got = ReadFile(P);
    ASSERT_EQ(Got.size(), Audio.size() + 128);
    EXPECT_TRUE(std::equal(Audio.begin(), Audio.end(), Got.begin()));

    // Read-only: refused, untouched.
    std::string RO = Put(D, "ro.mp3", Audio);
    chmod(RO.c_str(), 0444);
    EXPECT_EQ(T.SaveToFile(RO, false), 6);
    EXPECT_EQ(ReadFile(RO), Audio);

    // A directory cannot be opened for writing.
    std::filesystem::create_directory(D.file("dir.mp3"));
    EXPECT_EQ(T.SaveToFile(D.file("dir.mp3"), false), 3);

    // The modification time is kept only when asked.
    std::string Old = Put(D, "old.mp3", Audio);
    struct timespec Times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, Old.c_str(), Times, 0);
    T.PreserveFileDateTime = true;
    ASSERT_EQ(T.SaveToFile(Old, true), 0);
    struct stat St;
    stat(Old.c_str(), &St);
    EXPECT_EQ(St.st_mtim.tv_sec, 1000000000);
}

// --- removal ------------------------------------------------------------------

TEST(ID3v1Remove, CutsTagAndLyricsOnly) {
    testutil::TTempDir D;
    const Bytes Tag = Titled("T").Build();
    struct TCase {
        const char* What;
        Bytes Input;
        int Result;
        size_t SizeAfter;
    } Cases[] = {
        {"tag only", Cat(Audio, Tag), 0, Audio.size()},
        {"lyrics and tag", Cat(Cat(Audio, Lyrics({{"LYR", "x"}})), Tag), 0, Audio.size()},
        {"damaged lyrics: only the tag", Cat(Cat(Audio, Lyrics({{"LYR", "x"}}, "00x000")), Tag), 0,
         Audio.size() + Lyrics({{"LYR", "x"}}).size()},
        {"no tag", Audio, 65535, Audio.size()},
        {"shorter than a tag", Bytes(Tag.begin(), Tag.begin() + 100), 65535, 100},
        {"exactly a tag", Tag, 0, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        std::string P = Put(D, "r.mp3", C.Input);
        EXPECT_EQ(RemoveID3v1TagFromFile(P), C.Result);
        Bytes Got = ReadFile(P);
        ASSERT_EQ(Got.size(), C.SizeAfter);
        EXPECT_TRUE(std::equal(Got.begin(), Got.end(), C.Input.begin()));
    }
    EXPECT_EQ(RemoveID3v1TagFromFile(D.file("missing.mp3")), 65535);
    std::string RO = Put(D, "ro.mp3", Cat(Audio, Tag));
    chmod(RO.c_str(), 0444);
    EXPECT_EQ(RemoveID3v1TagFromFile(RO), 6);
    EXPECT_EQ(ReadFile(RO).size(), Audio.size() + 128);
}

// --- unified mapping ------------------------------------------------------------

TEST(ID3v1Mapping, LoadReplacesSameNamedEntries) {
    TTags Tags;
    Tags.Add("title")->Value = "from APE";
    Tags.Add("TRACK")->Value = "9";
    Tags.Add("ARTIST")->Value = "kept";
    TID3v1Tag& T = Tags.ID3v1Tag();
    T.Title = "v1 title";
    T.Track = 4;
    T.Genre = "Rock";
    Tags.LoadID3v1Tags();
    EXPECT_EQ(Tags.TypeCount("TITLE"), 1);
    EXPECT_EQ(Tags.GetText("TITLE"), "v1 title");
    EXPECT_EQ(Tags.GetText("ARTIST"), "kept");  // empty ID3v1 field leaves it
    EXPECT_EQ(Tags.Exists("TRACK"), -1);
    EXPECT_EQ(Tags.GetText("TRACKNUMBER"), "4");
    EXPECT_EQ(Tags.GetText("GENRE"), "Rock");
    EXPECT_TRUE(Tags.Loaded);
}

TEST(ID3v1Mapping, PrepareTakesFirstEntries) {
    struct TCase {
        const char* What;
        std::vector<std::pair<std::string, std::string>> Entries;
        std::string Year;
        int Track;
    } Cases[] = {
        {"plain", {{"YEAR", "1999"}, {"TRACKNUMBER", "5"}}, "1999", 5},
        {"year from release date", {{"RELEASEDATE", "2001-02-03"}, {"RECORDINGDATE", "1990"}}, "2001", 0},
        {"year from recording date", {{"RECORDINGDATE", "1990"}}, "1990", 0},
        {"3/12 is track 3", {{"TRACKNUMBER", "3/12"}, {"TRACK", "8"}}, "", 3},
        {"256 does not fit: TRACK used", {{"TRACKNUMBER", "256"}, {"TRACK", "2"}}, "", 2},
        {"257 gives no track", {{"TRACKNUMBER", "257"}}, "", 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        TTags Tags;
        Tags.Add("TITLE")->Value = "first";
        Tags.Add("TITLE")->Value = "second";
        for (const auto& [N, V] : C.Entries) Tags.Add(N)->Value = V;
        Tags.PrepareID3v1Tag();
        const TID3v1Tag& T = Tags.ID3v1Tag();
        EXPECT_EQ(T.Title, "first");
        EXPECT_EQ(T.Year, C.Year);
        EXPECT_EQ(T.Track, C.Track);
        EXPECT_TRUE(T.Revision1);
        TMemoryStream S;
        ASSERT_EQ(Tags.SaveID3v1Tag("", &S), 0);
        EXPECT_EQ(std::string((const char*)S.Data().data() + 93, 4),
                  C.Year.substr(0, 4) + std::string(4 - std::min<size_t>(4, C.Year.size()), '\0'));
    }
}

TEST(ID3v1Mapping, PrepareTakesTheCommentWithoutADescription) {
    TTags Tags;
    TTag* Player = Tags.Add("COMMENT");
    Player->Value = " 0000021C 00000209";
    Player->Description = "iTunNORM";
    Tags.Add("COMMENT")->Value = "the user's comment";
    Tags.PrepareID3v1Tag();
    EXPECT_EQ(Tags.ID3v1Tag().Comment, "the user's comment");
    Tags.Delete(1);
    Tags.PrepareID3v1Tag();
    EXPECT_EQ(Tags.ID3v1Tag().Comment, "");  // a player's described comment is never the user's
}

TEST(ID3v1Mapping, DeletingAnEntryEmptiesTheField) {
    TTags Tags;
    TID3v1Tag& T = Tags.ID3v1Tag();
    const std::pair<const char*, std::string*> Fields[] = {{"title", &T.Title},     {"ARTIST", &T.Artist},
                                                           {"Album", &T.Album},     {"YEAR", &T.Year},
                                                           {"COMMENT", &T.Comment}, {"GENRE", &T.Genre}};
    for (const auto& [Name, Field] : Fields) {
        *Field = "x";
        TTag E(&Tags);
        E.Name = Name;
        id3v1module::DeleteNative(Tags, E);
        EXPECT_EQ(*Field, "") << Name;
    }
    for (const char* Name : {"TRACKNUMBER", "track"}) {
        T.Track = 3;
        TTag E(&Tags);
        E.Name = Name;
        id3v1module::DeleteNative(Tags, E);
        EXPECT_EQ(T.Track, 0) << Name;
    }
}

TEST(ID3v1Mapping, ContainerLoadsAndSavesThroughFiles) {
    testutil::TTempDir D;
    std::string P = Put(D, "c.mp3", Cat(Audio, TBlock{"Caf\xE9", "Art", "Alb", "2003", "Com", 0, 11, 13}.Build()));
    TTags Tags;
    ASSERT_EQ(Tags.LoadFromFile(P), 0);
    EXPECT_EQ(Tags.GetText("TITLE"), "Caf\xC3\xA9");
    EXPECT_EQ(Tags.GetText("YEAR"), "2003");
    EXPECT_EQ(Tags.GetText("TRACKNUMBER"), "11");
    EXPECT_EQ(Tags.GetText("GENRE"), "Pop");
    Tags.SetText("TITLE", "Neu \xC3\x9F");
    EXPECT_EQ(Tags.SaveToFile(P, ttID3v1), 0);
    Bytes Got = ReadFile(P);
    ASSERT_EQ(Got.size(), Audio.size() + 128);
    EXPECT_TRUE(std::equal(Audio.begin(), Audio.end(), Got.begin()));
    TID3v1Tag R;
    ASSERT_EQ(R.LoadFromFile(P), 0);
    EXPECT_EQ(R.Title, "Neu \xC3\x9F");
    EXPECT_EQ(R.Track, 11);
}

}  // namespace
