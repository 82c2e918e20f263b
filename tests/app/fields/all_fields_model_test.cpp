// The all-fields and pictures views' models on real files through the real
// tag service: an MP3 holding ID3v2, APEv2 and ID3v1 tags, edited by any
// name, with several values, over several files, undone, and what ends up
// on disk.
#include <QFile>
#include <gtest/gtest.h>

#include "app/core/record_entries.h"
#include "app/core/tag_service.h"
#include "app/fields/all_fields_model.h"
#include "app/fields/picture_list_model.h"
#include "app/main_model.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/tags.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;
using namespace tbytes;

namespace {

constexpr uint32_t Bit(TTagType Kind) { return 1u << Kind; }

class AllFieldsTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    ITagServicePtr Service = CreateTagService();
    TScriptedUser User;
    TRecordingShell Shell;
    TMainModel Model{Service, User, Shell};

    // ID3v2.4 (title, artist, album, a MusicBrainz identifier in a TXXX),
    // MPEG frames, an APEv2 tag (the same plus a ReplayGain figure only it
    // holds) and an ID3v1 tag.
    std::string MakeMp3(const std::string& Name, const std::string& Album) {
        const std::string Path = Dir.file(Name);
        testutil::WriteFile(Path,
                            Concat({Tag(4, Concat({Frame(4, "TIT2", Text0("Song")), Frame(4, "TPE1", Text0("Singer")),
                                                   Frame(4, "TALB", Text0(Album)),
                                                   Frame(4, "TXXX", UserText0("MusicBrainz Album Id", "mb-1"))})),
                                    MpegFrames(20), ID3v1Block("Song", "Singer", Album, "", "", 0, 255)}));
        TTags Tags;
        EXPECT_EQ(Tags.LoadFromFile(Path), 0);
        Tags.Add("REPLAYGAIN_TRACK_GAIN")->Value = "-6.50 dB";
        EXPECT_EQ(Tags.SaveToFile(Path, ttAPEv2), 0);
        return Path;
    }
    void Scan() {
        ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
        Model.SortByColumn(lcFile);
        if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    }
    static std::vector<uint8_t> Tail(const std::string& Path, size_t N) {
        const std::vector<uint8_t> All = testutil::ReadFile(Path);
        return std::vector<uint8_t>(All.end() - (ptrdiff_t)std::min(N, All.size()), All.end());
    }
    std::unique_ptr<TTags> OnDisk(const std::string& Path) {
        auto Tags = std::make_unique<TTags>();
        EXPECT_EQ(Tags->LoadFromFile(Path), 0);
        return Tags;
    }
};

const TAllFieldsModel::TRow& RowNamed(const TAllFieldsModel& Fields, const char* Name) {
    const int R = Fields.FindRow(QLatin1String(Name));
    static const TAllFieldsModel::TRow None;
    EXPECT_GE(R, 0) << Name;
    return R >= 0 ? Fields.Rows()[R] : None;
}

TEST_F(AllFieldsTest, ShowsEveryFieldOfEveryKindWithTheKindsThatHoldIt) {
    MakeMp3("a.mp3", "Album");
    Scan();
    Model.SelectRows({0});
    TAllFieldsModel Fields(Model);
    ASSERT_EQ(Fields.FileCount(), 1);

    EXPECT_EQ(RowNamed(Fields, "TITLE").Values, QStringList{QStringLiteral("Song")});
    EXPECT_EQ(RowNamed(Fields, "TITLE").Kinds, Bit(ttID3v2) | Bit(ttAPEv2) | Bit(ttID3v1));
    EXPECT_EQ(TAllFieldsModel::KindsText(RowNamed(Fields, "TITLE").Kinds), QStringLiteral("APEv2, ID3v1, ID3v2"));
    // A user-defined frame is shown by its description; ID3v1 has no place for it.
    const TAllFieldsModel::TRow& Mb = RowNamed(Fields, "MusicBrainz Album Id");
    EXPECT_EQ(Mb.Values, QStringList{QStringLiteral("mb-1")});
    EXPECT_EQ(Mb.Kinds & Bit(ttID3v1), 0u);
    EXPECT_NE(Mb.Kinds & Bit(ttID3v2), 0u);
    EXPECT_EQ(TAllFieldsModel::ShownName(Mb.Key), QStringLiteral("MusicBrainz Album Id"));
    // Only the APEv2 tag holds the ReplayGain figure.
    const TAllFieldsModel::TRow& Gain = RowNamed(Fields, "REPLAYGAIN_TRACK_GAIN");
    EXPECT_EQ(Gain.Values, QStringList{QStringLiteral("-6.50 dB")});
    EXPECT_EQ(Gain.Kinds, Bit(ttAPEv2));
    EXPECT_EQ(Fields.data(Fields.index(Fields.FindRow(QStringLiteral("TITLE")), TAllFieldsModel::fcValues)).toString(),
              QStringLiteral("Song"));
}

