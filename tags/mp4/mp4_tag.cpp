#include "tags/mp4/mp4_tag.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "tags/byte_io.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/mp4/mp4_atoms.h"
#include "tags/text.h"

// ---- atom names ---------------------------------------------------------------

TAtomName AtomName(std::string_view Text) {
    TAtomName n{};
    size_t i = 0, k = 0;
    while (i < Text.size() && k < 4) {
        // Decode one UTF-8 character and keep its low byte; a stray byte stands for itself.
        const uint8_t c = (uint8_t)Text[i];
        uint32_t cp = c;
        size_t len = 1;
        if (c >= 0xC0 && c < 0xE0 && i + 1 < Text.size())
            cp = ((c & 0x1Fu) << 6) | (Text[i + 1] & 0x3F), len = 2;
        else if (c >= 0xE0 && c < 0xF0 && i + 2 < Text.size())
            cp = ((c & 0x0Fu) << 12) | ((Text[i + 1] & 0x3Fu) << 6) | (Text[i + 2] & 0x3F), len = 3;
        n[k++] = uint8_t(cp);
        i += len;
    }
    return n;
}

std::string AtomNameText(const TAtomName& Name) {
    std::string s;
    for (uint8_t b : Name) {
        if (b < 0x80) {
            s += char(b);
        } else {
            s += char(0xC0 | (b >> 6));
            s += char(0x80 | (b & 0x3F));
        }
    }
    return s;
}

// ---- items --------------------------------------------------------------------------

namespace {

bool IntegerPayload(const TMP4AtomData& D) {
    const size_t n = D.Data.size();
    return (D.DataType == mp4type::Implicit || D.DataType == mp4type::Integer) &&
           (n == 1 || n == 2 || n == 4 || n == 6 || n == 8);
}

uint64_t BigEndian(const std::vector<uint8_t>& B) {
    uint64_t v = 0;
    for (uint8_t b : B) v = (v << 8) | b;
    return v;
}

std::string BodyText(const std::vector<uint8_t>& Body) {
    if (Body.size() <= 4) return {};
    std::string s(Body.begin() + 4, Body.end());
    return text::IsValidUtf8(s) ? s : std::string();
}

std::vector<uint8_t> CommonBody(const std::string& Text) {
    std::vector<uint8_t> b(4 + Text.size(), 0);
    std::copy(Text.begin(), Text.end(), b.begin() + 4);
    return b;
}

}  // namespace

TMP4AtomData& TMP4Atom::AddData() {
    Touch();
    Datas.emplace_back();
    return Datas.back();
}

std::string TMP4Atom::DataText(int Index) const {
    if (Index < 0 || Index >= Count()) return {};
    const TMP4AtomData& d = Datas[(size_t)Index];
    if (d.DataType == mp4type::UTF8) {
        std::string s(d.Data.begin(), d.Data.end());
        return text::IsValidUtf8(s) ? s : std::string();
    }
    uint64_t v = 0;
    if (GetInteger(v, Index)) return std::to_string(v);
    return {};
}

std::string TMP4Atom::GetText() const { return DataText(0); }

bool TMP4Atom::IsInteger(int Index) const {
    return Index >= 0 && Index < Count() && IntegerPayload(Datas[(size_t)Index]);
}

bool TMP4Atom::GetInteger(uint64_t& Value, int Index) const {
    if (!IsInteger(Index)) return false;
    Value = BigEndian(Datas[(size_t)Index].Data);
    return true;
}

void TMP4Atom::SetText(const std::string& Text) {
    if (Datas.empty()) AddData();
    Touch();
    Datas[0].DataType = mp4type::UTF8;
    Datas[0].Data.assign(Text.begin(), Text.end());
    Datas[0].Skipped = false;
}

void TMP4Atom::SetInteger(uint64_t Value, int Width, uint32_t Type) {
    if (Datas.empty()) AddData();
    Touch();
    Datas[0].DataType = Type;
    Datas[0].Skipped = false;
    Datas[0].Data.assign((size_t)Width, 0);
    for (int i = Width - 1; i >= 0; --i, Value >>= 8) Datas[0].Data[(size_t)i] = uint8_t(Value);
}

