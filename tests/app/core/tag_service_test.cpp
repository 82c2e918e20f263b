// The tag service: the record mappings, loading, and saving with its backup.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/core/file_scanner.h"
#include "app/core/tag_service.h"
#include "tags/file_edit.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

QString Q(const std::string& S) { return QString::fromStdString(S); }

// --- a small ID3v2.4 tag (builders in tests/bytes.h) -----------------------

Bytes Frame(const std::string& Id, const Bytes& Body) { return tbytes::Frame(4, Id, Body); }

// Text frame in UTF-8 (encoding 3).
Bytes TextFrame(const std::string& Id, const std::string& Text) {
    return Frame(Id, tbytes::Cat(Bytes{3}, tbytes::Str(Text)));
}

// Front cover: encoding 0, MIME, type 3, empty description, data.
Bytes PictureFrame(const std::string& Mime, const Bytes& Data) {
    return Frame("APIC", tbytes::Picture0(Mime, 3, "", Data));
}

Bytes ID3v24(const std::vector<Bytes>& Frames, uint32_t Padding = 64) {
    Bytes Body;
    for (const Bytes& F : Frames) Body.insert(Body.end(), F.begin(), F.end());
    return tbytes::Tag(4, Body, Padding);
}

// 128-byte ID3v1 tag with a title and no genre.
Bytes ID3v1(const std::string& Title) { return tbytes::ID3v1Block(Title, "", "", "", "", 0, 255); }

using tbytes::Concat;

const Bytes PngPicture = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 1, 2, 3, 4};

// Every text field of a record filled with a distinct value.
TAudioTag FullRecord(const QString& FileName) {
    TAudioTag Tag;
    Tag.FileName = FileName;
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        Tag.TextField(I) = QStringLiteral("%1 value é").arg(QLatin1String(TAudioTag::TextFieldName(I)));
    Tag.Year = QStringLiteral("1999");
    Tag.Track = QStringLiteral("7");
    Tag.Disc = QStringLiteral("2");
    Tag.BPM = QStringLiteral("120");
    Tag.Genre = QStringLiteral("Ambient");
    Tag.Comment = QStringLiteral("first line\r\nsecond line");
    Tag.CoverMime = QStringLiteral("image/png");
    Tag.CoverData = QByteArray(reinterpret_cast<const char*>(PngPicture.data()), (qsizetype)PngPicture.size());
    return Tag;
}

std::unique_ptr<TTags> LoadContainer(const std::string& Path) {
    auto Tags = std::make_unique<TTags>();
    EXPECT_EQ(Tags->LoadFromFile(Path), 0);
    return Tags;
}

// Runs a command quietly; true when it succeeded.
bool Sh(const std::string& Command) { return testutil::Run(Command + " >/dev/null 2>&1") == 0; }

}  // namespace

// --- mappings, on a container in memory -------------------------------------

TEST(TagServiceMapping, ReadFallbacksAndYearCut) {
    struct TCase {
        std::vector<std::pair<std::string, std::string>> Entries;
        const char* Field;
        const char* Expected;
    };
    const TCase Cases[] = {
        {{{"YEAR", "2019-11-02"}}, "Year", "2019"},
        {{{"YEAR", "98"}}, "Year", "98"},
        {{{"YEAR", "abc"}}, "Year", "abc"},
        {{{"YEAR", "19999"}}, "Year", "1999"},
        {{{"DATE", "2001"}, {"RELEASEDATE", "2002"}}, "Year", "2001"},
        {{{"RELEASEDATE", "2019-11-02"}}, "Year", "2019"},
        {{{"ORIGINALRELEASEDATE", "1977-05"}}, "Year", "1977"},
        {{{"YEAR", "2010"}, {"DATE", "2001"}}, "Year", "2010"},
        {{{"RECORDINGDATE", "2020-01-31"}}, "Year", "2020"},
        {{{"RELEASEDATE", "2002"}, {"RECORDINGDATE", "2020"}}, "Year", "2020"},
        {{{"track", "5/9"}}, "Track", "5/9"},
        {{{"TRACKNUMBER", "3"}, {"TRACK", "4"}}, "Track", "3"},
        {{{"DISC", "2"}}, "Disc", "2"},
        {{{"ORIGARTIST", "Someone"}}, "OrigArtist", "Someone"},
        {{{"UNSYNCEDLYRICS", "la\r\nla"}}, "Lyrics", "la\r\nla"},
        {{{"LYRICS", "words"}, {"UNSYNCEDLYRICS", "other"}}, "Lyrics", "words"},
        {{{"Title", "Ünïcode ☃"}}, "Title", "Ünïcode ☃"},
        {{{"ENCODEDBY", "enc"}, {"URL", "http://x"}}, "URL", "http://x"},
    };
    for (const TCase& C : Cases) {
        TTags Tags;
        for (const auto& [Name, Value] : C.Entries) Tags.Add(Name)->Value = Value;
        TAudioTag Tag;
        Tag.Modified = true;
        TTagService::CopyTagsToRecord(Tags, Tag);
        int Index = 0;
        while (QLatin1String(TAudioTag::TextFieldName(Index)) != QLatin1String(C.Field)) ++Index;
        EXPECT_EQ(Tag.TextField(Index).toStdString(), C.Expected)
            << C.Entries.front().first << "=" << C.Entries.front().second;
        EXPECT_FALSE(Tag.Modified);
    }
}

