// MP4 item list (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TMP4Tag : public TNativeTagStub {
public:
    bool Assign(const TMP4Tag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
    int LoadFromStream(TStream& S, bool /*Buffered*/) { return TNativeTagStub::LoadFromStream(S); }
};
int RemoveMP4TagFromFile(const std::string& FileName);
