// Carrying a user's edits over to a file another program changed meanwhile.
//
// The model keeps each file's record as it was read (Base) beside the record
// the user edits. When the file on disk no longer is what was read, it is
// read again (Current) and the save writes Current with the user's edits on
// top: what the user changed is what differs between the edited record and
// Base, field by field, entry name by entry name and picture by picture, so a
// field the user did not touch keeps the other program's value.
#pragma once

#include "app/core/audio_tag.h"

namespace recordmerge {

// Current with every edit that leads from Base to Edited applied on top: the
// sixteen fields and the cover that differ from Base, and the entry groups
// (see recordentries::SameGroup) and pictures (by name) that differ from
// Base's. The result names Edited's file and carries Current's stamp.
TAudioTag ApplyEdits(const TAudioTag& Base, const TAudioTag& Edited, const TAudioTag& Current);

}  // namespace recordmerge
