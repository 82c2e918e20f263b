// Entry and picture API of the unified container.
#include "tags/tags.h"

#include "tags/mapping_common.h"

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "tags/audio_properties.h"
#include "tags/file_util.h"
#include "tags/native_formats.h"
#include "tags/stream.h"
#include "tags/text.h"

namespace {

// Picture format from the first bytes: two-byte signatures, then TIFF's four.
TTagPictureFormat FormatFromHead(const uint8_t* p, int64_t n) {
    if (n < 2) return tpfUnknown;
    if (p[0] == 0x47 && p[1] == 0x49) return tpfGIF;
    if (p[0] == 0x42 && p[1] == 0x4D) return tpfBMP;
    if (p[0] == 0x89 && p[1] == 0x50) return tpfPNG;
    if (p[0] == 0xFF && p[1] == 0xD8) return tpfJPEG;
    if (n >= 4 && ((p[0] == 0x49 && p[1] == 0x49 && p[2] == 0x2A && p[3] == 0) ||
                   (p[0] == 0x4D && p[1] == 0x4D && p[2] == 0 && p[3] == 0x2A)))
        return tpfTIFF;
    return tpfUnknown;
}

// A scan loads thousands of files one after another, and each file's
// buffers (the pages read, a comment packet, a picture and its Base64 text)
// are freed before the next file is read. The allocator's default hands the
// free top of the heap back to the system as soon as it passes 128 KiB, so
// the next file faults the same pages in again: with pictures of a few
// hundred KiB that costs several times what reading the tags does. Freed
// memory is kept up to 16 MiB, and blocks up to 4 MiB come from the heap
// (a larger one is mapped on its own and returned when freed).
void KeepFreedMemoryForTheNextFile() {
#if defined(__GLIBC__)
    static const bool Once = [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 16 << 20);
        return true;
    }();
    (void)Once;
#endif
}

}  // namespace

// ---- TTag ---------------------------------------------------------------------

void TTag::Clear() {
    Name.clear();
    Value.clear();
    Language.clear();
    Description.clear();
}

void TTag::Assign(const TTag& Source) {
    Clear();
    Name = Source.Name;
    Value = Source.Value;
    Language = Source.Language;
    Description = Source.Description;
}

int TTag::GetIndex() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->TagAt(i) == this) return i;
    return -1;
}

bool TTag::Delete() { return Parent && Parent->Delete(GetIndex()); }
bool TTag::Remove() { return Parent && Parent->Remove(GetIndex()); }

void TTag::SetAsList(const std::vector<std::string>& List) {
    Value.clear();
    for (const auto& item : List) {
        auto eq = item.find('=');
        std::string name = eq == std::string::npos ? item : item.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        Value += name + "\r\n" + value + "\r\n";
    }
}

void TTag::GetList(std::vector<std::string>& List) const {
    List.clear();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Value.size()) {
        size_t end = Value.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(Value.substr(start));
            break;
        }
        lines.push_back(Value.substr(start, end - start));
        start = end + 2;
    }
    for (size_t i = 0; i < lines.size(); i += 2)
        List.push_back(lines[i] + "=" + (i + 1 < lines.size() ? lines[i + 1] : std::string()));
}

// ---- TCoverArt ----------------------------------------------------------------

void TCoverArt::Clear() {
    Name.clear();
    Data.clear();
    Description.clear();
    MIMEType.clear();
    CoverType = 0;
    PictureFormat = tpfUnknown;
    Width = Height = ColorDepth = NoOfColors = 0;
}

void TCoverArt::Assign(const TCoverArt& Source) {
    Clear();
    Name = Source.Name;
    Data = Source.Data;
    CoverType = Source.CoverType;
    Description = Source.Description;
    MIMEType = Source.MIMEType;
    PictureFormat = Source.PictureFormat;
    Width = Source.Width;
    Height = Source.Height;
    ColorDepth = Source.ColorDepth;
    NoOfColors = Source.NoOfColors;
}

int TCoverArt::GetIndex() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->CoverArtCount(); ++i)
        if (Parent->CoverArtAt(i) == this) return i;
    return -1;
}

