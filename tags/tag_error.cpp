#include "tags/tag_error.h"

#include <cerrno>
#include <cstring>

#include "tags/ape/apev2_tag.h"
#include "tags/asf/wma_tag.h"
#include "tags/flac/flac_tag.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/ogg/opus_tag.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"
#include "tags/wav/wav_tag.h"

namespace {

class TTagErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "tags"; }
    std::string message(int Value) const override { return TagErrorText(static_cast<TTagError>(Value)); }
};

struct TNativeRowOfCodes {
    int Code;
    TTagError Error;
};

template <size_t N>
TTagError Find(const TNativeRowOfCodes (&Rows)[N], int Code) {
    for (const TNativeRowOfCodes& Row : Rows)
        if (Row.Code == Code) return Row.Error;
    return TTagError::Failure;
}

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
    using E = TTagError;
    if (NativeCode == 0) return E::None;
    switch (Library) {
        case TNativeLibrary::ID3v2: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {id3v2result::NoTag, E::NoTag},
                {id3v2result::NoFrames, E::NothingToWrite},
                {id3v2result::FileOpenFailed, E::CannotOpen},
                {id3v2result::ContainerError, E::Damaged},
                {id3v2result::WriteFailed, E::WriteFailed},
                {id3v2result::ContainerUnsound, E::Damaged},
                {id3v2result::UnsupportedVersion, E::UnsupportedVersion},
                {id3v2result::RF64WithoutWave, E::NotThisFormat},
                {id3v2result::ContainerTooLarge, E::TooLarge},
                {id3v2result::NotExclusive, E::Busy},
                {id3v2result::ReadOnly, E::ReadOnly},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::WAV: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {wavresult::NoFile, E::CannotOpen}, {wavresult::NoTemp, E::WriteFailed},
                {wavresult::Structure, E::Damaged}, {wavresult::NotWave, E::NotThisFormat},
                {wavresult::TooLarge, E::TooLarge}, {wavresult::OpenFailed, E::CannotOpen},
                {wavresult::ReadOnly, E::ReadOnly},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::MP4: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {mp4result::NoTag, E::NoTag},
                {mp4result::NothingToWrite, E::NothingToWrite},
                {mp4result::FileOpenFailed, E::CannotOpen},
                {mp4result::ReadError, E::Damaged},
                {mp4result::UnsafeLayout, E::UnsafeLayout},
                {mp4result::NotMP4, E::NotThisFormat},
                {mp4result::ChunkOffsetsFailed, E::UnsafeLayout},
                {mp4result::ChunkOffsets64Failed, E::UnsafeLayout},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::APEv2: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {apev2result::NoTag, E::NoTag},
                {apev2result::NothingToWrite, E::NothingToWrite},
                {apev2result::CannotOpen, E::CannotOpen},
                {apev2result::ItemTooLarge, E::Damaged},
                {apev2result::UnsupportedVersion, E::UnsupportedVersion},
                {apev2result::DamagedFooter, E::Damaged},
                {apev2result::ReadOnly, E::ReadOnly},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::Ogg: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {oggresult::CannotOpen, E::CannotOpen},    {oggresult::WriteFailed, E::WriteFailed},
                {oggresult::BadHeader, E::Damaged},        {oggresult::NoCommentHeader, E::NotThisFormat},
                {oggresult::CannotRewrite, E::CannotOpen}, {oggresult::ReadOnly, E::ReadOnly},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::Flac: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {flacresult::NoTag, E::NoTag},
                {flacresult::CannotOpen, E::CannotOpen},
                {flacresult::WriteFailed, E::WriteFailed},
                {flacresult::NotOggFlac, E::NotThisFormat},
                {flacresult::NotFlac, E::NotThisFormat},
                {flacresult::CannotRewrite, E::CannotOpen},
                {flacresult::ReadOnly, E::ReadOnly},
                {flacresult::TooLarge, E::TooLarge},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::ID3v1: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {id3v1::CannotOpen, E::CannotOpen}, {id3v1::ReadError, E::Damaged}, {id3v1::WriteError, E::WriteFailed},
                {id3v1::ReadOnly, E::ReadOnly},     {id3v1::NoTag, E::NoTag},
            };
            return Find(Rows, NativeCode);
        }
        case TNativeLibrary::WMA: {
            static constexpr TNativeRowOfCodes Rows[] = {
                {wmaresult::NoFile, E::CannotOpen},
                {wmaresult::NotAsf, E::NotThisFormat},
                {wmaresult::ReadOnly, E::ReadOnly},
                {wmaresult::Failed, E::WriteFailed},
            };
            return Find(Rows, NativeCode);
        }
    }
    return E::Failure;
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