TEST_F(AllFieldsTest, AddEditAndDeleteByAnyNameSaveOnlyWhatChanged) {
    const std::string Path = MakeMp3("a.mp3", "Album");
    const std::vector<uint8_t> ID3v1Before = Tail(Path, 128);
    Scan();
    Model.SelectRows({0});
    TAllFieldsModel Fields(Model);

    QString Error;
    ASSERT_TRUE(Fields.AddField(QStringLiteral("MusicBrainz Release Track Id"), {QStringLiteral("rt-9")}, Error))
        << Error.toStdString();
    // Several values in one field.
    ASSERT_TRUE(Fields.SetValues(Fields.FindRow(QStringLiteral("ARTIST")),
                                 {QStringLiteral("Singer"), QStringLiteral("Guest")}));
    ASSERT_TRUE(Fields.DeleteRows({Fields.FindRow(QStringLiteral("REPLAYGAIN_TRACK_GAIN"))}));
    // The editor shows the edit at once, as the record's own field.
    EXPECT_EQ(Model.EditorText(TMainModel::efArtist), QStringLiteral("Singer\r\nGuest"));
    EXPECT_EQ(Model.UndoCount(), 3);
    Model.Save();
    EXPECT_TRUE(User.Reports.isEmpty());

    const auto Tags = OnDisk(Path);
    std::vector<std::string> Artists;
    Tags->GetList("ARTIST", Artists);
    EXPECT_EQ(Tags->GetText("MusicBrainz Release Track Id"), "rt-9");
    EXPECT_EQ(Tags->GetText("MusicBrainz Album Id"), "mb-1");
    EXPECT_EQ(Tags->Exists("REPLAYGAIN_TRACK_GAIN"), -1);
    EXPECT_EQ(Tags->GetText("TITLE"), "Song");
    // The ID3v2 tag holds both artists and the new identifier as a TXXX.
    EXPECT_EQ(Tags->ID3v2Tag().FindTXXXByDescription("MusicBrainz Release Track Id") >= 0, true);
    // ID3v1 holds neither the identifier nor a second artist: its bytes stay.
    EXPECT_EQ(Tail(Path, 128), ID3v1Before);

    // A name no tag can hold is refused; so is a field without a value.
    EXPECT_FALSE(Fields.AddField(QStringLiteral("A=B"), {QStringLiteral("x")}, Error));
    EXPECT_FALSE(Error.isEmpty());
    EXPECT_FALSE(Fields.AddField(QStringLiteral("EMPTY"), {}, Error));
}

TEST_F(AllFieldsTest, AddingToAnExistingNameAddsAValue) {
    MakeMp3("a.mp3", "Album");
    Scan();
    Model.SelectRows({0});
    TAllFieldsModel Fields(Model);
    QString Error;
    ASSERT_TRUE(Fields.AddField(QStringLiteral("musicbrainz album id"),
                                {QStringLiteral("mb-2"), QStringLiteral("mb-1")}, Error));
    EXPECT_EQ(RowNamed(Fields, "MusicBrainz Album Id").Values,
              (QStringList{QStringLiteral("mb-1"), QStringLiteral("mb-2")}));
    EXPECT_EQ(Fields.FindRow(QStringLiteral("musicbrainz album id")),
              Fields.FindRow(QStringLiteral("MusicBrainz Album Id")));
}

