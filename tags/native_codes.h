// What a format module says about its native library's result codes: the
// situation of the library's error model each code names, and the number the
// container returns for it.
//
// Internal to the tag library.
#pragma once

#include "tags/tag_error.h"

struct TNativeError {
    int Code;
    TTagError Error;
};

// The container's numbers for native codes 1..12, in order; 0: no number of
// its own (the container's Failure).
using TContainerCodes = int[12];
