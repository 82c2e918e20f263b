// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/wma_wav/wav_tag.h"

void TTags::LoadWAVTags() {}
void TTags::PrepareWAVTag() {}
int TTags::SaveWAVTag(const std::string& FileName, TStream* Stream) {
    PrepareWAVTag();
    return Stream ? FWAVTag->SaveToStream(*Stream) : FWAVTag->SaveToFile(FileName);
}
void TTags::DeleteNativeWAV(const TTag&) {}
int RemoveWAVTagFromFile(const std::string&) { return 65535; }
