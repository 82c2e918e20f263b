// The list as CSV and as an M3U8 playlist: the exact bytes for awkward
// values and paths, and the window's export command with its questions.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/file_list_model.h"
#include "app/file_ops/list_export.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

TAudioTag Record(const QString& Path, const QString& Title, const QString& Artist, int Seconds) {
    TAudioTag Tag = MakeTag(Path, Title, Artist);
    Tag.DurationSec = Seconds;
    return Tag;
}

QVector<int> AllRows(const TFileListModel& List) {
    QVector<int> Rows;
    for (int r = 0; r < List.rowCount(); ++r) Rows.append(r);
    return Rows;
}

TEST(ListExport, CsvQuotesWhatNeedsItAndEndsRecordsWithCrLf) {
    TFileListModel List;
    TAudioTag Tag =
        Record(QStringLiteral("/m/a,b.mp3"), QStringLiteral("Say \"hi\""), QStringLiteral("One\r\nTwo"), 185);
    Tag.Album = QStringLiteral("Ågætis");
    Tag.AlbumArtist = QStringLiteral("x\ry");
    Tag.Year = QStringLiteral("2001");
    Tag.Track = QStringLiteral("3/12");
    List.AddRow(Tag.FileName, Tag);
    List.AddRow(QStringLiteral("/m/plain.mp3"), Record(QStringLiteral("/m/plain.mp3"), QStringLiteral("T"), {}, 0));
    const QByteArray Want =
        "\xEF\xBB\xBF"
        "File,Directory,Title,Artist,Album Artist,Album,Duration,Year,Track\r\n"
        "\"a,b.mp3\",/m,\"Say \"\"hi\"\"\",\"One\r\nTwo\",\"x\ry\",\xC3\x85g\xC3\xA6tis,3:05,2001,3/12\r\n"
        "plain.mp3,/m,T,,,,,,\r\n";
    EXPECT_EQ(ListCsv(List, AllRows(List)), Want);
    // Chosen rows only, in the order given; no rows: the header alone.
    EXPECT_TRUE(ListCsv(List, {1}).endsWith("\r\nplain.mp3,/m,T,,,,,,\r\n"));
    EXPECT_EQ(ListCsv(List, {}).count("\r\n"), 1);
}

TEST(ListExport, PlaylistPathsTitlesAndDurations) {
    TFileListModel List;
    const std::pair<const char*, TAudioTag> Rows[] = {
        {"/m/list/A/01 - x.mp3", Record({}, QStringLiteral("Song"), QStringLiteral("Band"), 200)},
        {"/m/list/#hash.mp3", Record({}, QStringLiteral("Hash"), {}, 0)},
        {"/m/other/b.flac", Record({}, {}, QStringLiteral("One\r\nTwo"), 61)},
        {"/m/list/bad\nname.mp3", Record({}, QStringLiteral("Gone"), {}, 1)},
        {"/m/listing/c.ogg", Record({}, QStringLiteral("Near"), {}, 2)},
    };
    for (const auto& [Path, Tag] : Rows) List.AddRow(QString::fromUtf8(Path), Tag);
    QStringList LeftOut;
    const QByteArray Text = ListM3u8(List, AllRows(List), QStringLiteral("/m/list/all.m3u8"), LeftOut);
    EXPECT_EQ(Text, QByteArray("#EXTM3U\n"
                               "#EXTINF:200,Band - Song\n"
                               "A/01 - x.mp3\n"
                               "#EXTINF:-1,Hash\n"
                               "./#hash.mp3\n"
                               "#EXTINF:61,One; Two - b\n"
                               "/m/other/b.flac\n"
                               "#EXTINF:2,Near\n"
                               "/m/listing/c.ogg\n"));
    EXPECT_EQ(LeftOut, QStringList{QStringLiteral("/m/list/bad\nname.mp3")});
}

class ListExportTest : public TModelTest {
protected:
    QString Root = Q(Dir.path());
    QStringList Paths;

