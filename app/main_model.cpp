#include "app/main_model.h"

#include <QElapsedTimer>
#include <algorithm>
#include <utility>
#include <QFileInfo>
#include <QSet>

#include "app/core/parallel_loader.h"
#include "app/core/record_merge.h"
#include "app/settings/translation.h"
#include "app/version.h"

namespace {

const char* const kApplicationTitle = "Veltrano";
const char* const kHomePage = "https://www.veltrano.example";
const char* const kTutorialPage = "https://www.veltrano.example/tutorial";
const char* const kSupportPage = "https://www.veltrano.example/support";
// How often a long save shows how far it got.
constexpr qint64 kProgressIntervalMs = 150;

}  // namespace

const QString& TMainModel::KeepMarker() {
    static const QString Marker = QStringLiteral("<keep>");
    return Marker;
}

TMainModel::TMainModel(ITagServicePtr TagService, IUserInteraction& Ui, IShellActions& Shell, QObject* Parent)
    : QObject(Parent),
      FTagService(std::move(TagService)),
      FUi(Ui),
      FShell(Shell),
      FSelection(&FFileList),
      FLoadThreads(0),
      FSaveThreads(0) {
    auto Started = std::make_shared<QElapsedTimer>();
    Started->start();
    FClock = [Started] { return Started->elapsed(); };
    connect(&FSelection, &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
    // A reset or a removal can drop selected rows without a selectionChanged.
    connect(&FFileList, &QAbstractItemModel::modelReset, this, [this] { OnSelectionChanged(); });
}

TMainModel::~TMainModel() {
    WaitForSave();
    StopScan();
}

// --- record cache and list -------------------------------------------------

bool TMainModel::TryGetCachedTag(const QString& Path, TAudioTag& Tag) const {
    const auto It = FTagCache.constFind(Path);
    if (It == FTagCache.constEnd()) return false;
    Tag = It.value();
    return true;
}

QStringList TMainModel::GetSelectedFiles() const {
    const int Rows = FFileList.rowCount();
    QVector<bool> Selected(Rows, false);
    for (const QItemSelectionRange& Range : FSelection.selection()) {
        for (int r = std::max(0, Range.top()); r <= Range.bottom() && r < Rows; ++r) Selected[r] = true;
    }
    QStringList Paths;
    for (int r = 0; r < Rows; ++r) {
        if (Selected[r]) Paths.append(FFileList.PathAt(r));
    }
    return Paths;
}

void TMainModel::SelectRows(const QVector<int>& Rows) {
    // Runs of neighbouring rows become one range each: a selection of a
    // thousand single-row ranges costs the list's every repaint a walk over
    // all of them.
    QVector<int> Sorted;
    Sorted.reserve(Rows.size());
    for (int Row : Rows)
        if (Row >= 0 && Row < FFileList.rowCount()) Sorted.append(Row);
    std::sort(Sorted.begin(), Sorted.end());
    Sorted.erase(std::unique(Sorted.begin(), Sorted.end()), Sorted.end());
    QItemSelection Selection;
    for (qsizetype i = 0; i < Sorted.size();) {
        qsizetype End = i;
        while (End + 1 < Sorted.size() && Sorted[End + 1] == Sorted[End] + 1) ++End;
        Selection.select(FFileList.index(Sorted[i], 0), FFileList.index(Sorted[End], lcCount - 1));
        i = End + 1;
    }
    FSelection.select(Selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TMainModel::SelectFiles(const QStringList& Paths) {
    QVector<int> Rows;
    for (const QString& Path : Paths) Rows.append(FindListRow(Path));
    SelectRows(Rows);
}

void TMainModel::ClearFileList() {
    FSelection.clear();
    FFileList.Clear();
    if (FSortColumn >= 0) {
        FSortColumn = -1;
        FSortAsc = true;
        emit SortReset();
    }
    FTagCache.clear();
    FAsRead.clear();
    FCoverPool.Clear();
    FCurrentFile.clear();
}

int TMainModel::AddRecord(const QString& Path, const TAudioTag& Tag) {
    FTagCache.insert(Path, Tag);
    // A record as read from its file is the base its next save compares the
    // file with; a record that carries edits keeps the base it came from.
    if (!Tag.Modified) {
        if (Tag.Stamp.IsKnown())
            FAsRead.insert(Path, Tag);
        else
            FAsRead.remove(Path);
    }
    if (FFileList.UpdatePath(Path, Tag)) return FindListRow(Path);
    return FFileList.AddRow(Path, Tag);
}

void TMainModel::RefreshSelection() {
    const QStringList Paths = GetSelectedFiles();
    for (const QString& Path : Paths) {
        const auto It = FTagCache.constFind(Path);
        if (It != FTagCache.constEnd()) UpdateListRow(Path, It.value());
    }
    if (Paths.size() == 1) {
        const auto It = FTagCache.constFind(Paths.first());
        if (It != FTagCache.constEnd()) ShowSingleTag(It.value());
    } else if (Paths.size() > 1) {
        ShowMultipleTags(Paths);
    }
}

// --- folder and scan ---------------------------------------------------------

void TMainModel::FolderSelected(const QString& Folder) {
    FKeptStatus.clear();  // a folder the user picks lists with its own count
    FTagsAreChanged = false;
    FSelectedFolder = Folder;
    StartScan(Folder);
}

void TMainModel::StartScan(const QString& Folder) {
    if (Folder.isEmpty()) return;
    // Stop the old walk before emptying the list: once it is stopped no
    // record of it arrives, and the list shows only the new folder.
    StopScan();
    ClearFileList();
    const ITagServicePtr Service = FTagService;
    FLoader = std::make_unique<TParallelLoader>(
        Folder,
        [Service](const QString& Path, TAudioTag& Tag, QString& Error) {
            return Service->LoadTagConcurrently(Path, Tag, Error);
        },
        FLoadThreads > 0 ? FLoadThreads : TParallelLoader::DefaultThreads(Folder));
    FLoader->SetReadyNotice(this, [this] { OnRecordsReady(); });
    FScanClock.start();
    FFileList.SetBatching(true);
    FScanRunning = true;
    FLoader->Start();
}

void TMainModel::StopScan() {
    if (!FLoader) return;
    FLoader.reset();  // stops the walk and the workers and waits for them
    FFileList.SetBatching(false);
    FScanRunning = false;
}

void TMainModel::SetStatusKeptThroughScan(const QString& Text) {
    FKeptStatus = Text;
    SetStatus(Text);
}

void TMainModel::SetLoadThreads(int Threads) { FLoadThreads = std::clamp(Threads, 1, 64); }

void TMainModel::SetSaveThreads(int Threads) { FSaveThreads = std::clamp(Threads, 1, kMaxSaveThreads); }

bool TMainModel::IsScanning() const { return FScanRunning; }

void TMainModel::OnRecordsReady() {
    TParallelLoader* const Loader = FLoader.get();
    if (!Loader) return;
    // The records that are ready, a few at a time and for a few
    // milliseconds per turn of the event loop, so that the window answers
    // clicks and keys while a big folder is listed.
    constexpr size_t kBatch = 16;
    constexpr qint64 kTurnMs = 4;
    QElapsedTimer Turn;
    Turn.start();
    std::vector<TLoadedFile> Batch;
    bool Ended = false;
    do {
        Batch.clear();
        Ended = Loader->TakeReady(Batch, kBatch);
        for (TLoadedFile& File : Batch) {
            OnScanProgress(File);
            if (FLoader.get() != Loader) return;  // a handler started another scan
        }
    } while (!Ended && Batch.size() == kBatch && Turn.elapsed() < kTurnMs);
    if (Ended) {
        FLoader.reset();  // its threads have ended
        OnScanFinished();
    }
}

void TMainModel::OnScanProgress(TLoadedFile& File) {
    TAudioTag Tag;
    if (File.Ok) Tag = std::move(File.Tag);
    Tag.FileName = File.Path;
    FCoverPool.Intern(Tag.CoverData);
    for (TPictureEntry& Picture : Tag.Pictures) FCoverPool.Intern(Picture.Data);
    const bool Listed = AddRecord(File.Path, Tag) >= 0;
    if (!FKeptStatus.isEmpty()) return;  // a command's confirmation stays up
    SetStatus((Listed ? Tr("Loaded: ") : Tr("Scanned: ")) + File.Path);
}

void TMainModel::OnScanFinished() {
    FLastScanMs = FScanClock.elapsed();
    FScanRunning = false;
    FFileList.SetBatching(false);
    if (FKeptStatus.isEmpty())
        SetStatus(FormatTr("Loaded %d files.", {FFileList.rowCount()}));
    else
        SetStatus(std::exchange(FKeptStatus, QString()));
    emit ScanFinished();
}

// --- filter and sort ---------------------------------------------------------

void TMainModel::SetFilterText(const QString& Text) {
    const QString Filter = Text.trimmed().toLower();
    if (Filter == FFilterText) return;
    FFilterText = Filter;
    RebuildFileList();
}

void TMainModel::RebuildFileList() {
    FSelection.clear();
    FCurrentFile.clear();
    FFileList.SetFilter(FFilterText);
}

void TMainModel::SortByColumn(int Column) {
    if (Column < 0 || Column >= lcCount) return;
    if (Column == FSortColumn) {
        FSortAsc = !FSortAsc;
    } else {
        FSortColumn = Column;
        FSortAsc = true;
    }
    FFileList.Sort(FSortColumn, FSortAsc);
}

// --- selection and editor ----------------------------------------------------

void TMainModel::OnSelectionChanged() {
    FTagsAreChanged = false;
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) {
        FCurrentFile.clear();  // the editor keeps showing what it showed
    } else if (Paths.size() == 1) {
        const auto It = FTagCache.constFind(Paths.first());
        if (It != FTagCache.constEnd()) ShowSingleTag(It.value());
    } else {
        ShowMultipleTags(Paths);
    }
}

void TMainModel::SetEditorText(int Field, const QString& Text) {
    if (Field < 0 || Field >= kFieldCount) return;
    FEditorText[Field] = Text;
    if (!FUpdatingControls) FTagsAreChanged = true;
}

void TMainModel::ShowSingleTag(const TAudioTag& Tag) {
    FUpdatingControls = true;
    for (int f = 0; f < kFieldCount; ++f) FEditorText[f] = Tag.TextField(f);
    FCover.ShowRecord(Tag);
    emit EditorChanged();
    emit CoverChanged();
    FUpdatingControls = false;
    FCurrentFile = Tag.FileName;
}

void TMainModel::ShowMultipleTags(const QStringList& Paths) {
    FUpdatingControls = true;
    FCover.ShowKeep();
    FCurrentFile.clear();
    QVector<const TAudioTag*> Records;
    for (const QString& Path : Paths) {
        const auto It = FTagCache.constFind(Path);
        if (It != FTagCache.constEnd()) Records.append(&It.value());
    }
    for (int f = 0; f < kFieldCount; ++f) {
        if (Records.isEmpty()) {
            FEditorText[f].clear();
            continue;
        }
        if (FieldHasSuggestions(f)) {
            QStringList& List = FSuggestions[f];
            List.clear();
            QSet<QString> Seen;
            for (const TAudioTag* Tag : Records) {
                const QString& Value = Tag->TextField(f);
                if (Value.isEmpty()) continue;
                if (!Seen.contains(Value)) {
                    Seen.insert(Value);
                    List.append(Value);
                }
            }
        }
        const QString& First = Records.first()->TextField(f);
        bool AllEqual = true;
        for (const TAudioTag* Tag : Records) {
            // Values that differ only in letter case are different values:
            // showing one of them would write it over the others.
            if (Tag->TextField(f) != First) {
                AllEqual = false;
                break;
            }
        }
        FEditorText[f] = AllEqual ? First : KeepMarker();
    }
    emit EditorChanged();
    emit CoverChanged();
    FUpdatingControls = false;
}

void TMainModel::ApplyEditorToSelection() {
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) return;
    PushUndoSnapshot();
    for (const QString& Path : Paths) {
        const auto It = FTagCache.find(Path);
        if (It == FTagCache.end()) continue;
        TAudioTag& Tag = It.value();
        for (int f = 0; f < kFieldCount; ++f) {
            if (FEditorText[f] != KeepMarker()) Tag.TextField(f) = FEditorText[f];
        }
        CoverFromDisplay(Tag);
        Tag.Modified = true;
        UpdateListRow(Path, Tag);
    }
    FTagsAreChanged = false;
}

void TMainModel::BeforeListMouseClick() {
    if (!FTagsAreChanged) return;
    if (FUi.Confirm(Tr("Do you want to save the tag changes?"))) {
        ApplyEditorToSelection();
        Save();
        WaitForSave();  // the click then shows what is on disk
    } else {
        FTagsAreChanged = false;
    }
}

// --- picture -----------------------------------------------------------------

void TMainModel::LoadCover() {
    const QString FileName = FUi.PickImageFile();
    if (FileName.isEmpty()) return;
    QString Error;
    if (!FCover.LoadFile(FileName, Error)) {
        FUi.ShowError(Error);
        return;
    }
    emit CoverChanged();
    PushUndoSnapshot();
    FTagsAreChanged = true;
}

void TMainModel::ClearCover() {
    FCover.Clear();
    emit CoverChanged();
    PushUndoSnapshot();
    FTagsAreChanged = true;
}

// --- save, remove, undo ------------------------------------------------------

void TMainModel::Save() {
    if (FSaveRun) return;  // one save at a time; the window offers none while one runs
    if (FTagsAreChanged) ApplyEditorToSelection();
    // The records as they are now, written by a pool of workers; each one is
    // marked saved as its result comes back, in list order.
    auto Jobs = std::make_shared<std::map<QString, TSaveJob>>();
    QStringList Paths;
    for (auto It = FTagCache.cbegin(); It != FTagCache.cend(); ++It) {
        if (!It.value().Modified) continue;
        TSaveJob& Job = (*Jobs)[It.key()];
        Job.Record = It.value();
        Job.AsRead = FAsRead.value(It.key());
        Paths.append(It.key());
    }
    if (Paths.isEmpty()) {
        SetStatus(FormatTr("Saved tags to %d files. Errors: %d", {0, 0}));
        return;
    }
    const ITagServicePtr Service = FTagService;
    FSaveRun = std::make_unique<TSaveRun>();
    FSaveRun->Number = ++FSaveCount;
    FSaveRun->Jobs = Jobs;
    FSaveRun->Total = static_cast<int>(Paths.size());
    FSaveRun->LastProgress = FClock();
    FSaveRun->Batch = Service->BeginSaveBatch();
    FSaveRun->Pool = std::make_unique<TParallelLoader>(
        Paths,
        [Service, Jobs, Batch = FSaveRun->Batch](const QString& Path, TAudioTag&, QString& Error) {
            TSaveJob& Job = Jobs->at(Path);
            if (!Batch) return SaveJob(*Service, Job, Error);
            return Batch->Run([&] { return SaveJob(*Service, Job, Error); });
        },
        // The saves of a batch do not flush on their own (the batch flushes
        // once at the end); the workers overlap reading, building and
        // writing the files.
        FSaveThreads > 0 ? FSaveThreads : kMaxSaveThreads);
    FSaveRun->Pool->SetReadyNotice(this, [this] { OnSaveResults(); });
    FSaveRun->Pool->Start();
    emit BusyChanged(true);
    if (!FBackgroundSaves) WaitForSave();
}

bool TMainModel::SaveJob(const ITagService& Service, TSaveJob& Job, QString& Error) {
    const QString& Path = Job.Record.FileName;
    Job.Written = Job.Record;
    // Another program may have written the file since it was read (a player
    // counting plays, another tagger): writing the old record would undo
    // that, so the file is read again and gets only what the user changed.
    if (Job.AsRead.Stamp.IsKnown() && ReadFileStamp(Path) != Job.AsRead.Stamp) {
        if (!Service.LoadTagConcurrently(Path, Job.Fresh, Error)) return false;
        Job.Written = recordmerge::ApplyEdits(Job.AsRead, Job.Record, Job.Fresh);
        Job.Rebased = true;
    }
    if (!Service.SaveTagConcurrently(Job.Written, Error)) return false;
    Job.Written.Modified = false;
    Job.Written.Stamp = ReadFileStamp(Path);
    return true;
}

void TMainModel::TakeRebasedSave(const QString& Path, const TSaveJob& Job) {
    TAudioTag Fresh = Job.Fresh;
    FCoverPool.Intern(Fresh.CoverData);
    for (TPictureEntry& Picture : Fresh.Pictures) FCoverPool.Intern(Picture.Data);
    const auto Rebase = [&](const TAudioTag& Tag) {
        TAudioTag Result = recordmerge::ApplyEdits(Job.AsRead, Tag, Fresh);
        Result.Stamp = Tag.Stamp;
        return Result;
    };
    const auto It = FTagCache.find(Path);
    if (It != FTagCache.end()) {
        TAudioTag Record = Job.Written;
        FCoverPool.Intern(Record.CoverData);
        for (TPictureEntry& Picture : Record.Pictures) FCoverPool.Intern(Picture.Data);
        // A record edited again while it was written keeps those edits.
        if (It.value() != Job.Record) Record = Rebase(It.value());
        It.value() = Record;
        UpdateListRow(Path, Record);
    }
    // Undo then goes back to what the other program left, not to what was
    // read before it wrote.
    for (TUndoItem& Item : FUndoStack) {
        for (int i = 0; i < Item.Files.size(); ++i) {
            if (Item.Files[i] == Path && !Item.Tags[i].FileName.isEmpty()) Item.Tags[i] = Rebase(Item.Tags[i]);
        }
    }
    FSaveRun->Notes.append(
        {Path, Tr("changed on disk since it was read; your edits were applied to its current tags")});
}

bool TMainModel::IsSaving() const { return FSaveRun != nullptr; }

void TMainModel::OnSaveResults() {
    // Finished already (WaitForSave took the rest), or flushing.
    if (!FSaveRun || !FSaveRun->Pool) return;
    std::vector<TLoadedFile> Results;
    const bool Ended = FSaveRun->Pool->TakeReady(Results, static_cast<size_t>(FSaveRun->Total));
    for (const TLoadedFile& Result : Results) TakeSaveResult(Result);
    if (Ended) FlushSave();
}

void TMainModel::FlushSave() {
    if (!FSaveRun->Batch) {
        FinishSave();
        return;
    }
    FSaveRun->Pool.reset();  // its threads have ended
    FSaveRun->Flushed = std::make_shared<TSaveRun::TFlush>();
    FSaveRun->Flusher =
        std::thread([this, Batch = FSaveRun->Batch, Flushed = FSaveRun->Flushed, Number = FSaveRun->Number] {
            Flushed->Ok = Batch->Finish(Flushed->Failed, Flushed->Error);
            // The model outlives the thread: its destructor waits for the save.
            QMetaObject::invokeMethod(
                this,
                [this, Number] {
                    if (FSaveRun && FSaveRun->Number == Number) FinishSave();
                },
                Qt::QueuedConnection);
        });
}

void TMainModel::TakeSaveResult(const TLoadedFile& Result) {
    if (Result.Ok) {
        ++FSaveRun->Count;
        const TSaveJob& Job = FSaveRun->Jobs->at(Result.Path);
        // The file as written is the base of its next save (unless its record
        // left the list meanwhile).
        if (FTagCache.contains(Result.Path)) FAsRead.insert(Result.Path, Job.Written);
        if (Job.Rebased) {
            TakeRebasedSave(Result.Path, Job);
        } else {
            const auto It = FTagCache.find(Result.Path);
            if (It != FTagCache.end()) {
                It.value().Modified = false;
                It.value().Stamp = Job.Written.Stamp;
            }
        }
    } else {
        FSaveRun->Errors.append({Result.Path, Result.Error});
    }
    const int Done = FSaveRun->Count + static_cast<int>(FSaveRun->Errors.size());
    if (Done < FSaveRun->Total && FClock() - FSaveRun->LastProgress >= kProgressIntervalMs) {
        SetStatus(FormatTr("Saving tags: %d of %d files...", {Done, FSaveRun->Total}));
        emit ProgressShown();
        FSaveRun->LastProgress = FClock();
    }
}

void TMainModel::WaitForSave() {
    if (!FSaveRun) return;
    TLoadedFile Result;
    if (FSaveRun->Pool)  // else every file is written and the flush under way
        while (FSaveRun->Pool->Next(Result)) TakeSaveResult(Result);
    FinishSave();
}

void TMainModel::CancelSave() {
    if (!FSaveRun) return;
    // No file is started after this; the ones being written end whole, and
    // the save ends with the next turn of the event loop (or a WaitForSave).
    if (!FSaveRun->Pool) return;  // every file is written; the flush ends the save
    FSaveRun->Pool->Stop();
    QMetaObject::invokeMethod(
        this,
        [this, Run = FSaveRun->Number] {
            if (FSaveRun && FSaveRun->Number == Run) WaitForSave();
        },
        Qt::QueuedConnection);
}

void TMainModel::FinishSave() {
    const std::unique_ptr<TSaveRun> Run = std::move(FSaveRun);
    Run->Pool.reset();  // waits for the files being written
    QStringList Unflushed;
    QString FlushError;
    bool Flushed = true;
    if (Run->Flusher.joinable()) {
        Run->Flusher.join();
        Flushed = Run->Flushed->Ok;
        Unflushed = Run->Flushed->Failed;
        FlushError = Run->Flushed->Error;
    } else if (Run->Batch) {
        Flushed = Run->Batch->Finish(Unflushed, FlushError);
    }
    if (!Flushed) {
        // Those files are as they were before the save: their edits stay
        // unsaved in the list.
        for (const QString& Path : Unflushed) {
            --Run->Count;
            Run->Errors.append({Path, FlushError});
            const auto It = FTagCache.find(Path);
            if (It == FTagCache.end()) continue;
            It.value().Modified = true;
            const auto Job = Run->Jobs->find(Path);
            if (Job != Run->Jobs->end()) FAsRead.insert(Path, Job->second.AsRead);
            UpdateListRow(Path, It.value());
        }
    }
    // Records of files another program had changed now show its values too.
    if (!Run->Notes.isEmpty()) RefreshSelection();
    SetStatus(FormatTr("Saved tags to %d files. Errors: %d", {Run->Count, Run->Errors.size()}));
    emit BusyChanged(false);
    emit SaveFinished();
    if (!Run->Errors.isEmpty() || !Run->Notes.isEmpty()) FUi.ShowErrorReport(Run->Errors + Run->Notes);
}

void TMainModel::Remove() {
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files whose tags you want to clear."));
        return;
    }
    if (!FUi.Confirm(FormatTr("Clear all editable tag fields for %d file(s) and save?", {Paths.size()}))) return;
    ApplyToSelectedRecords([](const QString&, TAudioTag& Tag) {
        for (int f = 0; f < kFieldCount; ++f) Tag.TextField(f).clear();
        Tag.CoverData.clear();
        Tag.CoverMime.clear();
        // Every entry and picture goes too, not only the ones the editor shows.
        Tag.Entries.clear();
        Tag.Pictures.clear();
        return true;
    });
    Save();
    RefreshSelection();
    SetStatus(FormatTr("Tags cleared for %d file(s) (in memory).", {Paths.size()}));
}

