#include "tags/vorbis/vorbis_comment.h"

#include <array>
#include <cstring>

#include "tags/text.h"

// ---- one comment --------------------------------------------------------------

std::string TVorbisComment::GetText(bool ControlToSpace) {
    if (Format != vcfText) return {};
    AlreadyParsed = true;
    if (!ControlToSpace) return text::Utf8OrAnsi(Value);
    std::string v = Value;
    for (char& c : v)
        if ((unsigned char)c < 0x20 && c != '\r' && c != '\n') c = ' ';
    return text::Utf8OrAnsi(v);
}

void TVorbisComment::SetText(const std::string& Text) {
    Value = Text;
    PictureBlock.clear();
    Format = vcfText;
}

void TVorbisComment::SetList(const std::vector<std::string>& List) {
    Value.clear();
    for (const auto& item : List) {
        const size_t eq = item.find('=');
        Value += item.substr(0, eq) + "\r\n" + (eq == std::string::npos ? std::string() : item.substr(eq + 1)) + "\r\n";
    }
    Format = vcfText;
}

bool TVorbisComment::GetList(std::vector<std::string>& List) {
    List.clear();
    if (Format != vcfText) return false;
    AlreadyParsed = true;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Value.size()) {
        const size_t end = Value.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text::Utf8OrAnsi(Value.substr(start)));
            break;
        }
        lines.push_back(text::Utf8OrAnsi(Value.substr(start, end - start)));
        start = end + 2;
    }
    for (size_t i = 0; i + 1 < lines.size(); i += 2) List.push_back(lines[i] + "=" + lines[i + 1]);
    return !List.empty();
}

