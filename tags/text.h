// Text encodings, in one place. Inside the library every text is UTF-8.
// The "system ANSI code page" is Windows-1252; unmappable characters become '?'.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace text {

std::string Latin1ToUtf8(std::string_view Bytes);
std::string AnsiToUtf8(std::string_view Bytes);   // Windows-1252
std::string Utf8ToAnsi(std::string_view Utf8);    // '?' for unmappable
std::string Utf8ToLatin1(std::string_view Utf8);  // '?' for unmappable
// True when every character of Utf8 has a Windows-1252 / Latin-1 byte.
bool FitsAnsi(std::string_view Utf8);
bool FitsLatin1(std::string_view Utf8);

// UTF-16 bytes to UTF-8. Invalid surrogates become U+FFFD. A trailing odd byte is dropped.
std::string Utf16ToUtf8(std::span<const uint8_t> Bytes, bool BigEndian);
// Honours a leading BOM (FF FE little-endian, FE FF big-endian); without one, DefaultBigEndian.
std::string Utf16BomToUtf8(std::span<const uint8_t> Bytes, bool DefaultBigEndian = false);
std::vector<uint8_t> Utf8ToUtf16(std::string_view Utf8, bool BigEndian, bool WithBom);

std::u16string Utf8ToU16(std::string_view Utf8);
bool IsValidUtf8(std::string_view Bytes);
// Decodes UTF-8 when valid, else treats the bytes as Windows-1252.
std::string Utf8OrAnsi(std::string_view Bytes);

// Removes every character from U+0000 to U+0020 at both ends.
std::string Trim(std::string_view Text);
std::string UpperAscii(std::string_view Text);
bool SameText(std::string_view A, std::string_view B);  // ASCII case folding
// Strict decimal integer: optional blanks before, optional sign, digits only.
std::optional<int64_t> ParseInt(std::string_view Text);
// Counts UTF-8 characters (code points).
size_t Utf8Length(std::string_view Utf8);
// Cuts to at most MaxBytes without splitting a UTF-8 sequence.
std::string Utf8Truncate(std::string_view Utf8, size_t MaxBytes);

}  // namespace text
