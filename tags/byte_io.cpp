#include "tags/byte_io.h"

#include <cstring>

void TByteReader::need(size_t Count) const {
    if (Count > FSize - FPos) throw ETagFormat("read past the end of a structure");
}

void TByteReader::seek(size_t Position) {
    if (Position > FSize) throw ETagFormat("seek past the end of a structure");
    FPos = Position;
}

void TByteReader::skip(size_t Count) {
    need(Count);
    FPos += Count;
}

uint8_t TByteReader::u8() {
    need(1);
    return FData[FPos++];
}

uint16_t TByteReader::u16be() {
    need(2);
    uint16_t v = (uint16_t)((FData[FPos] << 8) | FData[FPos + 1]);
    FPos += 2;
    return v;
}

uint16_t TByteReader::u16le() {
    need(2);
    uint16_t v = (uint16_t)(FData[FPos] | (FData[FPos + 1] << 8));
    FPos += 2;
    return v;
}

uint32_t TByteReader::u24be() {
    need(3);
    uint32_t v = ((uint32_t)FData[FPos] << 16) | ((uint32_t)FData[FPos + 1] << 8) | FData[FPos + 2];
    FPos += 3;
    return v;
}

uint32_t TByteReader::u32be() {
    need(4);
    uint32_t v = ((uint32_t)FData[FPos] << 24) | ((uint32_t)FData[FPos + 1] << 16) | ((uint32_t)FData[FPos + 2] << 8) |
                 FData[FPos + 3];
    FPos += 4;
    return v;
}

uint32_t TByteReader::u32le() {
    need(4);
    uint32_t v = ((uint32_t)FData[FPos + 3] << 24) | ((uint32_t)FData[FPos + 2] << 16) |
                 ((uint32_t)FData[FPos + 1] << 8) | FData[FPos];
    FPos += 4;
    return v;
}

uint64_t TByteReader::u64be() {
    uint64_t hi = u32be();
    return (hi << 32) | u32be();
}

uint64_t TByteReader::u64le() {
    uint64_t lo = u32le();
    return lo | ((uint64_t)u32le() << 32);
}

uint32_t TByteReader::syncsafe32() {
    need(4);
    uint32_t v = DecodeSyncSafe(FData + FPos);
    FPos += 4;
    return v;
}

std::span<const uint8_t> TByteReader::bytes(size_t Count) {
    need(Count);
    std::span<const uint8_t> s(FData + FPos, Count);
    FPos += Count;
    return s;
}

std::vector<uint8_t> TByteReader::vec(size_t Count) {
    auto s = bytes(Count);
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string TByteReader::str(size_t Count) {
    auto s = bytes(Count);
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::string TByteReader::strz() {
    size_t start = FPos;
    size_t end = start;
    while (end < FSize && FData[end] != 0) ++end;
    std::string s(reinterpret_cast<const char*>(FData + start), end - start);
    FPos = end < FSize ? end + 1 : end;
    return s;
}

TByteReader TByteReader::sub(size_t Count) {
    need(Count);
    TByteReader r(FData + FPos, Count);
    FPos += Count;
    return r;
}

bool TByteReader::startsWith(std::string_view Magic) const {
    return Magic.size() <= FSize - FPos && std::memcmp(FData + FPos, Magic.data(), Magic.size()) == 0;
}

// ---- writer -----------------------------------------------------------------

TByteWriter& TByteWriter::u8(uint8_t V) {
    FBuf.push_back(V);
    return *this;
}
TByteWriter& TByteWriter::u16be(uint16_t V) {
    u8((uint8_t)(V >> 8));
    return u8((uint8_t)V);
}
TByteWriter& TByteWriter::u16le(uint16_t V) {
    u8((uint8_t)V);
    return u8((uint8_t)(V >> 8));
}
TByteWriter& TByteWriter::u24be(uint32_t V) {
    u8((uint8_t)(V >> 16));
    u8((uint8_t)(V >> 8));
    return u8((uint8_t)V);
}
TByteWriter& TByteWriter::u32be(uint32_t V) {
    u16be((uint16_t)(V >> 16));
    return u16be((uint16_t)V);
}
TByteWriter& TByteWriter::u32le(uint32_t V) {
    u16le((uint16_t)V);
    return u16le((uint16_t)(V >> 16));
}
TByteWriter& TByteWriter::u64be(uint64_t V) {
    u32be((uint32_t)(V >> 32));
    return u32be((uint32_t)V);
}
TByteWriter& TByteWriter::u64le(uint64_t V) {
    u32le((uint32_t)V);
    return u32le((uint32_t)(V >> 32));
}
TByteWriter& TByteWriter::syncsafe32(uint32_t V) {
    uint8_t b[4];
    EncodeSyncSafe(V, b);
    return bytes(b, 4);
}
TByteWriter& TByteWriter::bytes(const void* Data, size_t Count) {
    auto* p = static_cast<const uint8_t*>(Data);
    FBuf.insert(FBuf.end(), p, p + Count);
    return *this;
}
TByteWriter& TByteWriter::zeros(size_t Count) {
    FBuf.insert(FBuf.end(), Count, 0);
    return *this;
}

void TByteWriter::patchU32be(size_t At, uint32_t V) {
    if (At > FBuf.size() || FBuf.size() - At < 4) throw ETagFormat("patch outside the written bytes");
    FBuf[At] = (uint8_t)(V >> 24);
    FBuf[At + 1] = (uint8_t)(V >> 16);
    FBuf[At + 2] = (uint8_t)(V >> 8);
    FBuf[At + 3] = (uint8_t)V;
}

void TByteWriter::patchU32le(size_t At, uint32_t V) {
    if (At > FBuf.size() || FBuf.size() - At < 4) throw ETagFormat("patch outside the written bytes");
    FBuf[At] = (uint8_t)V;
    FBuf[At + 1] = (uint8_t)(V >> 8);
    FBuf[At + 2] = (uint8_t)(V >> 16);
    FBuf[At + 3] = (uint8_t)(V >> 24);
}

uint32_t DecodeSyncSafe(const uint8_t B[4]) {
    return ((uint32_t)(B[0] & 0x7F) << 21) | ((uint32_t)(B[1] & 0x7F) << 14) | ((uint32_t)(B[2] & 0x7F) << 7) |
           (uint32_t)(B[3] & 0x7F);
}

void EncodeSyncSafe(uint32_t V, uint8_t B[4]) {
    B[0] = (uint8_t)((V >> 21) & 0x7F);
    B[1] = (uint8_t)((V >> 14) & 0x7F);
    B[2] = (uint8_t)((V >> 7) & 0x7F);
    B[3] = (uint8_t)(V & 0x7F);
}
