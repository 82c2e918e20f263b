// TMainModel: the main window's state and commands, without widgets.
//
// It owns the tag service, the record cache (one TAudioTag per file found by
// the current scan, keyed by full path), the folder scanner, the file list
// rows, the editor's sixteen texts with their suggestion lists, the picture
// display and the undo history. The window binds its widgets to it; tests
// call the commands directly and answer its questions through
// IUserInteraction and IShellActions.
//
// Everything runs on the GUI thread. The scanner's worker only walks the
// folders; each file it finds is handed to this object on the GUI thread,
// where its tags are read and its row added.
#pragma once

#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "app/core/audio_tag.h"
#include "app/core/tag_service.h"
#include "app/cover_art.h"
#include "app/file_list_model.h"
#include "app/user_interaction.h"

class TParallelLoader;
struct TLoadedFile;

// One undo step: the selected files and their whole records before a change.
struct TUndoItem {
    QStringList Files;
    QVector<TAudioTag> Tags;  // Tags[i] belongs to Files[i]; an empty FileName
                              // marks a file that had no record
};

class TMainModel final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxUndoSteps = 30;
    static constexpr int kFieldCount = TAudioTag::TextFieldCount;
    // The editor's fields use the record's field order: Title, Artist, Album,
    // Year, Track, Genre, Comment, Disc, BPM, AlbumArtist, Composer,
    // OrigArtist, Copyright, URL, EncodedBy, Lyrics.
    enum TEditorField {
        efTitle,
        efArtist,
        efAlbum,
        efYear,
        efTrack,
        efGenre,
        efComment,
        efDisc,
        efBPM,
        efAlbumArtist,
        efComposer,
        efOrigArtist,
        efCopyright,
        efURL,
        efEncodedBy,
        efLyrics
    };
    // Comment and Lyrics are multi-line boxes without a suggestion list.
    static bool FieldHasSuggestions(int Field) { return Field != efComment && Field != efLyrics; }
    static const QString& KeepMarker();

    TMainModel(ITagServicePtr TagService, IUserInteraction& Ui, IShellActions& Shell, QObject* Parent = nullptr);
    ~TMainModel() override;

    ITagService& TagService() { return *FTagService; }
    IUserInteraction& Ui() { return FUi; }

    // --- record cache and list ---------------------------------------------
    QMap<QString, TAudioTag>& TagCache() { return FTagCache; }
    const QMap<QString, TAudioTag>& TagCache() const { return FTagCache; }
    bool TryGetCachedTag(const QString& Path, TAudioTag& Tag) const;
    TFileListModel& FileList() { return FFileList; }
    QItemSelectionModel& Selection() { return FSelection; }
    // Full paths of the selected rows, in list order.
    QStringList GetSelectedFiles() const;
    // Replaces the selection by these rows (tests and commands).
    void SelectRows(const QVector<int>& Rows);
    void SelectFiles(const QStringList& Paths);
    int FindListRow(const QString& Path) const { return FFileList.FindRow(Path); }
    // Redraws a file's row from its record, whether the filter shows it or not.
    void UpdateListRow(const QString& Path, const TAudioTag& Tag) { FFileList.UpdatePath(Path, Tag); }
    // Adds a file's record and its row at the end of the list (a record the
    // cache holds already is replaced); returns its shown row, or -1 when the
    // filter hides it.
    int AddRecord(const QString& Path, const TAudioTag& Tag);
    // Empties the list and the record cache.
    void ClearFileList();
    // Shows the records that match the filter, in list order (the scan's
    // natural order, or the last sort); nothing stays selected.
    void RebuildFileList();
    void RefreshSelection();
    QString CurrentFile() const { return FCurrentFile; }

    // --- folder and scan ---------------------------------------------------
    // The folder tree reports a selected folder: pending edits are dropped
    // and the folder is scanned.
    void FolderSelected(const QString& Folder);
    QString SelectedFolder() const { return FSelectedFolder; }
    void StartScan(const QString& Folder);
    // Asks a running scan to stop and waits for it.
    void StopScan();
    // From the start of a scan until its finished notice (or its stop).
    bool IsScanning() const;
    // A command's confirmation that the scan it starts (or has just
    // started) must not replace with its own progress and count.
    void SetStatusKeptThroughScan(const QString& Text);
    // Files loaded at once during a scan (by default from the core count,
    // more on a network share).
    void SetLoadThreads(int Threads);
    int LoadThreads() const { return FLoadThreads; }
    // Files written at once by a save.
    void SetSaveThreads(int Threads);
    // Wall time of the last scan from its start to its finished notice.
    qint64 LastScanMilliseconds() const { return FLastScanMs; }
    // The monotonic clock (milliseconds) that paces progress notices during
    // long commands; tests set one they advance themselves.
    using TClock = std::function<qint64()>;
    void SetClock(TClock Clock) { FClock = std::move(Clock); }

    // --- filter and sort ---------------------------------------------------
    void SetFilterText(const QString& Text);
    QString FilterText() const { return FFilterText; }
    // A click on a column header.
    void SortByColumn(int Column);
    // The column the list is sorted by, or -1 for the scan's natural order
    // (every new scan starts in it).
    int SortColumn() const { return FSortColumn; }
    bool SortAscending() const { return FSortAsc; }

    // --- editor --------------------------------------------------------------
    QString EditorText(int Field) const { return FEditorText[Field]; }
    QStringList Suggestions(int Field) const { return FSuggestions[Field]; }
    // A text change in an editor control (ignored as an edit while the
    // model itself fills the controls).
    void SetEditorText(int Field, const QString& Text);
    bool TagsAreChanged() const { return FTagsAreChanged; }
    bool UpdatingControls() const { return FUpdatingControls; }
    void ShowSingleTag(const TAudioTag& Tag);
    void ShowMultipleTags(const QStringList& Paths);
    void ApplyEditorToSelection();
    // Applies edits still pending in the editor (their own undo step); a
    // command calls this before it changes, records or renames anything, so
    // that a later Save never writes stale editor text over its result.
    void ApplyPendingEdits();
    // Empties the sixteen fields and the picture (no edit).
    void ClearEditor();
    // The list is about to take a mouse click: with pending edits, ask
    // whether to save them first.
    void BeforeListMouseClick();

    // --- picture -----------------------------------------------------------
    const TCoverDisplay& CoverDisplay() const { return FCover; }
    void LoadCover();
    void ClearCover();
    void CoverFromDisplay(TAudioTag& Tag) const { FCover.ApplyTo(Tag); }
    int DistinctCoverCount() const { return FCoverPool.DistinctCount(); }

    // --- commands ------------------------------------------------------------
    void Rescan() { StartScan(FSelectedFolder); }
    // Writes every modified record, on a pool of workers off this thread.
    // With background saves (the window's way) Save returns at once, the
    // results come back through the event loop and the summary ("Saved tags
    // to N files.") once every file is on disk; otherwise Save waits for
    // them, as commands run from tests or scripts expect.
    void Save();
    void SetBackgroundSaves(bool Background) { FBackgroundSaves = Background; }
    bool IsSaving() const;
    // Blocks until the save under way has ended, taking its results here.
    void WaitForSave();
    // Stops a save after the files being written; the rest stay modified.
    // Returns at once; the save ends in the next turn of the event loop.
    void CancelSave();
    void Remove();
    void Undo();
    void Play();
    void PushUndoSnapshot();

    // The one way a command changes the records of the selected files
    // (quick actions, the auto-tag command, Remove): pending editor text is
    // applied first, then one undo step records the whole selection, then
    // Change runs on a copy of each selected file's cached record. When it
    // returns true the copy replaces the record, marked modified, and its
    // row is redrawn; false leaves that record as it was. Files without a
    // record are skipped. Finally the editor shows the new records.
    // Returns the paths whose records were replaced.
    using TRecordChange = std::function<bool(const QString& Path, TAudioTag& Tag)>;
    QStringList ApplyToSelectedRecords(const TRecordChange& Change);

    // A file changed its path on disk (rename, move): its record, its row,
    // the editor's current file and the undo history follow it. The
    // record's modified flag stays as it was: a rename is no tag edit.
    // Now: the file's stamp at NewPath when the caller has it (read here
    // otherwise). SameFile: renamed within its file system (rename(2)), so
    // size, time, inode and device are those it had.
    void FileRenamed(const QString& OldPath, const QString& NewPath,
                     const std::optional<TFileStamp>& Now = std::nullopt, bool SameFile = false);
    // A folder changed its path: undo steps of files inside it follow.
    void FolderRenamed(const QString& OldFolder, const QString& NewFolder);
    // A file is gone from disk: its record, its row and its undo entries go;
    // the editor is emptied when it showed that file.
    void FileDeleted(const QString& Path);
    // Before a command that rescans: with edits pending or records not yet
    // saved, asks whether to save them, and saves on Yes.
    void OfferToSaveChanges();
    bool HasUnsavedChanges() const;
    // The folder tree shows Folder (after a folder rename) and it is scanned.
    void ShowFolder(const QString& Folder);
    bool CanUndo() const { return !FUndoStack.isEmpty(); }
    int UndoCount() const { return static_cast<int>(FUndoStack.size()); }
    void About();
    void OpenTutorial();
    void OpenContactPage();
    void OpenWebsite();
    static QString AboutText();
    static QString HomePageUrl();

    // --- status bar --------------------------------------------------------
    void SetStatus(const QString& Text);
    QString Status() const { return FStatus; }

