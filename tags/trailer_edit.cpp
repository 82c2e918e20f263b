#include "tags/trailer_edit.h"

#include <optional>
#include <string_view>

#include "tags/byte_io.h"
#include "tags/riff/riff_chunks.h"

namespace {

constexpr std::string_view ID3v1Magic = "TAG";
constexpr std::string_view APEv2Magic = "APETAGEX";
constexpr std::string_view LyricsBegin = "LYRICSBEGIN";
constexpr std::string_view LyricsEnd = "LYRICS200";
constexpr int64_t LyricsTrailerSize = 15;  // 6 digits + "LYRICS200"

// A fixed-width decimal field of ASCII digits only; nullopt for anything
// else, so a damaged size never turns into a position.
std::optional<int64_t> ParseDigits(std::span<const uint8_t> Bytes) {
    int64_t Value = 0;
    for (uint8_t B : Bytes) {
        if (B < '0' || B > '9') return std::nullopt;
        Value = Value * 10 + (B - '0');
    }
    return Value;
}

// The APEv2 tag whose footer ends at End: its start, or nothing. The size
// field counts items and footer; it must be at least the footer and, with
// the header the flags announce, keep the tag inside the stream. A header
// announced but not there is not counted: its bytes stay with the audio.
bool FindAPEv2EndingAt(TStream& S, int64_t End, TTrailerLayout& L) {
    if (End < trailer::APEv2FooterSize) return false;
    const int64_t FooterPos = End - trailer::APEv2FooterSize;
    TStreamBytes F = ReadAt(S, FooterPos, trailer::APEv2FooterSize);
    if (!F.has(trailer::APEv2FooterSize) || !F.startsWith(APEv2Magic)) return false;
    F.skip(12);
    const uint32_t Size = F.u32le();
    F.u32le();  // item count
    const uint32_t Flags = F.u32le();
    if (Size < trailer::APEv2FooterSize || int64_t(Size) > End) return false;
    int64_t Start = End - int64_t(Size);
    bool HasHeader = false;
    if ((Flags & trailer::APEv2HasHeaderFlag) && Start >= trailer::APEv2FooterSize) {
        HasHeader = ReadAt(S, Start - trailer::APEv2FooterSize, 8).startsWith(APEv2Magic);
        if (HasHeader) Start -= trailer::APEv2FooterSize;
    }
    L.Members[int(TTrailerKind::APEv2)] = {Start, End - Start};
    L.APEv2FooterPos = FooterPos;
    L.APEv2HasHeader = HasHeader;
    return true;
}

}  // namespace

int64_t FindLyrics3BlockEndingAt(TStream& S, int64_t End) {
    try {
        if (End < LyricsTrailerSize + int64_t(LyricsBegin.size()) || End > S.Size()) return -1;
        TStreamBytes T = ReadAt(S, End - LyricsTrailerSize, LyricsTrailerSize);
        if (!T.has(LyricsTrailerSize)) return -1;
        auto N = ParseDigits(T.bytes(6));
        if (!T.startsWith(LyricsEnd)) return -1;
        if (!N || *N < int64_t(LyricsBegin.size()) || *N > End - LyricsTrailerSize) return -1;
        const int64_t Start = End - LyricsTrailerSize - *N;
        if (!ReadAt(S, Start, int64_t(LyricsBegin.size())).startsWith(LyricsBegin)) return -1;
        return Start;
    } catch (const ETagFormat&) {
        return -1;
    }
}

int64_t TTrailerLayout::PosOf(TTrailerKind Kind) const {
    // A member's place: its own start, else the start of the first present
    // member after it, else the end of the stream.
    for (int K = int(Kind); K < TrailerKindCount; ++K)
        if (Members[K].Present()) return Members[K].Pos;
    return StreamSize;
}

