// The window's commands on real MP3 files (made with lame at test time)
// through the real tag service: what ends up on disk after save, remove and
// undo, and what a failed write leaves behind.
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/core/tag_service.h"
#include "app/main_model.h"
#include "tags/file_edit.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

// A second of mono silence as a 16-bit WAVE file.
std::string SilenceWave() {
    const uint32_t Samples = 44100, DataBytes = Samples * 2;
    std::string W = "RIFF";
    auto U32 = [&](uint32_t V) {
        for (int i = 0; i < 4; ++i) W += char((V >> (8 * i)) & 0xFF);
    };
    auto U16 = [&](uint16_t V) {
        W += char(V & 0xFF);
        W += char(V >> 8);
    };
    U32(36 + DataBytes);
    W += "WAVEfmt ";
    U32(16);
    U16(1);
    U16(1);
    U32(44100);
    U32(88200);
    U16(2);
    U16(16);
    W += "data";
    U32(DataBytes);
    W.append(DataBytes, '\0');
    return W;
}

class MainModelDiskTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    ITagServicePtr Service = CreateTagService();
    TScriptedUser User;
    TRecordingShell Shell;
    TMainModel Model{Service, User, Shell};

    void SetUp() override {
        if (!testutil::HaveCommand("lame")) GTEST_SKIP() << "lame is not installed";
    }

    // An MP3 with an ID3v2 tag holding Title and a PNG front picture.
    QString MakeMp3(const std::string& Name, const QString& Title, QRgb Colour) {
        const std::string Wave = Dir.file("silence.wav");
        if (!QFileInfo::exists(QString::fromStdString(Wave))) testutil::WriteFile(Wave, SilenceWave());
        const std::string Path = Dir.file(Name);
        EXPECT_EQ(testutil::Run("lame --quiet -b 32 '" + Wave + "' '" + Path + "'"), 0);
        TAudioTag Tag;
        EXPECT_TRUE(Service->LoadTag(Q(Path), Tag)) << Service->GetLastError().toStdString();
        Tag.Title = Title;
        Tag.Artist = QStringLiteral("Artist of ") + Title;
        Tag.CoverData = MakePicture("PNG", Colour, 24);
        Tag.CoverMime = QStringLiteral("image/png");
        EXPECT_TRUE(Service->SaveTag(Tag)) << Service->GetLastError().toStdString();
        return Q(Path);
    }
    TAudioTag OnDisk(const QString& Path) {
        TAudioTag Tag;
        EXPECT_TRUE(Service->LoadTag(Path, Tag)) << Path.toStdString() << ": " << Service->GetLastError().toStdString();
        return Tag;
    }
    void Scan() {
        QFile::remove(Q(Dir.file("silence.wav")));
        ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
        Model.SortByColumn(lcFile);  // rows in file-name order (a click on the
        if (!Model.SortAscending())  // sorted column flips the direction)
            Model.SortByColumn(lcFile);
    }
};

TEST_F(MainModelDiskTest, EditOfFiveFilesAndItsUndoReachTheFilesPicturesIncluded) {
    QStringList Paths;
    QMap<QString, TAudioTag> Before;
    for (int i = 0; i < 5; ++i)
        Paths.append(
            MakeMp3("song" + std::to_string(i) + ".mp3", QStringLiteral("Title %1").arg(i), qRgb(40 * i, 80, 200)));
    for (const QString& P : Paths) Before.insert(P, OnDisk(P));
    const QString Picture = Q(Dir.file("new-cover.jpg"));
    const QByteArray NewCover = MakePicture("JPEG", qRgb(250, 250, 0), 32);
    testutil::WriteFile(Picture.toStdString(), NewCover.toStdString());
    Scan();
    ASSERT_EQ(Model.FileList().rowCount(), 5);

    Model.SelectFiles(Paths);
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("<keep>"));
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("One Album"));
    User.ImageFileAnswer = Picture;
    Model.LoadCover();
    Model.Save();
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 5 files. Errors: 0"));
    for (const QString& P : Paths) {
        const TAudioTag Now = OnDisk(P);
        EXPECT_EQ(Now.Album, QStringLiteral("One Album"));
        EXPECT_EQ(Now.Title, Before[P].Title);  // "<keep>" left the titles alone
        EXPECT_EQ(Now.CoverData, NewCover);
        EXPECT_EQ(Now.CoverMime, QStringLiteral("image/jpeg"));
    }

    Model.Undo();  // the step recorded by Load Cover: records as they were before
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 5 files. Errors: 0"));
    for (const QString& P : Paths) {
        const TAudioTag Now = OnDisk(P);
        EXPECT_EQ(Now.Album, QString()) << P.toStdString();
        EXPECT_EQ(Now.Title, Before[P].Title);
        EXPECT_EQ(Now.Artist, Before[P].Artist);
        EXPECT_EQ(Now.CoverData, Before[P].CoverData) << P.toStdString();
        EXPECT_EQ(Now.CoverMime, QStringLiteral("image/png"));
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(JournalNameOf(P.toStdString()))));
    }
}

