#include "tags/wav/wav_tag.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/region_edit.h"
#include "tags/padding.h"
#include "tags/riff/riff_chunks.h"
#include "tags/stream.h"
#include "tags/tag_types.h"
#include "tags/text.h"

namespace {

// ---- text conventions -------------------------------------------------------------

// A stored text: the bytes up to the first NUL, UTF-8 when they are valid
// UTF-8, else Windows-1252.
std::string DecodeText(const uint8_t* Bytes, size_t Width) {
    size_t n = 0;
    while (n < Width && Bytes[n] != 0) ++n;
    const std::string_view raw(reinterpret_cast<const char*>(Bytes), n);
    if (raw.empty()) return {};
    if (text::IsValidUtf8(raw)) return std::string(raw);
    return text::AnsiToUtf8(raw);
}

// Windows-1252 when every character has a byte there, else UTF-8 cut to the
// width without splitting a character (Width 0: no limit).
std::string EncodeText(const std::string& Text, size_t Width) {
    std::string out = text::FitsAnsi(Text) ? text::Utf8ToAnsi(Text) : Text;
    if (Width > 0 && out.size() > Width)
        out = text::FitsAnsi(Text) ? out.substr(0, Width) : text::Utf8Truncate(out, Width);
    return out;
}

void PutField(uint8_t* Dest, size_t Width, const std::string& Text) {
    std::memset(Dest, 0, Width);
    const std::string e = EncodeText(Text, Width);
    std::memcpy(Dest, e.data(), e.size());
}

uint16_t GetU16(const uint8_t* P) { return uint16_t(P[0] | (P[1] << 8)); }
uint32_t GetU32(const uint8_t* P) {
    return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}
void PutU16(uint8_t* P, uint16_t V) {
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
}
void PutU32(uint8_t* P, uint32_t V) {
    for (int i = 0; i < 4; ++i) P[i] = uint8_t(V >> (8 * i));
}

struct TFieldPos {
    const char* Name;
    size_t Offset, Width;
};

// bext: the text fields and 16-bit values of the fixed part.
constexpr TFieldPos BextText[] = {{"Description", 0, 256},          {"Originator", 256, 32},
                                  {"OriginatorReference", 288, 32}, {"OriginationDate", 320, 10},
                                  {"OriginationTime", 330, 8},      {"Reserved", 422, 180}};
constexpr TFieldPos BextWords[] = {
    {"Version", 346, 2},          {"LoudnessValue", 412, 2},        {"LoudnessRange", 414, 2},
    {"MaxTruePeakLevel", 416, 2}, {"MaxMomentaryLoudness", 418, 2}, {"MaxShortTermLoudness", 420, 2}};
constexpr size_t BextTimeReference = 338, BextUMID = 348;

// cart: the text fields of the fixed part.
constexpr TFieldPos CartText[] = {{"Version", 0, 4},           {"Title", 4, 64},
                                  {"Artist", 68, 64},          {"CutID", 132, 64},
                                  {"ClientID", 196, 64},       {"Category", 260, 64},
                                  {"Classification", 324, 64}, {"OutCue", 388, 64},
                                  {"StartDate", 452, 10},      {"StartTime", 462, 8},
                                  {"EndDate", 470, 10},        {"EndTime", 480, 8},
                                  {"ProducerAppID", 488, 64},  {"ProducerAppVersion", 552, 64},
                                  {"UserDef", 616, 64},        {"Reserved", 748, 276},
                                  {"URL", 1024, 1024}};
constexpr size_t CartLevelReference = 680, CartPostTimer = 684;

template <size_t N>
const TFieldPos* FindField(const TFieldPos (&Table)[N], const std::string& Name) {
    for (const auto& f : Table)
        if (Name == f.Name) return &f;
    return nullptr;
}

// A history or tag text written with a terminating NUL, the chunk even.
size_t TrailedSize(size_t Fixed, const std::vector<uint8_t>& Tail) {
    size_t n = Fixed + Tail.size();
    if (!Tail.empty() && Tail.back() != 0) ++n;
    return n + (n & 1);
}

// Whether a fixed part and its trailing text are what Raw (a chunk's data as
// read) holds: the chunk is then written back as read, its size and the
// terminator it had or lacked included.
bool AsRead(const std::vector<uint8_t>& Raw, const uint8_t* Fixed, size_t FixedSize, const std::vector<uint8_t>& Tail) {
    if (Raw.size() < FixedSize || !std::equal(Fixed, Fixed + FixedSize, Raw.begin())) return false;
    size_t end = Raw.size();
    while (end > FixedSize && Raw[end - 1] == 0) --end;
    return Tail.size() == end - FixedSize && std::equal(Tail.begin(), Tail.end(), Raw.begin() + (ptrdiff_t)FixedSize);
}

std::string TailText(const std::vector<uint8_t>& Tail) {
    return Tail.empty() ? std::string() : DecodeText(Tail.data(), Tail.size());
}

// ---- the chunk walk ---------------------------------------------------------------

struct TChunk {
    char Id[4];
    uint64_t Pos;        // of the chunk header
    uint64_t Size;       // data bytes present
    uint64_t End;        // after the data and its pad byte
    bool IsTag = false;  // LIST/INFO, bext or cart
};

struct TRiffLayout {
    bool RF64 = false;
    uint64_t FileSize = 0;
    uint64_t BodyEnd = 0;     // end of the last chunk of the form
    uint64_t HeaderEnd = 12;  // after "RIFF" size "WAVE" (and "ds64" in RF64)
    uint64_t Ds64Data = 0, Ds64Samples = 0;
    bool Damaged = false;  // a chunk runs past the end of the file
    std::vector<TChunk> Chunks;
};

bool IdIs(const char* Id, const char* Text) { return std::memcmp(Id, Text, 4) == 0; }

// The top-level chunks of a RIFF or RF64 WAVE form, walked by the rule of
// the chunk walker (tags/riff/riff_chunks.h): whole chunks with a proper ID
// after the declared end are taken as the form's own (writers that forgot to
// grow the size); anything else there, such as an ID3v1 tag, is trailing
// data. A chunk inside the form that runs past the end of the file marks the
// layout damaged. False when the stream is no WAVE form.
bool WalkRiff(TStream& S, TRiffLayout& L) {
    L.FileSize = (uint64_t)S.Size();
    const riff::TFormHeader form = riff::ProbeForm(S);
    if ((form.Kind != riff::TFormKind::RIFF && form.Kind != riff::TFormKind::RF64) || form.FormType != "WAVE")
        return false;
    L.RF64 = form.Kind == riff::TFormKind::RF64;
    if (L.RF64 && !form.HasDS64) return false;
    L.BodyEnd = std::min<uint64_t>(12, L.FileSize);
    riff::TFormWalk walk(S, form);
    riff::TChunk rc;
    while (walk.Next(rc)) {
        TChunk c;
        std::memcpy(c.Id, rc.ID.data(), 4);
        c.Pos = (uint64_t)rc.Pos;
        c.Size = rc.Overruns ? (uint64_t)(rc.StreamSize - rc.DataPos()) : rc.Size;
        c.End = (uint64_t)rc.End();
        if (rc.Overruns) {
            L.Damaged = true;
            c.End = L.FileSize;
        }
        if (L.RF64 && L.Chunks.empty()) {
            // "ds64": RIFF size, data size, sample count (64-bit each), table length.
            if (!IdIs(c.Id, "ds64") || c.Size < 28 || rc.Overruns) return false;
            TStreamBytes d = ReadAt(S, rc.DataPos(), 24);
            d.skip(8);
            L.Ds64Data = d.u64le();
            L.Ds64Samples = d.u64le();
            L.HeaderEnd = c.End;
        }
        L.Chunks.push_back(c);
        L.BodyEnd = c.End;
        if (rc.Overruns) break;
    }
    return true;
}

std::vector<uint8_t> ReadChunkData(TStream& S, const TChunk& C, uint64_t Max) {
    return ReadAt(S, (int64_t)(C.Pos + 8), (int64_t)std::min(C.Size, Max)).Bytes();
}

bool IsInfoList(TStream& S, const TChunk& C) {
    if (!IdIs(C.Id, "LIST") || C.Size < 4) return false;
    char type[4];
    return S.Seek((int64_t)(C.Pos + 8)) == (int64_t)(C.Pos + 8) && S.ReadExact(type, 4) && IdIs(type, "INFO");
}

}  // namespace

