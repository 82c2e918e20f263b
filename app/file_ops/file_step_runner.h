// TFileStepRunner: carries out the steps of one file command (renaming,
// copying, moving or deleting each selected file) one after another on a
// thread of its own, and hands their outcomes to its owner in step order.
//
// One thread and a strict order, because a step may depend on the ones
// before it (a name an earlier rename took, a file an earlier copy wrote):
// the outcomes are those the same steps give in a plain loop. On a network
// share every step is a few round trips; the owner's thread (the window's)
// stays free for clicks and keys meanwhile.
//
// The owner takes the outcomes from its event loop: the ready notice runs on
// the context's thread, queued, whenever outcomes wait (one notice at a time),
// and TakeReady() takes them. Or it blocks in Next().
//
// Cancel() starts no further step; the step under way ends, and its outcome
// is still handed over, because what it did on disk is done. The end (every
// step run, or the cancel honoured) is announced by one more notice. The
// destructor cancels and joins the thread; no notice runs after it.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/core/file_stamp.h"

class QObject;

// What one step did.
struct TFileStepOutcome {
    bool Done = false;  // the file was renamed, copied, moved or deleted
    QString Error;      // why it failed; empty for a step skipped without a word
    // A renamed or moved file's stamp at its new place, taken on the worker:
    // on a share a stat is a round trip the window's thread should not wait for.
    std::optional<TFileStamp> NewStamp;
};

class TFileStepRunner final {
public:
    // Runs on the runner's thread, for Index 0, 1, ... Count - 1 in turn.
    using TStep = std::function<TFileStepOutcome(int Index)>;

    TFileStepRunner(int Count, TStep Step);
    ~TFileStepRunner();
    TFileStepRunner(const TFileStepRunner&) = delete;
    TFileStepRunner& operator=(const TFileStepRunner&) = delete;

    // The ready notice, run on Context's thread; set it before Start().
    void SetReadyNotice(QObject* Context, std::function<void()> OnReady);
    void Start();
    void Cancel();

    // Appends the outcomes that are ready, in step order; returns true once
    // no further outcome will come and every one has been taken.
    bool TakeReady(std::vector<TFileStepOutcome>& Out);
    // Blocks until the next outcome is ready; false once no further one comes.
    bool Next(TFileStepOutcome& Out);

private:
    struct TState;
    std::shared_ptr<TState> FState;
    std::thread FThread;
};
