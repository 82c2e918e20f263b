// Writing ID3v2 tags: rendering header, frames and padding; choosing between
// writing in place and rewriting the file; the MPEG, WAVE, RF64, AIFF, DSF
// and DSDIFF containers; removing a tag.
//
// Every change to a file is described as one edit: a region replaced by new
// bytes plus small header fields patched before it (RIFF / FORM / FRM8 sizes,
// DSF size and pointer). An edit whose region keeps its length is written in
// place; any other goes through "<file>.tmp", created exclusively, written
// fully, flushed to disk and renamed over the original, so that a full disk,
// a vanished file or a crash leaves either the old file or the new one whole.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/file_view.h"
#include "tags/region_edit.h"
#include "tags/id3/id3v2_internal.h"
#include "tags/padding.h"

namespace id3v2 {

// ---- frames -------------------------------------------------------------------

static bool Writable(const TID3v2Frame& F) { return ValidID3v2FrameID(F.ID, 3) && !F.Data.empty(); }

// Bytes that follow the frame header in front of the body.
static uint32_t ExtrasSize(const TID3v2Frame& F, int MajorVersion) {
    uint32_t n = 0;
    if (MajorVersion == 4 ? (F.DataLengthIndicator || F.Compressed) : F.Compressed) n += 4;
    if (F.Encrypted) n += 1;
    if (F.GroupingIdentity) n += 1;
    return n;
}

uint32_t FramesSize(const TID3v2Frames& List, int MajorVersion) {
    uint64_t n = 0;
    for (const auto& f : List.Frames)
        if (Writable(*f)) n += 10 + ExtrasSize(*f, MajorVersion) + f->Data.size();
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)n;
}

// The decompressed size travels with compressed, encrypted or unsynchronised
// bodies as it was read; a plain body states its own size.
static uint32_t DataLength(const TID3v2Frame& F) {
    if (F.Compressed || F.Encrypted || F.Unsynchronised) return F.DataLengthIndicatorValue;
    return (uint32_t)F.Data.size();
}

void WriteFrames(TByteWriter& W, const TID3v2Frames& List, int MajorVersion) {
    for (const auto& fp : List.Frames) {
        const TID3v2Frame& f = *fp;
        if (!Writable(f)) continue;
        uint64_t full = (uint64_t)ExtrasSize(f, MajorVersion) + f.Data.size();
        if (full > 0x0FFFFFFF) throw ETagFormat("frame too large for its size field");
        W.bytes(f.ID.data(), 4);
        if (MajorVersion == 4) {
            W.syncsafe32((uint32_t)full);
            W.u16be(f.EncodeFlags4());
            if (f.GroupingIdentity) W.u8(f.GroupIdentifier);
            if (f.Encrypted) W.u8(f.EncryptionMethod);
            if (f.DataLengthIndicator || f.Compressed) W.syncsafe32(std::min<uint32_t>(DataLength(f), 0x0FFFFFFF));
        } else {
            // Version 2.3 has no per-frame unsynchronisation nor a bare length indicator.
            TID3v2Frame flags3 = TID3v2Frame(nullptr);
            flags3.TagAlterPreservation = f.TagAlterPreservation;
            flags3.FileAlterPreservation = f.FileAlterPreservation;
            flags3.ReadOnly = f.ReadOnly;
            flags3.Compressed = f.Compressed;
            flags3.Encrypted = f.Encrypted;
            flags3.GroupingIdentity = f.GroupingIdentity;
            W.u32be((uint32_t)full);
            W.u16be(flags3.EncodeFlags3());
            if (f.Compressed) W.u32be(DataLength(f));
            if (f.Encrypted) W.u8(f.EncryptionMethod);
            if (f.GroupingIdentity) W.u8(f.GroupIdentifier);
        }
        W.bytes(f.Data.data(), f.Data.size());
    }
}

// ---- edits ------------------------------------------------------------------------

using TPatch = TFilePatch;
using TEdit = TFileEdit;

static std::vector<uint8_t> LE64Bytes(uint64_t V) {
    TByteWriter w;
    w.u64le(V);
    return w.take();
}

static int ToID3v2Result(TEditResult R) {
    switch (R) {
        case TEditResult::Success: return id3v2result::Success;
        case TEditResult::OpenFailed: return id3v2result::FileOpenFailed;
        case TEditResult::BadRange: return id3v2result::ContainerError;
        case TEditResult::WriteFailed: break;
    }
    return id3v2result::WriteFailed;
}

