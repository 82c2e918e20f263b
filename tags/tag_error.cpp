#include "tags/tag_error.h"

#include <cerrno>
#include <cstring>

#include "tags/native_formats.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"

namespace {

class TTagErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "tags"; }
    std::string message(int Value) const override { return TagErrorText(static_cast<TTagError>(Value)); }
};

TTagError FromErrno(int Errno) {
    switch (Errno) {
        case ENOSPC: return TTagError::NoSpace;
        case EDQUOT: return TTagError::QuotaExceeded;
        case EROFS: return TTagError::ReadOnlyFileSystem;
        case EACCES:
        case EPERM: return TTagError::PermissionDenied;
        case EBUSY: return TTagError::Busy;
        default: return TTagError::WriteFailed;
    }
}

}  // namespace

const std::error_category& TagErrorCategory() {
    static const TTagErrorCategory Category;
    return Category;
}

std::error_code make_error_code(TTagError Error) { return {static_cast<int>(Error), TagErrorCategory()}; }

const char* TagErrorText(TTagError Error) {
    switch (Error) {
        case TTagError::None: return "no error";
        case TTagError::NoTag: return "the file holds no such tag";
        case TTagError::NothingToWrite: return "there was nothing to write";
        case TTagError::CannotOpen: return "the file is missing or could not be opened";
        case TTagError::ReadOnly: return "the file is read-only";
        case TTagError::NotThisFormat: return "the file is not of a kind this tag can be written to";
        case TTagError::Damaged: return "the file is damaged";
        case TTagError::UnsupportedVersion: return "the tag's version is not supported";
        case TTagError::TooLarge: return "the tag is too large for the file's format";
        case TTagError::UnsafeLayout: return "the file's layout does not allow this change safely";
        case TTagError::WriteFailed: return "the file could not be written";
        case TTagError::Busy:
            return "another save of this file is under way, or its rollback journal could not be created";
        case TTagError::NoSpace: return "not enough free space on the disk";
        case TTagError::QuotaExceeded: return "the disk quota is used up";
        case TTagError::ReadOnlyFileSystem: return "the file system is mounted read-only";
        case TTagError::PermissionDenied: return "permission denied";
        case TTagError::NoStreamWrite: return "this kind of tag cannot be written to a stream";
        case TTagError::NoMemoryBlock: return "there is no file or memory block to work on";
        case TTagError::Failure: break;
    }
    return "the tag library failed";
}

TTagError NativeTagError(TNativeLibrary Library, int NativeCode) {
    if (NativeCode == 0) return TTagError::None;
    TTagError error = TTagError::Failure;
    bool found = false;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Info.Library != Library) return;
        for (const TNativeError& e : Row.Errors)
            if (!found && e.Code == NativeCode) {
                error = e.Error;
                found = true;
            }
    });
    return error;
}

TTagError ContainerTagError(int ContainerCode) {
    switch (ContainerCode) {
        case tagresult::Success: return TTagError::None;
        case tagresult::NoData: return TTagError::NoMemoryBlock;
        case tagresult::NothingToWrite: return TTagError::NothingToWrite;
        case tagresult::FileNotFound: return TTagError::CannotOpen;
        case tagresult::WMAToStream: return TTagError::NoStreamWrite;
        default: return TTagError::Failure;
    }
}

std::string TSaveFailure::Text() const {
    if (Errno != 0 && Error == TTagError::WriteFailed)
        return std::string(std::strerror(Errno)) + ", error " + std::to_string(Errno);
    return TagErrorText(Error);
}

TSaveFailure LastSaveFailure(const TTags& Tags) {
    TSaveFailure Failure;
    if (const int Errno = Tags.LastSaveErrno(); Errno != 0) {
        Failure.Error = FromErrno(Errno);
        Failure.Errno = Errno;
        return Failure;
    }
    for (const TTags::TSaveStep& Step : Tags.LastSaveSteps()) {
        const TTagError Error = NativeTagError(LibraryOf(Step.Kind), Step.NativeResult);
        if (Error == TTagError::None || Error == TTagError::NothingToWrite) continue;
        Failure.Error = Error;
        return Failure;
    }
    return Failure;
}
