// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/wma_wav/wma_tag.h"

void TTags::LoadWMATags() {}
void TTags::PrepareWMATag() {}
int TTags::SaveWMATag(const std::string& FileName) {
    PrepareWMATag();
    return FWMATag->SaveToFile(FileName);
}
bool TTags::LoadWMACoverArts(TWMATag&) { return false; }
void TTags::DeleteNativeWMA(const TTag&) {}