bool TCoverArt::Delete() { return Parent && Parent->DeleteCoverArt(GetIndex()); }

// ---- TTags: construction and options -----------------------------------------

TTags::TTags() : FAudio(std::make_unique<TSourceAudioAttributes>(this)) {
    KeepFreedMemoryForTheNextFile();
    TNativeFormats::ForEach([&](const auto& Row) {
        this->*(Row.Object) = std::make_unique<typename std::decay_t<decltype(Row)>::Native>();
    });
    const auto& d = TagLibraryDefaults();
    UpperCaseFieldNamesToWrite = d.UpperCaseFieldNamesToWrite;
    MP4KeepPadding = d.MP4KeepPadding;
    ParseWavPackAudioAttributes = d.ParseWavPackAudioAttributes;
    ParseMusePackAudioAttributes = d.ParseMusePackAudioAttributes;
    ParseMonkeyAudioAttributes = d.ParseMonkeyAudioAttributes;
    ParseAudioAttributes = d.ParseAudioAttributes;
    ParseCoverArts = d.ParseCoverArts;
    PreserveFileDateTime = d.PreserveFileDateTime;
    ID3v2WriteUTF8Text = d.ID3v2WriteUTF8Text;
    OnlyParseCoverArts = d.OnlyParseCoverArts;
    FTags.reserve(256);
    FCoverArts.reserve(128);
}

TTags::~TTags() = default;

bool TTags::NativeLoaded(TTagType Kind) const {
    if (Kind == ttLyrics2) Kind = ttID3v1;
    bool loaded = false;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Info.Kind == Kind) loaded = TNativeFormats::Object(*this, Row).Loaded;
    });
    return loaded;
}

// ---- entries ------------------------------------------------------------------

TTag* TTags::Add(const std::string& Name) {
    if (FTags.size() == FTags.capacity()) FTags.reserve(FTags.size() + 256);
    FTags.push_back(std::make_unique<TTag>(this));
    FTags.back()->Name = Name;
    return FTags.back().get();
}

int TTags::Exists(const std::string& Name) const {
    for (size_t i = 0; i < FTags.size(); ++i)
        if (text::SameText(FTags[i]->Name, Name)) return (int)i;
    return -1;
}

TTag* TTags::Tag(const std::string& Name) const {
    int i = Exists(Name);
    return i < 0 ? nullptr : FTags[i].get();
}

int TTags::TypeCount(const std::string& Name) const {
    return (int)std::count_if(FTags.begin(), FTags.end(), [&](const auto& t) { return text::SameText(t->Name, Name); });
}

std::string TTags::GetText(const std::string& Name) const {
    TTag* t = Tag(Name);
    return t ? t->Value : std::string();
}

int TTags::SetText(const std::string& Name, const std::string& Text) {
    int i = Exists(Name);
    if (i >= 0) {
        if (Text.empty()) {
            Delete(i);
            return -1;
        }
        FTags[i]->Value = Text;
        return i;
    }
    if (Text.empty()) return -1;
    Add(Name)->Value = Text;
    return Count() - 1;
}

int TTags::SetList(const std::string& Name, const std::vector<std::string>& List) {
    int i = Exists(Name);
    if (List.empty()) {
        if (i >= 0) Delete(i);
        return -1;
    }
    if (i < 0) {
        Add(Name);
        i = Count() - 1;
    }
    FTags[i]->SetAsList(List);
    return i;
}

void TTags::GetList(const std::string& Name, std::vector<std::string>& List) const {
    TTag* t = Tag(Name);
    if (!t) return;
    t->GetList(List);
}

bool TTags::ItemAlreadyOnList(const std::vector<std::string>& List, const std::string& Item) {
    return std::any_of(List.begin(), List.end(), [&](const std::string& s) { return text::SameText(s, Item); });
}

