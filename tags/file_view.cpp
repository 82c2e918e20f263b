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

int TFileView::Holding(int64_t Position) const {
    for (size_t i = 0; i < FRuns.size(); ++i) {
        if (Position < FRuns[i].Start) break;
        if (Position < FRuns[i].End()) return (int)i;
    }
    return -1;
}

bool TFileView::Fetch(int64_t Position, int64_t Wanted) {
    // The run before Position (if any) and the one after it.
    size_t next = 0;
    while (next < FRuns.size() && FRuns[next].Start <= Position) ++next;
    const bool hasPrev = next > 0;
    int64_t from = Position / BlockBytes * BlockBytes;
    if (hasPrev) from = std::max(from, FRuns[next - 1].End());
    FReadAhead = from == FLastFetchEnd ? std::min(FReadAhead * 2, MaxReadAhead) : BlockBytes;
    int64_t to = (Position + Wanted + BlockBytes - 1) / BlockBytes * BlockBytes;
    to = std::min({std::max(to, from + FReadAhead), FSize, next < FRuns.size() ? FRuns[next].Start : FSize});
    if (to <= from || FKept + (to - from) > MaxKeptBytes) return false;

    size_t at = next;
    if (hasPrev && FRuns[next - 1].End() == from) {
        at = next - 1;
    } else {
        FRuns.insert(FRuns.begin() + (std::ptrdiff_t)next, TRun{from, {}});
    }
    TRun& run = FRuns[at];
    const size_t old = run.Bytes.size();
    run.Bytes.resize(old + (size_t)(to - from));
    const int64_t got = ReadInner(from, run.Bytes.data() + old, to - from);
    run.Bytes.resize(old + (size_t)got);
    FKept += got;
    FLastFetchEnd = from + got;
    if (run.Bytes.empty()) {
        FRuns.erase(FRuns.begin() + (std::ptrdiff_t)at);
        return false;
    }
    if (at + 1 < FRuns.size() && run.End() == FRuns[at + 1].Start) {
        const std::vector<uint8_t>& following = FRuns[at + 1].Bytes;
        run.Bytes.insert(run.Bytes.end(), following.begin(), following.end());
        FRuns.erase(FRuns.begin() + (std::ptrdiff_t)(at + 1));
    }
    return Position < FRuns[at].End();
}

int64_t TFileView::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    Count = std::min(Count, FSize - FPosition);
    int64_t done = 0;
    if (Count >= DirectBytes) {
        done = ReadInner(FPosition, out, Count);
        FPosition += done;
        return done;
    }
    while (done < Count) {
        const int64_t pos = FPosition + done;
        int run = Holding(pos);
        if (run < 0) {
            if (!Fetch(pos, Count - done)) {
                // Not to be kept (or the file ends early): the rest straight from the file.
                done += ReadInner(pos, out + done, Count - done);
                break;
            }
            run = Holding(pos);
        }
        const TRun& r = FRuns[(size_t)run];
        const int64_t n = std::min(Count - done, r.End() - pos);
        std::memcpy(out + done, r.Bytes.data() + (pos - r.Start), (size_t)n);
        done += n;
    }
    FPosition += done;
    return done;
}
