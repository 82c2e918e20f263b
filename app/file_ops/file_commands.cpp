#include "app/file_ops/file_commands.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstring>
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

TFileCommands::TFileCommands(TMainModel& Model) : FModel(Model), FUi(Model.Ui()) {}

// --- renaming files ----------------------------------------------------------

void TFileCommands::RenameFile() {
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
    QString Error;
    if (!fileops::RenameNoReplace(OldPath, NewPath, Error)) {
        FUi.ShowError(Tr("Failed to rename file."));
        return;
    }
    FModel.FileRenamed(OldPath, NewPath);
    FModel.SetStatus(Tr("Renamed: ") + NewPath);
}

void TFileCommands::TagToName() {
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
    int Renamed = 0;
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
        if (NewPath == OldPath || PathTaken(NewPath)) continue;
        QString Error;
        if (!fileops::RenameNoReplace(OldPath, NewPath, Error)) continue;
        FModel.FileRenamed(OldPath, NewPath);
        ++Renamed;
    }
    FModel.SetStatus(FormatTr("Renamed %d file(s).", {Renamed}));
}

// --- folders -----------------------------------------------------------------

void TFileCommands::NewFolder() {
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
    QString Error;
    if (!fileops::RenameNoReplace(Folder, NewPath, Error)) {
        FUi.ShowError(Tr("Failed to rename folder:") + QStringLiteral("\r\n") + Error);
        return;
    }
    FModel.FolderRenamed(Folder, NewPath);
    FModel.SetStatusKeptThroughScan(Tr("Renamed folder: ") + NewPath);
    FModel.ShowFolder(NewPath);
}

// --- copy, move, delete ------------------------------------------------------

void TFileCommands::CopyFiles() {
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to copy."));
        return;
    }
    const QString Target = FUi.PickFolder(Tr("Copy to folder"));
    if (Target.isEmpty()) return;
    const QSet<QString> Sources(Paths.cbegin(), Paths.cend());
    QSet<QString> Written;
    int Copied = 0;
    for (const QString& Source : Paths) {
        const QString To = QDir::cleanPath(Join(Target, QFileInfo(Source).fileName()));
        QString Error;
        bool Ok = false;
        if (fileops::SameFile(Source, To))
            Error = Tr("The target is the file itself.");
        else if (Sources.contains(To) ||
                 std::any_of(Paths.cbegin(), Paths.cend(), [&](const QString& P) { return fileops::SameFile(P, To); }))
            Error = Tr("The target is one of the files being copied.");
        else if (Written.contains(To))
            Error = Tr("A file of this name was already copied there.");
        else
            Ok = fileops::CopyFileOver(Source, To, Error);
        if (!Ok) {
            FUi.ShowError(Tr("Failed to copy ") + QLatin1Char('"') + Source + QStringLiteral("\": ") + Error);
            continue;
        }
        Written.insert(To);
        ++Copied;
    }
    FModel.SetStatus(FormatTr("Copied %d file(s) to %s", {Copied, WithSlash(Target)}));
}

void TFileCommands::MoveFiles() {
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to move."));
        return;
    }
    const QString Target = FUi.PickFolder(Tr("Move to folder"));
    if (Target.isEmpty()) return;
    // The folder is scanned afresh afterwards: unsaved records would be lost.
    FModel.OfferToSaveChanges();
    int Moved = 0;
    for (const QString& Source : Paths) {
        const QString To = QDir::cleanPath(Join(Target, QFileInfo(Source).fileName()));
        QString Error;
        if (!fileops::MoveFile(Source, To, Error)) {
            FUi.ShowError(Tr("Failed to move \"") + Source + QStringLiteral("\": ") + Error);
            continue;
        }
        FModel.FileRenamed(Source, To);
        ++Moved;
    }
    FModel.StartScan(FModel.SelectedFolder());
    FModel.SetStatusKeptThroughScan(FormatTr("Moved %d file(s) to %s", {Moved, WithSlash(Target)}));
}

void TFileCommands::DeleteFiles() {
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty()) {
        FUi.Inform(Tr("Please select one or more files to delete."));
        return;
    }
    if (!FUi.ConfirmDestructive(FormatTr("Delete %d selected file(s)? This cannot be undone.", {Paths.size()}))) return;
    int Deleted = 0;
    for (const QString& Path : Paths) {
        QString Error;
        if (!fileops::DeleteFile(Path, Error)) {
            FUi.ShowError(Tr("Failed to delete \"") + Path + QStringLiteral("\": ") + Error);
            continue;
        }
        FModel.FileDeleted(Path);
        ++Deleted;
    }
    FModel.SetStatus(FormatTr("Deleted %d file(s).", {Deleted}));
}
