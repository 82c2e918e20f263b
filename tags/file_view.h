// TFileView: one read-only view of a file for every reader of a load.
//
// Every reader looks at the file's ends (ID3v2 and the container headers at
// the start; ID3v1, Lyrics3 and APEv2 at the end), and each used to read
// them again on its own. The view keeps what it has read as a few runs of
// the file's bytes (4 KiB aligned), so each byte reaches the file once per
// load however many readers ask. A miss is fetched with one read, and a
// reader walking on from where the last fetch ended (Ogg pages, FLAC
// blocks) has each next fetch doubled up to 64 KiB, so a walk over a large
// header takes a handful of reads, not one per block. A read of 16 KiB or
// more (a whole tag body, a picture) goes straight from the file into the
// reader's buffer and is not kept: it is read once anyway. At most
// 1 MiB is kept: a reader that walks a large file in small steps then reads
// the rest straight from the file instead of holding the file in memory.
//
// The view borrows its stream, which must outlive it and must not change
// meanwhile. It never writes: Write and SetSize fail.
#pragma once

#include <cstdint>
#include <vector>

#include "tags/stream.h"

class TFileView final : public TStream {
public:
    static constexpr int64_t BlockBytes = 4096;
    static constexpr int64_t MaxReadAhead = 64 * 1024;
    static constexpr int64_t DirectBytes = 16 * 1024;
    static constexpr int64_t MaxKeptBytes = 1024 * 1024;

    explicit TFileView(TStream& Inner);

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return FSize; }
    bool SetSize(int64_t) override { return false; }

private:
    struct TRun {
        int64_t Start = 0;
        std::vector<uint8_t> Bytes;
        int64_t End() const { return Start + (int64_t)Bytes.size(); }
    };

    // The index of the run holding Position, or -1.
    int Holding(int64_t Position) const;
    // Reads the bytes from Position on (at least Wanted of them, as far as
    // the file goes) into the runs; false when they cannot be kept or the
    // file gave nothing there.
    bool Fetch(int64_t Position, int64_t Wanted);
    int64_t ReadInner(int64_t Position, uint8_t* Buffer, int64_t Count);

    TStream& FInner;
    int64_t FSize;
    int64_t FPosition = 0;
    std::vector<TRun> FRuns;  // sorted by start; never overlapping nor touching
    int64_t FKept = 0;
    int64_t FLastFetchEnd = -1;
    int64_t FReadAhead = BlockBytes;
};
