// The atom walk shared by the MP4 reader and writer, and the chunk-offset
// fix-up that follows media data moved by a save.
//
// Atom layout: 32-bit big-endian size (counting the header), 4-byte type;
// size 1: a 64-bit size follows (16-byte header); size 0: the atom runs to
// the end of its parent. A size below the header or past the parent's end is
// corrupt and raises ETagFormat, which the reader's and writer's scopes catch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tags/mp4/mp4_tag.h"

class TStream;

struct TAtomSpan {
    TAtomName Type{};
    uint64_t Pos = 0;   // of the header
    uint64_t Size = 0;  // whole atom
    uint32_t Header = 8;
    bool Truncated = false;  // top level only: the atom claims more than the file holds
    uint64_t BodyPos() const { return Pos + Header; }
    uint64_t BodySize() const { return Size - Header; }
    uint64_t End() const { return Pos + Size; }
    bool Is(std::string_view Name) const;
};

// The children of Data[Begin, End). Throws ETagFormat on a corrupt header or
// more than mp4limit::MaxChildren children.
std::vector<TAtomSpan> ChildAtoms(const uint8_t* Data, size_t Begin, size_t End);
// The first child of that type, or nullptr.
const TAtomSpan* FindChild(const std::vector<TAtomSpan>& Children, std::string_view Name);

// The top-level atoms of a stream, from Start. The walk ends at the end of
// the stream, at an atom that runs past it or whose size cannot be valid
// (marked Truncated, running to the end), or after MaxChildren atoms (ETagFormat).
std::vector<TAtomSpan> TopLevelAtoms(TStream& Stream, uint64_t Start = 0);

// A full box ("meta" in iTunes files) has 4 bytes of version and flags
// before its children; QuickTime writes "meta" without them. The offset of
// the first child within the body.
size_t MetaChildrenOffset(const uint8_t* Body, size_t BodySize);

// Where the tag lives. A moov may hold more than one udta (a camera's
// location box in one, a tagger's item list in another), and a udta more
// than one meta; the tag is the item list wherever it is. Children's
// positions are relative to Data. Corrupt children raise ETagFormat.
// The meta of a udta that holds the item list: the first meta with an ilst,
// else the first meta; nullptr when there is none.
const TAtomSpan* TagMeta(const uint8_t* Data, const std::vector<TAtomSpan>& UdtaChildren);
// The udta of a moov that holds the tag: the first whose meta holds an item
// list, else the first with a meta, else the first udta; nullptr when none.
const TAtomSpan* TagUdta(const uint8_t* Data, const std::vector<TAtomSpan>& MoovChildren);

// Chunk offsets in the stco (32-bit) and co64 (64-bit) tables of every track
// of a whole moov atom held in Moov, and the offsets of its saio tables. After the file region [OldStart, OldEnd)
// was replaced by one Delta bytes longer, every offset at or behind OldEnd
// moves by Delta; offsets before OldStart stay. Returns mp4result::Success,
// ChunkOffsetsFailed (a stco entry would leave 32 bits, points into the
// replaced region, or a table is damaged) or ChunkOffsets64Failed (the same
// for co64). Moov is changed only on success.
int ShiftChunkOffsets(std::vector<uint8_t>& Moov, uint64_t OldStart, uint64_t OldEnd, int64_t Delta);

// Big-endian helpers on byte buffers.
void PutU32be(std::vector<uint8_t>& Out, uint32_t V);
void PutU64be(std::vector<uint8_t>& Out, uint64_t V);
void PutAtomName(std::vector<uint8_t>& Out, std::string_view Name);
uint32_t GetU32be(const uint8_t* P);
uint64_t GetU64be(const uint8_t* P);
void SetU32be(uint8_t* P, uint32_t V);
void SetU64be(uint8_t* P, uint64_t V);