namespace vorbis {

// ---- comment body ---------------------------------------------------------------

// Layout (integers 32-bit little-endian): vendor length, vendor (UTF-8),
// comment count, then per comment its length and "NAME=value".
void ParseCommentBody(TByteReader& R, TCommentBody& Out, bool PicturesAsCoverArt) {
    const uint32_t vendorLen = R.u32le();
    Out.Vendor = text::Utf8OrAnsi(R.str(vendorLen));
    Out.DeclaredCount = R.u32le();
    // Each entry takes at least its 4-byte length: a count the body cannot
    // hold is refused before any entry is reserved.
    if (Out.DeclaredCount > R.remaining() / 4) throw ETagFormat("comment count exceeds the body");
    Out.Comments.reserve(Out.Comments.size() + Out.DeclaredCount);
    for (uint32_t i = 0; i < Out.DeclaredCount; ++i) {
        const uint32_t len = R.u32le();
        if (len == 0) continue;
        std::span<const uint8_t> entry = R.bytes(len);
        std::string_view sv(reinterpret_cast<const char*>(entry.data()), entry.size());
        const size_t eq = sv.find('=');
        if (eq == std::string_view::npos) continue;
        TVorbisComment c;
        c.Name = text::UpperAscii(sv.substr(0, eq));
        if (c.Name != sv.substr(0, eq)) c.StoredName.assign(sv.substr(0, eq));
        c.Value.assign(sv.substr(eq + 1));
        c.Format =
            PicturesAsCoverArt && (c.Name == "METADATA_BLOCK_PICTURE" || c.Name == "COVERART") ? vcfCoverArt : vcfText;
        Out.Comments.push_back(std::move(c));
    }
}

std::vector<uint8_t> BuildCommentBody(const std::string& Vendor, const std::vector<TVorbisComment>& Comments,
                                      bool UpperCaseNames) {
    TByteWriter w;
    w.u32le((uint32_t)Vendor.size()).str(Vendor);
    const size_t countAt = w.size();
    w.u32le(0);
    uint32_t count = 0;
    for (const auto& c : Comments) {
        if (c.Value.empty()) continue;
        const std::string name = !c.StoredName.empty() && text::SameText(c.StoredName, c.Name) ? c.StoredName
                                 : UpperCaseNames ? text::UpperAscii(c.Name)
                                                  : c.Name;
        w.u32le((uint32_t)(name.size() + 1 + c.Value.size())).str(name).u8('=').str(c.Value);
        ++count;
    }
    w.patchU32le(countAt, count);
    return w.take();
}

// ---- picture block ----------------------------------------------------------------

bool ParsePictureBlock(std::span<const uint8_t> Block, TPictureInfo& Info, std::span<const uint8_t>& Data) {
    try {
        TByteReader r(Block);
        TPictureInfo i;
        i.PictureType = r.u32be();
        i.MIMEType = text::Latin1ToUtf8(r.str(r.u32be()));
        i.Description = text::Utf8OrAnsi(r.str(r.u32be()));
        i.Width = r.u32be();
        i.Height = r.u32be();
        i.ColorDepth = r.u32be();
        i.NoOfColors = r.u32be();
        Data = r.bytes(r.u32be());
        Info = std::move(i);
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

std::vector<uint8_t> BuildPictureBlock(const TPictureInfo& Info, std::span<const uint8_t> Data) {
    TByteWriter w;
    w.u32be(Info.PictureType);
    w.u32be((uint32_t)Info.MIMEType.size()).str(Info.MIMEType);
    w.u32be((uint32_t)Info.Description.size()).str(Info.Description);
    w.u32be(Info.Width).u32be(Info.Height).u32be(Info.ColorDepth).u32be(Info.NoOfColors);
    w.u32be((uint32_t)Data.size()).bytes(Data);
    return w.take();
}

// ---- Base64 -------------------------------------------------------------------------

namespace {
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> DecodeTable() {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int i = 0; i < 64; ++i) t[(unsigned char)Alphabet[i]] = (int8_t)i;
    return t;
}
constexpr auto Decode = DecodeTable();

// Shifted[k][c]: character c's six bits in place for position k of a group
// of four, or Bad when c is not of the alphabet.
constexpr uint32_t Bad = 0x01000000;
constexpr std::array<std::array<uint32_t, 256>, 4> ShiftedTables() {
    std::array<std::array<uint32_t, 256>, 4> t{};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 256; ++c) t[k][c] = Decode[c] < 0 ? Bad : (uint32_t)Decode[c] << (18 - 6 * k);
    return t;
}
constexpr auto Shifted = ShiftedTables();

uint32_t Group(const unsigned char* p) {
    return Shifted[0][p[0]] | Shifted[1][p[1]] | Shifted[2][p[2]] | Shifted[3][p[3]];
}
}  // namespace

std::string Base64Encode(std::span<const uint8_t> Data) {
    std::string out;
    out.reserve((Data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= Data.size(); i += 3) {
        const uint32_t v = (uint32_t)Data[i] << 16 | (uint32_t)Data[i + 1] << 8 | Data[i + 2];
        out += Alphabet[v >> 18];
        out += Alphabet[(v >> 12) & 63];
        out += Alphabet[(v >> 6) & 63];
        out += Alphabet[v & 63];
    }
    if (const size_t rest = Data.size() - i; rest > 0) {
        const uint32_t v = (uint32_t)Data[i] << 16 | (rest == 2 ? (uint32_t)Data[i + 1] << 8 : 0);
        out += Alphabet[v >> 18];
        out += Alphabet[(v >> 12) & 63];
        out += rest == 2 ? Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::vector<uint8_t> Base64Decode(std::string_view Text) {
    std::vector<uint8_t> out(Text.size() / 4 * 3 + 3);
    size_t o = 0, i = 0;
    const size_t n = Text.size();
    // Whole groups of four alphabet characters first, two at a time while
    // the output has room for an eight-byte store; anything else (line
    // breaks, padding, stray characters) takes the careful path below.
    const auto* text = reinterpret_cast<const unsigned char*>(Text.data());
    while (i + 8 <= n && o + 8 <= out.size()) {
        const uint32_t x = Group(text + i), y = Group(text + i + 4);
        if ((x | y) & Bad) break;
        const uint64_t w = __builtin_bswap64((uint64_t)x << 40 | (uint64_t)y << 16);
        std::memcpy(out.data() + o, &w, 8);
        o += 6;
        i += 8;
    }
    while (i + 4 <= n) {
        const int a = Decode[(unsigned char)Text[i]], b = Decode[(unsigned char)Text[i + 1]],
                  c = Decode[(unsigned char)Text[i + 2]], d = Decode[(unsigned char)Text[i + 3]];
        if ((a | b | c | d) < 0) break;
        const uint32_t v = (uint32_t)a << 18 | (uint32_t)b << 12 | (uint32_t)c << 6 | (uint32_t)d;
        out[o++] = (uint8_t)(v >> 16);
        out[o++] = (uint8_t)(v >> 8);
        out[o++] = (uint8_t)v;
        i += 4;
    }
    uint32_t acc = 0;
    int bits = 0;
    for (; i < n; ++i) {
        const char ch = Text[i];
        if (ch == '=') break;
        const int8_t v = Decode[(unsigned char)ch];
        if (v < 0) continue;
        acc = (acc << 6) | (uint32_t)v;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            if (o == out.size()) out.resize(out.size() + 64);
            out[o++] = (uint8_t)(acc >> bits);
        }
    }
    out.resize(o);
    return out;
}

}  // namespace vorbis
