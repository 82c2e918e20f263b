#include "tags/ogg/opus_tag.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/ogg/ogg_pages.h"
#include "tags/region_edit.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

struct TMagic {
    TOggFormat Format;
    std::string_view Id, Comment;
    size_t HeaderPackets;  // identification, comment, and what follows up to the audio
};
constexpr TMagic Magics[] = {
    {ofOpus, "OpusHead", "OpusTags", 2},
    {ofVorbis, "\x01vorbis", "\x03vorbis", 3},
    {ofTheora, "\x80theora", "\x81theora", 3},
};

const TMagic* MagicOf(std::span<const uint8_t> FirstPacket) {
    for (const auto& m : Magics)
        if (FirstPacket.size() >= m.Id.size() && std::memcmp(FirstPacket.data(), m.Id.data(), m.Id.size()) == 0)
            return &m;
    return nullptr;
}

// The header packets of the stream that begins at the first page.
struct THeader {
    const TMagic* Magic = nullptr;
    int64_t Prefix = 0;
    uint32_t Serial = 0;
    uint32_t FirstSequence = 0;
    int64_t FirstPageSize = 0;
    ogg::TPackets Packets;
    vorbis::TCommentBody Body;
    std::vector<uint8_t> Trailing;  // behind the comment list (Opus: data to keep, if marked)
    int64_t Padding = 0;            // bytes behind the comment list that are no data
};

// Layout of the comment packet: magic, comment body, then Vorbis: framing
// byte 1 and zero padding; Opus: padding or data (kept when the lowest bit
// of its first byte is set); Theora: nothing.
int ReadHeader(TStream& S, THeader& H) {
    H.Prefix = ID3v2PrefixSize(S);
    ogg::TPage first;
    if (!ogg::ReadPage(S, H.Prefix, first)) return oggresult::Failure;
    H.Serial = first.Serial;
    H.FirstSequence = first.Sequence;
    H.FirstPageSize = first.Size();
    H.Magic = MagicOf(first.Body());
    if (!H.Magic) return oggresult::Failure;
    if (!ogg::ReadPackets(S, H.Prefix, H.Serial, H.Magic->HeaderPackets, H.Packets) || H.Packets.BadChecksum)
        return oggresult::BadHeader;
    const std::vector<uint8_t>& c = H.Packets.Packets[1];
    if (c.size() < H.Magic->Comment.size() || std::memcmp(c.data(), H.Magic->Comment.data(), H.Magic->Comment.size()))
        return oggresult::BadHeader;
    try {
        TByteReader r(c);
        r.skip(H.Magic->Comment.size());
        vorbis::ParseCommentBody(r, H.Body, true);
        if (H.Magic->Format == ofOpus) {
            if (!r.atEnd() && (r.current()[0] & 1))
                H.Trailing.assign(r.current(), r.current() + r.remaining());
            else
                H.Padding = (int64_t)r.remaining();
        } else if (H.Magic->Format == ofVorbis) {
            if (r.atEnd() || r.u8() != 1) return oggresult::BadHeader;
            H.Padding = (int64_t)r.remaining();
        }
    } catch (const ETagFormat&) {
        return oggresult::BadHeader;
    }
    // Pictures are decoded once, here; a picture field that does not decode
    // (an old-style COVERART field with bare image data, a damaged block) is
    // kept as it is and not shown.
    for (auto& f : H.Body.Comments) {
        if (f.Format != vcfCoverArt) continue;
        f.PictureBlock = vorbis::Base64Decode(f.Value);
        vorbis::TPictureInfo info;
        std::span<const uint8_t> data;
        if (!vorbis::ParsePictureBlock(f.PictureBlock, info, data)) {
            f.PictureBlock.clear();
            f.Format = vcfBinary;
        }
    }
    return oggresult::Success;
}

uint32_t Le32(const std::vector<uint8_t>& B, size_t At) {
    return B.size() < At + 4
               ? 0
               : (uint32_t)B[At] | (uint32_t)B[At + 1] << 8 | (uint32_t)B[At + 2] << 16 | (uint32_t)B[At + 3] << 24;
}

bool AllZero(const uint8_t* P, size_t N) {
    return std::all_of(P, P + N, [](uint8_t b) { return b == 0; });
}

}  // namespace

TOpusTag::TOpusTag() : Padding(TagLibraryDefaults().Padding), ParsePlayTime(TagLibraryDefaults().OggParsePlayTime) {
    Frames.reserve(256);
}

