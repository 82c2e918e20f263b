// TFileView: one read-only view of a file for every reader of a load.
//
// Tags sit at a file's ends: ID3v2 and the container headers at the start,
// ID3v1, Lyrics3 and APEv2 at the end, and most readers look at both. The
// view reads the first and the last block of the stream once, when it is
// made, and answers reads inside them from memory; reads elsewhere (a large
// picture, an MP4 box in the middle, MPEG frames) go to the stream on
// demand. A stream smaller than both blocks together is read whole.
//
// The view borrows its stream, which must outlive it and must not change
// size meanwhile. It never writes: Write and SetSize fail.
#pragma once

#include <cstdint>
#include <vector>

#include "tags/stream.h"

class TFileView final : public TStream {
public:
    static constexpr int64_t HeadBytes = 64 * 1024;
    static constexpr int64_t TailBytes = 64 * 1024;

    explicit TFileView(TStream& Inner);

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Position) override;
    int64_t Position() const override { return FPosition; }
    int64_t Size() const override { return FSize; }
    bool SetSize(int64_t) override { return false; }

private:
    TStream& FInner;
    int64_t FSize;
    int64_t FPosition = 0;
    std::vector<uint8_t> FHead;   // bytes [0, FHead.size())
    std::vector<uint8_t> FTail;   // bytes [FTailStart, FSize)
    int64_t FTailStart;
};