// The record's picture: "Cover art 1", else the first front cover, else the
// first picture, whatever names the format gives its pictures.
TEST(TagServiceMapping, TheRecordTakesCoverArt1ElseTheFrontCoverElseTheFirstPicture) {
    const Bytes Jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2};
    struct TPicture {
        const char* Name;
        uint32_t Type;
    };
    const struct {
        const char* Name;
        std::vector<TPicture> Pictures;
        int Taken;
    } Cases[] = {
        {"named cover art 1", {{"Cover Art (Front)", 3}, {"COVER ART 1", 0}}, 1},
        {"front cover by type", {{"Cover Art (Back)", 4}, {"Cover Art (Front)", 3}}, 1},
        {"first picture", {{"Cover Art (Back)", 4}, {"Cover Art (Media)", 6}}, 0},
        {"none", {}, -1},
    };
    for (const auto& C : Cases) {
        TTags Tags;
        for (size_t I = 0; I < C.Pictures.size(); ++I)
            Tags.AddCoverArt(C.Pictures[I].Name, (int)I == C.Taken ? PngPicture : Jpeg,
                             (int)I == C.Taken ? "image/png" : "image/jpeg")
                ->CoverType = C.Pictures[I].Type;
        TAudioTag Tag;
        Tag.CoverMime = QStringLiteral("stale");
        TTagService::CopyTagsToRecord(Tags, Tag);
        EXPECT_EQ(Tag.CoverData.size(), C.Taken >= 0 ? (qsizetype)PngPicture.size() : 0) << C.Name;
        EXPECT_EQ(Tag.CoverMime, C.Taken >= 0 ? QStringLiteral("image/png") : QString()) << C.Name;
    }
}

TEST(TagServiceMapping, WriteLeavesReadFallbacksAndOtherEntriesAlone) {
    TTags Tags;
    for (const char* Name :
         {"RELEASEDATE", "DATE", "TRACK", "DISC", "ORIGARTIST", "UNSYNCEDLYRICS", "TOTALTRACKS", "TITLE", "GENRE"})
        Tags.Add(Name)->Value = "old";
    Tags.AddCoverArt("Cover art 1", PngPicture, "image/png");
    Tags.AddCoverArt("Cover art 2", PngPicture, "image/png");

    TAudioTag Tag;
    TTagService::CopyTagsToRecord(Tags, Tag);
    Tag.Title = QStringLiteral("New");
    Tag.Genre.clear();
    Tag.CoverData.clear();
    TTagService::CopyRecordToTags(Tags, Tag);

    EXPECT_EQ(Tags.GetText("TITLE"), "New");
    EXPECT_EQ(Tags.Exists("GENRE"), -1);  // an empty field deletes its entry
    // Fields shown from a fallback and not edited add nothing.
    for (const char* Name : {"YEAR", "TRACKNUMBER", "DISCNUMBER", "ORIGINALARTIST", "LYRICS"})
        EXPECT_EQ(Tags.Exists(Name), -1) << Name;
    for (const char* Name : {"RELEASEDATE", "DATE", "TRACK", "DISC", "ORIGARTIST", "UNSYNCEDLYRICS", "TOTALTRACKS"})
        EXPECT_EQ(Tags.GetText(Name), "old") << Name;
    EXPECT_EQ(Tags.CoverArtCount(), 0);  // no cover in the record: every picture goes

    // An edited year is written as YEAR; a cleared one takes the fallbacks it showed with it.
    Tag.Year = QStringLiteral("2019");
    TTagService::CopyRecordToTags(Tags, Tag);
    EXPECT_EQ(Tags.GetText("YEAR"), "2019");
    EXPECT_EQ(Tags.GetText("DATE"), "old");
    Tag.Year.clear();
    TTagService::CopyRecordToTags(Tags, Tag);
    for (const char* Name : {"YEAR", "DATE", "RELEASEDATE"}) EXPECT_EQ(Tags.Exists(Name), -1) << Name;
    TAudioTag Again;
    TTagService::CopyTagsToRecord(Tags, Again);
    EXPECT_TRUE(Again.Year.isEmpty());
}

