// TWAVTag: the metadata chunks of a RIFF WAVE or RF64 WAVE file: the RIFF
// INFO list (its items as frames, in file order), the broadcast extension
// "bext", the cart chunk "cart" and, read only, the speech events "EVNT";
// plus the format and data chunks' play time, bit rate and sample count.
//
// The tag owns its frames and chunk structures; a frame points back to its
// tag without owning it. A save replaces every INFO list, "bext" and "cart"
// chunk of the file by the new ones and leaves every other chunk, and any
// bytes after the RIFF form, as they were; the RIFF (or "ds64") size follows
// from the bytes written. The filler chunks ("JUNK", ...) right behind the
// tag chunks are room for them, and chunks written anew get a "JUNK" filler
// behind them by the padding rule (tags/padding.h), so that later edits are
// written in place. It goes through the shared file edit, so a failed
// save leaves the file as it was.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/item_list.h"
#include "tags/riff/container_audio.h"

class TStream;
class TWAVTag;

namespace wavresult {
inline constexpr int Success = 0;
inline constexpr int NoFile = 4;  // missing, or cannot be opened for reading
inline constexpr int NoTemp = 6;
inline constexpr int Structure = 7;  // a chunk runs past the end of the file
inline constexpr int NotWave = 9;
inline constexpr int TooLarge = 10;  // the RIFF size does not fit 32 bits
inline constexpr int OpenFailed = 11;
inline constexpr int ReadOnly = 12;
inline constexpr int Failed = 65535;
}  // namespace wavresult

// Limits for hostile files, named once.
inline constexpr uint32_t MaxRiffChunks = 65536;        // top-level chunks walked
inline constexpr uint64_t MaxTagChunkSize = 64u << 20;  // an INFO, bext, cart or EVNT chunk held in memory

using TWAVTagFrameFormat = TTagFrameFormat;

class TWAVTagFrame {
public:
    explicit TWAVTagFrame(TWAVTag* Parent) : Parent(Parent) {}

    std::string Name;  // the 4-character item ID
    TWAVTagFrameFormat Format = TWAVTagFrameFormat::ffUnknown;
    std::vector<uint8_t> Value;  // the item's bytes as stored (text with its NUL)
    TWAVTag* Parent;
    bool AlreadyParsed = false;

    std::string GetText() const;
    bool SetText(const std::string& Text);
    bool GetList(std::vector<std::string>& List) const;
    bool SetList(const std::vector<std::string>& List);
    void Clear();
    void Assign(const TWAVTagFrame& Source);
    int Index() const;
};

// The broadcast extension: 602 fixed bytes, then the coding history.
class TBEXT {
public:
    static constexpr size_t FixedSize = 602;
    std::array<uint8_t, FixedSize> Chunk{};
    std::vector<uint8_t> CodingHistory;
    bool Loaded = false;
    std::vector<uint8_t> Raw;  // the chunk's data as read, written back while the fields are as read

    void Clear();
    bool Have() const;
    // Text fields by name ("Description", "Originator", "OriginatorReference",
    // "OriginationDate", "OriginationTime", "Reserved"); "" for other names.
    std::string GetField(const std::string& Field) const;
    bool SetField(const std::string& Field, const std::string& Text);
    uint64_t TimeReference() const;
    void SetTimeReference(uint64_t V);
    // "Version" and the five loudness values.
    uint16_t GetWord(const std::string& Field) const;
    bool SetWord(const std::string& Field, uint16_t V);
    std::string GetUMID() const;
    void SetUMID(const std::string& Text);
    std::string GetCodingHistory() const;
    void SetCodingHistory(const std::string& Text);
    size_t ChunkSize() const;  // the "bext" size field: fixed part, history, NUL, even
};

struct TCART_TIMER {
    std::string Usage;
    uint32_t Value = 0;
};

