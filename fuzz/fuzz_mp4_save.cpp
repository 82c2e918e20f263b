// Loads an MP4 item list, changes the title, writes it into a copy of the
// input and loads the copy again: a save reported as done must load back
// with the new title and every other item, and a refused save must leave
// the bytes as they were.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> Input(Data, Data + Size);
    TMemoryStream S(Input);
    TMP4Tag Tag;
    if (Tag.LoadFromStream(S, false) != 0) return 0;
    const int Items = Tag.Count() + (Tag.FindAtom(AtomName("©nam")) ? 0 : 1);
    Tag.SetText(AtomName("©nam"), Size % 2 ? "Fuzz title" : std::string(Size % 5000, 'x') + "!");
    const std::string Title = Tag.GetText(AtomName("©nam"));
    const int R = Tag.SaveToStream(S, Size % 3 == 0, Size % 7 != 0);
    if (R != 0) {
        FUZZ_REQUIRE(S.Data() == Input, "refused MP4 save changed the stream");
        return 0;
    }
    TMP4Tag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S, false) == 0, "saved MP4 tag does not load");
    FUZZ_REQUIRE(Again.GetText(AtomName("©nam")) == Title, "saved MP4 title differs");
    FUZZ_REQUIRE(Again.Count() == Items, "saved MP4 item count differs");
    return 0;
}