void TMainModel::ApplyPendingEdits() {
    if (FTagsAreChanged) ApplyEditorToSelection();
}

QStringList TMainModel::ApplyToSelectedRecords(const TRecordChange& Change) {
    ApplyPendingEdits();
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) return {};
    PushUndoSnapshot();
    QStringList Changed;
    for (const QString& Path : Paths) {
        const auto Found = FTagCache.constFind(Path);
        if (Found == FTagCache.constEnd()) continue;
        TAudioTag Tag = Found.value();
        // The change may run an event loop (a network look-up) in which a
        // running scan adds records, so the record is looked up again after it.
        if (!Change(Path, Tag)) continue;
        const auto It = FTagCache.find(Path);
        if (It == FTagCache.end()) continue;
        Tag.Modified = true;
        It.value() = Tag;
        UpdateListRow(Path, Tag);
        Changed.append(Path);
    }
    FTagsAreChanged = false;
    RefreshSelection();
    return Changed;
}

void TMainModel::ClearEditor() {
    FUpdatingControls = true;
    for (int f = 0; f < kFieldCount; ++f) {
        FEditorText[f].clear();
        FSuggestions[f].clear();
    }
    FCover.Clear();
    emit EditorChanged();
    emit CoverChanged();
    FUpdatingControls = false;
    FTagsAreChanged = false;
}

