// The auto-tag command over the window model with an in-memory tag service,
// against a local server: the per-file flow, the messages, the single undo
// step and the single save, cancelling, and the pick dialog's rules.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>
#include <deque>
#include <gtest/gtest.h>

#include "app/lookup/auto_tag_command.h"
#include "app/lookup/auto_tag_pick.h"
#include "app/main_model.h"
#include "tests/app/lookup/local_http_server.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace lookuptest;
using namespace windowtest;

namespace {

const char* const kGodspeedRelease = "6a76904c-0caf-34e1-8cc2-7d95e86a3824";
const char* const kShoreRelease = "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49";

// The command's windows answered from a script, later from the event loop
// as a user would: a row number to pick, or -1 for Cancel; every message is
// recorded and closed.
class TScriptedPicks : public IAutoTagUi {
public:
    std::deque<int> Answers;
    std::deque<bool> ReplaceAnswers;  // the "Replace covers" box per pick; empty: as offered
    QStringList Headings;
    QStringList Progress;
    QStringList Messages;
    QVector<bool> ReplaceOffered;  // the box as each pick dialog opened
    int Begun = 0, Ended = 0;
    std::function<void()> CancelButton;
    std::function<void()> WhilePicking;
    std::unique_ptr<QObject> Pending = std::make_unique<QObject>();  // the queued answers

    void BeginProgress(int /*FileCount*/, std::function<void()> OnCancel) override {
        ++Begun;
        CancelButton = std::move(OnCancel);
    }
    void ShowProgress(int FileIndex, const QString& Text) override {
        Progress.append(QString::number(FileIndex) + QLatin1Char(' ') + Text);
    }
    void EndProgress() override {
        ++Ended;
        // Closed without an answer.
        Pending = std::make_unique<QObject>();
    }
    void PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates, bool ReplaceCovers,
                       std::function<void(const TAutoTagPickAnswer&)> Done) override {
        Headings.append(Heading);
        ReplaceOffered.append(ReplaceCovers);
        TAutoTagPickAnswer Answer;
        Answer.ReplaceCovers = ReplaceCovers;
        if (!ReplaceAnswers.empty()) {
            Answer.ReplaceCovers = ReplaceAnswers.front();
            ReplaceAnswers.pop_front();
        }
        TAutoTagPickModel Model;
        Model.SetCandidates(Candidates);
        int Row = -1;
        if (!Answers.empty()) {
            Row = Answers.front();
            Answers.pop_front();
        }
        Model.Select(Row);
        Answer.Picked = Model.Finish(Row >= 0, Answer.Pick);
        QTimer::singleShot(0, Pending.get(), [this, Answer, Done] {
            if (WhilePicking) WhilePicking();
            Done(Answer);
        });
    }
    void ShowMessage(bool, const QString& Text, std::function<void()> Closed) override {
        Messages.append(Text);
        QTimer::singleShot(0, Pending.get(), Closed);
    }
};

QByteArray Json(const QJsonObject& Object) { return QJsonDocument(Object).toJson(QJsonDocument::Compact); }

// Two hits for the Godspeed searches: "Storm" on its release (assembled from
// the recorded release), and a recording on no release without a credit.
QByteArray GodspeedSearch() {
    QJsonObject Answer = QJsonDocument::fromJson(Fixture("search-godspeed-storm.json")).object();
    QJsonArray Recordings = Answer.value("recordings").toArray();
    Recordings.append(QJsonObject{{"id", "11111111-2222-3333-4444-666666666666"},
                                  {"score", 80},
                                  {"title", "Storm (live)"},
                                  {"artist-credit", QJsonArray{}},
                                  {"releases", QJsonArray{}}});
    Answer.insert("recordings", Recordings);
    return Json(Answer);
}

TServedAnswer Answer(int Status, const QByteArray& Reason, const QByteArray& Body = QByteArray()) {
    TServedAnswer A;
    A.Status = Status;
    A.Reason = Reason;
    A.Body = Body;
    return A;
}

class AutoTagCommandTest : public TModelTest {
protected:
    TScriptedPicks Picks;
    TLocalHttpServer Server;
    TAutoTagCommand Command{Model, Picks};
    int Finished = 0;
    QStringList Searches;  // artist of every search, in order
    QStringList SaveStatuses;
    int SlowSearchMs = 0;

