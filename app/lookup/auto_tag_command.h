// TAutoTagCommand: fills title, artist, album, album artist and year of the
// selected files from the online music database.
//
// For each selected file in list order: search by its artist, title and
// album, let the user pick one release of one recording, read that release
// (its credit, date and the track holding the recording), and store the
// changed record in the window model's cache (see ApplyCandidate for which
// values change; a release that cannot be read changes nothing). One
// undo step covers the run, and one save at its end writes every changed
// file. The run is modal: a progress window shows which file is being
// looked up and its Cancel stops the run (what was picked so far is saved).
// A file whose look-up fails gets one message and the run goes on.
//
// The command owns one lookup service per run; the window model, the message
// boxes and the dialogs belong to the caller.
#pragma once

#include <QString>
#include <QVector>
#include <functional>
#include <memory>

#include "app/core/audio_tag.h"
#include "app/lookup/auto_tag_service.h"

class TMainModel;
class IUserInteraction;

// The command's dialogs: the modal progress window and the pick dialog.
class IAutoTagUi {
public:
    virtual ~IAutoTagUi() = default;
    // Shows the progress window for a run over FileCount files; its Cancel
    // button calls OnCancel.
    virtual void BeginProgress(int FileCount, std::function<void()> OnCancel) = 0;
    // FileIndex counts from 0.
    virtual void ShowProgress(int FileIndex, const QString& Text) = 0;
    virtual void EndProgress() = 0;
    // The modal pick dialog with Heading above the candidates; true with Pick
    // set when the user chose one.
    virtual bool PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates,
                               TMBReleaseCandidate& Pick) = 0;
};

class TAutoTagCommand {
public:
    TAutoTagCommand(TMainModel& Model, IUserInteraction& Ui, IAutoTagUi& Dialogs);
    ~TAutoTagCommand();

    // The service's base address (the configured one by default).
    void SetBaseUrl(const QString& Url) { FBaseUrl = Url; }
    // Spacing between requests (tests shorten it).
    void SetMinIntervalMs(int Ms) { FMinIntervalMs = Ms; }

    void Run();
    // Stops a running run after the current step; nothing when idle.
    void Cancel();
    bool IsRunning() const { return FRunning; }

private:
    // Looks one file up and changes Tag; true when it changed.
    bool LookUpFile(const QString& Path, TAudioTag& Tag);

    TMainModel& FModel;
    IUserInteraction& FUi;
    IAutoTagUi& FDialogs;
    QString FBaseUrl;
    int FMinIntervalMs = TAutoTagService::kDefaultMinIntervalMs;
    std::unique_ptr<TAutoTagService> FService;
    bool FRunning = false;
    bool FCancelled = false;
};