TEST_F(AllFieldsTest, SeveralFilesShowKeepWhereTheyDifferAndTakeOneValue) {
    const std::string A = MakeMp3("a.mp3", "First"), B = MakeMp3("b.mp3", "Second");
    Scan();
    Model.SelectRows({0, 1});
    TAllFieldsModel Fields(Model);
    ASSERT_EQ(Fields.FileCount(), 2);
    const int Album = Fields.FindRow(QStringLiteral("ALBUM"));
    EXPECT_TRUE(Fields.Rows()[Album].Differs);
    EXPECT_EQ(Fields.data(Fields.index(Album, TAllFieldsModel::fcValues)).toString(), TMainModel::KeepMarker());
    EXPECT_FALSE(RowNamed(Fields, "TITLE").Differs);

    ASSERT_TRUE(Fields.SetValues(Album, {QStringLiteral("Both")}));
    EXPECT_FALSE(RowNamed(Fields, "ALBUM").Differs);
    Model.Save();
    EXPECT_EQ(OnDisk(A)->GetText("ALBUM"), "Both");
    EXPECT_EQ(OnDisk(B)->GetText("ALBUM"), "Both");
    EXPECT_EQ(OnDisk(B)->GetText("TITLE"), "Song");
}

TEST_F(AllFieldsTest, UndoPutsBackTheFieldsOnDisk) {
    const std::string Path = MakeMp3("a.mp3", "Album");
    Scan();
    Model.SelectRows({0});
    TAllFieldsModel Fields(Model);
    ASSERT_TRUE(Fields.DeleteRows({Fields.FindRow(QStringLiteral("MusicBrainz Album Id"))}));
    Model.Save();
    EXPECT_EQ(OnDisk(Path)->Exists("MusicBrainz Album Id"), -1);

    Model.Undo();  // restores the record and saves it
    EXPECT_EQ(OnDisk(Path)->GetText("MusicBrainz Album Id"), "mb-1");
    EXPECT_GE(RowNamed(Fields, "MusicBrainz Album Id").Values.size(), 1);
    EXPECT_EQ(OnDisk(Path)->GetText("REPLAYGAIN_TRACK_GAIN"), "-6.50 dB");
}

TEST_F(AllFieldsTest, TheEditorsFieldsAndTheListAgree) {
    // A title typed into the editor shows in the list before it is saved,
    // and an entry the editor does not show survives the editor's save.
    const std::string Path = MakeMp3("a.mp3", "Album");
    Scan();
    Model.SelectRows({0});
    TAllFieldsModel Fields(Model);
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("New title"));
    Model.ApplyEditorToSelection();
    Fields.Reload();  // as the view does each time it is shown
    EXPECT_EQ(RowNamed(Fields, "TITLE").Values, QStringList{QStringLiteral("New title")});
    Model.Save();
    const auto Tags = OnDisk(Path);
    EXPECT_EQ(Tags->GetText("TITLE"), "New title");
    EXPECT_EQ(Tags->GetText("MusicBrainz Album Id"), "mb-1");
    EXPECT_EQ(Tags->GetText("REPLAYGAIN_TRACK_GAIN"), "-6.50 dB");
}

