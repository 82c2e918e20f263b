#include "app/file_ops/file_step_runner.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

// What the owner and the thread share, under one mutex. Held by shared
// pointer so that a queued notice that outlives the runner finds valid state
// (and sees Destroyed).
struct TFileStepRunner::TState {
    std::mutex Mutex;
    std::condition_variable Ready;  // Next(): an outcome, or the end

    int Count = 0;
    TStep Step;
    bool Cancelled = false;
    bool Ended = false;  // the thread has run its last step
    std::deque<TFileStepOutcome> Outcomes;

    QPointer<QObject> Context;
    std::function<void()> OnReady;
    bool NoticePending = false;
    bool Destroyed = false;

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

TFileStepRunner::TFileStepRunner(int Count, TStep Step) : FState(std::make_shared<TState>()) {
    FState->Count = std::max(Count, 0);
    FState->Step = std::move(Step);
}

TFileStepRunner::~TFileStepRunner() {
    Cancel();
    if (FThread.joinable()) FThread.join();
    std::lock_guard Lock(FState->Mutex);
    FState->Destroyed = true;
}

void TFileStepRunner::SetReadyNotice(QObject* Context, std::function<void()> OnReady) {
    std::lock_guard Lock(FState->Mutex);
    FState->Context = Context;
    FState->OnReady = std::move(OnReady);
}

void TFileStepRunner::Start() {
    if (FThread.joinable()) return;
    FThread = std::thread([S = FState] {
        for (int Index = 0; Index < S->Count; ++Index) {
            {
                std::lock_guard Lock(S->Mutex);
                if (S->Cancelled) break;
            }
            TFileStepOutcome Outcome = S->Step(Index);
            std::lock_guard Lock(S->Mutex);
            S->Outcomes.push_back(std::move(Outcome));
            S->Ready.notify_all();
            TState::PostNotice(S);
        }
        std::lock_guard Lock(S->Mutex);
        S->Ended = true;
        S->Ready.notify_all();
        TState::PostNotice(S);
    });
}

void TFileStepRunner::Cancel() {
    std::lock_guard Lock(FState->Mutex);
    FState->Cancelled = true;
}

bool TFileStepRunner::TakeReady(std::vector<TFileStepOutcome>& Out) {
    std::lock_guard Lock(FState->Mutex);
    while (!FState->Outcomes.empty()) {
        Out.push_back(std::move(FState->Outcomes.front()));
        FState->Outcomes.pop_front();
    }
    return FState->Ended;
}

bool TFileStepRunner::Next(TFileStepOutcome& Out) {
    std::unique_lock Lock(FState->Mutex);
    FState->Ready.wait(Lock, [this] { return !FState->Outcomes.empty() || FState->Ended || !FThread.joinable(); });
    if (FState->Outcomes.empty()) return false;
    Out = std::move(FState->Outcomes.front());
    FState->Outcomes.pop_front();
    return true;
}
