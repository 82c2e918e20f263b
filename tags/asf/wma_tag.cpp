#include "tags/asf/wma_tag.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/stream.h"
#include "tags/text.h"
#include "tags/asf/asf_header.h"

namespace {

constexpr uint16_t ListSeparator = 0x0A0D;  // the bytes CR LF read as one UTF-16LE unit

std::vector<uint16_t> Units(const std::vector<uint8_t>& Bytes) {
    std::vector<uint16_t> u(Bytes.size() / 2);
    for (size_t i = 0; i < u.size(); ++i) u[i] = uint16_t(Bytes[2 * i] | (Bytes[2 * i + 1] << 8));
    return u;
}

std::string UnitsToUtf8(const std::vector<uint16_t>& Units) {
    std::vector<uint8_t> b;
    b.reserve(Units.size() * 2);
    for (uint16_t u : Units) {
        if (u == 0) continue;
        b.push_back(uint8_t(u));
        b.push_back(uint8_t(u >> 8));
    }
    return text::Utf16ToUtf8(b, false);
}

void PutUtf16z(std::vector<uint8_t>& Out, const std::string& Utf8) {
    std::vector<uint8_t> v = text::Utf8ToUtf16(Utf8, false, false);
    Out.insert(Out.end(), v.begin(), v.end());
    Out.push_back(0);
    Out.push_back(0);
}

// A NUL-terminated UTF-16LE text inside a picture value.
std::string ReadUtf16z(TByteReader& R) {
    std::vector<uint8_t> b;
    for (;;) {
        const uint16_t u = R.u16le();
        if (u == 0) break;
        b.push_back(uint8_t(u));
        b.push_back(uint8_t(u >> 8));
    }
    return text::Utf16ToUtf8(b, false);
}

}  // namespace

// ---- frames -------------------------------------------------------------------

bool TWMATagFrame::SetText(const std::string& Text) {
    Value.clear();
    PutUtf16z(Value, Text);
    Format = WMT_TYPE_STRING;
    return true;
}

std::string TWMATagFrame::GetText() const {
    switch (Format) {
        case WMT_TYPE_STRING: return UnitsToUtf8(Units(Value));
        case WMT_TYPE_GUID: {
            uint8_t g[16];
            if (!GetAsGUID(g)) return {};
            char buf[40];
            std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                          g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                          g[15]);
            return buf;
        }
        case WMT_TYPE_BINARY:
        case WMT_TYPE_UNKNOWN: return std::to_string(GetInteger());
        case WMT_TYPE_QWORD: return std::to_string((uint64_t)GetInteger());
        default: return std::to_string(GetInteger());
    }
}

bool TWMATagFrame::IsNumeric() const {
    return Format == WMT_TYPE_DWORD || Format == WMT_TYPE_BOOL || Format == WMT_TYPE_QWORD || Format == WMT_TYPE_WORD;
}

bool TWMATagFrame::SetInteger(WMT_ATTR_DATATYPE NewFormat, uint64_t Number) {
    TByteWriter w;
    switch (NewFormat) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL: w.u32le((uint32_t)Number); break;
        case WMT_TYPE_QWORD: w.u64le(Number); break;
        case WMT_TYPE_WORD: w.u16le((uint16_t)Number); break;
        default: return false;
    }
    Value = w.take();
    Format = NewFormat;
    return true;
}

int64_t TWMATagFrame::GetInteger() const {
    TByteReader r(Value);
    switch (Format) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL: return r.has(4) ? (int64_t)r.u32le() : 0;
        case WMT_TYPE_QWORD: return r.has(8) ? (int64_t)r.u64le() : 0;
        case WMT_TYPE_WORD: return r.has(2) ? (int64_t)r.u16le() : 0;
        default: return 0;
    }
}

void TWMATagFrame::SetAsGUID(const uint8_t Guid[16]) {
    Value.assign(Guid, Guid + 16);
    Format = WMT_TYPE_GUID;
}

bool TWMATagFrame::GetAsGUID(uint8_t Guid[16]) const {
    if (Value.size() < 16) return false;
    std::memcpy(Guid, Value.data(), 16);
    return true;
}

