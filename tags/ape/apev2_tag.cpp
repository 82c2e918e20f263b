#include "tags/ape/apev2_tag.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/trailer_edit.h"
#include "tags/tag_types.h"
#include "tags/text.h"

namespace {

using namespace apev2result;
using apev2limit::HeaderSize;

constexpr char Magic[] = "APETAGEX";
constexpr uint32_t FlagHeaderPresent = 0x80000000u;
constexpr uint32_t FlagIsHeader = 0x20000000u;
constexpr uint32_t FlagReadOnly = 1;
// Item flags: bits 1-2 hold the item's kind.
constexpr uint32_t KindBits = 6;
constexpr uint32_t KindText = 0, KindBinary = 1;

bool ReadAt(TStream& S, int64_t Pos, void* Buf, int64_t Count) {
    std::memset(Buf, 0, (size_t)Count);
    if (Pos < 0 || Pos > S.Size() - Count || S.Seek(Pos) != Pos) return false;
    return S.Read(Buf, Count) == Count;
}

// Trailing blanks and control characters go, as in every text this tag shows.
std::string TrimRight(std::string S) {
    while (!S.empty() && (unsigned char)S.back() <= 0x20) S.pop_back();
    return S;
}

std::string DecodeText(std::string_view Bytes) {
    if (text::IsValidUtf8(Bytes)) {
        std::string s(Bytes);
        if (!TrimRight(s).empty()) return s;
    }
    return text::AnsiToUtf8(Bytes);
}

// "BINARY 512 Byte", "BINARY 1.50 KB", ...
std::string BinarySizeText(size_t Size) {
    if (Size < 1024) return "BINARY " + std::to_string(Size) + " Byte";
    static constexpr const char* Units[] = {"KB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    double v = (double)Size;
    int unit = -1;
    while (v >= 1024 && unit < 7) {
        v /= 1024;
        ++unit;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "BINARY %.2f %s", v, Units[unit]);
    return buf;
}

// Picture keys by picture type (0..20).
constexpr const char* CoverKeys[PictureTypeCount] = {"Cover Art (Other)",
                                                     "Cover Art (Icon)",
                                                     "Cover Art (Other Icon)",
                                                     "Cover Art (Front)",
                                                     "Cover Art (Back)",
                                                     "Cover Art (Leaflet)",
                                                     "Cover Art (Media)",
                                                     "Cover Art (Lead Artist)",
                                                     "Cover Art (Artist)",
                                                     "Cover Art (Conductor)",
                                                     "Cover Art (Band)",
                                                     "Cover Art (Composer)",
                                                     "Cover Art (Lyricist)",
                                                     "Cover Art (Recording Location)",
                                                     "Cover Art (During Recording)",
                                                     "Cover Art (During Performance)",
                                                     "Cover Art (Video Capture)",
                                                     "Cover Art (Fish)",
                                                     "Cover Art (Illustration)",
                                                     "Cover Art (Band Logotype)",
                                                     "Cover Art (Publisher Logotype)"};
static_assert(sizeof CoverKeys / sizeof CoverKeys[0] == PictureTypeCount);

TAPEv2PictureFormat SignatureAt(const uint8_t* P, size_t N) {
    if (N >= 2 && P[0] == 0xFF && P[1] == 0xD8) return pfJPEG;
    if (N >= 4 && P[0] == 0x89 && P[1] == 0x50 && P[2] == 0x4E && P[3] == 0x47) return pfPNG;
    if (N >= 4 && P[0] == 0x47 && P[1] == 0x49 && P[2] == 0x46 && P[3] == 0x38) return pfGIF;
    if (N >= 2 && P[0] == 0x42 && P[1] == 0x4D) return pfBMP;
    return pfUnknown;
}

// Where the description of a binary value ends (the 0x00), or npos.
size_t DescriptionEnd(const std::vector<uint8_t>& V) {
    auto it = std::find(V.begin(), V.end(), uint8_t(0));
    return it == V.end() ? std::string::npos : (size_t)(it - V.begin());
}

void PutHeader(TByteWriter& W, uint32_t Size, uint32_t Count, uint32_t Flags) {
    W.str(Magic).u32le(2000).u32le(Size).u32le(Count).u32le(Flags).zeros(8);
}

// The new tag (or none, when Bytes is empty) goes in place of the old one,
// or in front of the Lyrics3 / ID3v1 blocks, which stay as they are.
int PlaceTag(const std::string& FileName, TStream* Stream, const std::vector<uint8_t>& Bytes) {
    const TEditResult r = Stream ? ReplaceTrailerMember(*Stream, TTrailerKind::APEv2, Bytes)
                                 : ReplaceTrailerMemberInFile(FileName, TTrailerKind::APEv2, Bytes);
    switch (r) {
        case TEditResult::Success: return Success;
        case TEditResult::OpenFailed: return CannotOpen;
        default: return Failure;
    }
}

// Checks the items of the tag found at Where, so that a save never replaces
// a tag it could not read whole (its unread items would be lost). Removal
// does not ask: the footer alone says where the tag lies.
int CheckItems(TStream& S, const TAPEv2Location& Where) {
    TAPEv2Tag probe;
    const int64_t bodySize = (int64_t)Where.Size - HeaderSize;
    S.Seek(Where.ItemsStart);
    std::vector<uint8_t> body = S.ReadBytes(bodySize);
    if ((int64_t)body.size() != bodySize) return DamagedFooter;
    return probe.ParseItems(body.data(), body.size(), Where.ItemCount, Where.Version);
}

}  // namespace

// ---- location ---------------------------------------------------------------------

// From the end backwards: [ID3v1 "TAG" block, 128 bytes] preceded by an
// optional Lyrics3 v2.00 block (ending "<6 digits>LYRICS200"), preceded by
// the 32-byte APE footer:
//   "APETAGEX", version u32le, size u32le (items + footer), item count u32le,
//   flags u32le (bit 31: a header is present), 8 reserved bytes.
// The header has the same layout and stands right before the first item.
int LocateAPEv2Tag(TStream& S, TAPEv2Location& W) {
    W = TAPEv2Location{};
    const TTrailerLayout L = FindTrailer(S);
    const int64_t kept = L.PosOf(TTrailerKind::Lyrics3);
    W.KeptStart = W.TagStart = W.ItemsStart = kept;
    uint8_t f[HeaderSize];
    if (kept < HeaderSize || !ReadAt(S, kept - HeaderSize, f, HeaderSize) || std::memcmp(f, Magic, 8) != 0)
        return Success;
    TByteReader r(f, sizeof f);
    r.skip(8);
    W.Version = r.u32le();
    W.Size = r.u32le();
    W.ItemCount = r.u32le();
    W.Flags = r.u32le();
    if (W.Version != 1000 && W.Version != 2000) return UnsupportedVersion;
    // The size counts the items and the footer: it cannot be smaller than the
    // footer nor reach before the start of the stream, and the count must fit.
    const int64_t footerEnd = kept;
    if (W.Size < HeaderSize || (int64_t)W.Size > footerEnd || W.ItemCount > apev2limit::MaxItems ||
        (int64_t)W.ItemCount * apev2limit::MinItemSize > (int64_t)W.Size - HeaderSize)
        return DamagedFooter;
    // The trailer editor found the same tag (a header counts only where it
    // really stands); it is the one that will replace or remove it.
    if (!L.APEv2().Present() || L.APEv2().End() != footerEnd) return DamagedFooter;
    W.Found = true;
    W.ItemsStart = footerEnd - W.Size;
    W.TagStart = L.APEv2().Pos;
    W.HasHeader = L.APEv2HasHeader;
    return Success;
}

// ---- items ------------------------------------------------------------------------

std::vector<std::string> TAPEv2Frame::GetValues() const {
    std::vector<std::string> out;
    if (Format != ffText) return out;
    std::string_view all((const char*)Value.data(), Value.size());
    // One terminating zero is not an empty last value.
    if (!all.empty() && all.back() == '\0') all.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t z = all.find('\0', start);
        out.push_back(TrimRight(DecodeText(all.substr(start, z == std::string_view::npos ? z : z - start))));
        if (z == std::string_view::npos) break;
        start = z + 1;
    }
    return out;
}

