#include "app/core/file_scanner.h"

#include "app/core/audio_tag.h"

#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// Closes a directory stream on every way out of the loop.
struct TDirCloser {
    DIR* Dir;
    ~TDirCloser() {
        if (Dir) ::closedir(Dir);
    }
};

}  // namespace

// What the worker and the owner's thread share: the stop flag, the one
// hand-over the worker may be waiting in, and the end of the walk. Held by
// shared pointer so that a queued hand-over call that outlives the scanner
// object finds valid state.
struct TFileScanner::THandOverState {
    struct THandOver {
        std::function<void()> Fn;
        bool Taken = false;  // the owner's thread has started running it
        bool Done = false;   // it has returned, or the owner released the worker
    };

    std::atomic<bool> Stop{false};
    std::mutex Mutex;
    std::condition_variable Changed;
    std::shared_ptr<THandOver> Pending;
    bool Ended = false;      // the worker will hand nothing more over
    bool Destroyed = false;  // the scanner object is gone (owner thread only)
};

TFileScanner::TFileScanner(const QString& ARoot, TScanProgressEvent AOnProgress, TScanFinishedEvent AOnFinished,
                           QObject* AParent)
    : QThread(AParent),
      FRoot(ARoot),
      FOnProgress(std::move(AOnProgress)),
      FOnFinished(std::move(AOnFinished)),
      FState(std::make_shared<THandOverState>()),
      FRelay(new QObject) {}

TFileScanner::~TFileScanner() {
    if (isRunning()) {
        Terminate();
        WaitFor();
    }
    // The relay may be the receiver of the very call that is destroying us
    // (a handler that drops its scanner), so it goes when control is back
    // in the event loop; calls still queued for it are dropped with it.
    FRelay->deleteLater();
    FState->Destroyed = true;
}

void TFileScanner::Start() { start(); }

void TFileScanner::Terminate() { FState->Stop = true; }

bool TFileScanner::Terminated() const { return FState->Stop; }

void TFileScanner::WaitFor() {
    if (!isRunning() && !isFinished()) return;  // never started
    const std::shared_ptr<THandOverState> State = FState;
    std::unique_lock Lock(State->Mutex);
    while (!State->Ended) {
        if (State->Pending && !State->Pending->Taken) {
            // The worker is blocked handing something over: run it here.
            Lock.unlock();
            ServicePending(State);
            if (State->Destroyed) return;  // the handler destroyed us; the destructor has waited
            Lock.lock();
            continue;
        }
        if (State->Pending && State->Pending->Taken && !State->Pending->Done) {
            // Called from inside a handler of this very scanner: the handler
            // cannot return before we do, so let the worker go on without it.
            State->Pending->Done = true;
            State->Changed.notify_all();
        }
        State->Changed.wait(Lock);
    }
    Lock.unlock();
    wait();
}

void TFileScanner::WaitUntilHandOverPending() {
    if (!isRunning() && !isFinished()) return;  // never started
    std::unique_lock Lock(FState->Mutex);
    FState->Changed.wait(Lock, [&] { return FState->Ended || (FState->Pending && !FState->Pending->Taken); });
}

QStringList TFileScanner::SupportedExtensions() { return ScannedAudioExtensions(); }

bool TFileScanner::IsSupportedAudioFile(const QString& Name) { return IsScannedAudioFile(Name); }

void TFileScanner::run() {
    DoScan(FRoot);
    DoFinished();
    std::lock_guard Lock(FState->Mutex);
    FState->Ended = true;
    FState->Changed.notify_all();
}

void TFileScanner::DoScan(const QString& Dir) {
    TFolderWalk Walk(FState->Stop, [this](const QString& Path) {
        FFiles.append(Path);
        DoProgress(Path);
    });
    Walk.Walk(Dir);
}