std::string TMP4Atom::MeanText() const { return BodyText(mean); }
std::string TMP4Atom::NameText() const { return BodyText(name); }

void TMP4Atom::SetCommonText(const std::string& Name, const std::string& Mean, const std::string& Value) {
    Touch();
    name = CommonBody(Name);
    mean = CommonBody(Mean);
    SetText(Value);
}

uint64_t TMP4Atom::CalculateAtomSize() const {
    if (!Changed && !Raw.empty()) return Raw.size();
    uint64_t n = 8;
    if (!mean.empty()) n += 8 + mean.size();
    if (!name.empty()) n += 8 + name.size();
    for (const auto& d : Datas) n += 16 + d.Data.size();
    return n;
}

// ---- the tag ------------------------------------------------------------------------

void TMP4Tag::Clear() {
    Loaded = Valid = false;
    SourceFileName.clear();
    FileSize = 0;
    mdatAtomPosition = -1;
    mdatAtomSize = 0;
    Playtime = 0;
    AudioChannelCount = 0;
    AudioResolution = AudioSampleRate = BitRate = VideoWidth = VideoHeight = 0;
    AudioFormat = mp4afUnknown;
    AtommoovPosition = AtommoovSize = AtomudtaPosition = AtomudtaSize = 0;
    AtommetaPosition = AtommetaSize = AtomilstPosition = AtomilstSize = 0;
    Atoms.clear();
    Xtras.clear();
    XtraRaw.clear();
    XtraChanged = false;
    Version = 0;
    Flags = 0;
}

bool TMP4Tag::Assign(const TMP4Tag& Source) {
    if (this == &Source) return true;
    *this = Source;
    return true;
}

int TMP4Tag::CoverArtCount() const {
    const TMP4Atom* a = FindAtom(AtomName("covr"));
    return a ? a->Count() : 0;
}

TMP4Atom& TMP4Tag::AddAtom(const TAtomName& ID) {
    Atoms.emplace_back();
    Atoms.back().ID = ID;
    return Atoms.back();
}

int TMP4Tag::FindAtomIndex(const TAtomName& ID, int From) const {
    for (int i = std::max(From, 0); i < Count(); ++i)
        if (Atoms[(size_t)i].ID == ID) return i;
    return -1;
}

TMP4Atom* TMP4Tag::FindAtom(const TAtomName& ID) {
    const int i = FindAtomIndex(ID);
    return i < 0 ? nullptr : &Atoms[(size_t)i];
}

const TMP4Atom* TMP4Tag::FindAtom(const TAtomName& ID) const {
    const int i = FindAtomIndex(ID);
    return i < 0 ? nullptr : &Atoms[(size_t)i];
}

TMP4Atom* TMP4Tag::FindAtomCommon(const std::string& Name, const std::string& Mean) {
    const TAtomName free = AtomName("----");
    for (auto& a : Atoms)
        if (a.ID == free && text::SameText(a.NameText(), Name) && text::SameText(a.MeanText(), Mean)) return &a;
    return nullptr;
}

bool TMP4Tag::DeleteAtom(int Index) {
    if (Index < 0 || Index >= Count()) return false;
    Atoms.erase(Atoms.begin() + Index);
    return true;
}

bool TMP4Tag::DeleteAtom(const TAtomName& ID) { return DeleteAtom(FindAtomIndex(ID)); }

int TMP4Tag::DeleteAllAtoms(const TAtomName& ID) {
    const size_t before = Atoms.size();
    Atoms.erase(std::remove_if(Atoms.begin(), Atoms.end(), [&](const TMP4Atom& a) { return a.ID == ID; }), Atoms.end());
    return int(before - Atoms.size());
}

bool TMP4Tag::DeleteAtomCommon(const std::string& Name, const std::string& Mean) {
    TMP4Atom* a = FindAtomCommon(Name, Mean);
    return a && DeleteAtom(int(a - Atoms.data()));
}

