// Byte streams used by every reader and writer of the tag library.
//
// TStream is the one abstraction: a seekable sequence of bytes with a size.
// TFileStream wraps an open file, TMemoryStream owns a growable block,
// TReadMemoryStream reads a caller's block without copying, and
// TBufferedStream puts a 1024-byte window in front of another stream.
// Streams never throw; short reads and writes are reported by their counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to Count bytes at the current position; returns how many were read.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // Writes Count bytes at the current position; returns how many were written.
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Absolute seek. Positions are clamped to [0, Size]; returns the new position.
    virtual int64_t Seek(int64_t Position) = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Size() const = 0;
    // Truncates or extends the stream; the position is clamped to the new size.
    virtual bool SetSize(int64_t NewSize) = 0;
    // Pushes buffered bytes to the device (file streams: to the disk).
    virtual bool Flush() { return true; }

    int64_t Remaining() const { return Size() - Position(); }
    // Binary read that zero-fills the buffer first, so a read past the end
    // leaves zeros behind and the format test that follows simply fails.
    int64_t ReadZeroFilled(void* Buffer, int64_t Count);
    bool ReadExact(void* Buffer, int64_t Count);
    bool WriteExact(const void* Buffer, int64_t Count);
    bool WriteExact(const std::vector<uint8_t>& Bytes) { return WriteExact(Bytes.data(), (int64_t)Bytes.size()); }
    // Reads Count bytes, or fewer at the end of the stream. Count is checked
    // against what remains before anything is allocated.
    std::vector<uint8_t> ReadBytes(int64_t Count);
    // Reads the whole stream from position 0.
    std::vector<uint8_t> ReadAll();
    // Copies Count bytes from Source's current position into this stream's
    // current position through a 1 MiB buffer; false on a short read or write.
    bool CopyFrom(TStream& Source, int64_t Count);
};

enum class TFileMode {
    fmOpenReadShared,   // read only; other readers allowed
    fmOpenReadWrite,    // read and write an existing file
    fmCreate,           // create or truncate, read and write
    fmCreateExclusive,  // create a new file, failing when the name exists
};

class TFileStream final : public TStream {
public:
    // Opens FileName; returns nullptr and sets Error (errno) on failure.
    static std::unique_ptr<TFileStream> Open(const std::string& FileName, TFileMode Mode, int* Error = nullptr);
    ~TFileStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override;
    bool SetSize(int64_t NewSize) override;
    // fsync; inside a TSyncScope the file is noted and synced when the scope
    // ends instead.
    bool Flush() override;
    // fsync now, whatever scope is open (a new file that is about to be
    // renamed over another must be on the disk first).
    bool Sync();
    // The errno of the last failed operation, 0 when none failed.
    int LastError() const { return FLastError; }
    const std::string& FileName() const { return FFileName; }

private:
    TFileStream(int Fd, std::string FileName, bool Owned = true)
        : FFd(Fd), FFileName(std::move(FileName)), FOwned(Owned) {}
    int FFd;
    std::string FFileName;
    bool FOwned;  // false: a save's shared read handle (SaveReadHandle), not ours to close
    int64_t FPosition = 0;
    int FLastError = 0;
    int64_t FKnownSize = -1;  // read-only handles: the size at opening
};

// A save that writes several tag kinds into one file flushes that file once.
// While a scope lives on this thread, TFileStream::Flush and
// fileutil::SyncDirectoryOf only note the file or folder; when the outermost
// scope finishes, each noted file and folder is synced once. Finish reports
// whether every sync succeeded; the destructor finishes a scope not finished.
class TSyncScope {
public:
    TSyncScope();
    ~TSyncScope();
    TSyncScope(const TSyncScope&) = delete;
    TSyncScope& operator=(const TSyncScope&) = delete;
    bool Finish();
    // Notes the file open as Fd under Path (or the folder Path) for the open
    // scope; false when none is open.
    static bool DeferFile(int Fd, const std::string& Path);
    static bool DeferFolder(const std::string& Path);
    // While covered (a save batch flushes the whole file system later),
    // Flush and SyncDirectoryOf on this thread do nothing. Returns the
    // previous state.
    static bool SetCovered(bool Covered);

private:
    bool FFinished = false;
};

class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> Data) : FData(std::move(Data)) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return (int64_t)FData.size(); }
    bool SetSize(int64_t NewSize) override;

    const std::vector<uint8_t>& Data() const { return FData; }
    std::vector<uint8_t>& Data() { return FData; }
    void Clear() {
        FData.clear();
        FPosition = 0;
    }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

// Reads straight from a block the caller owns; writing and resizing fail.
class TReadMemoryStream final : public TStream {
public:
    TReadMemoryStream(const void* Data, int64_t Size)
        : FData(static_cast<const uint8_t*>(Data)), FSize(Data && Size > 0 ? Size : 0) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return FSize; }
    bool SetSize(int64_t) override { return false; }

private:
    const uint8_t* FData;
    int64_t FSize;
    int64_t FPosition = 0;
};

// A 1024-byte window in front of another stream (not owned). It caches the
// underlying position and size when created; reads and writes of at most
// 1024 bytes go through the window, larger ones go straight through after
// the window is emptied. The window is either reading or writing; pending
// written bytes are flushed before a read, on a seek that leaves the window,
// on Flush and when the wrapper is destroyed.
class TBufferedStream final : public TStream {
public:
    static constexpr int64_t BufferSize = 1024;
    explicit TBufferedStream(TStream& Inner);
    ~TBufferedStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return FSize; }
    bool SetSize(int64_t NewSize) override;
    bool Flush() override;

private:
    bool FlushPending();

    TStream& FInner;
    uint8_t FBuffer[BufferSize];
    int64_t FPosition;  // logical position
    int64_t FSize;      // cached size, grown by writes
    int64_t FWindowStart = 0;
    int64_t FWindowLength = 0;  // valid bytes in the window
    bool FWriting = false;      // the window holds pending bytes to write
    int64_t FDirtyStart = 0, FDirtyEnd = 0;
    bool FFailed = false;
};
