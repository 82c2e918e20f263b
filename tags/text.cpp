#include "tags/text.h"

#include <algorithm>

namespace text {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined positions.
constexpr char16_t Cp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& Out, char32_t C) {
    if (C < 0x80) {
        Out += (char)C;
    } else if (C < 0x800) {
        Out += (char)(0xC0 | (C >> 6));
        Out += (char)(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
        Out += (char)(0xE0 | (C >> 12));
        Out += (char)(0x80 | ((C >> 6) & 0x3F));
        Out += (char)(0x80 | (C & 0x3F));
    } else {
        Out += (char)(0xF0 | (C >> 18));
        Out += (char)(0x80 | ((C >> 12) & 0x3F));
        Out += (char)(0x80 | ((C >> 6) & 0x3F));
        Out += (char)(0x80 | (C & 0x3F));
    }
}

// Decodes one UTF-8 sequence at I; invalid bytes yield U+FFFD and advance by one.
char32_t NextUtf8(std::string_view S, size_t& I) {
    auto b = (uint8_t)S[I];
    if (b < 0x80) {
        ++I;
        return b;
    }
    int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || I + len > S.size()) {
        ++I;
        return 0xFFFD;
    }
    char32_t c = b & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        auto t = (uint8_t)S[I + k];
        if ((t & 0xC0) != 0x80) {
            ++I;
            return 0xFFFD;
        }
        c = (c << 6) | (t & 0x3F);
    }
    bool overlong = (len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++I;
        return 0xFFFD;
    }
    I += len;
    return c;
}

int AnsiByteFor(char32_t C) {
    if (C < 0x80 || (C >= 0xA0 && C <= 0xFF)) return (int)C;
    for (int i = 0; i < 32; ++i)
        if (Cp1252High[i] != 0 && Cp1252High[i] == C) return 0x80 + i;
    return -1;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (char ch : Bytes) AppendUtf8(out, (uint8_t)ch);
    return out;
}

