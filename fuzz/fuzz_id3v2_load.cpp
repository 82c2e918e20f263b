// Reads an ID3v2 tag, the MPEG frames after it and the stream properties.
#include <cstddef>
#include <cstdint>

#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TID3v2Tag Tag;
    if (Tag.LoadFromStream(S, Size % 2 == 0) == 0) {
        Tag.RemoveUnsynchronisationOnAllFrames();
        Tag.DeCompressAllFrames();
    }
    return 0;
}