void TOpusTag::Clear() {
    SourceFileName.clear();
    Loaded = false;
    VendorString.clear();
    Frames.clear();
    Format = ofUnknown;
    Info = TInfo();
}

bool TOpusTag::Assign(const TOpusTag& Source) {
    if (&Source == this) return true;
    Clear();
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    VendorString = Source.VendorString;
    Frames = Source.Frames;
    Format = Source.Format;
    Info = Source.Info;
    return true;
}

// ---- reading -------------------------------------------------------------------------

int TOpusTag::Load(TStream& S) {
    Clear();
    Info.FileSize = S.Size();
    if (Info.FileSize <= 0) return oggresult::Failure;
    THeader h;
    const int r = ReadHeader(S, h);
    if (r != oggresult::Success) return r;
    Format = h.Magic->Format;
    VendorString = std::move(h.Body.Vendor);
    Frames = std::move(h.Body.Comments);
    const std::vector<uint8_t>& id = h.Packets.Packets[0];
    Info.ID3v2Size = h.Prefix;
    Info.Serial = h.Serial;
    Info.SPagePos = h.Prefix + h.FirstPageSize;
    Info.TagEndPos = h.Packets.End;
    if (Format == ofOpus && id.size() >= 19) {
        Info.Channels = id[9];
        Info.PreSkip = (uint16_t)(id[10] | id[11] << 8);
        Info.SampleRate = Le32(id, 12);
    } else if (Format == ofVorbis && id.size() >= 30) {
        Info.Channels = id[11];
        Info.SampleRate = Le32(id, 12);
        Info.BitRateNominal = Le32(id, 20);
    }
    if (ParsePlayTime && (Format == ofOpus || Format == ofVorbis)) {
        const uint64_t g = ogg::LastGranule(S, h.Serial);
        if (g != ogg::NoGranule) Info.SampleCount = g;
        if (Format == ofOpus) {
            // Opus counts at 48 kHz from the start of the pre-skip.
            if (Info.SampleCount > Info.PreSkip) Info.PlayTime = double(Info.SampleCount - Info.PreSkip) / 48000.0;
        } else if (Info.SampleCount > 0 && Info.SampleRate > 0) {
            Info.PlayTime = double(Info.SampleCount) / Info.SampleRate;
        } else if (Info.BitRateNominal > 0) {
            Info.PlayTime = double(Info.FileSize - Info.ID3v2Size) * 8.0 / Info.BitRateNominal;
        }
        if (Format == ofVorbis && Info.BitRateNominal > 0)
            Info.BitRate = Info.BitRateNominal / 1000;
        else if (Info.PlayTime > 0)
            Info.BitRate = (uint32_t)std::nearbyint(double(Info.FileSize - Info.TagEndPos) / Info.PlayTime / 125.0);
    }
    Loaded = true;
    return oggresult::Success;
}

int TOpusTag::LoadFromStream(TStream& Stream) {
    const int64_t saved = Stream.Position();
    int r;
    try {
        r = Load(Stream);
    } catch (const ETagFormat&) {
        r = oggresult::Failure;
    }
    if (r != oggresult::Success) Loaded = false;
    Stream.Seek(saved);
    return r;
}

int TOpusTag::LoadFromFile(const std::string& FileName) {
    Clear();
    if (!fileutil::FileExists(FileName)) return oggresult::CannotOpen;
    auto f = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!f) return oggresult::CannotOpen;
    return LoadFromOpenFile(*f, FileName);
}

int TOpusTag::LoadFromOpenFile(TStream& File, const std::string& FileName) {
    Clear();
    TBufferedStream b(File);
    const int r = LoadFromStream(b);
    if (r == oggresult::Success) SourceFileName = FileName;
    return r;
}

// ---- writing ------------------------------------------------------------------------

