// The one way the tag library changes a file: a region replaced by new bytes,
// plus small fields patched in front of it (container sizes, pointers).
//
// An edit whose region keeps its length is written in place. Any other is
// written to a new file beside the original — built without a name where the
// file system allows it, named "<file><TempSuffix>" (or a numbered variant
// when that name is taken) exclusively only once it is complete and flushed —
// and renamed over the original. A full disk, a
// vanished file or a killed process therefore leaves either the old file or
// the new one whole, and no stray temporary file. A symbolic link is followed,
// so the file it points to changes and the link stays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream;

struct TFilePatch {
    int64_t At;
    std::vector<uint8_t> Bytes;
};

struct TFileEdit {
    int64_t Pos = 0;
    int64_t OldLen = 0;
    std::vector<uint8_t> Bytes;
    std::vector<TFilePatch> Patches;   // positions in the edited file: before Pos or behind the new bytes
    int64_t Delta() const { return (int64_t)Bytes.size() - OldLen; }
};

enum class TEditResult {
    Success,
    OpenFailed,    // the file could not be opened
    BadRange,      // the region lies outside the file
    WriteFailed,   // writing, flushing or renaming failed; the original is unchanged
};

TEditResult ApplyEditToFile(const std::string& FileName, const TFileEdit& Edit, const std::string& TempSuffix = ".tmp");
// The same on a stream, in place: the bytes from the region to the end (or
// the region alone when its length stays) and the patched fields are held in
// memory while the region changes, and are written back when any write
// fails, so that the stream reads as before. Flush pushes the stream to the
// disk once the edit is complete; a caller that makes several edits to one
// stream flushes after the last.
TEditResult ApplyEditToStream(TStream& Stream, const TFileEdit& Edit, bool Flush = true);
// ApplyEditToStream on the file opened for writing: meant for edits near the
// end of a file (the tags that follow the audio), where moving the bytes in
// place costs less than a rewrite. A killed process can leave the region
// half-written; the bytes before the region are never written.
TEditResult ApplyEditInPlace(const std::string& FileName, const TFileEdit& Edit, bool Flush = true);
