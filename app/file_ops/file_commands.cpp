#include "app/file_ops/file_commands.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <algorithm>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>
#include <sys/stat.h>

#include "app/actions/tag_action.h"
#include "app/file_ops/file_naming.h"
#include "app/file_ops/file_system.h"
#include "app/main_model.h"
#include "app/settings/translation.h"

namespace {

QString Join(const QString& Folder, const QString& Name) {
    return Folder.endsWith(QLatin1Char('/')) ? Folder + Name : Folder + QLatin1Char('/') + Name;
}

QString WithSlash(const QString& Folder) {
    return Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
}

// Anything at the path, a dangling link included.
bool PathTaken(const QString& Path) {
    struct stat St {};
    return ::lstat(QFile::encodeName(Path).constData(), &St) == 0;
}

// Creates a folder and its missing parents; false with the system's text.
bool MakeFolders(const QString& Path, QString& Error) {
    const QStringList Parts = Path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString Partial = Path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (const QString& Part : Parts) {
        Partial = Partial.isEmpty() ? Part : Join(Partial, Part);
        if (::mkdir(QFile::encodeName(Partial).constData(), 0777) == 0) continue;
        const int Code = errno;
        if (Code == EEXIST && QFileInfo(Partial).isDir()) continue;
        Error = QString::fromLocal8Bit(std::strerror(Code));
        return false;
    }
    return true;
}

}  // namespace

// The command under way: its runner, how far it got, and what it does with
// each outcome and at its end (on the model's thread).
struct TFileCommands::TOperation {
    std::unique_ptr<TFileStepRunner> Runner;
    int Total = 0;
    int Taken = 0;
    TProgressText Progress;
    TTakeOutcome Take;
    std::function<void()> End;
    unsigned Number = 0;  // which command of this object it is
    // Outcomes taken from the runner and not yet applied, in order.
    std::deque<TFileStepOutcome> Pending;
    // Since the event loop last had its turn, and whether a turn is awaited.
    QElapsedTimer Slice;
    bool Yielding = false;
};

TFileCommands::TFileCommands(TMainModel& Model, QObject* Parent) : QObject(Parent), FModel(Model), FUi(Model.Ui()) {}

TFileCommands::~TFileCommands() {
    // The model may be going too: what is under way stops after its file,
    // and nothing more is reported.
    if (FOperation) FOperation->Runner->Cancel();
    FOperation.reset();
}

// --- running a command's steps -------------------------------------------

void TFileCommands::Run(int Count, TFileStepRunner::TStep Step, TProgressText Progress, TTakeOutcome Take,
                        std::function<void()> End) {
    auto Operation = std::make_unique<TOperation>();
    Operation->Number = ++FOperationCount;
    Operation->Total = Count;
    Operation->Progress = std::move(Progress);
    Operation->Take = std::move(Take);
    Operation->End = std::move(End);
    Operation->Runner = std::make_unique<TFileStepRunner>(Count, [Hook = FStepHook, Step = std::move(Step)](int Index) {
        if (Hook) Hook(Index);
        return Step(Index);
    });
    Operation->Runner->SetReadyNotice(this, [this] { OnOutcomesReady(); });
    FOperation = std::move(Operation);
    if (FOperation->Progress && Count > 1) FModel.SetStatus(FOperation->Progress(0, Count));
    FOperation->Runner->Start();
    emit BusyChanged(true);
}

void TFileCommands::OnOutcomesReady() {
    // A message box about one file runs an event loop; the outcomes that
    // arrive meanwhile wait for the loop below, so that they stay in order.
    if (!FOperation || FTaking || FOperation->Yielding) return;
    const unsigned Number = FOperation->Number;
    FTaking = true;
    bool Ended = false;
    if (!FOperation->Slice.isValid()) FOperation->Slice.start();
    std::vector<TFileStepOutcome> Ready;
    for (bool TookOne = false;; TookOne = true) {
        std::deque<TFileStepOutcome>& Pending = FOperation->Pending;
        if (Pending.empty()) {
            Ready.clear();
            Ended = FOperation->Runner->TakeReady(Ready);
            if (Ready.empty()) break;
            std::move(Ready.begin(), Ready.end(), std::back_inserter(Pending));
        }
        if (TookOne && FOperation->Slice.elapsed() >= FOutcomeSliceMs) {
            // The rest after the event loop's turn, still in order. The
            // worker's notices are posted events, which Qt delivers in one
            // pass for as long as new ones keep coming: a timer lets the
            // window paint and take input first.
            FTaking = false;
            FOperation->Yielding = true;
            QTimer::singleShot(1, Qt::PreciseTimer, this, [this, Number] {
                if (!FOperation || FOperation->Number != Number) return;
                FOperation->Yielding = false;
                FOperation->Slice.invalidate();
                OnOutcomesReady();
            });
            return;
        }
        const TFileStepOutcome Outcome = std::move(Pending.front());
        Pending.pop_front();
        TakeOutcome(Outcome);
        if (!FOperation || FOperation->Number != Number) {  // ended meanwhile (Wait)
            FTaking = false;
            return;
        }
    }
    FTaking = false;
    if (Ended) Finish();
}

