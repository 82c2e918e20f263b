#include "tags/mp4/mp4_atoms.h"

#include <cstring>
#include <limits>

#include "tags/byte_io.h"
#include "tags/stream.h"

bool TAtomSpan::Is(std::string_view Name) const {
    return Name.size() == 4 && std::memcmp(Type.data(), Name.data(), 4) == 0;
}

uint32_t GetU32be(const uint8_t* P) {
    return ((uint32_t)P[0] << 24) | ((uint32_t)P[1] << 16) | ((uint32_t)P[2] << 8) | P[3];
}
uint64_t GetU64be(const uint8_t* P) { return ((uint64_t)GetU32be(P) << 32) | GetU32be(P + 4); }
void SetU32be(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V >> 24);
    P[1] = uint8_t(V >> 16);
    P[2] = uint8_t(V >> 8);
    P[3] = uint8_t(V);
}
void SetU64be(uint8_t* P, uint64_t V) {
    SetU32be(P, uint32_t(V >> 32));
    SetU32be(P + 4, uint32_t(V));
}
void PutU32be(std::vector<uint8_t>& Out, uint32_t V) {
    uint8_t b[4];
    SetU32be(b, V);
    Out.insert(Out.end(), b, b + 4);
}
void PutU64be(std::vector<uint8_t>& Out, uint64_t V) {
    uint8_t b[8];
    SetU64be(b, V);
    Out.insert(Out.end(), b, b + 8);
}
void PutAtomName(std::vector<uint8_t>& Out, std::string_view Name) {
    const TAtomName n = AtomName(Name);
    Out.insert(Out.end(), n.begin(), n.end());
}

std::vector<TAtomSpan> ChildAtoms(const uint8_t* Data, size_t Begin, size_t End) {
    std::vector<TAtomSpan> out;
    size_t p = Begin;
    while (p < End) {
        if (out.size() >= (size_t)mp4limit::MaxChildren) throw ETagFormat("too many atoms");
        const size_t left = End - p;
        if (left < 8) throw ETagFormat("atom header cut short");
        TAtomSpan a;
        a.Pos = p;
        std::memcpy(a.Type.data(), Data + p + 4, 4);
        uint64_t size = GetU32be(Data + p);
        if (size == 1) {
            if (left < 16) throw ETagFormat("atom header cut short");
            size = GetU64be(Data + p + 8);
            a.Header = 16;
        } else if (size == 0) {
            size = left;
        }
        if (size < a.Header || size > left) throw ETagFormat("corrupted atom size");
        a.Size = size;
        out.push_back(a);
        p += (size_t)size;
    }
    return out;
}

const TAtomSpan* FindChild(const std::vector<TAtomSpan>& Children, std::string_view Name) {
    for (const auto& c : Children)
        if (c.Is(Name)) return &c;
    return nullptr;
}

std::vector<TAtomSpan> TopLevelAtoms(TStream& S, uint64_t Start) {
    std::vector<TAtomSpan> out;
    const int64_t fileSize = S.Size();
    if (fileSize < 0) throw ETagFormat("stream has no size");
    const uint64_t end = (uint64_t)fileSize;
    uint64_t p = Start;
    while (p < end) {
        if (out.size() >= (size_t)mp4limit::MaxChildren) throw ETagFormat("too many atoms");
        const uint64_t left = end - p;
        if (left < 8) break;  // trailing bytes that hold no atom
        uint8_t h[16];
        if (S.Seek((int64_t)p) != (int64_t)p || !S.ReadExact(h, 8)) throw ETagFormat("unreadable atom header");
        TAtomSpan a;
        a.Pos = p;
        std::memcpy(a.Type.data(), h + 4, 4);
        uint64_t size = GetU32be(h);
        if (size == 1) {
            if (left < 16 || !S.ReadExact(h + 8, 8)) throw ETagFormat("atom header cut short");
            size = GetU64be(h + 8);
            a.Header = 16;
        } else if (size == 0) {
            size = left;
        }
        // Bytes that cannot be an atom (appended junk, a damaged header) end
        // the walk as a last, cut-short atom: what follows them is unknown.
        if (size < a.Header || size > left) {
            a.Size = left;
            a.Truncated = true;
            out.push_back(a);
            break;
        }
        a.Size = size;
        out.push_back(a);
        p += size;
    }
    return out;
}

size_t MetaChildrenOffset(const uint8_t* Body, size_t BodySize) {
    if (BodySize >= 8 && std::memcmp(Body + 4, "hdlr", 4) == 0) return 0;
    return BodySize >= 4 ? 4 : BodySize;
}

namespace {

bool HoldsItemList(const uint8_t* Data, const TAtomSpan& Meta) {
    const uint8_t* body = Data + Meta.BodyPos();
    const size_t size = (size_t)Meta.BodySize();
    return FindChild(ChildAtoms(body, MetaChildrenOffset(body, size), size), "ilst") != nullptr;
}

}  // namespace

const TAtomSpan* TagMeta(const uint8_t* Data, const std::vector<TAtomSpan>& UdtaChildren) {
    const TAtomSpan* first = nullptr;
    for (const auto& c : UdtaChildren) {
        if (!c.Is("meta")) continue;
        if (HoldsItemList(Data, c)) return &c;
        if (!first) first = &c;
    }
    return first;
}

