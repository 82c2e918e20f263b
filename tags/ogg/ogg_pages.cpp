#include "tags/ogg/ogg_pages.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ogg {

namespace {

// Sixteen tables: T[k][i] is the checksum of byte i followed by k zero
// bytes, so that sixteen bytes are folded in at a time.
constexpr std::array<std::array<uint32_t, 256>, 16> CrcTables() {
    std::array<std::array<uint32_t, 256>, 16> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        t[0][i] = r;
    }
    for (int k = 1; k < 16; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}
constexpr auto T = CrcTables();

uint32_t Be32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

uint32_t Fold4(uint32_t v, int k) {
    return T[k + 3][v >> 24] ^ T[k + 2][(v >> 16) & 0xFF] ^ T[k + 1][(v >> 8) & 0xFF] ^ T[k][v & 0xFF];
}

uint32_t TableCrcUpdate(uint32_t Crc, const uint8_t* P, size_t N) {
    for (; N >= 16; P += 16, N -= 16)
        Crc = Fold4(Crc ^ Be32(P), 12) ^ Fold4(Be32(P + 4), 8) ^ Fold4(Be32(P + 8), 4) ^ Fold4(Be32(P + 12), 0);
    for (; N > 0; ++P, --N) Crc = (Crc << 8) ^ T[0][((Crc >> 24) ^ *P) & 0xFF];
    return Crc;
}

#if defined(__x86_64__)
// x^N mod the checksum polynomial, for N >= 32.
constexpr uint32_t XPowerMod(int N) {
    uint32_t r = 0x04C11DB7u;  // x^32
    for (int i = 32; i < N; ++i) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    return r;
}

// Carry-less multiplication folds sixteen bytes at a time: the running
// remainder B (the bytes so far, as a 128-bit big-endian number) followed
// by the next sixteen bytes D is B * x^128 + D, and B * x^128 is the
// remainder's high half times (x^192 mod P) plus its low half times
// (x^128 mod P). What is left, sixteen bytes congruent to everything
// folded, goes through the tables with the bytes after it.
__attribute__((target("pclmul,ssse3"))) __m128i LoadBigEndian(const uint8_t* At) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)At), reverse);
}

__attribute__((target("pclmul,ssse3"))) uint32_t FoldedCrcUpdate(uint32_t Crc, const uint8_t* P, size_t N) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i k = _mm_set_epi64x((long long)XPowerMod(192), (long long)XPowerMod(128));
    auto load = LoadBigEndian;
    __m128i b = _mm_xor_si128(load(P), _mm_set_epi32((int)Crc, 0, 0, 0));
    P += 16;
    N -= 16;
    for (; N >= 16; P += 16, N -= 16)
        b = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(b, k, 0x11), _mm_clmulepi64_si128(b, k, 0x00)), load(P));
    alignas(16) uint8_t rest[16];
    _mm_store_si128((__m128i*)rest, _mm_shuffle_epi8(b, reverse));
    return TableCrcUpdate(TableCrcUpdate(0, rest, 16), P, N);
}

const bool CanFold = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
#endif

uint32_t CrcUpdate(uint32_t Crc, const uint8_t* P, size_t N) {
#if defined(__x86_64__)
    if (N >= 64 && CanFold) return FoldedCrcUpdate(Crc, P, N);
#endif
    return TableCrcUpdate(Crc, P, N);
}

uint32_t Le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}
uint64_t Le64(const uint8_t* p) { return (uint64_t)Le32(p) | (uint64_t)Le32(p + 4) << 32; }

// The checksum of a whole page, its own checksum field counted as zeros.
uint32_t PageCrc(std::span<const uint8_t> Page) {
    static constexpr uint8_t Zeros[4] = {0, 0, 0, 0};
    uint32_t crc = CrcUpdate(0, Page.data(), 22);
    crc = CrcUpdate(crc, Zeros, 4);
    return CrcUpdate(crc, Page.data() + 26, Page.size() - 26);
}

// A page inside a buffer at Pos; its length, or 0 when there is none.
int64_t PageInBuffer(std::span<const uint8_t> Buf, size_t Pos) {
    if (Buf.size() - Pos < (size_t)HeaderSize || std::memcmp(Buf.data() + Pos, "OggS", 4) != 0 || Buf[Pos + 4] != 0)
        return 0;
    const size_t segs = Buf[Pos + 26];
    if (Buf.size() - Pos - HeaderSize < segs) return 0;
    size_t body = 0;
    for (size_t i = 0; i < segs; ++i) body += Buf[Pos + 27 + i];
    const size_t total = HeaderSize + segs + body;
    return Buf.size() - Pos < total ? 0 : (int64_t)total;
}

