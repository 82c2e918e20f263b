// APEv2 tag (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TAPEv2Tag : public TNativeTagStub {
public:
    bool Assign(const TAPEv2Tag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
};
int RemoveAPEv2FromFile(const std::string& FileName);
