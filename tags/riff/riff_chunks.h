// Chunked containers: RIFF WAVE, RF64, AIFF/AIFC, DSF and DSDIFF.
//
// ProbeForm reads the header of the container at the start of a stream and
// says what it is, where its size field lives and where its chunks begin.
// TChunkWalker then steps over the chunks one by one. Every declared size is
// checked against what remains of the stream: a chunk whose size runs past
// the end is reported (Overruns) and never skipped by, and the walk stops
// after it. The walker holds no bytes; a caller reads what it needs with
// ReadAt, which returns a bounds-checked reader over bytes it owns.
//
// Layouts (sizes count the data after the chunk header unless said):
//   RIFF  "RIFF" size:u32le "WAVE" { id:4 size:u32le data [pad to even] }
//   RF64  "RF64" 0xFFFFFFFF "WAVE" "ds64" size:u32le riff:u64le data:u64le
//         sampleCount:u64le ...; a chunk size of 0xFFFFFFFF on "data" means
//         the ds64 data size
//   AIFF  "FORM" size:u32be "AIFF"|"AIFC" { id:4 size:u32be data [pad] }
//   DSF   { id:4 size:u64le (including its 12-byte header) data }, the first
//         being "DSD " size totalFileSize:u64le metadataPointer:u64le
//   DSDIFF "FRM8" size:u64be "DSD " { id:4 size:u64be data [pad] }
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tags/byte_io.h"
#include "tags/stream.h"

namespace riff {

// A walk ends after this many chunks (a hostile file could hold millions
// of empty ones).
inline constexpr int MaxChunks = 65536;

enum class TFormKind { None, RIFF, RF64, AIFF, DSF, DSDIFF };

struct TFormHeader {
    TFormKind Kind = TFormKind::None;
    std::string FormType;             // "WAVE", "AIFF", "AIFC", "DSD "; empty when none
    bool BigEndian = false;           // AIFF and DSDIFF
    bool PadOdd = true;               // odd chunk sizes are followed by a pad byte (not DSF)
    bool SizeIncludesHeader = false;  // DSF chunk sizes count their own header
    int64_t ChunkHeaderSize = 8;      // 12 for DSF and DSDIFF
    // The declared size of the whole form: the bytes after the size field
    // (RIFF, RF64's ds64 value, AIFF, DSDIFF) or the whole file (DSF).
    uint64_t FormSize = 0;
    int64_t SizeFieldPos = 4;    // where FormSize is stored (RF64 ds64: 20; DSF: 12)
    int64_t SizeFieldWidth = 4;  // bytes: 4, or 8 for RF64 ds64, DSF and DSDIFF
    int64_t HeaderSize = 8;      // what FormSize does not count (12 for DSDIFF)
    int64_t FirstChunk = 12;     // where the first chunk after the form header starts
    // The end of the form's data: the declared size when it is plausible,
    // else the end of the stream; never past the stream.
    int64_t FormEnd = 0;
    // RF64: a ds64 chunk was found; its data size stands for a "data" chunk
    // whose size field is 0xFFFFFFFF.
    bool HasDS64 = false;
    uint64_t DS64DataSize = 0;
    bool RF64WithoutWave = false;  // "RF64" whose form type is not "WAVE"
    // DSF: the metadata pointer of the "DSD " chunk (0 when none).
    uint64_t DSFMetadataPointer = 0;
};

// Recognises the container at position 0 of Stream. Kind None when it is
// none of the five.
TFormHeader ProbeForm(TStream& Stream);

struct TChunk {
    std::string ID;   // four bytes as stored
    int64_t Pos = 0;  // where the chunk header starts
    int64_t HeaderSize = 8;
    uint64_t Size = 0;  // data bytes, as declared (RF64 "data": from ds64)
    // The declared size runs past the end of the stream.
    bool Overruns = false;
    // Bytes after the data that pad it to an even length (0 or 1); counted
    // only where the stream holds them.
    int64_t Pad = 0;

