// Loads an ID3v2 tag, changes a text frame, writes it into a copy of the
// input and loads the copy again: the write must load back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
    TID3v2Tag Tag;
    if (Tag.LoadFromStream(S, false) != 0) return 0;
    // Version 2.2 tags are written as 2.3, so the frame ID is the 2.3 one.
    Tag.SetText("TIT2", "Fuzz title", teUTF8);
    if (Tag.SaveToStream(S, false) != 0) return 0;
    TID3v2Tag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S, false) == 0, "saved ID3v2 tag does not load");
    return 0;
}
