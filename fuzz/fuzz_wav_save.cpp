// Loads the WAV chunks, changes them and writes them into a copy of the
// input: a save either fails leaving the bytes as they were, or loads back
// with the new values and the audio bytes unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/wav/wav_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
    TWAVTag Tag;
    if (Tag.LoadFromStream(S) != 0) return 0;
    const uint64_t AudioSize = Tag.SampleDataSize;
    const std::vector<uint8_t> Audio(Data + Tag.SampleDataStartPosition,
                                     Data + Tag.SampleDataStartPosition + AudioSize);
    Tag.SetText("INAM", "Fuzz \xC3\xA9 title");
    Tag.BEXT.SetField("Description", "Fuzz");
    Tag.BEXT.SetTimeReference(0x123456789ull);
    const int Result = Tag.SaveToStream(S);
    if (Result != 0) {
        FUZZ_REQUIRE(S.Data() == std::vector<uint8_t>(Data, Data + Size), "failed save changed the stream");
        return 0;
    }
    TWAVTag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S) == 0, "saved file does not load");
    FUZZ_REQUIRE(Again.GetText("INAM") == "Fuzz \xC3\xA9 title", "saved title lost");
    FUZZ_REQUIRE(Again.BEXT.TimeReference() == 0x123456789ull, "saved time reference lost");
    FUZZ_REQUIRE(Again.SampleDataSize == AudioSize, "audio size changed");
    FUZZ_REQUIRE(std::equal(Audio.begin(), Audio.end(), S.Data().begin() + (ptrdiff_t)Again.SampleDataStartPosition),
                 "audio bytes changed");
    return 0;
}