static int EditFile(const std::string& FileName, const TEdit& E) { return ToID3v2Result(ApplyEditToFile(FileName, E)); }
static int EditStream(TStream& S, const TEdit& E) { return ToID3v2Result(ApplyEditToStream(S, E)); }

// ---- planning -------------------------------------------------------------------

// Size of a tag at Pos including a version 2.4 footer, clamped to the stream.
// The end of the last whole frame of a tag at Pos: used when the stored tag
// size claims more than the file holds, so that whatever follows the frames
// (the audio, most likely) is not taken for part of the tag and cut away.
static int64_t FramesEnd(TStream& S, int64_t Pos, int Version) {
    const int64_t size = S.Size();
    const int64_t header = Version == 2 ? 6 : 10;
    int64_t pos = Pos + 10;
    while (size - pos >= header) {
        uint8_t h[10] = {};
        S.Seek(pos);
        S.ReadZeroFilled(h, header);
        TID3v2FrameID id{h[0], h[1], h[2], Version == 2 ? uint8_t(0) : h[3]};
        if (!ValidID3v2FrameID(id, Version)) break;
        int64_t len = Version == 2   ? (h[3] << 16 | h[4] << 8 | h[5])
                      : Version == 3 ? (int64_t)((uint32_t)h[4] << 24 | h[5] << 16 | h[6] << 8 | h[7])
                                     : (int64_t)DecodeSyncSafe(h + 4);
        if (len > size - pos - header) break;
        pos += header + len;
    }
    return pos - Pos;
}

static int64_t OldTagLength(TStream& S, int64_t Pos) {
    int64_t o = TagSizeAt(S, Pos);
    if (o <= 0) return 0;
    uint8_t h[10] = {};
    S.Seek(Pos);
    S.ReadZeroFilled(h, 10);
    if (o > S.Size() - Pos) return h[3] >= 2 && h[3] <= 4 ? FramesEnd(S, Pos, h[3]) : S.Size() - Pos;
    if ((h[5] & 0x10) && h[3] == 4 && S.Size() - Pos - o >= 10) {
        uint8_t f[3] = {};
        S.Seek(Pos + o);
        S.ReadZeroFilled(f, 3);
        if (std::memcmp(f, "3DI", 3) == 0) o += 10;
    }
    return o;
}

// Form-size patch after a change of Delta bytes inside the RIFF / FORM / FRM8 data.
static int FormPatch(const TContainerLayout& L, int64_t Delta, std::vector<TPatch>& Out) {
    // Measured from where the form really ends, which also mends a size field
    // that fell short of the last chunk.
    int64_t nsize = L.FormEnd - L.Form.HeaderSize + Delta;
    if (nsize < 0) nsize = 0;
    std::vector<uint8_t> field;
    if (!riff::EncodeFormSize(L.Form, (uint64_t)nsize, field)) return id3v2result::ContainerTooLarge;
    Out.push_back({L.Form.SizeFieldPos, std::move(field)});
    return 0;
}

// The padding of a tag Len bytes long at Pos: what follows its last whole frame.
static int64_t OldPadding(TStream& S, int64_t Pos, int64_t Len) {
    uint8_t h[4] = {};
    S.Seek(Pos);
    S.ReadZeroFilled(h, 4);
    if (h[3] < 2 || h[3] > 4) return 0;
    return std::max<int64_t>(0, Len - FramesEnd(S, Pos, h[3]));
}