void TFileCommands::TakeOutcome(const TFileStepOutcome& Outcome) {
    const unsigned Number = FOperation->Number;
    const int Index = FOperation->Taken++;
    // A copy: a message box it shows may outlive the operation (a Wait()
    // from its event loop ends it).
    const TTakeOutcome Take = FOperation->Take;
    Take(Index, Outcome);
    if (!FOperation || FOperation->Number != Number) return;
    if (FOperation->Progress && FOperation->Taken < FOperation->Total)
        FModel.SetStatus(FOperation->Progress(FOperation->Taken, FOperation->Total));
}

void TFileCommands::Cancel() {
    if (FOperation) FOperation->Runner->Cancel();
}

void TFileCommands::Wait() {
    if (!FOperation) return;
    const unsigned Number = FOperation->Number;
    while (FOperation && FOperation->Number == Number && !FOperation->Pending.empty()) {
        const TFileStepOutcome Outcome = std::move(FOperation->Pending.front());
        FOperation->Pending.pop_front();
        TakeOutcome(Outcome);
    }
    TFileStepOutcome Outcome;
    while (FOperation && FOperation->Number == Number && FOperation->Runner->Next(Outcome)) TakeOutcome(Outcome);
    if (FOperation && FOperation->Number == Number) Finish();
}

void TFileCommands::Finish() {
    const std::unique_ptr<TOperation> Operation = std::move(FOperation);
    Operation->Runner.reset();  // its thread has ended
    if (Operation->End) Operation->End();
    emit BusyChanged(false);
    emit Finished();
}

// --- renaming files ----------------------------------------------------------

void TFileCommands::RenameFile() {
    if (FOperation) return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to rename."));
        return;
    }
    if (Paths.size() > 1) {
        FUi.Inform(Tr("Please select one file to rename."));
        return;
    }
    const QString OldPath = Paths.first();
    const QFileInfo Old(OldPath);
    QString Answer = TrimSpaces(FUi.AskText(Tr("Rename file"), Tr("Enter new file name:"), Old.fileName()));
    if (Answer.isEmpty()) return;
    if (NameExtension(Answer).isEmpty()) Answer += NameExtension(Old.fileName());
    // A name only: a slash, "." or ".." would make it a path.
    if (!IsValidName(Answer)) {
        FUi.ShowError(Tr("Failed to rename file."));
        return;
    }
    const QString NewPath = Join(Old.path(), Answer);
    if (NewPath == OldPath) return;
    FModel.ApplyPendingEdits();
    Run(
        1,
        [OldPath, NewPath](int) {
            TFileStepOutcome Outcome;
            Outcome.Done = fileops::RenameNoReplace(OldPath, NewPath, Outcome.Error);
            return Outcome;
        },
        nullptr,
        [this, OldPath, NewPath](int, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) {
                FUi.ShowError(Tr("Failed to rename file."));
                return;
            }
            FModel.FileRenamed(OldPath, NewPath, std::nullopt, true);
            FModel.SetStatus(Tr("Renamed: ") + NewPath);
        },
        nullptr);
}

void TFileCommands::TagToName() {
    if (FOperation) return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to rename."));
        return;
    }
    const QString Pattern = TrimSpaces(
        FUi.AskText(Tr("Batch rename"), Tr("Enter pattern (use %artist%, %title%, %album%, %track%, %year%, %num%):"),
                    DefaultPattern()));
    if (Pattern.isEmpty()) return;
    // Names come from the records as they will be saved.
    FModel.ApplyPendingEdits();
    // The new names are worked out here, from the records; the disk is
    // asked (is the name free, the rename) on the worker, in list order, so
    // that of two files given the same name the first one gets it.
    struct TRename {
        QString From, To;
    };
    std::vector<TRename> Planned;
    for (int i = 0; i < Paths.size(); ++i) {
        const QString& OldPath = Paths[i];
        TAudioTag Tag;
        if (!FModel.TryGetCachedTag(OldPath, Tag)) continue;
        const QString Name = ExpandPattern(Pattern, Tag, i + 1);
        if (Name.isEmpty()) continue;
        const QFileInfo Old(OldPath);
        const QString FileName = Name + NameExtension(Old.fileName());
        if (!IsValidName(FileName)) continue;
        const QString NewPath = Join(Old.path(), FileName);
        if (NewPath == OldPath) continue;
        Planned.push_back({OldPath, NewPath});
    }
    // Read by the worker and by this thread: never changed once made.
    const auto Renames = std::make_shared<const std::vector<TRename>>(std::move(Planned));
    auto Renamed = std::make_shared<int>(0);
    Run(
        static_cast<int>(Renames->size()),
        [Renames](int Index) {
            const TRename& R = (*Renames)[static_cast<size_t>(Index)];
            TFileStepOutcome Outcome;
            // A name taken is skipped without a word, as is a failed rename.
            if (!PathTaken(R.To)) {
                QString Error;
                Outcome.Done = fileops::RenameNoReplace(R.From, R.To, Error);
            }
            return Outcome;
        },
        [](int Done, int Total) {
            return FormatTr("Renaming files: %d of %d...", {Done, Total});
        },
        [this, Renames, Renamed](int Index, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) return;
            const TRename& R = (*Renames)[static_cast<size_t>(Index)];
            FModel.FileRenamed(R.From, R.To, std::nullopt, true);
            ++*Renamed;
        },
        [this, Renamed] { FModel.SetStatus(FormatTr("Renamed %d file(s).", {*Renamed})); });
}