bool TWMATagFrame::SetList(const std::vector<std::string>& List) {
    Value.clear();
    auto putItem = [&](const std::string& s) {
        std::vector<uint8_t> v = text::Utf8ToUtf16(s, false, false);
        Value.insert(Value.end(), v.begin(), v.end());
        Value.push_back(0x0D);
        Value.push_back(0x0A);
    };
    for (const auto& line : List) {
        const size_t eq = line.find('=');
        putItem(eq == std::string::npos ? line : line.substr(0, eq));
        putItem(eq == std::string::npos ? std::string() : line.substr(eq + 1));
    }
    Value.push_back(0);
    Value.push_back(0);
    Format = WMT_TYPE_STRING;
    return true;
}

bool TWMATagFrame::GetList(std::vector<std::string>& List) const {
    List.clear();
    if (Format != WMT_TYPE_STRING) return false;
    std::vector<std::string> items;
    std::vector<uint16_t> cur;
    for (uint16_t u : Units(Value)) {
        if (u == ListSeparator) {
            items.push_back(UnitsToUtf8(cur));
            cur.clear();
        } else {
            cur.push_back(u);
        }
    }
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        const std::string n = text::Trim(items[i]), v = text::Trim(items[i + 1]);
        if (!n.empty() && !v.empty()) List.push_back(n + "=" + v);
    }
    return !List.empty();
}

void TWMATagFrame::Clear() {
    Format = WMT_TYPE_UNKNOWN;
    Value.clear();
}

bool TWMATagFrame::Assign(const TWMATagFrame& Source) {
    Name = Source.Name;
    Format = Source.Format;
    Value = Source.Value;
    return true;
}

int TWMATagFrame::GetIndex() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->Frames[i].get() == this) return i;
    return -1;
}

bool TWMATagFrame::Delete() { return Parent && Parent->DeleteFrame(GetIndex()); }

// ---- the frame list -------------------------------------------------------------

void TWMATag::Clear() {
    Frames.clear();
    LoadedValues.clear();
    SourceFileName.clear();
    FCodecInfo.clear();
    FCodecDescription.clear();
    Channels = BitsPerSample = 0;
    SampleRate = 0;
    Loaded = false;
}

bool TWMATag::Assign(const TWMATag& Source) {
    Clear();
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    Channels = Source.Channels;
    BitsPerSample = Source.BitsPerSample;
    SampleRate = Source.SampleRate;
    for (const auto& f : Source.Frames) AddFrame(f->Name)->Assign(*f);
    LoadedValues = Source.LoadedValues;
    return true;
}

TWMATagFrame* TWMATag::AddFrame(const std::string& Name) {
    TWMATagFrame* f = Frames.Add(std::make_unique<TWMATagFrame>(this)).get();
    f->Name = Name;
    return f;
}

TWMATagFrame* TWMATag::Frame(const std::string& Name) const {
    const int i = FrameExists(Name);
    return i < 0 ? nullptr : Frames[i].get();
}

std::string TWMATag::GetText(const std::string& Name) const {
    const TWMATagFrame* f = Frame(Name);
    return f ? f->GetText() : std::string();
}

void TWMATag::SetText(const std::string& Name, const std::string& Text) {
    const int i = FrameExists(Name);
    if (Text.empty()) {
        if (i >= 0) DeleteFrame(i);
        return;
    }
    (i >= 0 ? Frames[i].get() : AddFrame(Name))->SetText(Text);
}

int64_t TWMATag::GetInteger(const std::string& Name) const {
    const TWMATagFrame* f = Frame(Name);
    return f ? f->GetInteger() : 0;
}

int TWMATag::SetInteger(const std::string& Name, WMT_ATTR_DATATYPE Format, uint64_t Value) {
    TWMATagFrame* f = Frame(Name);
    if (!f) f = AddFrame(Name);
    f->SetInteger(Format, Value);
    return 1;
}

bool TWMATag::GetList(const std::string& Name, std::vector<std::string>& List) const {
    const TWMATagFrame* f = Frame(Name);
    List.clear();
    return f && f->GetList(List);
}

