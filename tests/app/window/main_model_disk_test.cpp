// The window's commands on real MP3 files (made with lame at test time)
// through the real tag service: what ends up on disk after save, remove and
// undo, and what a failed write leaves behind.
#include <QFile>
#include <QFileInfo>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
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

// The real tag service, counting the files it reads.
class TCountingService final : public ITagService {
public:
    mutable std::atomic<int> Loads{0};

    bool LoadTag(const QString& FileName, TAudioTag& Tag) override {
        ++Loads;
        return FReal.LoadTag(FileName, Tag);
    }
    bool LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const override {
        ++Loads;
        return FReal.LoadTagConcurrently(FileName, Tag, Error);
    }
    bool SaveTag(const TAudioTag& Tag) override { return FReal.SaveTag(Tag); }
    bool SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const override {
        return FReal.SaveTagConcurrently(Tag, Error);
    }
    ISaveBatchPtr BeginSaveBatch() const override { return FReal.BeginSaveBatch(); }
    QString GetLastError() const override { return FReal.GetLastError(); }
    void SetTransactional(bool Value) override { FReal.SetTransactional(Value); }
    bool GetTransactional() const override { return FReal.GetTransactional(); }

private:
    TTagService FReal;
};

bool HaveMutagen() {
    return testutil::HaveCommand("/usr/bin/python3") &&
           testutil::Run("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") == 0;
}

// Runs a Python snippet with mutagen on File (sys.argv[1]); its output.
std::string Mutagen(const std::string& Code, const QString& File) {
    std::string Out;
    EXPECT_EQ(testutil::Run("/usr/bin/python3 -c '" + Code + "' '" + File.toStdString() + "'", &Out), 0) << Out;
    return Out;
}

const QString kChangedNote =
    QStringLiteral("changed on disk since it was read; your edits were applied to its current tags");

class MainModelDiskTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    std::shared_ptr<TCountingService> Counting = std::make_shared<TCountingService>();
    ITagServicePtr Service = Counting;
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

// The saves of the window's pool reach the disk in one flush at the end: a
// flush that fails makes every file of the save an error, left as it was
// and still modified in the list.
TEST_F(MainModelDiskTest, AFailedFlushAtTheEndOfASaveReportsItsFiles) {
    const QString One = MakeMp3("1.mp3", QStringLiteral("One"), 0x0000ff);
    const QString Two = MakeMp3("2.mp3", QStringLiteral("Two"), 0x0000ff);
    Scan();
    auto Bytes = [](const QString& Path) {
        QFile F(Path);
        F.open(QIODevice::ReadOnly);
        return F.readAll();
    };
    const QByteArray OneBefore = Bytes(One), TwoBefore = Bytes(Two);
    Model.SelectFiles({One, Two});
    Model.SetEditorText(TMainModel::efGenre, QStringLiteral("Jazz"));
    SetSaveSyncHookForTesting([](TSaveSync) { return EIO; });
    Model.Save();
    SetSaveSyncHookForTesting(nullptr);

    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 0 files. Errors: 2"));
    ASSERT_EQ(User.Reports.size(), 1);
    ASSERT_EQ(User.Reports[0].size(), 2);
    EXPECT_TRUE(User.Reports[0][0].Message.contains(QStringLiteral("flushed")))
        << User.Reports[0][0].Message.toStdString();
    for (const QString& Path : {One, Two}) {
        TAudioTag Cached;
        ASSERT_TRUE(Model.TryGetCachedTag(Path, Cached));
        EXPECT_TRUE(Cached.Modified);
    }
    EXPECT_EQ(Bytes(One), OneBefore);
    EXPECT_EQ(Bytes(Two), TwoBefore);

    Model.Save();  // the next save works again
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 2 files. Errors: 0"));
    EXPECT_EQ(OnDisk(One).Genre, QStringLiteral("Jazz"));
    EXPECT_EQ(OnDisk(Two).Genre, QStringLiteral("Jazz"));
}

// The flush that ends a save waits on the disk (or the share) off the
// window's thread: the window answers meanwhile, stays busy, and reports the
// save only once the flush is done.
namespace flushwait {
std::mutex Mutex;
std::condition_variable Changed;
bool Entered = false, Released = false;
std::thread::id Thread, Window;
int Hold(TSaveSync) {
    std::unique_lock Lock(Mutex);
    if (Entered) return 0;
    Entered = true;
    Thread = std::this_thread::get_id();
    Changed.notify_all();
    // Held on the window's thread it would never be released: the test fails instead.
    if (Thread != Window) Changed.wait(Lock, [] { return Released; });
    return 0;
}
}  // namespace flushwait

