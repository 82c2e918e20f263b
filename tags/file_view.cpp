#include "tags/file_view.h"

#include <algorithm>
#include <cstring>

TFileView::TFileView(TStream& Inner) : FInner(Inner), FSize(std::max<int64_t>(Inner.Size(), 0)), FTailStart(FSize) {
    // A short read (the file shrank meanwhile) keeps what arrived; the view
    // then ends where the bytes did.
    const bool whole = FSize <= HeadBytes + TailBytes;
    const int64_t head = whole ? FSize : HeadBytes;
    FHead.resize((size_t)head);
    int64_t got = 0;
    if (head > 0 && FInner.Seek(0) == 0) got = std::max<int64_t>(FInner.Read(FHead.data(), head), 0);
    FHead.resize((size_t)got);
    if (whole || got < head) {
        FSize = FTailStart = got;
        return;
    }
    FTailStart = FSize - TailBytes;
    FTail.resize((size_t)TailBytes);
    got = 0;
    if (FInner.Seek(FTailStart) == FTailStart) got = std::max<int64_t>(FInner.Read(FTail.data(), TailBytes), 0);
    FTail.resize((size_t)got);
    FSize = FTailStart + got;
}

int64_t TFileView::Seek(int64_t Position) {
    FPosition = std::clamp<int64_t>(Position, 0, FSize);
    return FPosition;
}

int64_t TFileView::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    Count = std::min(Count, FSize - FPosition);
    while (done < Count) {
        const int64_t pos = FPosition + done;
        const int64_t want = Count - done;
        int64_t n = 0;
        if (pos < (int64_t)FHead.size()) {
            n = std::min(want, (int64_t)FHead.size() - pos);
            std::memcpy(out + done, FHead.data() + pos, (size_t)n);
        } else if (pos >= FTailStart) {
            n = std::min(want, FSize - pos);
            std::memcpy(out + done, FTail.data() + (pos - FTailStart), (size_t)n);
        } else {
            // Between the blocks: from the stream, up to where the tail starts.
            const int64_t span = std::min(want, FTailStart - pos);
            if (FInner.Seek(pos) != pos) break;
            n = FInner.Read(out + done, span);
            if (n <= 0) break;
        }
        done += n;
    }
    FPosition += done;
    return done;
}
