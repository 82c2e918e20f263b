#include "tags/flac/flac_tag.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/ogg/ogg_flac.h"
#include "tags/region_edit.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

constexpr uint8_t BlockStreamInfo = 0, BlockPadding = 1, BlockVorbisComment = 4, BlockPicture = 6;
constexpr uint8_t BlockInvalid = 127;  // a type the format forbids
constexpr uint32_t StreamInfoLength = 34;
constexpr const char* DefaultVendor = "reference libFLAC 1.1.0 20030126";

// Decodes the VORBIS_COMMENT body; false when its lengths run past its end.
bool DecodeCommentBlock(const std::vector<uint8_t>& Body, vorbis::TCommentBody& Out) {
    try {
        TByteReader r(Body);
        vorbis::ParseCommentBody(r, Out, false);
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

const TFlacBlock* FirstCommentBlock(const TFlacLayout& L) {
    for (const auto& b : L.Blocks)
        if (b.Type == BlockVorbisComment) return &b;
    return nullptr;
}

// Native layout, after an optional ID3v2 tag:
//   "fLaC", then blocks: 1 byte last-flag (bit 7) and type (bits 0-6),
//   24-bit big-endian body length, body. STREAMINFO comes first.
int ReadNativeLayout(TStream& S, TFlacLayout& L) {
    const int64_t size = S.Size();
    L.StreamType = fstNativeFlac;
    L.MetaStart = L.Prefix + 4;
    int64_t pos = L.MetaStart;
    bool first = true;
    for (;;) {
        L.AudioOffset = pos;
        uint8_t h[4];
        if (size - pos < 4 || S.Seek(pos) != pos || !S.ReadExact(h, 4)) return flacresult::NotFlac;
        const bool last = (h[0] & 0x80) != 0;
        const uint8_t type = h[0] & 0x7F;
        const uint32_t len = (uint32_t)h[1] << 16 | (uint32_t)h[2] << 8 | h[3];
        pos += 4;
        if (len > size - pos) return flacresult::NotFlac;
        if (first) {
            if (type != BlockStreamInfo || len < StreamInfoLength) return flacresult::NotFlac;
            L.StreamInfo = S.ReadBytes(len);
            first = false;
        } else {
            if (type == BlockInvalid) return flacresult::NotFlac;
            TFlacBlock b;
            b.Type = type;
            if (type != BlockPadding) {
                b.Body = S.ReadBytes(len);
                if (b.Body.size() != len) return flacresult::NotFlac;
            } else {
                b.PaddingLength = len;
            }
            if (type == BlockPicture) {
                vorbis::TPictureInfo info;
                std::span<const uint8_t> data;
                b.PictureReadable = vorbis::ParsePictureBlock(b.Body, info, data);
            }
            L.Blocks.push_back(std::move(b));
        }
        pos += len;
        if (last) break;
    }
    L.AudioOffset = pos;
    L.Complete = true;
    return L.Blocks.empty() ? flacresult::NoTag : flacresult::Success;
}

// The blocks a save writes, in the file's order: the new VORBIS_COMMENT in
// place of the old one, the pictures in place of the first readable picture,
// every other block (unreadable pictures included) unchanged, no padding. A
// file without a comment block gets one after STREAMINFO, pictures follow it.
std::vector<TFlacBlock> NewBlocks(const TFlacLayout& L, std::vector<uint8_t> Comment,
                                  std::vector<std::vector<uint8_t>> Pictures, bool WriteComment) {
    std::vector<TFlacBlock> out;
    bool commentDone = false, picturesDone = false;
    auto addPictures = [&] {
        for (auto& p : Pictures) out.push_back({BlockPicture, std::move(p), true});
        picturesDone = true;
    };
    for (const auto& b : L.Blocks) {
        if (b.Type == BlockPadding) continue;
        if (b.Type == BlockVorbisComment && !commentDone) {
            out.push_back({BlockVorbisComment, std::move(Comment), false});
            commentDone = true;
            continue;
        }
        if (b.Type == BlockPicture && b.PictureReadable) {
            if (!picturesDone) addPictures();
            continue;
        }
        out.push_back(b);
    }
    if (!commentDone && WriteComment) out.insert(out.begin(), {BlockVorbisComment, std::move(Comment), false});
    if (!picturesDone && !Pictures.empty()) {
        size_t at = out.empty() || out.front().Type != BlockVorbisComment ? 0 : 1;
        std::vector<TFlacBlock> pics;
        for (auto& p : Pictures) pics.push_back({BlockPicture, std::move(p), true});
        out.insert(out.begin() + (ptrdiff_t)at, std::make_move_iterator(pics.begin()),
                   std::make_move_iterator(pics.end()));
    }
    return out;
}

void PutBlock(TByteWriter& W, uint8_t Type, bool Last, const std::vector<uint8_t>& Body) {
    W.u8((uint8_t)(Type | (Last ? 0x80 : 0))).u24be((uint32_t)Body.size()).bytes(Body.data(), Body.size());
}

// The new metadata of a native stream from STREAMINFO on. In place when the
// blocks fit the old space exactly, or leave room for a padding block the
// padding rule lets them keep; otherwise FreshPadding bytes of padding for a
// rewrite.
std::vector<uint8_t> NativeRegion(const TFlacLayout& L, const std::vector<TFlacBlock>& Blocks, int64_t FreshPadding,
                                  int64_t FileSize, bool ForceReWrite) {
    int64_t content = 4 + (int64_t)L.StreamInfo.size();
    for (const auto& b : Blocks) content += 4 + (int64_t)b.Body.size();
    const int64_t old = L.AudioOffset - L.MetaStart;
    const int64_t room = old - content - 4;
    int64_t padding = -1;  // -1: no padding block
    if (!ForceReWrite && content == old)
        padding = -1;
    else if (!ForceReWrite && room >= 0 && room <= vorbis::MaxFlacBlockLength &&
             padding::MayKeep(room, PaddingOf(L), FileSize))
        padding = room;
    else
        padding = std::min<int64_t>(FreshPadding, vorbis::MaxFlacBlockLength);
    TByteWriter w;
    PutBlock(w, BlockStreamInfo, Blocks.empty() && padding < 0, L.StreamInfo);
    for (size_t i = 0; i < Blocks.size(); ++i)
        PutBlock(w, Blocks[i].Type, i + 1 == Blocks.size() && padding < 0, Blocks[i].Body);
    if (padding >= 0) {
        w.u8(0x80 | BlockPadding).u24be((uint32_t)padding);
        w.zeros((size_t)padding);
    }
    return w.take();
}

}  // namespace

// ---- layout -----------------------------------------------------------------------

int ReadFlacLayout(TStream& S, TFlacLayout& L) {
    L = TFlacLayout();
    if (S.Size() <= 0) return flacresult::CannotOpen;
    L.Prefix = ID3v2PrefixSize(S);
    uint8_t magic[4] = {0, 0, 0, 0};
    S.Seek(L.Prefix);
    S.ReadZeroFilled(magic, 4);
    if (std::memcmp(magic, "fLaC", 4) == 0) return ReadNativeLayout(S, L);
    if (std::memcmp(magic, "OggS", 4) == 0) return ReadOggFlacLayout(S, L);
    return flacresult::NotFlac;
}

int64_t PaddingOf(const TFlacLayout& L) {
    int64_t n = 0;
    for (const auto& b : L.Blocks) n += b.PaddingLength;
    return n;
}

// ---- TFlacTag -------------------------------------------------------------------------

TFlacTag::TFlacTag()
    : PreserveFileDateTime(false),
      Padding(TagLibraryDefaults().Padding),
      UpperCaseFieldNamesToWrite(TagLibraryDefaults().UpperCaseFieldNamesToWrite) {
    Tags.reserve(256);
}

void TFlacTag::Clear() {
    SourceFileName.clear();
    Loaded = false;
    VendorString.clear();
    Tags.clear();
    CoverArts.clear();
    StreamType = fstUnknown;
    Channels = BitsPerSample = 0;
    SampleRate = 0;
    SampleCount = 0;
    FFileSize = FMetaStart = FAudioOffset = 0;
}

bool TFlacTag::Assign(const TFlacTag& Source) {
    if (&Source == this) return true;
    Clear();
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    VendorString = Source.VendorString;
    Tags = Source.Tags;
    CoverArts = Source.CoverArts;
    StreamType = Source.StreamType;
    Channels = Source.Channels;
    SampleRate = Source.SampleRate;
    BitsPerSample = Source.BitsPerSample;
    SampleCount = Source.SampleCount;
    FFileSize = Source.FFileSize;
    FMetaStart = Source.FMetaStart;
    FAudioOffset = Source.FAudioOffset;
    return true;
}

uint32_t TFlacTag::Bitrate() const {
    const double t = Playtime();
    if (!(t > 0) || AudioSize() <= 0) return 0;
    return (uint32_t)std::nearbyint(double(AudioSize()) / 1000.0 * 8.0 / t);
}

// STREAMINFO: 16-bit min/max block size, 24-bit min/max frame size, then
// 20 bits sample rate, 3 bits channels - 1, 5 bits bits per sample - 1 and
// 36 bits of sample count.
void TFlacTag::TakeStreamInfo(const TFlacLayout& L) {
    StreamType = L.StreamType;
    FMetaStart = L.MetaStart;
    FAudioOffset = L.AudioOffset;
    if (L.StreamInfo.size() < StreamInfoLength) return;
    const uint8_t* b = L.StreamInfo.data();
    SampleRate = (uint32_t)b[10] << 12 | (uint32_t)b[11] << 4 | b[12] >> 4;
    Channels = (uint8_t)(((b[12] >> 1) & 7) + 1);
    BitsPerSample = (uint8_t)((((b[12] & 1) << 4) | (b[13] >> 4)) + 1);
    SampleCount =
        (uint64_t)(b[13] & 0x0F) << 32 | (uint64_t)b[14] << 24 | (uint64_t)b[15] << 16 | (uint64_t)b[16] << 8 | b[17];
}

int TFlacTag::Load(TStream& Stream, bool Buffered) {
    Clear();
    FFileSize = Stream.Size();
    if (FFileSize <= 0) return flacresult::CannotOpen;
    std::unique_ptr<TBufferedStream> buffer;
    if (Buffered) buffer = std::make_unique<TBufferedStream>(Stream);
    TStream& S = buffer ? *buffer : Stream;
    TFlacLayout L;
    const int r = ReadFlacLayout(S, L);
    if (!L.StreamInfo.empty()) TakeStreamInfo(L);
    if (r != flacresult::Success) return r;
    bool commentRead = false;
    for (auto& b : L.Blocks) {
        if (b.Type == BlockVorbisComment && !commentRead) {
            vorbis::TCommentBody body;
            // A comment block whose lengths run past its end cannot be read:
            // the file is not taken as loaded, so no save replaces it.
            if (!DecodeCommentBlock(b.Body, body)) return flacresult::NotFlac;
            VendorString = std::move(body.Vendor);
            Tags = std::move(body.Comments);
            commentRead = true;
        } else if (b.Type == BlockPicture && b.PictureReadable) {
            TFlacPicture p;
            std::span<const uint8_t> data;
            vorbis::ParsePictureBlock(b.Body, p.Info, data);
            p.Data.assign(data.begin(), data.end());
            CoverArts.push_back(std::move(p));
        }
    }
    Loaded = true;
    return flacresult::Success;
}

int TFlacTag::LoadFromStream(TStream& Stream, bool Buffered) {
    try {
        return Load(Stream, Buffered);
    } catch (const ETagFormat&) {
        Loaded = false;
        return flacresult::Failure;
    }
}

int TFlacTag::LoadFromFile(const std::string& FileName, bool Buffered) {
    Clear();
    if (!fileutil::FileExists(FileName)) return flacresult::CannotOpen;
    auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!f) return flacresult::CannotOpen;
    return LoadFromOpenFile(*f, FileName, Buffered);
}

