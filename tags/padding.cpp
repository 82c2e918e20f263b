#include "tags/padding.h"

#include <algorithm>

namespace padding {

int64_t PaddingFor(int64_t FileSize) {
    return std::clamp<int64_t>(std::max<int64_t>(FileSize, 0) / FileShare, Least, Most);
}

int64_t MostKept(int64_t FileSize) { return 2 * PaddingFor(FileSize); }

bool MayKeep(int64_t NewPadding, int64_t OldPadding, int64_t FileSize) {
    return NewPadding >= 0 && (NewPadding <= OldPadding || NewPadding <= MostKept(FileSize));
}

}  // namespace padding
