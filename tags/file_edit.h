// The one way the tag library changes a file: a region replaced by new bytes,
// plus small fields patched in front of it or behind it (container sizes,
// pointers).
//
// Every edit of a file belongs to a save transaction (TSaveTransaction):
// the edits a save makes — one tag kind after another — land whole, or none
// does. An edit costs what its bytes cost:
// - An edit whose region keeps its length, or one near the end of the file
//   (a trailer, a chunk behind the audio: see MovesInPlace), is written in
//   place. Before the file is
//   touched, the bytes the edit overwrites and the file's old size go into a
//   rollback journal beside the file (JournalNameOf). The commit flushes the
//   file, then deletes the journal. A failed write puts the old bytes back at
//   once; a save cut short by a kill leaves the journal, and the next load
//   or save of the file (RecoverInterruptedSave) puts the old bytes back then.
// - An edit that would move the audio (a tag in front of it that outgrew its
//   room) is written into a new file beside the original, built without a
//   name where the file system allows it; the edits after it go into that
//   copy, and the commit gives it the name "<file><TempSuffix>" (or a
//   numbered variant when that name is taken), exclusively, once it is
//   complete and flushed, and renames it over the original.
// A full disk, a vanished file or a killed process therefore leaves either
// the old file or the new one whole, no stray temporary file, and no copy of
// the audio beside the file. A symbolic link is followed, so the file it
// points to changes and the link stays.
//
// What reaches the disk when (SetSaveDurability):
// - KillSafe (the default): the journal is written but not flushed before the
//   file changes; the kernel keeps it whatever happens to the program, so a
//   kill or crash of the program at any moment leaves the old file or the
//   whole new one. A save reported done is on the disk (flushed). A power
//   loss while a save is in flight (in a batch: until the batch's flush)
//   may leave that file's tag torn.
// - Strict: the journal (and its folder entry) is flushed before the file is
//   touched, so a power loss at any moment leaves the old or the new file
//   too; each in-place save costs two flushes more.
// Inside a TSaveBatch the saves do not flush on their own: the batch flushes
// once for all of them when it finishes, and a save is on the disk only then.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TStream;

struct TFilePatch {
    int64_t At;
    std::vector<uint8_t> Bytes;
};

struct TFileEdit {
    int64_t Pos = 0;
    int64_t OldLen = 0;
    std::vector<uint8_t> Bytes;
    std::vector<TFilePatch> Patches;  // positions in the edited file: before Pos or behind the new bytes
    int64_t Delta() const { return (int64_t)Bytes.size() - OldLen; }
};

enum class TEditResult {
    Success,
    OpenFailed,   // the file could not be opened
    BadRange,     // the region lies outside the file
    WriteFailed,  // writing, flushing or renaming failed; the original is unchanged
};

// The most bytes behind an edited region that an edit moves in place (or as
// many as the edit writes, when that is more): moving them costs about what
// the tag costs. An edit that would move more (the audio) builds a new file
// instead, which writes the file once where moving it in place would write
// it three times (the journal keeps the old and the new bytes).
constexpr int64_t InPlaceTailLimit = int64_t(64) << 10;
inline bool MovesInPlace(const TFileEdit& Edit, int64_t FileSize) {
    const int64_t behind = FileSize - Edit.Pos - Edit.OldLen;
    return Edit.Delta() == 0 || behind <= std::max<int64_t>(InPlaceTailLimit, (int64_t)Edit.Bytes.size());
}

// One save of one file. Edits made through ApplyEditToFile on this thread
// while the transaction lives join it; so does a transaction begun for the
// same file inside it (its Commit and Rollback are then the outer one's).
// The destructor rolls back what was not committed. Within the transaction,
// TFileStream::Open and fileutil::FileSize of the file's name reach the new
// file once one is being built (SaveTargetName), so each writer sees the
// edits made before it.
class TSaveTransaction {
public:
    explicit TSaveTransaction(const std::string& FileName);
    ~TSaveTransaction();
    TSaveTransaction(const TSaveTransaction&) = delete;
    TSaveTransaction& operator=(const TSaveTransaction&) = delete;

    TEditResult Apply(const TFileEdit& Edit, const std::string& TempSuffix = ".tmp");
    // Makes every edit durable; false when that failed, and then every edit
    // was rolled back.
    bool Commit();
    // Puts the file back as it was when the transaction began.
    void Rollback();
    // The errno behind the last failure, 0 when none is known.
    int LastError() const;

    struct TState;

private:
    TEditResult ApplyOne(const TFileEdit& Edit, const std::string& TempSuffix);
    TState* FState;  // shared with the outer transaction when joined
    bool FOwner;     // this object began the transaction
    bool FDone = false;
};

