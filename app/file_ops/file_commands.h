// TFileCommands: renaming files (by hand or from their tags), creating and
// renaming folders, and copying, moving and deleting the selected files.
//
// Works on the window model it is given (not owned): its selection, its
// selected folder, its record cache and list, which it keeps in step with
// what happened on disk. Questions and messages go through the model's
// IUserInteraction. Nothing here ever replaces an existing file except a
// copy onto a file of the same name, which the user asked for.
#pragma once

#include <QString>

class TMainModel;
class IUserInteraction;

class TFileCommands {
public:
    explicit TFileCommands(TMainModel& Model);

    // Rename one selected file to a typed name (F2).
    void RenameFile();
    // Rename every selected file from its tags by a pattern.
    void TagToName();
    void NewFolder();
    void RenameFolder();
    void CopyFiles();
    void MoveFiles();
    void DeleteFiles();

    // The pattern input's default.
    static QString DefaultPattern() { return QStringLiteral("%artist% - %title%"); }

private:
    TMainModel& FModel;
    IUserInteraction& FUi;
};