// ---- INFO items ---------------------------------------------------------------------

std::string TWAVTagFrame::GetText() const {
    if (Format != TWAVTagFrameFormat::ffText || Value.empty()) return {};
    // The stored text ends in a NUL; an item written without one keeps its last byte.
    size_t n = Value.size();
    if (Value[n - 1] == 0) --n;
    return DecodeText(Value.data(), n);
}

bool TWAVTagFrame::SetText(const std::string& Text) {
    Value.clear();
    Format = TWAVTagFrameFormat::ffText;
    if (Text.empty()) return true;
    const std::string e = EncodeText(Text, 0);
    Value.assign(e.begin(), e.end());
    Value.push_back(0);
    return true;
}

// List item: per line the name, CR LF, the value, CR LF; one NUL at the end.
bool TWAVTagFrame::GetList(std::vector<std::string>& List) const {
    List.clear();
    if (Format != TWAVTagFrameFormat::ffText) return false;
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = 0; i < Value.size(); ++i) {
        const uint8_t b = Value[i];
        if (b == '\r') {
            if (i + 1 < Value.size() && Value[i + 1] == '\n') {
                parts.push_back(DecodeText(reinterpret_cast<const uint8_t*>(cur.data()), cur.size()));
                cur.clear();
                ++i;
            }
            continue;
        }
        if (b == 0) continue;
        cur.push_back(char(b));
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) List.push_back(parts[i] + "=" + parts[i + 1]);
    return true;
}

