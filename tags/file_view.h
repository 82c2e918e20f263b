// TFileView: one read-only view of a file for every reader of a load.
//
// Every reader looks at the file's ends (ID3v2 and the container headers at
// the start; ID3v1, Lyrics3 and APEv2 at the end), and each used to read
// them again on its own. The view keeps every block of the file it has read
// (4 KiB, aligned), so each block reaches the file once per load however
// many readers ask; the blocks a read misses are fetched with one read. A
// read of 64 KiB or more (a large picture) goes straight to the file and is
// not kept. At most 1 MiB of blocks is kept: a reader that walks a large
// file in small steps (Ogg pages, MPEG frames) then reads the rest straight
// from the file instead of holding the file in memory.
//
// The view borrows its stream, which must outlive it and must not change
// meanwhile. It never writes: Write and SetSize fail.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "tags/stream.h"

class TFileView final : public TStream {
public:
    static constexpr int64_t BlockBytes = 4096;
    static constexpr int64_t DirectBytes = 64 * 1024;
    static constexpr size_t MaxKeptBlocks = 256;

    explicit TFileView(TStream& Inner);

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return FSize; }
    bool SetSize(int64_t) override { return false; }

private:
    // Reads the blocks First..Last that are not kept yet, each run of
    // missing blocks with one read; false when the file gave fewer bytes.
    bool Fetch(int64_t First, int64_t Last);
    int64_t ReadInner(int64_t Position, uint8_t* Buffer, int64_t Count);

    TStream& FInner;
    int64_t FSize;
    int64_t FPosition = 0;
    std::map<int64_t, std::vector<uint8_t>> FBlocks;   // block index -> its bytes
};