std::string TAPEv2Frame::GetText() const {
    if (Format == ffBinary) return BinarySizeText(Value.size());
    std::string s;
    const auto values = GetValues();
    for (size_t i = 0; i < values.size(); ++i) s += (i ? "\r\n" : "") + values[i];
    return TrimRight(s);
}

std::string TAPEv2Frame::GetTextANSI() const {
    if (Format == ffBinary) return BinarySizeText(Value.size());
    return TrimRight(text::AnsiToUtf8(std::string_view((const char*)Value.data(), Value.size())));
}

void TAPEv2Frame::SetText(const std::string& Text) {
    Value.assign(Text.begin(), Text.end());
    Format = ffText;
    Kind = KindText;
}

void TAPEv2Frame::SetValues(const std::vector<std::string>& Values) {
    Value.clear();
    for (size_t i = 0; i < Values.size(); ++i) {
        if (i) Value.push_back(0);
        Value.insert(Value.end(), Values[i].begin(), Values[i].end());
    }
    Format = ffText;
    Kind = KindText;
}

void TAPEv2Frame::GetList(std::vector<std::string>& List) const {
    List.clear();
    std::string all(Value.begin(), Value.end());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < all.size()) {
        size_t e = all.find("\r\n", start);
        if (e == std::string::npos) e = all.size();
        lines.push_back(DecodeText(all.substr(start, e - start)));
        start = e + 2;
    }
    for (size_t i = 0; i + 1 < lines.size(); i += 2) List.push_back(lines[i] + "=" + lines[i + 1]);
}

