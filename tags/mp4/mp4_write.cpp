// Writing the item list back: the whole moov is rebuilt in memory (every
// child the tag does not own copied whole), placed in the space of the old
// moov and the free atoms behind it when it fits, and otherwise the region is
// replaced through the shared file edit, with every chunk offset that points
// behind the region moved by the change in length.
#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/mp4/mp4_atoms.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/padding.h"
#include "tags/text.h"

// ---- serialization ------------------------------------------------------------------

void TMP4Atom::Write(std::vector<uint8_t>& Out) const {
    if (!Changed && !Raw.empty()) {
        Out.insert(Out.end(), Raw.begin(), Raw.end());
        return;
    }
    PutU32be(Out, (uint32_t)CalculateAtomSize());
    Out.insert(Out.end(), ID.begin(), ID.end());
    auto child = [&](const char* Type, const std::vector<uint8_t>& Body) {
        PutU32be(Out, uint32_t(Body.size() + 8));
        PutAtomName(Out, Type);
        Out.insert(Out.end(), Body.begin(), Body.end());
    };
    if (!mean.empty()) child("mean", mean);
    if (!name.empty()) child("name", name);
    for (const auto& d : Datas) {
        PutU32be(Out, uint32_t(d.Data.size() + 16));
        PutAtomName(Out, "data");
        PutU32be(Out, d.DataType);
        Out.insert(Out.end(), d.Reserved.begin(), d.Reserved.end());
        Out.insert(Out.end(), d.Data.begin(), d.Data.end());
    }
}

uint64_t TMP4Tag::CalculateSize() const {
    if (Atoms.empty()) return 0;
    uint64_t n = 8;
    for (const auto& a : Atoms) n += a.CalculateAtomSize();
    return n;
}

// Attribute: size, name length, name, value count, then per value its size
// (+6), 16-bit type and bytes; a UTF-16 text value gets its terminating zero.
std::vector<uint8_t> TMP4Tag::CreateXtraAtom() const {
    std::vector<uint8_t> out;
    PutU32be(out, 0);
    PutAtomName(out, "Xtra");
    bool any = false;
    for (const auto& x : Xtras) {
        std::vector<const TMP4XtraProperty*> valid;
        uint64_t total = 0;
        for (const auto& p : x.Properties)
            if (p.PropType != 0 && !p.Data.empty()) {
                valid.push_back(&p);
                total += p.Data.size();
            }
        if (total == 0) continue;
        auto terminated = [](const TMP4XtraProperty& p) {
            return p.PropType != 8 ||
                   (p.Data.size() >= 2 && p.Data[p.Data.size() - 1] == 0 && p.Data[p.Data.size() - 2] == 0);
        };
        uint64_t attr = 12 + x.Name.size();
        for (auto* p : valid) attr += p->Data.size() + 6 + (terminated(*p) ? 0 : 2);
        PutU32be(out, (uint32_t)attr);
        PutU32be(out, (uint32_t)x.Name.size());
        out.insert(out.end(), x.Name.begin(), x.Name.end());
        PutU32be(out, (uint32_t)valid.size());
        for (auto* p : valid) {
            const bool term = terminated(*p);
            PutU32be(out, uint32_t(p->Data.size() + (term ? 6 : 8)));
            out.push_back(uint8_t(p->PropType >> 8));
            out.push_back(uint8_t(p->PropType));
            out.insert(out.end(), p->Data.begin(), p->Data.end());
            if (!term) out.insert(out.end(), 2, 0);
        }
        any = true;
    }
    if (!any) return {};
    SetU32be(out.data(), (uint32_t)out.size());
    return out;
}