void TWMATag::SetList(const std::string& Name, const std::vector<std::string>& List) {
    TWMATagFrame* f = Frame(Name);
    if (!f) f = AddFrame(Name);
    f->SetList(List);
}

uint32_t TWMATag::BitRate() const {
    const double kbit = double(GetInteger("Bitrate")) / 1000.0;
    return (uint32_t)std::nearbyint(kbit);  // the default rounding mode: halves to even
}

int64_t TWMATag::CalculateTagSize() const {
    int64_t n = 0;
    for (const auto& f : Frames) n += (int64_t)f->Value.size() + 2 * (int64_t)f->Name.size() + 7;
    return n;
}

// ---- pictures -------------------------------------------------------------------

int TWMATag::CoverArtCount() const {
    int n = 0;
    for (const auto& f : Frames) n += f->IsCoverArt();
    return n;
}

int TWMATag::GetFrameIndexOfCoverArtIndex(int CoverIndex) const {
    for (int i = 0; i < Count(); ++i)
        if (Frames[i]->IsCoverArt() && CoverIndex-- == 0) return i;
    return -1;
}

void TWMATag::DeleteAllCoverArts() {
    Frames.EraseIf([](const auto& f) { return f->IsCoverArt(); });
}

int TWMATag::AddCoverArtFrame(const std::vector<uint8_t>& Picture, const std::string& MIMEType,
                              const std::string& Description, uint32_t PictureType) {
    AddFrame("WM/Picture");
    const int i = Count() - 1;
    if (SetCoverArtFrame(i, Picture, Description, PictureType, MIMEType)) return i;
    DeleteFrame(i);
    return -1;
}

// Picture value as stored: BYTE type, DWORD length, MIME and description as
// NUL-terminated UTF-16LE, then the picture bytes.
bool TWMATag::SetCoverArtFrame(int Index, const std::vector<uint8_t>& Picture, const std::string& Description,
                               uint32_t PictureType, const std::string& MIMEType) {
    if (Index < 0 || Index >= Count() || Picture.size() > UINT32_MAX - 1024) return false;
    std::vector<uint8_t> v;
    v.push_back(uint8_t(PictureType));
    for (int b = 0; b < 4; ++b) v.push_back(uint8_t(Picture.size() >> (8 * b)));
    PutUtf16z(v, MIMEType);
    PutUtf16z(v, Description);
    v.insert(v.end(), Picture.begin(), Picture.end());
    Frames[Index]->Value = std::move(v);
    Frames[Index]->Format = WMT_TYPE_BINARY;
    return true;
}

bool TWMATag::GetCoverArtFromFrame(int Index, std::vector<uint8_t>& Picture, std::string& Description,
                                   uint32_t& PictureType, std::string& MIMEType) const {
    Picture.clear();
    Description.clear();
    MIMEType.clear();
    PictureType = 0;
    if (Index < 0 || Index >= Count() || Frames[Index]->Format != WMT_TYPE_BINARY) return false;
    try {
        TByteReader r(Frames[Index]->Value);
        PictureType = r.u8();
        const uint32_t n = r.u32le();
        MIMEType = ReadUtf16z(r);
        Description = ReadUtf16z(r);
        Picture = r.vec(n);
        return true;
    } catch (const ETagFormat&) {
        Picture.clear();
        return false;
    }
}

bool TWMATag::GetCoverArtInfo(int Index, std::string& MIMEType, uint32_t& CoverArtSize, std::string& Description,
                              uint32_t& PictureType) const {
    std::vector<uint8_t> data;
    if (!GetCoverArtFromFrame(Index, data, Description, PictureType, MIMEType)) return false;
    CoverArtSize = (uint32_t)data.size();
    return true;
}

// ---- loading and saving -----------------------------------------------------------

int TWMATag::LoadFromFile(const std::string& FileName) { return Load(nullptr, FileName); }
int TWMATag::LoadFromStream(TStream& Stream) { return Load(&Stream, std::string()); }
int TWMATag::LoadFromOpenFile(TStream& File, const std::string& FileName) { return Load(&File, FileName); }
int TWMATag::SaveToFile(const std::string& FileName) { return Save(nullptr, FileName); }
int TWMATag::SaveToStream(TStream& Stream) { return Save(&Stream, std::string()); }

