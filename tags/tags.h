// TTags: the format-independent view of all tags of one audio file.
//
// A container owns its unified entries (TTag), its pictures (TCoverArt), one
// native tag object per tag kind and the stream-properties object. Loading
// runs every native reader and merges the loaded native tags into the
// unified lists by TagLoadPriority; saving prepares the native objects from
// the unified lists and writes them back. No exception leaves this API:
// results are integer codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/tag_types.h"

class TStream;
class TTags;
class TAPEv2Tag;
class TFlacTag;
class TID3v1Tag;
class TID3v2Tag;
class TMP4Tag;
class TOpusTag;
class TWAVTag;
class TWMATag;
class TSourceAudioAttributes;

// One unified entry.
class TTag {
public:
    explicit TTag(TTags* Parent) : Parent(Parent) {}

    std::string Name;
    std::string Value;  // may hold CR LF line breaks; lists as alternating lines
    std::string SortWith;
    std::string Language;
    std::string Description;
    TExtTagType ExtTagType = ettUnknown;
    TTags* Parent;  // not owned
    bool AlreadyParsed = false;

    void Clear();
    void Assign(const TTag& Source);
    int GetIndex() const;
    bool Delete();
    bool Remove();
    // name=value pairs <-> alternating lines "name CRLF value CRLF ...".
    void SetAsList(const std::vector<std::string>& List);
    void GetList(std::vector<std::string>& List) const;
};

// One picture.
class TCoverArt {
public:
    explicit TCoverArt(TTags* Parent) : Parent(Parent) {}

    std::string Name;
    std::vector<uint8_t> Data;  // the complete encoded picture file
    std::string Description;
    uint32_t CoverType = 0;
    std::string MIMEType;
    TTagPictureFormat PictureFormat = tpfUnknown;
    uint32_t Width = 0, Height = 0, ColorDepth = 0, NoOfColors = 0;
    TTags* Parent;
    bool AlreadyParsed = false;

    void Clear();
    void Assign(const TCoverArt& Source);
    int GetIndex() const;
    bool Delete();
};

class TTags {
public:
    TTags();
    ~TTags();
    TTags(const TTags&) = delete;
    TTags& operator=(const TTags&) = delete;

    // --- state and options ---
    std::string FileName;
    bool Loaded = false;
    TTagPriority TagLoadPriority = DefaultTagLoadPriority;
    bool UpperCaseFieldNamesToWrite;
    bool MP4KeepPadding;
    bool ParseWavPackAudioAttributes, ParseMusePackAudioAttributes, ParseMonkeyAudioAttributes;
    bool ParseAudioAttributes;
    bool ParseCoverArts;
    bool PreserveFileDateTime;
    bool ID3v2WriteUTF8Text;
    bool OnlyParseCoverArts;

    // --- native tag objects (owned) ---
    TAPEv2Tag& APEv2Tag() { return *FAPEv2Tag; }
    TFlacTag& FlacTag() { return *FFlacTag; }
    TID3v1Tag& ID3v1Tag() { return *FID3v1Tag; }
    TID3v2Tag& ID3v2Tag() { return *FID3v2Tag; }
    TMP4Tag& MP4Tag() { return *FMP4Tag; }
    TOpusTag& OggVorbisAndOpusTag() { return *FOggTag; }
    TWAVTag& WAVTag() { return *FWAVTag; }
    TWMATag& WMATag() { return *FWMATag; }
    TSourceAudioAttributes& SourceAudioAttributes() { return *FAudio; }
    const TAPEv2Tag& APEv2Tag() const { return *FAPEv2Tag; }
    const TFlacTag& FlacTag() const { return *FFlacTag; }
    const TID3v1Tag& ID3v1Tag() const { return *FID3v1Tag; }
    const TID3v2Tag& ID3v2Tag() const { return *FID3v2Tag; }
    const TMP4Tag& MP4Tag() const { return *FMP4Tag; }
    const TOpusTag& OggVorbisAndOpusTag() const { return *FOggTag; }
    const TWAVTag& WAVTag() const { return *FWAVTag; }
    const TWMATag& WMATag() const { return *FWMATag; }
    const TSourceAudioAttributes& SourceAudioAttributes() const { return *FAudio; }
    // Whether the native object of a kind is loaded.
    bool NativeLoaded(TTagType Kind) const;

