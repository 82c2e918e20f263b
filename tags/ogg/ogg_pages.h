// The Ogg page layer shared by the Ogg Vorbis / Opus tag and Ogg FLAC: one
// page read and checked, the packets of one logical stream put together from
// its pages, packets packed into new pages, and the renumbering of a stream's
// later pages when the number of header pages changes.
//
// Page layout (integers little-endian): "OggS", version 0, flags (1
// continued packet, 2 first page, 4 last page), 64-bit granule position,
// serial, sequence number, CRC, segment count n, n lacing values, body.
// A packet ends in the first segment whose lacing value is below 255.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "tags/file_edit.h"
#include "tags/stream.h"

namespace ogg {

inline constexpr int64_t HeaderSize = 27;
inline constexpr int64_t MaxPageSize = 27 + 255 + 255 * 255;  // 65,307 bytes
inline constexpr uint8_t FlagContinued = 1, FlagFirst = 2, FlagLast = 4;
inline constexpr uint64_t NoGranule = ~0ull;
// A header packet larger than this is not taken as one (a lacing that never ends).
inline constexpr int64_t MaxHeaderPacket = 64ll << 20;

// CRC-32, polynomial 0x04C11DB7, MSB first, initial 0, no final inversion.
uint32_t Crc(std::span<const uint8_t> Bytes);

struct TPage {
    int64_t Offset = 0;
    uint8_t Flags = 0;
    uint64_t Granule = 0;
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    bool CrcValid = false;
    std::vector<uint8_t> Bytes;  // the whole page
    int64_t Size() const { return (int64_t)Bytes.size(); }
    int Segments() const { return Bytes[26]; }
    std::span<const uint8_t> Lacing() const { return {Bytes.data() + 27, (size_t)Segments()}; }
    std::span<const uint8_t> Body() const { return {Bytes.data() + 27 + Segments(), Bytes.size() - 27 - Segments()}; }
};

// Reads the page at Offset: "OggS", version 0, the whole page inside the
// stream. False when no page can be read there.
bool ReadPage(TStream& S, int64_t Offset, TPage& Page);
// Gives the page bytes a new sequence number and checksum.
void SetSequence(std::span<uint8_t> PageBytes, uint32_t Sequence);

// The first packets of the logical stream Serial, from the page at Offset on.
struct TPackets {
    std::vector<std::vector<uint8_t>> Packets;
    std::vector<bool> StartsPage;  // per packet: it begins a page of the stream
    int64_t End = 0;               // just after the last page read
    int Pages = 0;                 // pages of Serial read
    uint32_t LastSequence = 0;
    bool OtherStreamInside = false;  // a page of another stream came between them
    bool EndsOnPageEnd = false;      // the last packet ends its page's last segment
    bool BadChecksum = false;
};
// Reads Count packets of Serial; false when the pages end first, a page
// cannot be read, or a packet grows beyond MaxHeaderPacket.
bool ReadPackets(TStream& S, int64_t Offset, uint32_t Serial, size_t Count, TPackets& Out);
// The same, reading until IsLast says a packet is the last one wanted.
bool ReadPacketsUntil(TStream& S, int64_t Offset, uint32_t Serial,
                      const std::function<bool(const std::vector<uint8_t>&)>& IsLast, TPackets& Out);

// Lacing values a packet of Length bytes needs: Length / 255 values of 255
// and one closing value below 255 (0 when Length is a multiple of 255).
inline int64_t SegmentsOf(int64_t Length) { return Length / 255 + 1; }
// Bytes of the pages PackPackets makes from packets of these lengths.
int64_t PackedSize(const std::vector<int64_t>& Lengths, int Pages);
// The fewest pages that can hold packets of these lengths.
int MinimumPages(const std::vector<int64_t>& Lengths);
// Packs the packets into exactly Pages pages of stream Serial numbered from
// FirstSequence, spreading the lacing values evenly (a page holds at most
// 255). Every packet gets its closing lacing value, also when that value
// spills onto a page of its own. Pages on which a packet ends get Granule,
// the others no granule position. Empty when the packets need more pages.
std::vector<uint8_t> PackPackets(const std::vector<std::span<const uint8_t>>& Packets, uint32_t Serial,
                                 uint32_t FirstSequence, uint64_t Granule, int Pages);

// The patches (sequence number and checksum, at positions shifted by Delta)
// that renumber the pages of stream Serial from Offset on, the first one
// getting NextSequence. Pages of other streams and bytes that are not pages
// are left alone; the walk ends after the stream's last page, at a new
// stream start of the same serial, or at bytes that cannot be read as a page.
void RenumberPatches(TStream& S, int64_t Offset, uint32_t Serial, uint32_t NextSequence, int64_t Delta,
                     std::vector<TFilePatch>& Patches);

// The granule position of the last page of stream Serial with a valid
// checksum, searched backwards from the end over at least the largest
// possible page; NoGranule when there is none.
uint64_t LastGranule(TStream& S, uint32_t Serial);

}  // namespace ogg
