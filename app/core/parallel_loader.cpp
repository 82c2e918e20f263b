#include "app/core/parallel_loader.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <sys/vfs.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>

#include "app/core/file_scanner.h"

namespace {

// Workers yield the processor to the window's thread: a scan keeps every
// core busy, and the window must still answer at once. (Linux: the nice
// value is per thread.)
void LowerThisThreadsPriority() {
    const int Tid = static_cast<int>(::syscall(SYS_gettid));
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(Tid));
    if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(Tid), std::min(Nice + 5, 19));
}

}  // namespace

// Threads reading folder listings ahead of the walk (at most).
constexpr int kListThreads = 8;

// What the owner, the walk and the workers share, under one mutex. Held by
// shared pointer so that a queued notice that outlives the loader finds
// valid state (and sees Destroyed).
struct TParallelLoader::TState {
    std::mutex Mutex;
    std::condition_variable Work;   // workers: a file to take, or the end
    std::condition_variable Ready;  // Next(): the next record, or the end
    std::atomic<bool> Stop{false};

    TLoadFunction Load;
    QString Root;           // empty: a given list
    QStringList Paths;      // every file of the list so far, in order
    bool ListDone = false;  // the walk has ended (or the list was given)
    size_t NextToTake = 0;  // the next file a worker takes
    size_t Taken = 0;       // records handed to the owner
    // Results[i] is file Taken + i, once a worker has loaded it.
    std::deque<std::optional<TLoadedFile>> Results;
    size_t Window = 64;

    QPointer<QObject> Context;
    std::function<void()> OnReady;
    bool NoticePending = false;
    bool Destroyed = false;

    bool FrontReady() const { return !Results.empty() && Results.front().has_value(); }
    bool Ended() const { return ListDone && Taken >= static_cast<size_t>(Paths.size()); }

    // Queues one ready notice on the owner's thread unless one is queued.
    // Called with the mutex held.
    static void PostNotice(const std::shared_ptr<TState>& S) {
        if (!S->OnReady || S->NoticePending || S->Destroyed || !S->Context) return;
        S->NoticePending = true;
        QMetaObject::invokeMethod(
            S->Context.data(),
            [S] {
                {
                    std::lock_guard Lock(S->Mutex);
                    S->NoticePending = false;
                    if (S->Destroyed) return;
                }
                S->OnReady();
            },
            Qt::QueuedConnection);
    }
};

TParallelLoader::TParallelLoader(const QString& Root, TLoadFunction Load, int Threads)
    : FState(std::make_shared<TState>()) {
    FState->Root = Root.isEmpty() ? QStringLiteral("/") : Root;
    Init(std::move(Load), Threads);
}

TParallelLoader::TParallelLoader(const QStringList& Files, TLoadFunction Load, int Threads)
    : FState(std::make_shared<TState>()) {
    FState->Paths = Files;
    FState->ListDone = true;
    Init(std::move(Load), Threads);
}

void TParallelLoader::Init(TLoadFunction Load, int Threads) {
    FState->Load = std::move(Load);
    FWorkers = std::clamp(Threads, 1, 64);
    FState->Window = std::max<size_t>(64, static_cast<size_t>(FWorkers) * 8);
}

TParallelLoader::~TParallelLoader() {
    Stop();
    for (std::thread& T : FThreads)
        if (T.joinable()) T.join();
    std::lock_guard Lock(FState->Mutex);
    FState->Destroyed = true;
}

void TParallelLoader::SetReadyNotice(QObject* Context, std::function<void()> OnReady) {
    std::lock_guard Lock(FState->Mutex);
    FState->Context = Context;
    FState->OnReady = std::move(OnReady);
}

