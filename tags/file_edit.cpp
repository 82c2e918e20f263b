#include "tags/file_edit.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

#include "tags/byte_io.h"
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
    bool Named = false;  // the temporary name exists and is ours
    std::string Name;    // that name
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

// The file with the edit applied, written from Source (Size bytes) into Target.
bool WriteEditedCopy(TStream& Source, int64_t Size, const TFileEdit& E, TStream& Target) {
    return Source.Seek(0) == 0 && Target.CopyFrom(Source, E.Pos) && Target.WriteExact(E.Bytes) &&
           Source.Seek(E.Pos + E.OldLen) == E.Pos + E.OldLen && Target.CopyFrom(Source, Size - E.Pos - E.OldLen) &&
           WritePatches(Target, E.Patches);
}

bool PatchesInRange(int64_t NewSize, const TFileEdit& E) {
    for (const auto& p : E.Patches)
        if (p.At < 0 || p.At > NewSize || (int64_t)p.Bytes.size() > NewSize - p.At) return false;
    return true;
}

// ---- the rollback journal ---------------------------------------------------------
//
// Layout (integers little-endian):
//   header  "VTJOURN1", device u64, inode u64 (of the file the journal is
//           for), CRC-32 of the 24 bytes before it (u32)
//   step*   "STEP", payload length u64, payload, CRC-32 of the payload (u32)
//   payload old file size u64, new file size u64, region count u32, then per
//           region: position u64, old length u64, new length u64, the old
//           bytes, the new bytes
// A step is appended and flushed before the file is touched, so a step cut
// off in the journal (a bad length or checksum) was never begun on the file,
// and it and anything after it are ignored.

struct TRegion {
    int64_t Pos = 0;
    std::vector<uint8_t> Old, New;
};

struct TStep {
    int64_t OldSize = 0, NewSize = 0;
    std::vector<TRegion> Regions;
};

constexpr std::string_view JournalMagic = "VTJOURN1";
constexpr size_t JournalHeaderSize = 8 + 8 + 8 + 4;
// A journal holds the bytes of a few tags; anything larger is none of ours.
constexpr int64_t MaxJournalSize = int64_t(1) << 30;
constexpr uint32_t MaxRegionsPerStep = 1 << 16;
constexpr std::string_view JournalSuffix = ".veltrano-journal";

uint32_t Crc(const uint8_t* Data, size_t Size) {
    uLong c = crc32(0L, Z_NULL, 0);
    while (Size > 0) {
        const uInt n = (uInt)std::min<size_t>(Size, 1u << 30);
        c = crc32(c, Data, n);
        Data += n;
        Size -= n;
    }
    return (uint32_t)c;
}

std::vector<uint8_t> EncodeHeader(uint64_t Device, uint64_t Inode) {
    TByteWriter w;
    w.str(JournalMagic).u64le(Device).u64le(Inode);
    w.u32le(Crc(w.data().data(), w.size()));
    return w.take();
}

std::vector<uint8_t> EncodeStep(const TStep& S) {
    TByteWriter p;
    p.u64le((uint64_t)S.OldSize).u64le((uint64_t)S.NewSize).u32le((uint32_t)S.Regions.size());
    for (const auto& r : S.Regions)
        p.u64le((uint64_t)r.Pos)
            .u64le(r.Old.size())
            .u64le(r.New.size())
            .bytes(r.Old.data(), r.Old.size())
            .bytes(r.New.data(), r.New.size());
    TByteWriter w;
    w.str("STEP").u64le(p.size()).bytes(p.data().data(), p.size()).u32le(Crc(p.data().data(), p.size()));
    return w.take();
}

struct TJournal {
    uint64_t Device = 0, Inode = 0;
    std::vector<TStep> Steps;
};

