// Pieces shared by the ID3v2 reader, the frame accessors and the writer.
// Not part of the library's surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/byte_io.h"
#include "tags/riff/riff_chunks.h"
#include "tags/stream.h"
#include "tags/id3/id3v2_tag.h"

namespace id3v2 {

// --- field codecs (id3v2_frames.cpp) ---
// Reads a terminated string in the given encoding byte (0..3); a string ends at
// its terminator or at the end of the body. For UTF-16 with mark, BigEndian
// carries the byte order from one string to the next.
std::string ReadString(TByteReader& R, uint8_t Encoding, bool& BigEndian);
// Encoding byte of a body; a leading byte above 3 is not one (the reader stays put, 0).
uint8_t ReadEncoding(TByteReader& R);
uint8_t EncodingByte(TID3v2TextEncoding Encoding);
// Text in the encoding, terminator included. WithMark adds FF FE for teUnicode.
void WriteString(TByteWriter& W, const std::string& Text, TID3v2TextEncoding Encoding, bool WithMark,
                 bool Terminate = true);
std::vector<uint8_t> BuildPictureBody(TID3v2TextEncoding Encoding, const std::string& MIMEType, uint8_t PictureType,
                                      const std::string& Description, const uint8_t* Picture, size_t PictureSize);

// --- chapters (id3v2_frames.cpp) ---
void ParseChapterFrame(TID3v2Frame& Frame, int MajorVersion, int Depth);
std::vector<uint8_t> BuildChapterBody(const TID3v2Frame& Frame, int MajorVersion);

// --- frame lists (id3v2_tag.cpp) ---
// Reads frames of the given version from R into List until padding, the end or
// a damaged frame. TagUnsynchronised marks every frame's body as unsynchronised
// on its own (the 2.4 tag flag; 2.3 tags of writers that did it per frame).
// Returns false when a frame claimed more bytes than remain.
bool ReadFrames(TByteReader& R, TID3v2Frames& List, int MajorVersion, bool TagUnsynchronised, int Depth);
// Header, extras and body of every writable frame, in list order.
void WriteFrames(TByteWriter& W, const TID3v2Frames& List, int MajorVersion);
uint32_t FramesSize(const TID3v2Frames& List, int MajorVersion);

// Drops every 0x00 that follows 0xFF.
std::vector<uint8_t> RemoveUnsync(const std::vector<uint8_t>& Data);
// Inserts 0x00 after every 0xFF followed by 0x00 or a byte of 0xE0 and above
// (the bytes that could be read as a frame sync), and after a final 0xFF.
std::vector<uint8_t> ApplyUnsync(const std::vector<uint8_t>& Data);

// --- containers (id3v2_tag.cpp) ---
// Where the tag of a file sits, as found by the chunk walk.
struct TContainerLayout {
    TSourceFileType Type = sftUnknown;
    riff::TFormHeader Form;  // the container's header as probed
    bool Sound = true;       // every chunk lies inside the stream
    bool RF64WithoutWave = false;
    // RIFF / FORM / FRM8 size field and what it says.
    uint64_t FormSize = 0;
    int64_t FormEnd = 0;   // end of the form's data, clamped to the stream
    bool HasDS64 = false;  // RF64: the form size lives in ds64 (offset 20)
    // The tag chunk (WAV, RF64, AIFF, DFF): header offset and data size.
    int64_t ChunkPos = -1;
    uint64_t ChunkSize = 0;
    int64_t ChunkHeaderSize = 8;  // 12 for DFF
    // Bytes of the filler chunks ("JUNK", ...) that directly follow the tag
    // chunk: room the tag may grow into (WAVE, RF64, AIFF).
    int64_t FillerAfterChunk = 0;
    // Where the tag starts (chunk data or DSF metadata pointer); -1 when none.
    int64_t TagPos = -1;
    // DSF: stored total size and metadata pointer.
    uint64_t DSFTotalSize = 0;
    uint64_t DSFMetadataPointer = 0;
};
// Recognises the container at position 0 of Stream and walks its chunks.
TContainerLayout ProbeContainer(TStream& Stream);
// Tag size (stored size + 10) of a tag starting at Pos, 0 when there is none.
uint32_t TagSizeAt(TStream& Stream, int64_t Pos);

}  // namespace id3v2