// The record carries one picture; the file's other pictures, and the type
// and description of a picture the record leaves as it was, survive a save.
TEST(TagServiceMapping, WriteKeepsThePicturesTheRecordDoesNotChange) {
    const Bytes Jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 9, 9};
    auto Record = [](const Bytes& Cover, const char* Mime) {
        TAudioTag Tag;
        Tag.Title = QStringLiteral("New");
        Tag.CoverData = QByteArray(reinterpret_cast<const char*>(Cover.data()), (qsizetype)Cover.size());
        Tag.CoverMime = QString::fromLatin1(Mime);
        return Tag;
    };
    struct TPicture {
        std::string Name;
        Bytes Data;
        std::string Mime;
        uint32_t Type;
        std::string Description;
    };
    const TPicture FrontPng{"Cover art 1", PngPicture, "image/png", 3, "front"};
    const TPicture Back{"Cover art 2", Jpeg, "image/jpeg", 4, "back"};
    const TPicture Keyed{"Cover Art (Front)", Jpeg, "image/jpeg", 3, ""};
    const TPicture KeyedBack{"Cover Art (Back)", Jpeg, "image/jpeg", 4, "b"};
    const TPicture KeyedNew{"Cover Art (Front)", PngPicture, "image/png", 3, ""};
    const TPicture NewFront{"Cover art 1", Jpeg, "image/jpeg", 3, "front"};
    const struct {
        const char* Name;
        std::vector<TPicture> Before;
        TAudioTag Tag;
        std::vector<TPicture> After;
    } Cases[] = {
        {"picture unchanged", {FrontPng, Back}, Record(PngPicture, "image/png"), {FrontPng, Back}},
        {"picture replaced", {FrontPng, Back}, Record(Jpeg, "image/jpeg"), {NewFront, Back}},
        {"picture cleared", {FrontPng, Back}, Record({}, ""), {}},
        {"keyed front cover replaced in place",
         {KeyedBack, Keyed},
         Record(PngPicture, "image/png"),
         {KeyedBack, KeyedNew}},
        {"keyed front cover unchanged", {KeyedBack, Keyed}, Record(Jpeg, "image/jpeg"), {KeyedBack, Keyed}},
        {"picture added",
         {},
         Record(PngPicture, "image/png"),
         {{"Cover art 1", PngPicture, "image/png", 3, "No description"}}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTags Tags;
        for (const TPicture& P : C.Before) {
            TCoverArt* Art = Tags.AddCoverArt(P.Name, P.Data, P.Mime);
            Art->CoverType = P.Type;
            Art->Description = P.Description;
        }
        TTagService::CopyRecordToTags(Tags, C.Tag);
        ASSERT_EQ(Tags.CoverArtCount(), (int)C.After.size());
        for (int I = 0; I < Tags.CoverArtCount(); ++I) {
            const TCoverArt* Art = Tags.CoverArtAt(I);
            const TPicture& P = C.After[(size_t)I];
            EXPECT_EQ(Art->Name, P.Name);
            EXPECT_EQ(Art->Data, P.Data);
            EXPECT_EQ(Art->MIMEType, P.Mime);
            EXPECT_EQ(Art->CoverType, P.Type);
            EXPECT_EQ(Art->Description, P.Description);
        }
    }
}

