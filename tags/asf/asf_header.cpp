#include "tags/asf/asf_header.h"

#include <algorithm>
#include <numeric>
#include <cstring>
#include <memory>

#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/region_edit.h"
#include "tags/padding.h"
#include "tags/stream.h"
#include "tags/tag_types.h"
#include "tags/text.h"

namespace asf {

namespace {

// GUIDs as they appear in the file (first three groups little-endian).
constexpr TGuid DataGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid SimpleIndexGuid = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                   0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
constexpr TGuid IndexGuid = {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,
                             0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE};
constexpr TGuid FilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                      0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid StreamPropertiesGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid HeaderExtensionGuid = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                       0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid CodecListGuid = {0x40, 0x52, 0xD1, 0x86, 0x1D, 0x31, 0xD0, 0x11,
                                 0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6};
constexpr TGuid ContentDescriptionGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid ExtendedContentGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                       0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr TGuid StreamBitrateGuid = {0xCE, 0x75, 0xF8, 0x7B, 0x8D, 0x46, 0xD1, 0x11,
                                     0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2};
constexpr TGuid PaddingGuid = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                               0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
constexpr TGuid MetadataGuid = {0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                                0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
constexpr TGuid MetadataLibraryGuid = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                       0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
constexpr TGuid ExtReservedGuid = {0x11, 0xD2, 0xD3, 0xAB, 0xBA, 0xA9, 0xCF, 0x11,
                                   0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid AudioMediaGuid = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                  0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr TGuid VideoMediaGuid = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                  0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr TGuid CommandMediaGuid = {0xC0, 0xCF, 0xDA, 0x59, 0xE6, 0x59, 0xD0, 0x11,
                                    0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6};
constexpr TGuid JfifMediaGuid = {0x00, 0xE1, 0x1B, 0xB6, 0x4E, 0x5B, 0xCF, 0x11,
                                 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr TGuid DegradableJpegGuid = {0xE0, 0x7D, 0x90, 0x35, 0x15, 0xE4, 0xCF, 0x11,
                                      0xA9, 0x17, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr TGuid FileTransferGuid = {0x2C, 0x22, 0xBD, 0x91, 0x1C, 0xF2, 0x7A, 0x49,
                                    0x8B, 0x6D, 0x5A, 0xA8, 0x6B, 0xFC, 0x01, 0x85};
constexpr TGuid BinaryMediaGuid = {0xE2, 0x65, 0xFB, 0x3A, 0xEF, 0x47, 0xF2, 0x40,
                                   0xAC, 0x2C, 0x70, 0xA9, 0x0D, 0x71, 0xD3, 0x43};
constexpr TGuid ContentEncryptionGuid = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
                                         0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};
constexpr TGuid ExtContentEncryptionGuid = {0x14, 0xE6, 0x8A, 0x29, 0x22, 0x26, 0x17, 0x4C,
                                            0xB9, 0x35, 0xDA, 0xE0, 0x7E, 0xE9, 0x28, 0x9C};
constexpr TGuid AdvContentEncryptionGuid = {0x33, 0x85, 0x05, 0x43, 0x81, 0x69, 0xE6, 0x49,
                                            0x9B, 0x74, 0xAD, 0x12, 0xCB, 0x86, 0xD5, 0x8C};
constexpr TGuid DigitalSignatureGuid = {0xFC, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
                                        0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};

constexpr size_t ObjectHeaderSize = 24;
constexpr size_t HeaderFixedSize = 30;
constexpr size_t ExtFixedSize = 46;      // object header + reserved GUID, WORD, DWORD size
constexpr size_t MaxSmallValue = 65535;  // WORD-sized lengths

// The Content Description's five fields, in their stored order.
constexpr const char* ContentFields[5] = {"Title", "Author", "Copyright", "Description", "Rating"};

// Computed attributes: what the header says, not stored as attributes.
constexpr const char* ComputedNames[] = {"Duration",
                                         "Bitrate",
                                         "CurrentBitrate",
                                         "OptimalBitrate",
                                         "FileSize",
                                         "Seekable",
                                         "Stridable",
                                         "Broadcast",
                                         "Is_Protected",
                                         "Is_Trusted",
                                         "Signature_Name",
                                         "HasAudio",
                                         "HasVideo",
                                         "HasImage",
                                         "HasScript",
                                         "HasArbitraryDataStream",
                                         "HasFileTransferStream",
                                         "HasAttachedImages",
                                         "Can_Skip_Backward",
                                         "Can_Skip_Forward",
                                         "WM/ContainerFormat",
                                         "WM/ASFPacketCount",
                                         "WM/ASFSecurityObjectsSize"};

TGuid ReadGuid(TByteReader& R) {
    TGuid g;
    auto b = R.bytes(16);
    std::copy(b.begin(), b.end(), g.begin());
    return g;
}

// On-disk value type <-> attribute type.
constexpr uint16_t DiskToType[7] = {atSTRING, atBINARY, atBOOL, atDWORD, atQWORD, atWORD, atGUID};
constexpr uint16_t TypeToDisk[7] = {3, 0, 1, 2, 4, 5, 6};

// A fixed-size type's length in memory, 0 for the variable ones.
size_t FixedLength(uint16_t Type) {
    switch (Type) {
        case atDWORD:
        case atBOOL: return 4;
        case atQWORD: return 8;
        case atWORD: return 2;
        case atGUID: return 16;
        default: return 0;
    }
}

// A stored value in memory form: BOOL always 4 bytes (it is 2 in the
// Metadata objects), other fixed types must have their size.
bool NormaliseValue(uint16_t Type, std::vector<uint8_t>& Value) {
    if (Type == atBOOL && Value.size() == 2) {
        Value.resize(4, 0);
        return true;
    }
    const size_t n = FixedLength(Type);
    return n == 0 || Value.size() == n;
}

std::string Utf16Name(std::span<const uint8_t> Bytes) {
    std::string s = text::Utf16ToUtf8(Bytes, false);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

std::vector<uint8_t> Utf16z(const std::string& Utf8) {
    std::vector<uint8_t> v = text::Utf8ToUtf16(Utf8, false, false);
    v.push_back(0);
    v.push_back(0);
    return v;
}

TAttribute Attr(const char* Name, uint16_t Type, uint64_t Value) {
    TAttribute a;
    a.Name = Name;
    a.Type = Type;
    a.Computed = true;
    TByteWriter w;
    if (Type == atQWORD)
        w.u64le(Value);
    else if (Type == atWORD)
        w.u16le((uint16_t)Value);
    else
        w.u32le((uint32_t)Value);
    a.Value = w.take();
    return a;
}

void PutObject(TByteWriter& W, const TGuid& Guid, const std::vector<uint8_t>& Payload) {
    W.bytes(Guid.data(), 16).u64le(ObjectHeaderSize + Payload.size()).bytes(Payload);
}

std::vector<uint8_t> Object(const TGuid& Guid, const std::vector<uint8_t>& Payload) {
    TByteWriter w;
    PutObject(w, Guid, Payload);
    return w.take();
}

}  // namespace

bool IsComputedName(const std::string& Name) {
    for (const char* n : ComputedNames)
        if (Name == n) return true;
    return false;
}

// ---- reading ------------------------------------------------------------------

int TAsfEditor::Open(const std::string& FileName) {
    Close();
    if (!fileutil::FileExists(FileName)) return asfresult::NoFile;
    auto s = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!s) return asfresult::NotAsf;
    const int r = Parse(*s);
    if (r == asfresult::Success) FFileName = FileName;
    return r;
}

int TAsfEditor::OpenStream(TStream& Stream) {
    Close();
    const int r = Parse(Stream);
    if (r == asfresult::Success) FStream = &Stream;
    return r;
}

void TAsfEditor::Close() { *this = TAsfEditor(); }

// Header Object: GUID, QWORD size (30 + children), DWORD child count,
// BYTE reserved 1, BYTE reserved 2, then the children back to back.
int TAsfEditor::Parse(TStream& Stream) {
    try {
        uint8_t head[HeaderFixedSize];
        if (Stream.Seek(0) != 0 || !Stream.ReadExact(head, sizeof head)) return asfresult::NotAsf;
        TByteReader h(head, sizeof head);
        if (ReadGuid(h) != HeaderGuid) return asfresult::NotAsf;
        const uint64_t size = h.u64le();
        h.u32le();  // the child count is not trusted: the children are walked by size
        FReserved1 = h.u8();
        FReserved2 = h.u8();
        if (size < HeaderFixedSize || size > (uint64_t)Stream.Size() || size > MaxHeaderSize) return asfresult::NotAsf;
        FHeaderSize = size;
        std::vector<uint8_t> body = Stream.ReadBytes((int64_t)(size - HeaderFixedSize));
        if (body.size() != size - HeaderFixedSize) return asfresult::NotAsf;

        // Where each attribute was stored: 0 Content Description, 1 Extended
        // Content Description, 2 Metadata objects.
        std::vector<int> stored;
        auto noteStored = [&](int Where) { stored.resize(FAttributes.size(), Where); };
        TByteReader r(body);
        while (r.remaining() >= ObjectHeaderSize) {
            TByteReader peek = r;
            const TGuid g = ReadGuid(peek);
            const uint64_t osize = peek.u64le();
            if (osize < ObjectHeaderSize || osize > r.remaining()) return asfresult::NotAsf;
            auto bytes = r.bytes((size_t)osize);
            if (g == PaddingGuid) {  // rendered anew
                FOldPadding += osize;
                continue;
            }
            // The attribute objects and the Header Extension are rendered anew:
            // only their place is kept.
            TChild c{g, {}};
            if (g == HeaderExtensionGuid) {
                ParseHeaderExtension(bytes);
                noteStored(2);
                FExtIndex = (int)FChildren.size();
            } else if (g == ContentDescriptionGuid) {
                ParseContentDescription(bytes);
                noteStored(0);
            } else if (g == ExtendedContentGuid) {
                ParseExtendedContent(bytes);
                noteStored(1);
            } else {
                if (g == CodecListGuid) ParseCodecList(bytes);
                if (g == FilePropertiesGuid) FFilePropertiesIndex = (int)FChildren.size();
                c.Bytes.assign(bytes.begin(), bytes.end());
            }
            FChildren.push_back(std::move(c));
        }
        if (!r.atEnd()) return asfresult::NotAsf;  // a stray tail shorter than an object header
        // Writers put a name's first value into the description field or the
        // Extended Content Description and later ones into the Metadata
        // Library, whose place in the header varies: the values are taken in
        // that order, so the first value stays first.
        std::vector<size_t> order(FAttributes.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](size_t A, size_t B) { return stored[A] < stored[B]; });
        std::vector<TAttribute> sorted;
        sorted.reserve(order.size());
        for (size_t i : order) sorted.push_back(std::move(FAttributes[i]));
        FAttributes = std::move(sorted);
        AddComputed(Stream);
        FOpen = true;
        return asfresult::Success;
    } catch (const ETagFormat&) {
        Close();
        return asfresult::NotAsf;
    } catch (const std::bad_alloc&) {
        Close();
        return asfresult::NotAsf;
    }
}

// Header Extension: reserved GUID, WORD 6, DWORD data size, children (no count).
void TAsfEditor::ParseHeaderExtension(std::span<const uint8_t> Object) {
    TByteReader r(Object);
    r.skip(ObjectHeaderSize);
    auto fixed = r.bytes(22);
    FExtHead.assign(fixed.begin(), fixed.end());
    TByteReader f(FExtHead);
    f.skip(18);
    // The data size should be the object's size - 46; a larger one is taken
    // as the object's end.
    const uint32_t dataSize = f.u32le();
    TByteReader d = r.sub(std::min<size_t>(dataSize, r.remaining()));
    while (d.remaining() >= ObjectHeaderSize) {
        TByteReader peek = d;
        const TGuid g = ReadGuid(peek);
        const uint64_t osize = peek.u64le();
        if (osize < ObjectHeaderSize || osize > d.remaining()) throw ETagFormat("header extension child size");
        auto bytes = d.bytes((size_t)osize);
        if (g == PaddingGuid) {
            FOldPadding += osize;
            continue;
        }
        if (g == MetadataGuid || g == MetadataLibraryGuid) {
            ParseMetadata(bytes, g == MetadataLibraryGuid);
            FExtChildren.push_back({g, {}});
        } else {
            FExtChildren.push_back({g, std::vector<uint8_t>(bytes.begin(), bytes.end())});
        }
    }
}

// Content Description: five WORD byte lengths, then the five UTF-16LE texts.
void TAsfEditor::ParseContentDescription(std::span<const uint8_t> Object) {
    TByteReader r(Object);
    r.skip(ObjectHeaderSize);
    uint16_t len[5];
    for (auto& l : len) l = r.u16le();
    for (int i = 0; i < 5; ++i) {
        auto b = r.bytes(len[i]);
        FContentRaw[i].assign(b.begin(), b.end());
        std::string v = Utf16Name(b);
        if (v.empty()) continue;
        TAttribute a;
        a.Name = ContentFields[i];
        a.Type = atSTRING;
        a.Value = Utf16z(v);
        FAttributes.push_back(std::move(a));
    }
}

// Extended Content Description: WORD count; per descriptor WORD name length,
// name, WORD on-disk type, WORD value length, value.
void TAsfEditor::ParseExtendedContent(std::span<const uint8_t> Object) {
    TByteReader r(Object);
    r.skip(ObjectHeaderSize);
    const uint16_t count = r.u16le();
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t nameLen = r.u16le();
        std::string name = Utf16Name(r.bytes(nameLen));
        const uint16_t disk = r.u16le();
        const uint16_t valueLen = r.u16le();
        auto value = r.bytes(valueLen);
        if (disk > 5 || name.empty()) continue;  // GUID is not allowed here; nameless values cannot be addressed
        TAttribute a;
        a.Name = std::move(name);
        a.Type = DiskToType[disk];
        a.Value.assign(value.begin(), value.end());
        if (!NormaliseValue(a.Type, a.Value)) continue;
        FAttributes.push_back(std::move(a));
    }
}

// Metadata / Metadata Library: WORD count; per record WORD language (0 in
// Metadata), WORD stream, WORD name length, WORD on-disk type, DWORD data
// length, name, data. Records of other streams are kept as they are.
void TAsfEditor::ParseMetadata(std::span<const uint8_t> Object, bool Library) {
    TByteReader r(Object);
    r.skip(ObjectHeaderSize);
    const uint16_t count = r.u16le();
    for (uint32_t i = 0; i < count; ++i) {
        TRecord rec;
        rec.Language = r.u16le();
        rec.Stream = r.u16le();
        const uint16_t nameLen = r.u16le();
        rec.DiskType = r.u16le();
        const uint32_t dataLen = r.u32le();
        rec.Name = r.vec(nameLen);
        rec.Data = r.vec(dataLen);
        if (rec.Stream != 0) {
            (Library ? FOtherStreamLibrary : FOtherStreamMetadata).push_back(std::move(rec));
            continue;
        }
        if (rec.DiskType > 6) continue;
        TAttribute a;
        a.Name = Utf16Name(rec.Name);
        a.Type = DiskToType[rec.DiskType];
        a.Language = rec.Language;
        a.Value = std::move(rec.Data);
        if (a.Name.empty() || !NormaliseValue(a.Type, a.Value)) continue;
        FAttributes.push_back(std::move(a));
    }
}

// Codec List: reserved GUID, DWORD count; per entry WORD type, WORD name
// length in characters, name, WORD description length in characters,
// description, WORD information length in bytes, information.
void TAsfEditor::ParseCodecList(std::span<const uint8_t> Object) {
    TByteReader r(Object);
    r.skip(ObjectHeaderSize + 16);
    const uint32_t count = r.u32le();
    if (count == 0 || count > MaxCodecEntries) return;
    r.u16le();
    const uint16_t nameChars = r.u16le();
    if (nameChars > r.remaining() / 2) return;
    FCodecName = text::Trim(Utf16Name(r.bytes(nameChars * 2u)));
    const uint16_t descChars = r.u16le();
    if (descChars > r.remaining() / 2) return;
    FCodecDescription = text::Trim(Utf16Name(r.bytes(descChars * 2u)));
}

// The read-only attributes a reader of the header can work out.
void TAsfEditor::AddComputed(TStream& Stream) {
    uint64_t duration = 0, packets = 0, fileSize = (uint64_t)Stream.Size(), maxBitrate = 0;
    bool seekable = false, audio = false, video = false, image = false, script = false, binary = false,
         transfer = false, protectedContent = false, stridable = false;
    uint64_t securitySize = 0, bitrateSum = 0;
    auto streamKind = [&](const TGuid& g) {
        if (g == AudioMediaGuid)
            audio = true;
        else if (g == VideoMediaGuid)
            video = true;
        else if (g == JfifMediaGuid || g == DegradableJpegGuid)
            image = true;
        else if (g == CommandMediaGuid)
            script = true;
        else if (g == BinaryMediaGuid)
            binary = true;
        else if (g == FileTransferGuid)
            transfer = true;
    };
    for (const auto& c : FChildren) {
        if (c.Bytes.size() < ObjectHeaderSize) continue;  // an attribute object, kept only by place
        TByteReader r(c.Bytes);
        r.skip(ObjectHeaderSize);
        if (c.Guid == FilePropertiesGuid && r.remaining() >= 80) {
            r.skip(32);
            packets = r.u64le();
            const uint64_t play = r.u64le();
            r.skip(8);
            const uint64_t preroll = r.u64le();
            const uint32_t flags = r.u32le();
            r.skip(8);
            maxBitrate = r.u32le();
            const uint64_t prerollUnits = preroll > UINT64_MAX / 10000 ? UINT64_MAX : preroll * 10000;
            duration = (flags & 1) || play < prerollUnits ? 0 : play - prerollUnits;
            seekable = (flags & 2) != 0;
        } else if (c.Guid == StreamPropertiesGuid && r.remaining() >= 50) {
            // Stream type, error correction type, time offset, the lengths of
            // the type-specific and error correction data, flags, reserved,
            // then the type-specific data: for audio a WAVEFORMATEX (format
            // tag, channels, samples per second, average bytes per second,
            // block align, bits per sample).
            const TGuid kind = ReadGuid(r);
            streamKind(kind);
            r.skip(24);
            const uint32_t typeSpecific = r.u32le();
            r.skip(4);
            if (r.u16le() & 0x8000) protectedContent = true;
            if (kind == AudioMediaGuid && FAudioFormat.SamplesPerSec == 0 && typeSpecific >= 16 &&
                r.remaining() >= 20) {
                r.skip(4 + 2);
                FAudioFormat.Channels = r.u16le();
                FAudioFormat.SamplesPerSec = r.u32le();
                r.skip(6);
                FAudioFormat.BitsPerSample = r.u16le();
            }
        } else if (c.Guid == StreamBitrateGuid && r.remaining() >= 2) {
            const uint16_t n = r.u16le();
            for (uint32_t i = 0; i < n && r.remaining() >= 6; ++i) {
                r.u16le();
                bitrateSum += r.u32le();
            }
        } else if (c.Guid == ContentEncryptionGuid || c.Guid == ExtContentEncryptionGuid ||
                   c.Guid == AdvContentEncryptionGuid || c.Guid == DigitalSignatureGuid) {
            if (c.Guid != DigitalSignatureGuid) protectedContent = true;
            securitySize += c.Bytes.size();
        }
    }
    // Index objects after the Data Object make fast forward and rewind possible.
    uint64_t pos = FHeaderSize;
    for (int guard = 0; guard < 64 && pos + ObjectHeaderSize <= fileSize; ++guard) {
        uint8_t oh[ObjectHeaderSize];
        if (Stream.Seek((int64_t)pos) != (int64_t)pos || !Stream.ReadExact(oh, sizeof oh)) break;
        TByteReader r(oh, sizeof oh);
        const TGuid g = ReadGuid(r);
        const uint64_t osize = r.u64le();
        if (osize < ObjectHeaderSize || osize > fileSize - pos) break;
        if ((g == IndexGuid || g == SimpleIndexGuid) && osize > 56) stridable = true;
        if (g != DataGuid && g != IndexGuid && g != SimpleIndexGuid && pos == FHeaderSize) break;
        pos += osize;
    }
    const uint64_t bitrate = bitrateSum != 0 ? bitrateSum : maxBitrate;
    FAttributes.push_back(Attr("Duration", atQWORD, duration));
    FAttributes.push_back(Attr("Bitrate", atDWORD, std::min<uint64_t>(bitrate, UINT32_MAX)));
    FAttributes.push_back(Attr("CurrentBitrate", atDWORD, std::min<uint64_t>(bitrate, UINT32_MAX)));
    FAttributes.push_back(
        Attr("OptimalBitrate", atDWORD, maxBitrate != 0 ? maxBitrate : std::min<uint64_t>(bitrate, UINT32_MAX)));
    FAttributes.push_back(Attr("FileSize", atQWORD, fileSize));
    FAttributes.push_back(Attr("Seekable", atBOOL, seekable));
    FAttributes.push_back(Attr("Stridable", atBOOL, stridable));
    FAttributes.push_back(Attr("Broadcast", atBOOL, 0));
    FAttributes.push_back(Attr("Is_Protected", atBOOL, protectedContent));
    FAttributes.push_back(Attr("Is_Trusted", atBOOL, 0));
    FAttributes.push_back(Attr("HasAudio", atBOOL, audio));
    FAttributes.push_back(Attr("HasVideo", atBOOL, video));
    FAttributes.push_back(Attr("HasImage", atBOOL, image));
    FAttributes.push_back(Attr("HasScript", atBOOL, script));
    FAttributes.push_back(Attr("HasArbitraryDataStream", atBOOL, binary));
    FAttributes.push_back(Attr("HasFileTransferStream", atBOOL, transfer));
    FAttributes.push_back(Attr("HasAttachedImages", atBOOL, 0));
    FAttributes.push_back(Attr("Can_Skip_Backward", atBOOL, 0));
    FAttributes.push_back(Attr("Can_Skip_Forward", atBOOL, 0));
    FAttributes.push_back(Attr("WM/ContainerFormat", atDWORD, 1));
    FAttributes.push_back(Attr("WM/ASFPacketCount", atQWORD, packets));
    FAttributes.push_back(Attr("WM/ASFSecurityObjectsSize", atQWORD, securitySize));
}

// ---- editing ------------------------------------------------------------------

TAsfEditor::TPrint TAsfEditor::PrintOf(const TAttribute& A) {
    // Eight bytes at a time: pictures make values of hundreds of kilobytes.
    uint64_t h = 0x9E3779B97F4A7C15ull;
    const size_t n = A.Value.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, A.Value.data() + i, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    for (; i < n; ++i) h = (h ^ A.Value[i]) * 0x94D049BB133111EBull;
    return {A.Name, A.Type, A.Language, n, h};
}

std::vector<TAttribute> TAsfEditor::TakeAttributes() {
    std::vector<TAttribute> out = std::move(FAttributes);
    Close();
    return out;
}

// The stored attributes as read, noted before the first change (a read
// alone never pays for it).
void TAsfEditor::NoteOriginal() {
    if (FOriginalNoted) return;
    for (const auto& a : FAttributes)
        if (!a.Computed) FOriginal.push_back(PrintOf(a));
    std::sort(FOriginal.begin(), FOriginal.end());
    FOriginalNoted = true;
}

bool TAsfEditor::DeleteAttribute(size_t Index) {
    if (FOpen) NoteOriginal();
    if (!FOpen || Index >= FAttributes.size() || FAttributes[Index].Computed) return false;
    FAttributes.erase(FAttributes.begin() + (ptrdiff_t)Index);
    return true;
}

bool TAsfEditor::AddAttribute(const std::string& Name, uint16_t Type, const std::vector<uint8_t>& Value) {
    if (FOpen) NoteOriginal();
    if (!FOpen || Name.empty() || Type > atGUID || IsComputedName(Name)) return false;
    if (text::Utf8ToUtf16(Name, false, false).size() + 2 > MaxSmallValue) return false;
    const size_t n = FixedLength(Type);
    if (n != 0 && Value.size() != n) return false;
    if (Value.size() > UINT32_MAX - 2) return false;
    TAttribute a;
    a.Name = Name;
    a.Type = Type;
    a.Value = Value;
    // Every stored text ends in a NUL that its length counts.
    if (Type == atSTRING &&
        (a.Value.size() < 2 || a.Value[a.Value.size() - 1] != 0 || a.Value[a.Value.size() - 2] != 0)) {
        if (a.Value.size() % 2) a.Value.push_back(0);
        a.Value.push_back(0);
        a.Value.push_back(0);
    }
    // Keep the computed attributes last, as after Open.
    auto it = std::find_if(FAttributes.begin(), FAttributes.end(), [](const TAttribute& x) { return x.Computed; });
    FAttributes.insert(it, std::move(a));
    return true;
}

// ---- writing ------------------------------------------------------------------

// Renders the attribute objects and places every stored attribute where the
// format wants it: the first text of each of the five description fields in
// the Content Description; the first value of any other name, when it fits
// 64 KiB and is no GUID, in the Extended Content Description; everything else
// (later values of a name, long values, GUIDs, other languages) in the
// Metadata Library. Records of other streams stay in their objects.
std::vector<std::vector<uint8_t>> TAsfEditor::RenderChildren() const {
    std::string content[5];
    bool haveContent = false;
    TByteWriter ecd, lib, meta;
    uint32_t ecdCount = 0, libCount = 0;
    std::vector<std::string> inEcd;
    auto libRecord = [&](uint16_t lang, uint16_t stream, const std::vector<uint8_t>& name, uint16_t disk,
                         const std::vector<uint8_t>& data) {
        lib.u16le(lang).u16le(stream).u16le((uint16_t)name.size()).u16le(disk).u32le((uint32_t)data.size());
        lib.bytes(name).bytes(data);
        ++libCount;
    };
    for (const auto& a : FAttributes) {
        if (a.Computed) continue;
        int field = -1;
        for (int i = 0; i < 5; ++i)
            if (a.Name == ContentFields[i]) field = i;
        std::vector<uint8_t> v = a.Value;
        if (field >= 0 && a.Type == atSTRING && a.Language == 0 && content[field].empty()) {
            content[field] = Utf16Name(v);
            if (!content[field].empty() && v.size() <= MaxSmallValue) {
                haveContent = true;
                continue;
            }
            content[field].clear();
        }
        const std::vector<uint8_t> name = Utf16z(a.Name);
        const bool first = std::find(inEcd.begin(), inEcd.end(), a.Name) == inEcd.end();
        if (a.Type != atGUID && a.Language == 0 && first && v.size() <= MaxSmallValue) {
            ecd.u16le((uint16_t)name.size()).bytes(name).u16le(TypeToDisk[a.Type]).u16le((uint16_t)v.size()).bytes(v);
            inEcd.push_back(a.Name);
            ++ecdCount;
        } else {
            if (a.Type == atBOOL) v.resize(2);
            libRecord(a.Language, 0, name, TypeToDisk[a.Type], v);
        }
    }
    for (const auto& r : FOtherStreamLibrary) libRecord(r.Language, r.Stream, r.Name, r.DiskType, r.Data);
    for (const auto& r : FOtherStreamMetadata) {
        meta.u16le(r.Language)
            .u16le(r.Stream)
            .u16le((uint16_t)r.Name.size())
            .u16le(r.DiskType)
            .u32le((uint32_t)r.Data.size());
        meta.bytes(r.Name).bytes(r.Data);
    }

    std::vector<uint8_t> cdObj, ecdObj, metaObj, libObj;
    if (haveContent) {
        TByteWriter p;
        std::vector<uint8_t> texts[5];
        for (int i = 0; i < 5; ++i) {
            if (content[i] == Utf16Name(FContentRaw[i]))
                texts[i] = FContentRaw[i];
            else if (!content[i].empty())
                texts[i] = Utf16z(content[i]);
            p.u16le((uint16_t)texts[i].size());
        }
        for (auto& t : texts) p.bytes(t);
        cdObj = Object(ContentDescriptionGuid, p.take());
    }
    if (ecdCount > 0) {
        if (ecdCount > MaxAttributes) throw ETagFormat("too many attributes");
        TByteWriter p;
        p.u16le((uint16_t)ecdCount).bytes(ecd.data());
        ecdObj = Object(ExtendedContentGuid, p.take());
    }
    if (!FOtherStreamMetadata.empty()) {
        TByteWriter p;
        p.u16le((uint16_t)FOtherStreamMetadata.size()).bytes(meta.data());
        metaObj = Object(MetadataGuid, p.take());
    }
    if (libCount > 0) {
        if (libCount > MaxAttributes) throw ETagFormat("too many attributes");
        TByteWriter p;
        p.u16le((uint16_t)libCount).bytes(lib.data());
        libObj = Object(MetadataLibraryGuid, p.take());
    }

    // The Header Extension with its children in their old order.
    std::vector<uint8_t> extObj;
    if (FExtIndex >= 0 || !libObj.empty() || !metaObj.empty()) {
        TByteWriter d;
        bool metaDone = false, libDone = false;
        for (const auto& c : FExtChildren) {
            if (c.Guid == MetadataGuid) {
                if (!metaDone) d.bytes(metaObj);
                metaDone = true;
            } else if (c.Guid == MetadataLibraryGuid) {
                if (!libDone) d.bytes(libObj);
                libDone = true;
            } else {
                d.bytes(c.Bytes);
            }
        }
        if (!metaDone) d.bytes(metaObj);
        if (!libDone) d.bytes(libObj);
        TByteWriter p;
        if (FExtHead.size() == 22) {
            p.bytes(FExtHead.data(), 18);
        } else {
            p.bytes(ExtReservedGuid.data(), 16).u16le(6);
        }
        if (d.size() > UINT32_MAX) throw ETagFormat("header extension too large");
        p.u32le((uint32_t)d.size()).bytes(d.data());
        extObj = Object(HeaderExtensionGuid, p.take());
    }

    std::vector<std::vector<uint8_t>> out;
    bool cdDone = false, ecdDone = false;
    for (size_t i = 0; i < FChildren.size(); ++i) {
        const auto& c = FChildren[i];
        if (c.Guid == ContentDescriptionGuid) {
            if (!cdDone && !cdObj.empty()) out.push_back(cdObj);
            cdDone = true;
        } else if (c.Guid == ExtendedContentGuid) {
            if (!ecdDone && !ecdObj.empty()) out.push_back(ecdObj);
            ecdDone = true;
        } else if ((int)i == FExtIndex) {
            out.push_back(extObj);
        } else {
            out.push_back(c.Bytes);
        }
    }
    if (!cdDone && !cdObj.empty()) out.push_back(cdObj);
    if (!ecdDone && !ecdObj.empty()) out.push_back(ecdObj);
    if (FExtIndex < 0 && !extObj.empty()) out.push_back(extObj);
    return out;
}

std::vector<uint8_t> TAsfEditor::RenderHeader(uint64_t OldHeaderSize, uint64_t FileSize, uint64_t* NewFileSize) const {
    std::vector<std::vector<uint8_t>> children = RenderChildren();
    uint64_t n = HeaderFixedSize;
    for (const auto& c : children) n += c.size();
    // The header keeps its size when the attributes fit and the padding
    // rule lets it keep the rest, padded; else it gets padding anew.
    uint64_t padding = 0;
    if (n + ObjectHeaderSize <= OldHeaderSize &&
        padding::MayKeep((int64_t)(OldHeaderSize - n), (int64_t)FOldPadding, (int64_t)FileSize))
        padding = OldHeaderSize - n;
    else if (n != OldHeaderSize)
        padding = ObjectHeaderSize + (uint64_t)TagLibraryDefaults().Padding.ToWrite((int64_t)FileSize);
    if (padding > 0) children.push_back(Object(PaddingGuid, std::vector<uint8_t>(padding - ObjectHeaderSize, 0)));
    const uint64_t total = n + padding;
    const uint64_t newFileSize = FileSize - OldHeaderSize + total;
    if (NewFileSize) *NewFileSize = newFileSize;

    TByteWriter w;
    w.bytes(HeaderGuid.data(), 16).u64le(total).u32le((uint32_t)children.size()).u8(FReserved1).u8(FReserved2);
    for (size_t i = 0; i < children.size(); ++i) {
        const size_t at = w.size();
        w.bytes(children[i]);
        // File Properties holds the only absolute quantity: the file's size.
        TByteReader peek(children[i]);
        if (children[i].size() >= 104 && ReadGuid(peek) == FilePropertiesGuid) {
            std::vector<uint8_t> v = w.take();
            for (int b = 0; b < 8; ++b) v[at + 40 + b] = uint8_t(newFileSize >> (8 * b));
            w = TByteWriter();
            w.bytes(v);
        }
    }
    return w.take();
}

int TAsfEditor::Flush() {
    if (!FOpen) return asfresult::WriteFailed;
    if (FStream) return Write(FStream);
    return Write(nullptr);
}

int TAsfEditor::Write(TStream* Stream) {
    // Nothing to do when the stored attributes are what was read.
    NoteOriginal();
    std::vector<TPrint> now;
    for (const auto& a : FAttributes)
        if (!a.Computed) now.push_back(PrintOf(a));
    std::sort(now.begin(), now.end());
    if (now == FOriginal) return asfresult::Success;
    try {
        int64_t fileSize = 0;
        if (Stream) {
            fileSize = Stream->Size();
        } else {
            auto s = fileutil::FileSize(FFileName);
            if (!s) return asfresult::WriteFailed;
            fileSize = *s;
        }
        if ((uint64_t)fileSize < FHeaderSize) return asfresult::WriteFailed;
        TFileEdit edit;
        edit.Pos = 0;
        edit.OldLen = (int64_t)FHeaderSize;
        edit.Bytes = RenderHeader(FHeaderSize, (uint64_t)fileSize, nullptr);
        const uint64_t newHeaderSize = edit.Bytes.size();
        if (Stream) {
            edit = regionedit::NarrowedInPlace(*Stream, std::move(edit));
        } else if (auto f = TFileStream::Open(FFileName, TFileMode::fmOpenReadShared)) {
            edit = regionedit::NarrowedInPlace(*f, std::move(edit));
        }
        const TEditResult r = Stream ? ApplyEditToStream(*Stream, edit) : ApplyEditToFile(FFileName, edit);
        if (r != TEditResult::Success) return asfresult::WriteFailed;
        // The next write weighs its padding against what this one left.
        uint64_t content = HeaderFixedSize;
        for (const auto& c : RenderChildren()) content += c.size();
        FOldPadding = newHeaderSize - content;
        FHeaderSize = newHeaderSize;
        FOriginal = now;
        return asfresult::Success;
    } catch (const ETagFormat&) {
        return asfresult::WriteFailed;
    }
}

}  // namespace asf
