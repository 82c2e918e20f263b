// Loads an ID3v1 tag, changes it, writes it into a copy of the input and
// loads the copy again: the write must load back with the new title and must
// not touch the bytes in front of the old tag and Lyrics3 block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
    TID3v1Tag Tag;
    if (Tag.LoadFromStream(S) != 0) return 0;
    const int64_t Kept = (int64_t)Size - (Size <= 128 ? (int64_t)Size : 128) - Tag.LyricsSize();
    Tag.Title = "Fuzz \xC3\xA9 title beyond thirty bytes of text";
    Tag.Track = 42;
    Tag.Comment = "Fuzz";  // a 29- or 30-byte comment would leave no room for the track
    const bool Lyrics = !Tag.LyricsFrames.empty();
    const int Result = Tag.SaveToStream(S, Lyrics);
    if (Result != 0) {
        FUZZ_REQUIRE(S.Data() == std::vector<uint8_t>(Data, Data + Size), "failed save changed the stream");
        return 0;
    }
    FUZZ_REQUIRE(Kept >= 0 && (int64_t)S.Data().size() >= Kept, "save cut into the audio");
    FUZZ_REQUIRE(std::equal(Data, Data + Kept, S.Data().begin()), "save changed bytes in front of the tag");
    TID3v1Tag Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S) == 0, "saved tag does not load");
    FUZZ_REQUIRE(Again.Track == 42, "saved track lost");
    FUZZ_REQUIRE(Again.Title.rfind("Fuzz \xC3\xA9", 0) == 0, "saved title lost");
    return 0;
}
