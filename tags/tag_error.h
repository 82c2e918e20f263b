// One error model for the whole library. Every native result code, whatever
// library gave it, names one of the situations below, and each situation has
// a text; a failed save also carries the errno of the write that failed.
//
// The numbers the container returns stay as they are (callers, scripts and
// the tool's exit codes read them); this is what they mean, in one place:
//   NativeTagError(Library, Code)   what a native code of that library means
//   ContainerTagError(Code)         what a code the container itself made means
//   LastSaveFailure(Tags)           why the last SaveToFile failed, with errno
// and std::error_code works with TTagError (its category's message() is the
// situation's text).
#pragma once

#include <string>
#include <system_error>

#include "tags/tag_types.h"

class TTags;

enum class TTagError {
    None = 0,
    NoTag,               // the file holds no tag of this kind
    NothingToWrite,      // an empty tag, and none in the file to remove
    CannotOpen,          // the file is missing or could not be opened
    ReadOnly,            // the file may not be written
    NotThisFormat,       // the file is not of the kind this writer handles
    Damaged,             // a size, page, atom, chunk or footer runs past its end
    UnsupportedVersion,  // a tag version this library does not write
    TooLarge,            // a size does not fit the field that must hold it
    UnsafeLayout,        // the file's layout would not survive the move a save needs
    WriteFailed,         // the new bytes could not be written or put in place
    Busy,                // another save of this file is under way
    NoSpace,             // not enough free space on the disk
    QuotaExceeded,       // the disk quota is used up
    ReadOnlyFileSystem,  // the file system is mounted read-only
    PermissionDenied,
    NoStreamWrite,  // this kind cannot be written to a stream
    NoMemoryBlock,  // no memory block, or a file to strip that is not there
    Failure,        // anything else
};

const std::error_category& TagErrorCategory();
std::error_code make_error_code(TTagError Error);
template <>
struct std::is_error_code_enum<TTagError> : std::true_type {};

// The situation's text, lower case, to follow "could not save the tags: ".
const char* TagErrorText(TTagError Error);

TTagError NativeTagError(TNativeLibrary Library, int NativeCode);
TTagError ContainerTagError(int ContainerCode);

// Why the last SaveToFile of Tags failed: from the errno of the write when
// the system gave one, else from the first kind whose writer failed; None
// when it did not fail.
struct TSaveFailure {
    TTagError Error = TTagError::None;
    int Errno = 0;  // 0 when the system gave none
    // The situation's text; for an errno the library has no situation for,
    // the system's text and its number.
    std::string Text() const;
};
TSaveFailure LastSaveFailure(const TTags& Tags);