// Plans the edit that writes Tag (its frames rendered by Render(padding)) into
// the container of S. A tag that fits its old place stays there, the rest
// of the place becoming its padding, as far as the padding rule allows
// (tags/padding.h); a tag written anew gets the padding the rule gives. In
// a WAVE, RF64 or AIFF file the filler chunks behind the tag chunk are room
// for it too. Returns an id3v2result code; E is valid on 0.
template <class TRender>
static int PlanSave(TStream& S, const TID3v2Tag& Tag, uint32_t N, TRender Render, TEdit& E, bool& Rewrite) {
    TContainerLayout L = ProbeContainer(S);
    const int64_t fileSize = S.Size();
    const auto fresh = (uint32_t)std::min<int64_t>(Tag.WriteOptions.Padding.ToWrite(fileSize), 0x0FFFFFFF);
    Rewrite = false;
    // The old tag of O bytes at Pos, and whether the new one may take its place.
    auto fits = [&](int64_t Pos, int64_t O, int64_t MoreRoom = 0) {
        return O >= (int64_t)N && padding::MayKeep(O - (int64_t)N, OldPadding(S, Pos, O) + MoreRoom, fileSize);
    };
    switch (L.Type) {
        case sftWAVE:
        case sftRF64:
        case sftAIFF:
        case sftDFF: {
            if (L.RF64WithoutWave) return id3v2result::RF64WithoutWave;
            // A chunk that runs past the end of the file (a cut download)
            // would hide a tag chunk behind it from every reader: refused,
            // in AIFF files too, rather than written where nothing finds it.
            if (!L.Sound) return id3v2result::ContainerUnsound;
            const bool dff = L.Type == sftDFF;
            const char* id = L.Type == sftAIFF || dff ? "ID3 " : "id3 ";
            int64_t O = L.TagPos >= 0 ? OldTagLength(S, L.TagPos) : 0;
            if (O > (int64_t)L.ChunkSize) O = (int64_t)L.ChunkSize;
            if (O > 0 && fits(L.TagPos, O)) {
                E.Pos = L.TagPos;
                E.OldLen = O;
                E.Bytes = Render(uint32_t(O - N));
                return 0;
            }
            int64_t chunkSpan = 0;
            std::string chunkID = dff ? "ID3 " : id;
            if (L.ChunkPos >= 0) {
                chunkSpan = std::min<int64_t>(L.ChunkHeaderSize + (int64_t)L.ChunkSize + (int64_t)(L.ChunkSize & 1),
                                              S.Size() - L.ChunkPos);
                TStreamBytes oldID = ReadAt(S, L.ChunkPos, 4);
                if (!dff && oldID.has(4)) chunkID = oldID.str(4);
            }
            // The chunk and the fillers behind it, taken whole: the tag's
            // padding is what the frames leave of them.
            const int64_t room = chunkSpan + L.FillerAfterChunk;
            const int64_t inRoom = room - L.ChunkHeaderSize - (int64_t)N;
            if (O > 0 && L.FillerAfterChunk > 0 && inRoom >= 0 && ((N + inRoom) % 2 == 0 || !L.Form.PadOdd) &&
                padding::MayKeep(inRoom, OldPadding(S, L.TagPos, O) + L.FillerAfterChunk, fileSize)) {
                E.Pos = L.ChunkPos;
                E.OldLen = room;
                E.Bytes = riff::BuildChunk(L.Form, chunkID.c_str(), Render(uint32_t(inRoom)));
                return 0;
            }
            std::vector<uint8_t> data = Render(fresh);
            if (L.ChunkPos >= 0) {
                // The old chunk (with or without a tag in it) and its fillers give way to the new one.
                E.Pos = L.ChunkPos;
                E.OldLen = room;
                E.Bytes = riff::BuildChunk(L.Form, chunkID.c_str(), data);
            } else {
                E.Pos = L.FormEnd;
                E.OldLen = 0;
                E.Bytes = riff::BuildChunk(L.Form, id, data);
                if (L.Type == sftAIFF && (E.Pos & 1)) E.Bytes.insert(E.Bytes.begin(), 0);
            }
            Rewrite = E.Delta() != 0;
            if (L.ChunkPos < 0 || L.ChunkPos < L.FormEnd) return FormPatch(L, E.Delta(), E.Patches);
            return 0;
        }
        case sftDSF: {
            if (!L.Sound) return id3v2result::ContainerUnsound;
            int64_t O = L.TagPos >= 0 ? OldTagLength(S, L.TagPos) : 0;
            int64_t pos = L.DSFMetadataPointer != 0 ? (int64_t)std::min<uint64_t>(L.DSFMetadataPointer, S.Size())
                                                    : (int64_t)std::min<uint64_t>(L.DSFTotalSize, S.Size());
            E.Pos = pos;
            E.OldLen = O;
            E.Bytes = Render(O > 0 && fits(L.TagPos, O) ? uint32_t(O - N) : fresh);
            E.Patches.push_back({12, LE64Bytes(L.DSFTotalSize - (uint64_t)O + E.Bytes.size())});
            if (L.DSFMetadataPointer == 0) E.Patches.push_back({20, LE64Bytes((uint64_t)pos)});
            Rewrite = E.Delta() != 0;
            return 0;
        }
        default: {
            int64_t O = OldTagLength(S, 0);
            E.Pos = 0;
            E.OldLen = O;
            E.Bytes = Render(O > 0 && fits(0, O) ? uint32_t(O - N) : fresh);
            Rewrite = E.Delta() != 0;
            return 0;
        }
    }
}

