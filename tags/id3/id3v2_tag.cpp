// ID3v2 object model and reading: locating the tag in a plain file or in a
// WAVE / RF64 / AIFF / DSF / DSDIFF container, the header and extended
// headers, frame headers, unsynchronisation, compression and the conversion
// of version 2.2 frames.
#include "tags/byte_io.h"
#include "tags/id3/id3v2_tag.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "tags/file_util.h"
#include "tags/riff/riff_chunks.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/id3/id3v2_internal.h"
#include "tags/asf/asf_header.h"

// ---- frame IDs ---------------------------------------------------------------

TID3v2FrameID ID3v2FrameID(const std::string& Text) {
    TID3v2FrameID id{};
    for (size_t i = 0; i < 4 && i < Text.size(); ++i) id[i] = (uint8_t)Text[i];
    return id;
}

std::string ID3v2FrameIDText(const TID3v2FrameID& ID) {
    std::string s;
    for (uint8_t c : ID) {
        if (!c) break;
        s += (char)c;
    }
    return s;
}

static bool ValidIDChar(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool ValidID3v2FrameID(const TID3v2FrameID& ID, int MajorVersion) {
    int n = MajorVersion == 2 ? 3 : 4;
    for (int i = 0; i < n; ++i)
        if (!ValidIDChar(ID[i])) return false;
    return true;
}

// ---- TID3v2Frame -------------------------------------------------------------

// Version 2.3 flag word: status byte %abc00000, format byte %ijk00000.
void TID3v2Frame::DecodeFlags3(uint16_t Word) {
    Flags = Word;
    TagAlterPreservation = Word & 0x8000;
    FileAlterPreservation = Word & 0x4000;
    ReadOnly = Word & 0x2000;
    Compressed = Word & 0x0080;
    Encrypted = Word & 0x0040;
    GroupingIdentity = Word & 0x0020;
    DataLengthIndicator = Compressed;
}

uint16_t TID3v2Frame::EncodeFlags3() const {
    uint16_t w = 0;
    if (TagAlterPreservation) w |= 0x8000;
    if (FileAlterPreservation) w |= 0x4000;
    if (ReadOnly) w |= 0x2000;
    if (Compressed || DataLengthIndicator) w |= 0x0080;
    if (Encrypted) w |= 0x0040;
    if (GroupingIdentity) w |= 0x0020;
    return w;
}

// Version 2.4 flag word: status byte %0abc0000, format byte %0h00kmnp.
void TID3v2Frame::DecodeFlags4(uint16_t Word) {
    Flags = Word;
    TagAlterPreservation = Word & 0x4000;
    FileAlterPreservation = Word & 0x2000;
    ReadOnly = Word & 0x1000;
    GroupingIdentity = Word & 0x0040;
    Compressed = Word & 0x0008;
    Encrypted = Word & 0x0004;
    Unsynchronised = Word & 0x0002;
    DataLengthIndicator = Word & 0x0001;
}

uint16_t TID3v2Frame::EncodeFlags4() const {
    uint16_t w = 0;
    if (TagAlterPreservation) w |= 0x4000;
    if (FileAlterPreservation) w |= 0x2000;
    if (ReadOnly) w |= 0x1000;
    if (GroupingIdentity) w |= 0x0040;
    if (Compressed) w |= 0x0008;
    if (Encrypted) w |= 0x0004;
    if (Unsynchronised) w |= 0x0002;
    if (DataLengthIndicator || Compressed) w |= 0x0001;
    return w;
}

bool TID3v2Frame::Compress() {
    if (Data.empty()) return false;
    uLongf outLen = compressBound((uLong)Data.size());
    std::vector<uint8_t> out(outLen);
    if (compress2(out.data(), &outLen, Data.data(), (uLong)Data.size(), Z_BEST_COMPRESSION) != Z_OK) return false;
    out.resize(outLen);
    DataLengthIndicatorValue = (uint32_t)Data.size();
    Data = std::move(out);
    Size = (uint32_t)Data.size();
    Compressed = true;
    DataLengthIndicator = true;
    return true;
}

bool TID3v2Frame::DeCompress() {
    if (Data.size() <= 4 || Encrypted) return false;
    // The declared size is a promise we hold the data to; without one (or with
    // an absurd one) the cap decides.
    uint32_t limit = id3v2limit::MaxInflatedFrameSize;
    if (DataLengthIndicator && DataLengthIndicatorValue > 0 && DataLengthIndicatorValue < limit)
        limit = DataLengthIndicatorValue;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(64 * 1024);
    zs.next_in = Data.data();
    zs.avail_in = (uInt)Data.size();
    int rc = Z_OK;
    bool ok = false;
    while (true) {
        zs.next_out = chunk.data();
        zs.avail_out = (uInt)chunk.size();
        rc = inflate(&zs, Z_NO_FLUSH);
        size_t got = chunk.size() - zs.avail_out;
        if (got > limit - out.size()) break;  // inflates past what it declared
        out.insert(out.end(), chunk.begin(), chunk.begin() + (ptrdiff_t)got);
        if (rc == Z_STREAM_END) {
            ok = true;
            break;
        }
        if (rc != Z_OK) break;                    // damaged stream
        if (zs.avail_in == 0 && got == 0) break;  // truncated
    }
    inflateEnd(&zs);
    if (!ok) return false;
    Data = std::move(out);
    Size = (uint32_t)Data.size();
    Compressed = false;
    DataLengthIndicator = false;
    DataLengthIndicatorValue = 0;
    return true;
}

void TID3v2Frame::RemoveUnsynchronisation() {
    Data = id3v2::RemoveUnsync(Data);
    Size = (uint32_t)Data.size();
    FWasUnsynchronised = FWasUnsynchronised || Unsynchronised;
    Unsynchronised = false;
}

void TID3v2Frame::ApplyUnsynchronisation() {
    Data = id3v2::ApplyUnsync(Data);
    Size = (uint32_t)Data.size();
    Unsynchronised = true;
}

void TID3v2Frame::Assign(const TID3v2Frame& Source) {
    FWasUnsynchronised = Source.FWasUnsynchronised;
    ID = Source.ID;
    Size = Source.Size;
    Data = Source.Data;
    Flags = Source.Flags;
    TagAlterPreservation = Source.TagAlterPreservation;
    FileAlterPreservation = Source.FileAlterPreservation;
    ReadOnly = Source.ReadOnly;
    Compressed = Source.Compressed;
    Encrypted = Source.Encrypted;
    GroupingIdentity = Source.GroupingIdentity;
    Unsynchronised = Source.Unsynchronised;
    DataLengthIndicator = Source.DataLengthIndicator;
    GroupIdentifier = Source.GroupIdentifier;
    EncryptionMethod = Source.EncryptionMethod;
    DataLengthIndicatorValue = Source.DataLengthIndicatorValue;
    AlreadyParsed = Source.AlreadyParsed;
}

bool TID3v2Frame::Delete() {
    int i = Index();
    return i >= 0 && Parent->DeleteFrame(i);  // destroys this frame
}

void TID3v2Frame::Clear() {
    TID3v2Frames* parent = Parent;
    *this = TID3v2Frame(parent);
}

int TID3v2Frame::Index() const {
    if (!Parent) return -1;
    for (int i = 0; i < Parent->GetFrameCount(); ++i)
        if (Parent->Frames[i].get() == this) return i;
    return -1;
}

TID3v2Tag* TID3v2Frame::Root() const { return Parent ? Parent->Root : nullptr; }

TID3v2FrameWithSubFrames::TID3v2FrameWithSubFrames(TID3v2Frames* Parent)
    : TID3v2Frame(Parent), SubFrames(std::make_unique<TID3v2Frames>(Parent ? Parent->Root : nullptr)) {}
TID3v2FrameWithSubFrames::~TID3v2FrameWithSubFrames() = default;

void TID3v2FrameWithSubFrames::Assign(const TID3v2Frame& Source) {
    TID3v2Frame::Assign(Source);
    if (auto* s = dynamic_cast<const TID3v2FrameWithSubFrames*>(&Source)) {
        SubFrames->AssignFrames(*s->SubFrames);
        ParsedCleanly = s->ParsedCleanly;
    }
}

void TID3v2FrameWithSubFrames::Clear() {
    TID3v2Frame::Clear();
    SubFrames->DeleteAllFrames();
    ParsedCleanly = false;
}

void TID3v2FrameCHAP::Assign(const TID3v2Frame& Source) {
    TID3v2FrameWithSubFrames::Assign(Source);
    if (auto* s = dynamic_cast<const TID3v2FrameCHAP*>(&Source)) {
        ElementID = s->ElementID;
        StartTime = s->StartTime;
        EndTime = s->EndTime;
        StartOffset = s->StartOffset;
        EndOffset = s->EndOffset;
    }
}

void TID3v2FrameCTOC::Assign(const TID3v2Frame& Source) {
    TID3v2FrameWithSubFrames::Assign(Source);
    if (auto* s = dynamic_cast<const TID3v2FrameCTOC*>(&Source)) {
        ElementID = s->ElementID;
        TopLevel = s->TopLevel;
        Ordered = s->Ordered;
        ChildElementIDs = s->ChildElementIDs;
    }
}

// ---- TID3v2Frames: list operations ---------------------------------------------

TID3v2Frame* TID3v2Frames::AddFrameEx(const TID3v2FrameID& FrameID) {
    std::unique_ptr<TID3v2Frame> f;
    if (FrameID == ID3v2FrameID("CHAP"))
        f = std::make_unique<TID3v2FrameCHAP>(this);
    else if (FrameID == ID3v2FrameID("CTOC"))
        f = std::make_unique<TID3v2FrameCTOC>(this);
    else
        f = std::make_unique<TID3v2Frame>(this);
    f->ID = FrameID;
    if (Frames.size() == Frames.capacity()) Frames.reserve(Frames.capacity() + 1024);
    Frames.push_back(std::move(f));
    return Frames.back().get();
}

TID3v2Frame* TID3v2Frames::AddFrameEx(const std::string& FrameID) { return AddFrameEx(ID3v2FrameID(FrameID)); }

int TID3v2Frames::AddFrame(const std::string& FrameID) {
    AddFrameEx(FrameID);
    return GetFrameCount() - 1;
}

void TID3v2Frames::DeleteAllFrames() {
    Frames.clear();
    Frames.shrink_to_fit();
    Frames.reserve(1024);
}

void TID3v2Frames::AssignFrames(const TID3v2Frames& Source) {
    DeleteAllFrames();
    for (const auto& f : Source.Frames) AddFrameEx(f->ID)->Assign(*f);
}

// ---- TID3v2Tag ---------------------------------------------------------------

TID3v2Tag::TID3v2Tag() : TID3v2Frames(this) {
    const TTagLibraryDefaults& d = TagLibraryDefaults();
    WriteOptions.Padding = d.Padding;
    WriteOptions.PreserveFileDateTime = d.PreserveFileDateTime;
    ParseAudioAttributes = d.ParseAudioAttributes;
    ParseCoverArts = true;
    FExtendedHeader3 = std::make_unique<TID3v2ExtendedHeader3>();
    FExtendedHeader4 = std::make_unique<TID3v2ExtendedHeader4>();
}

TID3v2Tag::~TID3v2Tag() = default;

void TID3v2Tag::Clear() {
    DeleteAllFrames();
    SourceFileName.clear();
    Loaded = false;
    MajorVersion = 3;
    MinorVersion = 0;
    Flags = 0;
    Unsynchronised = Compressed = ExtendedHeader = Experimental = FooterPresent = false;
    FWasUnsynchronised = false;
    FCodedSize = {};
    FSize = 0;
    FPosition = 0;
    FFileSize = 0;
    FPaddingSize = 0;
    FExtendedHeader3 = std::make_unique<TID3v2ExtendedHeader3>();
    FExtendedHeader4 = std::make_unique<TID3v2ExtendedHeader4>();
    FMPEG = TMPEGStreamInfo{};
    FContainerAudio = TContainerAudio{};
    FSourceFileType = sftUnknown;
    FError = false;
}

bool TID3v2Tag::Assign(const TID3v2Tag& Source) {
    if (&Source == this) return true;
    FCodedSize = Source.FCodedSize;
    FPosition = Source.FPosition;
    FFileSize = Source.FFileSize;
    FWasUnsynchronised = Source.FWasUnsynchronised;
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    Flags = Source.Flags;
    Unsynchronised = Source.Unsynchronised;
    Compressed = Source.Compressed;
    ExtendedHeader = Source.ExtendedHeader;
    Experimental = Source.Experimental;
    FooterPresent = Source.FooterPresent;
    *FExtendedHeader3 = *Source.FExtendedHeader3;
    *FExtendedHeader4 = *Source.FExtendedHeader4;
    FPaddingSize = Source.FPaddingSize;
    WriteOptions = Source.WriteOptions;
    MajorVersion = Source.MajorVersion;
    MinorVersion = Source.MinorVersion;
    FSize = Source.FSize;
    FSourceFileType = Source.FSourceFileType;
    FMPEG = Source.FMPEG;
    FContainerAudio = Source.FContainerAudio;
    FError = Source.FError;
    AssignFrames(Source);
    return true;
}

// ---- unsynchronisation -------------------------------------------------------

namespace id3v2 {

std::vector<uint8_t> RemoveUnsync(const std::vector<uint8_t>& Data) {
    std::vector<uint8_t> out;
    out.reserve(Data.size());
    bool afterFF = false;
    for (uint8_t b : Data) {
        if (!(afterFF && b == 0)) out.push_back(b);
        afterFF = b == 0xFF;
    }
    return out;
}

std::vector<uint8_t> ApplyUnsync(const std::vector<uint8_t>& Data) {
    std::vector<uint8_t> out;
    out.reserve(Data.size() + Data.size() / 64 + 1);
    for (size_t i = 0; i < Data.size(); ++i) {
        out.push_back(Data[i]);
        if (Data[i] == 0xFF && (i + 1 == Data.size() || Data[i + 1] == 0 || Data[i + 1] >= 0xE0)) out.push_back(0);
    }
    return out;
}

}  // namespace id3v2

bool TID3v2Tag::RemoveUnsynchronisationOnAllFrames() {
    try {
        // Versions 2.2 and 2.3 are de-unsynchronised as a whole while reading;
        // frames still marked are the per-frame case of version 2.4.
        for (auto& f : Frames)
            if (f->Unsynchronised || (MajorVersion < 4 && Unsynchronised)) f->RemoveUnsynchronisation();
        if (Unsynchronised) FWasUnsynchronised = true;
        Unsynchronised = false;
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

bool TID3v2Tag::ApplyUnsynchronisationOnAllFrames() {
    try {
        for (auto& f : Frames)
            if (MajorVersion < 4 || !f->Unsynchronised) f->ApplyUnsynchronisation();
        Unsynchronised = true;
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

bool TID3v2Tag::DeCompressAllFrames() {
    bool ok = true;
    try {
        for (auto& f : Frames)
            if (f->Compressed && !f->DeCompress()) ok = false;  // kept compressed, written back as it was
    } catch (const ETagFormat&) {
        return false;
    }
    return ok;
}

// ---- frame reading -----------------------------------------------------------

namespace {

struct TConv22 {
    const char from[4];
    const char to[5];
};
// Version 2.2 frame IDs and the version 2.3 IDs they become.
constexpr TConv22 Conv22[] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"EQU", "EQUA"},
    {"GEO", "GEOB"}, {"GP1", "GRP1"}, {"IPL", "TIPL"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"},
    {"MVI", "MVIN"}, {"MVN", "MVNM"}, {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"},
    {"STC", "SYTC"}, {"TAL", "TALB"}, {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCP", "TCMP"},
    {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"}, {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"},
    {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"}, {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"},
    {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"},
    {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"}, {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"},
    {"TRN", "TRSN"}, {"TRO", "TRSO"}, {"TS2", "TSO2"}, {"TSA", "TSOA"}, {"TSC", "TSOC"}, {"TSI", "TSIZ"},
    {"TSP", "TSOP"}, {"TSS", "TSSE"}, {"TST", "TSOT"}, {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"},
    {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"}, {"ULT", "USLT"}, {"WAF", "WOAF"},
    {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"}, {"WPB", "WPUB"}, {"WXX", "WXXX"},
    {"PIC", "APIC"},
};

// PIC body: encoding, image format (3 bytes), picture type, description, data.
void ConvertPIC(TID3v2Frame& F) {
    TByteReader r(F.Data);
    uint8_t enc = r.u8();
    std::string fmt;
    for (uint8_t c : r.bytes(3))
        if (c) fmt += (char)c;
    fmt = text::UpperAscii(fmt);
    uint8_t type = r.u8();
    bool be = false;
    std::string desc = id3v2::ReadString(r, enc > 3 ? 0 : enc, be);
    std::string mime = fmt == "JPG"   ? "image/jpeg"
                       : fmt == "PNG" ? "image/png"
                       : fmt == "GIF" ? "image/gif"
                       : fmt == "BMP" ? "image/bmp"
                                      : fmt;
    TID3v2TextEncoding te = enc == 0 ? teANSI : enc == 3 ? teUTF8 : teUnicode;
    auto rest = r.rest();
    F.Data = id3v2::BuildPictureBody(te, mime, type, desc, rest.data(), rest.size());
    F.Size = (uint32_t)F.Data.size();
}

void Convert22(TID3v2Frame& F) {
    for (const auto& c : Conv22)
        if (std::memcmp(F.ID.data(), c.from, 3) == 0 && F.ID[3] == 0) {
            bool pic = std::strcmp(c.from, "PIC") == 0;
            F.ID = ID3v2FrameID(c.to);
            if (pic && !F.Data.empty()) {
                try {
                    ConvertPIC(F);
                } catch (const ETagFormat&) {
                    // A damaged picture body stays as it was read.
                }
            }
            return;
        }
}

// Version 2.4 sizes are sync-safe, but some writers stored plain big-endian
// sizes. When the sync-safe reading does not land on a frame, padding or the
// end while the plain reading does, the plain one is taken.
bool LandsWell(const TByteReader& R, size_t At) {
    if (At == R.size()) return true;
    if (At > R.size()) return false;
    const uint8_t* p = R.data() + At;
    if (p[0] == 0) return true;
    if (R.size() - At < 4) return false;
    TID3v2FrameID id{p[0], p[1], p[2], p[3]};
    return ValidID3v2FrameID(id, 4);
}

}  // namespace

namespace id3v2 {

bool ReadFrames(TByteReader& R, TID3v2Frames& List, int MajorVersion, bool TagUnsynchronised, int Depth) {
    const size_t idLen = MajorVersion == 2 ? 3 : 4;
    const size_t headerLen = MajorVersion == 2 ? 6 : 10;
    while (R.remaining() >= headerLen) {
        TID3v2FrameID id{};
        std::memcpy(id.data(), R.current(), idLen);
        if (!ValidID3v2FrameID(id, MajorVersion)) break;  // padding, or garbage
        try {
            R.skip(idLen);
            TID3v2Frame* f = List.AddFrameEx(id);
            uint32_t size;
            uint16_t flags = 0;
            if (MajorVersion == 2) {
                size = R.u24be();
            } else if (MajorVersion == 3) {
                size = R.u32be();
                flags = R.u16be();
            } else {
                const uint8_t* raw = R.current();
                size = R.syncsafe32();
                flags = R.u16be();
                uint32_t plain = ((uint32_t)raw[0] << 24) | ((uint32_t)raw[1] << 16) | ((uint32_t)raw[2] << 8) | raw[3];
                if (plain != size && !LandsWell(R, R.position() + (size_t)std::min<uint64_t>(size, R.size())) &&
                    plain <= R.remaining() && LandsWell(R, R.position() + plain))
                    size = plain;
            }
            if (size > R.remaining()) {
                if (List.Root) List.Root->FError = true;
                return false;
            }
            f->Size = size;
            if (size == 0) continue;
            // From here on the frame's bounds are known: a body that does not
            // hold what its flags announce is kept raw and the list goes on.
            const TByteReader whole = R.sub(size);
            try {
                TByteReader body = whole;
                if (MajorVersion == 3)
                    f->DecodeFlags3(flags);
                else if (MajorVersion == 4)
                    f->DecodeFlags4(flags);
                // 2.2 / 2.3 bodies are normally de-unsynchronised with the whole tag.
                if (TagUnsynchronised) f->Unsynchronised = true;
                if (MajorVersion == 3) {
                    if (f->Compressed) {
                        f->DataLengthIndicatorValue = body.u32be();
                        f->DataLengthIndicator = true;
                    }
                    if (f->Encrypted) f->EncryptionMethod = body.u8();
                    if (f->GroupingIdentity) f->GroupIdentifier = body.u8();
                } else if (MajorVersion == 4) {
                    if (f->GroupingIdentity) f->GroupIdentifier = body.u8();
                    if (f->Encrypted) f->EncryptionMethod = body.u8();
                    if (f->DataLengthIndicator) f->DataLengthIndicatorValue = body.syncsafe32();
                }
                f->Size = (uint32_t)body.remaining();
                // Picture bodies are kept even when pictures are not wanted: a
                // frame without its body would be dropped by the next save.
                auto rest = body.rest();
                f->Data.assign(rest.begin(), rest.end());
            } catch (const ETagFormat&) {
                f->Compressed = f->Encrypted = f->GroupingIdentity = f->DataLengthIndicator = f->Unsynchronised = false;
                f->Data.assign(whole.data(), whole.data() + whole.size());
                f->Size = (uint32_t)f->Data.size();
            }
            if (MajorVersion == 2) Convert22(*f);
            if ((f->IsID("CHAP") || f->IsID("CTOC")) && !f->Compressed && !f->Encrypted && !f->Unsynchronised)
                ParseChapterFrame(*f, MajorVersion, Depth + 1);
        } catch (const ETagFormat&) {
            break;  // a damaged frame ends the list; what was read stays
        }
    }
    return true;
}

}  // namespace id3v2

// ---- containers ------------------------------------------------------------------

namespace id3v2 {

uint32_t TagSizeAt(TStream& Stream, int64_t Pos) {
    TStreamBytes H = ReadAt(Stream, Pos, 10);
    if (!H.has(10) || !H.startsWith("ID3")) return 0;
    H.skip(6);
    return H.syncsafe32() + 10;
}

// RIFF / RF64, FORM and FRM8 chunks, walked by the rule of the chunk walker
// (tags/riff/riff_chunks.h): when the declared size does not end on a chunk
// boundary it is wrong, and the form is taken to end after the last plausible
// chunk (a printable ID, inside the file), so that a new chunk never lands in
// the middle of another; that also mends the size field on the next save
// instead of cutting a chunk off. A tag chunk appended after a form whose
// size is right is still found.
static void WalkChunks(TStream& S, TContainerLayout& L, const char* const* TagIDs) {
    bool fillers = false;  // the chunks seen since the tag chunk are all fillers
    riff::TFormWalk W(S, L.Form);
    riff::TChunk C;
    while (W.Next(C)) {
        if (!W.PastDeclaredEnd() && C.Overruns) {
            L.Sound = false;
            return;
        }
        // After a form whose size is right, only a tag chunk is looked for.
        if (W.PastDeclaredEnd() && W.EndsOnBoundary() && L.ChunkPos >= 0) break;
        bool isTag = false;
        for (const char* const* id = TagIDs; *id; ++id) isTag = isTag || C.Is(*id);
        if (fillers && riff::IsFillerID(C.ID)) {
            L.FillerAfterChunk += C.Span();
            continue;
        }
        fillers = false;
        if (isTag && L.ChunkPos < 0) {
            L.ChunkPos = C.Pos;
            L.ChunkSize = C.Size;
            L.TagPos = C.DataPos();
            fillers = true;
        }
    }
    if (W.PastDeclaredEnd() && !W.EndsOnBoundary()) L.FormEnd = W.End();
}

TContainerLayout ProbeContainer(TStream& S) {
    TContainerLayout L;
    const int64_t size = S.Size();
    L.Form = riff::ProbeForm(S);
    const riff::TFormHeader& F = L.Form;
    L.FormSize = F.FormSize;
    L.FormEnd = F.FormEnd;
    L.HasDS64 = F.HasDS64;
    L.ChunkHeaderSize = F.ChunkHeaderSize;
    switch (F.Kind) {
        case riff::TFormKind::RIFF:
        case riff::TFormKind::RF64: {
            L.Type = F.Kind == riff::TFormKind::RF64 ? sftRF64 : sftWAVE;
            L.RF64WithoutWave = F.RF64WithoutWave;
            if (L.RF64WithoutWave) break;
            // "ID3 " is what several other writers use inside WAVE files.
            static const char* const ids[] = {"id3 ", "ID32", "ID3 ", nullptr};
            WalkChunks(S, L, ids);
            break;
        }
        case riff::TFormKind::AIFF: {
            L.Type = sftAIFF;
            static const char* const ids[] = {"ID3 ", nullptr};
            WalkChunks(S, L, ids);
            break;
        }
        case riff::TFormKind::DSF:
            L.Type = sftDSF;
            L.DSFTotalSize = F.FormSize;
            L.DSFMetadataPointer = F.DSFMetadataPointer;
            L.Sound = L.DSFTotalSize <= (uint64_t)size;
            if (L.DSFMetadataPointer != 0 && L.DSFMetadataPointer < (uint64_t)size)
                L.TagPos = (int64_t)L.DSFMetadataPointer;
            break;
        case riff::TFormKind::DSDIFF: {
            L.Type = sftDFF;
            L.Sound = L.FormSize <= (uint64_t)size && L.FormSize + 12 <= (uint64_t)size;
            static const char* const ids[] = {"ID3 ", nullptr};
            WalkChunks(S, L, ids);
            break;
        }
        case riff::TFormKind::None: break;
    }
    return L;
}

}  // namespace id3v2

// ---- loading --------------------------------------------------------------------

int TID3v2Tag::LoadFromFile(const std::string& FileName, bool Buffered) {
    Clear();
    try {
        auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!f) return id3v2result::FileOpenFailed;
        return LoadFromOpenFile(*f, FileName, Buffered);
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int TID3v2Tag::LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered) {
    Clear();
    try {
        int r = LoadFromStream(File, Buffered);
        if (r < 4) SourceFileName = FileName;
        return r;
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int TID3v2Tag::LoadFromMemory(const void* Address, int64_t MemSize) {
    Clear();
    if (!Address || MemSize < 10 || std::memcmp(Address, "ID3", 3) != 0) return id3v2result::NoTag;
    TReadMemoryStream s(Address, MemSize);
    return LoadFromStream(s, false);
}

namespace {

// Whether the audio at Position begins with the signature of a format that
// is not MPEG audio: one format detection names, or WavPack, TTA or ASF.
// Its frames are then not searched for MPEG frame headers, which would cost
// the search window for nothing, or find a false one.
bool StartsWithOtherAudio(TStream& S, int64_t Position) {
    if (AudioFormatSignatureAt(S, Position) != audioformat::Unknown) return true;
    const TStreamBytes head = ReadAt(S, Position, (int64_t)asf::HeaderGuid.size());
    return head.startsWith("wvpk") || head.startsWith("TTA1") ||
           std::equal(asf::HeaderGuid.begin(), asf::HeaderGuid.end(), head.Bytes().begin(), head.Bytes().end());
}

}  // namespace

int TID3v2Tag::LoadFromStream(TStream& Input, bool Buffered) {
    Clear();
    try {
        std::unique_ptr<TBufferedStream> buffered;
        if (Buffered) buffered = std::make_unique<TBufferedStream>(Input);
        TStream& S = Buffered ? static_cast<TStream&>(*buffered) : Input;
        FFileSize = S.Size();
        const int64_t p0 = S.Position();
        int result = id3v2result::NoTag;
        int64_t tagPos = -1;
        uint8_t magic[3] = {};
        S.ReadZeroFilled(magic, 3);
        if (std::memcmp(magic, "ID3", 3) == 0) {
            tagPos = p0;
        } else if (p0 == 0) {
            id3v2::TContainerLayout L = id3v2::ProbeContainer(S);
            FSourceFileType = L.Type;
            if (ParseAudioAttributes && L.Type != sftUnknown) FContainerAudio = ReadContainerAudio(S, L.Type);
            if (L.TagPos >= 0 && id3v2::TagSizeAt(S, L.TagPos) > 0) tagPos = L.TagPos;
        }
        if (tagPos < 0 && FSourceFileType == sftUnknown && BeginningSearchLength > 0) {
            int64_t len = std::min<int64_t>(BeginningSearchLength, S.Size() - p0);
            S.Seek(p0);
            std::vector<uint8_t> buf = S.ReadBytes(len);
            for (size_t i = 0; i + 3 <= buf.size(); ++i)
                if (std::memcmp(&buf[i], "ID3", 3) == 0) {
                    tagPos = p0 + (int64_t)i;
                    break;
                }
        }
        if (tagPos >= 0) {
            S.Seek(tagPos);
            result = LoadTagFromStream(S);
        }
        FWasUnsynchronised = FWasUnsynchronised || Unsynchronised;
        if (AutoRemoveUnsynchronisation) RemoveUnsynchronisationOnAllFrames();
        if (FSourceFileType == sftUnknown && ParseAudioAttributes) {
            int64_t audioStart = Loaded && FPosition == p0 ? p0 + FSize : p0;
            S.Seek(audioStart);
            FMPEG = TMPEGStreamInfo{};
            if (!StartsWithOtherAudio(S, audioStart) && ScanMPEGAudio(S, audioStart, MPEGSearchLength, FMPEG) &&
                FMPEG.Found)
                FSourceFileType = sftMPEG;
        }
        return result;
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
}

int TID3v2Tag::LoadTagFromStream(TStream& S) {
    uint8_t h[10];
    const int64_t start = S.Position();
    if (S.ReadZeroFilled(h, 10) != 10 || std::memcmp(h, "ID3", 3) != 0) return id3v2result::NoTag;
    if (h[3] < 2 || h[3] > 4) return id3v2result::UnsupportedVersion;
    MajorVersion = h[3];
    MinorVersion = h[4];
    Flags = h[5];
    Unsynchronised = Flags & 0x80;
    if (MajorVersion == 2) {
        Compressed = Flags & 0x40;
    } else {
        ExtendedHeader = Flags & 0x40;
        Experimental = Flags & 0x20;
        FooterPresent = Flags & 0x10;
    }
    std::memcpy(FCodedSize.data(), h + 6, 4);
    FSize = DecodeSyncSafe(h + 6) + 10;
    FPosition = start;

    // The stored size is checked against what the stream holds before the
    // body is read; a tag that claims more than remains is read as far as it goes.
    std::vector<uint8_t> body = S.ReadBytes(std::min<int64_t>(FSize - 10, S.Remaining()));
    std::vector<uint8_t> raw;
    if (Unsynchronised && MajorVersion < 4) {
        // 2.2 / 2.3: the tag was unsynchronised as a whole after it was built,
        // so frame sizes count the bytes without the inserted zeros.
        raw = body;
        body = id3v2::RemoveUnsync(body);
        FWasUnsynchronised = true;
    }
    TByteReader r(body);
    try {
        if (ExtendedHeader && r.remaining() >= 4) {
            TID3v2FrameID id{body[0], body[1], body[2], body[3]};
            if (ValidID3v2FrameID(id, MajorVersion)) {
                ExtendedHeader = false;  // the flag lied: these are frames
            } else if (MajorVersion == 3) {
                auto& x = *FExtendedHeader3;
                std::memcpy(x.CodedSize.data(), r.current(), 4);
                x.Size = r.u32be();
                if (x.Size < 2) throw ETagFormat("extended header too small");
                x.Flags = r.u16be();
                x.CRCPresent = x.Flags & 0x8000;
                x.Data = r.vec(x.Size - 2);
            } else {
                auto& x = *FExtendedHeader4;
                std::memcpy(x.CodedSize.data(), r.current(), 4);
                x.Size = r.syncsafe32();
                if (x.Size < 6) throw ETagFormat("extended header too small");
                x.FlagBytes = r.u8();
                x.Flags = r.u8();
                x.TagIsAnUpdate = x.Flags & 0x40;
                x.CRCPresent = x.Flags & 0x20;
                x.TagRestrictions = x.Flags & 0x10;
                x.ExtendedFlagsDataSize = x.Size - 6;
                x.ExtendedFlagsData = r.vec(x.ExtendedFlagsDataSize);
            }
        }
    } catch (const ETagFormat&) {
        return id3v2result::Failure;
    }
    id3v2::ReadFrames(r, *this, MajorVersion, Unsynchronised && MajorVersion == 4, 0);
    auto endsCleanly = [](const TByteReader& R) {
        return std::all_of(R.current(), R.data() + R.size(), [](uint8_t b) { return b == 0; });
    };
    if (!raw.empty() && !ExtendedHeader && (FError || !endsCleanly(r))) {
        // Some writers unsynchronised each frame on its own, their sizes counting
        // the inserted zeros. When that reading ends cleanly and the standard one
        // did not, it is the right one.
        TID3v2Frames alt(this);
        TByteReader rr(raw);
        const bool error = FError;
        FError = false;
        id3v2::ReadFrames(rr, alt, MajorVersion, true, 0);
        if (!FError && endsCleanly(rr)) {
            Frames = std::move(alt.Frames);
            for (auto& f : Frames) f->Parent = this;
        } else {
            FError = error;
        }
    }
    if (MajorVersion < 4) Unsynchronised = false;  // removed above, or per frame
    Loaded = true;
    S.Seek(start + std::min<int64_t>(FSize, S.Size() - start));
    return id3v2result::Success;
}