bool TWAVTagFrame::SetList(const std::vector<std::string>& List) {
    Value.clear();
    Format = TWAVTagFrameFormat::ffText;
    for (const auto& line : List) {
        const size_t eq = line.find('=');
        for (const std::string& part : {eq == std::string::npos ? line : line.substr(0, eq),
                                        eq == std::string::npos ? std::string() : line.substr(eq + 1)}) {
            const std::string e = EncodeText(part, 0);
            Value.insert(Value.end(), e.begin(), e.end());
            Value.push_back('\r');
            Value.push_back('\n');
        }
    }
    if (!Value.empty()) Value.push_back(0);
    return true;
}

void TWAVTagFrame::Clear() {
    Format = TWAVTagFrameFormat::ffUnknown;
    Value.clear();
}

void TWAVTagFrame::Assign(const TWAVTagFrame& Source) {
    Name = Source.Name;
    Format = Source.Format;
    Value = Source.Value;
}

int TWAVTagFrame::Index() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->Frames[i].get() == this) return i;
    return -1;
}

// ---- bext, cart -----------------------------------------------------------------------

void TBEXT::Clear() {
    Chunk.fill(0);
    CodingHistory.clear();
    Raw.clear();
    Loaded = false;
}

bool TBEXT::Have() const {
    return !CodingHistory.empty() || std::any_of(Chunk.begin(), Chunk.end(), [](uint8_t b) { return b != 0; });
}

std::string TBEXT::GetField(const std::string& Field) const {
    const TFieldPos* f = FindField(BextText, Field);
    return f ? DecodeText(Chunk.data() + f->Offset, f->Width) : std::string();
}

bool TBEXT::SetField(const std::string& Field, const std::string& Text) {
    const TFieldPos* f = FindField(BextText, Field);
    if (!f) return false;
    PutField(Chunk.data() + f->Offset, f->Width, Text);
    return true;
}

uint64_t TBEXT::TimeReference() const {
    return GetU32(Chunk.data() + BextTimeReference) | (uint64_t(GetU32(Chunk.data() + BextTimeReference + 4)) << 32);
}

void TBEXT::SetTimeReference(uint64_t V) {
    PutU32(Chunk.data() + BextTimeReference, uint32_t(V));
    PutU32(Chunk.data() + BextTimeReference + 4, uint32_t(V >> 32));
}

uint16_t TBEXT::GetWord(const std::string& Field) const {
    const TFieldPos* f = FindField(BextWords, Field);
    return f ? GetU16(Chunk.data() + f->Offset) : 0;
}

bool TBEXT::SetWord(const std::string& Field, uint16_t V) {
    const TFieldPos* f = FindField(BextWords, Field);
    if (!f) return false;
    PutU16(Chunk.data() + f->Offset, V);
    return true;
}

std::string TBEXT::GetUMID() const {
    if (GetWord("Version") == 0) return {};
    std::string out;
    char buf[4];
    for (size_t i = 0; i < 64; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", Chunk[BextUMID + i]);
        if (i) out += ' ';
        out += buf;
    }
    return out;
}

void TBEXT::SetUMID(const std::string& Text) {
    std::memset(Chunk.data() + BextUMID, 0, 64);
    size_t i = 0, pos = 0;
    while (i < 64 && pos < Text.size()) {
        size_t end = Text.find(' ', pos);
        if (end == std::string::npos) end = Text.size();
        const std::string part = Text.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        char* stop = nullptr;
        const unsigned long v = std::strtoul(part.c_str(), &stop, 16);
        Chunk[BextUMID + i++] = (stop && *stop == 0 && v <= 0xFF) ? uint8_t(v) : 0;
    }
}

std::string TBEXT::GetCodingHistory() const { return TailText(CodingHistory); }

void TBEXT::SetCodingHistory(const std::string& Text) {
    const std::string e = EncodeText(Text, 0);
    CodingHistory.assign(e.begin(), e.end());
}

size_t TBEXT::ChunkSize() const { return TrailedSize(FixedSize, CodingHistory); }

void TCART::Clear() {
    Chunk.fill(0);
    TagText.clear();
    Raw.clear();
    Loaded = false;
}