// Comments and lyrics with a description hold players' own data; the
// record's Comment and Lyrics are the entries without one, read and written.
TEST(TagServiceMapping, CommentAndLyricsAreTheEntriesWithoutADescription) {
    auto Fill = [](TTags& Tags, bool WithPlain) {
        for (const char* Name : {"COMMENT", "LYRICS"}) {
            TTag* Player = Tags.Add(Name);
            Player->Value = "player data";
            Player->Description = "iTunNORM";
            if (WithPlain) Tags.Add(Name)->Value = "user text";
        }
    };
    const struct {
        const char* Name;
        bool WithPlain;
        const char* Written;
        QString Shown;
        std::vector<std::string> After;
    } Cases[] = {
        {"edited", true, "new text", QStringLiteral("user text"), {"player data", "new text"}},
        {"cleared", true, "", QStringLiteral("user text"), {"player data"}},
        {"only described entries: never the field", false, "new text", QString(), {"player data", "new text"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTags Tags;
        Fill(Tags, C.WithPlain);
        TAudioTag Tag;
        TTagService::CopyTagsToRecord(Tags, Tag);
        EXPECT_EQ(Tag.Comment, C.Shown);
        EXPECT_EQ(Tag.Lyrics, C.Shown);
        Tag.Comment = Tag.Lyrics = QString::fromUtf8(C.Written);
        TTagService::CopyRecordToTags(Tags, Tag);
        for (const char* Name : {"COMMENT", "LYRICS"}) {
            std::vector<std::string> Values;
            for (int I = 0; I < Tags.Count(); ++I)
                if (Tags.TagAt(I)->Name == Name) Values.push_back(Tags.TagAt(I)->Value);
            EXPECT_EQ(Values, C.After) << Name;
        }
    }
}

// A field shows every value of its name, one per line, and an edit replaces
// them all: each line of a multi-valued field is one value, Comment and
// Lyrics stay one text, the number fields show their first value. Entries
// of the name with another description or kind are not the field's.
TEST(TagServiceMapping, EveryValueOfAFieldOnePerLine) {
    struct TEntry {
        std::string Name, Value;
        std::string Description = {};
        TExtTagType Kind = ettUnknown;
    };
    const struct {
        const char* Name;
        std::vector<TEntry> Before;
        const char* Field;
        QString Shown;
        QString Typed;  // null: the record is saved unchanged
        std::vector<TEntry> After;
    } Cases[] = {
        {"two values shown and kept",
         {{"ARTIST", "One"}, {"TITLE", "T"}, {"ARTIST", "Two"}},
         "Artist",
         QStringLiteral("One\r\nTwo"),
         QString(),
         {{"ARTIST", "One"}, {"TITLE", "T"}, {"ARTIST", "Two"}}},
        {"an edit replaces every value",
         {{"ARTIST", "One"}, {"TITLE", "T"}, {"ARTIST", "Two"}},
         "Artist",
         QStringLiteral("One\r\nTwo"),
         QStringLiteral("Edited"),
         {{"ARTIST", "Edited"}, {"TITLE", "T"}}},
        {"lines are values",
         {{"ARTIST", "One"}},
         "Artist",
         QStringLiteral("One"),
         QStringLiteral("A\nB\r\n\r\nC"),
         {{"ARTIST", "A"}, {"ARTIST", "B"}, {"ARTIST", "C"}}},
        {"a cleared field deletes every value",
         {{"GENRE", "Rock"}, {"GENRE", "Pop"}, {"TITLE", "T"}},
         "Genre",
         QStringLiteral("Rock\r\nPop"),
         QStringLiteral(""),
         {{"TITLE", "T"}}},
        {"a user-defined frame of the name is not a value",
         {{"ARTIST", "One"}, {"ARTIST", "Other", "ARTIST", ettTXXX}},
         "Artist",
         QStringLiteral("One"),
         QStringLiteral("A\nB"),
         {{"ARTIST", "A"}, {"ARTIST", "Other", "ARTIST", ettTXXX}, {"ARTIST", "B"}}},
        {"comments are one text",
         {{"COMMENT", "c1"}, {"COMMENT", "c2"}, {"COMMENT", "gain", "iTunNORM"}},
         "Comment",
         QStringLiteral("c1\r\nc2"),
         QStringLiteral("x\ny"),
         {{"COMMENT", "x\ny"}, {"COMMENT", "gain", "iTunNORM"}}},
        {"a number field shows the first",
         {{"TRACKNUMBER", "3"}, {"TRACKNUMBER", "4"}},
         "Track",
         QStringLiteral("3"),
         QStringLiteral("5"),
         {{"TRACKNUMBER", "5"}}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTags Tags;
        for (const TEntry& E : C.Before) {
            TTag* T = Tags.Add(E.Name);
            T->Value = E.Value;
            T->Description = E.Description;
            T->ExtTagType = E.Kind;
        }
        TAudioTag Tag;
        TTagService::CopyTagsToRecord(Tags, Tag);
        int Field = 0;
        while (QLatin1String(TAudioTag::TextFieldName(Field)) != QLatin1String(C.Field)) ++Field;
        EXPECT_EQ(Tag.TextField(Field), C.Shown);
        if (!C.Typed.isNull()) Tag.TextField(Field) = C.Typed;
        TTagService::CopyRecordToTags(Tags, Tag);
        ASSERT_EQ(Tags.Count(), (int)C.After.size());
        for (int I = 0; I < Tags.Count(); ++I) {
            EXPECT_EQ(Tags.TagAt(I)->Name, C.After[(size_t)I].Name) << I;
            EXPECT_EQ(Tags.TagAt(I)->Value, C.After[(size_t)I].Value) << I;
            EXPECT_EQ(Tags.TagAt(I)->Description, C.After[(size_t)I].Description) << I;
            EXPECT_EQ(Tags.TagAt(I)->ExtTagType, C.After[(size_t)I].Kind) << I;
        }
    }
}

TEST(AudioTag, FileTypeFromExtensionAndEmptiness) {
    const struct {
        const char* Name;
        TAudioFileType Type;
    } Cases[] = {
        {"/a/b.MP3", aftMP3},  {"x.flac", aftFLAC},   {"x.m4a", aftMP4},          {"x.MP4", aftMP4},
        {"x.wma", aftWMA},     {"x.ogg", aftOGG},     {"x.oga", aftOGG},          {"x.ape", aftAPE},
        {"x.Wav", aftWAV},     {"x.opus", aftOGG},    {"x.OPUS", aftOGG},         {"x.m4b", aftMP4},
        {"x.aif", aftAIFF},    {"x.AIFF", aftAIFF},   {"x.aifc", aftAIFF},        {"x.wv", aftWV},
        {"x.mpc", aftMPC},     {"x.dsf", aftDSF},     {"x.Dff", aftDFF},          {"/dir.mp3/file", aftUnknown},
        {"noext", aftUnknown}, {"x.wvc", aftUnknown}, {"x.aiff.txt", aftUnknown},
    };
    for (const auto& C : Cases) EXPECT_EQ(AudioFileTypeFromExtension(QString::fromUtf8(C.Name)), C.Type) << C.Name;
    // Every file the scanner lists has a kind of its own, and every kind a name.
    for (const QString& Ext : TFileScanner::SupportedExtensions())
        EXPECT_NE(AudioFileTypeFromExtension(QStringLiteral("/m/a") + Ext), aftUnknown) << Ext.toStdString();
    QStringList Names;
    for (int T = 0; T < AudioFileTypeCount; ++T)
        Names.append(QLatin1String(AudioFileTypeName(static_cast<TAudioFileType>(T))));
    EXPECT_EQ(Names.join(QLatin1Char(' ')), QStringLiteral("Unknown MP3 FLAC MP4 WMA OGG APE WAV AIFF WV MPC DSF DFF"));
    EXPECT_STREQ(AudioFileTypeName(static_cast<TAudioFileType>(200)), "Unknown");

    TAudioTag Tag;
    Tag.FileName = QStringLiteral("x.mp3");
    Tag.CoverMime = QStringLiteral("image/png");
    Tag.DurationSec = 12;
    Tag.Modified = true;
    Tag.Title = QString::fromUtf8(" \t\r\n\x01");
    EXPECT_TRUE(Tag.IsEmpty());
    Tag.Lyrics = QStringLiteral(" . ");
    EXPECT_FALSE(Tag.IsEmpty());
    Tag.Lyrics.clear();
    Tag.CoverData = "x";
    EXPECT_FALSE(Tag.IsEmpty());
    Tag.CoverData.clear();
    Tag.Artist = QString(QChar(0x00A0));  // no-break space is not a blank here
    EXPECT_FALSE(Tag.IsEmpty());
}

// --- loading and saving files ----------------------------------------------

class TagServiceFile : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    std::string Path = Dir.file("song.mp3");
    TTagService Service;

    void Write(const Bytes& B) { testutil::WriteFile(Path, B); }
    Bytes Read() const { return testutil::ReadFile(Path); }
};

TEST_F(TagServiceFile, MissingFile) {
    TAudioTag Tag = FullRecord(Q(Dir.file("none.mp3")));
    EXPECT_FALSE(Service.LoadTag(Q(Dir.file("none.mp3")), Tag));
    EXPECT_EQ(Service.GetLastError(), QStringLiteral("File not found."));
    EXPECT_EQ(Tag, TAudioTag());
    EXPECT_FALSE(Service.LoadTag(Q(Dir.path()), Tag));  // a folder is not a file
    EXPECT_EQ(Service.GetLastError(), QStringLiteral("File not found."));

    EXPECT_FALSE(Service.SaveTag(FullRecord(Q(Dir.file("none.mp3")))));
    EXPECT_EQ(Service.GetLastError(), QStringLiteral("File not found."));
    EXPECT_FALSE(fs::exists(Dir.file("none.mp3")));
    EXPECT_FALSE(fs::exists(JournalNameOf(Dir.file("none.mp3"))));
}

TEST_F(TagServiceFile, LoadReadsID3v2FieldsAndCover) {
    Write(Concat({ID3v24({TextFrame("TIT2", "Title ✓"), TextFrame("TPE1", "Artist"), TextFrame("TDRL", "2019-11-02"),
                          TextFrame("TRCK", "3/12"), PictureFrame("image/png", PngPicture)}),
                  tbytes::MpegFrames(20)}));
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag)) << Service.GetLastError().toStdString();
    EXPECT_TRUE(Service.GetLastError().isEmpty());
    EXPECT_EQ(Tag.FileName, Q(Path));
    EXPECT_EQ(Tag.FileType, aftMP3);
    EXPECT_EQ(Tag.Title, QStringLiteral("Title ✓"));
    EXPECT_EQ(Tag.Artist, QStringLiteral("Artist"));
    EXPECT_EQ(Tag.Year, QStringLiteral("2019"));
    EXPECT_EQ(Tag.Track, QStringLiteral("3"));
    EXPECT_EQ(Tag.CoverMime, QStringLiteral("image/png"));
    EXPECT_EQ(Tag.CoverData,
              QByteArray(reinterpret_cast<const char*>(PngPicture.data()), (qsizetype)PngPicture.size()));
    EXPECT_FALSE(Tag.Modified);
}

