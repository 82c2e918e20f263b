// Loads an Ogg comment header, changes the title, writes into a copy of the
// input and loads it again: the write must load back with the new title and
// every header packet but the comment; a failed write must leave the bytes
// as they were.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/ogg/opus_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> Input(Data, Data + Size);
    TMemoryStream S(Input);
    TOpusTag Tag;
    if (Tag.LoadFromStream(S) != oggresult::Success) return 0;
    const TOggFormat Format = Tag.Format;
    Tag.SetText("TITLE", Size % 2 ? "Fuzz" : std::string(300 + Size % 700, 't'));
    if (Size % 3 != 0) Tag.Padding = TPaddingOption::Exactly(0);
    const int Result = Tag.SaveToStream(S);
    if (Result != oggresult::Success) {
        FUZZ_REQUIRE(S.Data() == Input, "failed save changed the stream");
        return 0;
    }
    TOpusTag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S) == oggresult::Success, "saved header does not load");
    FUZZ_REQUIRE(Again.Format == Format, "saved stream changed its kind");
    FUZZ_REQUIRE(Again.GetText("TITLE") == Tag.GetText("TITLE"), "saved title lost");
    return 0;
}