    void SetUp() override {
        ASSERT_TRUE(Server.Listen());
        Command.SetBaseUrl(Server.BaseUrl());
        Command.SetCoverArtUrl(Server.BaseUrl() + "/caa");
        Command.SetMinIntervalMs(0);
        QObject::connect(&Command, &TAutoTagCommand::Finished, [this] { ++Finished; });
        Server.Handler = [this](const TServedRequest& R) { return Route(R); };
        QObject::connect(&Model, &TMainModel::StatusChanged, [this](const QString& Text) {
            if (Text.startsWith("Saved tags to")) SaveStatuses.append(Text);
        });
    }

    TServedAnswer Route(const TServedRequest& R) {
        const QString Target = QString::fromUtf8(R.Target);
        if (Target.startsWith("/ws/2/recording/")) {
            const QString Query =
                QUrlQuery(QUrl(Target).query()).queryItemValue("query", QUrl::FullyDecoded).replace('+', ' ');
            const QString Artist = Query.section('"', 1, 1);
            Searches.append(Artist);
            TServedAnswer A;
            if (Artist.startsWith("Howard"))
                A = Answer(200, "OK", Fixture("recording-search_mb-solr_recording-list.json"));
            else if (Artist.startsWith("Godspeed"))
                A = Answer(200, "OK", GodspeedSearch());
            else if (Artist == "Broken")
                A = Answer(200, "OK", R"({"recordings":[{"title":"x","artist-credit":"Broken"}]})");
            else if (Artist == "Busy")
                A = Answer(503, "Service Unavailable");
            else
                A = Answer(200, "OK", R"({"created":"2026-01-01T00:00:00Z","count":0,"offset":0,"recordings":[]})");
            A.DelayMs = SlowSearchMs;
            return A;
        }
        if (Target.startsWith(QStringLiteral("/ws/2/release/") + kGodspeedRelease))
            return Answer(200, "OK", Fixture("eval_release_6a76904c.json"));
        // The cover archive holds nothing unless a test says otherwise.
        if (Target.startsWith("/caa/")) return Covers ? Covers(R) : Answer(404, "Not Found");
        return Answer(500, "Internal Server Error");
    }
    std::function<TServedAnswer(const TServedRequest&)> Covers;

    // Starts the run; it ends from the event loop.
    void RunToEnd() {
        const int Before = Finished;
        Command.Run();
        ASSERT_TRUE(WaitUntil([&] { return Finished > Before; }, 60000));
        EXPECT_FALSE(Command.IsRunning());
    }

    QString AddFile(const QString& Name, const QString& Artist, const QString& Title) {
        const QString Path = Q(Dir.path()) + QLatin1Char('/') + Name;
        testutil::WriteFile(Path.toStdString(), std::string("x"));
        TAudioTag T = MakeTag(Path, Title, Artist);
        T.Album = "Old Album";
        T.AlbumArtist = "Old Album Artist";
        T.Year = "1990";
        T.Genre = "Soundtrack";
        T.Track = "3";
        Service->Stored.insert(Path, T);
        return Path;
    }
    // Scans, sorts by file name and selects these files.
    void ScanAndSelect(const QStringList& Paths) {
        ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
        Model.SortByColumn(lcFile);
        if (!Model.SortAscending()) Model.SortByColumn(lcFile);
        Model.SelectFiles(Paths);
        ASSERT_EQ(Model.GetSelectedFiles(), Paths);
    }
    TAudioTag Stored(const QString& Path) { return Service->Stored.value(Path); }
};

