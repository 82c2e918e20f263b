// The loading pool: records come in list order whatever order the workers
// finish in, loads really overlap, a stop ends everything at once, and no
// notice outlives the loader.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/core/file_scanner.h"
#include "app/core/parallel_loader.h"
#include "tests/app/core/app_scope.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

using testutil::TAppScope;

// A gate the test opens once: loads wait at it.
class TGate {
public:
    void Open() {
        {
            std::lock_guard Lock(FMutex);
            FOpen = true;
        }
        FChanged.notify_all();
    }
    void Wait() {
        std::unique_lock Lock(FMutex);
        FChanged.wait(Lock, [this] { return FOpen; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FOpen = false;
};

QString Q(const std::string& S) { return QString::fromStdString(S); }

// A tree whose natural order differs from the names' byte order.
QStringList MakeTree(testutil::TTempDir& Dir) {
    QStringList Expected;
    for (const char* Name : {"a/1.mp3", "a/2.flac", "a/10.ogg", "b/x.wav", "b/c/y.m4a", "z.opus"}) {
        fs::create_directories(fs::path(Dir.file(Name)).parent_path());
        testutil::WriteFile(Dir.file(Name), Name);
    }
    testutil::WriteFile(Dir.file("notes.txt"), "not audio");
    for (const char* Name : {"a/1.mp3", "a/2.flac", "a/10.ogg", "b/c/y.m4a", "b/x.wav", "z.opus"})
        Expected << Q(Dir.file(Name));
    return Expected;
}

// Each record carries its path as the title, so order mix-ups show.
bool LoadByName(const QString& Path, TAudioTag& Tag, QString&) {
    Tag.Title = Path;
    return true;
}

}  // namespace

// The first file's load waits until the last one has been loaded: the
// loads overlap, and still the records come out in the walk's order.
TEST(ParallelLoader, RecordsComeInWalkOrderWhileLoadsOverlap) {
    TAppScope App;
    testutil::TTempDir Dir;
    const QStringList Expected = MakeTree(Dir);
    TGate LastLoaded;
    auto Load = [&](const QString& Path, TAudioTag& Tag, QString& Error) {
        if (Path == Expected.first()) LastLoaded.Wait();
        if (Path == Expected.last()) LastLoaded.Open();
        return LoadByName(Path, Tag, Error);
    };
    TParallelLoader Loader(Q(Dir.path()), Load, 4);
    Loader.Start();
    QStringList Got;
    TLoadedFile File;
    while (Loader.Next(File)) {
        EXPECT_TRUE(File.Ok);
        EXPECT_EQ(File.Tag.Title, File.Path);
        Got << File.Path;
    }
    EXPECT_EQ(Got, Expected);
}

// A given list keeps its order; a failed load carries its error.
TEST(ParallelLoader, GivenListAndFailures) {
    const QStringList Files{QStringLiteral("/x/1"), QStringLiteral("/x/2"), QStringLiteral("/x/3")};
    auto Load = [](const QString& Path, TAudioTag& Tag, QString& Error) {
        if (Path.endsWith(u'2')) {
            Error = QStringLiteral("broken");
            return false;
        }
        return LoadByName(Path, Tag, Error);
    };
    for (int Threads : {1, 3}) {
        TParallelLoader Loader(Files, Load, Threads);
        Loader.Start();
        QStringList Got;
        TLoadedFile File;
        while (Loader.Next(File)) Got << File.Path + (File.Ok ? QString() : QStringLiteral(": ") + File.Error);
        EXPECT_EQ(Got, (QStringList{QStringLiteral("/x/1"), QStringLiteral("/x/2: broken"), QStringLiteral("/x/3")}));
    }
    TParallelLoader Empty(QStringList{}, Load, 2);
    Empty.Start();
    TLoadedFile File;
    EXPECT_FALSE(Empty.Next(File));
}

// A stop while every worker is inside a load: Next() gives up at once, and
// the destructor waits only for the loads under way.
TEST(ParallelLoader, StopWhileLoadsAreUnderWay) {
    QStringList Files;
    for (int i = 0; i < 100; ++i) Files << QStringLiteral("/f%1").arg(i);
    TGate Release;
    std::atomic<int> Started{0};
    auto Load = [&](const QString& Path, TAudioTag& Tag, QString& Error) {
        ++Started;
        Release.Wait();
        return LoadByName(Path, Tag, Error);
    };
    auto Loader = std::make_unique<TParallelLoader>(Files, Load, 4);
    Loader->Start();
    Loader->Stop();
    TLoadedFile File;
    EXPECT_FALSE(Loader->Next(File));
    Release.Open();
    Loader.reset();
    EXPECT_LE(Started.load(), 4);  // no file was taken after the stop
}

// From an event loop: the notices hand every record over in order, and a
// handler may destroy the loader from inside its own notice.
TEST(ParallelLoader, NoticesOnTheOwnersThread) {
    TAppScope App;
    testutil::TTempDir Dir;
    const QStringList Expected = MakeTree(Dir);
    for (const bool DestroyInside : {false, true}) {
        SCOPED_TRACE(DestroyInside ? "destroyed by its notice" : "to the end");
        QObject Owner;
        QEventLoop Loop;
        QStringList Got;
        bool Ended = false;
        auto Loader = std::make_unique<TParallelLoader>(Q(Dir.path()), LoadByName, 3);
        Loader->SetReadyNotice(&Owner, [&] {
            std::vector<TLoadedFile> Batch;
            Ended = Loader->TakeReady(Batch, 2);
            for (const TLoadedFile& File : Batch) Got << File.Path;
            if (Ended || (DestroyInside && !Got.isEmpty())) {
                Loader.reset();
                Loop.quit();
            }
        });
        Loader->Start();
        Loop.exec();
        QCoreApplication::sendPostedEvents();  // a late notice finds the loader gone
        if (DestroyInside) {
            EXPECT_FALSE(Got.isEmpty());
            EXPECT_EQ(Got, Expected.mid(0, Got.size()));
        } else {
            EXPECT_TRUE(Ended);
            EXPECT_EQ(Got, Expected);
        }
    }
}
