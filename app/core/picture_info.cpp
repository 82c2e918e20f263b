#include "app/core/picture_info.h"

#include <array>
#include <cstring>

#include "tags/tag_types.h"
#include "tags/text.h"

namespace pictureinfo {

namespace {

constexpr std::array<const char*, TypeCount> TypeKeys = {
    "other",       "icon",        "other-icon", "front", "back",         "leaflet",   "media",
    "lead-artist", "artist",      "conductor",  "band",  "composer",     "lyricist",  "location",
    "recording",   "performance", "screen",     "fish",  "illustration", "band-logo", "publisher-logo"};
static_assert(TypeKeys.size() == (size_t)PictureTypeCount);

// A JPEG walks its segments to the frame header; a file with more segments
// before it than this is not taken for a picture.
constexpr int MaxJpegSegments = 4096;

uint32_t Be16(const uint8_t* P) { return (uint32_t)P[0] << 8 | P[1]; }
uint32_t Be32(const uint8_t* P) { return (uint32_t)P[0] << 24 | (uint32_t)P[1] << 16 | (uint32_t)P[2] << 8 | P[3]; }
uint32_t Le16(const uint8_t* P) { return (uint32_t)P[1] << 8 | P[0]; }
uint32_t Le24(const uint8_t* P) { return (uint32_t)P[2] << 16 | (uint32_t)P[1] << 8 | P[0]; }
uint32_t Le32(const uint8_t* P) { return (uint32_t)P[3] << 24 | (uint32_t)P[2] << 16 | (uint32_t)P[1] << 8 | P[0]; }

bool Starts(const uint8_t* Data, size_t Size, const char* Magic, size_t Offset = 0) {
    const size_t Len = std::strlen(Magic);
    return Size >= Offset && Size - Offset >= Len && std::memcmp(Data + Offset, Magic, Len) == 0;
}

// Segments: FF marker, then (but for the standalone markers) a big-endian
// length that counts itself. A start-of-frame segment (C0..CF but for C4,
// C8 and CC) holds precision (1), height (2), width (2).
void JpegSize(const uint8_t* Data, size_t Size, TImageInfo& Info) {
    size_t Pos = 2;
    for (int Segment = 0; Segment < MaxJpegSegments; ++Segment) {
        while (Pos < Size && Data[Pos] == 0xFF) ++Pos;  // fill bytes, and the marker's own FF
        if (Pos >= Size) return;
        const uint8_t Marker = Data[Pos++];
        if (Marker == 0xD8 || Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7)) continue;
        if (Marker == 0xD9 || Marker == 0xDA || Pos > Size - 2)
            return;  // end of image, or the scan before any frame header
        const size_t Length = Be16(Data + Pos);
        if (Length < 2 || Length > Size - Pos) return;
        const bool Frame = Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC;
        if (Frame) {
            if (Length < 7) return;
            Info.Height = Be16(Data + Pos + 3);
            Info.Width = Be16(Data + Pos + 5);
            return;
        }
        Pos += Length;
    }
}

}  // namespace

const char* TypeKey(uint32_t Type) { return Type < TypeCount ? TypeKeys[Type] : ""; }

std::optional<uint32_t> ParseType(std::string_view Text) {
    for (uint32_t I = 0; I < TypeCount; ++I)
        if (text::SameText(Text, TypeKeys[I]) || text::SameText(Text, PictureTypeName(I))) return I;
    if (Text.empty() || Text.size() > 2) return std::nullopt;
    uint32_t Number = 0;
    for (char C : Text) {
        if (C < '0' || C > '9') return std::nullopt;
        Number = Number * 10 + (uint32_t)(C - '0');
    }
    if (Number >= TypeCount) return std::nullopt;
    return Number;
}

TImageInfo Inspect(const uint8_t* Data, size_t Size) {
    TImageInfo Info;
    if (!Data) return Info;
    if (Starts(Data, Size, "\xFF\xD8\xFF")) {
        Info.Mime = "image/jpeg";
        JpegSize(Data, Size, Info);
    } else if (Starts(Data, Size, "\x89PNG\r\n\x1A\n")) {
        // Signature (8), then the IHDR chunk: length (4), "IHDR", width, height.
        Info.Mime = "image/png";
        if (Size >= 24 && Starts(Data, Size, "IHDR", 12)) {
            Info.Width = Be32(Data + 16);
            Info.Height = Be32(Data + 20);
        }
    } else if (Starts(Data, Size, "GIF87a") || Starts(Data, Size, "GIF89a")) {
        // The logical screen: width and height, little-endian, behind the signature.
        Info.Mime = "image/gif";
        if (Size >= 10) {
            Info.Width = Le16(Data + 6);
            Info.Height = Le16(Data + 8);
        }
    } else if (Starts(Data, Size, "BM") && Size >= 18) {
        // File header (14), then the DIB header, which starts with its size:
        // 12 for the old core header (16-bit sizes), more for the later ones
        // (32-bit sizes, a negative height for a top-down picture).
        const uint32_t Header = Le32(Data + 14);
        if (Header != 12 && Header < 40) return Info;
        Info.Mime = "image/bmp";
        if (Header == 12 && Size >= 22) {
            Info.Width = Le16(Data + 18);
            Info.Height = Le16(Data + 20);
        } else if (Header != 12 && Size >= 26) {
            Info.Width = Le32(Data + 18);
            const int32_t Height = (int32_t)Le32(Data + 22);
            Info.Height = Height < 0 ? 0u - (uint32_t)Height : (uint32_t)Height;
        }
    } else if (Starts(Data, Size, "RIFF") && Starts(Data, Size, "WEBP", 8)) {
        // The first chunk tells the kind: lossy (a key frame's start code
        // and 14-bit sizes), lossless (one signature byte, then 14-bit sizes
        // less one) or extended (24-bit sizes less one).
        Info.Mime = "image/webp";
        if (Starts(Data, Size, "VP8 ", 12) && Size >= 30 && Starts(Data, Size, "\x9D\x01\x2A", 23)) {
            Info.Width = Le16(Data + 26) & 0x3FFF;
            Info.Height = Le16(Data + 28) & 0x3FFF;
        } else if (Starts(Data, Size, "VP8L", 12) && Size >= 25 && Data[20] == 0x2F) {
            const uint32_t Bits = Le32(Data + 21);
            Info.Width = (Bits & 0x3FFF) + 1;
            Info.Height = ((Bits >> 14) & 0x3FFF) + 1;
        } else if (Starts(Data, Size, "VP8X", 12) && Size >= 30) {
            Info.Width = Le24(Data + 24) + 1;
            Info.Height = Le24(Data + 27) + 1;
        }
    }
    return Info;
}

const char* ExtensionOfMime(std::string_view Mime) {
    if (text::SameText(Mime, "image/jpeg") || text::SameText(Mime, "image/jpg")) return "jpg";
    if (text::SameText(Mime, "image/png")) return "png";
    if (text::SameText(Mime, "image/gif")) return "gif";
    if (text::SameText(Mime, "image/bmp")) return "bmp";
    if (text::SameText(Mime, "image/webp")) return "webp";
    return "bin";
}

}  // namespace pictureinfo