TEST_F(AutoTagCommandTest, ThreeFilesWithTheSecondPickCancelled) {
    const QString A = AddFile("a.mp3", "Howard Shore", "Roots");
    const QString B = AddFile("b.mp3", "Godspeed", "Storm");
    const QString C = AddFile("c.mp3", "Godspeed", "Storm");
    ScanAndSelect({A, B, C});
    Picks.Answers = {0, -1, 0};
    RunToEnd();

    EXPECT_EQ(Searches, QStringList({"Howard Shore", "Godspeed", "Godspeed"}));
    EXPECT_EQ(Picks.Headings, QStringList({"Results for " + A, "Results for " + B, "Results for " + C}));
    EXPECT_EQ(Picks.Begun, 1);
    EXPECT_EQ(Picks.Ended, 1);
    // One save at the end writes the changed file.
    EXPECT_EQ(Service->SavedPaths, QStringList({C}));
    EXPECT_EQ(SaveStatuses, QStringList({"Saved tags to 1 files. Errors: 0"}));

    // The release look-up of the first pick fails: the file stays as it was
    // rather than take a title of one release and the year of another.
    EXPECT_EQ(Picks.Messages, QStringList({"The chosen release could not be read; the file was left unchanged:\r\n"
                                           "a.mp3\r\nHTTP 500: Internal Server Error"}));
    const TAudioTag TagA = Stored(A);
    EXPECT_EQ(TagA.Title, "Roots");
    EXPECT_EQ(TagA.Artist, "Howard Shore");
    EXPECT_EQ(TagA.Album, "Old Album");
    EXPECT_EQ(TagA.AlbumArtist, "Old Album Artist");
    EXPECT_EQ(TagA.Year, "1990");
    EXPECT_EQ(TagA.Genre, "Soundtrack");
    EXPECT_EQ(TagA.Track, "3");
    EXPECT_EQ(Stored(B).Title, "Storm");
    EXPECT_EQ(Stored(B).Album, "Old Album");
    // Written as the release credits it.
    const TAudioTag TagC = Stored(C);
    EXPECT_EQ(TagC.Title, "Storm");
    EXPECT_EQ(TagC.Artist, "Godspeed You Black Emperor!");
    EXPECT_EQ(TagC.Album, "Lift Yr. Skinny Fists Like Antennas to Heaven!");
    EXPECT_EQ(TagC.AlbumArtist, "Godspeed You Black Emperor!");
    EXPECT_EQ(TagC.Year, "2000");
    EXPECT_EQ(Model.FileList().Cell(Model.FindListRow(C), lcAlbumArtist), "Godspeed You Black Emperor!");
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), TMainModel::KeepMarker());

    // One undo step brings them back.
    ASSERT_EQ(Model.UndoCount(), 1);
    Model.Undo();
    EXPECT_EQ(Stored(C).Title, "Storm");
    EXPECT_EQ(Stored(C).Album, "Old Album");
    EXPECT_EQ(Stored(C).Year, "1990");
    EXPECT_EQ(Stored(C).AlbumArtist, "Old Album Artist");
}

TEST_F(AutoTagCommandTest, EachFailingFileGetsOneMessageAndTheRunGoesOn) {
    const QString A = AddFile("a.mp3", "Nobody", "Unknown");
    const QString B = AddFile("b.mp3", "Somebody", "  ");
    const QString C = AddFile("c.mp3", "Broken", "Song");
    const QString D = AddFile("d.mp3", "Busy", "Song");
    const QString E = AddFile("e.mp3", "Godspeed", "Storm");
    ScanAndSelect({A, B, C, D, E});
    // The second hit has neither credit nor release.
    Picks.Answers = {1};
    RunToEnd();

    EXPECT_EQ(Searches, QStringList({"Nobody", "Broken", "Busy", "Godspeed"})) << "no request for a blank title";
    EXPECT_EQ(
        Picks.Messages,
        QStringList({
            "No matches found for:\r\nNobody - Unknown",
            "Need at least Artist and Title to auto-tag:\r\nb.mp3",
            "MusicBrainz service is currently unavailable. Try again in a minute.\r\nUnexpected answer from "
            "MusicBrainz.",
            "MusicBrainz service is currently unavailable. Try again in a minute.\r\nHTTP 503: Service Unavailable",
        }));
    EXPECT_TRUE(User.Errors.isEmpty());
    EXPECT_EQ(Server.Requests.size(), 4) << "a pick without a release asks for no release";
    EXPECT_EQ(Service->SavedPaths, QStringList({E}));
    EXPECT_EQ(SaveStatuses.size(), 1);
    const TAudioTag TagE = Stored(E);
    EXPECT_EQ(TagE.Title, "Storm (live)");
    EXPECT_EQ(TagE.Artist, "Godspeed") << "a blank credit leaves the record's artist";
    EXPECT_EQ(TagE.Album, "") << "a recording on no release keeps no album of another";
    EXPECT_EQ(TagE.AlbumArtist, "");
    EXPECT_EQ(TagE.Year, "");
}