void TMainModel::FileRenamed(const QString& OldPath, const QString& NewPath, const std::optional<TFileStamp>& Known,
                             bool SameFile) {
    const auto It = FTagCache.find(OldPath);
    if (It != FTagCache.end()) {
        TAudioTag Tag = It.value();
        FTagCache.erase(It);
        Tag.FileName = NewPath;
        FTagCache.insert(NewPath, Tag);
    }
    if (FAsRead.contains(OldPath)) {
        TAudioTag Base = FAsRead.take(OldPath);
        Base.FileName = NewPath;
        // A move to another file system copies the file: same contents and
        // time under a new inode, which is no change by another program.
        if (!SameFile) {
            const TFileStamp Now = Known ? *Known : ReadFileStamp(NewPath);
            if (Now.Size == Base.Stamp.Size && Now.MTimeSec == Base.Stamp.MTimeSec &&
                Now.MTimeNsec == Base.Stamp.MTimeNsec)
                Base.Stamp = Now;
        }
        FAsRead.insert(NewPath, Base);
    }
    FFileList.RenamePath(OldPath, NewPath);
    if (FCurrentFile == OldPath) FCurrentFile = NewPath;
    for (TUndoItem& Item : FUndoStack) {
        for (int i = 0; i < Item.Files.size(); ++i) {
            if (Item.Files[i] == OldPath) {
                Item.Files[i] = NewPath;
                if (!Item.Tags[i].FileName.isEmpty()) Item.Tags[i].FileName = NewPath;
            }
        }
    }
}

