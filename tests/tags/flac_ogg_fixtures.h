// Small valid FLAC, Ogg FLAC, Ogg Vorbis and Opus files built in code, each
// with the comments a tagged file usually has and a front cover, for the
// tests that run against every format. Each comes with the bytes of its audio
// that no save may change (for Ogg: the body of the audio page; its header
// may be renumbered).
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tags/ogg/ogg_pages.h"
#include "tags/vorbis/vorbis_comment.h"
#include "tests/bytes.h"

namespace flacoggfixtures {

using tbytes::Bytes;
using tbytes::Cat;
using tbytes::Str;

// The file and its unchangeable audio bytes.
using TFileAndAudio = std::pair<Bytes, Bytes>;

inline Bytes CommentBody() {
    Bytes b = Cat(tbytes::LE32(6), Str("vendor"));
    const std::vector<std::string> fields = {"TITLE=Title",    "ARTIST=Artist", "ALBUM=Album", "TRACKNUMBER=3",
                                             "TOTALTRACKS=12", "GENRE=Rock",    "DATE=2003",   "COMMENT=Comment"};
    b = Cat(b, tbytes::LE32((uint32_t)fields.size()));
    for (const auto& f : fields) b = Cat(b, tbytes::LE32((uint32_t)f.size()), Str(f));
    return b;
}

inline Bytes PictureBlock() {
    vorbis::TPictureInfo front;
    front.PictureType = 3;
    front.MIMEType = "image/png";
    front.Description = "front";
    return vorbis::BuildPictureBlock(front, tbytes::Png(400));
}

inline Bytes FlacBlock(uint8_t Type, const Bytes& Body, bool Last = false) {
    const uint32_t n = (uint32_t)Body.size();
    return Cat(Bytes{(uint8_t)(Type | (Last ? 0x80 : 0)), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n}, Body);
}

// STREAMINFO: 44.1 kHz, 2 channels, 16 bits, 88,200 samples.
inline Bytes StreamInfo() {
    Bytes b = {0x10, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0x0A, 0xC4, 0x42, 0xF0};
    b = Cat(b, tbytes::BE32(88200));
    b.resize(34, 0x5A);
    return b;
}

inline TFileAndAudio NativeFlac() {
    const Bytes audio = tbytes::Audio(3000);
    return {Cat(Str("fLaC"), FlacBlock(0, StreamInfo()), FlacBlock(4, CommentBody()), FlacBlock(6, PictureBlock()),
                FlacBlock(1, Bytes(100, 0), true), audio),
            audio};
}

// One page per packet list, numbered Sequence; Flags 2 first, 4 last page.
inline Bytes OggPage(const std::vector<Bytes>& Packets, uint32_t Sequence, uint64_t Granule, uint8_t Flags = 0) {
    std::vector<std::span<const uint8_t>> spans(Packets.begin(), Packets.end());
    Bytes p = ogg::PackPackets(spans, 0x5EED, Sequence, Granule, 1);
    p[5] |= Flags;
    ogg::SetSequence(p, Sequence);
    return p;
}

inline TFileAndAudio OggFlac() {
    const Bytes audio = tbytes::Audio(3000);
    const Bytes first = Cat(Bytes{0x7F}, Str("FLAC"), Bytes{1, 0, 0, 3}, Str("fLaC"), FlacBlock(0, StreamInfo()));
    return {Cat(OggPage({first}, 0, 0, ogg::FlagFirst), OggPage({FlacBlock(4, CommentBody())}, 1, 0),
                OggPage({FlacBlock(6, PictureBlock())}, 2, 0), OggPage({FlacBlock(1, Bytes(100, 0), true)}, 3, 0),
                OggPage({audio}, 4, 88200, ogg::FlagLast)),
            audio};
}

inline Bytes CommentsWithPicture() {
    const Bytes picture = Str("METADATA_BLOCK_PICTURE=" + vorbis::Base64Encode(PictureBlock()));
    Bytes b = CommentBody();
    b[10] += 1;  // one field more (the count after the 4 + 6 vendor bytes)
    return Cat(b, tbytes::LE32((uint32_t)picture.size()), picture);
}

inline TFileAndAudio OggVorbis() {
    const Bytes audio = tbytes::Audio(3000);
    const Bytes id = Cat(Str("\x01vorbis"), tbytes::LE32(0), Bytes{2}, tbytes::LE32(44100), tbytes::LE32(0),
                         tbytes::LE32(128000), tbytes::LE32(0), Bytes{0xB8, 1});
    const Bytes comment = Cat(Str("\x03vorbis"), CommentsWithPicture(), Bytes{1});
    const Bytes setup = Cat(Str("\x05vorbis"), Bytes(500, 0x42));
    return {Cat(OggPage({id}, 0, 0, ogg::FlagFirst), OggPage({comment, setup}, 1, 0),
                OggPage({audio}, 2, 88200, ogg::FlagLast)),
            audio};
}

inline TFileAndAudio Opus() {
    const Bytes audio = tbytes::Audio(3000);
    const Bytes id = Cat(Str("OpusHead"), Bytes{1, 2, 0x38, 0x01}, tbytes::LE32(48000), Bytes{0, 0, 0});
    const Bytes comment = Cat(Str("OpusTags"), CommentsWithPicture());
    return {
        Cat(OggPage({id}, 0, 0, ogg::FlagFirst), OggPage({comment}, 1, 0), OggPage({audio}, 2, 96312, ogg::FlagLast)),
        audio};
}

}  // namespace flacoggfixtures