std::string TMP4Tag::GetText(const TAtomName& ID) const {
    const TMP4Atom* a = FindAtom(ID);
    return a ? a->GetText() : std::string();
}

void TMP4Tag::SetText(const TAtomName& ID, const std::string& Text) {
    if (Text.empty()) {
        DeleteAtom(ID);
        return;
    }
    TMP4Atom* a = FindAtom(ID);
    (a ? *a : AddAtom(ID)).SetText(Text);
}

std::vector<std::string> TMP4Tag::GetValues(const TAtomName& ID) const {
    std::vector<std::string> out;
    for (const auto& a : Atoms)
        if (a.ID == ID)
            for (int i = 0; i < a.Count(); ++i) out.push_back(a.DataText(i));
    return out;
}

void TMP4Tag::SetValues(const TAtomName& ID, const std::vector<std::string>& Values) {
    int at = FindAtomIndex(ID);
    if (at < 0) at = Count();
    DeleteAllAtoms(ID);
    for (const auto& v : Values) {
        TMP4Atom a;
        a.ID = ID;
        a.SetText(v);
        Atoms.insert(Atoms.begin() + at++, std::move(a));
    }
}

bool TMP4Tag::GetInteger(const TAtomName& ID, uint64_t& Value) const {
    const TMP4Atom* a = FindAtom(ID);
    return a && a->GetInteger(Value);
}

void TMP4Tag::SetInteger(const TAtomName& ID, uint64_t Value, int Width) {
    TMP4Atom* a = FindAtom(ID);
    TMP4Atom& item = a ? *a : AddAtom(ID);
    // A replaced integer keeps the type indicator it had.
    const uint32_t type = a && item.IsInteger() ? item.Datas[0].DataType : mp4type::Integer;
    item.SetInteger(Value, Width, type);
}

// A list payload: per name=value pair, the name, CR LF, the value, CR LF.
std::vector<std::string> TMP4Tag::GetList(const TAtomName& ID) const {
    std::vector<std::string> out;
    const std::string t = GetText(ID);
    std::vector<std::string> parts;
    size_t p = 0;
    while (p < t.size()) {
        size_t e = t.find("\r\n", p);
        if (e == std::string::npos) e = t.size();
        parts.push_back(t.substr(p, e - p));
        p = e + 2;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) out.push_back(parts[i] + "=" + parts[i + 1]);
    return out;
}

void TMP4Tag::SetList(const TAtomName& ID, const std::vector<std::string>& List) {
    std::string t;
    for (const auto& line : List) {
        const size_t eq = line.find('=');
        t += line.substr(0, eq) + "\r\n" + (eq == std::string::npos ? std::string() : line.substr(eq + 1)) + "\r\n";
    }
    SetText(ID, t);
}

std::string TMP4Tag::GetCommon(const std::string& Name, const std::string& Mean) const {
    const TMP4Atom* a = const_cast<TMP4Tag*>(this)->FindAtomCommon(Name, Mean);
    return a ? a->GetText() : std::string();
}

void TMP4Tag::SetCommon(const std::string& Name, const std::string& Mean, const std::string& Value) {
    if (Value.empty()) {
        DeleteAtomCommon(Name, Mean);
        return;
    }
    TMP4Atom* a = FindAtomCommon(Name, Mean);
    (a ? *a : AddAtom(AtomName("----"))).SetCommonText(Name, Mean, Value);
}

// ---- track, disc, genre, media type, country ---------------------------------------