// Plans the removal of the tag. 0 with an edit, 2 when there is no tag.
static int PlanRemove(TStream& S, TEdit& E) {
    if (TagSizeAt(S, 0) > 0) {
        E.Pos = 0;
        E.OldLen = OldTagLength(S, 0);
        return 0;
    }
    TContainerLayout L = ProbeContainer(S);
    switch (L.Type) {
        case sftWAVE:
        case sftRF64:
        case sftAIFF:
        case sftDFF: {
            if (L.ChunkPos < 0 || L.TagPos < 0 || TagSizeAt(S, L.TagPos) == 0)
                return L.Type == sftDFF ? id3v2result::NoTag : id3v2result::NoFrames;
            E.Pos = L.ChunkPos;
            E.OldLen = std::min<int64_t>(L.ChunkHeaderSize + (int64_t)L.ChunkSize + (int64_t)(L.ChunkSize & 1),
                                         S.Size() - L.ChunkPos);
            if (L.ChunkPos < L.FormEnd) {
                int r = FormPatch(L, -E.OldLen, E.Patches);
                if (r) return r;
            }
            return 0;
        }
        case sftDSF: {
            if (L.TagPos < 0 || TagSizeAt(S, L.TagPos) == 0) return id3v2result::NoTag;
            E.Pos = L.TagPos;
            E.OldLen = OldTagLength(S, L.TagPos);
            uint64_t total = L.DSFTotalSize >= (uint64_t)E.OldLen ? L.DSFTotalSize - E.OldLen : 0;
            E.Patches.push_back({12, LE64Bytes(total)});
            E.Patches.push_back({20, LE64Bytes(0)});
            return 0;
        }
        default: return id3v2result::NoFrames;
    }
}

}  // namespace id3v2

using namespace id3v2;

// ---- TID3v2Tag writing ------------------------------------------------------------

// What PlanSave calls to render the tag with a given padding; the padding
// used is remembered in the tag.
static auto TagRenderer(TID3v2Tag& Tag) {
    return [&Tag](uint32_t Pad) { return Tag.RenderForSave(Pad); };
}

std::vector<uint8_t> TID3v2Tag::RenderForSave(uint32_t Padding) {
    std::vector<uint8_t> b = RenderTag(Padding);
    if (b.empty()) throw ETagFormat("tag cannot be rendered");
    FPaddingSize = Padding;
    return b;
}

uint32_t TID3v2Tag::CalculateTotalFramesSize() const {
    uint64_t n = 0;
    for (const auto& f : Frames)
        if (ValidID3v2FrameID(f->ID, 3)) n += f->Data.size();
    return (uint32_t)std::min<uint64_t>(n, 0xFFFFFFFFu);
}

uint32_t TID3v2Tag::FullFrameSize(int FrameIndex) const {
    const TID3v2Frame* f = Frame(FrameIndex);
    return f ? (uint32_t)(f->Data.size() + ExtrasSize(*f, MajorVersion)) : 0;
}

uint32_t TID3v2Tag::CalculateTagSize(uint32_t Padding) const { return 10 + FramesSize(*this, MajorVersion) + Padding; }

// Header ("ID3", version, flags, sync-safe size), frames, padding.
std::vector<uint8_t> TID3v2Tag::RenderTag(uint32_t Padding) const {
    if (MajorVersion != 3 && MajorVersion != 4) return {};
    TByteWriter frames;
    WriteFrames(frames, *this, MajorVersion);
    uint64_t body = (uint64_t)frames.size() + Padding;
    if (body > 0x0FFFFFFF) return {};
    TByteWriter w;
    w.str("ID3").u8(MajorVersion).u8(MinorVersion);
    w.u8((Unsynchronised ? 0x80 : 0) | (Experimental ? 0x20 : 0));
    w.syncsafe32((uint32_t)body);
    w.bytes(frames.data().data(), frames.size());
    w.zeros(Padding);
    return w.take();
}

int TID3v2Tag::SaveTagToStream(TStream& Stream, uint32_t Padding) {
    try {
        if (MajorVersion != 3 && MajorVersion != 4) return id3v2result::UnsupportedVersion;
        std::vector<uint8_t> bytes = RenderTag(Padding);
        if (bytes.empty() || !Stream.WriteExact(bytes)) return id3v2result::WriteFailed;
        FPaddingSize = Padding;
        return id3v2result::Success;
    } catch (const ETagFormat&) {
        return id3v2result::WriteFailed;
    }
}