    void SetUp() override {
        for (const char* Name : {"1 a.mp3", "2 b.mp3", "10 c.mp3"}) {
            const QString Path = Root + u'/' + QLatin1String(Name);
            QFile F(Path);
            ASSERT_TRUE(F.open(QIODevice::WriteOnly));
            Service->Stored.insert(Path, Record(Path, QLatin1String(Name).left(1), QStringLiteral("Artist"), 60));
            Paths.append(Path);
        }
        ASSERT_TRUE(ScanAndWait(Model, Root));
    }
    QByteArray Read(const QString& Path) {
        QFile F(Path);
        return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
    }
};

TEST_F(ListExportTest, SelectionOrWholeListAsTheUserAnswers) {
    Model.SelectFiles({Paths[0], Paths[2]});
    // Yes: the two selected rows; a name without extension gets one.
    User.ConfirmAnswers = {true};
    User.SaveFileAnswer = Root + QStringLiteral("/mine");
    TListExport(Model).Export(TExportFormat::Csv);
    EXPECT_EQ(User.Confirmations,
              QStringList{QStringLiteral("Export only the 2 selected files? No exports all 3 files of the list.")});
    EXPECT_EQ(User.SaveAsked, QStringList{QStringLiteral("Export List as CSV|CSV files (*.csv)|") + Root + u'/' +
                                          QDir(Root).dirName() + QStringLiteral(".csv")});
    const QByteArray Csv = Read(Root + QStringLiteral("/mine.csv"));
    EXPECT_EQ(Csv.count("\r\n"), 3);
    EXPECT_TRUE(Csv.contains("\r\n1 a.mp3,")) << Csv.constData();
    EXPECT_TRUE(Csv.contains("\r\n10 c.mp3,")) << Csv.constData();
    EXPECT_EQ(Model.Status(), QStringLiteral("Exported 2 files to ") + Root + QStringLiteral("/mine.csv"));

    // No: every row, in the list's (natural) order.
    User.ConfirmAnswers = {false};
    User.SaveFileAnswer = Root + QStringLiteral("/all.m3u8");
    TListExport(Model).Export(TExportFormat::M3u8);
    EXPECT_EQ(Read(User.SaveFileAnswer), QByteArray("#EXTM3U\n#EXTINF:60,Artist - 1\n1 a.mp3\n"
                                                    "#EXTINF:60,Artist - 2\n2 b.mp3\n"
                                                    "#EXTINF:60,Artist - 1\n10 c.mp3\n"));
    // One row selected: the whole list without a question.
    Model.SelectFiles({Paths[1]});
    User.Confirmations.clear();
    TListExport(Model).Export(TExportFormat::M3u8);
    EXPECT_TRUE(User.Confirmations.isEmpty());
    EXPECT_EQ(Read(User.SaveFileAnswer).count("#EXTINF"), 3);
}

TEST_F(ListExportTest, CancelEmptyListAndUnwritableTarget) {
    User.SaveFileAnswer.clear();
    TListExport(Model).Export(TExportFormat::Csv);
    EXPECT_EQ(QDir(Root).entryList(QDir::Files).size(), 3);  // cancelled: nothing written
    EXPECT_TRUE(User.Errors.isEmpty());

    User.SaveFileAnswer = Root + QStringLiteral("/no such folder/x.csv");
    TListExport(Model).Export(TExportFormat::Csv);
    ASSERT_EQ(User.Errors.size(), 1);
    EXPECT_TRUE(User.Errors[0].startsWith(QStringLiteral("Could not write the file:\r\n") + User.SaveFileAnswer))
        << User.Errors[0].toStdString();

    // An existing file is replaced whole.
    User.SaveFileAnswer = Root + QStringLiteral("/old.csv");
    testutil::WriteFile(User.SaveFileAnswer.toStdString(), std::string(100000, 'x'));
    TListExport(Model).Export(TExportFormat::Csv);
    EXPECT_TRUE(Read(User.SaveFileAnswer)
                    .startsWith("\xEF\xBB\xBF"
                                "File,"));
    EXPECT_LT(Read(User.SaveFileAnswer).size(), 1000);

    Model.SetFilterText(QStringLiteral("nothing matches this"));
    User.SaveAsked.clear();
    TListExport(Model).Export(TExportFormat::Csv);
    EXPECT_EQ(User.Informed, QStringList{QStringLiteral("The list is empty: there is nothing to export.")});
    EXPECT_TRUE(User.SaveAsked.isEmpty());
}

}  // namespace
