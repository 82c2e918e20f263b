#include "tags/file_view.h"

#include <algorithm>
#include <cstring>

TFileView::TFileView(TStream& Inner) : FInner(Inner), FSize(std::max<int64_t>(Inner.Size(), 0)) {}

int64_t TFileView::Seek(int64_t Position) {
    FPosition = std::clamp<int64_t>(Position, 0, FSize);
    return FPosition;
}

int64_t TFileView::ReadInner(int64_t Position, uint8_t* Buffer, int64_t Count) {
    if (FInner.Seek(Position) != Position) return 0;
    return std::max<int64_t>(FInner.Read(Buffer, Count), 0);
}

bool TFileView::Fetch(int64_t First, int64_t Last) {
    for (int64_t block = First; block <= Last;) {
        if (FBlocks.count(block)) {
            ++block;
            continue;
        }
        int64_t end = block;
        while (end + 1 <= Last && !FBlocks.count(end + 1)) ++end;
        const int64_t start = block * BlockBytes;
        const int64_t length = std::min((end + 1) * BlockBytes, FSize) - start;
        std::vector<uint8_t> bytes((size_t)length);
        const int64_t got = ReadInner(start, bytes.data(), length);
        for (int64_t b = block; b <= end; ++b) {
            const int64_t from = (b - block) * BlockBytes;
            if (from >= got) return false;
            const int64_t n = std::min(BlockBytes, got - from);
            FBlocks.emplace(b, std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + n));
            if (n < BlockBytes && start + from + n < FSize) return false;   // the file gave less than its size
        }
        block = end + 1;
    }
    return true;
}

int64_t TFileView::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    Count = std::min(Count, FSize - FPosition);
    const int64_t first = FPosition / BlockBytes, last = (FPosition + Count - 1) / BlockBytes;
    if (Count >= DirectBytes || (FBlocks.size() + (size_t)(last - first + 1) > MaxKeptBlocks &&
                                 !(FBlocks.count(first) && FBlocks.count(last)))) {
        const int64_t got = ReadInner(FPosition, out, Count);
        FPosition += got;
        return got;
    }
    Fetch(first, last);
    int64_t done = 0;
    while (done < Count) {
        const int64_t pos = FPosition + done;
        const auto it = FBlocks.find(pos / BlockBytes);
        if (it == FBlocks.end()) break;
        const int64_t offset = pos % BlockBytes;
        if (offset >= (int64_t)it->second.size()) break;
        const int64_t n = std::min(Count - done, (int64_t)it->second.size() - offset);
        std::memcpy(out + done, it->second.data() + offset, (size_t)n);
        done += n;
    }
    FPosition += done;
    return done;
}