    // --- entries ---
    TTag* Add(const std::string& Name);
    int Exists(const std::string& Name) const;
    TTag* Tag(const std::string& Name) const;
    TTag* TagAt(int Index) const { return Index >= 0 && Index < Count() ? FTags[Index].get() : nullptr; }
    int TypeCount(const std::string& Name) const;
    int Count() const { return (int)FTags.size(); }
    std::string GetText(const std::string& Name) const;
    int SetText(const std::string& Name, const std::string& Text);
    int SetList(const std::string& Name, const std::vector<std::string>& List);
    void GetList(const std::string& Name, std::vector<std::string>& List) const;
    bool GetMultipleList(const std::string& Name, std::vector<std::string>& List) const;
    static bool ItemAlreadyOnList(const std::vector<std::string>& List, const std::string& Item);
    bool Delete(int Index);
    bool Delete(const std::string& Name);
    bool Remove(int Index);
    // Removes every entry of Name from the unified list only (merge helper).
    void RemoveAll(const std::string& Name);
    int Clear(const std::string& Name);
    void DeleteAllTags();
    void RemoveEmptyTags();
    void ReSetAlreadyParsedState();
    void Clear();
    bool Assign(const TTags& Source, bool CoverArtsToo);
    int64_t Size() const;

    // --- pictures ---
    int CoverArtCount() const { return (int)FCoverArts.size(); }
    TCoverArt* CoverArt(const std::string& Name) const;
    TCoverArt* CoverArtAt(int Index) const {
        return Index >= 0 && Index < CoverArtCount() ? FCoverArts[Index].get() : nullptr;
    }
    TCoverArt* AddCoverArt(const std::string& Name);
    TCoverArt* AddCoverArt(const std::string& Name, TStream& Stream, const std::string& MIMEType);
    TCoverArt* AddCoverArt(const std::string& Name, const std::vector<uint8_t>& Data, const std::string& MIMEType);
    TCoverArt* AddCoverArtFromFile(const std::string& Name, const std::string& PictureFileName);
    bool DeleteCoverArt(int Index);
    void DeleteAllCoverArts();
    bool AssignCoverArts(const TTags& Source, bool Append);
    static TTagPictureFormat PictureStreamType(TStream* PictureStream);
    static TTagPictureFormat PicturePointerType(const void* Picture, int64_t DataSize);

    // --- loading and saving ---
    int LoadFromFile(const std::string& FileName);
    int LoadFromStream(TStream& Stream, bool Buffered = true);
    int LoadFromMemory(const void* Address, int64_t Size);
    void LoadTags();
    int SaveToFile(const std::string& FileName, TTagType TagType = ttAutomatic);
    int SaveToStream(TStream& Stream, bool Buffered, TTagType TagType);

    // Per-format merge, prepare and save accessors: thin wrappers over the
    // format modules (tags/format_accessors.cpp).
    void LoadAPEv2Tags();
    void PrepareAPEv2Tag();
    int SaveAPEv2Tag(const std::string& FileName, TStream* Stream);
    bool LoadAPEv2CoverArts(TAPEv2Tag& FromAPEv2Tag);
    void LoadFlacTags();
    void PrepareFlacTag();
    int SaveFlacTag(const std::string& FileName, bool Buffered, TStream* Stream);
    bool LoadFlacCoverArts(TFlacTag& FromFlacTag);
    void LoadID3v1Tags();
    void PrepareID3v1Tag();
    int SaveID3v1Tag(const std::string& FileName, TStream* Stream);
    void LoadID3v2Tags();
    void PrepareID3v2Tag();
    int SaveID3v2Tag(const std::string& FileName, bool Buffered, TStream* Stream);
    bool LoadID3v2CoverArts(TID3v2Tag& FromID3v2Tag);
    void LoadMP4Tags();
    void PrepareMP4Tag();
    int SaveMP4Tag(const std::string& FileName, bool Buffered, TStream* Stream);
    bool LoadMP4CoverArts(TMP4Tag& FromMP4Tag);
    void LoadOggVorbisAndOpusTags();
    void PrepareOggVorbisAndOpusTag();
    int SaveOggVorbisAndOpusTag(const std::string& FileName, TStream* Stream);
    bool LoadOggVorbisAndOpusCoverArts(TOpusTag& FromOggTag);
    void LoadWAVTags();
    void PrepareWAVTag();
    int SaveWAVTag(const std::string& FileName, TStream* Stream);
    void LoadWMATags();
    void PrepareWMATag();
    int SaveWMATag(const std::string& FileName);
    bool LoadWMACoverArts(TWMATag& FromWMATag);