// trkn: 0 0, track, total, 0 0 (16-bit big-endian each); disk: 0 0, disc, total.
namespace {
int PairPart(const TMP4Tag& Tag, const char* ID, int Part) {
    const TMP4Atom* a = Tag.FindAtom(AtomName(ID));
    if (!a || a->Datas.empty()) return 0;
    const auto& d = a->Datas[0].Data;
    const size_t at = 2 + 2 * (size_t)Part;
    return d.size() >= at + 2 ? (d[at] << 8) | d[at + 1] : 0;
}

void SetPair(TMP4Tag& Tag, const char* ID, int Number, int Total, size_t Size) {
    if (Number == 0 && Total == 0) {
        Tag.DeleteAtom(AtomName(ID));
        return;
    }
    TMP4Atom* a = Tag.FindAtom(AtomName(ID));
    TMP4Atom& item = a ? *a : Tag.AddAtom(AtomName(ID));
    if (item.Datas.empty()) item.AddData();
    item.Touch();
    auto& d = item.Datas[0];
    // A longer stored payload keeps its extra bytes.
    if (d.Data.size() < Size) d.Data.resize(Size, 0);
    d.DataType = mp4type::Implicit;
    d.Skipped = false;
    auto clamp = [](int v) { return (uint16_t)std::clamp(v, 0, 0xFFFF); };
    d.Data[2] = uint8_t(clamp(Number) >> 8);
    d.Data[3] = uint8_t(clamp(Number));
    d.Data[4] = uint8_t(clamp(Total) >> 8);
    d.Data[5] = uint8_t(clamp(Total));
}

struct TStoreFront {
    uint32_t ID;
    const char* Country;
};
constexpr TStoreFront StoreFronts[] = {
    {143441, "United States"}, {143442, "France"},  {143443, "Germany"},     {143444, "United Kingdom"},
    {143445, "Austria"},       {143446, "Belgium"}, {143447, "Finland"},     {143448, "Greece"},
    {143449, "Ireland"},       {143450, "Italy"},   {143451, "Luxembourg"},  {143452, "Netherlands"},
    {143453, "Portugal"},      {143454, "Spain"},   {143455, "Canada"},      {143456, "Sweden"},
    {143457, "Norway"},        {143458, "Denmark"}, {143459, "Switzerland"}, {143460, "Australia"},
    {143461, "New Zealand"},   {143462, "Japan"},
};
static_assert(std::size(StoreFronts) == 22);

struct TMediaName {
    uint8_t Value;
    const char* Name;
};
constexpr TMediaName MediaNames[] = {{0, "Movie"},       {9, "Movie"},    {1, "Music"},    {2, "Audiobook"},
                                     {6, "Music Video"}, {10, "TV Show"}, {11, "Booklet"}, {14, "Ringtone"}};
}  // namespace

int TMP4Tag::GetTrack() const { return PairPart(*this, "trkn", 0); }
int TMP4Tag::GetTotalTracks() const { return PairPart(*this, "trkn", 1); }
void TMP4Tag::SetTrack(int Track, int TotalTracks) { SetPair(*this, "trkn", Track, TotalTracks, 8); }
int TMP4Tag::GetDisc() const { return PairPart(*this, "disk", 0); }
int TMP4Tag::GetTotalDiscs() const { return PairPart(*this, "disk", 1); }
void TMP4Tag::SetDisc(int Disc, int TotalDiscs) { SetPair(*this, "disk", Disc, TotalDiscs, 6); }

std::string TMP4Tag::GetGenre() const {
    uint64_t n = 0;
    if (GetInteger(AtomName("gnre"), n) && n >= 1 && n <= 192) return ID3v1GenreIndexToName(int(n - 1));
    return GetText(AtomName("©gen"));
}

void TMP4Tag::SetGenre(const std::string& Genre) {
    // The genre stays where it was in the item list.
    int at = FindAtomIndex(AtomName("gnre"));
    const int gen = FindAtomIndex(AtomName("©gen"));
    if (at < 0 || (gen >= 0 && gen < at)) at = gen;
    const int removed = DeleteAllAtoms(AtomName("gnre")) + DeleteAllAtoms(AtomName("©gen"));
    if (Genre.empty()) return;
    if (at < 0 || removed == 0) at = Count();
    TMP4Atom a;
    for (int i = 0; i < 192; ++i)
        if (text::SameText(Genre, ID3v1GenreIndexToName(i))) {
            a.ID = AtomName("gnre");
            a.SetInteger(uint64_t(i + 1), 2, mp4type::Implicit);
            Atoms.insert(Atoms.begin() + std::min(at, Count()), std::move(a));
            return;
        }
    a.ID = AtomName("©gen");
    a.SetText(Genre);
    Atoms.insert(Atoms.begin() + std::min(at, Count()), std::move(a));
}