signals:
    void StatusChanged(const QString& Text);
    // A save runs (true) or has ended (false): the window takes no other
    // command meanwhile but the save's cancel.
    void BusyChanged(bool Busy);
    // A save has ended: every file it wrote is on disk, the summary shown.
    void SaveFinished();
    // A long command (a save of many files) put its progress in the status
    // text while it still holds the thread: the window must show it now.
    void ProgressShown();
    // The editor texts or suggestion lists changed; the controls must show them.
    void EditorChanged();
    void CoverChanged();
    void UndoAvailableChanged(bool Available);
    void ScanFinished();
    // A command changed the selected folder; the folder tree must show it.
    void FolderShown(const QString& Folder);
    // The list went back to the scan's natural order (a new scan began).
    void SortReset();

private:
    void OnRecordsReady();
    void OnSaveResults();
    void TakeSaveResult(const TLoadedFile& Result);
    void FinishSave();
    // Flushes the save's batch off this thread, then ends the save.
    void FlushSave();
    void OnScanProgress(TLoadedFile& File);
    void OnScanFinished();
    void OnSelectionChanged();

    ITagServicePtr FTagService;
    IUserInteraction& FUi;
    IShellActions& FShell;

    QMap<QString, TAudioTag> FTagCache;
    // Each file's record as last read from or written to the file, with the
    // file's stamp then: what a save compares the file on disk with, and
    // what the user's edits are measured against when it changed. Copies
    // share their text and picture data with the cache.
    QMap<QString, TAudioTag> FAsRead;
    TCoverPool FCoverPool;
    TFileListModel FFileList;
    QItemSelectionModel FSelection;
    std::unique_ptr<TParallelLoader> FLoader;
    int FLoadThreads;  // 0: chosen for each folder
    // One file of a save: the record to write and the record as it was read,
    // then what the worker wrote. When another program changed the file
    // since it was read, the worker reads it again (Fresh) and writes it with
    // the user's edits on top (Rebased).
    struct TSaveJob {
        TAudioTag Record;
        TAudioTag AsRead;  // no file name: nothing known to compare with
        TAudioTag Written;
        TAudioTag Fresh;
        bool Rebased = false;
    };
    // Writes Job.Record, or its edits over the file's current tags when the
    // file changed since Job.AsRead was read; on a worker thread.
    static bool SaveJob(const ITagService& Service, TSaveJob& Job, QString& Error);
    // A file another program changed was saved with the user's edits on top
    // of its current tags: its record, the base of later saves and every undo
    // step of it take those current tags as their own starting point.
    void TakeRebasedSave(const QString& Path, const TSaveJob& Job);
    // A save under way: its pool of writers and its tally so far.
    struct TSaveRun {
        std::unique_ptr<TParallelLoader> Pool;
        // One job per file; the map is filled before the workers start and
        // each worker touches only its own file's job.
        std::shared_ptr<std::map<QString, TSaveJob>> Jobs;
        // The saves flush together once every worker is done; a file is
        // saved only when that flush succeeded.
        ISaveBatchPtr Batch;
        // The batch's flush, run on a thread of its own once every file is
        // written (a flush may wait on the disk or the share for a while);
        // the save ends when it has.
        struct TFlush {
            bool Ok = true;
            QStringList Failed;
            QString Error;
        };
        std::shared_ptr<TFlush> Flushed;
        std::thread Flusher;
        int Total = 0;
        int Count = 0;
        QVector<TErrorItem> Errors;
        QVector<TErrorItem> Notes;  // files saved over another program's change
        qint64 LastProgress = 0;
        unsigned Number = 0;  // which save of this model it is
    };
    static constexpr int kMaxSaveThreads = 8;
    std::unique_ptr<TSaveRun> FSaveRun;
    unsigned FSaveCount = 0;
    int FSaveThreads;  // 0: chosen for the folder shown
    bool FBackgroundSaves = false;
    QElapsedTimer FScanClock;
    TClock FClock;
    qint64 FLastScanMs = 0;
    bool FScanRunning = false;
    QString FKeptStatus;  // shown at the end of the scan instead of the count
    QString FSelectedFolder;
    QString FCurrentFile;
    QString FFilterText;
    int FSortColumn = -1;  // -1: the scan's natural order
    bool FSortAsc = true;
    bool FUpdatingControls = false;
    bool FTagsAreChanged = false;
    std::array<QString, kFieldCount> FEditorText;
    std::array<QStringList, kFieldCount> FSuggestions;
    TCoverDisplay FCover;
    QVector<TUndoItem> FUndoStack;
    QString FStatus;
};