void TParallelLoader::Start() {
    if (FStarted) return;
    FStarted = true;
    FThreads.reserve(static_cast<size_t>(FWorkers) + 1);
    for (int i = 0; i < FWorkers; ++i) FThreads.emplace_back([this] { WorkerLoop(); });
    if (!FState->ListDone) {
        const int Listers = std::min(FWorkers, kListThreads);
        FThreads.emplace_back([S = FState, Listers] {
            LowerThisThreadsPriority();
            TFolderWalk Walk(
                S->Stop,
                [&S](const QString& Path) {
                    std::lock_guard Lock(S->Mutex);
                    S->Paths.append(Path);
                    S->Work.notify_one();
                },
                Listers);
            Walk.Walk(S->Root);
            std::lock_guard Lock(S->Mutex);
            S->ListDone = true;
            S->Work.notify_all();
            S->Ready.notify_all();
            TState::PostNotice(S);
        });
    } else {
        std::lock_guard Lock(FState->Mutex);
        TState::PostNotice(FState);  // an empty list ends at once
    }
}

void TParallelLoader::Stop() {
    {
        std::lock_guard Lock(FState->Mutex);
        FState->Stop = true;
    }
    FState->Work.notify_all();
    FState->Ready.notify_all();
}

void TParallelLoader::WorkerLoop() {
    LowerThisThreadsPriority();
    const std::shared_ptr<TState> S = FState;
    std::unique_lock Lock(S->Mutex);
    for (;;) {
        S->Work.wait(Lock, [&] {
            const size_t Count = static_cast<size_t>(S->Paths.size());
            return S->Stop || (S->NextToTake < Count && S->NextToTake < S->Taken + S->Window) ||
                   (S->ListDone && S->NextToTake >= Count);
        });
        if (S->Stop || S->NextToTake >= static_cast<size_t>(S->Paths.size())) return;
        const size_t Index = S->NextToTake++;
        TLoadedFile Result;
        Result.Path = S->Paths[static_cast<qsizetype>(Index)];
        Lock.unlock();
        Result.Ok = S->Load(Result.Path, Result.Tag, Result.Error);
        Lock.lock();
        if (S->Stop) return;
        const size_t Slot = Index - S->Taken;
        if (S->Results.size() <= Slot) S->Results.resize(Slot + 1);
        S->Results[Slot] = std::move(Result);
        if (Slot == 0) {
            S->Ready.notify_all();
            TState::PostNotice(S);
        }
    }
}

bool TParallelLoader::Next(TLoadedFile& Out) {
    const std::shared_ptr<TState> S = FState;
    std::unique_lock Lock(S->Mutex);
    S->Ready.wait(Lock, [&] { return S->Stop || S->FrontReady() || S->Ended(); });
    if (S->Stop || !S->FrontReady()) return false;
    Out = std::move(*S->Results.front());
    S->Results.pop_front();
    ++S->Taken;
    S->Work.notify_all();
    return true;
}

bool TParallelLoader::TakeReady(std::vector<TLoadedFile>& Out, size_t Max) {
    const std::shared_ptr<TState> S = FState;
    std::lock_guard Lock(S->Mutex);
    size_t Count = 0;
    while (Count < Max && S->FrontReady()) {
        Out.push_back(std::move(*S->Results.front()));
        S->Results.pop_front();
        ++S->Taken;
        ++Count;
    }
    if (Count > 0) S->Work.notify_all();
    if (S->FrontReady()) TState::PostNotice(S);  // the rest in the next turn of the event loop
    return !S->Stop && S->Ended();
}

bool TParallelLoader::OnNetworkFileSystem(const QString& Folder) {
    struct statfs Info;
    if (Folder.isEmpty() || ::statfs(QFile::encodeName(Folder).constData(), &Info) != 0) return false;
    switch (static_cast<unsigned long>(Info.f_type)) {
        case 0x6969UL:      // NFS
        case 0x517BUL:      // SMB
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case 0x65735546UL:  // FUSE (sshfs and other network mounts)
        case 0x01021997UL:  // 9P
        case 0x00C36400UL:  // Ceph
        case 0x47504653UL:  // GPFS
        case 0x6B414653UL:  // AFS
            return true;
        default: return false;
    }
}

int TParallelLoader::DefaultThreads(const QString& Folder) {
    if (const char* Setting = std::getenv("VELTRANO_LOAD_THREADS")) {
        const int Value = std::atoi(Setting);
        if (Value >= 1 && Value <= 64) return Value;
    }
    if (OnNetworkFileSystem(Folder)) return 32;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 32);
}
