// Reads the ID3v1 block and the Lyrics3 block in front of it from any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TID3v1Tag Tag;
    const int Result = Tag.LoadFromStream(S);
    FUZZ_REQUIRE(Result == 0 || Result == 65535 || Result == 4, "unexpected ID3v1 load result");
    FUZZ_REQUIRE(Result == 0 || !Tag.Loaded, "failed load left the tag loaded");
    if (Result == 0) {
        FUZZ_REQUIRE(Tag.LyricsSize() <= Size, "Lyrics3 block larger than the input");
        (void)Tag.GetLyrics();
    }
    return 0;
}