// The cart chunk: 2048 fixed bytes, then the tag text.
class TCART {
public:
    static constexpr size_t FixedSize = 2048;
    std::array<uint8_t, FixedSize> Chunk{};
    std::vector<uint8_t> TagText;
    bool Loaded = false;
    std::vector<uint8_t> Raw;  // the chunk's data as read, written back while the fields are as read

    void Clear();
    bool Have() const;
    std::string GetField(const std::string& Field) const;  // "Version", "Title", ... "URL"
    bool SetField(const std::string& Field, const std::string& Text);
    uint32_t LevelReference() const;
    void SetLevelReference(uint32_t V);
    TCART_TIMER GetPostTimer(int Index) const;
    void SetPostTimer(int Index, const TCART_TIMER& Timer);
    std::string GetTagText() const;
    void SetTagText(const std::string& Text);
    size_t ChunkSize() const;
};

struct TSPEVENT {
    uint16_t EventID = 0, ParamType = 0;
    uint32_t StreamNumber = 0;
    uint64_t AudioStreamOffset = 0;
    uint32_t wParam = 0, lParam = 0;
    std::vector<uint8_t> TOKENDATA, BOOKMARK;
};

class TEVNT {
public:
    std::vector<TSPEVENT> SPEVENTS;
    bool Loaded = false;
    void Clear() {
        SPEVENTS.clear();
        Loaded = false;
    }
};

class TWAVTag {
public:
    TWAVTag() = default;
    TWAVTag(const TWAVTag&) = delete;
    TWAVTag& operator=(const TWAVTag&) = delete;

    std::string SourceFileName;
    // A WAVE stream was read and it holds INFO items, a bext or a cart chunk.
    bool Loaded = false;
    // A RIFF or RF64 WAVE stream was read (the audio values below are valid).
    bool StreamRead = false;
    int64_t FFileSize = 0;
    // INFO item IDs compare byte for byte ("ITRK" and "itrk" are two items).
    TItemList<std::unique_ptr<TWAVTagFrame>, itemlist::TExactName> Frames;
    TBEXT BEXT;
    TCART CART;
    TEVNT EVNT;
    TWaveFmt Attributes;
    bool RF64 = false;
    double PlayTime = 0;
    uint64_t SampleCount = 0;
    int32_t BitRate = 0;
    uint64_t SampleDataStartPosition = 0, SampleDataSize = 0;
    bool PreserveFileDateTime = false;

    int LoadFromFile(const std::string& FileName);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName);
    int LoadFromStream(TStream& Stream);
    int SaveToFile(const std::string& FileName);
    int SaveToStream(TStream& Stream);

    void Clear();
    int64_t Size() const { return CalculateTagSize(); }
    bool Assign(const TWAVTag& Source);

    int Count() const { return (int)Frames.size(); }
    TWAVTagFrame* AddFrame(const std::string& Name);
    int AddTextFrame(const std::string& Name, const std::string& Text);
    bool DeleteFrame(int Index) { return Frames.Delete(Index); }
    // Deletes the first item of that ID.
    bool DeleteFrameByName(const std::string& Name) { return Frames.DeleteFirst(Name); }
    void DeleteAllFrames() { Frames.clear(); }
    int FrameExists(const std::string& Name) const { return Frames.Exists(Name); }  // exact ID; -1 when none
    int FrameTypeCount(const std::string& Name) const { return Frames.TypeCount(Name); }
    std::string GetText(const std::string& Name) const;
    void SetText(const std::string& Name, const std::string& Text);
    bool GetList(const std::string& Name, std::vector<std::string>& List) const;
    void SetList(const std::string& Name, const std::vector<std::string>& List);
    void RemoveEmptyFrames();

    int64_t CalculateTotalFramesSize() const;
    int64_t CalculateTagSize() const;
    // The new LIST/INFO, bext and cart chunks.
    std::vector<uint8_t> CreateTagChunks();
    std::string GetCodec() const;

private:
    int Save(TStream& Stream, const std::string& FileName);
};

int RemoveWAVTagFromFile(const std::string& FileName, bool PreserveFileDateTime = false);
