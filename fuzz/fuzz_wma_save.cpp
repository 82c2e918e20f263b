// Loads the WMA attributes, changes them and writes them into a copy of the
// input: a save either fails leaving the bytes as they were, or loads back
// with the new values and every byte after the header unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/asf/asf_header.h"
#include "tags/asf/wma_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
    asf::TAsfEditor Probe;
    if (Probe.OpenStream(S) != 0) return 0;
    const uint64_t HeaderSize = Probe.HeaderSize();
    TWMATag Tag;
    if (Tag.LoadFromStream(S) != 0) return 0;
    Tag.SetText("Title", "Fuzz \xC3\xA9 title");
    Tag.SetInteger("WM/SharedUserRating", WMT_TYPE_DWORD, 50);
    Tag.AddCoverArtFrame(std::vector<uint8_t>(70000, 0x5A), "image/png", "big", 3);
    const int Result = Tag.SaveToStream(S);
    if (Result != 0) {
        FUZZ_REQUIRE(S.Data() == std::vector<uint8_t>(Data, Data + Size), "failed save changed the stream");
        return 0;
    }
    TWMATag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S) == 0, "saved file does not load");
    FUZZ_REQUIRE(Again.GetText("Title") == "Fuzz \xC3\xA9 title", "saved title lost");
    FUZZ_REQUIRE(Again.GetInteger("WM/SharedUserRating") == 50, "saved rating lost");
    FUZZ_REQUIRE(Again.CoverArtCount() == Tag.CoverArtCount(), "pictures lost");
    asf::TAsfEditor After;
    FUZZ_REQUIRE(After.OpenStream(S) == 0, "saved header does not open");
    const size_t Rest = Size - HeaderSize;
    FUZZ_REQUIRE(S.Data().size() == After.HeaderSize() + Rest, "size after the header changed");
    FUZZ_REQUIRE(std::equal(Data + HeaderSize, Data + Size, S.Data().begin() + (ptrdiff_t)After.HeaderSize()),
                 "bytes after the header changed");
    return 0;
}