TEST_F(TagServiceFile, SaveRoundTripKeepsWhatTheRecordDoesNotHold) {
    Write(Concat({ID3v24({TextFrame("TIT2", "Old"), TextFrame("TDRL", "2019-11-02"), TextFrame("TRCK", "3/12"),
                          TextFrame("TKEY", "Am")}),
                  tbytes::MpegFrames(20)}));
    TAudioTag Loaded;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Loaded));
    EXPECT_EQ(Loaded.Year, QStringLiteral("2019"));

    // Saving the loaded record adds no year frame beside the release date.
    ASSERT_TRUE(Service.SaveTag(Loaded)) << Service.GetLastError().toStdString();
    {
        const auto Tags = LoadContainer(Path);
        EXPECT_EQ(Tags->Exists("YEAR"), -1);
        EXPECT_EQ(Tags->Exists("RECORDINGDATE"), -1);
        EXPECT_EQ(Tags->GetText("RELEASEDATE"), "2019-11-02");
        EXPECT_EQ(Tags->GetText("TOTALTRACKS"), "12");
        EXPECT_EQ(Tags->GetText("KEY"), "Am");
    }

    TAudioTag Record = FullRecord(Q(Path));
    ASSERT_TRUE(Service.SaveTag(Record)) << Service.GetLastError().toStdString();
    EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
    TAudioTag Again;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Again));
    Record.FileType = aftMP3;
    Record.DurationSec = Again.DurationSec;
    Record.Stamp = Again.Stamp;  // a record read from a file notes the file's stamp
    // The made-up record carries no entry list; the loaded one carries the file's.
    EXPECT_TRUE(Again.EntriesLoaded);
    Again.Entries.clear();
    Again.Pictures.clear();
    Again.EntriesLoaded = false;
    EXPECT_EQ(Again, Record);
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        EXPECT_EQ(Again.TextField(I), Record.TextField(I)) << TAudioTag::TextFieldName(I);
    const auto Tags = LoadContainer(Path);
    EXPECT_EQ(Tags->GetText("KEY"), "Am");
    EXPECT_EQ(Tags->GetText("TOTALTRACKS"), "12");

    // The audio frames behind the tag are untouched.
    const Bytes After = Read(), Audio = tbytes::MpegFrames(20);
    ASSERT_GE(After.size(), Audio.size());
    EXPECT_TRUE(std::equal(Audio.begin(), Audio.end(), After.end() - (ptrdiff_t)Audio.size()));
}