int TWMATag::Load(TStream* Stream, const std::string& FileName) {
    try {
        Clear();
        if (!Stream) {
            const auto size = fileutil::FileSize(FileName);
            FFileSize = size ? *size : -1;
            if (!fileutil::FileExists(FileName)) return wmaresult::NoFile;
            SourceFileName = FileName;
        } else {
            FFileSize = Stream->Size();
            if (!FileName.empty()) SourceFileName = FileName;  // a file the caller opened
        }
        asf::TAsfEditor editor;
        const int r = Stream ? editor.OpenStream(*Stream) : editor.Open(FileName);
        if (r != asf::asfresult::Success) return r;
        Loaded = editor.AttributeCount() > 0;
        FCodecInfo = editor.CodecName();
        FCodecDescription = editor.CodecDescription();
        Channels = editor.AudioFormat().Channels;
        SampleRate = editor.AudioFormat().SamplesPerSec;
        BitsPerSample = editor.AudioFormat().BitsPerSample;
        for (asf::TAttribute& a : editor.TakeAttributes()) {
            if (a.Value.empty()) continue;
            TWMATagFrame* f = AddFrame(a.Name);
            f->Format = WMT_ATTR_DATATYPE(a.Type);
            f->Value = std::move(a.Value);
            if (NormalizeRatingTo255 && a.Name == "WM/SharedUserRating" && f->IsNumeric())
                f->SetInteger(f->Format, uint64_t(std::trunc(double(f->GetInteger()) / 99.0 * 255.0)));
        }
        return wmaresult::Success;
    } catch (const ETagFormat&) {
        Loaded = false;
        return wmaresult::Failed;
    }
}

// Every stored attribute of the file is replaced by the frames. An attribute
// that cannot be stored fails the whole save before anything is written, so
// the file never loses attributes that were deleted to make room for it.
int TWMATag::Save(TStream* Stream, const std::string& FileName) {
    try {
        if (!Stream && !fileutil::FileExists(FileName)) return wmaresult::NoFile;
        if (!Stream && fileutil::IsReadOnly(FileName)) return wmaresult::ReadOnly;
        fileutil::TModTimeKeeper keeper(Stream ? std::string() : FileName, !Stream && PreserveFileDateTime);
        asf::TAsfEditor editor;
        const int r = Stream ? editor.OpenStream(*Stream) : editor.Open(FileName);
        if (r != asf::asfresult::Success) return r;
        for (size_t i = editor.AttributeCount(); i-- > 0;) editor.DeleteAttribute(i);

        auto add = [&](const TWMATagFrame& f) {
            if (f.Format > WMT_TYPE_GUID || f.Value.empty()) return true;  // never set: not written
            if (asf::IsComputedName(f.Name)) return true;                  // recomputed by the reader
            std::vector<uint8_t> value = f.Value;
            if (f.Format == WMT_TYPE_STRING) {
                value = text::Utf8ToUtf16(f.GetText(), false, false);
                if (value.empty()) return true;
            }
            return editor.AddAttribute(f.Name, f.Format, value);
        };
        for (const auto& f : Frames) {
            if (f->IsCoverArt()) continue;
            if (NormalizeRatingTo255 && f->Name == "WM/SharedUserRating" && f->IsNumeric())
                f->SetInteger(f->Format, uint64_t(std::trunc(double(f->GetInteger()) / 255.0 * 99.0)));
            if (!add(*f)) return wmaresult::Failed;
        }
        for (int i = 0; i < Count(); ++i) {
            if (!Frames[i]->IsCoverArt()) continue;
            std::vector<uint8_t> data;
            std::string desc, mime;
            uint32_t type;
            if (!GetCoverArtFromFrame(i, data, desc, type, mime)) return wmaresult::Failed;
            if (!editor.AddAttribute("WM/Picture", WMT_TYPE_BINARY, Frames[i]->Value)) return wmaresult::Failed;
        }
        return editor.Flush() == asf::asfresult::Success ? wmaresult::Success : wmaresult::Failed;
    } catch (const ETagFormat&) {
        return wmaresult::Failed;
    }
}