void TMainModel::FolderRenamed(const QString& OldFolder, const QString& NewFolder) {
    const QString OldPrefix = OldFolder + QLatin1Char('/');
    for (TUndoItem& Item : FUndoStack) {
        for (int i = 0; i < Item.Files.size(); ++i) {
            if (!Item.Files[i].startsWith(OldPrefix)) continue;
            Item.Files[i] = NewFolder + Item.Files[i].mid(OldFolder.size());
            if (!Item.Tags[i].FileName.isEmpty()) Item.Tags[i].FileName = Item.Files[i];
        }
    }
}

void TMainModel::FileDeleted(const QString& Path) {
    // Removing the row changes the selection, which forgets the current file.
    const bool WasCurrent = FCurrentFile == Path;
    FTagCache.remove(Path);
    FAsRead.remove(Path);
    FFileList.RemovePath(Path);
    if (WasCurrent) {
        FCurrentFile.clear();
        ClearEditor();
    }
    for (int s = static_cast<int>(FUndoStack.size()) - 1; s >= 0; --s) {
        TUndoItem& Item = FUndoStack[s];
        for (int i = static_cast<int>(Item.Files.size()) - 1; i >= 0; --i) {
            if (Item.Files[i] == Path) {
                Item.Files.removeAt(i);
                Item.Tags.removeAt(i);
            }
        }
        if (Item.Files.isEmpty()) FUndoStack.removeAt(s);
    }
    emit UndoAvailableChanged(!FUndoStack.isEmpty());
}

