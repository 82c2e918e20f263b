// Loads everything through the container, changes a field, saves every
// loaded kind into a copy of the input and loads the copy again: a save
// reported as successful must load back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
    TTags Tags;
    if (Tags.LoadFromStream(S, Size % 2 == 0) != 0 || !Tags.Loaded) return 0;
    Tags.SetText("TITLE", "Fuzz title");
    Tags.SetText("TRACKNUMBER", "7");
    if (Tags.SaveToStream(S, Size % 2 == 0, ttAutomatic) != 0) return 0;
    TTags Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S, false) == 0, "saved stream does not load");
    return 0;
}