TEST_F(MainModelDiskTest, ThreeTitlesShowKeepAndEverySpellingAsASuggestion) {
    const QString A = MakeMp3("1.mp3", QStringLiteral("A"), 0xff0000);
    const QString a = MakeMp3("2.mp3", QStringLiteral("a"), 0xff0000);
    const QString B = MakeMp3("3.mp3", QStringLiteral("B"), 0xff0000);
    Scan();
    Model.SelectFiles({A, a, B});
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("<keep>"));
    EXPECT_EQ(Model.Suggestions(TMainModel::efTitle),
              (QStringList{QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("B")}));
    // The three share one cover: the cache keeps it once.
    EXPECT_EQ(Model.DistinctCoverCount(), 1);
    EXPECT_EQ(Model.TagCache()[A].CoverData.constData(), Model.TagCache()[B].CoverData.constData());
}

TEST_F(MainModelDiskTest, RemoveStripsEveryTagFromBothFiles) {
    const QString P1 = MakeMp3("1.mp3", QStringLiteral("One"), 0x00ff00);
    const QString P2 = MakeMp3("2.mp3", QStringLiteral("Two"), 0x00ff00);
    const QString Kept = MakeMp3("3.mp3", QStringLiteral("Three"), 0x00ff00);
    Scan();
    Model.SelectFiles({P1, P2});
    User.ConfirmAnswers = {true};
    Model.Remove();
    EXPECT_EQ(User.Confirmations, QStringList{QStringLiteral("Clear all editable tag fields for 2 file(s) and save?")});
    EXPECT_EQ(Model.Status(), QStringLiteral("Tags cleared for 2 file(s) (in memory)."));
    EXPECT_TRUE(User.Reports.isEmpty());
    for (const QString& P : {P1, P2}) {
        const QByteArray Bytes = [&] {
            QFile F(P);
            F.open(QIODevice::ReadOnly);
            return F.readAll();
        }();
        EXPECT_FALSE(Bytes.startsWith("ID3")) << P.toStdString();
        EXPECT_NE(Bytes.mid(Bytes.size() - 128, 3), QByteArray("TAG"));
        EXPECT_TRUE(OnDisk(P).IsEmpty());
        EXPECT_GT(OnDisk(P).DurationSec, 0);  // the audio is still there
    }
    EXPECT_EQ(OnDisk(Kept).Title, QStringLiteral("Three"));
    // An independent reader agrees, where it is installed.
    if (testutil::HaveCommand("/usr/bin/python3") &&
        testutil::Run("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") == 0) {
        std::string Out;
        testutil::Run(
            "/usr/bin/python3 -c \"import mutagen,sys; f=mutagen.File(sys.argv[1]); "
            "print(len(f.tags) if f.tags else 0)\" '" +
                P1.toStdString() + "'",
            &Out);
        EXPECT_EQ(Out, "0\n");
    }
}

TEST_F(MainModelDiskTest, FilesThatCannotBeWrittenAreReportedAndStayModified) {
    const QString Gone = MakeMp3("1.mp3", QStringLiteral("Gone"), 0x0000ff);
    const QString Locked = MakeMp3("2.mp3", QStringLiteral("Locked"), 0x0000ff);
    const QString Fine = MakeMp3("3.mp3", QStringLiteral("Fine"), 0x0000ff);
    Scan();
    const QByteArray LockedBefore = [&] {
        QFile F(Locked);
        F.open(QIODevice::ReadOnly);
        return F.readAll();
    }();
    Model.SelectFiles({Gone, Locked, Fine});
    Model.SetEditorText(TMainModel::efGenre, QStringLiteral("Jazz"));
    QFile::remove(Gone);
    ASSERT_EQ(::chmod(Locked.toLocal8Bit().constData(), 0444), 0);
    Model.Save();

    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 1 files. Errors: 2"));
    ASSERT_EQ(User.Reports.size(), 1);
    const QVector<TErrorItem>& Report = User.Reports[0];
    ASSERT_EQ(Report.size(), 2);
    EXPECT_EQ(Report[0], (TErrorItem{Gone, QStringLiteral("File not found.")}));
    EXPECT_EQ(Report[1].FileName, Locked);
    EXPECT_FALSE(Report[1].Message.isEmpty());
    TAudioTag Cached;
    ASSERT_TRUE(Model.TryGetCachedTag(Gone, Cached));
    EXPECT_TRUE(Cached.Modified);
    ASSERT_TRUE(Model.TryGetCachedTag(Locked, Cached));
    EXPECT_TRUE(Cached.Modified);
    ASSERT_TRUE(Model.TryGetCachedTag(Fine, Cached));
    EXPECT_FALSE(Cached.Modified);
    const QByteArray LockedAfter = [&] {
        QFile F(Locked);
        F.open(QIODevice::ReadOnly);
        return F.readAll();
    }();
    EXPECT_EQ(LockedAfter, LockedBefore);
    EXPECT_EQ(OnDisk(Fine).Genre, QStringLiteral("Jazz"));
}

}  // namespace