bool TTags::GetMultipleList(const std::string& Name, std::vector<std::string>& List) const {
    List.clear();
    bool added = false;
    for (const auto& t : FTags) {
        if (!text::SameText(t->Name, Name) || ItemAlreadyOnList(List, t->Value)) continue;
        List.push_back(t->Value);
        added = true;
    }
    return added;
}

bool TTags::Delete(int Index) {
    if (Index < 0 || Index >= Count()) return false;
    const TTag& entry = *FTags[Index];
    // Remove what stands for the entry in every native tag, so that a later
    // save (which keeps native items without a unified counterpart) does not
    // bring it back.
    TNativeFormats::ForEach([&](const auto& Row) { Row.DeleteNative(*this, entry); });
    FTags.erase(FTags.begin() + Index);
    return true;
}

bool TTags::Delete(const std::string& Name) {
    int i = Exists(Name);
    return i >= 0 && Delete(i);
}

bool TTags::Remove(int Index) {
    if (Index < 0 || Index >= Count()) return false;
    FTags.erase(FTags.begin() + Index);
    return true;
}

void TTags::RemoveAll(const std::string& Name) {
    FTags.erase(
        std::remove_if(FTags.begin(), FTags.end(), [&](const auto& t) { return text::SameText(t->Name, Name); }),
        FTags.end());
}

int TTags::Clear(const std::string& Name) {
    int n = 0;
    for (int i = Count() - 1; i >= 0; --i)
        if (text::SameText(FTags[i]->Name, Name)) {
            Delete(i);
            ++n;
        }
    return n;
}

void TTags::DeleteAllTags() { FTags.clear(); }

void TTags::RemoveEmptyTags() {
    for (int i = Count() - 1; i >= 0; --i)
        if (FTags[i]->Value.empty()) Delete(i);
}

void TTags::ReSetAlreadyParsedState() {
    for (auto& t : FTags) t->AlreadyParsed = false;
    for (auto& c : FCoverArts) c->AlreadyParsed = false;
}

void TTags::Clear() {
    DeleteAllTags();
    DeleteAllCoverArts();
    TNativeFormats::ForEach([&](const auto& Row) { TNativeFormats::Object(*this, Row).Clear(); });
    FAudio->ClearReaders();
    FileName.clear();
    Loaded = false;
}

bool TTags::Assign(const TTags& Source, bool CoverArtsToo) {
    if (&Source == this) return true;
    Clear();
    FileName = Source.FileName;
    Loaded = Source.Loaded;
    bool ok = true;
    TNativeFormats::ForEach([&](const auto& Row) {
        const auto& from = TNativeFormats::Object(Source, Row);
        if (from.Loaded) ok &= TNativeFormats::Object(*this, Row).Assign(from);
    });
    for (const auto& t : Source.FTags) {
        TTag* n = Add(t->Name);
        n->Assign(*t);
        n->SortWith = t->SortWith;
        n->ExtTagType = t->ExtTagType;
    }
    if (CoverArtsToo) AssignCoverArts(Source, false);
    return ok;
}

int64_t TTags::Size() const {
    int64_t n = 0;
    TNativeFormats::ForEach([&](const auto& Row) {
        const auto& native = TNativeFormats::Object(*this, Row);
        if (native.Loaded) n += (int64_t)native.Size();
    });
    return n;
}

// ---- pictures -------------------------------------------------------------------

TCoverArt* TTags::CoverArt(const std::string& Name) const {
    for (const auto& c : FCoverArts)
        if (text::SameText(c->Name, Name)) return c.get();
    return nullptr;
}

TCoverArt* TTags::AddCoverArt(const std::string& Name) {
    FCoverArts.push_back(std::make_unique<TCoverArt>(this));
    TCoverArt* c = FCoverArts.back().get();
    c->Name = Name;
    c->Description = "No description";
    c->PictureFormat = tpfUnknown;
    return c;
}

TCoverArt* TTags::AddCoverArt(const std::string& Name, TStream& Stream, const std::string& MIMEType) {
    TCoverArt* c = AddCoverArt(Name);
    c->CoverType = mapping::FrontCoverType;  // a new picture without a type is the front cover
    c->MIMEType = MIMEType;
    c->PictureFormat = PictureFormatFromMIMEType(MIMEType);
    c->Data = Stream.ReadAll();
    return c;
}

