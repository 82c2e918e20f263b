// FLAC metadata blocks (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TFlacTag : public TNativeTagStub {
public:
    bool Assign(const TFlacTag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
    int LoadFromStream(TStream& S, bool /*Buffered*/) { return TNativeTagStub::LoadFromStream(S); }
};
int RemoveFlacTagFromFile(const std::string& FileName);
