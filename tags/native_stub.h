// Placeholder base for native tag kinds whose reader and writer are not
// built yet: it holds nothing, never loads, and its writer reports that it
// cannot write (native code 65535), so the container reports the failure
// honestly instead of claiming success.
#pragma once

#include <cstdint>
#include <string>

#include "tags/stream.h"

class TNativeTagStub {
public:
    bool Loaded = false;
    std::string SourceFileName;
    void Clear() {
        Loaded = false;
        SourceFileName.clear();
    }
    int64_t Size() const { return 0; }
    int LoadFromFile(const std::string&) {
        Clear();
        return 65535;
    }
    int LoadFromStream(TStream&) {
        Clear();
        return 65535;
    }
    int SaveToFile(const std::string&) { return 65535; }
    int SaveToStream(TStream&) { return 65535; }
};