int TOpusTag::Save(TStream* Target, const std::string& FileName) {
    std::unique_ptr<TFileStream> file;
    if (!Target) {
        if (!fileutil::FileExists(FileName)) return oggresult::CannotOpen;
        if (fileutil::IsReadOnly(FileName)) return oggresult::ReadOnly;
        file = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!file) return oggresult::CannotOpen;
    }
    TStream& src = Target ? *Target : *file;
    THeader h;
    if (ReadHeader(src, h) != oggresult::Success) return oggresult::NoCommentHeader;
    const ogg::TPackets& P = h.Packets;
    // The comment header must begin a page of its own and the header packets
    // must end a page, with no other stream's pages among them: otherwise the
    // pages cannot be replaced without touching audio.
    if (P.OtherStreamInside || !P.StartsPage[1] || !P.EndsOnPageEnd) return oggresult::NoCommentHeader;
    const int64_t regionStart = h.Prefix + h.FirstPageSize;
    const int64_t oldSize = P.End - regionStart;
    const int oldPages = P.Pages - 1;
    if (oldPages < 1) return oggresult::NoCommentHeader;

    const TOggFormat format = h.Magic->Format;
    std::string vendor = !h.Body.Vendor.empty() ? h.Body.Vendor : VendorString;
    if (vendor.empty()) vendor = "Unknown vendor";
    std::vector<uint8_t> packet(h.Magic->Comment.begin(), h.Magic->Comment.end());
    const std::vector<uint8_t> body = vorbis::BuildCommentBody(vendor, Frames, UpperCaseFieldNamesToWrite);
    packet.insert(packet.end(), body.begin(), body.end());
    if (format == ofVorbis) packet.push_back(1);
    packet.insert(packet.end(), h.Trailing.begin(), h.Trailing.end());
    // Zero bytes behind the comment list are padding in Vorbis and Opus.
    const bool mayPad = (format == ofVorbis || format == ofOpus) && h.Trailing.empty();

    const std::vector<uint8_t>& oldPacket = P.Packets[1];
    if (oldPacket.size() >= packet.size() && std::equal(packet.begin(), packet.end(), oldPacket.begin()) &&
        (oldPacket.size() == packet.size() ||
         (mayPad && AllZero(oldPacket.data() + packet.size(), oldPacket.size() - packet.size()))))
        return oggresult::Success;  // nothing changed

    std::vector<int64_t> lengths;
    for (size_t i = 1; i < P.Packets.size(); ++i) lengths.push_back((int64_t)P.Packets[i].size());
    lengths[0] = (int64_t)packet.size();
    // In place: the old number of pages and the old size, padding making up
    // the difference where the format and the padding rule allow it.
    const int64_t fileSize = src.Size();
    int64_t padding = -1;
    int pages = oldPages;
    for (int64_t p = 0; p <= (mayPad ? oldSize : 0) && padding::MayKeep(p, h.Padding, fileSize); ++p) {
        lengths[0] = (int64_t)packet.size() + p;
        const int64_t sz = ogg::PackedSize(lengths, oldPages);
        if (sz > oldSize) break;
        if (sz == oldSize) {
            padding = p;
            break;
        }
    }
    const size_t contentSize = packet.size();
    const uint32_t firstSequence = h.FirstSequence + 1;
    auto pack = [&] {
        packet.resize(contentSize + (size_t)padding, 0);
        std::vector<std::span<const uint8_t>> spans = {packet};
        for (size_t i = 2; i < P.Packets.size(); ++i) spans.emplace_back(P.Packets[i]);
        return ogg::PackPackets(spans, h.Serial, firstSequence, 0, pages);
    };
    std::vector<uint8_t> region;
    if (padding >= 0) region = pack();
    if (region.empty()) {
        padding = mayPad ? Padding.ToWrite(fileSize) : 0;
        lengths[0] = (int64_t)contentSize + padding;
        pages = ogg::MinimumPages(lengths);
        region = pack();
    }
    if (region.empty()) return oggresult::Failure;
    const int64_t delta = (int64_t)region.size() - oldSize;

    if (src.Seek(regionStart) != regionStart) return oggresult::Failure;
    const std::vector<uint8_t> oldBytes = src.ReadBytes(oldSize);
    if ((int64_t)oldBytes.size() != oldSize) return oggresult::Failure;
    TFileEdit edit = regionedit::Narrowed(regionStart, oldBytes, region);
    // The stream's later pages need new numbers only when the count changed.
    if (P.LastSequence + 1 != firstSequence + (uint32_t)pages)
        ogg::RenumberPatches(src, P.End, h.Serial, firstSequence + (uint32_t)pages, delta, edit.Patches);
    file.reset();

    const auto modTime = Target ? std::nullopt : fileutil::GetModTime(FileName);
    switch (regionedit::Apply(Target, FileName, edit)) {
        case TEditResult::Success: break;
        case TEditResult::OpenFailed: return delta != 0 ? oggresult::CannotRewrite : oggresult::CannotOpen;
        case TEditResult::WriteFailed: return oggresult::WriteFailed;
        default: return oggresult::Failure;
    }
    if (Target) Target->Seek(0);
    if (!Target && PreserveFileDateTime && modTime) fileutil::SetModTime(FileName, *modTime);
    return oggresult::Success;
}