bool TMainModel::HasUnsavedChanges() const {
    if (FTagsAreChanged) return true;
    for (const TAudioTag& Tag : FTagCache) {
        if (Tag.Modified) return true;
    }
    return false;
}

void TMainModel::OfferToSaveChanges() {
    if (!HasUnsavedChanges()) return;
    if (FUi.Confirm(Tr("Do you want to save the tag changes?"))) {
        ApplyPendingEdits();
        Save();
        WaitForSave();  // the files are renamed, moved or listed again next
    } else {
        FTagsAreChanged = false;
    }
}

void TMainModel::ShowFolder(const QString& Folder) {
    FTagsAreChanged = false;
    FSelectedFolder = Folder;
    emit FolderShown(Folder);
    StartScan(Folder);
}

void TMainModel::PushUndoSnapshot() {
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) return;
    TUndoItem Item;
    Item.Files = Paths;
    Item.Tags.reserve(Paths.size());
    for (const QString& Path : Paths) Item.Tags.append(FTagCache.value(Path));
    FUndoStack.append(std::move(Item));
    while (FUndoStack.size() > kMaxUndoSteps) FUndoStack.removeFirst();
    emit UndoAvailableChanged(true);
}

void TMainModel::Undo() {
    if (FUndoStack.isEmpty()) return;
    const TUndoItem Item = FUndoStack.takeLast();
    QStringList Missing;
    for (int i = 0; i < Item.Files.size(); ++i) {
        TAudioTag Tag = Item.Tags.value(i);
        // A file that had no record has nothing to restore; writing the empty
        // record would strip its tags.
        if (Tag.FileName.isEmpty()) continue;
        // Renames and moves carry the history along; a path that is gone
        // now must not have old tags written into whatever takes its name.
        if (!QFileInfo(Item.Files[i]).isFile()) {
            Missing.append(Item.Files[i]);
            continue;
        }
        Tag.Modified = true;
        FTagCache.insert(Item.Files[i], Tag);
        UpdateListRow(Item.Files[i], Tag);
    }
    RefreshSelection();
    emit UndoAvailableChanged(!FUndoStack.isEmpty());
    FTagsAreChanged = false;
    if (!Missing.isEmpty())
        FUi.Warn(Tr("These files no longer exist; their tags were not restored:") + QLatin1Char('\n') +
                 Missing.join(QLatin1Char('\n')));
    Save();
}

