// The folder scanner: which files it offers, in which order, on which
// thread, and that stopping never deadlocks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "app/core/file_scanner.h"
#include "tests/app/core/app_scope.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

using testutil::TAppScope;

// Fails the run instead of hanging it when a wait never returns.
class TWatchdog {
public:
    explicit TWatchdog(int Seconds)
        : FThread([this, Seconds] {
              std::unique_lock Lock(FMutex);
              if (!FEnded.wait_for(Lock, std::chrono::seconds(Seconds), [this] { return FDone; })) {
                  std::fprintf(stderr, "file scanner test deadlocked\n");
                  std::abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard Lock(FMutex);
            FDone = true;
        }
        FEnded.notify_all();
        FThread.join();
    }

private:
    std::mutex FMutex;
    std::condition_variable FEnded;
    bool FDone = false;
    std::thread FThread;
};

void Touch(const std::string& Path) {
    fs::create_directories(fs::path(Path).parent_path());
    testutil::WriteFile(Path, "x");
}

QString Q(const std::string& S) { return QString::fromStdString(S); }

struct TScanResult {
    QStringList Delivered;
    int Finished = 0;
    bool AllOnOwnerThread = true;
    QStringList Files;
};

// Runs a whole scan through the application's event loop, as the window does.
TScanResult ScanWithEventLoop(const QString& Root) {
    TScanResult R;
    QThread* const Owner = QThread::currentThread();
    QEventLoop Loop;
    TFileScanner Scanner(
        Root,
        [&](const QString& Path) {
            R.Delivered << Path;
            R.AllOnOwnerThread &= QThread::currentThread() == Owner;
        },
        [&] {
            ++R.Finished;
            R.AllOnOwnerThread &= QThread::currentThread() == Owner;
            Loop.quit();
        });
    Scanner.Start();
    Loop.exec();
    Scanner.WaitFor();
    R.Files = Scanner.Files();
    return R;
}

}  // namespace