    // The kinds whose writers the last SaveToFile / SaveToStream ran, in order
    // (with the native result of each); useful to callers that report detail.
    struct TSaveStep {
        TTagType Kind;
        int NativeResult;
    };
    const std::vector<TSaveStep>& LastSaveSteps() const { return FLastSaveSteps; }
    // The errno behind the last SaveToFile's failure to write, 0 when none is known.
    int LastSaveErrno() const { return FLastSaveErrno; }

private:
    friend struct TNativeFormats;  // the format table (tags/native_formats.h)
    int SaveKind(TTagType Kind, const std::string& FileName, bool Buffered, TStream* Stream);
    int SaveKindsToFile(const std::string& FileName, TTagType TagType);
    // Per-kind entry lists for a save into the file the tags came from (see
    // tags/save_views.cpp): each kind loaded from the file gets its own values
    // for every name the caller left as loaded, and the caller's values for
    // every name it changed. Pictures likewise: while the caller's pictures
    // are the ones the load merged, each kind keeps its own.
    using TEntryList = std::vector<std::unique_ptr<TTag>>;
    using TPictureList = std::vector<std::unique_ptr<TCoverArt>>;
    TEntryList MergedView(TTagType OnlyKind, TPictureList* Pictures = nullptr);
    void PrepareSaveViews();
    // Whether the entries or pictures differ from what the load merged.
    bool EditedSinceLoad();
    // Set while a save of the tags as loaded runs: it writes back what the
    // file holds and takes nothing away (an empty ID3v2 tag stays).
    bool FUneditedSave = false;
    // The values and pictures a save of an MPEG or WAVE file without an ID3v2
    // tag would drop, as the view of a new ID3v2 tag; false when there are none.
    bool PrepareOverflowView(bool& Pictures);
    bool PicturesAsLoaded();
    std::vector<std::pair<TTagType, TEntryList>> FSaveViews;
    std::vector<std::pair<TTagType, TPictureList>> FSavePictureViews;
    void CopyOptionsToNatives();

    std::unique_ptr<TAPEv2Tag> FAPEv2Tag;
    std::unique_ptr<TFlacTag> FFlacTag;
    std::unique_ptr<TID3v1Tag> FID3v1Tag;
    std::unique_ptr<TID3v2Tag> FID3v2Tag;
    std::unique_ptr<TMP4Tag> FMP4Tag;
    std::unique_ptr<TOpusTag> FOggTag;
    std::unique_ptr<TWAVTag> FWAVTag;
    std::unique_ptr<TWMATag> FWMATag;
    std::unique_ptr<TSourceAudioAttributes> FAudio;
    std::vector<std::unique_ptr<TTag>> FTags;
    std::vector<std::unique_ptr<TCoverArt>> FCoverArts;
    std::vector<TSaveStep> FLastSaveSteps;
    int FLastSaveErrno = 0;
};

// Stand-alone routines of the container.
int StripTagsFromFile(const std::string& FileName, TTagType TagType = ttAutomatic);
int DetectAudioFormatOfFile(const std::string& FileName);
int DetectAudioFormatOfStream(TStream& Stream);
// The format whose signature begins the audio at Pos (behind any ID3v2 tag),
// from those bytes alone: no check of the stream behind them and no search
// for MPEG frames. audioformat::Unknown when none does.
int AudioFormatSignatureAt(TStream& Stream, int64_t Pos);
int DefaultTagKindsForExtension(const std::string& FileName);
// "ID3" header at the stream start: 10 + sync-safe size, 0 when absent or larger than the stream.
int64_t ID3v2PrefixSize(TStream& Stream);