TEST_F(TagServiceFile, IndependentReaderSeesTheSavedFields) {
    if (!testutil::HaveCommand("/usr/bin/python3") || !Sh("/usr/bin/python3 -c 'import mutagen'"))
        GTEST_SKIP() << "mutagen is not installed";
    Write(tbytes::MpegFrames(20));
    TAudioTag Record = FullRecord(Q(Path));
    ASSERT_TRUE(Service.SaveTag(Record)) << Service.GetLastError().toStdString();
    std::string Out;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 -c \"import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); "
                            "print(t['TIT2'].text[0]); print(t['TPE1'].text[0]); print(t.getall('APIC')[0].mime)\" '" +
                                Path + "'",
                            &Out),
              0);
    EXPECT_EQ(Out, "Title value é\nArtist value é\nimage/png\n");
}

TEST_F(TagServiceFile, BlankRecordStripsEveryTag) {
    const Bytes Audio = tbytes::MpegFrames(20);
    Write(Concat({ID3v24({TextFrame("TIT2", "Old"), PictureFrame("image/png", PngPicture)}), Audio, ID3v1("Old")}));
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I) Tag.TextField(I) = QStringLiteral(" \t ");
    Tag.CoverData.clear();
    Tag.CoverMime = QStringLiteral("image/png");  // a MIME type alone is no picture
    ASSERT_TRUE(Service.SaveTag(Tag)) << Service.GetLastError().toStdString();
    EXPECT_EQ(Read(), Audio);
    EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
}

// A record saved as it was loaded writes nothing: the file keeps its bytes,
// its inode and its modification time. An empty record on a file whose
// record shows nothing does not strip the tags the record never showed.
TEST_F(TagServiceFile, AnUnchangedRecordWritesNothing) {
    const Bytes Audio = tbytes::MpegFrames(20);
    const Bytes Tagged =
        Concat({ID3v24({TextFrame("TIT2", "Old"), TextFrame("TPE1", "A"), PictureFrame("image/png", PngPicture)}),
                Audio, ID3v1("Old")});
    const Bytes Hidden = Concat({ID3v24({TextFrame("TSSE", "Encoder 1.0")}), Audio});
    for (const Bytes& Before : {Tagged, Hidden}) {
        Write(Before);
        const timespec Old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), Old, 0), 0);
        struct stat Was {};
        ASSERT_EQ(::stat(Path.c_str(), &Was), 0);
        TAudioTag Tag;
        ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
        Tag.Modified = true;
        ASSERT_TRUE(Service.SaveTag(Tag)) << Service.GetLastError().toStdString();
        struct stat Is {};
        ASSERT_EQ(::stat(Path.c_str(), &Is), 0);
        EXPECT_EQ(Read(), Before);
        EXPECT_EQ(Is.st_ino, Was.st_ino);
        EXPECT_EQ(Is.st_mtim.tv_sec, Was.st_mtim.tv_sec);
        EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
    }
}

// A file whose tags hold nothing the record shows loads as a blank record;
// saving it unedited is no request to strip them.
TEST_F(TagServiceFile, BlankRecordOfAFileWithOtherTagsKeepsThem) {
    const Bytes Before = Concat({ID3v24({TextFrame("TSSE", "Encoder 1.0")}), tbytes::MpegFrames(20)});
    Write(Before);
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
    ASSERT_TRUE(Tag.IsEmpty());
    Tag.Modified = true;
    ASSERT_TRUE(Service.SaveTag(Tag)) << Service.GetLastError().toStdString();
    EXPECT_EQ(Read(), Before);
}

// Stripping reports success even when nothing could be written, so the
// service must not: a read-only file keeps its tags and the save fails.
TEST_F(TagServiceFile, BlankRecordOnReadOnlyFileFails) {
    const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}), tbytes::MpegFrames(20), ID3v1("Old")});
    Write(Before);
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
    fs::permissions(Path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Tag.Title.clear();
    EXPECT_FALSE(Service.SaveTag(Tag));
    EXPECT_FALSE(Service.GetLastError().isEmpty());
    EXPECT_EQ(Read(), Before);
}

// The journal of a save cannot be made where something else holds its
// name: the save fails, says so, and the file keeps its bytes.
TEST_F(TagServiceFile, ASaveWithoutItsJournalLeavesTheFileUntouched) {
    const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}), tbytes::MpegFrames(20)});
    Write(Before);
    fs::create_directory(JournalNameOf(Path));
    EXPECT_FALSE(Service.SaveTag(FullRecord(Q(Path))));
    EXPECT_TRUE(Service.GetLastError().contains(QStringLiteral("journal"))) << Service.GetLastError().toStdString();
    EXPECT_EQ(Read(), Before);
    fs::remove(JournalNameOf(Path));
    EXPECT_TRUE(Service.GetTransactional());
    EXPECT_TRUE(Service.SaveTag(FullRecord(Q(Path)))) << Service.GetLastError().toStdString();
    EXPECT_NE(Read(), Before);
    EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
}

// A folder that takes no new entries: the journal cannot be created. Root
// ignores permission bits, so the folder is made immutable instead.
TEST_F(TagServiceFile, ASaveFailsWholeInAFolderThatTakesNoNewFiles) {
    const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}), tbytes::MpegFrames(20)});
    Write(Before);
    const bool Root = ::geteuid() == 0;
    if (Root) {
        if (!Sh("chattr +i '" + Dir.path() + "'")) GTEST_SKIP() << "cannot make the folder immutable here";
    } else {
        fs::permissions(Dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    const bool Saved = Service.SaveTag(FullRecord(Q(Path)));
    const QString Error = Service.GetLastError();
    if (Root)
        Sh("chattr -i '" + Dir.path() + "'");
    else
        fs::permissions(Dir.path(), fs::perms::owner_all);
    EXPECT_FALSE(Saved);
    EXPECT_FALSE(Error.isEmpty());
    EXPECT_EQ(Read(), Before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), fs::directory_iterator()), 1);
}