int TFlacTag::LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered) {
    Clear();
    const int r = LoadFromStream(File, Buffered);
    if (r == flacresult::Success) SourceFileName = FileName;
    return r;
}

int TFlacTag::Save(TStream* Target, const std::string& FileName, bool Buffered) {
    std::unique_ptr<TFileStream> file;
    if (!Target) {
        if (!fileutil::FileExists(FileName)) return flacresult::CannotOpen;
        if (fileutil::IsReadOnly(FileName)) return flacresult::ReadOnly;
        file = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!file) return flacresult::CannotOpen;
    }
    TStream& src = Target ? *Target : *file;
    TFlacLayout L;
    {
        std::unique_ptr<TBufferedStream> buffer;
        if (Buffered) buffer = std::make_unique<TBufferedStream>(src);
        const int r = ReadFlacLayout(buffer ? *buffer : src, L);
        if (r != flacresult::Success && r != flacresult::NoTag) return r;
    }
    // The file's vendor text is kept; a comment block that cannot be read
    // is not replaced, since whatever it holds would be lost.
    std::string vendor = VendorString;
    const TFlacBlock* old = FirstCommentBlock(L);
    if (old) {
        vorbis::TCommentBody body;
        if (!DecodeCommentBlock(old->Body, body)) return flacresult::NotFlac;
        if (!body.Vendor.empty()) vendor = body.Vendor;
    }
    if (vendor.empty()) vendor = DefaultVendor;

    std::vector<uint8_t> comment = vorbis::BuildCommentBody(vendor, Tags, UpperCaseFieldNamesToWrite);
    if (comment.size() > vorbis::MaxFlacBlockLength) return flacresult::TooLarge;
    std::vector<std::vector<uint8_t>> pictures;
    for (const auto& p : CoverArts) {
        pictures.push_back(vorbis::BuildPictureBlock(p.Info, p.Data));
        if (pictures.back().size() > vorbis::MaxFlacBlockLength) return flacresult::TooLarge;
    }
    const bool anyComment = std::any_of(Tags.begin(), Tags.end(), [](const auto& c) { return !c.Value.empty(); });
    // Ogg FLAC wants the comment block first, always; natively a file that
    // had none gets one only when there is something to put in it.
    const bool writeComment = old || anyComment || ForceReWrite || L.StreamType == fstOggFlac;
    const std::vector<TFlacBlock> blocks = NewBlocks(L, std::move(comment), std::move(pictures), writeComment);

    TFileEdit edit;
    const int64_t fresh = Padding.ToWrite(src.Size());
    if (L.StreamType == fstOggFlac) {
        const int r = BuildOggFlacEdit(src, L, blocks, fresh, ForceReWrite, edit);
        if (r != flacresult::Success) return r;
    } else {
        const std::vector<uint8_t> region = NativeRegion(L, blocks, fresh, src.Size(), ForceReWrite);
        const int64_t oldLen = L.AudioOffset - L.MetaStart;
        if (src.Seek(L.MetaStart) != L.MetaStart) return flacresult::Failure;
        const std::vector<uint8_t> oldBytes = src.ReadBytes(oldLen);
        if ((int64_t)oldBytes.size() != oldLen) return flacresult::Failure;
        edit = regionedit::Narrowed(L.MetaStart, oldBytes, region);
    }
    file.reset();

    const auto modTime = Target ? std::nullopt : fileutil::GetModTime(FileName);
    const bool rewrite = edit.Delta() != 0;
    switch (regionedit::Apply(Target, FileName, edit)) {
        case TEditResult::Success: break;
        case TEditResult::OpenFailed: return rewrite ? flacresult::CannotRewrite : flacresult::CannotOpen;
        case TEditResult::WriteFailed: return flacresult::WriteFailed;
        default: return flacresult::Failure;
    }
    if (Target) Target->Seek(0);
    if (!Target && PreserveFileDateTime && modTime) fileutil::SetModTime(FileName, *modTime);
    return flacresult::Success;
}