int TOpusTag::SaveToStream(TStream& Stream) {
    try {
        return Save(&Stream, std::string());
    } catch (const ETagFormat&) {
        return oggresult::Failure;
    }
}

int TOpusTag::SaveToFile(const std::string& FileName) {
    try {
        return Save(nullptr, FileName);
    } catch (const ETagFormat&) {
        return oggresult::Failure;
    }
}

// ---- fields -----------------------------------------------------------------------------

TOpusTagFrame& TOpusTag::AddFrame(const std::string& Name) {
    TOpusTagFrame& f = Frames.Add({});
    f.Name = Name;
    return f;
}

int TOpusTag::AddTextFrame(const std::string& Name, const std::string& Text) {
    AddFrame(Name).SetText(Text);
    return Count() - 1;
}

std::string TOpusTag::GetText(const std::string& Name) {
    const int i = FrameExists(Name);
    return i < 0 ? std::string() : Frames[i].GetText();
}

void TOpusTag::SetText(const std::string& Name, const std::string& Text) {
    const int i = FrameExists(Name);
    if (i >= 0) {
        if (Text.empty())
            DeleteFrame(i);
        else
            Frames[i].SetText(Text);
    } else if (!Text.empty()) {
        AddTextFrame(Name, Text);
    }
}

int TOpusTag::CoverArtCount() const {
    return (int)std::count_if(Frames.begin(), Frames.end(), [](const auto& f) { return f.Format == vcfCoverArt; });
}

void TOpusTag::DeleteAllCoverArts() {
    Frames.EraseIf([](const auto& f) { return f.Format == vcfCoverArt; });
}

int TOpusTag::AddCoverArtFrame(const vorbis::TPictureInfo& Info, std::span<const uint8_t> Data) {
    vorbis::TPictureInfo i = Info;
    std::transform(i.MIMEType.begin(), i.MIMEType.end(), i.MIMEType.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; });
    TOpusTagFrame& f = AddFrame("METADATA_BLOCK_PICTURE");
    f.PictureBlock = vorbis::BuildPictureBlock(i, Data);
    f.Value = vorbis::Base64Encode(f.PictureBlock);
    f.Format = vcfCoverArt;
    return Count() - 1;
}

bool TOpusTag::GetCoverArtFromFrame(int Index, vorbis::TPictureInfo& Info, std::vector<uint8_t>& Data) const {
    if (Index < 0 || Index >= Count() || Frames[Index].Format != vcfCoverArt) return false;
    const TOpusTagFrame& f = Frames[Index];
    std::vector<uint8_t> decoded;
    const std::vector<uint8_t>& block =
        f.PictureBlock.empty() ? (decoded = vorbis::Base64Decode(f.Value)) : f.PictureBlock;
    std::span<const uint8_t> data;
    if (!vorbis::ParsePictureBlock(block, Info, data)) return false;
    Data.assign(data.begin(), data.end());
    return true;
}

// ---- stand-alone -------------------------------------------------------------------------------

int RemoveOggTagFromFile(const std::string& FileName, uint32_t PaddingSize, bool PreserveDateTime) {
    TOpusTag t;
    if (t.LoadFromFile(FileName) != oggresult::Success) return oggresult::Failure;
    t.Frames.EraseIf([&](const TOpusTagFrame& f) { return !t.Frames.Named(f, "ENCODER"); });
    t.Padding = TPaddingOption::Exactly(PaddingSize);
    t.PreserveFileDateTime = PreserveDateTime;
    return t.SaveToFile(FileName);
}

int DetectOggStreamFormat(TStream& Stream, int64_t Offset) {
    ogg::TPage page;
    if (!ogg::ReadPage(Stream, Offset, page)) return 0;
    const TMagic* m = MagicOf(page.Body());
    if (!m) return 0;
    switch (m->Format) {
        case ofOpus: return audioformat::Opus;
        case ofVorbis: return audioformat::Vorbis;
        case ofTheora: return audioformat::Theora;
        default: return 0;
    }
}
