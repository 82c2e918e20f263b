// TAutoTagCommand: fills title, artist, album, album artist, year and the
// front cover of the selected files from the online music database.
//
// For each selected file in list order: search by its artist, title and
// album, let the user pick one release of one recording, read that release
// (its credit, date and the track holding the recording), and, when the file
// has no cover or the user ticked "Replace covers", fetch the release's front
// cover from the cover archive (see ApplyCandidate for which values change;
// a release that cannot be read changes nothing; a release without a cover
// still gives its values). When the run ends, the looked-up values go into
// the window model's cache as one undo step and one save writes every
// changed file. A progress window shows which file is being looked up; its
// Cancel ends the run at once (what was picked so far is saved). A file
// whose look-up fails gets one message and the run goes on.
//
// The run is a small state machine driven by signals: each request is sent,
// the command returns to the event loop, and the service's signal moves it
// to the next step. Nothing waits in a local event loop, so the window keeps
// painting and handling its timers throughout, and no step runs inside
// another. Run returns at once; Finished says when the run has ended.
//
// The command owns one lookup service per run; the window model, the
// dialogs and the messages belong to the caller.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

#include "app/core/audio_tag.h"
#include "app/lookup/auto_tag_service.h"

class TMainModel;

// What the user answered in the pick dialog.
struct TAutoTagPickAnswer {
    bool Picked = false;  // OK on a row (else Cancel or the close box)
    TMBReleaseCandidate Pick;
    bool ReplaceCovers = false;  // "Replace covers" was ticked
};

// The command's windows: the progress window, the pick dialog and the
// messages. None of them waits: each reports its end through its callback,
// which may come later from the event loop.
class IAutoTagUi {
public:
    virtual ~IAutoTagUi() = default;
    // Shows the progress window for a run over FileCount files; its Cancel
    // button calls OnCancel.
    virtual void BeginProgress(int FileCount, std::function<void()> OnCancel) = 0;
    // FileIndex counts from 0.
    virtual void ShowProgress(int FileIndex, const QString& Text) = 0;
    // Closes the progress window and any pick dialog or message still open
    // (their callbacks are not called any more).
    virtual void EndProgress() = 0;
    // Opens the pick dialog with Heading above the candidates and the
    // "Replace covers" box set as given; Done gets the answer once it closes.
    virtual void PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates,
                               bool ReplaceCovers, std::function<void(const TAutoTagPickAnswer&)> Done) = 0;
    // A message with OK (a warning when Warning); Closed follows its OK.
    virtual void ShowMessage(bool Warning, const QString& Text, std::function<void()> Closed) = 0;
};

class TAutoTagCommand : public QObject {
    Q_OBJECT
public:
    TAutoTagCommand(TMainModel& Model, IAutoTagUi& Dialogs, QObject* Parent = nullptr);
    ~TAutoTagCommand() override;

    // The service's base addresses (the configured ones by default).
    void SetBaseUrl(const QString& Url) { FBaseUrl = Url; }
    void SetCoverArtUrl(const QString& Url) { FCoverArtUrl = Url; }
    // Spacing between requests (tests shorten it).
    void SetMinIntervalMs(int Ms) { FMinIntervalMs = Ms; }

    // Starts a run over the selected files and returns at once; nothing
    // when a run is under way or nothing is selected.
    void Run();
    // Ends a running run at once: the request under way is dropped, the
    // windows close, and what was picked so far is applied and saved.
    void Cancel();
    bool IsRunning() const { return FState != stIdle; }

signals:
    // The run has ended: its values are in the cache and its save started.
    void Finished();

private:
    enum TState { stIdle, stSearching, stPicking, stReading, stCover, stMessage };
    // What one file is to receive once the run ends.
    struct TResult {
        TMBReleaseCandidate Pick;
        QByteArray CoverData;  // empty: the file keeps its cover
        QString CoverMime;
    };

    void NextFile();
    void OnSearchFinished(const TAutoTagResult& Result);
    void OnPicked(quint64 Run, const TAutoTagPickAnswer& Answer);
    void OnReleaseFinished(bool Ok, const TMBReleaseCandidate& Pick);
    void OnCoverFinished(const TFrontCover& Cover);
    // Keeps the file's result and goes on with the next file.
    void TakeCover(const TFrontCover& Cover);
    // Shows a message; the run goes on with the next file after its OK.
    void MessageThenNext(bool Warning, const QString& Text);
    void Finish();

    TMainModel& FModel;
    IAutoTagUi& FDialogs;
    QString FBaseUrl;
    QString FCoverArtUrl;
    int FMinIntervalMs = TAutoTagService::kDefaultMinIntervalMs;

    TState FState = stIdle;
    quint64 FRun = 0;  // counts runs; a stale callback is dropped
    std::unique_ptr<TAutoTagService> FService;
    QStringList FPaths;           // the selection when the run started
    int FIndex = -1;              // the file being looked up
    TAudioTag FTag;               // its record when its look-up began
    bool FReplaceCovers = false;  // the pick dialog's box, kept through the run
    bool FReplaceThisFile = false;
    TMBReleaseCandidate FPick;            // the read release of the file
    QHash<QString, TResult> FResults;     // by path
    QHash<QString, TFrontCover> FCovers;  // by release: one fetch per release and run
};