const TAtomSpan* TagUdta(const uint8_t* Data, const std::vector<TAtomSpan>& MoovChildren) {
    const TAtomSpan *first = nullptr, *withMeta = nullptr;
    for (const auto& c : MoovChildren) {
        if (!c.Is("udta")) continue;
        if (!first) first = &c;
        const auto children = ChildAtoms(Data, (size_t)c.BodyPos(), (size_t)c.End());
        const TAtomSpan* meta = TagMeta(Data, children);
        if (meta && HoldsItemList(Data, *meta)) return &c;
        if (meta && !withMeta) withMeta = &c;
    }
    return withMeta ? withMeta : first;
}

namespace {

// One chunk-offset table: where its entries start and how wide they are.
struct TOffsetTable {
    size_t At;
    uint32_t Count;
    bool Wide;
};

void CollectTables(const std::vector<uint8_t>& Moov, std::vector<TOffsetTable>& Tables) {
    const uint8_t* d = Moov.data();
    auto moov = ChildAtoms(d, 0, Moov.size());
    if (moov.size() != 1) throw ETagFormat("not one moov atom");
    for (const auto& trak : ChildAtoms(d, moov[0].BodyPos(), moov[0].End())) {
        if (!trak.Is("trak")) continue;
        for (const auto& mdia : ChildAtoms(d, trak.BodyPos(), trak.End())) {
            if (!mdia.Is("mdia")) continue;
            for (const auto& minf : ChildAtoms(d, mdia.BodyPos(), mdia.End())) {
                if (!minf.Is("minf")) continue;
                for (const auto& stbl : ChildAtoms(d, minf.BodyPos(), minf.End())) {
                    if (!stbl.Is("stbl")) continue;
                    for (const auto& t : ChildAtoms(d, stbl.BodyPos(), stbl.End())) {
                        if (t.Is("saio")) {
                            // Sample auxiliary information (encryption data) is found
                            // by file positions too: version, flags (bit 0: type and
                            // parameter follow), count, 32- or 64-bit offsets.
                            const uint8_t* b = d + t.BodyPos();
                            if (t.BodySize() < 8) throw ETagFormat("stco");
                            const size_t head = 4 + ((b[3] & 1) ? 8 : 0);
                            const bool wide = b[0] != 0;
                            if (t.BodySize() < head + 4) throw ETagFormat("stco");
                            const uint32_t count = GetU32be(b + head);
                            if (count > (t.BodySize() - head - 4) / (wide ? 8 : 4)) throw ETagFormat("stco");
                            Tables.push_back({(size_t)t.BodyPos() + head + 4, count, wide});
                            continue;
                        }
                        const bool wide = t.Is("co64");
                        if (!wide && !t.Is("stco")) continue;
                        if (t.BodySize() < 8) throw ETagFormat(wide ? "co64" : "stco");
                        const uint32_t count = GetU32be(d + t.BodyPos() + 4);
                        const uint64_t room = (t.BodySize() - 8) / (wide ? 8 : 4);
                        if (count > room) throw ETagFormat(wide ? "co64" : "stco");
                        Tables.push_back({(size_t)t.BodyPos() + 8, count, wide});
                    }
                }
            }
        }
    }
}

}  // namespace

int ShiftChunkOffsets(std::vector<uint8_t>& Moov, uint64_t OldStart, uint64_t OldEnd, int64_t Delta) {
    std::vector<TOffsetTable> tables;
    try {
        CollectTables(Moov, tables);
    } catch (const ETagFormat& e) {
        return std::strcmp(e.what(), "co64") == 0 ? mp4result::ChunkOffsets64Failed : mp4result::ChunkOffsetsFailed;
    }
    if (Delta == 0) return mp4result::Success;
    // Every entry is checked before any is changed, so a refused table leaves
    // the atom as it was.
    auto shifted = [&](uint64_t v, uint64_t limit, uint64_t& out) {
        if (v < OldStart) {
            out = v;
            return true;
        }
        if (v < OldEnd) return false;
        out = Delta < 0 ? v - (uint64_t)-Delta : v + (uint64_t)Delta;
        return out >= v ? out <= limit : (Delta < 0);
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& t : tables) {
            uint8_t* p = Moov.data() + t.At;
            for (uint32_t i = 0; i < t.Count; ++i) {
                uint64_t v = t.Wide ? GetU64be(p + 8 * (size_t)i) : GetU32be(p + 4 * (size_t)i), n = 0;
                if (!shifted(v, t.Wide ? std::numeric_limits<uint64_t>::max() : 0xFFFFFFFFull, n))
                    return t.Wide ? mp4result::ChunkOffsets64Failed : mp4result::ChunkOffsetsFailed;
                if (pass == 1) {
                    if (t.Wide)
                        SetU64be(p + 8 * (size_t)i, n);
                    else
                        SetU32be(p + 4 * (size_t)i, (uint32_t)n);
                }
            }
        }
    }
    return mp4result::Success;
}