TEST(FileScanner, IsSupportedAudioFileComparesTheLowerCasedLastExtension) {
    const struct {
        const char* Name;
        bool Supported;
    } Cases[] = {
        {"a.mp3", true},
        {"a.MP3", true},
        {"b.Flac", true},
        {"c.ogg", true},
        {"d.APE", true},
        {"e.m4a", true},
        {"f.wma", true},
        {"g.WAV", true},
        // every other file the tag library reads
        {"h.opus", true},
        {"i.OGA", true},
        {"j.wv", true},
        {"k.mpc", true},
        {"l.aif", true},
        {"m.AIFF", true},
        {"n.aifc", true},
        {"o.dsf", true},
        {"p.dff", true},
        {"q.m4b", true},
        {"song.mp4", false},
        {"song.aac", false},
        {"song.mp2", false},
        {"song.wvc", false},
        {"notes.txt", false},
        {"mp3", false},
        {"song.mp3.txt", false},
        {"song.txt.mp3", true},
        {".mp3", true},
        {"song.mp3 ", false},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(TFileScanner::IsSupportedAudioFile(QString::fromUtf8(C.Name)), C.Supported) << C.Name;
}

TEST(FileScanner, DeliversAudioFilesDepthFirstOnTheOwnerThread) {
    TAppScope App;
    testutil::TTempDir Dir;
    const std::string R = Dir.path();
    for (const char* Name :
         {"a.MP3", "b.flac", "c.txt", "e.mp4", "f.oga", ".hidden.ogg", "x.Wav", "noext", "s1/d.wav", "s1/s2/g.ape",
          "s1/s2/h.m4a", "s1/i.wma", "s1/j.jpg", "s3/k.mp3", "s3/l.ogg", "folder.mp3/m.mp3"})
        Touch(R + "/" + Name);
    fs::create_directories(R + "/empty");

    const TScanResult Result = ScanWithEventLoop(Q(R));
    EXPECT_EQ(Result.Finished, 1);
    EXPECT_TRUE(Result.AllOnOwnerThread);
    EXPECT_EQ(Result.Files, Result.Delivered);

    // Files and folders of each folder in name order, each folder's files
    // where its name falls.
    QStringList Expected;
    for (const char* Name : {".hidden.ogg", "a.MP3", "b.flac", "f.oga", "folder.mp3/m.mp3", "s1/d.wav", "s1/i.wma",
                             "s1/s2/g.ape", "s1/s2/h.m4a", "s3/k.mp3", "s3/l.ogg", "x.Wav"})
        Expected << Q(R + "/" + Name);
    EXPECT_EQ(Result.Delivered, Expected);

    // Depth first: the files below each folder arrive as one unbroken run.
    for (const char* Folder : {"/s1/", "/s1/s2/", "/s3/", "/folder.mp3/"}) {
        const QString Prefix = Q(R + Folder);
        int First = -1, Last = -1, Count = 0;
        for (int I = 0; I < Result.Delivered.size(); ++I)
            if (Result.Delivered[I].startsWith(Prefix)) {
                if (First < 0) First = I;
                Last = I;
                ++Count;
            }
        EXPECT_EQ(Last - First + 1, Count) << Folder << " interleaved: " << Result.Delivered.join(u' ').toStdString();
    }
}

// An album's tracks come in the order a file manager shows them, whatever
// order the file system keeps: numbers by value, letters as the user's
// locale sorts them ("ä" beside "a" in German, after "z" in Swedish). A user
// with the "C" locale gets the English order, numbers by value too.
TEST(FileScanner, EachFolderIsWalkedInNaturalNameOrder) {
    TAppScope App;
    testutil::TTempDir Dir;
    const std::string R = Dir.path();
    // Created in an order unlike the expected one.
    for (const char* Name : {"z.mp3", "10 - y.mp3", "CD 10/1.mp3", "2 - x.opus", "ä.flac", "CD 2/10.wv", "CD 2/9.wv",
                             "b.aiff", "1 - a.mp3", "Track3.mp3", "track02.mp3", "track1.mp3", "A.mpc"})
        Touch(R + "/" + Name);

    const struct {
        QLocale Locale;
        std::vector<const char*> Order;
    } Cases[] = {
        {QLocale::c(),
         {"1 - a.mp3", "2 - x.opus", "10 - y.mp3", "ä.flac", "A.mpc", "b.aiff", "CD 2/9.wv", "CD 2/10.wv",
          "CD 10/1.mp3", "track1.mp3", "track02.mp3", "Track3.mp3", "z.mp3"}},
        {QLocale(QLocale::German, QLocale::Germany),
         {"1 - a.mp3", "2 - x.opus", "10 - y.mp3", "ä.flac", "A.mpc", "b.aiff", "CD 2/9.wv", "CD 2/10.wv",
          "CD 10/1.mp3", "track1.mp3", "track02.mp3", "Track3.mp3", "z.mp3"}},
        {QLocale(QLocale::Swedish, QLocale::Sweden),
         {"1 - a.mp3", "2 - x.opus", "10 - y.mp3", "A.mpc", "b.aiff", "CD 2/9.wv", "CD 2/10.wv", "CD 10/1.mp3",
          "track1.mp3", "track02.mp3", "Track3.mp3", "z.mp3", "ä.flac"}},
    };
    const QLocale Saved;
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Locale.name().toStdString());
        QLocale::setDefault(C.Locale);
        const TScanResult Result = ScanWithEventLoop(Q(R));
        QStringList Expected;
        for (const char* Name : C.Order) Expected << Q(R + "/" + Name);
        EXPECT_EQ(Result.Delivered.join(u'|').toStdString(), Expected.join(u'|').toStdString());
    }
    QLocale::setDefault(Saved);
}

TEST(FileScanner, MissingRootOnlyReportsTheEnd) {
    TAppScope App;
    testutil::TTempDir Dir;
    const TScanResult Result = ScanWithEventLoop(Q(Dir.file("no-such-folder")));
    EXPECT_TRUE(Result.Delivered.isEmpty());
    EXPECT_EQ(Result.Finished, 1);
}

TEST(FileScanner, LinkCyclesEndAndEachFolderIsWalkedOnce) {
    TAppScope App;
    testutil::TTempDir Dir;
    const std::string R = Dir.path();
    Touch(R + "/a/one.mp3");
    Touch(R + "/b/two.flac");
    fs::create_directory_symlink(R, R + "/a/back-to-root");    // cycle through the root
    fs::create_directory_symlink(R + "/b", R + "/a/b-again");  // second way into b
    fs::create_directory_symlink(R + "/a", R + "/b/a-again");  // cycle a <-> b
    fs::create_symlink(R + "/a/one.mp3", R + "/linked.mp3");   // a link to a file is a file
    fs::create_symlink(R + "/gone", R + "/dangling.mp3");      // dangling: skipped

    TWatchdog Guard(30);
    const TScanResult Result = ScanWithEventLoop(Q(R));
    EXPECT_EQ(Result.Finished, 1);
    QStringList Names;
    for (const QString& P : Result.Delivered) Names << P.section(u'/', -1);
    Names.sort();
    EXPECT_EQ(Names, (QStringList{"linked.mp3", "one.mp3", "two.flac"})) << Result.Delivered.join(u' ').toStdString();
}