void TAPEv2Frame::SetList(const std::vector<std::string>& List) {
    std::string v;
    for (const auto& item : List) {
        size_t eq = item.find('=');
        v += item.substr(0, eq) + "\r\n" + (eq == std::string::npos ? "" : item.substr(eq + 1)) + "\r\n";
    }
    SetText(v);
}

bool TAPEv2Frame::IsCoverArt() const {
    if (Format != ffBinary) return false;
    if (APEv2CoverTypeOfKey(Name) >= 0) return true;
    // The picture file starts right after the description.
    const size_t d = DescriptionEnd(Value);
    return d != std::string::npos && SignatureAt(Value.data() + d + 1, Value.size() - d - 1) != pfUnknown;
}

void TAPEv2Frame::Clear() {
    Name.clear();
    Value.clear();
    Format = ffText;
    Kind = KindText;
    OtherFlags = 0;
    AlreadyParsed = false;
}

void TAPEv2Frame::Assign(const TAPEv2Frame& Source) {
    Name = Source.Name;
    Format = Source.Format;
    Kind = Source.Kind;
    OtherFlags = Source.OtherFlags;
    Value = Source.Value;
}

int TAPEv2Frame::Index() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->Frames[(size_t)i].get() == this) return i;
    return -1;
}

std::string APEv2CoverKey(uint32_t PictureType) {
    return CoverKeys[PictureType < (uint32_t)PictureTypeCount ? PictureType : 0];
}

int APEv2CoverTypeOfKey(const std::string& Key) {
    for (int t = 0; t < PictureTypeCount; ++t) {
        const std::string k = CoverKeys[t];
        if (Key.size() < k.size() || !text::SameText(Key.substr(0, k.size()), k)) continue;
        if (Key.size() == k.size()) return t;
        // "Cover Art (Front) 2": a further picture of the same type.
        auto n = text::ParseInt(Key.substr(k.size()));
        if (Key[k.size()] == ' ' && n && *n > 1) return t;
    }
    return -1;
}

// ---- the tag ----------------------------------------------------------------------

TAPEv2Tag::TAPEv2Tag() { Frames.reserve(256); }
TAPEv2Tag::~TAPEv2Tag() = default;

void TAPEv2Tag::Clear() {
    DeleteAllFrames();
    FileName.clear();
    SourceFileName.clear();
    Loaded = false;
    Version = Flags = TagSizeField = 0;
    FFileSize = FBytesOnDisk = 0;
}

bool TAPEv2Tag::Assign(const TAPEv2Tag& Source) {
    if (&Source == this) return true;
    DeleteAllFrames();
    for (const auto& f : Source.Frames) {
        auto c = std::make_unique<TAPEv2Frame>(this);
        c->Assign(*f);
        Frames.push_back(std::move(c));
    }
    FileName = Source.FileName;
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    Version = Source.Version;
    Flags = Source.Flags;
    TagSizeField = Source.TagSizeField;
    UpperCaseFieldNamesToWrite = Source.UpperCaseFieldNamesToWrite;
    PreserveFileDateTime = Source.PreserveFileDateTime;
    FFileSize = Source.FFileSize;
    FBytesOnDisk = Source.FBytesOnDisk;
    return true;
}

TAPEv2Frame* TAPEv2Tag::AddFrame(const std::string& Name) {
    TAPEv2Frame* f = Frames.Add(std::make_unique<TAPEv2Frame>(this)).get();
    f->Name = UpperCaseFieldNamesToWrite ? text::UpperAscii(Name) : Name;
    return f;
}

void TAPEv2Tag::DeleteAllFrames() {
    Frames.clear();
    Frames.shrink_to_fit();
    Frames.reserve(256);
}