// --- folders -----------------------------------------------------------------

void TFileCommands::NewFolder() {
    if (FOperation) return;
    const QString Folder = FModel.SelectedFolder();
    if (Folder.isEmpty()) return;
    const QString Answer = TrimSpaces(FUi.AskText(Tr("New folder"), Tr("Folder name:"), Tr("New Folder")));
    if (Answer.isEmpty()) return;
    // "/" makes nested folders; nothing may climb out of the selected one.
    if (!IsValidRelativeFolder(Answer)) {
        FUi.ShowError(Tr("Failed to create folder:") + QStringLiteral("\r\n") + Tr("Invalid folder name."));
        return;
    }
    const QString Path = QDir::cleanPath(Join(Folder, Answer));
    if (QFileInfo(Path).isDir()) {
        FUi.Inform(Tr("Folder already exists."));
        return;
    }
    QString Error;
    if (!MakeFolders(Path, Error)) {
        FUi.ShowError(Tr("Failed to create folder:") + QStringLiteral("\r\n") + Error);
        return;
    }
    FModel.SetStatus(Tr("Created folder: ") + Path);
}

void TFileCommands::RenameFolder() {
    if (FOperation) return;
    const QString Folder = QDir::cleanPath(FModel.SelectedFolder());
    if (FModel.SelectedFolder().isEmpty() || Folder == QLatin1String("/")) return;
    const QFileInfo Info(Folder);
    const QString Answer = TrimSpaces(FUi.AskText(Tr("Rename folder"), Tr("Folder name:"), Info.fileName()));
    if (Answer.isEmpty()) return;
    if (!IsValidName(Answer)) {
        FUi.ShowError(Tr("Failed to rename folder:") + QStringLiteral("\r\n") + Tr("Invalid folder name."));
        return;
    }
    const QString NewPath = Join(Info.path(), Answer);
    if (NewPath == Folder) return;
    if (PathTaken(NewPath)) {
        FUi.Inform(Tr("Folder already exists."));
        return;
    }
    // The folder is scanned afresh afterwards: unsaved records would be lost.
    FModel.OfferToSaveChanges();
    Run(
        1,
        [Folder, NewPath](int) {
            TFileStepOutcome Outcome;
            Outcome.Done = fileops::RenameNoReplace(Folder, NewPath, Outcome.Error);
            return Outcome;
        },
        nullptr,
        [this, Folder, NewPath](int, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) {
                FUi.ShowError(Tr("Failed to rename folder:") + QStringLiteral("\r\n") + Outcome.Error);
                return;
            }
            FModel.FolderRenamed(Folder, NewPath);
            FModel.SetStatusKeptThroughScan(Tr("Renamed folder: ") + NewPath);
            FModel.ShowFolder(NewPath);
        },
        nullptr);
}

// --- copy, move, delete ------------------------------------------------------