// False when the bytes are no journal at all; steps cut off are left out.
bool DecodeJournal(const std::vector<uint8_t>& Bytes, TJournal& J) {
    try {
        TByteReader r(Bytes);
        if (!r.startsWith(JournalMagic) || !r.has(JournalHeaderSize)) return false;
        r.skip(JournalMagic.size());
        J.Device = r.u64le();
        J.Inode = r.u64le();
        if (r.u32le() != Crc(Bytes.data(), JournalHeaderSize - 4)) return false;
        while (r.has(4 + 8) && r.startsWith("STEP")) {
            r.skip(4);
            const uint64_t len = r.u64le();
            if (len > r.remaining() || r.remaining() - len < 4) break;
            const uint8_t* payload = r.current();
            TByteReader p = r.sub((size_t)len);
            if (r.u32le() != Crc(payload, (size_t)len)) break;
            TStep s;
            s.OldSize = (int64_t)p.u64le();
            s.NewSize = (int64_t)p.u64le();
            const uint32_t count = p.u32le();
            if (s.OldSize < 0 || s.NewSize < 0 || count > MaxRegionsPerStep) return false;
            for (uint32_t i = 0; i < count; ++i) {
                TRegion g;
                g.Pos = (int64_t)p.u64le();
                const uint64_t oldLen = p.u64le(), newLen = p.u64le();
                if (g.Pos < 0 || oldLen > p.remaining() || newLen > p.remaining() - oldLen) return false;
                g.Old = p.vec((size_t)oldLen);
                g.New = p.vec((size_t)newLen);
                s.Regions.push_back(std::move(g));
            }
            J.Steps.push_back(std::move(s));
        }
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

// Puts the old bytes of the steps back, the last step first.
bool UndoSteps(TStream& File, const std::vector<TStep>& Steps) {
    bool ok = true;
    for (auto s = Steps.rbegin(); s != Steps.rend(); ++s) {
        for (const auto& r : s->Regions) ok = File.Seek(r.Pos) == r.Pos && File.WriteExact(r.Old) && ok;
        if (File.Size() != s->OldSize) ok = File.SetSize(s->OldSize) && ok;
    }
    return ok;
}

// Whether the file is as the step left it at some moment: its size between
// the old and the new one, and each page of each region holding the old or
// the new bytes. Anything else means another program changed the file since,
// and the journal no longer applies to it.
bool FileMatchesStep(TStream& File, const TStep& S) {
    const int64_t size = File.Size();
    if (size < std::min(S.OldSize, S.NewSize) || size > std::max(S.OldSize, S.NewSize)) return false;
    constexpr int64_t Page = 4096;
    std::vector<uint8_t> buf;
    for (const auto& r : S.Regions) {
        const int64_t end = std::min<int64_t>(size, r.Pos + (int64_t)std::max(r.Old.size(), r.New.size()));
        for (int64_t at = r.Pos; at < end;) {
            const int64_t next = std::min(end, (at / Page + 1) * Page);
            const int64_t n = next - at, off = at - r.Pos;
            buf.resize((size_t)n);
            if (File.Seek(at) != at || !File.ReadExact(buf.data(), n)) return false;
            auto holds = [&](const std::vector<uint8_t>& Ref) {
                return off + n <= (int64_t)Ref.size() && std::equal(buf.begin(), buf.end(), Ref.begin() + off);
            };
            if (!holds(r.Old) && !holds(r.New)) return false;
            at = next;
        }
    }
    return true;
}

// Writes all of Bytes at Offset; on failure errno tells why.
bool WriteAllAt(int Fd, const std::vector<uint8_t>& Bytes, int64_t Offset) {
    size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t n = ::pwrite(Fd, Bytes.data() + done, Bytes.size() - done, Offset + (int64_t)done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += (size_t)n;
    }
    return true;
}

bool StatFile(const std::string& Path, struct stat& St) { return ::stat(Path.c_str(), &St) == 0; }

// The transactions open on this thread, innermost last.
thread_local std::vector<TSaveTransaction::TState*> OpenTransactions;

std::atomic<TSaveDurability> Durability{TSaveDurability::KillSafe};
std::atomic<TSaveSyncHook> SyncHook{nullptr};

// Flushes Fd's data (or, for a whole file system, everything on it); on
// failure errno tells why.
bool SyncFd(int Fd, TSaveSync What) {
    if (const TSaveSyncHook hook = SyncHook.load())
        if (const int err = hook(What)) {
            errno = err;
            return false;
        }
    return (What == TSaveSync::FileSystem ? ::syncfs(Fd) : ::fdatasync(Fd)) == 0;
}

bool SyncStream(TFileStream& S) {
    if (const TSaveSyncHook hook = SyncHook.load())
        if (hook(TSaveSync::File) != 0) return false;
    return S.Sync();
}

// A save committed in a batch and not flushed yet: the file, and the journal
// that leads back to the file as it was before the batch (open and locked,
// so that no load rolls the file back meanwhile), if it has one.
struct TPendingSave {
    std::string Name, Real, Journal;
    int JournalFd = -1;
    int64_t JournalSize = 0;
    bool Rewritten = false;  // a new file was renamed over the old one
    // Kill-safe mode, where the journal went at the commit: the in-place
    // steps of the batch's saves of the file, oldest first, to put the old
    // bytes back should the flush fail.
    std::vector<TStep> Undo;
};

// The batch joined on this thread.
thread_local TSaveBatch::TImpl* JoinedBatch = nullptr;

}  // namespace

struct TSaveBatch::TImpl {
    // Journals held open before the batch flushes early.
    static constexpr size_t MaxOpenJournals = 256;

    std::mutex Lock;
    std::vector<TPendingSave> Pending;
    size_t OpenJournals = 0;
    int FirstError = 0;
    std::vector<std::string> Failed;

    // Takes the pending save of the file out, for another save of it.
    bool Take(const std::string& Real, TPendingSave& P) {
        std::lock_guard g(Lock);
        for (auto it = Pending.begin(); it != Pending.end(); ++it)
            if (it->Real == Real) {
                P = std::move(*it);
                Pending.erase(it);
                if (P.JournalFd >= 0) --OpenJournals;
                return true;
            }
        return false;
    }

    void Add(TPendingSave P) {
        std::vector<TPendingSave> flushNow;
        {
            std::lock_guard g(Lock);
            if (P.JournalFd >= 0) ++OpenJournals;
            Pending.push_back(std::move(P));
            if (OpenJournals >= MaxOpenJournals) {
                flushNow.swap(Pending);
                OpenJournals = 0;
            }
        }
        if (!flushNow.empty()) Flush(flushNow);
    }

    // A file system shared with other writers makes a syncfs wait for their
    // data too: a batch of a few files flushes each of them instead.
    static constexpr size_t FilesFlushedAlone = 16;

    // Puts back the old bytes of a file whose flush failed, from the steps
    // kept in memory, while the file is still as the last of them left it.
    static void UndoFromMemory(const TPendingSave& P) {
        auto file = TFileStream::Open(P.Real, TFileMode::fmOpenReadWrite);
        if (file && FileMatchesStep(*file, P.Undo.back())) UndoSteps(*file, P.Undo);
    }

    void Flush(std::vector<TPendingSave>& Saves) {
        // One syncfs for each file system touched by more than a few files.
        struct TDevice {
            dev_t Dev;
            size_t Files = 0;
            bool Synced = false;
        };
        std::vector<TDevice> devices;
        std::vector<dev_t> devOf(Saves.size());
        int error = 0;
        for (size_t i = 0; i < Saves.size(); ++i) {
            const TPendingSave& p = Saves[i];
            struct stat st {};
            if (::stat(p.Real.c_str(), &st) != 0) {
                if (!error) error = errno;
                devOf[i] = (dev_t)-1;
                continue;
            }
            devOf[i] = st.st_dev;
            auto dev =
                std::find_if(devices.begin(), devices.end(), [&](const TDevice& d) { return d.Dev == st.st_dev; });
            if (dev == devices.end()) dev = devices.insert(devices.end(), TDevice{st.st_dev});
            if (++dev->Files == FilesFlushedAlone + 1) {
                const int fd = ::open(p.Real.c_str(), O_RDONLY | O_CLOEXEC);
                dev->Synced = fd >= 0 && SyncFd(fd, TSaveSync::FileSystem);
                if (fd >= 0) ::close(fd);
            }
        }
        std::vector<std::string> failed;
        for (size_t i = 0; i < Saves.size(); ++i) {
            TPendingSave& p = Saves[i];
            const auto dev =
                std::find_if(devices.begin(), devices.end(), [&](const TDevice& d) { return d.Dev == devOf[i]; });
            bool ok = dev != devices.end() && dev->Synced;
            if (!ok && dev != devices.end()) {
                // A few files, or the file system could not be flushed as a
                // whole: the file alone.
                const int fd = ::open(p.Real.c_str(), O_RDONLY | O_CLOEXEC);
                ok = fd >= 0 && SyncFd(fd, TSaveSync::File);
                if (fd >= 0) ::close(fd);
                if (ok && p.Rewritten) ok = fileutil::SyncDirectoryNow(p.Real);
            }
            if (!ok) {
                if (!error) error = errno ? errno : EIO;
                failed.push_back(p.Name);
                if (!p.Undo.empty()) UndoFromMemory(p);
            }
            if (p.JournalFd < 0) continue;
            if (ok) {
                ::unlink(p.Journal.c_str());
                ::close(p.JournalFd);
            } else {
                // The journal stays and the lock goes: the old bytes go back.
                ::close(p.JournalFd);
                RecoverInterruptedSave(p.Real);
            }
            p.JournalFd = -1;
        }
        std::lock_guard g(Lock);
        if (!FirstError) FirstError = error;
        Failed.insert(Failed.end(), failed.begin(), failed.end());
    }
};

TSaveBatch::TSaveBatch(bool JoinThisThread)
    : FImpl(std::make_unique<TImpl>()), FJoined(JoinThisThread), FPrevious(JoinedBatch) {
    if (FJoined) JoinedBatch = FImpl.get();
}

TSaveBatch::~TSaveBatch() {
    Finish();
    if (FJoined) JoinedBatch = static_cast<TImpl*>(FPrevious);
}

int TSaveBatch::Finish() {
    std::vector<TPendingSave> saves;
    {
        std::lock_guard g(FImpl->Lock);
        saves.swap(FImpl->Pending);
        FImpl->OpenJournals = 0;
        FImpl->Failed.clear();
    }
    FImpl->Flush(saves);
    std::lock_guard g(FImpl->Lock);
    return std::exchange(FImpl->FirstError, 0);
}

std::vector<std::string> TSaveBatch::FailedFiles() const {
    std::lock_guard g(FImpl->Lock);
    return FImpl->Failed;
}

TSaveBatch::TJoin::TJoin(TSaveBatch& Batch) : FPrevious(JoinedBatch) { JoinedBatch = Batch.FImpl.get(); }

TSaveBatch::TJoin::~TJoin() { JoinedBatch = static_cast<TSaveBatch::TImpl*>(FPrevious); }

void SetSaveDurability(TSaveDurability D) { Durability = D; }
TSaveDurability SaveDurability() { return Durability; }
void SetSaveSyncHookForTesting(TSaveSyncHook Hook) { SyncHook = Hook; }

struct TSaveTransaction::TState {
    std::string Name, Real, Journal, TempSuffix = ".tmp";
    std::unique_ptr<TFileStream> Live;  // the file, opened for writing by the first in-place edit
    int JournalFd = -1;
    int64_t JournalSize = 0;
    std::vector<TStep> Steps;           // the in-place edits made, as journaled
    std::unique_ptr<TTempTarget> Work;  // the new file, once an edit moved the audio
    bool Failed = false;
    int Error = 0;
    TSaveBatch::TImpl* Batch = nullptr;  // the batch the save belongs to
    bool Adopted = false;                // an earlier save of the file in the batch is pending
    bool Rewritten = false;              // that save, or this one, renamed a new file over the old
    int64_t AdoptedJournalSize = 0;      // its journal's length
    std::vector<TStep> AdoptedUndo;      // its steps, kept in memory (TPendingSave::Undo)
    bool WasCovered = false;
    int ReadFd = -1;                      // shared by the writers' reads (SaveReadHandle)
    int64_t ReadSize = -1;                // the file's size as the edits left it; -1: ask the file
    std::optional<TSaveFileFacts> Facts;  // see SaveFileFacts

    ~TState() {
        Work.reset();
        if (JournalFd >= 0) ::close(JournalFd);
        if (ReadFd >= 0) ::close(ReadFd);
    }

    TEditResult Fail(TEditResult R, int Errno) {
        Failed = true;
        if (Errno) Error = Errno;
        return R;
    }

    void DropWork() {
        if (Work && Work->Named) ::unlink(Work->Name.c_str());
        Work.reset();
    }

    // Appends the step to the journal and pushes it to the disk. The journal
    // is built without a name and locked before it gets its name, so that a
    // load running beside the save never sees it half-written.
    bool WriteJournal(const TStep& S) {
        std::vector<uint8_t> bytes = EncodeStep(S);
        if (JournalFd < 0) {
            struct stat st {};
            if (!StatFile(Real, st)) return (Error = errno), false;
            std::vector<uint8_t> all = EncodeHeader((uint64_t)st.st_dev, (uint64_t)st.st_ino);
            all.insert(all.end(), bytes.begin(), bytes.end());
            bytes.swap(all);
            int fd = -1;
            bool named = false;
#ifdef O_TMPFILE
            fd = ::open(fileutil::ExtractFileDir(Journal).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
            if (fd < 0) {
                fd = ::open(Journal.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
                if (fd < 0) return (Error = errno == EEXIST ? EBUSY : errno), false;
                named = true;
            }
            JournalFd = fd;
            ::flock(fd, LOCK_EX | LOCK_NB);
            if (!WriteAllAt(fd, bytes, 0) || (Strict() && !SyncFd(fd, TSaveSync::Journal))) {
                Error = errno;
                if (named) ::unlink(Journal.c_str());
                ::close(fd);
                JournalFd = -1;
                return false;
            }
            if (!named) {
                const std::string proc = "/proc/self/fd/" + std::to_string(fd);
                if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, Journal.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                    Error = errno == EEXIST ? EBUSY : errno;
                    ::close(fd);
                    JournalFd = -1;
                    return false;
                }
            }
            JournalSize = (int64_t)bytes.size();
            if (Strict()) fileutil::SyncDirectoryNow(Journal);
            return true;
        }
        if (!WriteAllAt(JournalFd, bytes, JournalSize) || (Strict() && !SyncFd(JournalFd, TSaveSync::Journal)))
            return (Error = errno), false;
        JournalSize += (int64_t)bytes.size();
        return true;
    }

    static bool Strict() { return Durability.load(std::memory_order_relaxed) == TSaveDurability::Strict; }

    // Ends the journal's part in this save: in a batch of the strict mode it
    // stays, with the steps committed (Keep) or those of the saves before
    // this one, for the batch to flush; else it is deleted. (A kill cannot
    // tear what the save has written: only a power loss before the batch's
    // flush can, which the kill-safe mode does not guard against. Deleted at
    // once, the journal never reaches the disk: a batch of a thousand saves
    // then flushes the files alone, not a thousand journals beside them.)
    void ReleaseJournal(bool Keep) {
        if (!Batch) return DropJournal();
        std::vector<TStep> undo = std::move(AdoptedUndo);
        if (Keep && !Strict()) {
            DropJournal();
            for (TStep& step : Steps) undo.push_back(std::move(step));
        }
        if (!Keep && JournalFd >= 0) {
            // This save's steps were undone: the journal goes back to what the
            // saves before it wrote, or goes when they wrote none.
            if (Adopted && AdoptedJournalSize > 0 &&
                (JournalSize == AdoptedJournalSize || ::ftruncate(JournalFd, AdoptedJournalSize) == 0))
                JournalSize = AdoptedJournalSize;
            else
                DropJournal();
        }
        if (!Keep && !Adopted) return;
        Batch->Add({Name, Real, Journal, std::exchange(JournalFd, -1), std::exchange(JournalSize, 0), Rewritten,
                    std::move(undo)});
        Adopted = false;
    }

    void DropJournal() {
        if (JournalFd < 0) return;
        ::unlink(Journal.c_str());
        ::close(JournalFd);
        JournalFd = -1;
        JournalSize = 0;
    }

    TEditResult InPlace(const TFileEdit& E, TStream& Source, int64_t Size) {
        TStep step;
        step.OldSize = Size;
        step.NewSize = Size + E.Delta();
        auto readAt = [&](int64_t At, int64_t Len) {
            Source.Seek(At);
            return Source.ReadBytes(Len);
        };
        if (E.Delta() == 0) {
            step.Regions.push_back({E.Pos, readAt(E.Pos, E.OldLen), E.Bytes});
            for (const auto& p : E.Patches)
                step.Regions.push_back({p.At, readAt(p.At, (int64_t)p.Bytes.size()), p.Bytes});
        } else {
            // The region and everything behind it: the bytes behind it move.
            TRegion tail{E.Pos, readAt(E.Pos, Size - E.Pos), E.Bytes};
            if ((int64_t)tail.Old.size() != Size - E.Pos) return Fail(TEditResult::WriteFailed, EIO);
            tail.New.insert(tail.New.end(), tail.Old.begin() + E.OldLen, tail.Old.end());
            for (const auto& p : E.Patches) {
                const int64_t len = (int64_t)p.Bytes.size();
                if (p.At >= E.Pos) {
                    std::copy(p.Bytes.begin(), p.Bytes.end(), tail.New.begin() + (p.At - E.Pos));
                } else if (len <= E.Pos - p.At) {
                    step.Regions.push_back({p.At, readAt(p.At, len), p.Bytes});
                } else {
                    return TEditResult::BadRange;
                }
            }
            step.Regions.push_back(std::move(tail));
        }
        for (const auto& r : step.Regions)
            if (r.Pos + (int64_t)r.Old.size() > Size || (E.Delta() == 0 && r.Old.size() != r.New.size()))
                return Fail(TEditResult::WriteFailed, EIO);
        if (!Live) {
            int err = 0;
            Live = TFileStream::Open(Real, TFileMode::fmOpenReadWrite, &err);
            if (!Live) return Fail(TEditResult::OpenFailed, err);
        }
        if (!WriteJournal(step)) return Fail(TEditResult::WriteFailed, 0);
        bool ok = true;
        for (const auto& r : step.Regions) ok = ok && Live->Seek(r.Pos) == r.Pos && Live->WriteExact(r.New);
        if (ok && step.NewSize < step.OldSize) ok = Live->SetSize(step.NewSize);
        const int err = Live->LastError();
        ReadSize = ok ? step.NewSize : -1;
        Steps.push_back(std::move(step));
        return ok ? TEditResult::Success : Fail(TEditResult::WriteFailed, err ? err : EIO);
    }

    TEditResult Rewrite(const TFileEdit& E, TStream& Source, int64_t Size) {
        auto target = std::make_unique<TTempTarget>();
        if (!OpenTempTarget(Real, Real + TempSuffix, *target)) return Fail(TEditResult::WriteFailed, errno);
        if (!WriteEditedCopy(Source, Size, E, *target->Stream)) {
            const int err = target->Stream->LastError();
            if (target->Named) ::unlink(target->Name.c_str());
            return Fail(TEditResult::WriteFailed, err ? err : EIO);
        }
        DropWork();
        Work = std::move(target);
        return TEditResult::Success;
    }
};

TSaveTransaction::TSaveTransaction(const std::string& FileName) {
    // The writers of a save reach the file by the name the save was given:
    // that joins the save without resolving the name again.
    for (TState* s : OpenTransactions)
        if (s->Name == FileName) {
            FState = s;
            FOwner = false;
            return;
        }
    const std::string real = RealFileName(FileName);
    for (TState* s : OpenTransactions)
        if (s->Real == real) {
            FState = s;
            FOwner = false;
            return;
        }
    FState = new TState;
    FOwner = true;
    FState->Name = FileName;
    FState->Real = real;
    FState->Journal = JournalNameOf(real);
    FState->Batch = JoinedBatch;
    TPendingSave earlier;
    if (FState->Batch && FState->Batch->Take(real, earlier)) {
        // The file was saved before in this batch: its journal (locked by
        // this process) grows by this save's steps.
        FState->Adopted = true;
        FState->Rewritten = earlier.Rewritten;
        FState->JournalFd = earlier.JournalFd;
        FState->JournalSize = FState->AdoptedJournalSize = earlier.JournalSize;
        FState->AdoptedUndo = std::move(earlier.Undo);
    } else {
        RecoverInterruptedSave(real);
    }
    if (FState->Batch) FState->WasCovered = TSyncScope::SetCovered(true);
    OpenTransactions.push_back(FState);
}

TSaveTransaction::~TSaveTransaction() {
    if (!FOwner) return;
    if (!FDone) Rollback();
    if (FState->Batch) TSyncScope::SetCovered(FState->WasCovered);
    std::erase(OpenTransactions, FState);
    delete FState;
}

int TSaveTransaction::LastError() const { return FState->Error; }

TEditResult TSaveTransaction::Apply(const TFileEdit& E, const std::string& TempSuffix) {
    // An edit that is refused fails the whole save.
    const TEditResult r = ApplyOne(E, TempSuffix);
    if (r != TEditResult::Success) FState->Failed = true;
    return r;
}

TEditResult TSaveTransaction::ApplyOne(const TFileEdit& E, const std::string& TempSuffix) {
    TState& s = *FState;
    if (s.Failed || FDone) return TEditResult::WriteFailed;
    s.TempSuffix = TempSuffix;
    if (s.Work) {
        // Every edit after the one that moved the audio goes into the new file.
        TStream& w = *s.Work->Stream;
        const int64_t size = w.Size();
        if (!InRange(size, E) || !PatchesInRange(size + E.Delta(), E)) return TEditResult::BadRange;
        if (MovesInPlace(E, size)) {
            const TEditResult r = ApplyEditToStream(w, E, false);
            return r == TEditResult::Success ? r : s.Fail(r, s.Work->Stream->LastError());
        }
        return s.Rewrite(E, w, size);
    }
    int err = 0;
    auto source = TFileStream::Open(s.Real, TFileMode::fmOpenReadShared, &err);
    if (!source) {
        s.Error = err;
        return TEditResult::OpenFailed;
    }
    const int64_t size = source->Size();
    if (!InRange(size, E) || !PatchesInRange(size + E.Delta(), E)) return TEditResult::BadRange;
    if (EditChangesNothing(*source, E)) return TEditResult::Success;
    if (MovesInPlace(E, size)) return s.InPlace(E, *source, size);
    return s.Rewrite(E, *source, size);
}

void TSaveTransaction::Rollback() {
    TState& s = *FState;
    if (!FOwner) {
        s.Failed = true;
        return;
    }
    if (FDone) return;
    FDone = true;
    s.DropWork();
    s.ReadSize = -1;
    if (s.Steps.empty()) {
        s.ReleaseJournal(false);
        return;
    }
    bool ok = s.Live && UndoSteps(*s.Live, s.Steps) && (s.Batch || s.Live->Sync());
    s.Steps.clear();
    // When the old bytes could not all go back, the journal stays: the next
    // load of the file tries again.
    if (ok) {
        s.ReleaseJournal(false);
    } else if (s.JournalFd >= 0) {
        ::close(s.JournalFd);
        s.JournalFd = -1;
    }
}

bool TSaveTransaction::Commit() {
    TState& s = *FState;
    if (!FOwner) return !s.Failed;
    if (FDone) return false;
    if (s.Failed) {
        Rollback();
        return false;
    }
    if (s.Work) {
        TTempTarget& w = *s.Work;
        // In a batch the page cache keeps the new file whole across a kill;
        // the batch flushes it.
        bool ok = s.Batch || SyncStream(*w.Stream);
        if (!ok) s.Error = w.Stream->LastError() ? w.Stream->LastError() : EIO;
        // The permissions go on while the file may still be nameless, so
        // that only two calls (link, rename) stand between a name and the swap.
        if (ok) fileutil::CopyFileMode(s.Real, w.Named ? w.Name : w.ProcPath());
        w.Stream.reset();
        // Only a complete file gets a name.
        if (ok && !w.Named) ok = NameTempTarget(s.Real + s.TempSuffix, w);
        if (ok) ok = ::rename(w.Name.c_str(), s.Real.c_str()) == 0;
        if (!ok) {
            if (!s.Error) s.Error = errno;
            Rollback();
            return false;
        }
        w.Named = false;
        s.Work.reset();
        if (!s.Batch) fileutil::SyncDirectoryOf(s.Real);
        // The in-place edits before the new file (this save's and those of
        // the batch before it) were made to the file it replaced: their
        // journal no longer applies to anything.
        s.Steps.clear();
        s.AdoptedUndo.clear();
        s.DropJournal();
        s.Rewritten = true;
        s.ReleaseJournal(true);
    } else if (!s.Steps.empty()) {
        if (!s.Batch && !SyncStream(*s.Live)) {
            s.Error = s.Live->LastError() ? s.Live->LastError() : EIO;
            Rollback();
            return false;
        }
        // A journal whose removal is lost in a crash finds the file as the
        // save left it, and puts back its old form: whole all the same.
        s.ReleaseJournal(true);
        s.Steps.clear();
    } else {
        s.ReleaseJournal(false);
    }
    FDone = true;
    return true;
}

std::string SaveTargetName(const std::string& FileName) {
    for (auto it = OpenTransactions.rbegin(); it != OpenTransactions.rend(); ++it) {
        const TSaveTransaction::TState& s = **it;
        if (s.Work && (FileName == s.Name || FileName == s.Real))
            return s.Work->Named ? s.Work->Name : s.Work->ProcPath();
    }
    return FileName;
}

namespace {

// The innermost save under way on this thread for FileName (by the name it
// was given or the file it resolved to).
TSaveTransaction::TState* OpenSaveOf(const std::string& FileName) {
    for (auto it = OpenTransactions.rbegin(); it != OpenTransactions.rend(); ++it)
        if (FileName == (*it)->Name || FileName == (*it)->Real) return *it;
    return nullptr;
}

}  // namespace

int SaveReadHandle(const std::string& FileName, int64_t& Size) {
    TSaveTransaction::TState* s = OpenSaveOf(FileName);
    if (!s || s->Work) return -1;
    if (s->ReadFd < 0) {
        const int fd = ::open(s->Real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        s->ReadFd = fd;
        s->ReadSize = st.st_size;
    } else if (s->ReadSize < 0) {
        struct stat st {};
        if (::fstat(s->ReadFd, &st) != 0) return -1;
        s->ReadSize = st.st_size;
    }
    Size = s->ReadSize;
    return s->ReadFd;
}

std::optional<TSaveFileFacts> SaveFileFacts(const std::string& FileName) {
    TSaveTransaction::TState* s = OpenSaveOf(FileName);
    if (!s) return std::nullopt;
    if (!s->Facts) {
        struct stat st {};
        if (!StatFile(s->Real, st) || !S_ISREG(st.st_mode)) return std::nullopt;
        TSaveFileFacts facts;
        facts.ReadOnly = fileutil::ReadOnlyWithMode(s->Real, st.st_mode);
        s->Facts = facts;
    }
    return s->Facts;
}

std::string JournalNameOf(const std::string& FileName) {
    const std::string dir = fileutil::ExtractFileDir(FileName);
    std::string base = fileutil::ExtractFileName(FileName);
    // Folder entries are at most 255 bytes long: a long name is shortened
    // to a hash of itself.
    if (base.size() + 1 + JournalSuffix.size() > 255) {
        uint64_t h = 14695981039346656037ull;
        for (unsigned char c : base) h = (h ^ c) * 1099511628211ull;
        static const char* digits = "0123456789abcdef";
        std::string hex;
        for (int i = 15; i >= 0; --i) hex += digits[(h >> (i * 4)) & 15];
        base = hex;
    }
    return (dir == "/" ? std::string() : dir) + "/." + base + std::string(JournalSuffix);
}

TRecovery RecoverInterruptedSave(const std::string& FileName) {
    const std::string journal = JournalNameOf(FileName);
    const int fd = ::open(journal.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? TRecovery::NothingToDo : TRecovery::Failed;
    struct TClose {
        int Fd;
        ~TClose() { ::close(Fd); }
    } closeJournal{fd};
    // A save of the file that is running now holds the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return TRecovery::NothingToDo;
    struct stat js {
    }, fs{};
    if (::fstat(fd, &js) != 0) return TRecovery::Failed;
    if (js.st_nlink == 0) return TRecovery::NothingToDo;  // the save finished meanwhile
    if (!StatFile(FileName, fs)) return TRecovery::NothingToDo;
    // Only a journal of the file's owner, or of whoever runs this, is
    // trusted to write into the file.
    if (!S_ISREG(js.st_mode) || js.st_nlink != 1 || (js.st_uid != ::geteuid() && js.st_uid != fs.st_uid) ||
        js.st_size > MaxJournalSize)
        return TRecovery::Failed;
    std::vector<uint8_t> bytes((size_t)js.st_size);
    if (::pread(fd, bytes.data(), bytes.size(), 0) != (ssize_t)bytes.size()) return TRecovery::Failed;
    TJournal j;
    auto discard = [&] {
        ::unlink(journal.c_str());
        return TRecovery::Discarded;
    };
    // A journal cut off in its header was begun by a save that had not
    // touched the file yet; one of another file (the save's new file was
    // renamed over it) no longer applies.
    if (!DecodeJournal(bytes, j) || j.Device != (uint64_t)fs.st_dev || j.Inode != (uint64_t)fs.st_ino ||
        j.Steps.empty())
        return discard();
    auto file = TFileStream::Open(FileName, TFileMode::fmOpenReadWrite);
    if (!file) return TRecovery::Failed;
    if (!FileMatchesStep(*file, j.Steps.back())) return discard();
    if (!UndoSteps(*file, j.Steps) || !file->Sync()) return TRecovery::Failed;
    ::unlink(journal.c_str());
    return TRecovery::RolledBack;
}

TEditResult ApplyEditToFile(const std::string& FileName, const TFileEdit& E, const std::string& TempSuffix) {
    TSaveTransaction t(FileName);
    const TEditResult r = t.Apply(E, TempSuffix);
    if (r != TEditResult::Success) {
        t.Rollback();
        return r;
    }
    return t.Commit() ? r : TEditResult::WriteFailed;
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
