// Names for renamed files and new folders.
//
// CleanFileName turns tag text into a usable file name: the nine characters
// Windows forbids and NUL become "_", then blanks and control characters at
// both ends go. ExpandPattern builds a name from a record by a pattern with
// placeholders. The checks refuse what Linux would misread as a path rather
// than a name: a slash, ".", "..", NUL, or more than 255 bytes.
#pragma once

#include <QString>

#include "app/core/audio_tag.h"

// The longest file name component Linux file systems take, in bytes.
constexpr int kMaxNameBytes = 255;

QString CleanFileName(const QString& Name);
// Placeholders, any letter case: %artist% %title% %album% %track% %year%
// %genre% %albumartist% %composer% %num% (Number, at least two digits).
// The result is cleaned.
QString ExpandPattern(const QString& Pattern, const TAudioTag& Tag, int Number);
// One file or folder name (no path): not empty, no "/", not "." or "..",
// no NUL, at most 255 bytes in UTF-8.
bool IsValidName(const QString& Name);
// A relative folder path typed for a new folder: "/" separates nested
// folders; every part must be a valid name and none may be "." or "..".
bool IsValidRelativeFolder(const QString& Path);
// The extension of a name with its dot ("" without one): the part from the
// last dot of the last path component.
QString NameExtension(const QString& Name);
