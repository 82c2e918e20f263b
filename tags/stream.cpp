#include "tags/stream.h"

#include "tags/file_edit.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// ---- TStream helpers --------------------------------------------------------

int64_t TStream::ReadZeroFilled(void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    std::memset(Buffer, 0, (size_t)Count);
    return Read(Buffer, Count);
}

bool TStream::ReadExact(void* Buffer, int64_t Count) {
    if (Count < 0) return false;
    return Read(Buffer, Count) == Count;
}

bool TStream::WriteExact(const void* Buffer, int64_t Count) {
    if (Count < 0) return false;
    if (Count == 0) return true;
    return Write(Buffer, Count) == Count;
}

std::vector<uint8_t> TStream::ReadBytes(int64_t Count) {
    std::vector<uint8_t> out;
    if (Count <= 0) return out;
    int64_t avail = Remaining();
    if (avail <= 0) return out;
    if (Count > avail) Count = avail;
    out.resize((size_t)Count);
    int64_t got = Read(out.data(), Count);
    out.resize((size_t)std::max<int64_t>(got, 0));
    return out;
}

std::vector<uint8_t> TStream::ReadAll() {
    Seek(0);
    return ReadBytes(Size());
}

bool TStream::CopyFrom(TStream& Source, int64_t Count) {
    constexpr int64_t Chunk = 1 << 20;
    if (Count <= 0) return Count == 0;
    std::vector<uint8_t> buf((size_t)std::min(Count, Chunk));
    while (Count > 0) {
        int64_t n = std::min<int64_t>(Count, (int64_t)buf.size());
        if (Source.Read(buf.data(), n) != n) return false;
        if (!WriteExact(buf.data(), n)) return false;
        Count -= n;
    }
    return true;
}

// ---- TFileStream ------------------------------------------------------------

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& FileName, TFileMode Mode, int* Error) {
    int flags = O_CLOEXEC;
    switch (Mode) {
        // Without waiting for a writer, should the name be a pipe: it is
        // then turned down below with every other file that is not regular.
        case TFileMode::fmOpenReadShared: flags |= O_RDONLY | O_NONBLOCK; break;
        case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
        case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case TFileMode::fmCreateExclusive: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    // The writers of a save under way share one read handle on its file.
    if (Mode == TFileMode::fmOpenReadShared) {
        int64_t size = 0;
        if (const int shared = SaveReadHandle(FileName, size); shared >= 0) {
            if (Error) *Error = 0;
            auto stream = std::unique_ptr<TFileStream>(new TFileStream(shared, FileName, false));
            stream->FKnownSize = size;
            return stream;
        }
    }
    // A save under way reaches the new file it is building for this name.
    int fd = ::open(SaveTargetName(FileName).c_str(), flags, 0666);
    if (fd < 0) {
        if (Error) *Error = errno;
        return nullptr;
    }
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (Mode == TFileMode::fmOpenReadShared && !S_ISREG(st.st_mode))
        error = ENODEV;
    if (error) {
        if (Error) *Error = error;
        ::close(fd);
        return nullptr;
    }
    if (Error) *Error = 0;
    auto stream = std::unique_ptr<TFileStream>(new TFileStream(fd, FileName));
    // A handle that only reads keeps the size it found: readers ask for it
    // on every seek, and nothing of ours writes through this handle.
    if (Mode == TFileMode::fmOpenReadShared) stream->FKnownSize = st.st_size;
    return stream;
}

TFileStream::~TFileStream() {
    if (FFd >= 0 && FOwned) ::close(FFd);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    auto* p = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        ssize_t n = ::pread(FFd, p + done, (size_t)(Count - done), FPosition + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            FLastError = errno;
            break;
        }
        if (n == 0) break;
        done += n;
    }
    FPosition += done;
    return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    auto* p = static_cast<const uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        ssize_t n = ::pwrite(FFd, p + done, (size_t)(Count - done), FPosition + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            FLastError = errno;
            break;
        }
        if (n == 0) {
            FLastError = ENOSPC;
            break;
        }
        done += n;
    }
    FPosition += done;
    return done;
}

int64_t TFileStream::Seek(int64_t Position) {
    int64_t size = Size();
    FPosition = std::clamp<int64_t>(Position, 0, std::max<int64_t>(size, 0));
    return FPosition;
}

int64_t TFileStream::Size() const {
    if (FKnownSize >= 0) return FKnownSize;
    struct stat st {};
    if (::fstat(FFd, &st) != 0) return 0;
    return st.st_size;
}

