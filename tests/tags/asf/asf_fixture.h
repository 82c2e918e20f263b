// A small ASF (WMA) file built in code, for the WMA tests and the contract suite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/byte_io.h"

namespace asffixture {

using Guid = std::vector<uint8_t>;
inline const Guid HeaderG = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const Guid DataG = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const Guid FilePropsG = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
inline const Guid StreamPropsG = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
inline const Guid AudioG = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                            0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
inline const Guid CodecListG = {0x40, 0x52, 0xD1, 0x86, 0x1D, 0x31, 0xD0, 0x11,
                                0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6};
inline const Guid EcdG = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                          0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
inline const Guid LibraryG = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                              0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
inline const Guid PaddingG = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                              0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};

inline std::vector<uint8_t> Obj(const Guid& G, const std::vector<uint8_t>& Payload) {
    TByteWriter w;
    w.bytes(G.data(), 16).u64le(24 + Payload.size()).bytes(Payload);
    return w.take();
}

inline std::vector<uint8_t> U16z(const std::string& S) {
    std::vector<uint8_t> v;
    for (char c : S) v.push_back(uint8_t(c)), v.push_back(0);
    v.push_back(0), v.push_back(0);
    return v;
}

struct TDescriptor {
    std::string Name;
    uint16_t DiskType;
    std::vector<uint8_t> Value;
};

// A small ASF file: File Properties (5 s after a 3.1 s preroll, 128 kbit/s),
// one audio stream, a codec list, the descriptors, optional padding, and a
// Data Object of DataBytes bytes.
inline std::vector<uint8_t> MakeAsf(const std::vector<TDescriptor>& Ecd, size_t Padding = 0, size_t DataBytes = 3000) {
    TByteWriter fp;
    fp.zeros(16)
        .u64le(0)
        .u64le(0)
        .u64le(3)
        .u64le(81150000)
        .u64le(81150000)
        .u64le(3100)
        .u32le(2)
        .u32le(1000)
        .u32le(1000)
        .u32le(128000);
    TByteWriter sp;
    sp.bytes(AudioG.data(), 16).zeros(16).u64le(0).u32le(18).u32le(0).u16le(1).u32le(0);
    sp.u16le(0x161).u16le(2).u32le(44100).u32le(16000).u16le(1000).u16le(16).u16le(0);
    TByteWriter cl;
    cl.zeros(16).u32le(1).u16le(2);
    const auto name = U16z("Windows Media Audio V8");
    cl.u16le(uint16_t(name.size() / 2)).bytes(name).u16le(1).u16le(0).u16le(2).u16le(0x161);
    TByteWriter ecd;
    ecd.u16le((uint16_t)Ecd.size());
    for (const auto& d : Ecd) {
        const auto n = U16z(d.Name);
        ecd.u16le((uint16_t)n.size()).bytes(n).u16le(d.DiskType).u16le((uint16_t)d.Value.size()).bytes(d.Value);
    }
    std::vector<std::vector<uint8_t>> children = {Obj(FilePropsG, fp.take()), Obj(StreamPropsG, sp.take()),
                                                  Obj(CodecListG, cl.take())};
    if (!Ecd.empty()) children.push_back(Obj(EcdG, ecd.take()));
    if (Padding) children.push_back(Obj(PaddingG, std::vector<uint8_t>(Padding - 24, 0)));
    size_t total = 30;
    for (auto& c : children) total += c.size();
    TByteWriter w;
    w.bytes(HeaderG.data(), 16).u64le(total).u32le((uint32_t)children.size()).u8(1).u8(2);
    for (auto& c : children) w.bytes(c);
    TByteWriter data;
    data.zeros(16).u64le(3).u16le(0x0101);
    for (size_t i = 0; i < DataBytes; ++i) data.u8(uint8_t(i * 7));
    w.bytes(Obj(DataG, data.take()));
    return w.take();
}

inline std::vector<uint8_t> Str(const std::string& S) { return U16z(S); }
inline std::vector<uint8_t> Dword(uint32_t V) {
    TByteWriter w;
    w.u32le(V);
    return w.take();
}

}  // namespace asffixture