// The bytes still to come of a packet left open at the end of the page
// that ends at Offset: the lacing values of the stream's next pages, read
// without their bodies, up to the one that closes the packet (or to where
// pages can no longer be read, or past MaxHeaderPacket). Every length
// counted lies inside the stream, so the sum can be reserved as it is.
int64_t OpenPacketRest(TStream& S, int64_t Offset, uint32_t Serial) {
    const int64_t size = S.Size();
    int64_t rest = 0;
    uint8_t h[27 + 255];
    for (int64_t pos = Offset; rest <= MaxHeaderPacket;) {
        if (size - pos < HeaderSize || S.Seek(pos) != pos || !S.ReadExact(h, HeaderSize) ||
            std::memcmp(h, "OggS", 4) != 0 || h[4] != 0)
            break;
        const int segs = h[26];
        if (size - pos - HeaderSize < segs || !S.ReadExact(h + 27, segs)) break;
        int64_t body = 0;
        for (int i = 0; i < segs; ++i) body += h[27 + i];
        if (size - pos - HeaderSize - segs < body) break;
        pos += HeaderSize + segs + body;
        if (Le32(h + 14) != Serial) continue;
        for (int i = 0; i < segs; ++i) {
            rest += h[27 + i];
            if (h[27 + i] < 255) return rest;
        }
    }
    return std::min(rest, MaxHeaderPacket);
}

}  // namespace

uint32_t Crc(std::span<const uint8_t> Bytes) { return CrcUpdate(0, Bytes.data(), Bytes.size()); }

bool ReadPage(TStream& S, int64_t Offset, TPage& Page) {
    const int64_t size = S.Size();
    if (Offset < 0 || size - Offset < HeaderSize || S.Seek(Offset) != Offset) return false;
    uint8_t h[27 + 255];
    if (!S.ReadExact(h, HeaderSize) || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0) return false;
    const int segs = h[26];
    if (size - Offset - HeaderSize < segs || !S.ReadExact(h + 27, segs)) return false;
    int64_t body = 0;
    for (int i = 0; i < segs; ++i) body += h[27 + i];
    if (size - Offset - HeaderSize - segs < body) return false;
    Page.Offset = Offset;
    Page.Flags = h[5];
    Page.Granule = Le64(h + 6);
    Page.Serial = Le32(h + 14);
    Page.Sequence = Le32(h + 18);
    Page.Bytes.assign(h, h + 27 + segs);
    Page.Bytes.resize((size_t)(HeaderSize + segs + body));
    if (!S.ReadExact(Page.Bytes.data() + 27 + segs, body)) return false;
    Page.CrcValid = PageCrc(Page.Bytes) == Le32(h + 22);
    return true;
}

void SetSequence(std::span<uint8_t> PageBytes, uint32_t Sequence) {
    PutLe32(PageBytes.data() + 18, Sequence);
    PutLe32(PageBytes.data() + 22, PageCrc(PageBytes));
}

bool ReadPackets(TStream& S, int64_t Offset, uint32_t Serial, size_t Count, TPackets& Out) {
    if (Count == 0) {
        Out = TPackets();
        return true;
    }
    return ReadPacketsUntil(
        S, Offset, Serial, [&](const std::vector<uint8_t>&) { return Out.Packets.size() + 1 == Count; }, Out);
}

bool ReadPacketsUntil(TStream& S, int64_t Offset, uint32_t Serial,
                      const std::function<bool(const std::vector<uint8_t>&)>& IsLast, TPackets& Out) {
    Out = TPackets();
    std::vector<uint8_t> current;
    bool open = false;
    bool sized = false;  // the open packet's whole length is reserved
    TPage page;
    int64_t pos = Offset;
    while (ReadPage(S, pos, page)) {
        pos += page.Size();
        if (page.Serial != Serial) {
            Out.OtherStreamInside = true;
            continue;
        }
        if (!page.CrcValid) Out.BadChecksum = true;
        ++Out.Pages;
        Out.LastSequence = page.Sequence;
        auto lacing = page.Lacing();
        const uint8_t* body = page.Body().data();
        for (size_t i = 0; i < lacing.size(); ++i) {
            if (!open) Out.StartsPage.push_back(i == 0);
            open = true;
            current.insert(current.end(), body, body + lacing[i]);
            body += lacing[i];
            if ((int64_t)current.size() > MaxHeaderPacket) return false;
            if (lacing[i] == 255) {
                // A packet that runs on over the next pages (a picture
                // comment spans many) gets its whole length at once instead
                // of growing page by page.
                if (i + 1 == lacing.size() && !sized) {
                    current.reserve(current.size() + (size_t)OpenPacketRest(S, pos, Serial));
                    sized = true;
                }
                continue;
            }
            const bool last = IsLast(current);
            Out.Packets.push_back(std::move(current));
            current.clear();
            open = false;
            sized = false;
            if (last) {
                Out.End = pos;
                Out.EndsOnPageEnd = i + 1 == lacing.size();
                return true;
            }
        }
    }
    return false;
}