// One folder's entries as read from the disk, with links and entries of
// unknown kind resolved; filled by whichever thread lists it.
struct TFolderWalk::TListing {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Ready = false;
    bool Ok = false;  // opened, and a folder
    dev_t Device = 0;
    ino_t Inode = 0;
    std::vector<TDirEntry> Entries;
};

TFolderWalk::TFolderWalk(const std::atomic<bool>& Stop, std::function<void(const QString&)> OnFile, int ListThreads)
    : FStop(Stop), FOnFile(std::move(OnFile)) {
    // The "C" locale collates by code point, with no numeric mode: a user
    // without a language setting gets the English order instead.
    if (QLocale().language() == QLocale::C) FCollator.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    FCollator.setNumericMode(true);
    for (int i = 1; i < ListThreads; ++i) FListers.emplace_back([this] { ListLoop(); });
}

TFolderWalk::~TFolderWalk() {
    {
        std::lock_guard Lock(FQueueMutex);
        FQuit = true;
    }
    FQueueChanged.notify_all();
    for (std::thread& T : FListers) T.join();
}

void TFolderWalk::ListLoop() {
    std::unique_lock Lock(FQueueMutex);
    for (;;) {
        FQueueChanged.wait(Lock, [this] { return FQuit || !FQueue.empty(); });
        if (FQuit) return;
        auto [Path, Listing] = std::move(FQueue.front());
        FQueue.pop_front();
        Lock.unlock();
        List(Path, *Listing);
        Lock.lock();
    }
}

std::shared_ptr<TFolderWalk::TListing> TFolderWalk::Request(const QByteArray& NativePath) {
    auto Listing = std::make_shared<TListing>();
    if (FListers.empty()) {
        List(NativePath, *Listing);  // one thread: read it now
        return Listing;
    }
    {
        std::lock_guard Lock(FQueueMutex);
        FQueue.emplace_back(NativePath, Listing);
    }
    FQueueChanged.notify_one();
    return Listing;
}

// The folder is opened once: its identity comes from the open folder, its
// entries' kinds from the listing where the file system gives them.
void TFolderWalk::List(const QByteArray& NativePath, TListing& Listing) {
    std::vector<TDirEntry> Entries;
    bool Ok = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    if (!FStop) {
        TDirCloser Handle{::opendir(NativePath.constData())};
        struct stat Info;
        if (Handle.Dir && ::fstat(::dirfd(Handle.Dir), &Info) == 0 && S_ISDIR(Info.st_mode)) {
            Ok = true;
            Device = Info.st_dev;
            Inode = Info.st_ino;
            while (!FStop) {
                const dirent* Entry = ::readdir(Handle.Dir);
                if (!Entry) break;
                const char* Name = Entry->d_name;
                if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0))) continue;
                TDirEntry Item{QFile::decodeName(Name), QByteArray(Name), Entry->d_type == DT_DIR,
                               Entry->d_type == DT_REG};
                if (Entry->d_type == DT_LNK || Entry->d_type == DT_UNKNOWN) {
                    // Follow links; a dangling one is neither and is skipped.
                    struct stat Target;
                    if (::stat((NativePath + Item.NativeName).constData(), &Target) == 0) {
                        Item.IsDir = S_ISDIR(Target.st_mode);
                        Item.IsFile = S_ISREG(Target.st_mode);
                    }
                }
                Entries.push_back(std::move(Item));
            }
        }
    }
    {
        std::lock_guard Lock(Listing.Mutex);
        Listing.Ok = Ok;
        Listing.Device = Device;
        Listing.Inode = Inode;
        Listing.Entries = std::move(Entries);
        Listing.Ready = true;
    }
    Listing.Done.notify_all();
}

void TFolderWalk::Walk(const QString& Dir) {
    if (FStop || Dir.isEmpty()) return;
    const QString Path = Dir.endsWith(u'/') ? Dir : Dir + u'/';
    WalkListed(Path, Request(QFile::encodeName(Path)));
}

