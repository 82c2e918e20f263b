// The one bounds-checked byte reader and its mirror, the byte writer.
//
// TByteReader walks a span of bytes it does not own. Every read checks what
// remains first; reading past the end throws ETagFormat, which each native
// reader catches in its own scope. sub(n) hands out a reader limited to one
// child structure (a frame, a box, a block, a chunk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised inside the library for malformed input; never crosses the public API.
class ETagFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TByteReader {
public:
    TByteReader() = default;
    TByteReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Data ? Size : 0) {}
    explicit TByteReader(std::span<const uint8_t> Bytes) : FData(Bytes.data()), FSize(Bytes.size()) {}
    explicit TByteReader(const std::vector<uint8_t>& Bytes) : FData(Bytes.data()), FSize(Bytes.size()) {}

    size_t size() const { return FSize; }
    size_t position() const { return FPos; }
    size_t remaining() const { return FSize - FPos; }
    bool has(size_t Count) const { return Count <= FSize - FPos; }
    bool atEnd() const { return FPos >= FSize; }
    const uint8_t* data() const { return FData; }
    const uint8_t* current() const { return FData + FPos; }

    void seek(size_t Position);
    void skip(size_t Count);

    uint8_t u8();
    uint16_t u16be();
    uint16_t u16le();
    uint32_t u24be();
    uint32_t u32be();
    uint32_t u32le();
    uint64_t u64be();
    uint64_t u64le();
    // Four bytes of seven bits each, most significant first; top bits ignored.
    uint32_t syncsafe32();

    std::span<const uint8_t> bytes(size_t Count);
    std::vector<uint8_t> vec(size_t Count);
    // Raw bytes as a byte string (no conversion).
    std::string str(size_t Count);
    // Bytes up to (not including) a zero byte, or to the end; the zero is consumed.
    std::string strz();
    std::span<const uint8_t> rest() { return bytes(remaining()); }
    // A reader over the next Count bytes; this reader moves past them.
    TByteReader sub(size_t Count);
    // Peeks without moving.
    bool startsWith(std::string_view Magic) const;

private:
    void need(size_t Count) const;
    const uint8_t* FData = nullptr;
    size_t FSize = 0;
    size_t FPos = 0;
};

class TByteWriter {
public:
    TByteWriter& u8(uint8_t V);
    TByteWriter& u16be(uint16_t V);
    TByteWriter& u16le(uint16_t V);
    TByteWriter& u24be(uint32_t V);
    TByteWriter& u32be(uint32_t V);
    TByteWriter& u32le(uint32_t V);
    TByteWriter& u64be(uint64_t V);
    TByteWriter& u64le(uint64_t V);
    // Values above 0x0FFFFFFF cannot be expressed; callers check first.
    TByteWriter& syncsafe32(uint32_t V);
    TByteWriter& bytes(const void* Data, size_t Count);
    TByteWriter& bytes(std::span<const uint8_t> Data) { return bytes(Data.data(), Data.size()); }
    TByteWriter& str(std::string_view Text) { return bytes(Text.data(), Text.size()); }
    TByteWriter& zeros(size_t Count);
    // Overwrites earlier bytes, e.g. a size field once the body is known.
    void patchU32be(size_t At, uint32_t V);
    void patchU32le(size_t At, uint32_t V);

    size_t size() const { return FBuf.size(); }
    const std::vector<uint8_t>& data() const { return FBuf; }
    std::vector<uint8_t> take() { return std::move(FBuf); }

private:
    std::vector<uint8_t> FBuf;
};

uint32_t DecodeSyncSafe(const uint8_t Bytes[4]);
void EncodeSyncSafe(uint32_t Value, uint8_t Bytes[4]);