int64_t PackedSize(const std::vector<int64_t>& Lengths, int Pages) {
    int64_t n = 0;
    for (int64_t l : Lengths) n += l + SegmentsOf(l);
    return n + HeaderSize * Pages;
}

int MinimumPages(const std::vector<int64_t>& Lengths) {
    int64_t segs = 0;
    for (int64_t l : Lengths) segs += SegmentsOf(l);
    return (int)std::max<int64_t>(1, (segs + 254) / 255);
}

std::vector<uint8_t> PackPackets(const std::vector<std::span<const uint8_t>>& Packets, uint32_t Serial,
                                 uint32_t FirstSequence, uint64_t Granule, int Pages) {
    // Every lacing value with the packet bytes it stands for.
    struct TSeg {
        uint8_t Value;
        const uint8_t* Data;
    };
    std::vector<TSeg> segs;
    for (const auto& p : Packets) {
        size_t at = 0;
        for (int64_t k = 0; k < SegmentsOf((int64_t)p.size()); ++k) {
            const uint8_t v = (uint8_t)std::min<size_t>(255, p.size() - at);
            segs.push_back({v, p.data() + at});
            at += v;
        }
    }
    const size_t total = segs.size();
    if (Pages < 1 || total < (size_t)Pages || (total + Pages - 1) / Pages > 255) return {};
    std::vector<uint8_t> out;
    size_t next = 0;
    bool continued = false;
    for (int page = 0; page < Pages; ++page) {
        const size_t count = total / Pages + ((size_t)page < total % Pages ? 1 : 0);
        const size_t start = out.size();
        out.resize(start + HeaderSize + count);
        uint8_t* h = out.data() + start;
        std::memcpy(h, "OggS", 4);
        h[4] = 0;
        h[5] = continued ? FlagContinued : 0;
        bool ends = false;
        for (size_t i = 0; i < count; ++i) {
            const TSeg& s = segs[next + i];
            out[start + 27 + i] = s.Value;
            if (s.Value < 255) ends = true;
        }
        for (size_t i = 0; i < count; ++i) {
            const TSeg& s = segs[next + i];
            out.insert(out.end(), s.Data, s.Data + s.Value);
        }
        h = out.data() + start;
        const uint64_t g = ends ? Granule : NoGranule;
        PutLe32(h + 6, (uint32_t)g);
        PutLe32(h + 10, (uint32_t)(g >> 32));
        PutLe32(h + 14, Serial);
        h[26] = (uint8_t)count;
        continued = segs[next + count - 1].Value == 255;
        next += count;
        SetSequence(std::span<uint8_t>(out.data() + start, out.size() - start), FirstSequence + (uint32_t)page);
    }
    return out;
}

void RenumberPatches(TStream& S, int64_t Offset, uint32_t Serial, uint32_t NextSequence, int64_t Delta,
                     std::vector<TFilePatch>& Patches) {
    TPage page;
    int64_t pos = Offset;
    while (ReadPage(S, pos, page)) {
        pos += page.Size();
        if (page.Serial != Serial) continue;
        if (page.Flags & FlagFirst) break;  // a new stream that reuses the serial
        // A page whose checksum was already wrong is left as it is: a new
        // checksum would pass its damage off as sound.
        if (page.Sequence != NextSequence && page.CrcValid) {
            SetSequence(page.Bytes, NextSequence);
            Patches.push_back(
                {page.Offset + Delta + 18, std::vector<uint8_t>(page.Bytes.begin() + 18, page.Bytes.begin() + 26)});
        }
        ++NextSequence;
        if (page.Flags & FlagLast) break;
    }
}

uint64_t LastGranule(TStream& S, uint32_t Serial) {
    const int64_t size = S.Size();
    // A small window finds the last page of nearly every file; the second
    // covers the largest possible page behind trailing tags.
    for (int64_t window : {int64_t(16384), 2 * MaxPageSize + 65536}) {
        const int64_t n = std::min(size, window);
        if (S.Seek(size - n) != size - n) return NoGranule;
        std::vector<uint8_t> buf = S.ReadBytes(n);
        // From the last position where four bytes still fit, backwards.
        for (size_t pos = buf.size() < 4 ? 0 : buf.size() - 3; pos-- > 0;) {
            if (buf[pos] != 'O' || std::memcmp(buf.data() + pos, "OggS", 4) != 0) continue;
            const int64_t len = PageInBuffer(buf, pos);
            if (len == 0) continue;
            std::span<const uint8_t> p(buf.data() + pos, (size_t)len);
            if (Le32(p.data() + 14) != Serial || PageCrc(p) != Le32(p.data() + 22)) continue;
            const uint64_t g = Le64(p.data() + 6);
            if (g != NoGranule) return g;
        }
        if (n == size) break;
    }
    return NoGranule;
}

}  // namespace ogg