// --- small commands ----------------------------------------------------------

void TMainModel::Play() {
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select an audio file first."));
        return;
    }
    const QString Path = Paths.first();
    if (!QFileInfo(Path).isFile()) {
        FUi.ShowError(Tr("File not found:") + QLatin1Char('\n') + Path);
        return;
    }
    if (!FShell.PlayFile(Path) && !FShell.OpenFile(Path))
        FUi.ShowError(Tr("Unable to start playback for:") + QLatin1Char('\n') + Path);
}

QString TMainModel::AboutText() {
    return QLatin1String(kApplicationTitle) + QLatin1Char('\n') + Tr("Version:") + QLatin1Char(' ') +
           QLatin1String(kVersionText) + QStringLiteral("\n\n") + Tr("Website:") + QLatin1Char(' ') +
           QLatin1String(kHomePage) + QStringLiteral("\n\n") +
           QStringLiteral("Copyright \u00A9 2026 The Veltrano developers. All rights reserved.");
}

QString TMainModel::HomePageUrl() { return QLatin1String(kHomePage); }

void TMainModel::About() { FUi.Inform(AboutText()); }

void TMainModel::OpenTutorial() { FShell.OpenUrl(QLatin1String(kTutorialPage)); }

void TMainModel::OpenContactPage() { FShell.OpenUrl(QLatin1String(kSupportPage)); }

void TMainModel::OpenWebsite() { FShell.OpenUrl(QLatin1String(kHomePage)); }

// --- status bar --------------------------------------------------------------

void TMainModel::SetStatus(const QString& Text) {
    FStatus = Text;
    emit StatusChanged(Text);
}
