// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/flac_ogg/flac_tag.h"

void TTags::LoadFlacTags() {}
void TTags::PrepareFlacTag() {}
int TTags::SaveFlacTag(const std::string& FileName, bool, TStream* Stream) {
    PrepareFlacTag();
    return Stream ? FFlacTag->SaveToStream(*Stream) : FFlacTag->SaveToFile(FileName);
}
bool TTags::LoadFlacCoverArts(TFlacTag&) { return false; }
void TTags::DeleteNativeFlac(const TTag&) {}
int RemoveFlacTagFromFile(const std::string&) { return 65535; }