// stik is one byte in the files players write; its value is read at the
// width it was stored with.
std::string TMP4Tag::GetMediaType() const {
    uint64_t v = 0;
    if (!GetInteger(AtomName("stik"), v)) return {};
    for (const auto& m : MediaNames)
        if (m.Value == v) return m.Name;
    return {};
}

void TMP4Tag::SetMediaType(const std::string& Media) {
    for (const auto& m : MediaNames)
        if (m.Value != 0 && Media == m.Name) {
            const TMP4Atom* a = FindAtom(AtomName("stik"));
            const int width = a && a->IsInteger() ? (int)a->Datas[0].Data.size() : 1;
            SetInteger(AtomName("stik"), m.Value, width);
            return;
        }
}

std::string TMP4Tag::GetPurchaseCountry() const {
    uint64_t v = 0;
    if (!GetInteger(AtomName("sfID"), v) || v == 0) return {};
    for (const auto& s : StoreFronts)
        if (s.ID == v) return s.Country;
    return std::to_string(v);
}

void TMP4Tag::SetPurchaseCountry(const std::string& Country) {
    uint64_t v = 0;
    for (const auto& s : StoreFronts)
        if (Country == s.Country) v = s.ID;
    if (v == 0) {
        auto n = text::ParseInt(Country);
        v = n && *n > 0 && *n <= 0xFFFFFFFF ? uint64_t(*n) : 0;
    }
    SetInteger(AtomName("sfID"), v, 4);
}

// ---- Xtra attributes ------------------------------------------------------------------

const TMP4Xtra* TMP4Tag::FindAtomXtra(const std::string& FieldName) const {
    for (const auto& x : Xtras)
        if (text::SameText(x.Name, FieldName)) return &x;
    return nullptr;
}

namespace {
std::string XtraValueText(const TMP4XtraProperty& P) {
    switch (P.PropType) {
        case 8: {
            std::string s = text::Utf16ToUtf8(P.Data, false);
            while (!s.empty() && s.back() == '\0') s.pop_back();
            return s;
        }
        case 19: {
            if (P.Data.size() != 1 && P.Data.size() != 2 && P.Data.size() != 4 && P.Data.size() != 8) return {};
            uint64_t v = 0;
            for (size_t i = P.Data.size(); i-- > 0;) v = (v << 8) | P.Data[i];
            return std::to_string(v);
        }
        case 21: {
            // 100-nanosecond units since 1601-01-01 UTC, shown in local time.
            if (P.Data.size() != 8) return {};
            uint64_t v = 0;
            for (size_t i = 8; i-- > 0;) v = (v << 8) | P.Data[i];
            const int64_t unixSeconds = int64_t(v / 10000000) - 11644473600LL;
            const time_t t = (time_t)unixSeconds;
            struct tm local {};
            if (!localtime_r(&t, &local)) return {};
            char b[32];
            return std::strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S", &local) ? std::string(b) : std::string();
        }
        case 72: {
            if (P.Data.size() != 16) return {};
            const auto& d = P.Data;
            char b[40];
            std::snprintf(b, sizeof b, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", d[3],
                          d[2], d[1], d[0], d[5], d[4], d[7], d[6], d[8], d[9], d[10], d[11], d[12], d[13], d[14],
                          d[15]);
            return b;
        }
        default: return std::to_string(P.Data.size()) + " bytes";
    }
}
}  // namespace

std::string TMP4Tag::GetTextXtra(const std::string& FieldName, bool MultipleValues) const {
    const TMP4Xtra* x = FindAtomXtra(FieldName);
    if (!x || x->Properties.empty()) return {};
    if (x->Properties.size() == 1) return XtraValueText(x->Properties[0]);
    if (!MultipleValues) return {};
    std::string s;
    for (size_t i = 0; i < x->Properties.size(); ++i) s += (i ? ";" : "") + XtraValueText(x->Properties[i]);
    return s;
}

// ---- loading --------------------------------------------------------------------------