void TAPEv2Tag::DeleteAllCoverArts() {
    for (int i = Count() - 1; i >= 0; --i)
        if (Frames[(size_t)i]->IsCoverArt()) DeleteFrame(i);
}

int TAPEv2Tag::CoverArtCount() const {
    return (int)std::count_if(Frames.begin(), Frames.end(), [](const auto& f) { return f->IsCoverArt(); });
}

int TAPEv2Tag::GetFrameIndexOfCoverArtIndex(int CoverArtIndex) const {
    for (int i = 0, n = 0; i < Count(); ++i)
        if (Frames[(size_t)i]->IsCoverArt() && n++ == CoverArtIndex) return i;
    return -1;
}

int64_t TAPEv2Tag::CalculateTotalFramesSize() const {
    int64_t n = 0;
    for (const auto& f : Frames) n += 8 + (int64_t)f->Name.size() + 1 + (int64_t)f->Value.size();
    return n;
}

int64_t TAPEv2Tag::CalculateTagSize() const { return CalculateTotalFramesSize() + 2 * HeaderSize; }

TAPEv2Frame* TAPEv2Tag::AddTextFrame(const std::string& Name, const std::string& Text) {
    TAPEv2Frame* f = AddFrame(Name);
    f->SetText(Text);
    return f;
}

TAPEv2Frame* TAPEv2Tag::AddBinaryFrame(const std::string& Name, const uint8_t* Data, size_t DataSize) {
    TAPEv2Frame* f = AddFrame(Name);
    f->Format = ffBinary;
    f->Kind = KindBinary;
    if (Data && DataSize) f->Value.assign(Data, Data + DataSize);
    return f;
}

void TAPEv2Tag::SetText(const std::string& Name, const std::string& Text) {
    const int i = FrameExists(Name);
    if (Text.empty()) {
        if (i >= 0) DeleteFrame(i);
        return;
    }
    (i >= 0 ? Frames[(size_t)i].get() : AddFrame(Name))->SetText(Text);
}

void TAPEv2Tag::SetList(const std::string& Name, const std::vector<std::string>& List) {
    const int i = FrameExists(Name);
    if (List.empty()) {
        if (i >= 0) DeleteFrame(i);
        return;
    }
    (i >= 0 ? Frames[(size_t)i].get() : AddFrame(Name))->SetList(List);
}

std::string TAPEv2Tag::GetText(const std::string& Name) const {
    const int i = FrameExists(Name);
    return i >= 0 ? Frames[(size_t)i]->GetText() : std::string();
}

void TAPEv2Tag::GetList(const std::string& Name, std::vector<std::string>& List) const {
    List.clear();
    const int i = FrameExists(Name);
    if (i >= 0) Frames[(size_t)i]->GetList(List);
}

void TAPEv2Tag::RemoveEmptyFrames() {
    for (int i = Count() - 1; i >= 0; --i)
        if (Frames[(size_t)i]->Value.empty()) DeleteFrame(i);
}

TAPEv2Frame* TAPEv2Tag::AddCoverArtFrame(const std::string& Name, const std::vector<uint8_t>& Picture,
                                         const std::string& Description) {
    TAPEv2Frame* f = AddBinaryFrame(Name, nullptr, 0);
    f->Value.assign(Description.begin(), Description.end());
    f->Value.push_back(0);
    f->Value.insert(f->Value.end(), Picture.begin(), Picture.end());
    return f;
}

bool TAPEv2Tag::SetCoverArtFrame(int Index, const std::vector<uint8_t>& Picture, const std::string& Description) {
    TAPEv2Frame* f = Frame(GetFrameIndexOfCoverArtIndex(Index));
    if (!f) return false;
    f->Value.assign(Description.begin(), Description.end());
    f->Value.push_back(0);
    f->Value.insert(f->Value.end(), Picture.begin(), Picture.end());
    return true;
}

bool TAPEv2Tag::GetCoverArtFromFrame(int Index, TAPEv2CoverArtInfo& Info) const {
    Info = TAPEv2CoverArtInfo{};
    const TAPEv2Frame* f = Frame(Index);
    if (!f || !f->IsCoverArt()) return false;
    const size_t d = DescriptionEnd(f->Value);
    if (d == std::string::npos) {
        // A picture key without a description: the whole value is the picture.
        Info.Data = f->Value;
    } else {
        Info.Description = DecodeText(std::string_view((const char*)f->Value.data(), d));
        Info.Data.assign(f->Value.begin() + (ptrdiff_t)d + 1, f->Value.end());
    }
    Info.Format = SignatureAt(Info.Data.data(), Info.Data.size());
    return true;
}