TEST_F(MainModelDiskTest, TheFlushEndingASaveRunsOffTheWindowsThread) {
    const QString One = MakeMp3("1.mp3", QStringLiteral("One"), 0x0000ff);
    const QString Two = MakeMp3("2.mp3", QStringLiteral("Two"), 0x0000ff);
    Scan();
    Model.SelectFiles({One, Two});
    Model.SetEditorText(TMainModel::efGenre, QStringLiteral("Jazz"));
    Model.SetBackgroundSaves(true);
    QStringList Statuses;
    QObject::connect(&Model, &TMainModel::StatusChanged, [&](const QString& Text) { Statuses << Text; });
    flushwait::Window = std::this_thread::get_id();
    SetSaveSyncHookForTesting(flushwait::Hold);
    Model.Save();
    // The files are written; the flush holds until released.
    {
        QEventLoop Loop;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, &Loop, [&] {
            std::lock_guard Lock(flushwait::Mutex);
            if (flushwait::Entered) Loop.quit();
        });
        Poll.start(1);
        QTimer::singleShot(30000, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
    {
        std::lock_guard Lock(flushwait::Mutex);
        ASSERT_TRUE(flushwait::Entered);
        EXPECT_NE(flushwait::Thread, std::this_thread::get_id());
    }
    EXPECT_TRUE(Model.IsSaving());
    EXPECT_FALSE(Statuses.contains(QStringLiteral("Saved tags to 2 files. Errors: 0")));
    {
        std::lock_guard Lock(flushwait::Mutex);
        flushwait::Released = true;
        flushwait::Changed.notify_all();
    }
    QEventLoop Loop;
    QObject::connect(&Model, &TMainModel::SaveFinished, &Loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &Loop, &QEventLoop::quit);
    if (Model.IsSaving()) Loop.exec();
    SetSaveSyncHookForTesting(nullptr);
    EXPECT_FALSE(Model.IsSaving());
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 2 files. Errors: 0"));
    EXPECT_EQ(OnDisk(One).Genre, QStringLiteral("Jazz"));
    EXPECT_EQ(OnDisk(Two).Genre, QStringLiteral("Jazz"));
}

// A player or another tagger writes the file between the scan and the save:
// the save writes the user's edit over what that program left, the fields the
// user did not touch keep its values, the report says so, and Undo goes back
// to what it left rather than to the tags read before it wrote.
TEST_F(MainModelDiskTest, AFileAnotherProgramWroteGetsTheEditsOnTopOfItsChanges) {
    if (!HaveMutagen()) GTEST_SKIP() << "mutagen is not installed";
    const QString Path = MakeMp3("song.mp3", QStringLiteral("Song"), qRgb(10, 20, 30));
    const QString Other = MakeMp3("other.mp3", QStringLiteral("Other"), qRgb(10, 20, 30));
    Scan();
    Model.SelectFiles({Path});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Mine"));
    Model.ApplyPendingEdits();
    Model.SelectFiles({Other});
    Model.SetEditorText(TMainModel::efGenre, QStringLiteral("Folk"));
    Model.ApplyPendingEdits();

    Mutagen(
        "import sys\nfrom mutagen.id3 import ID3, TPE1, TALB, TXXX\n"
        "t = ID3(sys.argv[1])\nt.add(TPE1(encoding=3, text=[\"Their Artist\"]))\n"
        "t.add(TALB(encoding=3, text=[\"Their Album\"]))\n"
        "t.add(TXXX(encoding=3, desc=\"PLAYCOUNT\", text=[\"7\"]))\nt.save()",
        Path);
    const int LoadsBefore = Counting->Loads;
    Model.Save();

    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 2 files. Errors: 0"));
    EXPECT_EQ(Counting->Loads - LoadsBefore, 1);  // only the file that changed is read again
    ASSERT_EQ(User.Reports.size(), 1);
    EXPECT_EQ(User.Reports[0], (QVector<TErrorItem>{{Path, kChangedNote}}));
    const std::string Dump =
        "import sys, mutagen\nf = mutagen.File(sys.argv[1])\n"
        "for k in (\"TIT2\", \"TPE1\", \"TALB\", \"TXXX:PLAYCOUNT\", \"TCON\"):\n"
        "    print(k, f.tags[k].text[0] if k in f.tags else \"-\")\n"
        "print(\"APIC\", len(f.tags.getall(\"APIC\")))";
    EXPECT_EQ(Mutagen(Dump, Path),
              "TIT2 Mine\nTPE1 Their Artist\nTALB Their Album\nTXXX:PLAYCOUNT 7\nTCON -\nAPIC 1\n");
    EXPECT_EQ(Mutagen(Dump, Other), "TIT2 Other\nTPE1 Artist of Other\nTALB -\nTXXX:PLAYCOUNT -\nTCON Folk\nAPIC 1\n");
    TAudioTag Cached;
    ASSERT_TRUE(Model.TryGetCachedTag(Path, Cached));
    EXPECT_FALSE(Cached.Modified);
    EXPECT_EQ(Cached.Artist, QStringLiteral("Their Artist"));
    EXPECT_EQ(Cached.Title, QStringLiteral("Mine"));

    // A second save finds the file as this one left it: nothing is read again.
    Model.SelectFiles({Path});
    Model.SetEditorText(TMainModel::efComposer, QStringLiteral("Someone"));
    const int LoadsSecond = Counting->Loads;
    Model.Save();
    EXPECT_EQ(Counting->Loads, LoadsSecond);
    EXPECT_EQ(User.Reports.size(), 1);

    Model.Undo();  // the Composer edit
    Model.Undo();  // the Genre edit of the other file
    Model.Undo();  // the Title edit: back to what the other program left
    EXPECT_EQ(Mutagen(Dump, Path),
              "TIT2 Song\nTPE1 Their Artist\nTALB Their Album\nTXXX:PLAYCOUNT 7\nTCON -\nAPIC 1\n");
    EXPECT_EQ(OnDisk(Path).Composer, QString());
    EXPECT_EQ(User.Reports.size(), 1);
}

// What counts as a change by another program: a new modification time (to the
// nanosecond) or another file put in its place under the same name, even one
// with the same bytes and times. A file nobody touched is written as before,
// without being read again.
TEST_F(MainModelDiskTest, ASaveReadsTheFileAgainOnlyWhenItsStampChanged) {
    const QString Path = MakeMp3("song.mp3", QStringLiteral("Song"), qRgb(10, 20, 30));
    const std::string P = Path.toStdString();
    auto Times = [&] {
        struct stat Info {};
        EXPECT_EQ(::stat(P.c_str(), &Info), 0);
        return Info;
    };
    struct TCase {
        const char* Name;
        std::function<void()> Change;
        bool Noticed;
    };
    const std::vector<TCase> Cases = {
        {"untouched", [] {}, false},
        {"a nanosecond later",
         [&] {
             const struct stat Info = Times();
             struct timespec T[2] = {Info.st_atim, Info.st_mtim};
             T[1].tv_nsec = (T[1].tv_nsec + 1) % 1000000000;
             ASSERT_EQ(::utimensat(AT_FDCWD, P.c_str(), T, 0), 0);
         },
         true},
        {"replaced by a copy with its bytes and times",
         [&] {
             const struct stat Info = Times();
             const std::string Copy = Dir.file("copy.tmp");
             ASSERT_TRUE(QFile::copy(Path, Q(Copy)));
             const struct timespec T[2] = {Info.st_atim, Info.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, Copy.c_str(), T, 0), 0);
             ASSERT_EQ(::rename(Copy.c_str(), P.c_str()), 0);
         },
         true},
    };
    int Round = 0;
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Scan();
        User.Reports.clear();
        Model.SelectFiles({Path});
        const QString Title = QStringLiteral("Title %1").arg(++Round);
        Model.SetEditorText(TMainModel::efTitle, Title);
        Model.ApplyPendingEdits();
        Case.Change();
        const int Loads = Counting->Loads;
        Model.Save();
        EXPECT_EQ(Counting->Loads - Loads, Case.Noticed ? 1 : 0);
        QVector<QVector<TErrorItem>> WantReports;
        if (Case.Noticed) WantReports.append({TErrorItem{Path, kChangedNote}});
        EXPECT_EQ(User.Reports, WantReports);
        EXPECT_EQ(OnDisk(Path).Title, Title);
        EXPECT_EQ(OnDisk(Path).Artist, QStringLiteral("Artist of Song"));
    }
}

}  // namespace