TTrailerLayout FindTrailer(TStream& S) {
    TTrailerLayout L;
    try {
        L.StreamSize = S.Size();
        int64_t End = L.StreamSize;
        // An APEv2 tag that ends the file has nothing behind it, even when
        // its items happen to hold "TAG" 128 bytes before the end.
        if (FindAPEv2EndingAt(S, End, L)) {
            L.Start = L.APEv2().Pos;
            return L;
        }
        if (End >= trailer::ID3v1Size && ReadAt(S, End - trailer::ID3v1Size, 3).startsWith(ID3v1Magic)) {
            End -= trailer::ID3v1Size;
            L.Members[int(TTrailerKind::ID3v1)] = {End, trailer::ID3v1Size};
        }
        if (int64_t Start = FindLyrics3BlockEndingAt(S, End); Start >= 0) {
            L.Members[int(TTrailerKind::Lyrics3)] = {Start, End - Start};
            End = Start;
        }
        if (FindAPEv2EndingAt(S, End, L)) End = L.APEv2().Pos;
        L.Start = End;
    } catch (const ETagFormat&) {
        L = TTrailerLayout();
        L.StreamSize = L.Start = S.Size();
    }
    return L;
}

bool PlanTrailerEdit(TStream& S, const TTrailerLayout& L, const TTrailerChange& Change, TFileEdit& Edit) {
    // The edit runs from the first member that changes to the end of the
    // stream; the members after it that do not change are copied as they are.
    int First = -1;
    for (int K = 0; K < TrailerKindCount && First < 0; ++K) {
        if (!Change.Bytes[K]) continue;
        const bool Removing = Change.Bytes[K]->empty();
        if (Removing && !L.Members[K].Present()) continue;
        First = K;
    }
    if (First < 0) return false;
    Edit = TFileEdit();
    Edit.Pos = L.PosOf(TTrailerKind(First));
    Edit.OldLen = L.StreamSize - Edit.Pos;
    for (int K = First; K < TrailerKindCount; ++K) {
        if (Change.Bytes[K]) {
            Edit.Bytes.insert(Edit.Bytes.end(), Change.Bytes[K]->begin(), Change.Bytes[K]->end());
        } else if (L.Members[K].Present()) {
            TStreamBytes Kept = ReadAt(S, L.Members[K].Pos, L.Members[K].Size);
            if (int64_t(Kept.size()) != L.Members[K].Size) throw ETagFormat("trailer member cannot be read");
            Edit.Bytes.insert(Edit.Bytes.end(), Kept.Bytes().begin(), Kept.Bytes().end());
        }
    }
    return true;
}

TEditResult ReplaceTrailerMembers(TStream& S, const TTrailerChange& Change, bool Flush) {
    try {
        const TTrailerLayout L = FindTrailer(S);
        TFileEdit Edit;
        if (!PlanTrailerEdit(S, L, Change, Edit)) return TEditResult::Success;
        // A member written again with the bytes it has is no change at all.
        if (Edit.OldLen == int64_t(Edit.Bytes.size()) && ReadAt(S, Edit.Pos, Edit.OldLen).Bytes() == Edit.Bytes)
            return TEditResult::Success;
        return ApplyEditToStream(S, Edit, Flush);
    } catch (const ETagFormat&) {
        return TEditResult::WriteFailed;
    }
}

TEditResult ReplaceTrailerMembersInFile(const std::string& FileName, const TTrailerChange& Change, bool) {
    // The tail is edited in place, through the file's save transaction: a
    // process killed halfway, or a disk that fills up, leaves the old
    // trailer or the new one, never a torn tag, and the audio in front of
    // it is neither read nor written.
    TFileEdit Edit;
    {
        auto F = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
        if (!F) return TEditResult::OpenFailed;
        try {
            const TTrailerLayout L = FindTrailer(*F);
            if (!PlanTrailerEdit(*F, L, Change, Edit)) return TEditResult::Success;
        } catch (const ETagFormat&) {
            return TEditResult::WriteFailed;
        }
    }
    return ApplyEditToFile(FileName, Edit);
}

TEditResult ReplaceTrailerMember(TStream& S, TTrailerKind Kind, const std::vector<uint8_t>& NewBytes, bool Flush) {
    return ReplaceTrailerMembers(S, TTrailerChange().Set(Kind, NewBytes), Flush);
}

TEditResult ReplaceTrailerMemberInFile(const std::string& FileName, TTrailerKind Kind,
                                       const std::vector<uint8_t>& NewBytes, bool Flush) {
    return ReplaceTrailerMembersInFile(FileName, TTrailerChange().Set(Kind, NewBytes), Flush);
}