void TFolderWalk::WalkListed(const QString& Path, const std::shared_ptr<TListing>& Listing) {
    {
        // Listing threads finish every request, quickly once stopped.
        std::unique_lock Lock(Listing->Mutex);
        Listing->Done.wait(Lock, [&] { return Listing->Ready; });
    }
    if (FStop || !Listing->Ok) return;  // no access, vanished meanwhile, not a folder: skipped silently
    // Walk each real folder once: a link back to an ancestor (or a second
    // link to a folder already walked) is not entered again.
    if (!FVisited.insert({Listing->Device, Listing->Inode}).second) return;

    // The whole folder is read first and walked in natural name order
    // ("2 - x" before "10 - y", letters as the user's locale sorts them), the
    // order a file manager shows, whatever order the file system keeps.
    std::vector<TDirEntry>& Entries = Listing->Entries;
    std::sort(Entries.begin(), Entries.end(), [this](const TDirEntry& A, const TDirEntry& B) {
        const int Order = FCollator.compare(A.Name, B.Name);
        // Names the collation holds equal still get one fixed order.
        return Order != 0 ? Order < 0 : A.NativeName < B.NativeName;
    });
    // Every subfolder is asked for at once, so that on a slow disk or share
    // their listings arrive while the walk goes on.
    const QByteArray NativePath = QFile::encodeName(Path);
    std::vector<std::shared_ptr<TListing>> Subfolders;
    for (const TDirEntry& Entry : Entries)
        if (Entry.IsDir) Subfolders.push_back(Request(NativePath + Entry.NativeName + '/'));

    size_t Next = 0;
    for (const TDirEntry& Entry : Entries) {
        if (FStop) break;
        if (Entry.IsDir) {
            WalkListed(Path + Entry.Name + u'/', Subfolders[Next++]);
        } else if (Entry.IsFile && TFileScanner::IsSupportedAudioFile(Entry.Name)) {
            FOnFile(Path + Entry.Name);
        }
    }
}

// The hand-overs carry their own copy of the handler, so that a handler
// which destroys its scanner (a new scan started from inside it) does not
// pull the code it is running from under itself.
void TFileScanner::DoProgress(const QString& Path) {
    if (FOnProgress) RunOnOwner([Handler = FOnProgress, Path] { Handler(Path); });
}

void TFileScanner::DoFinished() {
    if (FOnFinished) RunOnOwner([Handler = FOnFinished] { Handler(); });
}

void TFileScanner::RunOnOwner(std::function<void()> Fn) {
    const auto HandOver = std::make_shared<THandOverState::THandOver>();
    HandOver->Fn = std::move(Fn);
    std::unique_lock Lock(FState->Mutex);
    FState->Pending = HandOver;
    FState->Changed.notify_all();  // wakes an owner waiting in WaitFor
    // The queued call is bound to the relay, which lives on the owner's
    // thread; the hand-over may also be run by WaitFor before it arrives.
    QMetaObject::invokeMethod(
        FRelay, [State = FState] { ServicePending(State); }, Qt::QueuedConnection);
    FState->Changed.wait(Lock, [&] { return HandOver->Done; });
    if (FState->Pending == HandOver) FState->Pending.reset();
}

void TFileScanner::ServicePending(const std::shared_ptr<THandOverState>& State) {
    std::shared_ptr<THandOverState::THandOver> HandOver;
    {
        std::lock_guard Lock(State->Mutex);
        if (!State->Pending || State->Pending->Taken)
            return;  // already run by WaitFor, or running further up this stack
        HandOver = State->Pending;
        HandOver->Taken = true;
    }
    // No lock while the handler runs: it may call Terminate or WaitFor.
    try {
        HandOver->Fn();
    } catch (...) {
        // A handler's failure is its owner's business; the walk goes on.
    }
    std::lock_guard Lock(State->Mutex);
    HandOver->Done = true;
    State->Changed.notify_all();
}