bool TCART::Have() const {
    return !TagText.empty() || std::any_of(Chunk.begin(), Chunk.end(), [](uint8_t b) { return b != 0; });
}

std::string TCART::GetField(const std::string& Field) const {
    const TFieldPos* f = FindField(CartText, Field);
    return f ? DecodeText(Chunk.data() + f->Offset, f->Width) : std::string();
}

bool TCART::SetField(const std::string& Field, const std::string& Text) {
    const TFieldPos* f = FindField(CartText, Field);
    if (!f) return false;
    PutField(Chunk.data() + f->Offset, f->Width, Text);
    return true;
}

uint32_t TCART::LevelReference() const { return GetU32(Chunk.data() + CartLevelReference); }
void TCART::SetLevelReference(uint32_t V) { PutU32(Chunk.data() + CartLevelReference, V); }

TCART_TIMER TCART::GetPostTimer(int Index) const {
    TCART_TIMER t;
    if (Index < 0 || Index > 7) return t;
    const uint8_t* p = Chunk.data() + CartPostTimer + 8 * Index;
    t.Usage = DecodeText(p, 4);
    t.Value = GetU32(p + 4);
    return t;
}

void TCART::SetPostTimer(int Index, const TCART_TIMER& Timer) {
    if (Index < 0 || Index > 7) return;
    uint8_t* p = Chunk.data() + CartPostTimer + 8 * Index;
    PutField(p, 4, Timer.Usage);
    PutU32(p + 4, Timer.Value);
}

std::string TCART::GetTagText() const { return TailText(TagText); }

void TCART::SetTagText(const std::string& Text) {
    const std::string e = EncodeText(Text, 0);
    TagText.assign(e.begin(), e.end());
}

size_t TCART::ChunkSize() const { return TrailedSize(FixedSize, TagText); }

// ---- the tag --------------------------------------------------------------------------

void TWAVTag::Clear() {
    Frames.clear();
    SourceFileName.clear();
    Loaded = StreamRead = RF64 = false;
    BEXT.Clear();
    CART.Clear();
    EVNT.Clear();
    Attributes = TWaveFmt();
    PlayTime = 0;
    SampleCount = SampleDataStartPosition = SampleDataSize = 0;
    BitRate = 0;
}

bool TWAVTag::Assign(const TWAVTag& Source) {
    Frames.clear();
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    StreamRead = Source.StreamRead;
    for (const auto& f : Source.Frames) AddFrame(f->Name)->Assign(*f);
    BEXT = Source.BEXT;
    CART = Source.CART;
    return true;
}

TWAVTagFrame* TWAVTag::AddFrame(const std::string& Name) {
    TWAVTagFrame* f = Frames.Add(std::make_unique<TWAVTagFrame>(this)).get();
    f->Name = Name;
    return f;
}

int TWAVTag::AddTextFrame(const std::string& Name, const std::string& Text) {
    AddFrame(Name)->SetText(Text);
    return Count() - 1;
}

std::string TWAVTag::GetText(const std::string& Name) const {
    const int i = FrameExists(Name);
    return i < 0 ? std::string() : Frames[i]->GetText();
}

void TWAVTag::SetText(const std::string& Name, const std::string& Text) {
    const int i = FrameExists(Name);
    if (Text.empty()) {
        DeleteFrame(i);
        return;
    }
    // An item that already reads as Text keeps its bytes (its encoding, its terminator).
    if (i >= 0 && Frames[i]->Format == TWAVTagFrameFormat::ffText && Frames[i]->GetText() == Text) return;
    (i >= 0 ? Frames[i].get() : AddFrame(Name))->SetText(Text);
}

bool TWAVTag::GetList(const std::string& Name, std::vector<std::string>& List) const {
    const int i = FrameExists(Name);
    List.clear();
    return i >= 0 && Frames[i]->GetList(List);
}

void TWAVTag::SetList(const std::string& Name, const std::vector<std::string>& List) {
    const int i = FrameExists(Name);
    if (List.empty()) {
        DeleteFrame(i);
        return;
    }
    std::vector<std::string> now;
    if (i >= 0 && Frames[i]->GetList(now) && now == List) return;
    (i >= 0 ? Frames[i].get() : AddFrame(Name))->SetList(List);
}

void TWAVTag::RemoveEmptyFrames() {
    Frames.EraseIf([](const auto& f) { return f->Value.empty(); });
}

int64_t TWAVTag::CalculateTotalFramesSize() const {
    int64_t n = 0;
    for (const auto& f : Frames) n += (int64_t)f->Value.size() + (int64_t)(f->Value.size() & 1) + 8;
    return n;
}