// Version 2.2 is written as 2.3; WriteVersion may force 2.3 or 2.4.
static void ChooseWriteVersion(TID3v2Tag& T) {
    uint8_t before = T.MajorVersion;
    if (T.MajorVersion == 2) T.MajorVersion = 3;
    if (T.WriteOptions.Version == sfid3v23) T.MajorVersion = 3;
    if (T.WriteOptions.Version == sfid3v24) T.MajorVersion = 4;
    if (T.MajorVersion != before) {
        T.MinorVersion = 0;
        T.SetAllFrameDataStreams();  // embedded frames follow the tag's version
    }
}

// Buffered belongs to the signature every writer shares; this writer reads
// the file the same way either way.
int TID3v2Tag::SaveToFile(const std::string& FileName, bool /*Buffered*/) {
    try {
        if (Frames.empty()) return id3v2result::NoFrames;
        ChooseWriteVersion(*this);
        if (MajorVersion != 3 && MajorVersion != 4) return id3v2result::UnsupportedVersion;
        if (CalculateTotalFramesSize() == 0) return RemoveID3v2TagFromFile(FileName, WriteOptions.PreserveFileDateTime);
        const bool exists = fileutil::FileExists(FileName);
        fileutil::TModTimeKeeper keep(FileName, WriteOptions.PreserveFileDateTime && exists);
        if (exists && fileutil::IsReadOnly(FileName)) return id3v2result::ReadOnly;
        if (!exists) {
            auto created = TFileStream::Open(FileName, TFileMode::fmCreateExclusive);
            if (!created) return id3v2result::FileOpenFailed;
        }
        const uint32_t n = CalculateTagSize(0);
        if (n - 10 > 0x0FFFFFFF) return id3v2result::WriteFailed;
        TEdit e;
        bool rewrite = false;
        int r;
        {
            auto file = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
            if (!file) return id3v2result::FileOpenFailed;
            // The plan reads the old tag's header and frames in small steps:
            // through a view, they take a read or two.
            TFileView probe(*file);
            try {
                r = PlanSave(probe, *this, n, TagRenderer(*this), e, rewrite);
                if (r == 0) e = regionedit::NarrowedInPlace(probe, std::move(e));
            } catch (const ETagFormat&) {
                return id3v2result::ContainerError;
            }
        }
        if (r != 0) return r;
        r = EditFile(FileName, e);
        if (r == 0) {
            FSize = n + FPaddingSize;
            Loaded = true;
        }
        return r;
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int TID3v2Tag::SaveToStream(TStream& Stream, bool /*Buffered*/) {
    try {
        if (Frames.empty()) return id3v2result::NoFrames;
        ChooseWriteVersion(*this);
        if (MajorVersion != 3 && MajorVersion != 4) return id3v2result::UnsupportedVersion;
        if (CalculateTotalFramesSize() == 0) {
            int r = RemoveID3v2TagFromStream(Stream);
            Stream.Seek(0);
            return r;
        }
        const uint32_t n = CalculateTagSize(0);
        if (n - 10 > 0x0FFFFFFF) return id3v2result::WriteFailed;
        TEdit e;
        bool rewrite = false;
        int r;
        try {
            r = PlanSave(Stream, *this, n, TagRenderer(*this), e, rewrite);
            if (r == 0) e = regionedit::NarrowedInPlace(Stream, std::move(e));
        } catch (const ETagFormat&) {
            return id3v2result::ContainerError;
        }
        if (r != 0) return r;
        r = EditStream(Stream, e);
        if (r == 0) FSize = n + FPaddingSize;
        Stream.Seek(0);
        return r;
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int RemoveID3v2TagFromStream(TStream& Stream) {
    try {
        TEdit e;
        int r = PlanRemove(Stream, e);
        if (r != 0) return r;
        return EditStream(Stream, e);
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int RemoveID3v2TagFromFile(const std::string& FileName, bool PreserveFileDateTime) {
    try {
        if (!fileutil::FileExists(FileName)) return id3v2result::FileOpenFailed;
        fileutil::TModTimeKeeper keep(FileName, PreserveFileDateTime);
        if (fileutil::IsReadOnly(FileName)) return id3v2result::ReadOnly;
        TEdit e;
        int r;
        {
            auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
            if (!f) return id3v2result::FileOpenFailed;
            r = PlanRemove(*f, e);
        }
        if (r != 0) return r;
        return EditFile(FileName, e);
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}