std::string AnsiToUtf8(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (char ch : Bytes) {
        auto b = (uint8_t)ch;
        char32_t c = b;
        // The five undefined positions map to the C1 controls of the same number.
        if (b >= 0x80 && b < 0xA0 && Cp1252High[b - 0x80] != 0) c = Cp1252High[b - 0x80];
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view Utf8) {
    std::string out;
    out.reserve(Utf8.size());
    for (size_t i = 0; i < Utf8.size();) {
        char32_t c = NextUtf8(Utf8, i);
        int b = AnsiByteFor(c);
        if (b < 0 && c >= 0x80 && c < 0xA0 && Cp1252High[c - 0x80] == 0) b = (int)c;
        out += b < 0 ? '?' : (char)b;
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view Utf8) {
    std::string out;
    out.reserve(Utf8.size());
    for (size_t i = 0; i < Utf8.size();) {
        char32_t c = NextUtf8(Utf8, i);
        out += c <= 0xFF ? (char)c : '?';
    }
    return out;
}

bool FitsAnsi(std::string_view Utf8) {
    for (size_t i = 0; i < Utf8.size();) {
        char32_t c = NextUtf8(Utf8, i);
        if (c == 0xFFFD || (AnsiByteFor(c) < 0 && !(c >= 0x80 && c < 0xA0 && Cp1252High[c - 0x80] == 0))) return false;
    }
    return true;
}

bool FitsLatin1(std::string_view Utf8) {
    for (size_t i = 0; i < Utf8.size();)
        if (NextUtf8(Utf8, i) > 0xFF) return false;
    return true;
}

std::string Utf16ToUtf8(std::span<const uint8_t> Bytes, bool BigEndian) {
    std::string out;
    out.reserve(Bytes.size());
    size_t n = Bytes.size() / 2;
    auto unit = [&](size_t k) -> char16_t {
        return BigEndian ? (char16_t)((Bytes[2 * k] << 8) | Bytes[2 * k + 1])
                         : (char16_t)(Bytes[2 * k] | (Bytes[2 * k + 1] << 8));
    };
    for (size_t k = 0; k < n; ++k) {
        char16_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
            char16_t v = unit(k + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + (((char32_t)u - 0xD800) << 10) + (v - 0xDC00));
                ++k;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, u);
    }
    return out;
}

std::string Utf16BomToUtf8(std::span<const uint8_t> Bytes, bool DefaultBigEndian) {
    if (Bytes.size() >= 2 && Bytes[0] == 0xFF && Bytes[1] == 0xFE) return Utf16ToUtf8(Bytes.subspan(2), false);
    if (Bytes.size() >= 2 && Bytes[0] == 0xFE && Bytes[1] == 0xFF) return Utf16ToUtf8(Bytes.subspan(2), true);
    return Utf16ToUtf8(Bytes, DefaultBigEndian);
}

std::vector<uint8_t> Utf8ToUtf16(std::string_view Utf8, bool BigEndian, bool WithBom) {
    std::vector<uint8_t> out;
    out.reserve(Utf8.size() * 2 + 2);
    auto put = [&](char16_t u) {
        if (BigEndian) {
            out.push_back((uint8_t)(u >> 8));
            out.push_back((uint8_t)u);
        } else {
            out.push_back((uint8_t)u);
            out.push_back((uint8_t)(u >> 8));
        }
    };
    if (WithBom) put(0xFEFF);
    for (size_t i = 0; i < Utf8.size();) {
        char32_t c = NextUtf8(Utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            put((char16_t)(0xD800 + (c >> 10)));
            put((char16_t)(0xDC00 + (c & 0x3FF)));
        } else {
            put((char16_t)c);
        }
    }
    return out;
}

std::u16string Utf8ToU16(std::string_view Utf8) {
    std::u16string out;
    for (size_t i = 0; i < Utf8.size();) {
        char32_t c = NextUtf8(Utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += (char16_t)(0xD800 + (c >> 10));
            out += (char16_t)(0xDC00 + (c & 0x3FF));
        } else {
            out += (char16_t)c;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view Bytes) {
    for (size_t i = 0; i < Bytes.size();) {
        size_t before = i;
        char32_t c = NextUtf8(Bytes, i);
        if (c == 0xFFFD && !(i - before == 3 && (uint8_t)Bytes[before] == 0xEF)) return false;
    }
    return true;
}

std::string Utf8OrAnsi(std::string_view Bytes) { return IsValidUtf8(Bytes) ? std::string(Bytes) : AnsiToUtf8(Bytes); }

std::string Trim(std::string_view Text) {
    size_t b = 0, e = Text.size();
    while (b < e && (uint8_t)Text[b] <= 0x20) ++b;
    while (e > b && (uint8_t)Text[e - 1] <= 0x20) --e;
    return std::string(Text.substr(b, e - b));
}

std::string UpperAscii(std::string_view Text) {
    std::string s(Text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 32);
    return s;
}

bool SameText(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i) {
        char a = A[i], b = B[i];
        if (a >= 'a' && a <= 'z') a = (char)(a - 32);
        if (b >= 'a' && b <= 'z') b = (char)(b - 32);
        if (a != b) return false;
    }
    return true;
}

std::optional<int64_t> ParseInt(std::string_view Text) {
    size_t i = 0;
    while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\t')) ++i;
    bool neg = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) neg = Text[i++] == '-';
    if (i >= Text.size()) return std::nullopt;
    int64_t v = 0;
    for (; i < Text.size(); ++i) {
        char c = Text[i];
        if (c < '0' || c > '9') return std::nullopt;
        if (v > (INT64_MAX - (c - '0')) / 10) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return neg ? -v : v;
}

size_t Utf8Length(std::string_view Utf8) {
    size_t n = 0;
    for (size_t i = 0; i < Utf8.size();) {
        NextUtf8(Utf8, i);
        ++n;
    }
    return n;
}

std::string Utf8Truncate(std::string_view Utf8, size_t MaxBytes) {
    if (Utf8.size() <= MaxBytes) return std::string(Utf8);
    size_t cut = MaxBytes;
    while (cut > 0 && ((uint8_t)Utf8[cut] & 0xC0) == 0x80) --cut;
    return std::string(Utf8.substr(0, cut));
}

}  // namespace text
