// MP4 item list: the iTunes-style items of moov/udta/meta/ilst, the Windows
// Media "Xtra" box of moov/udta, and the stream values of the file's tracks.
//
// Ownership: a TMP4Tag owns its items and Xtra attributes; an item owns its
// data children and its mean/name bodies. Reading is tags/mp4/mp4_tag.cpp,
// writing and removal tags/mp4/mp4_write.cpp, the atom walk and the
// chunk-offset fix-up tags/mp4/mp4_atoms.*, the unified mapping
// tags/mp4/mp4_mapping.cpp.
//
// An item (or the Xtra box) that was read and not changed since is written
// back from the bytes it was read from, so a save leaves untouched items
// exactly as they were. No exception leaves this API: results are codes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tags/padding.h"
#include "tags/stream.h"

// Result codes of loading, saving and removing.
namespace mp4result {
inline constexpr int Success = 0;
inline constexpr int NoTag = 1;
inline constexpr int NothingToWrite = 2;       // no items, no Xtra box, and the file has no item list
inline constexpr int FileOpenFailed = 4;       // also: read-only, or the file changed under the save
inline constexpr int ReadError = 5;            // a corrupt atom
inline constexpr int UnsafeLayout = 7;         // fragmented file whose fragments would move, or
                                               // a cover list whose pictures were not loaded
inline constexpr int NotMP4 = 9;               // the stream does not start with "ftyp"
inline constexpr int ChunkOffsetsFailed = 11;  // a 32-bit chunk-offset table cannot follow the move
inline constexpr int ChunkOffsets64Failed = 12;
}  // namespace mp4result

enum TMP4AudioFormat : int32_t { mp4afUnknown, mp4afAAC, mp4afALAC, mpfafAC3 };

using TAtomName = std::array<uint8_t, 4>;
// Low byte of each of the first four characters ("©nam" -> A9 6E 61 6D).
TAtomName AtomName(std::string_view Text);
// Each byte as the character with that code, in UTF-8.
std::string AtomNameText(const TAtomName& Name);

namespace mp4type {
inline constexpr uint32_t Implicit = 0, UTF8 = 1, GIF = 12, JPEG = 13, PNG = 14, Integer = 21, BMP = 27;
}

class TMP4Atom;
class TMP4Tag;

// One "data" child of an item.
class TMP4AtomData {
public:
    std::vector<uint8_t> Data;
    uint32_t DataType = mp4type::UTF8;
    std::array<uint8_t, 4> Reserved{};  // the locale field, kept as read
    bool Skipped = false;               // a picture whose bytes were not loaded
    bool AlreadyParsed = false;
};

// One item of the item list.
class TMP4Atom {
public:
    TAtomName ID{};
    std::vector<uint8_t> mean;  // whole bodies (version and flags, then UTF-8); empty when absent
    std::vector<uint8_t> name;
    std::vector<TMP4AtomData> Datas;
    bool AlreadyParsed = false;

    // Changed is false while the item is as read. An item that its children
    // do not rebuild exactly (an unknown child, a 64-bit header) keeps the
    // bytes it was read from in Raw, written back while it is unchanged.
    std::vector<uint8_t> Raw;
    bool Changed = true;

    int Count() const { return (int)Datas.size(); }
    TMP4AtomData& AddData();
    void Touch() {
        Changed = true;
        Raw.clear();
    }

    // Typed access to the first data child (a setter adds it when missing).
    std::string GetText() const;
    std::string DataText(int Index) const;
    bool IsInteger(int Index = 0) const;
    bool GetInteger(uint64_t& Value, int Index = 0) const;
    void SetText(const std::string& Text);
    void SetInteger(uint64_t Value, int Width, uint32_t Type = mp4type::Integer);
    std::string MeanText() const;
    std::string NameText() const;
    void SetCommonText(const std::string& Name, const std::string& Mean, const std::string& Value);

    uint64_t CalculateAtomSize() const;
    void Write(std::vector<uint8_t>& Out) const;
};

// One Xtra value and one Xtra attribute.
class TMP4XtraProperty {
public:
    uint16_t PropType = 0;
    std::vector<uint8_t> Data;
};
class TMP4Xtra {
public:
    std::string Name;
    std::vector<TMP4XtraProperty> Properties;
};

// Limits for hostile input, named once.
namespace mp4limit {
// Largest moov read into memory (it holds the sample tables and the pictures).
inline constexpr uint64_t MaxMoovSize = 512ull * 1024 * 1024;
// Children visited in any one atom, top level included.
inline constexpr int MaxChildren = 1 << 20;
// Items of an item list, data children of an item, Xtra attributes and values.
inline constexpr int MaxItems = 1 << 16;
inline constexpr int MaxDatas = 1 << 14;
inline constexpr int MaxXtraValues = 1 << 16;
}  // namespace mp4limit

class TMP4Tag {
public:
    TMP4Tag() { Atoms.reserve(256); }

