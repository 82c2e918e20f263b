// Reads an APE tag (behind an optional Lyrics3 block and ID3v1 block) from
// any bytes, and every item's text, list and picture.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/ape/apev2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TAPEv2Tag Tag;
    const int Result = Tag.LoadFromStream(S);
    FUZZ_REQUIRE(Result == 0 || Result == 1 || Result == 7 || Result == 8 || Result == 9, "unexpected APE load result");
    FUZZ_REQUIRE(Tag.Size() <= (int64_t)Size, "tag larger than the input");
    // Legacy-code-page text (version 1.0 values, keys) grows by at most three times as UTF-8.
    FUZZ_REQUIRE(Tag.CalculateTotalFramesSize() <= 3 * (int64_t)Size, "items larger than the input");
    for (int i = 0; i < Tag.Count(); ++i) {
        (void)Tag.Frame(i)->GetText();
        std::vector<std::string> List;
        Tag.Frame(i)->GetList(List);
        TAPEv2CoverArtInfo Info;
        if (Tag.GetCoverArtFromFrame(i, Info))
            FUZZ_REQUIRE(Info.Data.size() <= Tag.Frame(i)->Value.size(), "picture larger than its item");
    }
    // The container's mapping of the same bytes.
    TTags Tags;
    Tags.LoadFromMemory(Data, (int64_t)Size);
    return 0;
}