bool TFileStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) return false;
    if (::ftruncate(FFd, NewSize) != 0) {
        FLastError = errno;
        return false;
    }
    if (FPosition > NewSize) FPosition = NewSize;
    return true;
}

bool TFileStream::Flush() {
    if (TSyncScope::DeferFile(FFd, FFileName)) return true;
    return Sync();
}

// The data and what is needed to read it back (the size) reach the disk;
// the times do not need to.
bool TFileStream::Sync() {
    if (::fdatasync(FFd) != 0) {
        FLastError = errno;
        return false;
    }
    return true;
}

// ---- TSyncScope -------------------------------------------------------------

namespace {

// A noted file: its name and the file it named then. When the name has
// come to stand for another file since (a rewrite renamed over it, and that
// new file was synced before the rename), the noted one needs no sync.
struct TNoted {
    std::string Path;
    dev_t Device = 0;
    ino_t Inode = 0;
};
struct TDeferredSyncs {
    int Depth = 0;
    bool Covered = false;
    std::vector<TNoted> Files, Folders;
};
thread_local TDeferredSyncs Deferred;

// A file is noted once whatever name it was reached by; a folder once by name.
void NoteOnce(std::vector<TNoted>& List, TNoted Item, bool ByInode) {
    for (const auto& p : List)
        if (ByInode ? p.Device == Item.Device && p.Inode == Item.Inode : p.Path == Item.Path) return;
    List.push_back(std::move(Item));
}

bool SyncNoted(const TNoted& Item, bool Folder) {
    const int fd = ::open(Item.Path.c_str(), O_RDONLY | O_CLOEXEC | (Folder ? O_DIRECTORY : 0));
    if (fd < 0) return errno == ENOENT;  // gone since: nothing left to sync
    struct stat st {};
    bool ok = true;
    if (Folder || (::fstat(fd, &st) == 0 && st.st_dev == Item.Device && st.st_ino == Item.Inode))
        ok = (Folder ? ::fsync(fd) : ::fdatasync(fd)) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

TSyncScope::TSyncScope() { ++Deferred.Depth; }

TSyncScope::~TSyncScope() { Finish(); }

bool TSyncScope::Finish() {
    if (FFinished) return true;
    FFinished = true;
    if (--Deferred.Depth > 0) return true;
    bool ok = true;
    std::vector<TNoted> files, folders;
    files.swap(Deferred.Files);
    folders.swap(Deferred.Folders);
    for (const auto& f : files) ok = SyncNoted(f, false) && ok;
    for (const auto& d : folders) ok = SyncNoted(d, true) && ok;
    return ok;
}

bool TSyncScope::SetCovered(bool Covered) { return std::exchange(Deferred.Covered, Covered); }

bool TSyncScope::DeferFile(int Fd, const std::string& Path) {
    if (Deferred.Covered) return true;
    if (Deferred.Depth <= 0 || Path.empty()) return false;
    struct stat st {};
    if (::fstat(Fd, &st) != 0) return false;
    NoteOnce(Deferred.Files, {Path, st.st_dev, st.st_ino}, true);
    return true;
}

bool TSyncScope::DeferFolder(const std::string& Path) {
    if (Deferred.Covered) return true;
    if (Deferred.Depth <= 0 || Path.empty()) return false;
    NoteOnce(Deferred.Folders, {Path}, false);
    return true;
}

// ---- TMemoryStream ----------------------------------------------------------

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= Size()) return 0;
    int64_t n = std::min(Count, Size() - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, (size_t)n);
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    if (FPosition + Count > Size()) FData.resize((size_t)(FPosition + Count));
    std::memcpy(FData.data() + FPosition, Buffer, (size_t)Count);
    FPosition += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Position) {
    FPosition = std::clamp<int64_t>(Position, 0, Size());
    return FPosition;
}

bool TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) return false;
    FData.resize((size_t)NewSize);
    if (FPosition > NewSize) FPosition = NewSize;
    return true;
}

// ---- TReadMemoryStream ------------------------------------------------------

int64_t TReadMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    int64_t n = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FData + FPosition, (size_t)n);
    FPosition += n;
    return n;
}

int64_t TReadMemoryStream::Seek(int64_t Position) {
    FPosition = std::clamp<int64_t>(Position, 0, FSize);
    return FPosition;
}

// ---- TBufferedStream --------------------------------------------------------

TBufferedStream::TBufferedStream(TStream& Inner) : FInner(Inner), FPosition(Inner.Position()), FSize(Inner.Size()) {}

TBufferedStream::~TBufferedStream() { FlushPending(); }