TEST_F(TagServiceFile, AFailedSaveKeepsTheFileAndLeavesNothingBesideIt) {
    const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}), tbytes::MpegFrames(20), ID3v1("Old")});
    Write(Before);
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
    fs::permissions(Path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Tag.Title = QStringLiteral("New");
    EXPECT_FALSE(Service.SaveTag(Tag));
    EXPECT_TRUE(Service.GetLastError().startsWith(QStringLiteral("TagsLibrary save error: ")))
        << Service.GetLastError().toStdString();
    EXPECT_TRUE(Service.GetLastError().endsWith(QStringLiteral("(the file is read-only)")))
        << Service.GetLastError().toStdString();
    EXPECT_EQ(Read(), Before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), fs::directory_iterator()), 1);

    fs::permissions(Path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(Service.SaveTag(Tag)) << Service.GetLastError().toStdString();
    EXPECT_TRUE(Service.GetLastError().isEmpty());
    TAudioTag Again;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Again));
    EXPECT_EQ(Again.Title, QStringLiteral("New"));
}

// A disk that fills up: a tag that fits in place is saved without any
// room for a copy of the file; one that grows past what the disk holds
// fails, and the file keeps its old bytes with nothing left beside it.
TEST(TagServiceFullDisk, FileKeepsItsBytesWhenTheDiskIsFull) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
    testutil::TTempDir Mount;
    if (::mount("tmpfs", Mount.path().c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    struct TUnmount {
        std::string P;
        ~TUnmount() { ::umount2(P.c_str(), MNT_DETACH); }
    } Unmount{Mount.path()};

    // The first tag has room for the edit (its padding); the second must grow.
    const struct {
        const char* Name;
        int Frames;
        uint32_t Padding;
        int LyricsBytes;
        bool Fits;
    } Cases[] = {
        {"a small edit of a file larger than the free room", 1500, 4096, 10, true},  // 625 KB file, 1 MB disk
        {"a tag larger than the free room", 800, 64, 400000, false},                 // 333 KB file, 800 KB more
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Path = Mount.path() + "/song.mp3";
        const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}, C.Padding), tbytes::MpegFrames(C.Frames)});
        testutil::WriteFile(Path, Before);
        TTagService Service;
        TAudioTag Tag;
        ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
        Tag.Lyrics = QString(C.LyricsBytes, QChar(u'l'));
        const bool Saved = Service.SaveTag(Tag);
        const QString Error = Service.GetLastError();
        EXPECT_EQ(Saved, C.Fits) << Error.toStdString();
        if (C.Fits) {
            TAudioTag Back;
            ASSERT_TRUE(Service.LoadTag(Q(Path), Back));
            EXPECT_EQ(Back.Lyrics, Tag.Lyrics);
        } else {
            EXPECT_TRUE(Error.endsWith(QStringLiteral("(not enough free space on the disk)"))) << Error.toStdString();
            EXPECT_EQ(testutil::ReadFile(Path), Before);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(Mount.path()), fs::directory_iterator()), 1)
            << "only the file may remain";
        fs::remove(Path);
    }
}

// Play time in whole seconds, halves to even: exact lengths come from the
// encoder's gapless information.
TEST(TagServicePlayTime, RoundsHalvesToEven) {
    if (!testutil::HaveCommand("lame")) GTEST_SKIP() << "lame is not installed";
    testutil::TTempDir Dir;
    auto Encode = [&](int Samples) {
        Bytes Wav{'R', 'I', 'F', 'F', 0,    0,    0, 0, 'W',  'A',  'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0,   0,
                  1,   0,   1,   0,   0x44, 0xAC, 0, 0, 0x88, 0x58, 1,   0,   2,   0,   16,  0,   'd', 'a', 't', 'a'};
        const uint32_t DataSize = (uint32_t)Samples * 2;
        for (int I = 0; I < 4; ++I) Wav.push_back((DataSize >> (8 * I)) & 0xFF);
        const uint32_t RiffSize = DataSize + 36;
        for (int I = 0; I < 4; ++I) Wav[4 + I] = (RiffSize >> (8 * I)) & 0xFF;
        Wav.resize(Wav.size() + DataSize, 0);
        const std::string In = Dir.file("in.wav"), Out = Dir.file(std::to_string(Samples) + ".mp3");
        testutil::WriteFile(In, Wav);
        EXPECT_TRUE(Sh("lame --quiet -b 64 '" + In + "' '" + Out + "'"));
        TTagService Service;
        TAudioTag Tag;
        EXPECT_TRUE(Service.LoadTag(Q(Out), Tag));
        return Tag.DurationSec;
    };
    ASSERT_EQ(Encode(44100 * 10), 10) << "the MPEG play time is missing";
    EXPECT_EQ(Encode(110250), 2);  // 2.5 s
    EXPECT_EQ(Encode(154350), 4);  // 3.5 s
    EXPECT_EQ(Encode(66150), 2);   // 1.5 s
    EXPECT_EQ(Encode(60000), 1);   // 1.36 s
}

