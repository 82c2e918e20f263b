// Reads the RIFF WAVE / RF64 chunks (INFO, bext, cart, EVNT, format and
// data) from any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/wav/wav_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TWAVTag Tag;
    const int Result = Tag.LoadFromStream(S);
    FUZZ_REQUIRE(Result == 0 || Result == 9 || Result == 65535, "unexpected WAV load result");
    FUZZ_REQUIRE(Result == 0 || !Tag.Loaded, "failed load left the tag loaded");
    if (Result == 0) {
        FUZZ_REQUIRE(Tag.SampleDataStartPosition + Tag.SampleDataSize <= Size, "audio beyond the input");
        for (const auto& F : Tag.Frames) (void)F->GetText();
        (void)Tag.BEXT.GetUMID();
        (void)Tag.CART.GetPostTimer(7);
    }
    return 0;
}