void TAPEv2Tag::ReSetAlreadyParsedState() {
    for (auto& f : Frames) f->AlreadyParsed = false;
}

// Item: value size u32le, flags u32le (bits 1-2: 0 text, 1 binary, 2 external
// locator, 3 reserved), key bytes, 0x00, value bytes.
int TAPEv2Tag::ParseItems(const uint8_t* Data, size_t Size, uint32_t Count, uint32_t TagVersion) {
    TByteReader r(Data, Size);
    for (uint32_t i = 0; i < Count; ++i) {
        // A count larger than the items present: every byte was read, nothing is lost.
        if (r.atEnd()) break;
        if (!r.has(8)) return ItemTooLarge;
        const uint32_t valueSize = r.u32le();
        const uint32_t flags = r.u32le();
        const uint8_t* keyStart = r.current();
        const uint8_t* zero = (const uint8_t*)std::memchr(keyStart, 0, r.remaining());
        if (!zero) return ItemTooLarge;
        const std::string key = DecodeText(std::string_view((const char*)keyStart, (size_t)(zero - keyStart)));
        r.skip((size_t)(zero - keyStart) + 1);
        if (!r.has(valueSize)) return ItemTooLarge;
        auto f = std::make_unique<TAPEv2Frame>(this);
        f->Name = key;
        f->Kind = (flags >> 1) & 3;
        f->OtherFlags = flags & ~KindBits;
        f->Format = f->Kind == KindText ? ffText : f->Kind == KindBinary ? ffBinary : ffUnknown;
        f->Value = r.vec(valueSize);
        // Version 1.0 text is in the legacy code page.
        if (TagVersion == 1000 && f->Format == ffText) {
            const std::string utf8 = text::AnsiToUtf8(std::string_view((const char*)f->Value.data(), f->Value.size()));
            f->Value.assign(utf8.begin(), utf8.end());
        }
        Frames.push_back(std::move(f));
        Loaded = true;
    }
    return Success;
}

int TAPEv2Tag::LoadFromStream(TStream& S) {
    Clear();
    try {
        const int64_t saved = S.Position();
        FFileSize = S.Size();
        TAPEv2Location w;
        int r = LocateAPEv2Tag(S, w);
        if (r == Success && !w.Found) r = NoTag;
        if (r == Success) {
            Version = w.Version;
            Flags = w.Flags;
            TagSizeField = w.Size;
            FBytesOnDisk = w.KeptStart - w.TagStart;
            const int64_t bodySize = (int64_t)w.Size - HeaderSize;
            S.Seek(w.ItemsStart);
            std::vector<uint8_t> body = S.ReadBytes(bodySize);
            r = (int64_t)body.size() == bodySize ? ParseItems(body.data(), body.size(), w.ItemCount, w.Version)
                                                 : DamagedFooter;
        }
        S.Seek(saved);
        return r;
    } catch (const ETagFormat&) {
        DeleteAllFrames();
        Loaded = false;
        return Failure;
    }
}

int TAPEv2Tag::LoadFromFile(const std::string& Name) {
    Clear();
    try {
        auto f = TFileStream::Open(Name, TFileMode::fmOpenReadShared);
        if (!f) return CannotOpen;
        return LoadFromOpenFile(*f, Name);
    } catch (const ETagFormat&) {
        return Failure;
    }
}

int TAPEv2Tag::LoadFromOpenFile(TStream& File, const std::string& Name) {
    Clear();
    try {
        // The footer, a Lyrics3 trailer and an ID3v1 block lie within the
        // last kilobyte: one window reads them all.
        TBufferedStream buffered(File);
        uint8_t first;
        buffered.Seek(std::max<int64_t>(0, buffered.Size() - TBufferedStream::BufferSize));
        buffered.Read(&first, 1);
        const int r = LoadFromStream(buffered);
        if (r == Success || r == UnsupportedVersion) FileName = SourceFileName = Name;
        return r;
    } catch (const ETagFormat&) {
        return Failure;
    }
}

