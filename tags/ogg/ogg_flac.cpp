#include "tags/ogg/ogg_flac.h"

#include <algorithm>
#include <cstring>

#include "tags/ogg/ogg_pages.h"
#include "tags/region_edit.h"

namespace {

// The first packet: 0x7F, "FLAC", major version 1, minor version, 16-bit
// big-endian count of the metadata packets that follow, then "fLaC" and the
// STREAMINFO block (4-byte header, 34-byte body).
constexpr size_t MappingHeaderSize = 13;
constexpr size_t FirstPacketSize = MappingHeaderSize + 4 + 34;
constexpr uint8_t BlockPadding = 1, BlockInvalid = 127;

void PutBlock(std::vector<uint8_t>& Out, uint8_t Type, bool Last, const std::vector<uint8_t>& Body) {
    const uint32_t n = (uint32_t)Body.size();
    Out = {(uint8_t)(Type | (Last ? 0x80 : 0)), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n};
    Out.insert(Out.end(), Body.begin(), Body.end());
}

}  // namespace

int ReadOggFlacLayout(TStream& S, TFlacLayout& L) {
    L.MetaStart = L.Prefix;
    ogg::TPage first;
    if (!ogg::ReadPage(S, L.Prefix, first)) return flacresult::NotFlac;
    std::span<const uint8_t> b = first.Body();
    if (b.size() < 5 || b[0] != 0x7F || std::memcmp(b.data() + 1, "FLAC", 4) != 0) return flacresult::NotOggFlac;
    if (b.size() < FirstPacketSize || b[5] != 1 || std::memcmp(b.data() + 9, "fLaC", 4) != 0 || (b[13] & 0x7F) != 0)
        return flacresult::NotFlac;
    L.StreamType = fstOggFlac;
    L.OggSerial = first.Serial;
    L.StreamInfo.assign(b.begin() + 17, b.begin() + FirstPacketSize);
    L.AudioOffset = L.Prefix + first.Size();
    L.OggLastSequence = first.Sequence;
    if (b[13] & 0x80) return flacresult::NoTag;

    // Each metadata block is one packet, the block with the last-block flag ending them.
    ogg::TPackets p;
    bool broken = false;
    auto isLast = [&](const std::vector<uint8_t>& Packet) {
        if (p.Packets.empty()) return false;  // the mapping header itself
        if (Packet.size() < 4) return broken = true;
        return (Packet[0] & 0x80) != 0;
    };
    if (!ogg::ReadPacketsUntil(S, L.Prefix, L.OggSerial, isLast, p) || broken || p.BadChecksum)
        return flacresult::NotFlac;
    for (size_t i = 1; i < p.Packets.size(); ++i) {
        const std::vector<uint8_t>& pk = p.Packets[i];
        const uint8_t type = pk[0] & 0x7F;
        const uint32_t len = (uint32_t)pk[1] << 16 | (uint32_t)pk[2] << 8 | pk[3];
        if (type == BlockInvalid || len != pk.size() - 4) return flacresult::NotFlac;
        TFlacBlock blk;
        blk.Type = type;
        if (type != BlockPadding)
            blk.Body.assign(pk.begin() + 4, pk.end());
        else
            blk.PaddingLength = len;
        if (type == 6) {
            vorbis::TPictureInfo info;
            std::span<const uint8_t> data;
            blk.PictureReadable = vorbis::ParsePictureBlock(blk.Body, info, data);
        }
        L.Blocks.push_back(std::move(blk));
    }
    L.AudioOffset = p.End;
    L.OggPageCount = p.Pages - 1;
    L.OggLastSequence = p.LastSequence;
    L.OggWritable = !p.OtherStreamInside && p.EndsOnPageEnd && p.StartsPage.size() > 1 && p.StartsPage[1] &&
                    p.Packets[0].size() == b.size();
    L.Complete = true;
    return L.Blocks.empty() ? flacresult::NoTag : flacresult::Success;
}

