// Pictures in tags: the 21 picture types by short name, and what an encoded
// picture is (its MIME type and pixel size) read from its first bytes.
//
// The window's pictures list, the command line's --picture and pictures
// all name types and recognise images here, so a name means the same type
// everywhere. Plain C++: the command-line tool uses it without Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pictureinfo {

inline constexpr uint32_t TypeCount = 21;
inline constexpr uint32_t FrontType = 3;

// "other", "icon", "other-icon", "front", "back", "leaflet", "media",
// "lead-artist", "artist", "conductor", "band", "composer", "lyricist",
// "location", "recording", "performance", "screen", "fish", "illustration",
// "band-logo", "publisher-logo"; "" outside 0..20.
const char* TypeKey(uint32_t Type);
// The type a text names: one of the keys above (letter case aside), a
// number 0 to 20, or the type's caption as the tag library spells it
// ("Cover (front)"); nothing for anything else.
std::optional<uint32_t> ParseType(std::string_view Text);

// A picture recognised from its bytes. Mime is empty for bytes that are no
// JPEG, PNG, GIF, BMP or WebP picture; Width and Height are 0 when the
// header that holds them is cut off.
struct TImageInfo {
    std::string Mime;
    uint32_t Width = 0;
    uint32_t Height = 0;
};
TImageInfo Inspect(const uint8_t* Data, size_t Size);

// The extension a picture of that MIME type is saved under: "jpg", "png",
// "gif", "bmp", "webp"; "bin" for any other.
const char* ExtensionOfMime(std::string_view Mime);

}  // namespace pictureinfo
