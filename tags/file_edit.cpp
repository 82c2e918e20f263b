#include "tags/file_edit.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "tags/file_util.h"
#include "tags/stream.h"

namespace {

bool WritePatches(TStream& S, const std::vector<TFilePatch>& Patches) {
    for (const auto& p : Patches)
        if (S.Seek(p.At) != p.At || !S.WriteExact(p.Bytes)) return false;
    return true;
}

// The rewritten file is first built without a name (O_TMPFILE) where the file
// system allows it, so that a process killed half-way leaves nothing behind;
// it gets the temporary name (exclusively) only once it is complete, and is
// then renamed over the original. Elsewhere the temporary name is created up front.
struct TTempTarget {
    std::unique_ptr<TFileStream> Stream;
    int AnonymousFd = -1;
    bool Named = false;   // the temporary name exists and is ours
    std::string Name;     // that name
    ~TTempTarget() {
        Stream.reset();
        if (AnonymousFd >= 0) ::close(AnonymousFd);
    }
    std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(AnonymousFd); }
};

// Names tried for the temporary file: "<file><suffix>" first, then numbered
// variants, so that a stale temporary file (left by a crash, or someone
// else's) is neither overwritten nor removed and does not block the save.
constexpr int MaxTempNames = 100;
std::string TempName(const std::string& Base, int Attempt) {
    return Attempt == 0 ? Base : Base + "." + std::to_string(Attempt);
}