int TMP4Tag::LoadFromFile(const std::string& FileName, bool Buffered) {
    Clear();
    auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!f) return mp4result::FileOpenFailed;
    return LoadFromOpenFile(*f, FileName, Buffered);
}

int TMP4Tag::LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered) {
    Clear();
    const int r = LoadFromStream(File, Buffered);
    SourceFileName = FileName;
    return r;
}

// Top level: "ftyp" first, then (in any order) "moov" and media data "mdat".
// The whole moov is read into memory: it holds the track tables and the
// item list, and the writer needs it whole anyway.
int TMP4Tag::LoadFromStream(TStream& Stream, bool) {
    Clear();
    try {
        uint8_t h[8];
        if (Stream.Seek(0) != 0 || Stream.ReadZeroFilled(h, 8) != 8 || std::memcmp(h + 4, "ftyp", 4) != 0)
            return mp4result::NotMP4;
        Valid = true;
        FileSize = Stream.Size();
        const auto top = TopLevelAtoms(Stream);
        const TAtomSpan* moov = nullptr;
        for (const auto& a : top) {
            if (a.Is("mdat") && mdatAtomPosition < 0) {
                mdatAtomPosition = (int64_t)a.Pos;
                mdatAtomSize = (int64_t)a.Size;
            }
            if (a.Is("moov") && !moov) moov = &a;
        }
        if (!moov) return mp4result::NoTag;
        if (moov->Truncated || moov->Size > mp4limit::MaxMoovSize) return mp4result::ReadError;
        AtommoovPosition = (int64_t)moov->Pos;
        AtommoovSize = (int64_t)moov->Size;
        // Filled by the read; no need to zero it first.
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[(size_t)moov->Size]);
        if (Stream.Seek((int64_t)moov->Pos) != (int64_t)moov->Pos ||
            !Stream.ReadExact(bytes.get(), (int64_t)moov->Size))
            return mp4result::ReadError;
        return ReadMoov(bytes.get(), (size_t)moov->Size);
    } catch (const ETagFormat&) {
        // A damaged tag is not half loaded: a save must not drop what could not be read.
        const bool valid = Valid;
        const int64_t size = FileSize;
        Clear();
        Valid = valid;
        FileSize = size;
        return mp4result::ReadError;
    }
}

int TMP4Tag::ReadMoov(const uint8_t* d, size_t Size) {
    const uint64_t base = (uint64_t)AtommoovPosition;
    auto moov = ChildAtoms(d, 0, Size);
    const auto children = ChildAtoms(d, moov.at(0).BodyPos(), moov[0].End());

    // Play time from the movie header: version 1 has 64-bit times and duration.
    if (const TAtomSpan* mvhd = FindChild(children, "mvhd")) {
        TByteReader r(d + mvhd->BodyPos(), (size_t)mvhd->BodySize());
        try {
            const uint8_t version = r.u8();
            r.skip(3);
            uint32_t scale;
            uint64_t duration;
            if (version == 1) {
                r.skip(16);
                scale = r.u32be();
                duration = r.u64be();
            } else {
                r.skip(8);
                scale = r.u32be();
                duration = r.u32be();
            }
            Playtime = scale && duration ? double(duration) / scale : 0;
        } catch (const ETagFormat&) {
            Playtime = 0;
        }
    }
    if (Playtime != 0) {
        // A hostile duration can make the quotient any size.
        const double kbits = double(mdatAtomSize) / Playtime / 125 + 0.5;
        BitRate = kbits >= 0 && kbits < 4294967295.0 ? uint32_t(kbits) : 0;
    }
    if (ParseMediaAttributes) ReadTracks(d, Size);

    int result = mp4result::NoTag;
    if (const TAtomSpan* udta = TagUdta(d, children)) {
        AtomudtaPosition = int64_t(base + udta->Pos);
        AtomudtaSize = (int64_t)udta->Size;
        ReadUdta(d + udta->BodyPos(), (size_t)udta->BodySize(), int64_t(base + udta->BodyPos()));
        if (Loaded) result = mp4result::Success;
    }
    return result;
}

