// TFileCommands: renaming files (by hand or from their tags), creating and
// renaming folders, and copying, moving and deleting the selected files.
//
// Works on the window model it is given (not owned): its selection, its
// selected folder, its record cache and list, which it keeps in step with
// what happened on disk. Questions and messages go through the model's
// IUserInteraction. Nothing here ever replaces an existing file except a
// copy onto a file of the same name, which the user asked for.
//
// A command asks its questions on the caller's thread, then hands the work
// on disk to a TFileStepRunner (one file after another on a thread of its
// own: on a network share each step is a round trip, and the window must
// answer meanwhile) and returns. Each file's outcome comes back through the
// event loop in the selection's order; the record, the row, the undo history
// and any error message follow it there, as they would in a plain loop. The
// summary comes when the last file is done, then Finished(). One command
// runs at a time; another one asked for meanwhile does nothing.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/file_ops/file_step_runner.h"

class TMainModel;
class IUserInteraction;

class TFileCommands final : public QObject {
    Q_OBJECT
public:
    explicit TFileCommands(TMainModel& Model, QObject* Parent = nullptr);
    ~TFileCommands() override;

    // Rename one selected file to a typed name (F2).
    void RenameFile();
    // Rename every selected file from its tags by a pattern.
    void TagToName();
    void NewFolder();
    void RenameFolder();
    void CopyFiles();
    void MoveFiles();
    void DeleteFiles();

    // From the start of a command's work on disk to its Finished().
    bool IsRunning() const { return FOperation != nullptr; }
    // No file is started after this; the one under way ends whole and is
    // accounted for. Returns at once; the command ends in the next turn of
    // the event loop (or in Wait()), with the summary of what was done.
    void Cancel();
    // Blocks until the command under way has ended, taking its outcomes here.
    void Wait();

    // Runs on the worker before the step for each file (Index: its place
    // among the files the command works on, in list order): a test holds a
    // file there, or records where it runs.
    using TStepHook = std::function<void(int Index)>;
    void SetStepHook(TStepHook Hook) { FStepHook = std::move(Hook); }
    // How long outcomes are taken before the event loop gets its turn: a
    // worker on a fast disk hands over a thousand renames in one go, and the
    // window must still answer while their rows are updated.
    void SetOutcomeSlice(qint64 Milliseconds) { FOutcomeSliceMs = Milliseconds; }

    // The pattern input's default.
    static QString DefaultPattern() { return QStringLiteral("%artist% - %title%"); }

signals:
    // A command's work on disk runs (true) or has ended (false): the window
    // takes no other command meanwhile but the cancel.
    void BusyChanged(bool Busy);
    // A command's work has ended: every outcome taken, the summary shown.
    void Finished();

private:
    // Formats the progress text for Done of Total files.
    using TProgressText = std::function<QString(int Done, int Total)>;
    // Takes the outcome of the file at Index, on this thread.
    using TTakeOutcome = std::function<void(int Index, const TFileStepOutcome& Outcome)>;
    struct TOperation;

    void Run(int Count, TFileStepRunner::TStep Step, TProgressText Progress, TTakeOutcome Take,
             std::function<void()> End);
    void OnOutcomesReady();
    void TakeOutcome(const TFileStepOutcome& Outcome);
    void Finish();

    TMainModel& FModel;
    IUserInteraction& FUi;
    std::unique_ptr<TOperation> FOperation;
    unsigned FOperationCount = 0;
    bool FTaking = false;  // outcomes are being taken (a message box may be up)
    TStepHook FStepHook;
    qint64 FOutcomeSliceMs = 15;
};
