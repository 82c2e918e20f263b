#include "app/core/file_scanner.h"

#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <dirent.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// Every extension of a file the tag library reads: the seven of the editor's
// first release, then the other Ogg, APE-tagged, AIFF, DSD and audiobook files.
constexpr const char* SupportedAudioExtensions[] = {
    ".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav",
    ".opus", ".oga", ".wv", ".mpc", ".aif", ".aiff", ".aifc", ".dsf", ".dff", ".m4b"};

struct TDirEntry {
    QString Name;
    QByteArray NativeName;
    unsigned char Type;   // d_type
};

// Closes a directory stream on every way out of the loop.
struct TDirCloser {
    DIR* Dir;
    ~TDirCloser() { if (Dir) ::closedir(Dir); }
};

}  // namespace

// What the worker and the owner's thread share: the stop flag, the one
// hand-over the worker may be waiting in, and the end of the walk. Held by
// shared pointer so that a queued hand-over call that outlives the scanner
// object finds valid state.
struct TFileScanner::THandOverState {
    struct THandOver {
        std::function<void()> Fn;
        bool Taken = false;   // the owner's thread has started running it
        bool Done = false;    // it has returned, or the owner released the worker
    };

    std::atomic<bool> Stop{false};
    std::mutex Mutex;
    std::condition_variable Changed;
    std::shared_ptr<THandOver> Pending;
    bool Ended = false;       // the worker will hand nothing more over
    bool Destroyed = false;   // the scanner object is gone (owner thread only)
};

TFileScanner::TFileScanner(const QString& ARoot, TScanProgressEvent AOnProgress, TScanFinishedEvent AOnFinished,
                           QObject* AParent)
    : QThread(AParent),
      FRoot(ARoot),
      FOnProgress(std::move(AOnProgress)),
      FOnFinished(std::move(AOnFinished)),
      FState(std::make_shared<THandOverState>()),
      FRelay(new QObject)
{
}

