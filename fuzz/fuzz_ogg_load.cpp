// Reads an Ogg Vorbis / Opus comment header with its play time, and what
// the container makes of it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tags/ogg/opus_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    TOpusTag Tag;
    Tag.ParsePlayTime = true;
    if (Tag.LoadFromStream(S) == 0) {
        for (int i = 0; i < Tag.Count(); ++i) {
            vorbis::TPictureInfo Info;
            std::vector<uint8_t> Picture;
            Tag.GetCoverArtFromFrame(i, Info, Picture);
            Tag.Frames[i].GetText();
        }
    }
    DetectOggStreamFormat(S, 0);
    TTags Tags;
    Tags.LoadFromMemory(Data, (int64_t)Size);
    return 0;
}