// Sample entry of the first track with one: mp4a / ac-3 hold channels,
// sample size and the 16.16 sample rate at fixed offsets; alac has the real
// rate in its configuration box 40 bytes further on.
void TMP4Tag::ReadTracks(const uint8_t* d, size_t Size) {
    bool audioSet = false;
    try {
        auto moov = ChildAtoms(d, 0, Size);
        for (const auto& trak : ChildAtoms(d, moov.at(0).BodyPos(), moov[0].End())) {
            if (!trak.Is("trak")) continue;
            const auto tc = ChildAtoms(d, trak.BodyPos(), trak.End());
            if (const TAtomSpan* tkhd = FindChild(tc, "tkhd"); tkhd && tkhd->BodySize() >= 84) {
                const uint8_t* b = d + tkhd->BodyPos();
                const uint32_t w = (b[76] << 8) | b[77], h = (b[80] << 8) | b[81];
                if (w >= VideoWidth && h >= VideoHeight) VideoWidth = w, VideoHeight = h;
            }
            if (audioSet) continue;
            const TAtomSpan* mdia = FindChild(tc, "mdia");
            if (!mdia) continue;
            const auto mc = ChildAtoms(d, mdia->BodyPos(), mdia->End());
            const TAtomSpan* minf = FindChild(mc, "minf");
            if (!minf) continue;
            const auto ic = ChildAtoms(d, minf->BodyPos(), minf->End());
            const TAtomSpan* stbl = FindChild(ic, "stbl");
            if (!stbl) continue;
            const auto sc = ChildAtoms(d, stbl->BodyPos(), stbl->End());
            const TAtomSpan* stsd = FindChild(sc, "stsd");
            if (!stsd) continue;
            TByteReader r(d + stsd->BodyPos(), (size_t)stsd->BodySize());
            r.skip(4);
            if (r.u32be() != 1) continue;
            r.skip(4);
            const std::string type = r.str(4);
            TMP4AudioFormat format = type == "mp4a"   ? mp4afAAC
                                     : type == "ac-3" ? mpfafAC3
                                     : type == "alac" ? mp4afALAC
                                                      : mp4afUnknown;
            if (format == mp4afUnknown) continue;
            r.skip(16);
            const uint16_t channels = r.u16be();
            const uint16_t bits = r.u16be();
            r.skip(format == mp4afALAC ? 40 : 2);
            uint32_t rate = r.u32be();
            if (rate == 0x7700) rate = 96000;
            AudioChannelCount = channels;
            AudioResolution = bits;
            AudioSampleRate = rate;
            AudioFormat = format;
            audioSet = true;
        }
    } catch (const ETagFormat&) {
        // The track walk ends quietly; the tag is read regardless.
    }
}

