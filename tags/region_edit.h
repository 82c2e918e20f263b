// Turning "these metadata bytes replace those" into the shared file edit,
// for the FLAC and Ogg writers: only the bytes that differ are written, and
// a save that changes nothing does not touch the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/file_edit.h"

class TStream;

namespace regionedit {

// The edit replacing OldBytes (found at Base) by NewBytes, narrowed to the
// part between their common start and common end.
TFileEdit Narrowed(int64_t Base, const std::vector<uint8_t>& OldBytes, const std::vector<uint8_t>& NewBytes);
// A same-length edit narrowed to the bytes that differ from what Stream
// holds in its region, its patches kept, so that a tag written in place
// does not write its unchanged padding again; an edit that changes the
// length, or whose region cannot be read, is returned as it is.
TFileEdit NarrowedInPlace(TStream& Stream, TFileEdit Edit);
// Whether the edit changes nothing.
bool Empty(const TFileEdit& Edit);
// Applies the edit to Stream when given, else to the file (a rewrite goes
// through "<file>~"). An empty edit succeeds without writing.
TEditResult Apply(TStream* Stream, const std::string& FileName, const TFileEdit& Edit);

}  // namespace regionedit
