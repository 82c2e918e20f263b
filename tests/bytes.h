// Byte builders every test shares: integers in each byte order, ID3v2 frames
// and tags, an ID3v1 block, MPEG frames, RIFF / AIFF / DSF / DSDIFF
// containers, and picture stand-ins. Each builds its bytes field by field.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace tbytes {

using Bytes = std::vector<uint8_t>;

inline Bytes Str(const std::string& S) { return Bytes(S.begin(), S.end()); }
inline Bytes Cat(Bytes A, const Bytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}
template <class... T>
Bytes Cat(Bytes A, const Bytes& B, const T&... Rest) {
    return Cat(Cat(std::move(A), B), Rest...);
}
inline Bytes Concat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes SyncSafe(uint32_t V) {
    return {uint8_t((V >> 21) & 0x7F), uint8_t((V >> 14) & 0x7F), uint8_t((V >> 7) & 0x7F), uint8_t(V & 0x7F)};
}
inline Bytes BE32(uint32_t V) { return {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)}; }
inline Bytes LE32(uint32_t V) { return {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)}; }
inline Bytes LE64(uint64_t V) { return Cat(LE32(uint32_t(V)), LE32(uint32_t(V >> 32))); }
inline Bytes BE64(uint64_t V) { return Cat(BE32(uint32_t(V >> 32)), BE32(uint32_t(V))); }
// Grows one buffer in place.
inline void Append(Bytes& A, const Bytes& B) { A.insert(A.end(), B.begin(), B.end()); }

// Vorbis comment body (FLAC block 4; an Ogg comment packet after its signature):
// vendor length, vendor, field count, then each field with its length, lengths
// little-endian. Count and VendorLength, when not negative, are written in place
// of the true ones.
inline Bytes VorbisComments(const std::vector<std::string>& Fields, const std::string& Vendor, int64_t Count = -1,
                            int64_t VendorLength = -1) {
    Bytes b = LE32(VendorLength < 0 ? (uint32_t)Vendor.size() : (uint32_t)VendorLength);
    Append(b, Str(Vendor));
    Append(b, LE32(Count < 0 ? (uint32_t)Fields.size() : (uint32_t)Count));
    for (const auto& f : Fields) {
        Append(b, LE32((uint32_t)f.size()));
        Append(b, Str(f));
    }
    return b;
}

// Frame of version 2.2 (3-byte ID, 3-byte size), 2.3 (plain size) or 2.4 (sync-safe size).
inline Bytes Frame(int Version, const std::string& ID, const Bytes& Body, uint16_t Flags = 0) {
    if (Version == 2) {
        uint32_t n = (uint32_t)Body.size();
        return Cat(Str(ID), Bytes{uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)}, Body);
    }
    Bytes size = Version == 4 ? SyncSafe((uint32_t)Body.size()) : BE32((uint32_t)Body.size());
    return Cat(Str(ID), size, Bytes{uint8_t(Flags >> 8), uint8_t(Flags)}, Body);
}
// Latin-1 text frame body: encoding 0, the text.
inline Bytes Text0(const std::string& S) { return Cat(Bytes{0}, Str(S)); }
// Latin-1 TXXX body: encoding 0, description, 0, value.
inline Bytes UserText0(const std::string& Description, const std::string& Value) {
    return Cat(Bytes{0}, Str(Description), Bytes{0}, Str(Value));
}
// Latin-1 COMM / USLT body: encoding 0, language (3), description, 0, text.
inline Bytes Content0(const std::string& Language, const std::string& Description, const std::string& S) {
    return Cat(Bytes{0}, Str(Language.substr(0, 3)), Str(Description), Bytes{0}, Str(S));
}
// APIC body of version 2.3 / 2.4: encoding 0, MIME, 0, type, description, 0, picture.
inline Bytes Picture0(const std::string& MIME, uint8_t Type, const std::string& Description, const Bytes& Data) {
    return Cat(Bytes{0}, Str(MIME), Bytes{0, Type}, Str(Description), Bytes{0}, Data);
}
// A PNG signature and IHDR chunk, then filler: enough for type detection.
inline Bytes Png(size_t Size = 300) {
    Bytes b = Cat(Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}, Str("IHDR"),
                  Bytes{0, 0, 1, 0, 0, 0, 1, 0, 8, 2, 0, 0, 0, 0, 0, 0, 0});
    for (size_t i = b.size(); i < Size; ++i) b.push_back(uint8_t(i * 7 + 3));
    return b;
}

