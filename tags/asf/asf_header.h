// Our own reader and writer of the metadata in an ASF (WMA/WMV) header.
//
// TAsfEditor offers the operations the WMA tag needs: open a file, count and
// read the file-level (stream 0) attributes, delete and add attributes, write
// the changes back, and the name and description of the first codec. The
// header's other objects are kept as read, byte for byte; the attribute
// objects (Content Description, Extended Content Description, Metadata,
// Metadata Library) and the Padding objects are rendered anew on a write.
// Besides the stored attributes the editor reports computed, read-only ones
// (Duration, Bitrate, HasAudio, ...), taken from the header at open time.
//
// A write keeps the header's size when the new attributes fit and the
// padding rule (tags/padding.h) lets the header keep the rest, filling it
// with one Padding object, so that only the bytes of the header that
// changed are written;
// otherwise the whole file is rewritten through the shared file edit, with
// the Data Object and the index objects moved unchanged (nothing in them is
// an absolute file position).
#pragma once

#include <array>
#include <span>
#include <cstdint>
#include <string>
#include <vector>

class TStream;

namespace asf {

// Attribute data types in the numbering the WMA tag uses (not the on-disk one).
enum TAttrType : uint16_t {
    atDWORD = 0,
    atSTRING = 1,
    atBINARY = 2,
    atBOOL = 3,
    atQWORD = 4,
    atWORD = 5,
    atGUID = 6,
};

using TGuid = std::array<uint8_t, 16>;
// The GUID that begins every ASF file, as it appears in the file.
inline constexpr TGuid HeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

struct TAttribute {
    std::string Name;            // UTF-8
    uint16_t Type = atBINARY;    // TAttrType
    uint16_t Language = 0;       // Metadata Library language index
    std::vector<uint8_t> Value;  // DWORD/BOOL 4 bytes, QWORD 8, WORD 2, GUID 16, STRING UTF-16LE
    bool Computed = false;       // derived from the header, read-only
};

// Result codes, in the WMA tag's numbering.
namespace asfresult {
inline constexpr int Success = 0;
inline constexpr int NoFile = 1;
inline constexpr int NotAsf = 4;  // no readable ASF header: the editor cannot open the file
inline constexpr int ReadOnly = 6;
inline constexpr int WriteFailed = 0xFFFF;
}  // namespace asfresult

// Limits for hostile files, named once.
inline constexpr uint64_t MaxHeaderSize = 256u << 20;  // the header is held in memory
inline constexpr uint32_t MaxAttributes = 65535;       // per attribute object
inline constexpr uint32_t MaxCodecEntries = 1024;

// Names of the computed attributes; they cannot be deleted or added.
bool IsComputedName(const std::string& Name);

class TAsfEditor {
public:
    // Reads the header of FileName. 0, NoFile or NotAsf.
    int Open(const std::string& FileName);
    // The same from a stream (the stream must outlive the editor's writes).
    int OpenStream(TStream& Stream);
    void Close();

    size_t AttributeCount() const { return FAttributes.size(); }
    const TAttribute& Attribute(size_t Index) const { return FAttributes[Index]; }
    // Hands the attributes over without copying their values; the editor is closed.
    std::vector<TAttribute> TakeAttributes();
    // False for an index out of range and for a computed attribute, which stays.
    bool DeleteAttribute(size_t Index);
    // False when the attribute cannot be stored: empty or over-long name,
    // unknown type, a value of the wrong size for its type or too long for
    // any object, or a computed name.
    bool AddAttribute(const std::string& Name, uint16_t Type, const std::vector<uint8_t>& Value);

    // Writes the attributes into the file (or stream) opened. Nothing is
    // written when they did not change. 0 or WriteFailed.
    int Flush();
    // The new header as it would be written for a file of FileSize bytes (tests).
    std::vector<uint8_t> RenderHeader(uint64_t OldHeaderSize, uint64_t FileSize, uint64_t* NewFileSize) const;

    // The format of the first audio stream (its Stream Properties Object's
    // WAVEFORMATEX): channels, samples per second, bits per sample; 0 unknown.
    struct TAudioFormat {
        uint16_t Channels = 0;
        uint32_t SamplesPerSec = 0;
        uint16_t BitsPerSample = 0;
    };
    const TAudioFormat& AudioFormat() const { return FAudioFormat; }
    const std::string& CodecName() const { return FCodecName; }
    const std::string& CodecDescription() const { return FCodecDescription; }
    uint64_t HeaderSize() const { return FHeaderSize; }

private:
    struct TChild {
        TGuid Guid;
        std::vector<uint8_t> Bytes;  // whole object, header included (empty for objects rendered anew)
    };
    // What a stored attribute was at open time, without holding its value.
    struct TPrint {
        std::string Name;
        uint16_t Type, Language;
        size_t Size;
        uint64_t Hash;
        auto operator<=>(const TPrint&) const = default;
    };
    static TPrint PrintOf(const TAttribute& A);
    struct TRecord {  // a Metadata / Metadata Library record kept as read
        uint16_t Language, Stream, DiskType;
        std::vector<uint8_t> Name;  // UTF-16LE with its terminator
        std::vector<uint8_t> Data;
    };

    int Parse(TStream& Stream);
    void ParseHeaderExtension(std::span<const uint8_t> Object);
    void ParseContentDescription(std::span<const uint8_t> Object);
    void ParseExtendedContent(std::span<const uint8_t> Object);
    void ParseMetadata(std::span<const uint8_t> Object, bool Library);
    void ParseCodecList(std::span<const uint8_t> Object);
    void AddComputed(TStream& Stream);
    std::vector<std::vector<uint8_t>> RenderChildren() const;
    int Write(TStream* Stream);

    std::vector<TAttribute> FAttributes;
    std::vector<TPrint> FOriginal;  // stored attributes at open time, sorted
    bool FOriginalNoted = false;
    void NoteOriginal();
    std::vector<TChild> FChildren;              // top-level header objects
    std::vector<TChild> FExtChildren;           // Header Extension children
    std::vector<uint8_t> FExtHead;              // Header Extension's 22-byte fixed payload
    int FExtIndex = -1;                         // position of the Header Extension in FChildren
    std::vector<TRecord> FOtherStreamMetadata;  // records of streams 1..127, kept as read
    std::vector<TRecord> FOtherStreamLibrary;
    // The five Content Description texts as stored, so that a field that
    // keeps its text (an empty one written as a lone terminator, say) keeps
    // its bytes.
    std::vector<uint8_t> FContentRaw[5];
    uint8_t FReserved1 = 1, FReserved2 = 2;
    uint64_t FHeaderSize = 0;
    uint64_t FOldPadding = 0;  // bytes of the Padding objects read
    int FFilePropertiesIndex = -1;
    std::string FCodecName, FCodecDescription;
    TAudioFormat FAudioFormat;
    std::string FFileName;
    TStream* FStream = nullptr;
    bool FOpen = false;
};

}  // namespace asf