int BuildOggFlacEdit(TStream& Source, const TFlacLayout& L, const std::vector<TFlacBlock>& Blocks, int64_t FreshPadding,
                     bool ForceReWrite, TFileEdit& Edit) {
    ogg::TPage first;
    if (!ogg::ReadPage(Source, L.MetaStart, first)) return flacresult::NotFlac;
    // A stream with STREAMINFO alone has no metadata pages yet: they go
    // right after the first page.
    const bool bare = L.Blocks.empty();
    if (!bare && !L.OggWritable) return flacresult::NotFlac;
    const int64_t regionStart = L.MetaStart + first.Size();
    const int64_t oldSize = L.AudioOffset - regionStart;
    const int oldPages = bare ? 0 : L.OggPageCount;

    std::vector<std::vector<uint8_t>> packets(Blocks.size() + 1);
    std::vector<int64_t> lengths;
    for (size_t i = 0; i < Blocks.size(); ++i) {
        PutBlock(packets[i], Blocks[i].Type, false, Blocks[i].Body);
        lengths.push_back((int64_t)packets[i].size());
    }
    lengths.push_back(4);
    // Each block starts a page of its own, as players of Ogg FLAC expect
    // (they take the pages up to the last header packet as header pages).
    auto pagesOf = [&] {
        int n = 0;
        for (int64_t len : lengths) n += ogg::MinimumPages({len});
        return n;
    };
    auto sizeOf = [&] {
        int64_t n = 0;
        for (int64_t len : lengths) n += ogg::PackedSize({len}, ogg::MinimumPages({len}));
        return n;
    };
    // In place: the same pages, the padding block taking up the difference
    // as far as the padding rule allows.
    int64_t padding = -1;
    const int64_t fileSize = Source.Size(), oldPadding = PaddingOf(L);
    for (int64_t p = 0; !ForceReWrite && oldPages > 0 && p <= (int64_t)vorbis::MaxFlacBlockLength &&
                        padding::MayKeep(p, oldPadding, fileSize);
         ++p) {
        lengths.back() = 4 + p;
        const int64_t sz = sizeOf();
        if (sz > oldSize) break;
        if (sz == oldSize && pagesOf() == oldPages) {
            padding = p;
            break;
        }
    }
    if (padding < 0) {
        padding = std::min<int64_t>(FreshPadding, vorbis::MaxFlacBlockLength);
        lengths.back() = 4 + padding;
    }
    const int pages = pagesOf();
    PutBlock(packets.back(), BlockPadding, true, std::vector<uint8_t>((size_t)padding, 0));
    std::vector<uint8_t> region;
    uint32_t sequence = first.Sequence + 1;
    for (const auto& pk : packets) {
        const int n = ogg::MinimumPages({(int64_t)pk.size()});
        const std::vector<uint8_t> part = ogg::PackPackets({std::span<const uint8_t>(pk)}, L.OggSerial, sequence, 0, n);
        if (part.empty()) return flacresult::Failure;
        region.insert(region.end(), part.begin(), part.end());
        sequence += (uint32_t)n;
    }
    if (region.empty()) return flacresult::Failure;

    // The first page: the new packet count, STREAMINFO no longer last.
    std::vector<uint8_t> firstPage = first.Bytes;
    uint8_t* body = firstPage.data() + 27 + first.Segments();
    const size_t count = packets.size();
    if (count > 0xFFFF) return flacresult::TooLarge;
    body[7] = (uint8_t)(count >> 8);
    body[8] = (uint8_t)count;
    body[13] &= 0x7F;
    ogg::SetSequence(firstPage, first.Sequence);

    std::vector<uint8_t> newBytes = std::move(firstPage);
    newBytes.insert(newBytes.end(), region.begin(), region.end());
    const int64_t oldLen = L.AudioOffset - L.MetaStart;
    if (Source.Seek(L.MetaStart) != L.MetaStart) return flacresult::Failure;
    const std::vector<uint8_t> oldBytes = Source.ReadBytes(oldLen);
    if ((int64_t)oldBytes.size() != oldLen) return flacresult::Failure;
    Edit = regionedit::Narrowed(L.MetaStart, oldBytes, newBytes);
    const uint32_t next = first.Sequence + 1 + (uint32_t)pages;
    if (L.OggLastSequence + 1 != next)
        ogg::RenumberPatches(Source, L.AudioOffset, L.OggSerial, next, (int64_t)newBytes.size() - oldLen, Edit.Patches);
    return flacresult::Success;
}