// Header + frames + padding zero bytes.
inline Bytes Tag(int Version, const Bytes& Frames, uint32_t Padding = 0, uint8_t Flags = 0) {
    return Cat(Str("ID3"), Bytes{uint8_t(Version), 0, Flags}, SyncSafe((uint32_t)Frames.size() + Padding), Frames,
               Bytes(Padding, 0));
}

inline Bytes Deflate(const Bytes& Data) {
    uLongf n = compressBound((uLong)Data.size());
    Bytes out(n);
    compress2(out.data(), &n, Data.data(), (uLong)Data.size(), 9);
    out.resize(n);
    return out;
}

// A few valid MPEG-1 Layer III frames (silence, 128 kbit/s, 44.1 kHz stereo): 417 bytes a frame.
inline Bytes MpegFrames(int Count) {
    Bytes out;
    for (int i = 0; i < Count; ++i) {
        const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x00};
        out.insert(out.end(), header, header + 4);
        out.insert(out.end(), 417 - 4, 0);
    }
    return out;
}

// 128-byte ID3v1.1 block (texts are raw bytes, cut to their widths).
inline Bytes ID3v1Block(const std::string& Title, const std::string& Artist, const std::string& Album,
                        const std::string& Year, const std::string& Comment, uint8_t Track, uint8_t Genre) {
    Bytes b(128, 0);
    auto put = [&](size_t At, size_t Width, const std::string& S) {
        std::memcpy(b.data() + At, S.data(), std::min(Width, S.size()));
    };
    put(0, 3, "TAG");
    put(3, 30, Title);
    put(33, 30, Artist);
    put(63, 30, Album);
    put(93, 4, Year);
    put(97, 28, Comment);
    b[126] = Track;
    b[127] = Genre;
    return b;
}

// Audio stand-in: bytes that never look like a tag.
inline Bytes Audio(size_t N, uint8_t Seed = 7) {
    Bytes b(N);
    uint32_t x = Seed;
    for (auto& c : b) {
        x = x * 1103515245 + 12345;
        c = uint8_t((x >> 16) | 0x01);
    }
    return b;
}

inline Bytes Chunk(const std::string& ID, const Bytes& Data, bool BigEndian = false) {
    Bytes b = Cat(Str(ID), BigEndian ? BE32((uint32_t)Data.size()) : LE32((uint32_t)Data.size()), Data);
    if (Data.size() & 1) b.push_back(0);
    return b;
}
inline Bytes FmtChunk() {
    // PCM, 2 channels, 44100 Hz, 16 bits.
    return Chunk("fmt ", Cat(Bytes{1, 0, 2, 0}, LE32(44100), LE32(176400), Bytes{4, 0, 16, 0}));
}
inline Bytes Wave(const Bytes& Chunks) {
    return Cat(Str("RIFF"), LE32(4 + (uint32_t)Chunks.size()), Str("WAVE"), Chunks);
}
inline Bytes Aiff(const Bytes& Chunks) {
    return Cat(Str("FORM"), BE32(4 + (uint32_t)Chunks.size()), Str("AIFF"), Chunks);
}

// DSF: "DSD " chunk (28 bytes: total size, metadata pointer), "fmt " (52), "data".
inline Bytes Dsf(const Bytes& AudioData, const Bytes& TagBytes) {
    Bytes fmt = Cat(Str("fmt "), LE64(52), LE32(1), LE32(0), LE32(2), LE32(2), LE32(2822400), LE32(1),
                    LE64(AudioData.size() * 4), LE32(4096), LE32(0));
    Bytes data = Cat(Str("data"), LE64(12 + AudioData.size()), AudioData);
    uint64_t total = 28 + fmt.size() + data.size() + TagBytes.size();
    uint64_t ptr = TagBytes.empty() ? 0 : 28 + fmt.size() + data.size();
    return Cat(Str("DSD "), LE64(28), LE64(total), LE64(ptr), fmt, data, TagBytes);
}

// DSDIFF: FRM8 form of type "DSD " with 12-byte chunk headers.
inline Bytes DffChunk(const std::string& ID, const Bytes& Data) {
    Bytes b = Cat(Str(ID), BE64(Data.size()), Data);
    if (Data.size() & 1) b.push_back(0);
    return b;
}
inline Bytes Dff(const Bytes& Chunks) { return Cat(Str("FRM8"), BE64(4 + Chunks.size()), Str("DSD "), Chunks); }

}  // namespace tbytes
