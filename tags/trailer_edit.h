// The tags at the end of a file, and the one way to change them.
//
// Behind the audio of an MPEG, WavPack, Musepack or Monkey's Audio file sit
// up to three tags, always in this order:
//
//   [audio] [APEv2 tag] [Lyrics3 v2.00 block] [ID3v1 block]
//
//   ID3v1    the last 128 bytes, starting with "TAG"
//   Lyrics3  "LYRICSBEGIN" fields "<6-digit size>LYRICS200", ending where
//            the ID3v1 block starts (or at the end of the file)
//   APEv2    [32-byte header] items 32-byte footer, the footer ending where
//            the Lyrics3 block, the ID3v1 block or the file starts/ends.
//            Footer: "APETAGEX" version:u32le size:u32le (items + footer)
//            count:u32le flags:u32le (bit 31: a header precedes) 8 zeros.
//
// FindTrailer reads the trailer from the end backwards; an APEv2 footer
// that ends the file comes first, so that item bytes reading "TAG" 128
// bytes before the end are not taken for an ID3v1 block. A member counts only
// when it is whole: an APEv2 footer whose size is below 32 or reaches before
// the start of the file is no tag, and a Lyrics3 size that is not digits or
// reaches too far is no block; such bytes are left to the audio.
//
// ReplaceTrailerMembers replaces one or more members (or removes them, or
// adds the missing ones in their place in the order) and keeps the others
// byte for byte. The change is one TFileEdit from the first changed member
// to the end of the file. On a stream it is applied in place: the audio
// before it is never written, and a write that fails puts the old bytes
// back. On a file by name, a change that keeps the trailer's length is
// written in place too; one that grows or shrinks it is written as a new
// file renamed over the old, so that a killed process cannot leave a torn
// tag behind.
//
// Typical use by a writer of one member:
//
//   std::vector<uint8_t> Tag = RenderMyTag();
//   TEditResult R = ReplaceTrailerMemberInFile(FileName, TTrailerKind::APEv2, Tag);
//
// and to find where the APEv2 tag sits (even with Lyrics3 and ID3v1 behind
// it), FindTrailer(Stream).APEv2 and .APEv2FooterPos.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tags/file_edit.h"
#include "tags/stream.h"

enum class TTrailerKind { APEv2 = 0, Lyrics3 = 1, ID3v1 = 2 };
inline constexpr int TrailerKindCount = 3;

namespace trailer {
inline constexpr int64_t ID3v1Size = 128;
inline constexpr int64_t APEv2FooterSize = 32;  // the header has the same size
inline constexpr uint32_t APEv2HasHeaderFlag = 0x80000000u;
}  // namespace trailer

// One member found in the trailer: where it starts and how many bytes it
// takes (header, body and footer). Size 0 means it is not there.
struct TTrailerMember {
    int64_t Pos = -1;
    int64_t Size = 0;
    bool Present() const { return Pos >= 0; }
    int64_t End() const { return Pos + Size; }
};

struct TTrailerLayout {
    TTrailerMember Members[TrailerKindCount];
    // Where the APEv2 footer starts, -1 without an APEv2 tag.
    int64_t APEv2FooterPos = -1;
    // Whether the APEv2 tag found has its 32-byte header.
    bool APEv2HasHeader = false;
    // Where the trailer starts (the end of the audio) and the stream's size.
    int64_t Start = 0;
    int64_t StreamSize = 0;

    const TTrailerMember& Member(TTrailerKind Kind) const { return Members[int(Kind)]; }
    const TTrailerMember& APEv2() const { return Member(TTrailerKind::APEv2); }
    const TTrailerMember& Lyrics3() const { return Member(TTrailerKind::Lyrics3); }
    const TTrailerMember& ID3v1() const { return Member(TTrailerKind::ID3v1); }
    // Where a member of Kind starts, or would be put when it is missing.
    int64_t PosOf(TTrailerKind Kind) const;
    // Bytes taken by all members together.
    int64_t Size() const { return StreamSize - Start; }
};

// Reads the trailer of Stream. Never throws; a stream too short for any
// member gives an empty layout.
TTrailerLayout FindTrailer(TStream& Stream);

// Start of the Lyrics3 v2.00 block that ends exactly at End (normally where
// the ID3v1 block begins), or -1 when there is none or its size is damaged.
int64_t FindLyrics3BlockEndingAt(TStream& Stream, int64_t End);

// New bytes for some members: nullopt keeps a member as it is, an empty
// vector removes it, anything else replaces it (or adds it in its place).
struct TTrailerChange {
    std::optional<std::vector<uint8_t>> Bytes[TrailerKindCount];
    TTrailerChange& Set(TTrailerKind Kind, std::vector<uint8_t> NewBytes) {
        Bytes[int(Kind)] = std::move(NewBytes);
        return *this;
    }
    TTrailerChange& Remove(TTrailerKind Kind) { return Set(Kind, {}); }
};

// The edit that makes Change on a stream whose trailer is Layout; false when
// the change changes nothing (every member it names is already as asked).
bool PlanTrailerEdit(TStream& Stream, const TTrailerLayout& Layout, const TTrailerChange& Change, TFileEdit& Edit);

// Applies Change to the stream in place (Flush as in ApplyEditToStream), or to
// the file through its save transaction (ApplyEditToFile: journaled, flushed
// at the commit; Flush is not used). Success when nothing needed changing.
TEditResult ReplaceTrailerMembers(TStream& Stream, const TTrailerChange& Change, bool Flush = true);
TEditResult ReplaceTrailerMembersInFile(const std::string& FileName, const TTrailerChange& Change, bool Flush = true);

// One member: NewBytes replaces it, or removes it when empty.
TEditResult ReplaceTrailerMember(TStream& Stream, TTrailerKind Kind, const std::vector<uint8_t>& NewBytes,
                                 bool Flush = true);
TEditResult ReplaceTrailerMemberInFile(const std::string& FileName, TTrailerKind Kind,
                                       const std::vector<uint8_t>& NewBytes, bool Flush = true);