bool TBufferedStream::FlushPending() {
    if (!FWriting) return !FFailed;
    FWriting = false;
    if (FDirtyEnd > FDirtyStart) {
        FInner.Seek(FWindowStart + FDirtyStart);
        if (!FInner.WriteExact(FBuffer + FDirtyStart, FDirtyEnd - FDirtyStart)) FFailed = true;
    }
    FDirtyStart = FDirtyEnd = 0;
    return !FFailed;
}

int64_t TBufferedStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    if (FWriting) FlushPending();
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    if (Count > BufferSize) {
        // Serve what the window already holds, then go straight to the stream.
        if (FPosition >= FWindowStart && FPosition < FWindowStart + FWindowLength) {
            int64_t n = std::min(Count, FWindowStart + FWindowLength - FPosition);
            std::memcpy(out, FBuffer + (FPosition - FWindowStart), (size_t)n);
            done += n;
            FPosition += n;
        }
        FWindowLength = 0;
        FWindowStart = FPosition;
        FInner.Seek(FPosition);
        int64_t n = FInner.Read(out + done, Count - done);
        if (n > 0) {
            done += n;
            FPosition += n;
        }
        return done;
    }
    while (done < Count) {
        if (!(FPosition >= FWindowStart && FPosition < FWindowStart + FWindowLength)) {
            if (FPosition >= FSize) break;
            FWindowStart = FPosition;
            FInner.Seek(FWindowStart);
            FWindowLength = std::max<int64_t>(FInner.Read(FBuffer, BufferSize), 0);
            if (FWindowLength == 0) break;
        }
        int64_t n = std::min(Count - done, FWindowStart + FWindowLength - FPosition);
        std::memcpy(out + done, FBuffer + (FPosition - FWindowStart), (size_t)n);
        done += n;
        FPosition += n;
    }
    return done;
}

int64_t TBufferedStream::Write(const void* Buffer, int64_t Count) {
    // Once pending bytes could not reach the inner stream, nothing more is
    // taken: a caller checking its writes learns of the loss at its next
    // write instead of only at a Flush it may never call.
    if (Count <= 0 || FFailed) return 0;
    auto* in = static_cast<const uint8_t*>(Buffer);
    if (Count > BufferSize) {
        if (!FlushPending()) return 0;
        FWindowLength = 0;
        FWindowStart = FPosition;
        FInner.Seek(FPosition);
        int64_t n = FInner.Write(in, Count);
        if (n > 0) {
            FPosition += n;
            FSize = std::max(FSize, FPosition);
        }
        if (n != Count) FFailed = true;
        return std::max<int64_t>(n, 0);
    }
    int64_t done = 0;
    while (done < Count) {
        bool inWindow = FPosition >= FWindowStart && FPosition < FWindowStart + BufferSize &&
                        FPosition <= FWindowStart + FWindowLength;
        if (!inWindow) {
            if (!FlushPending()) {
                FWindowLength = 0;
                return done;
            }
            FWindowStart = FPosition;
            FWindowLength = 0;
        }
        int64_t offset = FPosition - FWindowStart;
        int64_t n = std::min(Count - done, BufferSize - offset);
        std::memcpy(FBuffer + offset, in + done, (size_t)n);
        if (!FWriting) {
            FWriting = true;
            FDirtyStart = offset;
            FDirtyEnd = offset + n;
        } else {
            FDirtyStart = std::min(FDirtyStart, offset);
            FDirtyEnd = std::max(FDirtyEnd, offset + n);
        }
        FWindowLength = std::max(FWindowLength, offset + n);
        done += n;
        FPosition += n;
        FSize = std::max(FSize, FPosition);
    }
    return done;
}

int64_t TBufferedStream::Seek(int64_t Position) {
    int64_t target = std::clamp<int64_t>(Position, 0, FSize);
    if (!(target >= FWindowStart && target <= FWindowStart + FWindowLength)) {
        FlushPending();
        FWindowStart = target;
        FWindowLength = 0;
        FInner.Seek(target);
    }
    FPosition = target;
    return FPosition;
}

bool TBufferedStream::SetSize(int64_t NewSize) {
    FlushPending();
    FWindowLength = 0;
    if (!FInner.SetSize(NewSize)) return false;
    FSize = NewSize;
    if (FPosition > FSize) FPosition = FSize;
    FWindowStart = FPosition;
    return true;
}

bool TBufferedStream::Flush() {
    bool ok = FlushPending();
    FInner.Seek(FPosition);
    return FInner.Flush() && ok;
}
