// The native tag kinds of the container, one row each: the kind, the native
// library whose result codes it speaks, its bit in DefaultTagKindsForExtension
// and its name on the command line. The rows come in the order in which a
// save writes the kinds. The rows themselves, with the native object and the
// format module of each kind, live in tags/native_formats.h.
#pragma once

#include <span>
#include <string>

#include "tags/tag_types.h"

struct TTagFormat {
    TTagType Kind;
    TNativeLibrary Library;
    int KindBit;
    const char* CliName;  // "apev2", "flac", ...
};

// Every kind, in save order.
std::span<const TTagFormat> TagFormats();
// The row of Kind (ttLyrics2 is written by the ID3v1 kind), nullptr when none.
const TTagFormat* FindTagFormat(TTagType Kind);
const TTagFormat* FindTagFormat(const std::string& CliName);
// The native library whose result codes Kind's writer returns.
TNativeLibrary LibraryOf(TTagType Kind);
// Whether the library has a reader and writer for the kind (rather than a
// placeholder that holds nothing and refuses to write).
bool TagFormatBuilt(TTagType Kind);