TEST(AllFieldsText, ValuesFromTheEditBox) {
    struct TCase {
        bool OneText;
        const char* Text;
        QStringList Want;
    } const Cases[] = {
        {false, "a\nb\n\nc\n", {"a", "b", "c"}},
        {false, "a\r\nb", {"a", "b"}},
        {true, "line 1\nline 2", {"line 1\r\nline 2"}},
        {true, "", {}},
        {false, "", {}},
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(TAllFieldsModel::ValuesFromText(C.OneText, QString::fromUtf8(C.Text)), C.Want) << C.Text;
    EXPECT_TRUE(TAllFieldsModel::IsTextField(QStringLiteral("comment"), {}));
    EXPECT_TRUE(TAllFieldsModel::IsTextField(QStringLiteral("INVOLVEDPEOPLE"), {}));
    EXPECT_TRUE(TAllFieldsModel::IsTextField(QStringLiteral("X"), {QStringLiteral("a\r\nb")}));
    EXPECT_FALSE(TAllFieldsModel::IsTextField(QStringLiteral("ARTIST"), {QStringLiteral("a"), QStringLiteral("b")}));
    QString Error;
    for (const char* Bad : {"", "A=B", "line\nbreak", "tab\there"})
        EXPECT_FALSE(TAllFieldsModel::ValidName(QString::fromUtf8(Bad), Error)) << Bad;
    for (const char* Good :
         {"MusicBrainz Album Id", "REPLAYGAIN_TRACK_GAIN", "WM/Mood", "----:com.example:x", "Ünïcode"})
        EXPECT_TRUE(TAllFieldsModel::ValidName(QString::fromUtf8(Good), Error)) << Good;
}

// --- pictures -----------------------------------------------------------------

class PictureListTest : public AllFieldsTest {
protected:
    QString WritePicture(const std::string& Name, const QByteArray& Data) {
        const std::string P = Dir.file(Name);
        testutil::WriteFile(P, std::string(Data.constData(), (size_t)Data.size()));
        return Q(P);
    }
};

TEST_F(PictureListTest, AddReplaceRemoveAndSaveKeepTheRecordsCover) {
    const std::string Path = MakeMp3("a.mp3", "Album");
    const QByteArray Front = MakePicture("PNG", qRgb(200, 0, 0), 20), Back = MakePicture("JPG", qRgb(0, 0, 200), 12),
                     Other = MakePicture("PNG", qRgb(0, 200, 0), 16);
    const QString FrontFile = WritePicture("front.png", Front), BackFile = WritePicture("back.jpg", Back),
                  OtherFile = WritePicture("other.png", Other);
    Scan();
    Model.SelectRows({0});
    TPictureListModel Pictures(Model);
    EXPECT_EQ(Pictures.rowCount(), 0);

    QString Error;
    ASSERT_TRUE(Pictures.AddPicture(3, QString(), FrontFile, Error)) << Error.toStdString();
    ASSERT_TRUE(Pictures.AddPicture(4, QStringLiteral("Back side"), BackFile, Error)) << Error.toStdString();
    ASSERT_EQ(Pictures.rowCount(), 2);
    const TPictureListModel::TRow& B = Pictures.Rows()[1];
    EXPECT_EQ(B.Type, 4u);
    EXPECT_EQ(B.Mime, QStringLiteral("image/jpeg"));
    EXPECT_EQ(Pictures.data(Pictures.index(1, TPictureListModel::pcPixels)).toString(), QStringLiteral("12 \u00D7 12"));
    EXPECT_EQ(Pictures.data(Pictures.index(1, TPictureListModel::pcBytes)).toString(), QString::number(Back.size()));
    EXPECT_EQ(Pictures.data(Pictures.index(1, TPictureListModel::pcType)).toString(), QStringLiteral("Back cover"));
    // The cover pane shows the front cover, not the picture added last.
    EXPECT_EQ(Model.CoverDisplay().Data(), Front);

    // Replacing the back cover keeps its type and description.
    ASSERT_TRUE(Pictures.ReplacePicture(1, OtherFile, Error));
    EXPECT_EQ(Pictures.Rows()[1].Data, Other);
    EXPECT_EQ(Pictures.Rows()[1].Description, QStringLiteral("Back side"));
    ASSERT_TRUE(Pictures.SetTypeAndDescription(1, 8, QStringLiteral("Band")));
    Model.Save();
    ASSERT_TRUE(User.Reports.isEmpty());
    {
        const auto Tags = OnDisk(Path);
        ASSERT_EQ(Tags->CoverArtCount(), 2);
        EXPECT_EQ(Tags->CoverArtAt(1)->CoverType, 8u);
        EXPECT_EQ(Tags->CoverArtAt(1)->Description, "Band");
        EXPECT_EQ(Tags->CoverArtAt(1)->Data, std::vector<uint8_t>(Other.begin(), Other.end()));
    }

    const QString Saved = Q(Dir.file("saved.png"));
    ASSERT_TRUE(Pictures.SavePicture(1, Saved, Error));
    QFile SavedFile(Saved);
    ASSERT_TRUE(SavedFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(SavedFile.readAll(), Other);
    EXPECT_EQ(TPictureListModel::SuggestedFileName(Pictures.Rows()[1]), QStringLiteral("artist.png"));

    ASSERT_TRUE(Pictures.RemoveRows({0}));
    EXPECT_TRUE(Model.CoverDisplay().Data() == Other);  // the one picture left is the cover now
    Model.Save();
    ASSERT_EQ(OnDisk(Path)->CoverArtCount(), 1);
    EXPECT_EQ(OnDisk(Path)->CoverArtAt(0)->CoverType, 8u);

    // What is no picture is refused, and nothing changes.
    const int Steps = Model.UndoCount();
    EXPECT_FALSE(Pictures.AddPicture(5, QString(), Q(Path), Error));
    EXPECT_FALSE(Error.isEmpty());
    EXPECT_EQ(Model.UndoCount(), Steps);
}

TEST_F(PictureListTest, SeveralFilesShowKeepForPicturesThatDiffer) {
    MakeMp3("a.mp3", "A");
    MakeMp3("b.mp3", "B");
    const QString Red = WritePicture("red.png", MakePicture("PNG", qRgb(200, 0, 0))),
                  Blue = WritePicture("blue.png", MakePicture("PNG", qRgb(0, 0, 200)));
    Scan();
    Model.SelectRows({0, 1});
    TPictureListModel Pictures(Model);
    QString Error;
    ASSERT_TRUE(Pictures.AddPicture(3, QString(), Red, Error));
    ASSERT_EQ(Pictures.rowCount(), 1);
    EXPECT_FALSE(Pictures.Rows()[0].Differs);
    Model.SelectRows({1});
    TPictureListModel One(Model);
    ASSERT_TRUE(One.ReplacePicture(0, Blue, Error));
    Model.SelectRows({0, 1});
    Pictures.Reload();
    ASSERT_EQ(Pictures.rowCount(), 1);
    EXPECT_TRUE(Pictures.Rows()[0].Differs);
    EXPECT_EQ(Pictures.data(Pictures.index(0, TPictureListModel::pcBytes)).toString(), TMainModel::KeepMarker());
    EXPECT_EQ(Pictures.data(Pictures.index(0, TPictureListModel::pcType)).toString(), QStringLiteral("Front cover"));
}

}  // namespace

// --- any name, in every kind of tag ---------------------------------------------

namespace {

// What mutagen reads under names holding "VELTRANO" in a file, as a sorted
// list of "NAME=value" (names upper-cased: mutagen gives Vorbis names in
// lower case; an MP4 freeform value is bytes).
std::string MutagenNotes(const std::string& Path) {
    std::string Out;
    testutil::Run(
        "/usr/bin/python3 -c \"import sys, mutagen; f = mutagen.File(sys.argv[1]); "
        "text = lambda v: bytes(v).decode() if isinstance(v, bytes) else str(v); "
        "print(sorted('%s=%s' % (k.upper(), text(v)) for k, vs in f.tags.items() if 'VELTRANO' in k.upper() "
        "for v in (vs if isinstance(vs, list) else [vs])))\" '" +
            Path + "'",
        &Out);
    return Out;
}

}  // namespace

TEST_F(AllFieldsTest, AnyNameGoesIntoEveryKindOfTag) {
    if (!testutil::HaveCommand("ffmpeg") || testutil::Run("/usr/bin/python3 -c 'import mutagen'") != 0)
        GTEST_SKIP() << "ffmpeg or mutagen is not installed";
    // Vorbis comments (FLAC, Ogg), an MP4 freeform item, a WMA attribute.
    const std::pair<const char*, const char*> Files[] = {
        {"a.flac", "flac"}, {"b.ogg", "libvorbis"}, {"c.m4a", "aac"}, {"d.wma", "wmav2"}};
    for (const auto& [Name, Codec] : Files)
        ASSERT_EQ(testutil::Run("ffmpeg -loglevel error -f lavfi -i sine=duration=0.3 -c:a " + std::string(Codec) +
                                " -metadata title=Kept '" + Dir.file(Name) + "'"),
                  0)
            << Name;
    Scan();
    for (int Row = 0; Row < 4; ++Row) {
        Model.SelectRows({Row});
        TAllFieldsModel Fields(Model);
        QString Error;
        ASSERT_TRUE(
            Fields.AddField(QStringLiteral("VELTRANO_NOTE"), {QStringLiteral("one"), QStringLiteral("two")}, Error))
            << Error.toStdString();
    }
    Model.Save();
    ASSERT_TRUE(User.Reports.isEmpty()) << User.Reports.first().first().Message.toStdString();
    const std::pair<const char*, const char*> Want[] = {
        {"a.flac", "['VELTRANO_NOTE=one', 'VELTRANO_NOTE=two']"},
        {"b.ogg", "['VELTRANO_NOTE=one', 'VELTRANO_NOTE=two']"},
        {"c.m4a", "['----:COM.APPLE.ITUNES:VELTRANO_NOTE=one', '----:COM.APPLE.ITUNES:VELTRANO_NOTE=two']"},
        {"d.wma", "['VELTRANO_NOTE=one', 'VELTRANO_NOTE=two']"},
    };
    for (const auto& [Name, Notes] : Want) {
        const std::string Path = Dir.file(Name);
        std::string Got = MutagenNotes(Path);
        EXPECT_EQ(Got, std::string(Notes) + "\n") << Name;
        EXPECT_EQ(OnDisk(Path)->GetText("TITLE"), "Kept") << Name;
    }
}