namespace {

constexpr uint8_t HandlerAtom[33] = {0,   0,   0,   0x21, 'h', 'd', 'l', 'r', 0, 0, 0, 0, 0, 0, 0, 0, 'm',
                                     'd', 'i', 'r', 'a',  'p', 'p', 'l', 0,   0, 0, 0, 0, 0, 0, 0, 0};

// An atom around Body; a 64-bit header where the old atom had one or the size needs it.
void PutAtom(std::vector<uint8_t>& Out, std::string_view Type, const std::vector<uint8_t>& Body, bool Wide) {
    const uint64_t size = Body.size() + (Wide ? 16 : 8);
    if (Wide || size > 0xFFFFFFFFull) {
        PutU32be(Out, 1);
        PutAtomName(Out, Type);
        PutU64be(Out, Body.size() + 16);
    } else {
        PutU32be(Out, (uint32_t)size);
        PutAtomName(Out, Type);
    }
    Out.insert(Out.end(), Body.begin(), Body.end());
}

void PutFree(std::vector<uint8_t>& Out, uint64_t Size) {
    if (Size < 8) return;
    PutU32be(Out, (uint32_t)Size);
    PutAtomName(Out, "free");
    Out.insert(Out.end(), (size_t)Size - 8, 0);
}

// A kept child, copied whole. One whose size field says "to the end of the
// parent" (0) gets its real size, since other atoms may follow it now.
void Append(std::vector<uint8_t>& Out, const uint8_t* From, const TAtomSpan& A) {
    const size_t at = Out.size();
    Out.insert(Out.end(), From + A.Pos, From + A.End());
    if (GetU32be(Out.data() + at) == 0) SetU32be(Out.data() + at, (uint32_t)A.Size);
}

// What a save keeps of the old moov, and where the parts the tag owns go.
struct TMoovLayout {
    std::vector<uint8_t> Old;  // the old moov, whole
    bool Found = false, MoovWide = false, UdtaWide = false, MetaWide = false;
    bool HasIlst = false;                        // the old meta held an item list
    bool Fragmented = false;                     // movie fragments follow (mvex)
    std::vector<uint8_t> MoovBefore, MoovAfter;  // moov children before / after the udta
    std::vector<uint8_t> UdtaBefore, UdtaAfter;  // udta children before / after the meta
    std::vector<uint8_t> MetaHead;               // version and flags (empty for a QuickTime meta)
    std::vector<uint8_t> MetaBefore, MetaAfter;  // meta children before / after the ilst
    bool HasHandler = false;
    bool XtraBeforeMeta = false;
    std::vector<uint8_t> OldXtra;  // the Xtra box the file holds now
    uint64_t OldFree = 0;          // bytes of the free atoms the save drops from the moov
};

void ReadLayout(TMoovLayout& L, const TMP4Tag& Tag) {
    const uint8_t* d = L.Old.data();
    const auto moov = ChildAtoms(d, 0, L.Old.size());
    L.MoovWide = moov.at(0).Header == 16;
    const auto children = ChildAtoms(d, moov[0].BodyPos(), moov[0].End());
    // The udta and meta the reader took the items from; every other udta
    // (location, chapters) is kept whole in its place.
    const TAtomSpan* tagUdta = TagUdta(d, children);
    bool udtaSeen = false, metaSeen = false;
    for (const auto& c : children) {
        if (c.Is("mvex")) L.Fragmented = true;
        if (c.Is("free")) {
            L.OldFree += c.Size;
            continue;
        }
        if (&c != tagUdta) {
            Append(udtaSeen ? L.MoovAfter : L.MoovBefore, d, c);
            continue;
        }
        L.UdtaWide = c.Header == 16;
        udtaSeen = true;
        bool xtraSeen = false;
        const auto udta = ChildAtoms(d, c.BodyPos(), c.End());
        const TAtomSpan* tagMeta = TagMeta(d, udta);
        for (const auto& u : udta) {
            if (u.Is("free")) {
                L.OldFree += u.Size;
                continue;
            }
            // The tag holds the first Xtra box of its udta; any other is kept.
            if (u.Is("Xtra") && !xtraSeen) {
                if (!metaSeen) L.XtraBeforeMeta = true;
                Append(L.OldXtra, d, u);
                xtraSeen = true;
                continue;
            }
            if (&u != tagMeta) {
                Append(metaSeen ? L.UdtaAfter : L.UdtaBefore, d, u);
                continue;
            }
            metaSeen = true;
            L.MetaWide = u.Header == 16;
            const uint8_t* body = d + u.BodyPos();
            const size_t off = MetaChildrenOffset(body, (size_t)u.BodySize());
            L.MetaHead.assign(body, body + off);
            bool ilstSeen = false;
            for (const auto& m : ChildAtoms(body, off, (size_t)u.BodySize())) {
                if (m.Is("free")) {
                    L.OldFree += m.Size;
                    continue;
                }
                if (m.Is("ilst") && !ilstSeen) {
                    ilstSeen = L.HasIlst = true;
                    continue;
                }
                if (m.Is("hdlr")) L.HasHandler = true;
                Append(ilstSeen ? L.MetaAfter : L.MetaBefore, body, m);
            }
        }
    }
    if (!metaSeen) {
        L.MetaHead = {Tag.Version, 0, 0, 0};
    }
}

// The new moov; Free is the size of the free atom after the item list (0: none).
std::vector<uint8_t> BuildMoov(const TMoovLayout& L, const std::vector<uint8_t>& Ilst, const std::vector<uint8_t>& Xtra,
                               uint64_t Free) {
    std::vector<uint8_t> meta = L.MetaHead;
    meta.insert(meta.end(), L.MetaBefore.begin(), L.MetaBefore.end());
    if (!L.HasHandler) meta.insert(meta.end(), HandlerAtom, HandlerAtom + sizeof HandlerAtom);
    meta.insert(meta.end(), Ilst.begin(), Ilst.end());
    PutFree(meta, Free);
    meta.insert(meta.end(), L.MetaAfter.begin(), L.MetaAfter.end());

    std::vector<uint8_t> udta = L.UdtaBefore;
    if (L.XtraBeforeMeta) udta.insert(udta.end(), Xtra.begin(), Xtra.end());
    PutAtom(udta, "meta", meta, L.MetaWide);
    if (!L.XtraBeforeMeta) udta.insert(udta.end(), Xtra.begin(), Xtra.end());
    udta.insert(udta.end(), L.UdtaAfter.begin(), L.UdtaAfter.end());

    std::vector<uint8_t> body = L.MoovBefore;
    PutAtom(body, "udta", udta, L.UdtaWide);
    body.insert(body.end(), L.MoovAfter.begin(), L.MoovAfter.end());
    std::vector<uint8_t> moov;
    PutAtom(moov, "moov", body, L.MoovWide);
    return moov;
}

bool ReadAt(TStream& S, uint64_t Pos, std::vector<uint8_t>& Out, uint64_t Size) {
    Out.resize((size_t)Size);
    return S.Seek((int64_t)Pos) == (int64_t)Pos && S.ReadExact(Out.data(), (int64_t)Size);
}

// A save planned against the current content of a stream. NoChange: the
// file already holds exactly these bytes.
struct TSavePlan {
    TFileEdit Edit;
    bool NoChange = false;
};

int PlanSave(const TMP4Tag& Tag, TStream& S, bool KeepPadding, TSavePlan& Plan) {
    const int64_t fileSize = S.Size();
    std::vector<uint8_t> ilst;
    PutU32be(ilst, 8);
    PutAtomName(ilst, "ilst");
    for (const auto& a : Tag.Atoms) {
        if (a.CalculateAtomSize() > 0xFFFFFFFFull) return mp4result::FileOpenFailed;
        // A picture whose bytes were not loaded cannot be written back.
        for (const auto& d : a.Datas)
            if (d.Skipped) return mp4result::UnsafeLayout;
        a.Write(ilst);
    }
    SetU32be(ilst.data(), (uint32_t)std::min<uint64_t>(ilst.size(), 0xFFFFFFFFull));
    if (ilst.size() > 0xFFFFFFFFull) return mp4result::FileOpenFailed;

    TMoovLayout L;
    std::vector<uint8_t> prefix;  // an empty stream first gets an ftyp atom
    uint64_t regionStart = (uint64_t)fileSize, regionLen = 0, freeBehind = 0;
    std::vector<TAtomSpan> top;
    if (fileSize == 0) {
        PutU32be(prefix, 8);
        PutAtomName(prefix, "ftyp");
    } else {
        uint8_t h[8];
        if (S.Seek(0) != 0 || S.ReadZeroFilled(h, 8) != 8 || std::memcmp(h + 4, "ftyp", 4) != 0)
            return mp4result::NotMP4;
        top = TopLevelAtoms(S);
        size_t i = 0;
        while (i < top.size() && !top[i].Is("moov")) ++i;
        if (i == top.size()) {
            // A new moov goes at the end, which must then be the end of a whole atom.
            if (!top.empty() && top.back().Truncated) return mp4result::FileOpenFailed;
        } else {
            const TAtomSpan& moov = top[i];
            if (moov.Truncated || moov.Size > mp4limit::MaxMoovSize) return mp4result::FileOpenFailed;
            L.Found = true;
            regionStart = moov.Pos;
            regionLen = moov.Size;
            for (size_t k = i + 1; k < top.size() && top[k].Is("free") && !top[k].Truncated; ++k) {
                regionLen += top[k].Size;
                freeBehind += top[k].Size;
            }
            if (!ReadAt(S, moov.Pos, L.Old, moov.Size)) return mp4result::FileOpenFailed;
            ReadLayout(L, Tag);
        }
    }
    if (!L.Found) L.MetaHead = {Tag.Version, 0, 0, 0};
    // A tag that read no Xtra box (or was told not to) leaves the file's alone.
    const std::vector<uint8_t> xtra = Tag.XtraChanged       ? Tag.CreateXtraAtom()
                                      : Tag.XtraRaw.empty() ? L.OldXtra
                                                            : Tag.XtraRaw;
    if (Tag.Atoms.empty() && xtra.empty() && !L.HasIlst && L.OldXtra.empty()) return mp4result::NothingToWrite;

    // The new moov goes into the old one's place when it fits, its slack
    // becoming the free atom behind the item list (where the old one's was,
    // so that an unchanged tag gives the same bytes); else into the old moov
    // and the free atoms behind it; else the file grows by the padding. The
    // slack a moov keeps is bounded by the padding rule (tags/padding.h).
    const uint64_t N = BuildMoov(L, ilst, xtra, 0).size();
    auto fits = [&](uint64_t Space, uint64_t OldFree) {
        return N == Space || (N + 8 <= Space && Space - N <= 0xFFFFFFFFull &&
                              padding::MayKeep((int64_t)(Space - N), (int64_t)OldFree, fileSize));
    };
    uint64_t F;
    if (KeepPadding && L.Found && fits(L.Old.size(), L.OldFree)) {
        regionLen = L.Old.size();
        F = regionLen - N;
    } else if (KeepPadding && L.Found && fits(regionLen, L.OldFree + freeBehind)) {
        F = regionLen - N;
    } else {
        const int64_t fresh = Tag.Padding.ToWrite(fileSize);
        F = fresh >= 8 ? (uint64_t)fresh : 0;
    }
    std::vector<uint8_t> moov = BuildMoov(L, ilst, xtra, F);

    const int64_t delta = int64_t(moov.size()) - int64_t(regionLen);
    const uint64_t regionEnd = regionStart + regionLen;
    // Moving the media data behind the moov means rewriting the chunk offsets
    // that point into it; media data cut off (a truncated download) has
    // chunks the file no longer holds, so such a file is only written in
    // place. (Bytes behind the media that are no atom move along as before.)
    if (L.Found && delta != 0)
        for (const TAtomSpan& a : top)
            if (a.Pos >= regionEnd && a.Truncated && a.Is("mdat")) return mp4result::FileOpenFailed;
    if (L.Found && delta != 0 && regionEnd < (uint64_t)fileSize) {
        // Fragments address their data by absolute positions this save does not rewrite.
        bool fragments = L.Fragmented;
        for (const auto& a : top)
            if (a.Pos >= regionEnd && (a.Is("moof") || a.Is("mfra") || a.Is("sidx"))) fragments = true;
        if (fragments) return mp4result::UnsafeLayout;
        if (int r = ShiftChunkOffsets(moov, regionStart, regionEnd, delta); r != mp4result::Success) return r;
    }

    Plan.Edit.Pos = (int64_t)regionStart;
    Plan.Edit.OldLen = (int64_t)regionLen;
    Plan.Edit.Bytes = std::move(prefix);
    Plan.Edit.Bytes.insert(Plan.Edit.Bytes.end(), moov.begin(), moov.end());
    if (Plan.Edit.Delta() == 0) {
        // Same length: write only the bytes that differ.
        std::vector<uint8_t> old;
        if (!ReadAt(S, regionStart, old, regionLen)) return mp4result::FileOpenFailed;
        auto& b = Plan.Edit.Bytes;
        size_t head = 0, tail = 0;
        while (head < b.size() && b[head] == old[head]) ++head;
        if (head == b.size()) {
            Plan.NoChange = true;
            return mp4result::Success;
        }
        while (tail < b.size() - head && b[b.size() - 1 - tail] == old[old.size() - 1 - tail]) ++tail;
        b.erase(b.end() - (ptrdiff_t)tail, b.end());
        b.erase(b.begin(), b.begin() + (ptrdiff_t)head);
        Plan.Edit.Pos += (int64_t)head;
        Plan.Edit.OldLen = (int64_t)b.size();
    }
    return mp4result::Success;
}

int PlanSaveSafely(const TMP4Tag& Tag, TStream& S, bool KeepPadding, TSavePlan& Plan) {
    try {
        return PlanSave(Tag, S, KeepPadding, Plan);
    } catch (const ETagFormat&) {
        return mp4result::FileOpenFailed;
    }
}

}  // namespace