TFileScanner::~TFileScanner()
{
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

void TFileScanner::Start()
{
    start();
}

void TFileScanner::Terminate()
{
    FState->Stop = true;
}

bool TFileScanner::Terminated() const
{
    return FState->Stop;
}

void TFileScanner::WaitFor()
{
    if (!isRunning() && !isFinished())
        return;   // never started
    const std::shared_ptr<THandOverState> State = FState;
    std::unique_lock Lock(State->Mutex);
    while (!State->Ended) {
        if (State->Pending && !State->Pending->Taken) {
            // The worker is blocked handing something over: run it here.
            Lock.unlock();
            ServicePending(State);
            if (State->Destroyed)
                return;   // the handler destroyed us; the destructor has waited
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

void TFileScanner::WaitUntilHandOverPending()
{
    if (!isRunning() && !isFinished())
        return;   // never started
    std::unique_lock Lock(FState->Mutex);
    FState->Changed.wait(Lock, [&] { return FState->Ended || (FState->Pending && !FState->Pending->Taken); });
}

QStringList TFileScanner::SupportedExtensions()
{
    QStringList List;
    for (const char* Supported : SupportedAudioExtensions)
        List.append(QLatin1String(Supported));
    return List;
}

bool TFileScanner::IsSupportedAudioFile(const QString& Name)
{
    const qsizetype Dot = Name.lastIndexOf(u'.');
    if (Dot < 0)
        return false;
    const QString Ext = Name.mid(Dot).toLower();
    for (const char* Supported : SupportedAudioExtensions)
        if (Ext == QLatin1String(Supported))
            return true;
    return false;
}

void TFileScanner::run()
{
    DoScan(FRoot);
    DoFinished();
    std::lock_guard Lock(FState->Mutex);
    FState->Ended = true;
    FState->Changed.notify_all();
}

void TFileScanner::DoScan(const QString& Dir)
{
    TFolderWalk Walk(FState->Stop, [this](const QString& Path) {
        FFiles.append(Path);
        DoProgress(Path);
    });
    Walk.Walk(Dir);
}

TFolderWalk::TFolderWalk(const std::atomic<bool>& Stop, std::function<void(const QString&)> OnFile)
    : FStop(Stop), FOnFile(std::move(OnFile))
{
    // The "C" locale collates by code point, with no numeric mode: a user
    // without a language setting gets the English order instead.
    if (QLocale().language() == QLocale::C)
        FCollator.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    FCollator.setNumericMode(true);
}

void TFolderWalk::Walk(const QString& Dir)
{
    if (FStop || Dir.isEmpty())
        return;
    const QString Path = Dir.endsWith(u'/') ? Dir : Dir + u'/';
    const QByteArray NativePath = QFile::encodeName(Path);

    // Walk each real folder once: a link back to an ancestor (or a second
    // link to a folder already walked) is not entered again.
    struct stat DirInfo;
    if (::stat(NativePath.constData(), &DirInfo) != 0 || !S_ISDIR(DirInfo.st_mode))
        return;
    if (!FVisited.insert({DirInfo.st_dev, DirInfo.st_ino}).second)
        return;

    // The whole folder is read first and walked in natural name order
    // ("2 - x" before "10 - y", letters as the user's locale sorts them), the
    // order a file manager shows, whatever order the file system keeps.
    std::vector<TDirEntry> Entries;
    {
        TDirCloser Handle{::opendir(NativePath.constData())};
        if (!Handle.Dir)
            return;   // no access, vanished meanwhile: skipped silently
        while (!FStop) {
            const dirent* Entry = ::readdir(Handle.Dir);
            if (!Entry)
                break;
            const char* Name = Entry->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                continue;
            Entries.push_back({QFile::decodeName(Name), QByteArray(Name), Entry->d_type});
        }
    }
    std::sort(Entries.begin(), Entries.end(), [this](const TDirEntry& A, const TDirEntry& B) {
        const int Order = FCollator.compare(A.Name, B.Name);
        // Names the collation holds equal still get one fixed order.
        return Order != 0 ? Order < 0 : A.NativeName < B.NativeName;
    });

    for (const TDirEntry& Entry : Entries) {
        if (FStop)
            break;
        const QString FullName = Path + Entry.Name;
        bool IsDir = Entry.Type == DT_DIR;
        bool IsFile = Entry.Type == DT_REG;
        if (Entry.Type == DT_LNK || Entry.Type == DT_UNKNOWN) {
            // Follow links; a dangling one is neither and is skipped.
            struct stat Info;
            const QByteArray NativeName = NativePath + Entry.NativeName;
            if (::stat(NativeName.constData(), &Info) == 0) {
                IsDir = S_ISDIR(Info.st_mode);
                IsFile = S_ISREG(Info.st_mode);
            }
        }
        if (IsDir) {
            Walk(FullName);
        } else if (IsFile && TFileScanner::IsSupportedAudioFile(Entry.Name)) {
            FOnFile(FullName);
        }
    }
}

// The hand-overs carry their own copy of the handler, so that a handler
// which destroys its scanner (a new scan started from inside it) does not
// pull the code it is running from under itself.
void TFileScanner::DoProgress(const QString& Path)
{
    if (FOnProgress)
        RunOnOwner([Handler = FOnProgress, Path] { Handler(Path); });
}

void TFileScanner::DoFinished()
{
    if (FOnFinished)
        RunOnOwner([Handler = FOnFinished] { Handler(); });
}

void TFileScanner::RunOnOwner(std::function<void()> Fn)
{
    const auto HandOver = std::make_shared<THandOverState::THandOver>();
    HandOver->Fn = std::move(Fn);
    std::unique_lock Lock(FState->Mutex);
    FState->Pending = HandOver;
    FState->Changed.notify_all();   // wakes an owner waiting in WaitFor
    // The queued call is bound to the relay, which lives on the owner's
    // thread; the hand-over may also be run by WaitFor before it arrives.
    QMetaObject::invokeMethod(FRelay, [State = FState] { ServicePending(State); }, Qt::QueuedConnection);
    FState->Changed.wait(Lock, [&] { return HandOver->Done; });
    if (FState->Pending == HandOver)
        FState->Pending.reset();
}

void TFileScanner::ServicePending(const std::shared_ptr<THandOverState>& State)
{
    std::shared_ptr<THandOverState::THandOver> HandOver;
    {
        std::lock_guard Lock(State->Mutex);
        if (!State->Pending || State->Pending->Taken)
            return;   // already run by WaitFor, or running further up this stack
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
