// Loads FLAC metadata, changes the title and a picture, writes into a copy
// of the input and loads it again: the write must load back with the new
// title, must keep native FLAC audio behind the metadata byte for byte (Ogg
// FLAC audio pages may get new numbers), and a failed write must leave the
// bytes as they were.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/flac/flac_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> Input(Data, Data + Size);
    TMemoryStream S(Input);
    TFlacTag Tag;
    const int Loaded = Tag.LoadFromStream(S, true);
    if (Loaded != flacresult::Success && Loaded != flacresult::NoTag) return 0;
    const int64_t Audio = Tag.StreamType == fstNativeFlac ? Tag.AudioSize() : 0;
    Tag.SetText("TITLE", "Fuzz \xC3\xA9 title");
    Tag.Padding = TPaddingOption::Exactly(Size % 3 == 0 ? 0 : 64);
    if (Size % 2) Tag.AddCoverArt({3, "image/png", "d", 1, 1, 24, 0}, std::vector<uint8_t>{0x89, 'P', 'N', 'G'});
    const int Result = Tag.SaveToStream(S, Size % 4 == 0);
    if (Result != flacresult::Success) {
        FUZZ_REQUIRE(S.Data() == Input, "failed save changed the stream");
        return 0;
    }
    const std::vector<uint8_t>& Out = S.Data();
    FUZZ_REQUIRE(Audio >= 0 && (int64_t)Out.size() >= Audio, "save cut into the audio");
    FUZZ_REQUIRE(std::equal(Input.end() - Audio, Input.end(), Out.end() - Audio), "save changed the audio");
    TFlacTag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S, false) == flacresult::Success, "saved metadata does not load");
    FUZZ_REQUIRE(Again.GetText("TITLE") == "Fuzz \xC3\xA9 title", "saved title lost");
    return 0;
}