TEST_F(AutoTagCommandTest, NoSelectionDoesNothing) {
    AddFile("a.mp3", "Howard Shore", "Roots");
    ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
    Model.SelectRows({});
    Command.Run();
    EXPECT_FALSE(Command.IsRunning());
    EXPECT_EQ(Model.UndoCount(), 0);
    EXPECT_EQ(Picks.Begun, 0);
    EXPECT_TRUE(Server.Requests.isEmpty());
    EXPECT_TRUE(SaveStatuses.isEmpty());
}

TEST_F(AutoTagCommandTest, CancelEndsTheRunAtOnceAndKeepsWhatWasPicked) {
    const QString A = AddFile("a.mp3", "Godspeed", "Storm");
    const QString B = AddFile("b.mp3", "Godspeed", "Storm");
    const QString C = AddFile("c.mp3", "Howard Shore", "Roots");
    ScanAndSelect({A, B, C});
    Picks.Answers = {0, 0, 0};
    // The release of the second pick is held back by the server; the user
    // presses Cancel while it is on its way.
    int Releases = 0;
    Server.Handler = [&](const TServedRequest& R) {
        TServedAnswer Answer = Route(R);
        if (R.Target.startsWith("/ws/2/release/") && ++Releases == 2) Answer.Hold = true;
        return Answer;
    };
    Command.Run();
    ASSERT_TRUE(WaitUntil([this] { return Server.HeldOpen() == 1; }));
    ASSERT_TRUE(Command.IsRunning());
    Picks.CancelButton();
    // Over before the button's handler returns: no further step runs.
    EXPECT_FALSE(Command.IsRunning());
    EXPECT_EQ(Finished, 1);
    EXPECT_EQ(Picks.Ended, 1);
    EXPECT_EQ(Searches, QStringList({"Godspeed", "Godspeed"}));
    // The first file's pick is saved; the second's release never came; the
    // third was not looked up.
    EXPECT_EQ(Service->SavedPaths, QStringList({A}));
    EXPECT_EQ(Stored(A).Album, "Lift Yr. Skinny Fists Like Antennas to Heaven!");
    EXPECT_EQ(Stored(B).Album, "Old Album");
    EXPECT_EQ(Stored(B).Year, "1990");
    EXPECT_EQ(Stored(C).Title, "Roots");
    EXPECT_TRUE(Picks.Messages.isEmpty());
    // The dropped request's connection closes; nothing more is asked.
    EXPECT_TRUE(WaitUntil([this] { return Server.HeldOpen() == 0; }));
    const qsizetype Asked = Server.Requests.size();
    Server.ReleaseHeld();
    QCoreApplication::processEvents();
    EXPECT_EQ(Server.Requests.size(), Asked);
    EXPECT_EQ(Finished, 1);
}

// The run never waits inside a call: Run returns at once, the server (which
// runs in the test's own event loop) and a timer see the thread at the
// test's loop level while requests are on their way, and a second Run
// during the run starts nothing.
TEST_F(AutoTagCommandTest, TheWindowKeepsHandlingEventsDuringTheRun) {
    const QString A = AddFile("a.mp3", "Godspeed", "Storm");
    ScanAndSelect({A});
    Picks.Answers = {0};
    const int Level = QThread::currentThread()->loopLevel();
    QVector<int> ServerLevels;
    bool TickedWhileHeld = false;
    Server.Handler = [&](const TServedRequest& R) {
        ServerLevels.append(QThread::currentThread()->loopLevel());
        TServedAnswer Answer = Route(R);
        Answer.Hold = R.Target.startsWith("/ws/2/recording/");
        return Answer;
    };
    Command.Run();
    EXPECT_TRUE(Command.IsRunning());
    EXPECT_TRUE(Server.Requests.isEmpty()) << "Run returned before anything was answered";
    ASSERT_TRUE(WaitUntil([this] { return Server.HeldOpen() == 1; }));
    // Another event is handled while the search is pending, at the test's level.
    QTimer::singleShot(
        0, [&] { TickedWhileHeld = Command.IsRunning() && QThread::currentThread()->loopLevel() == Level; });
    ASSERT_TRUE(WaitUntil([&] { return TickedWhileHeld; }));
    Command.Run();  // the Auto-Tag command again: ignored
    Server.ReleaseHeld();
    ASSERT_TRUE(WaitUntil([this] { return Finished == 1; }));
    EXPECT_EQ(Searches, QStringList({"Godspeed"}));
    EXPECT_EQ(Picks.Begun, 1);
    EXPECT_EQ(ServerLevels, QVector<int>(ServerLevels.size(), Level));
    EXPECT_EQ(Stored(A).Year, "2000");
}