// ---- saving ---------------------------------------------------------------------------

int TMP4Tag::SaveToStream(TStream& Stream, bool Buffered, bool KeepPadding) {
    TSavePlan plan;
    int r = PlanSaveSafely(*this, Stream, KeepPadding, plan);
    if (r != mp4result::Success || plan.NoChange) return r;
    try {
        if (Buffered) {
            TBufferedStream b(Stream);
            r = ApplyEditToStream(b, plan.Edit) == TEditResult::Success ? r : mp4result::FileOpenFailed;
        } else {
            r = ApplyEditToStream(Stream, plan.Edit) == TEditResult::Success ? r : mp4result::FileOpenFailed;
        }
    } catch (const ETagFormat&) {
        r = mp4result::FileOpenFailed;
    }
    if (r == mp4result::Success) {
        Valid = Loaded = false;
        SourceFileName.clear();
    }
    return r;
}

int TMP4Tag::SaveToFile(const std::string& FileName, bool KeepPadding) {
    try {
        const bool exists = fileutil::FileExists(FileName);
        if (exists && fileutil::IsReadOnly(FileName)) return mp4result::FileOpenFailed;
        const auto modTime = PreserveFileDateTime && exists ? fileutil::GetModTime(FileName) : std::nullopt;
        TSavePlan plan;
        int r;
        {
            std::unique_ptr<TFileStream> f;
            if (exists) {
                f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
            } else {
                // A missing file is created, exclusively, and receives an ftyp and a moov.
                f = TFileStream::Open(FileName, TFileMode::fmCreateExclusive);
            }
            if (!f) return mp4result::FileOpenFailed;
            r = PlanSaveSafely(*this, *f, KeepPadding, plan);
        }
        if (r == mp4result::Success && !plan.NoChange && ApplyEditToFile(FileName, plan.Edit) != TEditResult::Success)
            r = mp4result::FileOpenFailed;
        if (r != mp4result::Success) {
            if (!exists) ::unlink(FileName.c_str());  // the empty file this save created
            return r;
        }
        if (modTime) fileutil::SetModTime(FileName, *modTime);
        Valid = Loaded = false;
        SourceFileName = FileName;
        return mp4result::Success;
    } catch (const ETagFormat&) {
        return mp4result::FileOpenFailed;
    }
}

int RemoveMP4TagFromFile(const std::string& FileName, bool KeepGaplessInfo, bool KeepEncoderTool) {
    if (!fileutil::FileExists(FileName)) return mp4result::FileOpenFailed;
    TMP4Tag old;
    old.ParseCoverArts = false;
    old.ParseMediaAttributes = false;
    const int loaded = old.LoadFromFile(FileName);
    if (loaded == mp4result::NotMP4 || loaded == mp4result::FileOpenFailed) return loaded;
    TMP4Tag fresh;
    fresh.Padding = TPaddingOption::Exactly(0);
    fresh.ClearXtras();
    if (KeepGaplessInfo) fresh.SetCommon("iTunSMPB", "com.apple.iTunes", old.GetCommon("iTunSMPB"));
    if (KeepEncoderTool) fresh.SetText(AtomName("©too"), old.GetText(AtomName("©too")));
    return fresh.SaveToFile(FileName, false);
}