int64_t TWAVTag::CalculateTagSize() const {
    return CalculateTotalFramesSize() + (int64_t)BEXT.ChunkSize() + (int64_t)CART.ChunkSize() + 28;
}

std::string TWAVTag::GetCodec() const {
    switch (Attributes.FormatTag) {
        case 1: return "Windows PCM";
        case 2: return "Microsoft ADPCM";
        case 3: return "PCM Float or IEEE Float";
        case 6: return "A-LAW";
        case 7: return "MU-LAW";
        case 17: return "DVI/IMA ADPCM";
        case 85: return "MPEG Layer III";
        case 0xFFFE: return "EXTENSIBLE";
        default: return "Unknown";
    }
}

// "LIST" size "INFO" with the items; "bext"; "cart". Sizes of bext and cart
// count their terminating NUL and pad byte.
std::vector<uint8_t> TWAVTag::CreateTagChunks() {
    TByteWriter w;
    if (!Frames.empty()) {
        w.str("LIST").u32le(uint32_t(CalculateTotalFramesSize() + 4)).str("INFO");
        for (const auto& f : Frames) {
            std::string id = f->Name.substr(0, 4);
            id.resize(4, ' ');
            w.str(id).u32le((uint32_t)f->Value.size()).bytes(f->Value);
            if (f->Value.size() & 1) w.u8(0);
        }
    }
    auto trailed = [&](const char* Id, const uint8_t* Fixed, size_t FixedSize, const std::vector<uint8_t>& Tail,
                       size_t Size) {
        const size_t start = w.size();
        w.str(Id).u32le((uint32_t)Size).bytes(Fixed, FixedSize).bytes(Tail);
        while (w.size() - start - 8 < Size) w.u8(0);
    };
    auto asRead = [&](const char* Id, const std::vector<uint8_t>& Raw) {
        w.str(Id).u32le((uint32_t)Raw.size()).bytes(Raw);
        if (Raw.size() & 1) w.u8(0);
    };
    if (BEXT.Have() && AsRead(BEXT.Raw, BEXT.Chunk.data(), TBEXT::FixedSize, BEXT.CodingHistory)) {
        asRead("bext", BEXT.Raw);
    } else if (BEXT.Have()) {
        if (BEXT.GetWord("Version") == 0) BEXT.SetWord("Version", 1);
        trailed("bext", BEXT.Chunk.data(), TBEXT::FixedSize, BEXT.CodingHistory, BEXT.ChunkSize());
    }
    if (CART.Have() && AsRead(CART.Raw, CART.Chunk.data(), TCART::FixedSize, CART.TagText)) {
        asRead("cart", CART.Raw);
    } else if (CART.Have()) {
        if (CART.GetField("Version").empty()) CART.SetField("Version", "0101");
        trailed("cart", CART.Chunk.data(), TCART::FixedSize, CART.TagText, CART.ChunkSize());
    }
    return w.take();
}

// ---- loading --------------------------------------------------------------------------

int TWAVTag::LoadFromFile(const std::string& FileName) {
    Clear();
    auto s = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!s) return wavresult::NoFile;
    return LoadFromOpenFile(*s, FileName);
}

int TWAVTag::LoadFromOpenFile(TStream& File, const std::string& FileName) {
    Clear();
    const int r = LoadFromStream(File);
    if (r == wavresult::Success) SourceFileName = FileName;
    return r;
}