// WavPack and Musepack files keep their play time in their own headers,
// which the record reads as well.
TEST(TagServicePlayTime, WavPackAndMusepackFilesHaveTheirPlayTime) {
    testutil::TTempDir Dir;
    Bytes Wav{'R', 'I', 'F', 'F', 0,    0,    0, 0, 'W',  'A',  'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0,   0,
              1,   0,   1,   0,   0x44, 0xAC, 0, 0, 0x88, 0x58, 1,   0,   2,   0,   16,  0,   'd', 'a', 't', 'a'};
    const uint32_t DataSize = 44100 * 2 * 3;  // 3 s of mono 16-bit silence
    for (int I = 0; I < 4; ++I) Wav.push_back((DataSize >> (8 * I)) & 0xFF);
    for (int I = 0; I < 4; ++I) Wav[4 + I] = ((DataSize + 36) >> (8 * I)) & 0xFF;
    Wav.resize(Wav.size() + DataSize, 0);
    const std::string In = Dir.file("in.wav");
    testutil::WriteFile(In, Wav);
    const struct {
        const char* Tool;
        std::string Command;
        std::string Out;
    } Cases[] = {
        {"wavpack", "wavpack -q '" + In + "' -o '" + Dir.file("a.wv") + "'", Dir.file("a.wv")},
        {"mpcenc", "mpcenc --silent '" + In + "' '" + Dir.file("a.mpc") + "'", Dir.file("a.mpc")},
    };
    for (const auto& C : Cases) {
        if (!testutil::HaveCommand(C.Tool)) continue;
        ASSERT_TRUE(Sh(C.Command)) << C.Command;
        TTagService Service;
        TAudioTag Tag;
        EXPECT_TRUE(Service.LoadTag(Q(C.Out), Tag)) << C.Out;
        EXPECT_EQ(Tag.DurationSec, 3) << C.Out;
    }
}

// A link planted at the journal's name must not make a save write through
// it into the file it points at; the save is refused instead.
TEST_F(TagServiceFile, AJournalNameHeldByALinkIsNotWrittenThrough) {
    const Bytes Before = Concat({ID3v24({TextFrame("TIT2", "Old")}), tbytes::MpegFrames(20)});
    Write(Before);
    const std::string Victim = Dir.file("victim.txt");
    for (const bool Symbolic : {true, false}) {
        SCOPED_TRACE(Symbolic ? "symbolic link" : "hard link");
        testutil::WriteFile(Victim, "keep me");
        if (Symbolic)
            fs::create_symlink(Victim, JournalNameOf(Path));
        else
            fs::create_hard_link(Victim, JournalNameOf(Path));
        TAudioTag Tag;
        EXPECT_TRUE(Service.LoadTag(Q(Path), Tag));
        EXPECT_FALSE(Service.SaveTag(FullRecord(Q(Path))));
        EXPECT_EQ(testutil::ReadFile(Victim), testutil::Bytes("keep me"));
        EXPECT_EQ(Read(), Before);
        fs::remove(JournalNameOf(Path));
    }
}

// A file with a front and a back cover keeps both, as they were, when only
// its title changes.
TEST_F(TagServiceFile, SavingATitleKeepsEveryPicture) {
    Bytes Back{0};
    for (char C : std::string("image/jpeg")) Back.push_back((uint8_t)C);
    Back.insert(Back.end(), {0, 4, 'b', 'a', 'c', 'k', 0, 0xFF, 0xD8, 0xFF, 0xE0, 1, 2});
    Write(Concat({ID3v24({TextFrame("TIT2", "Old"), PictureFrame("image/png", PngPicture), Frame("APIC", Back)}),
                  tbytes::MpegFrames(20)}));
    TAudioTag Tag;
    ASSERT_TRUE(Service.LoadTag(Q(Path), Tag));
    Tag.Title = QStringLiteral("New");
    ASSERT_TRUE(Service.SaveTag(Tag)) << Service.GetLastError().toStdString();
    const auto Tags = LoadContainer(Path);
    EXPECT_EQ(Tags->GetText("TITLE"), "New");
    ASSERT_EQ(Tags->CoverArtCount(), 2);
    EXPECT_EQ(Tags->CoverArtAt(0)->CoverType, 3u);
    EXPECT_EQ(Tags->CoverArtAt(0)->Description, "");
    EXPECT_EQ(Tags->CoverArtAt(0)->Data, PngPicture);
    EXPECT_EQ(Tags->CoverArtAt(1)->CoverType, 4u);
    EXPECT_EQ(Tags->CoverArtAt(1)->Description, "back");
    EXPECT_EQ(Tags->CoverArtAt(1)->MIMEType, "image/jpeg");
}

// A named pipe is no file to read or write: it is refused at once, where
// opening it would wait for a writer that never comes.
TEST_F(TagServiceFile, NamedPipeIsNotAFile) {
    ASSERT_EQ(::mkfifo(Path.c_str(), 0644), 0);
    // Hold the pipe open for writing, so that a regression fails the checks
    // below instead of hanging in the first open.
    const int Writer = ::open(Path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(Writer, 0);
    TAudioTag Tag;
    EXPECT_FALSE(Service.LoadTag(Q(Path), Tag));
    ASSERT_EQ(Service.GetLastError(), QStringLiteral("File not found."));
    EXPECT_FALSE(Service.SaveTag(FullRecord(Q(Path))));
    EXPECT_EQ(Service.GetLastError(), QStringLiteral("File not found."));
    EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
    ::close(Writer);
}
