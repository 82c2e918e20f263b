// Reads an MP4 item list, the Xtra box and the track properties, then asks
// every typed accessor for its value.
#include <cstddef>
#include <cstdint>

#include "tags/mp4/mp4_tag.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TMP4Tag Tag;
    Tag.ParseCoverArts = Size % 3 != 0;
    if (Tag.LoadFromStream(S, Size % 2 == 0) != 0) return 0;
    (void)Tag.GetTrack();
    (void)Tag.GetDisc();
    (void)Tag.GetGenre();
    (void)Tag.GetMediaType();
    (void)Tag.GetPurchaseCountry();
    (void)Tag.GetTextXtra("WM/Category", true);
    for (const auto& A : Tag.Atoms) {
        (void)A.NameText();
        for (int I = 0; I < A.Count(); ++I) (void)A.DataText(I);
    }
    for (const auto& X : Tag.Xtras) (void)Tag.GetTextXtra(X.Name, true);
    return 0;
}