    int64_t DataPos() const { return Pos + HeaderSize; }
    // Header, data and pad byte as far as the stream holds them.
    int64_t Span() const;
    int64_t End() const { return Pos + Span(); }
    bool Is(const char* FourCC) const { return ID.size() == 4 && ID.compare(0, 4, FourCC, 4) == 0; }
    // Four printable ASCII characters: what a real chunk ID is made of.
    bool PlausibleID() const;
    // The stream length this chunk was read from, for Span's clamping.
    int64_t StreamSize = 0;
};

// Steps over the chunks of a form from Start up to Limit (both byte
// positions; Limit is clamped to the stream). Each call to Next reads one
// chunk header at Position() and moves Position() past the chunk. The walk
// ends when fewer than a header's bytes remain before Limit, after a chunk
// that Overruns (it is still returned, so the caller sees it), or after
// MaxChunks chunks.
class TChunkWalker {
public:
    TChunkWalker(TStream& Stream, const TFormHeader& Form, int64_t Start, int64_t Limit);
    bool Next(TChunk& Chunk);
    int64_t Position() const { return FPos; }
    // The last chunk returned ran past the end of the stream.
    bool Overran() const { return FOverran; }
    // Walks on past Limit, up to the end of the stream (for chunks appended
    // after a form whose declared size falls short).
    void ExtendToEnd() { FLimit = FStream.Size(); }

private:
    TStream& FStream;
    const TFormHeader& FForm;
    int64_t FPos;
    int64_t FLimit;
    int FCount = 0;
    bool FOverran = false;
};

// The walk of a whole form from its first chunk, with the one rule every
// reader of the five containers follows for chunks past the declared end.
//
// Inside the declared form every chunk whose header fits before the declared
// end counts, whatever its ID, even when its data reaches past that end. A
// chunk there that runs past the end of the stream is returned (Overruns)
// and ends the walk: the file is cut short.
//
// Then the walk goes on to the end of the stream, over whole chunks with a
// printable ID only: those of writers that forgot to grow the form's size,
// and tag chunks appended after the form. It stops at the first chunk that
// is not (an ID3v1 tag, trailing bytes, a size running past the stream).
//
// Where the form ends: when the declared end falls on a chunk boundary, the
// form ends there and the chunks walked after it were appended; otherwise
// the declared size is wrong and the form ends after the last chunk walked
// (End()). Callers decide what an appended chunk is to them: the ID3 chunk
// probe only looks among them for a tag chunk, the WAVE reader takes them
// for its own.
class TFormWalk {
public:
    TFormWalk(TStream& Stream, const TFormHeader& Form);
    bool Next(TChunk& Chunk);
    // The chunk last returned lies past the declared end.
    bool PastDeclaredEnd() const { return FPast; }
    // The chunks inside the declared form ended exactly at the declared end
    // (known once PastDeclaredEnd()).
    bool EndsOnBoundary() const { return FBoundary; }
    // The end of the chunks walked so far: after the walk inside the declared
    // form, the position it stopped at; after each chunk past it, its end.
    int64_t End() const { return FEnd; }

private:
    TChunkWalker FWalker;
    int64_t FFormEnd;
    int64_t FEnd;
    bool FPast = false;
    bool FBoundary = false;
    bool FStopped = false;
};

// The bytes of a chunk header: ID, size in the form's byte order and width.
// Data is appended, followed by a pad byte when the form pads odd sizes.
std::vector<uint8_t> BuildChunk(const TFormHeader& Form, const char* ID, const std::vector<uint8_t>& Data);

// A chunk that holds nothing but room: "JUNK" (also "junk"), "PAD " or
// "FLLR". Writers take the room of such chunks that follow a tag chunk for
// that chunk when it grows, and leave one behind a tag chunk they write.
bool IsFillerID(std::string_view ID);
inline constexpr const char* FillerID = "JUNK";

// The form's size field holding Size, in its byte order and width (to be
// written at Form.SizeFieldPos); false when Size does not fit the field.
bool EncodeFormSize(const TFormHeader& Form, uint64_t Size, std::vector<uint8_t>& Field);

}  // namespace riff

// A bounds-checked reader over bytes read from a stream, which it owns.
// It offers the reading members of TByteReader; it is not one, so that a
// copy of the reader alone cannot outlive the bytes.
class TStreamBytes : private TByteReader {
public:
    TStreamBytes() = default;
    explicit TStreamBytes(std::vector<uint8_t> Bytes);
    TStreamBytes(const TStreamBytes&) = delete;
    TStreamBytes& operator=(const TStreamBytes&) = delete;
    TStreamBytes(TStreamBytes&&) noexcept;
    TStreamBytes& operator=(TStreamBytes&&) noexcept;

    using TByteReader::atEnd;
    using TByteReader::bytes;
    using TByteReader::current;
    using TByteReader::data;
    using TByteReader::has;
    using TByteReader::position;
    using TByteReader::remaining;
    using TByteReader::rest;
    using TByteReader::seek;
    using TByteReader::size;
    using TByteReader::skip;
    using TByteReader::startsWith;
    using TByteReader::str;
    using TByteReader::strz;
    using TByteReader::sub;
    using TByteReader::syncsafe32;
    using TByteReader::u16be;
    using TByteReader::u16le;
    using TByteReader::u24be;
    using TByteReader::u32be;
    using TByteReader::u32le;
    using TByteReader::u64be;
    using TByteReader::u64le;
    using TByteReader::u8;
    using TByteReader::vec;

    const std::vector<uint8_t>& Bytes() const { return FBytes; }

private:
    std::vector<uint8_t> FBytes;
};

// Reads up to Count bytes at Pos (fewer at the end of the stream, none when
// Pos lies outside it); Count is checked against what remains before
// anything is allocated. Reading past what was read throws ETagFormat.
// The stream is left after the bytes read.
TStreamBytes ReadAt(TStream& Stream, int64_t Pos, int64_t Count);