TEST(FileScanner, LinkedFolderOutsideTheRootIsFollowed) {
    TAppScope App;
    testutil::TTempDir Root, Elsewhere;
    Touch(Elsewhere.file("disk2/song.ogg"));
    fs::create_directory_symlink(Elsewhere.file("disk2"), Root.file("more"));
    const TScanResult Result = ScanWithEventLoop(Q(Root.path()));
    EXPECT_EQ(Result.Delivered, QStringList{Q(Root.file("more/song.ogg"))});
}

// The owner asks a worker to stop while the worker is blocked handing a file
// over and no event loop runs: WaitFor must run that hand-over itself.
TEST(FileScanner, StopWhileAHandOverIsPendingDoesNotDeadlock) {
    TAppScope App;
    testutil::TTempDir Dir;
    for (int I = 0; I < 50; ++I) Touch(Dir.file("f" + std::to_string(I) + ".mp3"));

    TWatchdog Guard(30);
    int Delivered = 0, Finished = 0;
    QThread* const Owner = QThread::currentThread();
    bool OnOwner = true;
    auto Scanner = std::make_unique<TFileScanner>(
        Q(Dir.path()),
        [&](const QString&) {
            ++Delivered;
            OnOwner &= QThread::currentThread() == Owner;
        },
        [&] {
            ++Finished;
            OnOwner &= QThread::currentThread() == Owner;
        });
    Scanner->Start();
    Scanner->WaitUntilHandOverPending();  // the worker is now blocked on file 1
    Scanner->Terminate();
    Scanner->WaitFor();
    EXPECT_LE(Delivered, 1);  // at most the hand-over already under way
    EXPECT_EQ(Finished, 1);
    EXPECT_TRUE(OnOwner);
    EXPECT_LE(Scanner->Files().size(), 1);

    // The queued calls posted for those hand-overs must not reach a scanner
    // that is gone.
    Scanner.reset();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_LE(Delivered, 1);
    EXPECT_EQ(Finished, 1);
}

// A handler that stops and waits for its own scanner, or destroys it (a new
// folder chosen while a file is being shown), must not wait for itself,
// whether the hand-over came through the event loop or through WaitFor.
TEST(FileScanner, HandlerMayStopOrDestroyItsOwnScanner) {
    TAppScope App;
    testutil::TTempDir Dir;
    for (int I = 0; I < 20; ++I) Touch(Dir.file("f" + std::to_string(I) + ".wav"));

    for (const bool Destroy : {false, true})
        for (const bool ThroughWaitFor : {false, true}) {
            SCOPED_TRACE(std::string(Destroy ? "destroy" : "stop and wait") +
                         (ThroughWaitFor ? ", in WaitFor" : ", in the event loop"));
            TWatchdog Guard(30);
            int Delivered = 0, Finished = 0;
            std::unique_ptr<TFileScanner> Scanner;
            Scanner = std::make_unique<TFileScanner>(
                Q(Dir.path()),
                [&, Destroy](const QString& Path) {
                    ++Delivered;
                    if (Destroy) {
                        Scanner.reset();
                    } else {
                        Scanner->Terminate();
                        Scanner->WaitFor();
                    }
                    EXPECT_FALSE(Path.isEmpty());  // the handler's own state is still valid
                },
                [&] { ++Finished; });
            Scanner->Start();
            if (ThroughWaitFor) {
                Scanner->WaitFor();
            } else {
                const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (Finished == 0 && std::chrono::steady_clock::now() < Deadline)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            if (Scanner) Scanner->WaitFor();
            QCoreApplication::processEvents();
            EXPECT_EQ(Delivered, 1);
            EXPECT_EQ(Finished, 1);
        }
}

TEST(FileScanner, DestroyingARunningScannerStopsIt) {
    TAppScope App;
    testutil::TTempDir Dir;
    for (int I = 0; I < 20; ++I) Touch(Dir.file("f" + std::to_string(I) + ".ogg"));
    TWatchdog Guard(30);
    int Finished = 0;
    {
        TFileScanner Scanner(
            Q(Dir.path()), [](const QString&) {}, [&] { ++Finished; });
        Scanner.Start();
        Scanner.WaitUntilHandOverPending();  // running, and held up by its first file
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Finished, 1);
}
