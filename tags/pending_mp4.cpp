// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/mp4/mp4_tag.h"

void TTags::LoadMP4Tags() {}
void TTags::PrepareMP4Tag() {}
int TTags::SaveMP4Tag(const std::string& FileName, bool, TStream* Stream) {
    PrepareMP4Tag();
    return Stream ? FMP4Tag->SaveToStream(*Stream) : FMP4Tag->SaveToFile(FileName);
}
bool TTags::LoadMP4CoverArts(TMP4Tag&) { return false; }
void TTags::DeleteNativeMP4(const TTag&) {}
int RemoveMP4TagFromFile(const std::string&) { return 65535; }
