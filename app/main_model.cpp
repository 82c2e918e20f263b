#include "app/main_model.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include "app/core/file_scanner.h"
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

const QString& TMainModel::KeepMarker()
{
    static const QString Marker = QStringLiteral("<keep>");
    return Marker;
}

TMainModel::TMainModel(ITagServicePtr TagService, IUserInteraction& Ui, IShellActions& Shell, QObject* Parent)
    : QObject(Parent), FTagService(std::move(TagService)), FUi(Ui), FShell(Shell), FSelection(&FFileList)
{
    connect(&FSelection, &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
    // A reset or a removal can drop selected rows without a selectionChanged.
    connect(&FFileList, &QAbstractItemModel::modelReset, this, [this] { OnSelectionChanged(); });
}

TMainModel::~TMainModel()
{
    ++FScanGeneration;  // a hand-over still delivered while we wait is ignored
    StopScan();
}

// --- record cache and list -------------------------------------------------

bool TMainModel::TryGetCachedTag(const QString& Path, TAudioTag& Tag) const
{
    const auto It = FTagCache.constFind(Path);
    if (It == FTagCache.constEnd())
        return false;
    Tag = It.value();
    return true;
}

QStringList TMainModel::GetSelectedFiles() const
{
    const int Rows = FFileList.rowCount();
    QVector<bool> Selected(Rows, false);
    for (const QItemSelectionRange& Range : FSelection.selection()) {
        for (int r = std::max(0, Range.top()); r <= Range.bottom() && r < Rows; ++r)
            Selected[r] = true;
    }
    QStringList Paths;
    for (int r = 0; r < Rows; ++r) {
        if (Selected[r])
            Paths.append(FFileList.PathAt(r));
    }
    return Paths;
}

void TMainModel::SelectRows(const QVector<int>& Rows)
{
    QItemSelection Selection;
    for (int Row : Rows) {
        if (Row >= 0 && Row < FFileList.rowCount())
            Selection.select(FFileList.index(Row, 0), FFileList.index(Row, lcCount - 1));
    }
    FSelection.select(Selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TMainModel::SelectFiles(const QStringList& Paths)
{
    QVector<int> Rows;
    for (const QString& Path : Paths)
        Rows.append(FindListRow(Path));
    SelectRows(Rows);
}

void TMainModel::ClearFileList()
{
    FSelection.clear();
    FFileList.Clear();
    FTagCache.clear();
    FCoverPool.Clear();
    FCurrentFile.clear();
}

int TMainModel::AddRecord(const QString& Path, const TAudioTag& Tag)
{
    FTagCache.insert(Path, Tag);
    if (FFileList.UpdatePath(Path, Tag))
        return FindListRow(Path);
    return FFileList.AddRow(Path, Tag);
}

void TMainModel::RefreshSelection()
{
    const QStringList Paths = GetSelectedFiles();
    for (const QString& Path : Paths) {
        const auto It = FTagCache.constFind(Path);
        if (It != FTagCache.constEnd())
            UpdateListRow(Path, It.value());
    }
    if (Paths.size() == 1) {
        const auto It = FTagCache.constFind(Paths.first());
        if (It != FTagCache.constEnd())
            ShowSingleTag(It.value());
    } else if (Paths.size() > 1) {
        ShowMultipleTags(Paths);
    }
}

// --- folder and scan ---------------------------------------------------------

void TMainModel::FolderSelected(const QString& Folder)
{
    FTagsAreChanged = false;
    FSelectedFolder = Folder;
    StartScan(Folder);
}

void TMainModel::StartScan(const QString& Folder)
{
    if (Folder.isEmpty())
        return;
    // Stop the old walk before emptying the list, and ignore any hand-over it
    // still delivers while we wait: the list must show only the new folder.
    ++FScanGeneration;
    StopScan();
    ClearFileList();
    const unsigned Generation = FScanGeneration;
    FScanner = std::make_unique<TFileScanner>(
        Folder,
        [this, Generation](const QString& Path) {
            if (Generation == FScanGeneration)
                OnScanProgress(Path);
        },
        [this, Generation] {
            if (Generation == FScanGeneration)
                OnScanFinished();
        });
    FScanClock.start();
    FFileList.SetBatching(true);
    FScanner->Start();
}

void TMainModel::StopScan()
{
    if (!FScanner)
        return;
    FScanner->Terminate();
    FScanner->WaitFor();
    FScanner.reset();
    FFileList.SetBatching(false);
}

bool TMainModel::IsScanning() const
{
    return FScanner && FScanner->isRunning();
}

void TMainModel::OnScanProgress(const QString& Path)
{
    TAudioTag Tag;
    if (!FTagService->LoadTag(Path, Tag)) {
        Tag = TAudioTag();
        Tag.FileName = Path;
    }
    Tag.FileName = Path;
    FCoverPool.Intern(Tag.CoverData);
    if (AddRecord(Path, Tag) >= 0) {
        SetStatus(Tr("Loaded: ") + Path);
    } else {
        SetStatus(Tr("Scanned: ") + Path);
    }
}

void TMainModel::OnScanFinished()
{
    FLastScanMs = FScanClock.elapsed();
    FFileList.SetBatching(false);
    SetStatus(FormatTr("Loaded %d files.", {FFileList.rowCount()}));
    emit ScanFinished();
}

// --- filter and sort ---------------------------------------------------------

void TMainModel::SetFilterText(const QString& Text)
{
    const QString Filter = Text.trimmed().toLower();
    if (Filter == FFilterText)
        return;
    FFilterText = Filter;
    RebuildFileList();
}

void TMainModel::RebuildFileList()
{
    FSelection.clear();
    FCurrentFile.clear();
    FFileList.SetFilter(FFilterText);
}

bool TMainModel::MatchesFilter(const TAudioTag& Tag, const QString& Path) const
{
    const QStringView Name = QStringView(Path).mid(Path.lastIndexOf(QLatin1Char('/')) + 1);
    return TFileListModel::Matches(FFilterText, Name, Tag.Title, Tag.Artist, Tag.Album);
}

void TMainModel::SortByColumn(int Column)
{
    if (Column < 0 || Column >= lcCount)
        return;
    if (Column == FSortColumn) {
        FSortAsc = !FSortAsc;
    } else {
        FSortColumn = Column;
        FSortAsc = true;
    }
    FFileList.Sort(FSortColumn, FSortAsc);
}

// --- selection and editor ----------------------------------------------------

void TMainModel::OnSelectionChanged()
{
    FTagsAreChanged = false;
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) {
        FCurrentFile.clear();  // the editor keeps showing what it showed
    } else if (Paths.size() == 1) {
        const auto It = FTagCache.constFind(Paths.first());
        if (It != FTagCache.constEnd())
            ShowSingleTag(It.value());
    } else {
        ShowMultipleTags(Paths);
    }
}

void TMainModel::SetEditorText(int Field, const QString& Text)
{
    if (Field < 0 || Field >= kFieldCount)
        return;
    FEditorText[Field] = Text;
    if (!FUpdatingControls)
        FTagsAreChanged = true;
}

void TMainModel::ShowSingleTag(const TAudioTag& Tag)
{
    FUpdatingControls = true;
    for (int f = 0; f < kFieldCount; ++f)
        FEditorText[f] = Tag.TextField(f);
    FCover.ShowRecord(Tag);
    emit EditorChanged();
    emit CoverChanged();
    FUpdatingControls = false;
    FCurrentFile = Tag.FileName;
}

void TMainModel::ShowMultipleTags(const QStringList& Paths)
{
    FUpdatingControls = true;
    FCover.ShowKeep();
    FCurrentFile.clear();
    QVector<const TAudioTag*> Records;
    for (const QString& Path : Paths) {
        const auto It = FTagCache.constFind(Path);
        if (It != FTagCache.constEnd())
            Records.append(&It.value());
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
                if (Value.isEmpty())
                    continue;
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

void TMainModel::ApplyEditorToSelection()
{
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty())
        return;
    PushUndoSnapshot();
    for (const QString& Path : Paths) {
        const auto It = FTagCache.find(Path);
        if (It == FTagCache.end())
            continue;
        TAudioTag& Tag = It.value();
        for (int f = 0; f < kFieldCount; ++f) {
            if (FEditorText[f] != KeepMarker())
                Tag.TextField(f) = FEditorText[f];
        }
        CoverFromDisplay(Tag);
        Tag.Modified = true;
        UpdateListRow(Path, Tag);
    }
    FTagsAreChanged = false;
}

void TMainModel::BeforeListMouseClick()
{
    if (!FTagsAreChanged)
        return;
    if (FUi.Confirm(Tr("Do you want to save the tag changes?"))) {
        ApplyEditorToSelection();
        Save();
    } else {
        FTagsAreChanged = false;
    }
}

// --- picture -----------------------------------------------------------------

void TMainModel::LoadCover()
{
    const QString FileName = FUi.PickImageFile();
    if (FileName.isEmpty())
        return;
    QString Error;
    if (!FCover.LoadFile(FileName, Error)) {
        FUi.ShowError(Error);
        return;
    }
    emit CoverChanged();
    PushUndoSnapshot();
    FTagsAreChanged = true;
}

void TMainModel::ClearCover()
{
    FCover.Clear();
    emit CoverChanged();
    PushUndoSnapshot();
    FTagsAreChanged = true;
}

// --- save, remove, undo ------------------------------------------------------

void TMainModel::Save()
{
    if (FTagsAreChanged)
        ApplyEditorToSelection();
    int Count = 0;
    QVector<TErrorItem> Errors;
    int Total = 0;
    for (const TAudioTag& Tag : std::as_const(FTagCache))
        Total += Tag.Modified;
    QElapsedTimer SinceProgress;
    SinceProgress.start();
    for (auto It = FTagCache.begin(); It != FTagCache.end(); ++It) {
        TAudioTag& Tag = It.value();
        if (!Tag.Modified)
            continue;
        if (FTagService->SaveTag(Tag)) {
            ++Count;
            Tag.Modified = false;
        } else {
            Errors.append({It.key(), FTagService->GetLastError()});
        }
        const int Done = Count + static_cast<int>(Errors.size());
        if (Done < Total && SinceProgress.elapsed() >= kProgressIntervalMs) {
            SetStatus(FormatTr("Saving tags: %d of %d files...", {Done, Total}));
            emit ProgressShown();
            SinceProgress.restart();
        }
    }
    SetStatus(FormatTr("Saved tags to %d files. Errors: %d", {Count, Errors.size()}));
    if (!Errors.isEmpty())
        FUi.ShowErrorReport(Errors);
}

void TMainModel::Remove()
{
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files whose tags you want to clear."));
        return;
    }
    if (!FUi.Confirm(FormatTr("Clear all editable tag fields for %d file(s) and save?", {Paths.size()})))
        return;
    ApplyToSelectedRecords([](const QString&, TAudioTag& Tag) {
        for (int f = 0; f < kFieldCount; ++f)
            Tag.TextField(f).clear();
        Tag.CoverData.clear();
        Tag.CoverMime.clear();
        return true;
    });
    Save();
    RefreshSelection();
    SetStatus(FormatTr("Tags cleared for %d file(s) (in memory).", {Paths.size()}));
}

void TMainModel::ApplyPendingEdits()
{
    if (FTagsAreChanged)
        ApplyEditorToSelection();
}

QStringList TMainModel::ApplyToSelectedRecords(const TRecordChange& Change)
{
    ApplyPendingEdits();
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty())
        return {};
    PushUndoSnapshot();
    QStringList Changed;
    for (const QString& Path : Paths) {
        const auto Found = FTagCache.constFind(Path);
        if (Found == FTagCache.constEnd())
            continue;
        TAudioTag Tag = Found.value();
        // The change may run an event loop (a network look-up) in which a
        // running scan adds records, so the record is looked up again after it.
        if (!Change(Path, Tag))
            continue;
        const auto It = FTagCache.find(Path);
        if (It == FTagCache.end())
            continue;
        Tag.Modified = true;
        It.value() = Tag;
        UpdateListRow(Path, Tag);
        Changed.append(Path);
    }
    FTagsAreChanged = false;
    RefreshSelection();
    return Changed;
}

void TMainModel::ClearEditor()
{
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

void TMainModel::FileRenamed(const QString& OldPath, const QString& NewPath)
{
    const auto It = FTagCache.find(OldPath);
    if (It != FTagCache.end()) {
        TAudioTag Tag = It.value();
        FTagCache.erase(It);
        Tag.FileName = NewPath;
        FTagCache.insert(NewPath, Tag);
    }
    FFileList.RenamePath(OldPath, NewPath);
    if (FCurrentFile == OldPath)
        FCurrentFile = NewPath;
    for (TUndoItem& Item : FUndoStack) {
        for (int i = 0; i < Item.Files.size(); ++i) {
            if (Item.Files[i] == OldPath) {
                Item.Files[i] = NewPath;
                if (!Item.Tags[i].FileName.isEmpty())
                    Item.Tags[i].FileName = NewPath;
            }
        }
    }
}

void TMainModel::FolderRenamed(const QString& OldFolder, const QString& NewFolder)
{
    const QString OldPrefix = OldFolder + QLatin1Char('/');
    for (TUndoItem& Item : FUndoStack) {
        for (int i = 0; i < Item.Files.size(); ++i) {
            if (!Item.Files[i].startsWith(OldPrefix))
                continue;
            Item.Files[i] = NewFolder + Item.Files[i].mid(OldFolder.size());
            if (!Item.Tags[i].FileName.isEmpty())
                Item.Tags[i].FileName = Item.Files[i];
        }
    }
}

void TMainModel::FileDeleted(const QString& Path)
{
    // Removing the row changes the selection, which forgets the current file.
    const bool WasCurrent = FCurrentFile == Path;
    FTagCache.remove(Path);
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
        if (Item.Files.isEmpty())
            FUndoStack.removeAt(s);
    }
    emit UndoAvailableChanged(!FUndoStack.isEmpty());
}

bool TMainModel::HasUnsavedChanges() const
{
    if (FTagsAreChanged)
        return true;
    for (const TAudioTag& Tag : FTagCache) {
        if (Tag.Modified)
            return true;
    }
    return false;
}

void TMainModel::OfferToSaveChanges()
{
    if (!HasUnsavedChanges())
        return;
    if (FUi.Confirm(Tr("Do you want to save the tag changes?"))) {
        ApplyPendingEdits();
        Save();
    } else {
        FTagsAreChanged = false;
    }
}

void TMainModel::ShowFolder(const QString& Folder)
{
    FTagsAreChanged = false;
    FSelectedFolder = Folder;
    emit FolderShown(Folder);
    StartScan(Folder);
}

void TMainModel::PushUndoSnapshot()
{
    const QStringList Paths = GetSelectedFiles();
    if (Paths.isEmpty())
        return;
    TUndoItem Item;
    Item.Files = Paths;
    Item.Tags.reserve(Paths.size());
    for (const QString& Path : Paths)
        Item.Tags.append(FTagCache.value(Path));
    FUndoStack.append(std::move(Item));
    while (FUndoStack.size() > kMaxUndoSteps)
        FUndoStack.removeFirst();
    emit UndoAvailableChanged(true);
}

void TMainModel::Undo()
{
    if (FUndoStack.isEmpty())
        return;
    const TUndoItem Item = FUndoStack.takeLast();
    QStringList Missing;
    for (int i = 0; i < Item.Files.size(); ++i) {
        TAudioTag Tag = Item.Tags.value(i);
        // A file that had no record has nothing to restore; writing the empty
        // record would strip its tags.
        if (Tag.FileName.isEmpty())
            continue;
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

void TMainModel::Play()
{
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

QString TMainModel::AboutText()
{
    return QLatin1String(kApplicationTitle) + QLatin1Char('\n') + Tr("Version:") + QLatin1Char(' ') +
           QLatin1String(kVersionText) + QStringLiteral("\n\n") + Tr("Website:") + QLatin1Char(' ') +
           QLatin1String(kHomePage) + QStringLiteral("\n\n") +
           QStringLiteral("Copyright \u00A9 2026 The Veltrano developers. All rights reserved.");
}

QString TMainModel::HomePageUrl()
{
    return QLatin1String(kHomePage);
}

void TMainModel::About()
{
    FUi.Inform(AboutText());
}

void TMainModel::OpenTutorial()
{
    FShell.OpenUrl(QLatin1String(kTutorialPage));
}

void TMainModel::OpenContactPage()
{
    FShell.OpenUrl(QLatin1String(kSupportPage));
}

void TMainModel::OpenWebsite()
{
    FShell.OpenUrl(QLatin1String(kHomePage));
}

// --- status bar --------------------------------------------------------------

void TMainModel::SetStatus(const QString& Text)
{
    FStatus = Text;
    emit StatusChanged(Text);
}