// Item: size, ID, then children: "mean" and "name" (bodies kept whole),
// "data" (size, "data", 32-bit type, 4 locale bytes, payload). A damaged
// child ends its item; what was read stays.
void TMP4Tag::ReadUdta(const uint8_t* Data, size_t Size, int64_t FilePos) {
    const auto children = ChildAtoms(Data, 0, Size);
    bool itemsRead = false, xtraRead = false;
    for (const auto& c : children) {
        if (c.Is("meta") && !itemsRead) {
            AtommetaPosition = FilePos + (int64_t)c.Pos;
            AtommetaSize = (int64_t)c.Size;
            const uint8_t* body = Data + c.BodyPos();
            const size_t off = MetaChildrenOffset(body, (size_t)c.BodySize());
            if (off == 4) {
                Version = body[0];
                Flags = (uint32_t(body[1]) << 16) | (uint32_t(body[2]) << 8) | body[3];
            }
            const auto mc = ChildAtoms(body, off, (size_t)c.BodySize());
            const TAtomSpan* ilst = FindChild(mc, "ilst");
            if (!ilst) continue;
            itemsRead = true;
            AtomilstPosition = AtommetaPosition + c.Header + (int64_t)ilst->Pos;
            AtomilstSize = (int64_t)ilst->Size;
            const auto items = ChildAtoms(body, (size_t)ilst->BodyPos(), (size_t)ilst->End());
            if (items.size() > (size_t)mp4limit::MaxItems) throw ETagFormat("too many items");
            for (const auto& it : items) {
                TMP4Atom& a = AddAtom(it.Type);
                const uint8_t* ib = body + it.Pos;
                a.Changed = false;
                // The item is rebuilt from its children on save when that gives
                // its bytes back: mean, name, then data children, nothing else.
                // Any other item keeps its bytes as read.
                bool canonical = it.Header == 8;
                int stage = 0;  // 0 mean next, 1 name next, 2 data only
                const bool cover = it.Is("covr");
                size_t p = it.Header;
                while (p + 8 <= it.Size) {
                    const uint32_t cs = GetU32be(ib + p);
                    if (cs < 8 || cs > it.Size - p) break;
                    const uint8_t* cb = ib + p;
                    if (std::memcmp(cb + 4, "data", 4) == 0) {
                        if (cs < 16 || a.Datas.size() >= (size_t)mp4limit::MaxDatas) break;
                        TMP4AtomData& dd = a.Datas.emplace_back();
                        dd.DataType = GetU32be(cb + 8);
                        std::memcpy(dd.Reserved.data(), cb + 12, 4);
                        if (cover && !ParseCoverArts)
                            dd.Skipped = true;
                        else
                            dd.Data.assign(cb + 16, cb + cs);
                        stage = 2;
                    } else if (std::memcmp(cb + 4, "mean", 4) == 0 && cs > 8) {
                        canonical &= stage == 0;
                        a.mean.assign(cb + 8, cb + cs);
                        stage = 1;
                    } else if (std::memcmp(cb + 4, "name", 4) == 0 && cs > 8) {
                        canonical &= stage <= 1;
                        a.name.assign(cb + 8, cb + cs);
                        stage = 2;
                    } else {
                        canonical = false;
                    }
                    p += cs;
                }
                if (p != it.Size) canonical = false;
                if (!canonical && it.Header == 8) {
                    a.Raw.assign(ib, ib + it.Size);
                    SetU32be(a.Raw.data(), (uint32_t)it.Size);  // a size of 0 meant "to the end"
                } else if (!canonical) {
                    a.Changed = true;  // rewritten with a 32-bit size
                }
                Loaded = true;
            }
            if (!ParseXtra || xtraRead) return;
        } else if (c.Is("Xtra") && ParseXtra && !xtraRead) {
            xtraRead = true;
            XtraRaw.assign(Data + c.Pos, Data + c.End());
            if (GetU32be(XtraRaw.data()) == 0) SetU32be(XtraRaw.data(), (uint32_t)c.Size);
            try {
                ReadXtra(Data + c.BodyPos(), (size_t)c.BodySize());
            } catch (const ETagFormat&) {
                // Kept as read: the box goes back unchanged.
            }
            if (itemsRead) return;
        }
    }
}

// Xtra body: attributes until the end of the box. Attribute: 32-bit size,
// 32-bit name length, name (UTF-8), 32-bit value count, per value a 32-bit
// size (counting its 6 header bytes), 16-bit type and the value bytes.
void TMP4Tag::ReadXtra(const uint8_t* Data, size_t Size) {
    TByteReader r(Data, Size);
    int values = 0;
    while (r.remaining() >= 4) {
        const uint32_t attrSize = r.u32be();
        if (attrSize < 4 || attrSize - 4 > r.remaining()) throw ETagFormat("Xtra attribute size");
        TByteReader a = r.sub(attrSize - 4);
        TMP4Xtra x;
        x.Name = text::Utf8OrAnsi(a.str(a.u32be()));
        const uint32_t count = a.u32be();
        for (uint32_t i = 0; i < count; ++i) {
            if (++values > mp4limit::MaxXtraValues) throw ETagFormat("too many Xtra values");
            const uint32_t vs = a.u32be();
            if (vs < 6) throw ETagFormat("Xtra value size");
            TMP4XtraProperty p;
            p.PropType = a.u16be();
            p.Data = a.vec(vs - 6);
            x.Properties.push_back(std::move(p));
        }
        Xtras.push_back(std::move(x));
    }
}