void TFileCommands::CopyFiles() {
    if (FOperation) return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to copy."));
        return;
    }
    const QString Target = FUi.PickFolder(Tr("Copy to folder"));
    if (Target.isEmpty()) return;
    // What the worker alone touches, one file after another. The sources
    // are looked up once: their identities do not change during the copy,
    // since no copy may land on a source.
    struct TCopyState {
        QStringList Paths;
        QString Target;
        QSet<QString> Sources;
        std::vector<std::optional<fileops::TFileIdentity>> SourceIds;
        QSet<QString> Written;
        QString ItselfText, SourceText, WrittenText;
    };
    auto State = std::make_shared<TCopyState>();
    State->Paths = Paths;
    State->Target = Target;
    State->Sources = QSet<QString>(Paths.cbegin(), Paths.cend());
    State->ItselfText = Tr("The target is the file itself.");
    State->SourceText = Tr("The target is one of the files being copied.");
    State->WrittenText = Tr("A file of this name was already copied there.");
    auto Copied = std::make_shared<int>(0);
    Run(
        static_cast<int>(Paths.size()),
        [State](int Index) {
            TCopyState& S = *State;
            if (S.SourceIds.empty())
                for (const QString& P : S.Paths) S.SourceIds.push_back(fileops::IdentityOf(P));
            const QString& Source = S.Paths.at(Index);
            const QString To = QDir::cleanPath(Join(S.Target, QFileInfo(Source).fileName()));
            const std::optional<fileops::TFileIdentity> ToId = fileops::IdentityOf(To);
            const std::optional<fileops::TFileIdentity>& SourceId = S.SourceIds[static_cast<size_t>(Index)];
            TFileStepOutcome Outcome;
            if (ToId && SourceId == ToId)
                Outcome.Error = S.ItselfText;
            else if (S.Sources.contains(To) ||
                     (ToId && std::find(S.SourceIds.cbegin(), S.SourceIds.cend(), ToId) != S.SourceIds.cend()))
                Outcome.Error = S.SourceText;
            else if (S.Written.contains(To))
                Outcome.Error = S.WrittenText;
            else
                Outcome.Done = fileops::CopyFileOver(Source, To, Outcome.Error);
            if (Outcome.Done) S.Written.insert(To);
            return Outcome;
        },
        [](int Done, int Total) {
            return FormatTr("Copying files: %d of %d...", {Done, Total});
        },
        [this, Paths, Copied](int Index, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) {
                FUi.ShowError(Tr("Failed to copy ") + QLatin1Char('"') + Paths[Index] + QStringLiteral("\": ") +
                              Outcome.Error);
                return;
            }
            ++*Copied;
        },
        [this, Copied, Target] {
            FModel.SetStatus(FormatTr("Copied %d file(s) to %s", {*Copied, WithSlash(Target)}));
        });
}

void TFileCommands::MoveFiles() {
    if (FOperation) return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to move."));
        return;
    }
    const QString Target = FUi.PickFolder(Tr("Move to folder"));
    if (Target.isEmpty()) return;
    // The folder is scanned afresh afterwards: unsaved records would be lost.
    FModel.OfferToSaveChanges();
    QStringList TargetPaths;
    for (const QString& Source : Paths) TargetPaths.append(QDir::cleanPath(Join(Target, QFileInfo(Source).fileName())));
    // Read by the worker and by this thread: never changed once made.
    const auto Targets = std::make_shared<const QStringList>(std::move(TargetPaths));
    auto Moved = std::make_shared<int>(0);
    Run(
        static_cast<int>(Paths.size()),
        [Paths, Targets](int Index) {
            TFileStepOutcome Outcome;
            Outcome.Done = fileops::MoveFile(Paths[Index], (*Targets)[Index], Outcome.Error);
            if (Outcome.Done) Outcome.NewStamp = ReadFileStamp((*Targets)[Index]);
            return Outcome;
        },
        [](int Done, int Total) {
            return FormatTr("Moving files: %d of %d...", {Done, Total});
        },
        [this, Paths, Targets, Moved](int Index, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) {
                FUi.ShowError(Tr("Failed to move \"") + Paths[Index] + QStringLiteral("\": ") + Outcome.Error);
                return;
            }
            FModel.FileRenamed(Paths[Index], (*Targets)[Index], Outcome.NewStamp);
            ++*Moved;
        },
        [this, Moved, Target] {
            FModel.StartScan(FModel.SelectedFolder());
            FModel.SetStatusKeptThroughScan(FormatTr("Moved %d file(s) to %s", {*Moved, WithSlash(Target)}));
        });
}

void TFileCommands::DeleteFiles() {
    if (FOperation) return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to delete."));
        return;
    }
    if (!FUi.ConfirmDestructive(FormatTr("Delete %d selected file(s)? This cannot be undone.", {Paths.size()}))) return;
    auto Deleted = std::make_shared<int>(0);
    Run(
        static_cast<int>(Paths.size()),
        [Paths](int Index) {
            TFileStepOutcome Outcome;
            Outcome.Done = fileops::DeleteFile(Paths[Index], Outcome.Error);
            return Outcome;
        },
        [](int Done, int Total) {
            return FormatTr("Deleting files: %d of %d...", {Done, Total});
        },
        [this, Paths, Deleted](int Index, const TFileStepOutcome& Outcome) {
            if (!Outcome.Done) {
                FUi.ShowError(Tr("Failed to delete \"") + Paths[Index] + QStringLiteral("\": ") + Outcome.Error);
                return;
            }
            FModel.FileDeleted(Paths[Index]);
            ++*Deleted;
        },
        [this, Deleted] { FModel.SetStatus(FormatTr("Deleted %d file(s).", {*Deleted})); });
}