enum class TSaveDurability { KillSafe, Strict };
void SetSaveDurability(TSaveDurability Durability);
TSaveDurability SaveDurability();

// Saves that reach the disk together: while a batch is joined on a thread,
// the transactions committed there write the file but do not flush; Finish
// flushes every file system they touched once (syncfs; each file with
// fdatasync where that fails, or where the batch holds a few files only: a
// syncfs also waits for other programs' writes).
// A kill at any moment leaves each file of the batch as its latest committed
// save left it, or as it was before that save, whole. In the kill-safe mode
// a committed save's journal goes at once (a kill can no longer tear what the
// save wrote). In the strict mode the journals stay until Finish has flushed
// the files: a file saved again within the batch appends to the journal it
// already has, so that a power loss or a kill before the flush leaves every
// file as it was before the batch. The thread that creates the
// batch joins it (unless told not to), and must then destroy it; other
// threads join it with TJoin
// while they save, and have left it (their TJoin ended) before Finish runs.
// A batch holding many journals flushes early, so it keeps a bounded number
// of files open. The destructor finishes a batch not finished.
class TSaveBatch {
public:
    explicit TSaveBatch(bool JoinThisThread = true);
    ~TSaveBatch();
    TSaveBatch(const TSaveBatch&) = delete;
    TSaveBatch& operator=(const TSaveBatch&) = delete;
    // 0 when every save committed in the batch is on the disk; else the
    // errno of the first failed flush (the in-place saves whose file could
    // not be flushed are then rolled back, as far as the old bytes can go
    // back: from the journals in the strict mode, from the old bytes the
    // batch keeps in memory in the kill-safe mode). The batch stays usable
    // for more saves.
    int Finish();
    // The files whose flush failed in the last Finish (their names as saved).
    std::vector<std::string> FailedFiles() const;

    class TJoin {
    public:
        explicit TJoin(TSaveBatch& Batch);
        ~TJoin();
        TJoin(const TJoin&) = delete;
        TJoin& operator=(const TJoin&) = delete;

    private:
        void* FPrevious;
    };

    struct TImpl;

private:
    std::unique_ptr<TImpl> FImpl;
    bool FJoined;
    void* FPrevious;
};

// Tests observe and fail the flushes the save path makes: the hook runs before
// each one and, returning an errno, fails it without flushing.
enum class TSaveSync { Journal, File, FileSystem };
using TSaveSyncHook = int (*)(TSaveSync What);
void SetSaveSyncHookForTesting(TSaveSyncHook Hook);

// The name to open for FileName on this thread: the new file a save
// transaction is building for it, or FileName itself.
std::string SaveTargetName(const std::string& FileName);

// While a save of FileName is under way on this thread (and writes into the
// file itself, not into a new one), the writers that read the file share one
// read-only handle the transaction holds, instead of opening the file again
// each time (each open is a round trip on a network share). -1 when no such
// save is under way; the caller then opens SaveTargetName itself. The
// handle belongs to the transaction: never close it. Size is the file's
// size now (the transaction follows its own edits).
int SaveReadHandle(const std::string& FileName, int64_t& Size);

// What a save under way on this thread knows of FileName's file: that it
// exists and whether it is read-only, asked once per save instead of once
// per tag kind written. Empty when no save of that name is under way or the
// file does not exist (a writer may yet create it).
struct TSaveFileFacts {
    bool ReadOnly = false;
};
std::optional<TSaveFileFacts> SaveFileFacts(const std::string& FileName);

// The rollback journal of FileName: ".<name>.veltrano-journal" in its folder
// (a shortened name when that would be too long for the folder).
std::string JournalNameOf(const std::string& FileName);

enum class TRecovery {
    NothingToDo,  // no journal, or a save of the file is running now
    RolledBack,   // an interrupted save was undone; the file is as before it
    Discarded,    // a journal that did not belong to the file as it is now was removed
    Failed,       // the journal could not be applied; it stays for the next try
};
// Undoes a save of FileName that was cut short, as the journal beside it
// records. One failed open when there is nothing to do.
TRecovery RecoverInterruptedSave(const std::string& FileName);

// Applies Edit to the file inside the save transaction open for it on this
// thread, or in a transaction of its own.
TEditResult ApplyEditToFile(const std::string& FileName, const TFileEdit& Edit, const std::string& TempSuffix = ".tmp");
// The same on a stream, in place: the bytes from the region to the end (or
// the region alone when its length stays) and the patched fields are held in
// memory while the region changes, and are written back when any write
// fails, so that the stream reads as before. Flush pushes the stream to the
// disk once the edit is complete; a caller that makes several edits to one
// stream flushes after the last.
TEditResult ApplyEditToStream(TStream& Stream, const TFileEdit& Edit, bool Flush = true);