std::vector<uint8_t> TAPEv2Tag::Render(bool WithHeader) const {
    TByteWriter items;
    uint32_t count = 0;
    for (const auto& f : Frames) {
        if (f->Name.empty() || f->Value.empty()) continue;
        // Text and binary items get their kind; other kinds, and the other
        // flags (read-only), are kept as read.
        const uint32_t flags = ((f->Kind << 1) & KindBits) | (f->OtherFlags & ~KindBits);
        items.u32le((uint32_t)f->Value.size()).u32le(flags).str(f->Name).u8(0).bytes(f->Value.data(), f->Value.size());
        ++count;
        if ((int64_t)items.size() > apev2limit::MaxTagSize - 2 * HeaderSize) return {};
    }
    if (count == 0) return {};
    const uint32_t size = (uint32_t)items.size() + HeaderSize;
    TByteWriter w;
    // The tag's read-only flag stays as read (version 1.0 defines no flags).
    const uint32_t readOnly = Version == 2000 ? Flags & FlagReadOnly : 0;
    if (WithHeader) PutHeader(w, size, count, FlagHeaderPresent | FlagIsHeader | readOnly);
    w.bytes(items.data());
    PutHeader(w, size, count, (WithHeader ? FlagHeaderPresent : 0) | readOnly);
    return w.take();
}

namespace {

// Finds the tag of a file (FileName) or a stream before it is replaced or
// removed; with CheckContent, the items of a tag found are checked as well.
// The file is closed again before the caller writes.
int LocateForEdit(const std::string& FileName, TStream* Stream, TAPEv2Location& w, bool CheckContent) {
    std::unique_ptr<TFileStream> file;
    if (!Stream) {
        file = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!file) return CannotOpen;
    }
    TStream& S = Stream ? *Stream : *file;
    if (int r = LocateAPEv2Tag(S, w); r != Success) return r;
    if (CheckContent && w.Found) return CheckItems(S, w);
    return Success;
}

// Saves Tag into a file (FileName) or a stream: the old tag, when there is
// one, is replaced where it stood; otherwise the new tag goes in front of
// the Lyrics3 / ID3v1 blocks at the end.
int SaveTag(const TAPEv2Tag& Tag, const std::string& FileName, TStream* Stream) {
    TAPEv2Location w;
    if (int r = LocateForEdit(FileName, Stream, w, true); r != Success) return r;
    // A tag that had no header keeps having none, so that a tag nothing
    // changed in is written back byte for byte, or not at all.
    const std::vector<uint8_t> bytes = Tag.Render(!w.Found || w.HasHeader);
    if (bytes.empty()) return Failure;
    return PlaceTag(FileName, Stream, bytes);
}

int RemoveTag(const std::string& FileName, TStream* Stream) {
    TAPEv2Location w;
    if (int r = LocateForEdit(FileName, Stream, w, false); r != Success) return r;
    if (!w.Found) return NoTag;
    return PlaceTag(FileName, Stream, {});
}

bool HasContent(const TAPEv2Tag& Tag) {
    return std::any_of(Tag.Frames.begin(), Tag.Frames.end(),
                       [](const auto& f) { return !f->Value.empty() && !f->Name.empty(); });
}

// An empty tag removes the old one; with none there, nothing was to be written.
int RemoveForEmpty(int RemoveResult) { return RemoveResult == NoTag ? NothingToWrite : RemoveResult; }

}  // namespace

int TAPEv2Tag::SaveToStream(TStream& Stream) {
    try {
        RemoveEmptyFrames();
        if (!HasContent(*this)) return RemoveForEmpty(RemoveTag(std::string(), &Stream));
        return SaveTag(*this, std::string(), &Stream);
    } catch (const ETagFormat&) {
        return Failure;
    }
}

int TAPEv2Tag::SaveToFile(const std::string& Name) {
    try {
        if (!fileutil::FileExists(Name)) return CannotOpen;
        fileutil::TModTimeKeeper time(Name, PreserveFileDateTime);
        if (fileutil::IsReadOnly(Name)) return ReadOnly;
        RemoveEmptyFrames();
        if (!HasContent(*this)) return RemoveForEmpty(RemoveTag(Name, nullptr));
        return SaveTag(*this, Name, nullptr);
    } catch (const ETagFormat&) {
        return Failure;
    }
}

int RemoveAPEv2TagFromFile(const std::string& FileName, bool PreserveFileDateTime) {
    try {
        if (!fileutil::FileExists(FileName)) return CannotOpen;
        fileutil::TModTimeKeeper time(FileName, PreserveFileDateTime);
        if (fileutil::IsReadOnly(FileName)) return ReadOnly;
        return RemoveTag(FileName, nullptr);
    } catch (const ETagFormat&) {
        return Failure;
    }
}
