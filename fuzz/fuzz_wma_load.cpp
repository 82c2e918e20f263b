// Reads the attributes of an ASF header from any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/asf/wma_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TWMATag Tag;
    const int Result = Tag.LoadFromStream(S);
    FUZZ_REQUIRE(Result == 0 || Result == 4 || Result == 0xFFFF, "unexpected WMA load result");
    FUZZ_REQUIRE(Result == 0 || !Tag.Loaded, "failed load left the tag loaded");
    for (int i = 0; i < Tag.Count(); ++i) {
        (void)Tag.Frames[i]->GetText();
        std::vector<uint8_t> Picture;
        std::string Description, MIME;
        uint32_t Type;
        Tag.GetCoverArtFromFrame(i, Picture, Description, Type, MIME);
        FUZZ_REQUIRE(Picture.size() <= Size, "picture larger than the input");
    }
    return 0;
}
