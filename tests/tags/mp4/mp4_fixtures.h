// Small MP4 files built in code: atoms, items, tracks with chunk-offset
// tables, and media data whose bytes tell where they sit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/mp4/mp4_tag.h"

namespace mp4fx {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const auto& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes U16(uint16_t V) { return {uint8_t(V >> 8), uint8_t(V)}; }
inline Bytes U32(uint32_t V) { return {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)}; }
inline Bytes U64(uint64_t V) { return Cat({U32(uint32_t(V >> 32)), U32(uint32_t(V))}); }
inline Bytes Str(const std::string& S) { return Bytes(S.begin(), S.end()); }
inline Bytes Name(const std::string& Type) {
    const TAtomName n = AtomName(Type);
    return Bytes(n.begin(), n.end());
}
// size, type, body
inline Bytes Atom(const std::string& Type, const Bytes& Body) {
    return Cat({U32(uint32_t(Body.size() + 8)), Name(Type), Body});
}
// size 1, type, 64-bit size, body
inline Bytes WideAtom(const std::string& Type, const Bytes& Body) {
    return Cat({U32(1), Name(Type), U64(Body.size() + 16), Body});
}
inline Bytes Ftyp() { return Atom("ftyp", Cat({Str("M4A "), U32(0), Str("M4A isom")})); }
// data child: type indicator, 4 locale bytes, payload
inline Bytes Data(uint32_t Type, const Bytes& Payload) { return Atom("data", Cat({U32(Type), U32(0), Payload})); }
inline Bytes TextItem(const std::string& ID, const std::string& Value) { return Atom(ID, Data(1, Str(Value))); }
inline Bytes Freeform(const std::string& Name, const std::string& Value) {
    return Atom("----", Cat({Atom("mean", Cat({U32(0), Str("com.apple.iTunes")})),
                             Atom("name", Cat({U32(0), Str(Name)})), Data(1, Str(Value))}));
}
inline Bytes Handler() { return Atom("hdlr", Cat({U32(0), U32(0), Str("mdirappl"), U32(0), U32(0), Bytes{0}})); }
// meta (full box) holding hdlr and the items, plus Extra children after the ilst
inline Bytes Meta(const Bytes& Items, const Bytes& Extra = {}) {
    return Atom("meta", Cat({U32(0), Handler(), Atom("ilst", Items), Extra}));
}
// mvhd version 0: times, time scale, duration, then the rest zeroed
inline Bytes Mvhd(uint32_t Scale, uint32_t Duration) {
    return Atom("mvhd", Cat({U32(0), U32(0), U32(0), U32(Scale), U32(Duration), Bytes(80, 0)}));
}
// An AAC track whose chunk offsets are Offsets (co64 when Wide).
inline Bytes Trak(const std::vector<uint64_t>& Offsets, bool Wide = false, uint16_t Channels = 2,
                  uint32_t Rate = 44100) {
    Bytes table = Cat({U32(0), U32((uint32_t)Offsets.size())});
    for (uint64_t o : Offsets) table = Cat({table, Wide ? U64(o) : U32((uint32_t)o)});
    const Bytes mp4a = Atom("mp4a", Cat({Bytes(6, 0), U16(1), Bytes(8, 0), U16(Channels), U16(16), U16(0), U16(0),
                                         U16(uint16_t(Rate)), U16(0)}));
    const Bytes stsd = Atom("stsd", Cat({U32(0), U32(1), mp4a}));
    const Bytes stbl = Atom("stbl", Cat({stsd, Atom(Wide ? "co64" : "stco", table)}));
    return Atom("trak", Cat({Atom("tkhd", Bytes(84, 0)), Atom("mdia", Atom("minf", stbl))}));
}
// Media data whose every 4-byte word holds its own file position, so that a
// chunk offset can be checked by reading what it points at.
inline Bytes Mdat(uint64_t FilePos, size_t Words) {
    Bytes body;
    for (size_t i = 0; i < Words; ++i) body = Cat({body, U32(uint32_t(FilePos + 8 + 4 * i))});
    return Atom("mdat", body);
}

// A file with moov in front of the media data; every track has two chunks.
inline Bytes FastStart(const Bytes& Udta, int Tracks = 1, bool Wide = false, const Bytes& MoovExtra = {}) {
    auto build = [&](uint64_t MdatPos) {
        Bytes body = Mvhd(1000, 3000);
        for (int t = 0; t < Tracks; ++t)
            body = Cat({body, Trak({MdatPos + 8 + 32 * (uint64_t)t, MdatPos + 8 + 32 * (uint64_t)t + 16}, Wide)});
        return Atom("moov", Cat({body, MoovExtra, Udta}));
    };
    const uint64_t mdatPos = Ftyp().size() + build(0).size();
    return Cat({Ftyp(), build(mdatPos), Mdat(mdatPos, 64)});
}

inline Bytes Udta(const Bytes& Items, const Bytes& Extra = {}) { return Atom("udta", Cat({Meta(Items), Extra})); }

// A tagged file as players leave it: texts, numbers, a genre, a release
// date, a freeform item and a front cover. Audio: the media data's body.
struct TTaggedFile {
    Bytes File;
    Bytes Audio;
};
inline TTaggedFile TaggedM4a() {
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const Bytes items =
        Cat({TextItem("©nam", "Title"), TextItem("©ART", "Artist"), TextItem("©alb", "Album"),
             Atom("trkn", Data(0, {0, 0, 0, 3, 0, 12, 0, 0})), TextItem("©gen", "Rock"), TextItem("©day", "2003-05-01"),
             TextItem("©cmt", "Comment"), Freeform("MOOD", "Calm"), Atom("covr", Data(14, png))});
    Bytes f = FastStart(Udta(items));
    const Bytes audio(f.end() - 64 * 4, f.end());
    return {f, audio};
}

}  // namespace mp4fx