TCoverArt* TTags::AddCoverArt(const std::string& Name, const std::vector<uint8_t>& Data, const std::string& MIMEType) {
    TCoverArt* c = AddCoverArt(Name);
    c->CoverType = mapping::FrontCoverType;
    c->MIMEType = MIMEType;
    c->PictureFormat = PictureFormatFromMIMEType(MIMEType);
    c->Data = Data;
    return c;
}

TCoverArt* TTags::AddCoverArtFromFile(const std::string& Name, const std::string& PictureFileName) {
    std::vector<uint8_t> data;
    if (!fileutil::FileExists(PictureFileName) || !fileutil::ReadWholeFile(PictureFileName, data)) return nullptr;
    static constexpr const char* Mimes[] = {"", "image/jpeg", "image/png", "image/bmp", "image/gif", "image/tiff"};
    std::string mime = Mimes[FormatFromHead(data.data(), (int64_t)data.size())];
    TCoverArt* c = AddCoverArt(Name, data, mime);
    c->Description = fileutil::ExtractFileName(PictureFileName);
    return c;
}

bool TTags::DeleteCoverArt(int Index) {
    if (Index < 0 || Index >= CoverArtCount()) return false;
    FCoverArts.erase(FCoverArts.begin() + Index);
    return true;
}

void TTags::DeleteAllCoverArts() {
    FCoverArts.clear();
    FCoverArts.shrink_to_fit();
    FCoverArts.reserve(128);
}

bool TTags::AssignCoverArts(const TTags& Source, bool Append) {
    if (&Source == this) return CoverArtCount() > 0;
    if (!Append) DeleteAllCoverArts();
    bool any = false;
    for (const auto& c : Source.FCoverArts) {
        FCoverArts.push_back(std::make_unique<TCoverArt>(this));
        FCoverArts.back()->Assign(*c);
        any = true;
    }
    return any;
}

TTagPictureFormat TTags::PicturePointerType(const void* Picture, int64_t DataSize) {
    if (!Picture || DataSize < 3) return tpfUnknown;
    return FormatFromHead(static_cast<const uint8_t*>(Picture), DataSize);
}

TTagPictureFormat TTags::PictureStreamType(TStream* PictureStream) {
    if (!PictureStream || PictureStream->Size() == 0) return tpfUnknown;
    uint8_t head[4] = {0, 0, 0, 0};
    PictureStream->Seek(0);
    int64_t n = PictureStream->ReadZeroFilled(head, 4);
    PictureStream->Seek(0);
    return FormatFromHead(head, n);
}

// ---- the format table -------------------------------------------------------------

namespace {

// The kinds' descriptions, in save order, gathered from the table's rows.
const std::vector<TTagFormat>& FormatList() {
    static const std::vector<TTagFormat> list = [] {
        std::vector<TTagFormat> out;
        TNativeFormats::ForEach([&](const auto& Row) { out.push_back(Row.Info); });
        return out;
    }();
    return list;
}

}  // namespace

std::span<const TTagFormat> TagFormats() { return FormatList(); }

const TTagFormat* FindTagFormat(TTagType Kind) {
    if (Kind == ttLyrics2) Kind = ttID3v1;
    for (const auto& f : FormatList())
        if (f.Kind == Kind) return &f;
    return nullptr;
}

TNativeLibrary LibraryOf(TTagType Kind) {
    const TTagFormat* f = FindTagFormat(Kind);
    return f ? f->Library : TNativeLibrary::WMA;
}

const TTagFormat* FindTagFormat(const std::string& CliName) {
    for (const auto& f : FormatList())
        if (CliName == f.CliName) return &f;
    return nullptr;
}

bool TagFormatBuilt(TTagType Kind) {
    if (Kind == ttLyrics2) Kind = ttID3v1;
    bool built = false;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Info.Kind == Kind) built = std::decay_t<decltype(Row)>::Built;
    });
    return built;
}
