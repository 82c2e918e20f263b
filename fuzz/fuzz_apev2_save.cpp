// Loads the container from any bytes, changes the APE tag through the
// unified entries and pictures, saves it into a copy of the input and loads
// the copy again: a failed save leaves every byte; a save keeps the bytes in
// front of the old tag and the Lyrics3 / ID3v1 blocks behind it, loads back
// with the new values, and saves of unchanged values write the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/byte_io.h"
#include "tags/ape/apev2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> Input(Data, Data + Size);
    TMemoryStream S(Input);
    TAPEv2Location Where;
    const int Located = LocateAPEv2Tag(S, Where);
    TTags Tags;
    if (Tags.LoadFromStream(S) != 0) return 0;
    Tags.SetText("TITLE", "Fuzz \xC3\xA9");
    Tags.Add("ARTIST")->Value = "One";
    Tags.Add("ARTIST")->Value = "Two";
    Tags.SetText("TRACKNUMBER", "7");
    const std::vector<uint8_t> Jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
    Tags.AddCoverArt("Cover art 9", Jpeg, "image/jpeg")->CoverType = 4;

    const int Result = Tags.SaveToStream(S, true, ttAPEv2);
    if (Result != 0) {
        FUZZ_REQUIRE(S.Data() == Input, "failed save changed the stream");
        return 0;
    }
    FUZZ_REQUIRE(Located == 0, "saved over a footer that did not check out");
    const std::vector<uint8_t>& Out = S.Data();
    const int64_t Kept = (int64_t)Size - Where.KeptStart;
    FUZZ_REQUIRE((int64_t)Out.size() >= Where.TagStart + Kept, "save cut the stream");
    FUZZ_REQUIRE(std::equal(Input.begin(), Input.begin() + Where.TagStart, Out.begin()),
                 "save changed bytes in front of the tag");
    FUZZ_REQUIRE(std::equal(Input.end() - Kept, Input.end(), Out.end() - Kept),
                 "save changed the blocks behind the tag");

    TTags Again;
    FUZZ_REQUIRE(Again.LoadFromStream(S) == 0 && Again.APEv2Tag().Loaded, "saved tag does not load");
    bool Title = false, Binary = false;
    for (const auto& F : Again.APEv2Tag().Frames) {
        if (!text::SameText(F->Name, "TITLE")) continue;
        // The value set first; a second title entry of another tag may follow it.
        Title = Title || (F->Format == ffText && !F->GetValues().empty() && F->GetValues()[0] == "Fuzz \xC3\xA9");
        Binary = Binary || F->Format != ffText;  // a binary item of that key is not turned into text
    }
    FUZZ_REQUIRE(Title || Binary, "saved title lost");
    FUZZ_REQUIRE(Again.APEv2Tag().FrameTypeCount("ARTIST") == 1, "a key written twice");
    FUZZ_REQUIRE(Again.APEv2Tag().FrameExists("Cover Art (Back)") >= 0, "picture lost");

    // An ID3v2 tag that claims bytes beyond where the APE tag now stands
    // reads the APE tag as part of itself, so its values change with every
    // save; such files are left out of the comparison below.
    if (Size >= 10 && std::memcmp(Data, "ID3", 3) == 0 && 10 + (int64_t)DecodeSyncSafe(Data + 6) > Where.TagStart)
        return 0;
    // Likewise a chunk of a RIFF, AIFF, DSF or DSDIFF container that claims
    // bytes past the end of the input; these containers keep their tags in
    // chunks, and an APE tag behind them is no tag of theirs.
    TReadMemoryStream Original(Data, (int64_t)Size);
    switch (DetectAudioFormatOfStream(Original)) {
        case audioformat::Wave:
        case audioformat::RF64:
        case audioformat::AIFF:
        case audioformat::AIFC:
        case audioformat::DSDIFF:
        case audioformat::DSF: return 0;
        default: break;
    }
    // Loading and saving again may settle values other tags of the file
    // hold differently (an ID3v2 value beats the APE one when merged), but
    // from then on a save writes the same bytes: nothing multiplies.
    FUZZ_REQUIRE(Again.SaveToStream(S, true, ttAPEv2) == 0, "second save failed");
    const std::vector<uint8_t> Second = S.Data();
    TTags Third;
    FUZZ_REQUIRE(Third.LoadFromStream(S) == 0, "second save does not load");
    FUZZ_REQUIRE(Third.SaveToStream(S, true, ttAPEv2) == 0, "third save failed");
    FUZZ_REQUIRE(S.Data() == Second, "a save of unchanged values changed the bytes");
    return 0;
}