int TWAVTag::LoadFromStream(TStream& S) {
    Clear();
    const int64_t start = S.Position();
    FFileSize = S.Size();
    try {
        TRiffLayout L;
        if (!WalkRiff(S, L)) return wavresult::NotWave;
        RF64 = L.RF64;
        uint64_t fact = 0;
        bool haveFmt = false, haveData = false;
        for (const TChunk& c : L.Chunks) {
            if (IsInfoList(S, c)) {
                // Every INFO list counts; each item's size is checked against the list.
                const std::vector<uint8_t> d = ReadChunkData(S, c, MaxTagChunkSize);
                TByteReader r(d);
                r.skip(4);
                while (r.remaining() >= 8) {
                    const std::string id = r.str(4);
                    const uint32_t size = r.u32le();
                    if (size > r.remaining()) break;
                    TWAVTagFrame* f = AddFrame(std::string(id.c_str()));
                    f->Value = r.vec(size);
                    f->Format = TWAVTagFrameFormat::ffText;
                    if ((size & 1) && r.remaining() > 0) r.skip(1);
                }
            } else if (IdIs(c.Id, "bext") && !BEXT.Loaded) {
                const std::vector<uint8_t> d = ReadChunkData(S, c, MaxTagChunkSize);
                const size_t fixed = std::min(d.size(), TBEXT::FixedSize);
                std::copy(d.begin(), d.begin() + (ptrdiff_t)fixed, BEXT.Chunk.begin());
                BEXT.CodingHistory.assign(d.begin() + (ptrdiff_t)fixed, d.end());
                while (!BEXT.CodingHistory.empty() && BEXT.CodingHistory.back() == 0) BEXT.CodingHistory.pop_back();
                BEXT.Raw = d;
                BEXT.Loaded = true;
            } else if (IdIs(c.Id, "cart") && !CART.Loaded) {
                const std::vector<uint8_t> d = ReadChunkData(S, c, MaxTagChunkSize);
                const size_t fixed = std::min(d.size(), TCART::FixedSize);
                std::copy(d.begin(), d.begin() + (ptrdiff_t)fixed, CART.Chunk.begin());
                CART.TagText.assign(d.begin() + (ptrdiff_t)fixed, d.end());
                while (!CART.TagText.empty() && CART.TagText.back() == 0) CART.TagText.pop_back();
                CART.Raw = d;
                CART.Loaded = true;
            } else if (IdIs(c.Id, "EVNT") && !EVNT.Loaded) {
                // 24-byte event records; a token (3) or bookmark (4) event
                // carries wParam bytes, then padding to a multiple of 4 and 2 more.
                const std::vector<uint8_t> d = ReadChunkData(S, c, MaxTagChunkSize);
                TByteReader r(d);
                const uint64_t base = c.Pos + 8;
                while (r.remaining() >= 24) {
                    TSPEVENT e;
                    e.EventID = r.u16le();
                    e.ParamType = r.u16le();
                    e.StreamNumber = r.u32le();
                    e.AudioStreamOffset = r.u64le();
                    e.wParam = r.u32le();
                    e.lParam = r.u32le();
                    if ((e.EventID == 3 || e.EventID == 4) && e.wParam != 0) {
                        if (e.wParam > r.remaining()) break;
                        (e.EventID == 3 ? e.TOKENDATA : e.BOOKMARK) = r.vec(e.wParam);
                        const uint64_t at = base + r.position();
                        const size_t skip = (size_t)((4 - at % 4) % 4) + 2;
                        r.skip(std::min(skip, r.remaining()));
                    }
                    EVNT.SPEVENTS.push_back(std::move(e));
                }
                EVNT.Loaded = true;
            } else if (IdIs(c.Id, "fmt ") && !haveFmt && c.Size >= 16) {
                const std::vector<uint8_t> d = ReadChunkData(S, c, 40);
                TByteReader r(d);
                Attributes.fmtSize = (uint32_t)std::min<uint64_t>(c.Size, UINT32_MAX);
                Attributes.FormatTag = r.u16le();
                Attributes.Channels = r.u16le();
                Attributes.SamplesPerSec = r.u32le();
                Attributes.AvgBytesPerSec = r.u32le();
                Attributes.BlockAlign = r.u16le();
                Attributes.BitsPerSample = r.u16le();
                if (Attributes.FormatTag == 0xFFFE && r.remaining() >= 24) {
                    Attributes.cbSize = r.u16le();
                    Attributes.ValidBitsPerSample = r.u16le();
                    Attributes.ChannelMask = r.u32le();
                    auto g = r.bytes(16);
                    std::copy(g.begin(), g.end(), std::begin(Attributes.SubFormat));
                }
                haveFmt = true;
            } else if (IdIs(c.Id, "fact") && c.Size >= 4) {
                const std::vector<uint8_t> d = ReadChunkData(S, c, 4);
                if (d.size() == 4) fact = GetU32(d.data());  // the sample count, after the size field
            } else if (IdIs(c.Id, "data") && !haveData) {
                SampleDataStartPosition = c.Pos + 8;
                SampleDataSize = c.Size;
                haveData = true;
            }
        }

        // Play time: PCM from its sample frames; other codings from the
        // "fact" sample count; else from the average byte rate.
        const TWaveFmt& F = Attributes;
        const bool pcm = F.FormatTag == 1 || F.FormatTag == 3 || F.FormatTag == 0xFFFE;
        uint64_t samples = 0;
        if (L.RF64 && L.Ds64Samples != 0)
            samples = L.Ds64Samples;
        else if (pcm && F.BlockAlign != 0)
            samples = SampleDataSize / F.BlockAlign;
        else if (!pcm && fact != 0)
            samples = fact;
        else if (F.BlockAlign != 0)
            samples = SampleDataSize / F.BlockAlign;
        SampleCount = samples;
        if ((pcm || fact != 0 || (L.RF64 && L.Ds64Samples != 0)) && F.SamplesPerSec != 0 && samples != 0)
            PlayTime = double(samples) / F.SamplesPerSec;
        else if (F.AvgBytesPerSec != 0)
            PlayTime = double(SampleDataSize) / F.AvgBytesPerSec;
        BitRate = int32_t(F.AvgBytesPerSec / 125);

        StreamRead = true;
        Loaded = !Frames.empty() || BEXT.Loaded || CART.Loaded;
        S.Seek(start);
        return wavresult::Success;
    } catch (const ETagFormat&) {
        Loaded = StreamRead = false;
        S.Seek(start);
        return wavresult::Failed;
    }
}

