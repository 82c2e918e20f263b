// WAV chunks (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TWAVTag : public TNativeTagStub {
public:
    bool Assign(const TWAVTag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
};
int RemoveWAVTagFromFile(const std::string& FileName);
