// The container's load over every native reader, from memory.
#include <cstddef>
#include <cstdint>

#include "tags/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TTags Tags;
    Tags.LoadFromMemory(Data, (int64_t)Size);
    (void)Tags.Size();
    return 0;
}
