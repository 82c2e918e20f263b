// Reads FLAC metadata (native or in Ogg) and what the container makes of it.
#include <cstddef>
#include <cstdint>

#include "tags/flac/flac_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TFlacTag Tag;
    if (Tag.LoadFromStream(S, Size % 2 == 0) == 0) {
        for (int i = 0; i < Tag.Count(); ++i) Tag.Tags[i].GetText(true);
        (void)Tag.Playtime();
        (void)Tag.Bitrate();
    }
    TTags Tags;
    Tags.LoadFromMemory(Data, (int64_t)Size);
    return 0;
}
