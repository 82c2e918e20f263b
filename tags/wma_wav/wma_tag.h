// WMA attributes (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TWMATag : public TNativeTagStub {
public:
    bool Assign(const TWMATag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
};