// ---- saving ---------------------------------------------------------------------------

int TWAVTag::SaveToFile(const std::string& FileName) {
    try {
        const bool existed = fileutil::FileExists(FileName);
        if (existed && fileutil::IsReadOnly(FileName)) return wavresult::ReadOnly;
        fileutil::TModTimeKeeper keeper(FileName, existed && PreserveFileDateTime);
        if (!existed) {
            // A new file: an empty WAVE form to hold the chunks.
            auto f = TFileStream::Open(FileName, TFileMode::fmCreateExclusive);
            if (!f) return wavresult::OpenFailed;
            const uint8_t empty[12] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
            if (!f->WriteExact(empty, 12)) return wavresult::OpenFailed;
        }
        auto s = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!s) return wavresult::OpenFailed;
        return Save(*s, FileName);
    } catch (const ETagFormat&) {
        return wavresult::Failed;
    }
}

int TWAVTag::SaveToStream(TStream& Stream) {
    try {
        if (Stream.Size() == 0) {
            const uint8_t empty[12] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
            if (Stream.Seek(0) != 0 || !Stream.WriteExact(empty, 12)) return wavresult::NoTemp;
        }
        const int r = Save(Stream, std::string());
        Stream.Seek(0);
        return r;
    } catch (const ETagFormat&) {
        return wavresult::Failed;
    }
}

namespace {

// A filler chunk ("JUNK") spanning Span bytes, header included (Span >= 8, even).
void PutFiller(std::vector<uint8_t>& Out, int64_t Span) {
    TByteWriter w;
    w.str(riff::FillerID).u32le((uint32_t)(Span - 8)).zeros((size_t)(Span - 8));
    const std::vector<uint8_t> b = w.take();
    Out.insert(Out.end(), b.begin(), b.end());
}

// Lengthens the last of the chunks in Chunks by Gap zero bytes (Gap even),
// for a gap too small for a filler chunk; false when there is no chunk.
bool GrowLastChunk(std::vector<uint8_t>& Chunks, int64_t Gap) {
    size_t pos = 0, last = SIZE_MAX;
    while (Chunks.size() - pos >= 8) {
        const uint32_t len = GetU32(Chunks.data() + pos + 4);
        last = pos;
        pos += 8 + (size_t)len + (len & 1);
        if (pos > Chunks.size()) return false;
    }
    if (last == SIZE_MAX || pos != Chunks.size()) return false;
    PutU32(Chunks.data() + last + 4, GetU32(Chunks.data() + last + 4) + (uint32_t)Gap);
    Chunks.insert(Chunks.end(), (size_t)Gap, 0);
    return true;
}

}  // namespace