int TFlacTag::SaveToStream(TStream& Stream, bool Buffered) {
    try {
        Stream.Seek(0);
        return Save(&Stream, std::string(), Buffered);
    } catch (const ETagFormat&) {
        return flacresult::Failure;
    }
}

int TFlacTag::SaveToFile(const std::string& FileName, bool Buffered) {
    try {
        return Save(nullptr, FileName, Buffered);
    } catch (const ETagFormat&) {
        return flacresult::Failure;
    }
}

// ---- comments and pictures ----------------------------------------------------------------

TVorbisComment& TFlacTag::AddTag(const std::string& Name) {
    TVorbisComment& c = Tags.Add({});
    c.Name = Name;
    return c;
}

int TFlacTag::AddTextTag(const std::string& Name, const std::string& Text) {
    AddTag(Name).SetText(Text);
    return Count() - 1;
}

std::string TFlacTag::GetText(const std::string& Name) {
    const int i = FrameExists(Name);
    return i < 0 ? std::string() : Tags[i].GetText(true);
}

void TFlacTag::SetText(const std::string& Name, const std::string& Text) {
    const int i = FrameExists(Name);
    if (i >= 0) {
        if (Text.empty())
            DeleteFrame(i);
        else
            Tags[i].SetText(Text);
    } else if (!Text.empty()) {
        AddTextTag(Name, Text);
    }
}

bool TFlacTag::GetMultipleValues(const std::string& Name, std::vector<std::string>& Values) {
    Values.clear();
    Tags.EachOf(Name, [&](TVorbisComment& c) { Values.push_back(c.GetText(true)); });
    return !Values.empty();
}

void TFlacTag::SetMultipleValues(const std::string& Name, const std::vector<std::string>& Values) {
    Tags.DeleteAll(Name);
    for (const auto& v : Values) AddTextTag(Name, v);
}

int TFlacTag::AddCoverArt(const vorbis::TPictureInfo& Info, std::vector<uint8_t> Data) {
    CoverArts.push_back({Info, std::move(Data)});
    return CoverArtCount() - 1;
}

bool TFlacTag::DeleteCoverArt(int Index) {
    if (Index < 0 || Index >= CoverArtCount()) return false;
    CoverArts.erase(CoverArts.begin() + Index);
    return true;
}

int RemoveFlacTagFromFile(const std::string& FileName, uint32_t PaddingSize, bool PreserveDateTime) {
    TFlacTag t;
    t.ForceReWrite = true;
    t.Padding = TPaddingOption::Exactly(PaddingSize);
    t.PreserveFileDateTime = PreserveDateTime;
    return t.SaveToFile(FileName, true);
}
