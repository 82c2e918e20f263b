// File-system steps of the file commands, none of which ever replaces a file
// by accident.
//
// RenameNoReplace renames within one file system and fails when the target
// exists (the check and the rename are one kernel step). MoveFile does the
// same and, across file systems, copies into a target created exclusively,
// keeping the mode and modification time, and deletes the source only after
// the copy is complete; a failed copy removes its partial target.
// CopyFileOver writes through a temporary file in the target folder that is
// renamed over the target, so an existing target is either whole-old or
// whole-new; it refuses a target that is the source itself.
// Each returns false with the system's error text.
#pragma once

#include <QString>
#include <optional>

namespace fileops {

// Which file a name reaches (links followed): its device and inode.
struct TFileIdentity {
    quint64 Device = 0;
    quint64 Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The text a move reports for a target that exists.
QString AlreadyExistsText();

bool RenameNoReplace(const QString& From, const QString& To, QString& Error);
bool MoveFile(const QString& From, const QString& To, QString& Error);
bool CopyFileOver(const QString& From, const QString& To, QString& Error);
// Both names reach the same file (same device and inode).
bool SameFile(const QString& A, const QString& B);
// Nothing when the name reaches no file.
std::optional<TFileIdentity> IdentityOf(const QString& Path);
// Deletes a file; a file already gone counts as deleted.
bool DeleteFile(const QString& Path, QString& Error);

}  // namespace fileops