TEST_F(AutoTagCommandTest, PendingEditorEditsAreAppliedBeforeTheLookUp) {
    const QString A = AddFile("a.mp3", "Someone", "storm");
    ScanAndSelect({A});
    Model.SetEditorText(TMainModel::efArtist, "Godspeed");
    ASSERT_TRUE(Model.TagsAreChanged());
    Picks.Answers = {0};
    RunToEnd();
    EXPECT_EQ(Searches, QStringList({"Godspeed"}));
    EXPECT_EQ(Stored(A).Title, "Storm") << "the editor's old title must not be saved over the pick";
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), "Storm");
    EXPECT_FALSE(Model.TagsAreChanged());
}

// The picked release's front cover: into files without a cover; with
// "Replace covers" ticked into the file whatever it holds; fetched once for
// the files of one release; the box's state kept through the run; one undo
// step brings the old covers back.
TEST_F(AutoTagCommandTest, FrontCoversGoIntoFilesWithoutOneOrEveryFileWhenReplaceIsTicked) {
    const QByteArray Old = TestPicture("PNG", 40, 40), New = TestPicture("JPEG");
    ASSERT_FALSE(Old.isEmpty() || New.isEmpty());
    const QString A = AddFile("a.mp3", "Godspeed", "Storm");
    const QString B = AddFile("b.mp3", "Godspeed", "Storm");
    const QString C = AddFile("c.mp3", "Godspeed", "Storm");
    const QString D = AddFile("d.mp3", "Godspeed", "Storm");
    for (const QString& Path : {B, C}) {
        Service->Stored[Path].CoverData = Old;
        Service->Stored[Path].CoverMime = "image/png";
    }
    ScanAndSelect({A, B, C, D});
    QStringList CoverRequests;
    Covers = [&](const TServedRequest& R) {
        CoverRequests.append(QString::fromUtf8(R.Target));
        if (R.Target == QByteArray("/caa/release/") + kGodspeedRelease)
            return Answer(200, "OK", CoverListing(Server.BaseUrl() + "/caa"));
        return Answer(200, "OK", New);
    };
    Picks.Answers = {0, 0, 0, 0};
    Picks.ReplaceAnswers = {false, false, true};
    RunToEnd();

    EXPECT_EQ(Picks.ReplaceOffered, QVector<bool>({false, false, false, true}));
    EXPECT_EQ(CoverRequests,
              QStringList({QStringLiteral("/caa/release/") + kGodspeedRelease,
                           QStringLiteral("/caa/release/") + kGodspeedRelease + "/30000000002-500.jpg"}));
    EXPECT_EQ(Stored(A).CoverData, New) << "a file without a cover gets one";
    EXPECT_EQ(Stored(A).CoverMime, "image/jpeg");
    EXPECT_EQ(Stored(B).CoverData, Old) << "a file's cover stays unless Replace covers is ticked";
    EXPECT_EQ(Stored(C).CoverData, New);
    EXPECT_EQ(Stored(D).CoverData, New);
    for (const QString& Path : {A, B, C, D})
        EXPECT_EQ(Stored(Path).Album, "Lift Yr. Skinny Fists Like Antennas to Heaven!");
    EXPECT_TRUE(Picks.Messages.isEmpty());

    Model.Undo();
    EXPECT_EQ(Stored(A).CoverData, QByteArray());
    EXPECT_EQ(Stored(C).CoverData, Old);
    EXPECT_EQ(Stored(C).CoverMime, "image/png");
}