    // --- state of the last load ---
    bool Loaded = false;  // at least one item was read
    bool Valid = false;   // the stream starts with "ftyp"
    std::string SourceFileName;
    int64_t FileSize = 0;
    int64_t mdatAtomPosition = -1, mdatAtomSize = 0;
    double Playtime = 0;
    uint16_t AudioChannelCount = 0;
    uint32_t AudioResolution = 0, AudioSampleRate = 0, BitRate = 0;
    uint32_t VideoWidth = 0, VideoHeight = 0;
    TMP4AudioFormat AudioFormat = mp4afUnknown;
    int64_t AtommoovPosition = 0, AtommoovSize = 0, AtomudtaPosition = 0, AtomudtaSize = 0;
    int64_t AtommetaPosition = 0, AtommetaSize = 0, AtomilstPosition = 0, AtomilstSize = 0;

    std::vector<TMP4Atom> Atoms;
    std::vector<TMP4Xtra> Xtras;
    uint8_t Version = 0;
    uint32_t Flags = 0;

    // --- options ---
    TPaddingOption Padding;  // of a moov written anew (tags/padding.h)
    bool ParseXtra = true;
    bool ParseCoverArts = true;
    bool ParseMediaAttributes = true;
    bool PreserveFileDateTime = false;

    // The Xtra box as read, written back while the attributes are unchanged.
    std::vector<uint8_t> XtraRaw;
    bool XtraChanged = false;

    void Clear();
    bool Assign(const TMP4Tag& Source);
    int64_t Size() const { return Loaded ? AtomilstSize : 0; }

    int LoadFromFile(const std::string& FileName, bool Buffered = true);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered = true);
    int LoadFromStream(TStream& Stream, bool Buffered = true);

    // --- items ---
    int Count() const { return (int)Atoms.size(); }
    int CoverArtCount() const;
    TMP4Atom& AddAtom(const TAtomName& ID);
    TMP4Atom* FindAtom(const TAtomName& ID);
    const TMP4Atom* FindAtom(const TAtomName& ID) const;
    int FindAtomIndex(const TAtomName& ID, int From = 0) const;
    TMP4Atom* FindAtomCommon(const std::string& Name, const std::string& Mean);
    bool DeleteAtom(int Index);
    bool DeleteAtom(const TAtomName& ID);
    int DeleteAllAtoms(const TAtomName& ID);
    bool DeleteAtomCommon(const std::string& Name, const std::string& Mean);

    std::string GetText(const TAtomName& ID) const;
    // Empty Text deletes the item; else the first item holds Text as UTF-8.
    void SetText(const TAtomName& ID, const std::string& Text);
    // Every value of every item with that ID, in order.
    std::vector<std::string> GetValues(const TAtomName& ID) const;
    // Replaces the items of that ID by one item per value, where the first was.
    void SetValues(const TAtomName& ID, const std::vector<std::string>& Values);
    bool GetInteger(const TAtomName& ID, uint64_t& Value) const;
    void SetInteger(const TAtomName& ID, uint64_t Value, int Width);
    std::vector<std::string> GetList(const TAtomName& ID) const;
    void SetList(const TAtomName& ID, const std::vector<std::string>& List);
    std::string GetCommon(const std::string& Name, const std::string& Mean = "com.apple.iTunes") const;
    void SetCommon(const std::string& Name, const std::string& Mean, const std::string& Value);

    int GetTrack() const;
    int GetTotalTracks() const;
    void SetTrack(int Track, int TotalTracks);
    int GetDisc() const;
    int GetTotalDiscs() const;
    void SetDisc(int Disc, int TotalDiscs);
    std::string GetGenre() const;
    void SetGenre(const std::string& Genre);
    std::string GetMediaType() const;
    void SetMediaType(const std::string& Media);
    std::string GetPurchaseCountry() const;
    void SetPurchaseCountry(const std::string& Country);

    // --- Xtra attributes ---
    const TMP4Xtra* FindAtomXtra(const std::string& FieldName) const;
    std::string GetTextXtra(const std::string& FieldName, bool MultipleValues) const;
    void ClearXtras() {
        Xtras.clear();
        XtraRaw.clear();
        XtraChanged = true;
    }

    // --- writing (mp4_write.cpp) ---
    // The new ilst size (0 without items).
    uint64_t CalculateSize() const;
    std::vector<uint8_t> CreateXtraAtom() const;
    int SaveToFile(const std::string& FileName, bool KeepPadding = true);
    int SaveToStream(TStream& Stream, bool Buffered = true, bool KeepPadding = true);

private:
    int ReadMoov(const uint8_t* Moov, size_t Size);
    void ReadTracks(const uint8_t* Moov, size_t Size);
    void ReadUdta(const uint8_t* Data, size_t Size, int64_t FilePos);
    void ReadXtra(const uint8_t* Data, size_t Size);
};

// The stand-alone remover: rewrites the file with an item list that keeps
// only the gapless-playback data and the encoder tool. 0 done, 2 nothing to
// remove, other codes as for a save.
int RemoveMP4TagFromFile(const std::string& FileName, bool KeepGaplessInfo = true, bool KeepEncoderTool = true);