bool OpenTempTarget(const std::string& FileName, const std::string& Temp, TTempTarget& T) {
#ifdef O_TMPFILE
    T.AnonymousFd = ::open(fileutil::ExtractFileDir(FileName).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (T.AnonymousFd >= 0) {
        T.Stream = TFileStream::Open(T.ProcPath(), TFileMode::fmOpenReadWrite);
        if (T.Stream) return true;
        ::close(T.AnonymousFd);
        T.AnonymousFd = -1;
    }
#endif
    for (int i = 0; i < MaxTempNames && !T.Stream; ++i) {
        int err = 0;
        T.Name = TempName(Temp, i);
        T.Stream = TFileStream::Open(T.Name, TFileMode::fmCreateExclusive, &err);
        if (!T.Stream && err != EEXIST) break;
    }
    T.Named = T.Stream != nullptr;
    return T.Named;
}

// Gives the complete anonymous file its temporary name.
bool NameTempTarget(const std::string& Temp, TTempTarget& T) {
    for (int i = 0; i < MaxTempNames; ++i) {
        T.Name = TempName(Temp, i);
        if (::linkat(AT_FDCWD, T.ProcPath().c_str(), AT_FDCWD, T.Name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            T.Named = true;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// A rewrite renames a new file over the old one: through a symbolic link that
// would replace the link and leave the file it points to as it was, so the
// link is followed first.
std::string RealFileName(const std::string& FileName) {
    char* real = ::realpath(FileName.c_str(), nullptr);
    if (!real) return FileName;
    std::string r(real);
    ::free(real);
    return r;
}

bool InRange(int64_t Size, const TFileEdit& E) {
    return E.Pos >= 0 && E.OldLen >= 0 && E.Pos <= Size && E.OldLen <= Size - E.Pos;
}

// Whether the stream already holds what the edit would write: a region of
// the same length with the same bytes, and the same patched fields. Such an
// edit is not written at all, so that a save that changed nothing leaves the
// file's bytes and its modification time alone.
bool EditChangesNothing(TStream& S, const TFileEdit& E) {
    if (E.Delta() != 0) return false;
    auto same = [&](int64_t At, const uint8_t* Bytes, int64_t Len) {
        constexpr int64_t Block = 1 << 16;
        std::vector<uint8_t> buf((size_t)std::min(Len, Block));
        for (int64_t done = 0; done < Len;) {
            const int64_t n = std::min(Block, Len - done);
            if (S.Seek(At + done) != At + done || !S.ReadExact(buf.data(), n) ||
                !std::equal(buf.begin(), buf.begin() + n, Bytes + done))
                return false;
            done += n;
        }
        return true;
    };
    const int64_t size = S.Size();
    if (!InRange(size, E) || !same(E.Pos, E.Bytes.data(), (int64_t)E.Bytes.size())) return false;
    for (const auto& p : E.Patches)
        if (p.At < 0 || p.At > size || (int64_t)p.Bytes.size() > size - p.At ||
            !same(p.At, p.Bytes.data(), (int64_t)p.Bytes.size()))
            return false;
    return true;
}

}  // namespace

TEditResult ApplyEditToFile(const std::string& LinkOrFileName, const TFileEdit& E, const std::string& TempSuffix) {
    const std::string FileName = RealFileName(LinkOrFileName);
    if (E.Delta() == 0) {
        if (auto r = TFileStream::Open(FileName, TFileMode::fmOpenReadShared); r && EditChangesNothing(*r, E))
            return TEditResult::Success;
        auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadWrite);
        if (!f) return TEditResult::OpenFailed;
        if (!InRange(f->Size(), E)) return TEditResult::BadRange;
        if (f->Seek(E.Pos) != E.Pos || !f->WriteExact(E.Bytes) || !WritePatches(*f, E.Patches) || !f->Flush())
            return TEditResult::WriteFailed;
        return TEditResult::Success;
    }
    auto src = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!src) return TEditResult::OpenFailed;
    const int64_t size = src->Size();
    if (!InRange(size, E)) return TEditResult::BadRange;
    const std::string temp = FileName + TempSuffix;
    TTempTarget dst;
    if (!OpenTempTarget(FileName, temp, dst)) return TEditResult::WriteFailed;
    bool ok = src->Seek(0) == 0 && dst.Stream->CopyFrom(*src, E.Pos) && dst.Stream->WriteExact(E.Bytes) &&
              src->Seek(E.Pos + E.OldLen) == E.Pos + E.OldLen &&
              dst.Stream->CopyFrom(*src, size - E.Pos - E.OldLen) && WritePatches(*dst.Stream, E.Patches) &&
              dst.Stream->Sync();
    // The permissions go on while the file may still be nameless, so that
    // only two calls (link, rename) stand between a name and the swap.
    if (ok) fileutil::CopyFileMode(FileName, dst.Named ? dst.Name : dst.ProcPath());
    dst.Stream.reset();
    src.reset();
    // Only a complete file gets a name.
    if (ok && !dst.Named) ok = NameTempTarget(temp, dst);
    if (ok) ok = ::rename(dst.Name.c_str(), FileName.c_str()) == 0;
    if (!ok) {
        if (dst.Named) ::unlink(dst.Name.c_str());
        return TEditResult::WriteFailed;
    }
    fileutil::SyncDirectoryOf(FileName);
    return TEditResult::Success;
}

TEditResult ApplyEditToStream(TStream& S, const TFileEdit& E, bool Flush) {
    const int64_t size = S.Size();
    if (!InRange(size, E)) return TEditResult::BadRange;
    const int64_t newSize = size + E.Delta();
    for (const auto& p : E.Patches)
        if (p.At < 0 || p.At > newSize || (int64_t)p.Bytes.size() > newSize - p.At) return TEditResult::BadRange;
    // Everything the edit may overwrite is read first: the region and what
    // follows it (moved when the length changes), and the patched fields.
    if (EditChangesNothing(S, E)) {
        S.Seek(0);
        return TEditResult::Success;
    }
    const int64_t keep = E.Delta() != 0 ? size - E.Pos : E.OldLen;
    S.Seek(E.Pos);
    const std::vector<uint8_t> old = S.ReadBytes(keep);
    if ((int64_t)old.size() != keep) return TEditResult::WriteFailed;
    std::vector<TFilePatch> oldPatches;
    for (const auto& p : E.Patches) {
        // A field behind the old end has nothing to put back.
        if (p.At >= size) continue;
        S.Seek(p.At);
        oldPatches.push_back({p.At, S.ReadBytes(std::min<int64_t>((int64_t)p.Bytes.size(), size - p.At))});
    }
    auto write = [&] {
        if (S.Seek(E.Pos) != E.Pos || !S.WriteExact(E.Bytes)) return false;
        if (E.Delta() != 0) {
            if (!S.WriteExact(old.data() + E.OldLen, (int64_t)old.size() - E.OldLen)) return false;
            if (E.Delta() < 0 && !S.SetSize(size + E.Delta())) return false;
        }
        return WritePatches(S, E.Patches) && (!Flush || S.Flush());
    };
    if (!write()) {
        // The old bytes go back where they were, so the stream reads as before.
        S.Seek(E.Pos);
        S.WriteExact(old);
        if (S.Size() != size) S.SetSize(size);
        WritePatches(S, oldPatches);
        S.Flush();
        S.Seek(0);
        return TEditResult::WriteFailed;
    }
    S.Seek(0);
    return TEditResult::Success;
}

TEditResult ApplyEditInPlace(const std::string& FileName, const TFileEdit& Edit, bool Flush) {
    auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadWrite);
    if (!f) return TEditResult::OpenFailed;
    return ApplyEditToStream(*f, Edit, Flush);
}