// The old INFO lists, bext and cart chunks make way for the new ones. When
// they all lie together the new chunks take their place; scattered, the
// region from the first to the last is replaced, the chunks between them
// carried over; with none, the new chunks go right after the header. The
// filler chunks right behind the last of them are room: the new chunks stay
// in the region when they fit, a filler chunk taking the rest as far as the
// padding rule (tags/padding.h) allows. Chunks written anew get a filler
// chunk of the padding the rule gives behind them, so that later edits fit.
// The form's size is the old one moved by the change in length.
int TWAVTag::Save(TStream& S, const std::string& FileName) {
    TRiffLayout L;
    if (!WalkRiff(S, L)) return wavresult::NotWave;
    if (L.Damaged) return wavresult::Structure;
    RemoveEmptyFrames();
    std::vector<uint8_t> chunks = CreateTagChunks();

    int first = -1, last = -1;
    for (size_t i = 0; i < L.Chunks.size(); ++i) {
        TChunk& c = L.Chunks[i];
        c.IsTag = IsInfoList(S, c) || IdIs(c.Id, "bext") || IdIs(c.Id, "cart");
        if (!c.IsTag) continue;
        if (c.Size > MaxTagChunkSize) return wavresult::Failed;  // was not read whole: it cannot be replaced
        if (first < 0) first = (int)i;
        last = (int)i;
    }
    if (first < 0 && chunks.empty()) return wavresult::Success;  // nothing to remove, nothing to add
    const int64_t fileSize = (int64_t)L.FileSize;
    const int64_t fresh = TagLibraryDefaults().Padding.ToWrite(fileSize);
    TFileEdit edit;
    if (first < 0) {
        edit.Pos = (int64_t)std::min(L.HeaderEnd, L.BodyEnd);
        edit.OldLen = 0;
        edit.Bytes = chunks;
        if (fresh >= 8) PutFiller(edit.Bytes, fresh & ~int64_t(1));
    } else {
        // The chunks between the first and the last tag chunk stay, behind the new ones.
        std::vector<uint8_t> carried;
        for (int i = first + 1; i < last; ++i) {
            const TChunk& c = L.Chunks[i];
            if (c.IsTag) continue;
            S.Seek((int64_t)c.Pos);
            const std::vector<uint8_t> raw = S.ReadBytes((int64_t)(c.End - c.Pos));
            if (raw.size() != c.End - c.Pos) return wavresult::Failed;
            carried.insert(carried.end(), raw.begin(), raw.end());
        }
        size_t end = (size_t)last + 1;
        while (end < L.Chunks.size() && riff::IsFillerID(std::string_view(L.Chunks[end].Id, 4))) ++end;
        const int64_t tagsEnd = (int64_t)L.Chunks[last].End, roomEnd = (int64_t)L.Chunks[end - 1].End;
        edit.Pos = (int64_t)L.Chunks[first].Pos;
        edit.OldLen = tagsEnd - edit.Pos;
        const int64_t oldFiller = roomEnd - tagsEnd;
        const int64_t gap = roomEnd - edit.Pos - (int64_t)(chunks.size() + carried.size());
        // The filler goes right behind the tag chunks, where the next save looks for room.
        edit.OldLen = roomEnd - edit.Pos;
        if (gap == 0 || (gap >= 8 && padding::MayKeep(gap, oldFiller, fileSize))) {
            if (gap > 0) PutFiller(chunks, gap);
        } else if (gap > 0 && gap < 8 && GrowLastChunk(chunks, gap)) {
            // Too small for a filler chunk: the last tag chunk holds the zero bytes.
        } else if (!chunks.empty() && fresh >= 8) {
            PutFiller(chunks, fresh & ~int64_t(1));
        }
        edit.Bytes = std::move(chunks);
        edit.Bytes.insert(edit.Bytes.end(), carried.begin(), carried.end());
        // The tag chunks as they were, and their room: nothing to write.
        if (edit.Delta() == 0 && oldFiller == gap) {
            S.Seek(edit.Pos);
            const std::vector<uint8_t> old = S.ReadBytes(tagsEnd - edit.Pos);
            if (std::equal(old.begin(), old.end(), edit.Bytes.begin(), edit.Bytes.begin() + (ptrdiff_t)old.size()))
                return wavresult::Success;
        }
    }
    // An odd chunk at the very end may have lacked its pad byte; the chunks
    // that now follow it need it.
    if (edit.OldLen == 0 && edit.Pos == (int64_t)L.BodyEnd && (L.BodyEnd & 1)) edit.Bytes.insert(edit.Bytes.begin(), 0);

    const uint64_t newBodyEnd = L.BodyEnd + edit.Bytes.size() - (uint64_t)edit.OldLen;
    const uint64_t riffSize = newBodyEnd - 8;
    TByteWriter size;
    if (L.RF64) {
        size.u64le(riffSize);
        edit.Patches.push_back({20, size.take()});
    } else {
        if (riffSize > 0xFFFFFFFFull) return wavresult::TooLarge;
        size.u32le((uint32_t)riffSize);
        edit.Patches.push_back({4, size.take()});
    }

    for (const TFilePatch& p : edit.Patches)
        if (p.At + (int64_t)p.Bytes.size() > edit.Pos) return wavresult::Structure;

    // Only the bytes that differ are written in place (nothing at all when
    // the chunks and the size are what the file holds).
    edit = regionedit::NarrowedInPlace(S, std::move(edit));
    const TEditResult r = FileName.empty() ? ApplyEditToStream(S, edit) : ApplyEditToFile(FileName, edit);
    switch (r) {
        case TEditResult::Success: return wavresult::Success;
        case TEditResult::OpenFailed: return wavresult::OpenFailed;
        default: return wavresult::Failed;
    }
}

int RemoveWAVTagFromFile(const std::string& FileName, bool PreserveFileDateTime) {
    try {
        if (!fileutil::FileExists(FileName)) return wavresult::NoFile;
        TWAVTag empty;
        empty.PreserveFileDateTime = PreserveFileDateTime;
        return empty.SaveToFile(FileName);
    } catch (const ETagFormat&) {
        return wavresult::Failed;
    }
}