// A cover the archive cannot give is no reason to drop the release's
// values: the tags are written; a failure (not a missing cover) gets one
// message for the release.
TEST_F(AutoTagCommandTest, WithoutACoverTheTagsAreStillWritten) {
    const QString A = AddFile("a.mp3", "Godspeed", "Storm");
    const QString B = AddFile("b.mp3", "Godspeed", "Storm");
    ScanAndSelect({A, B});
    Picks.Answers = {0, 0};
    Covers = [](const TServedRequest&) { return Answer(500, "Internal Server Error"); };
    RunToEnd();
    EXPECT_EQ(Picks.Messages,
              QStringList({"The front cover could not be fetched; the other values are still applied:\r\n"
                           "a.mp3\r\nHTTP 500: Internal Server Error"}));
    // The save pool writes the two files at once, in either order.
    QStringList Saved = Service->SavedPaths;
    Saved.sort();
    EXPECT_EQ(Saved, QStringList({A, B}));
    for (const QString& Path : {A, B}) {
        EXPECT_EQ(Stored(Path).Year, "2000");
        EXPECT_TRUE(Stored(Path).CoverData.isEmpty());
    }

    // The archive holds nothing of the release (404): no message at all.
    Picks.Messages.clear();
    const QString C = AddFile("c.mp3", "Godspeed", "Storm");
    ScanAndSelect({C});
    Picks.Answers = {0};
    Covers = nullptr;
    RunToEnd();
    EXPECT_TRUE(Picks.Messages.isEmpty());
    EXPECT_EQ(Stored(C).Year, "2000");
}

TEST(AutoTagPick, DialogRules) {
    TMBReleaseCandidate First, Second;
    First.Title = "Zebra";
    First.Score = 40;
    First.Video = true;
    Second.Title = "Apple";
    Second.Score = 100;
    Second.Album = "Fruit";
    Second.Date = "2004-11-29";
    Second.Country = "XE";
    Second.Format = "DVD-Video";
    Second.Track = "6";
    Second.Medium = 2;
    TAutoTagPickModel Model;
    Model.SetCandidates({First, Second});
    // In the service's order, no row selected at first.
    ASSERT_EQ(Model.RowCount(), 2);
    EXPECT_EQ(Model.Cell(0, TAutoTagPickModel::pcTitle), "[Video] Zebra");
    EXPECT_EQ(Model.Cell(0, TAutoTagPickModel::pcScore), "40");
    EXPECT_EQ(Model.Cell(0, TAutoTagPickModel::pcDate), "");
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcTitle), "Apple");
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcAlbum), "Fruit");
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcDate), "2004-11-29") << "the date in full";
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcCountry), "XE");
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcFormat), "DVD-Video");
    EXPECT_EQ(Model.Cell(1, TAutoTagPickModel::pcTrack), "2-6");
    EXPECT_EQ(Model.Selected(), -1);
    EXPECT_TRUE(Model.OkEnabled());
    EXPECT_TRUE(Model.DoubleClickAccepts());

    TMBReleaseCandidate Pick;
    Pick.Title = "stale";
    EXPECT_FALSE(Model.Finish(true, Pick)) << "OK with no row selected";
    EXPECT_EQ(Pick, TMBReleaseCandidate());
    Model.Select(1);
    EXPECT_FALSE(Model.Finish(false, Pick)) << "Cancel or the close box";
    EXPECT_EQ(Pick, TMBReleaseCandidate());
    EXPECT_TRUE(Model.Finish(true, Pick));
    EXPECT_EQ(Pick, Second);
    Model.Select(7);
    EXPECT_EQ(Model.Selected(), -1);

    Model.SetCandidates({});
    EXPECT_FALSE(Model.OkEnabled());
    EXPECT_FALSE(Model.DoubleClickAccepts());
    EXPECT_EQ(TAutoTagPickModel::ColumnCaptions(),
              QStringList({"Score", "Title", "Artist", "Album", "Date", "Country", "Format", "Track"}));
    EXPECT_EQ(TAutoTagPickModel::ReplaceCoversCaption(), "Replace covers");
}

}  // namespace
