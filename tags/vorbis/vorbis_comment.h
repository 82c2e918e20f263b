// The Vorbis-comment codec shared by the four carriers (native FLAC, Ogg
// FLAC, Ogg Vorbis, Opus): one comment entry, the comment body (vendor and
// NAME=value list), the FLAC picture block that pictures travel in (as a
// PICTURE metadata block, or Base64 inside a METADATA_BLOCK_PICTURE comment),
// and Base64.
//
// Every length read from a body is checked against the bytes that remain in
// it before anything is allocated; a short body raises ETagFormat, which the
// calling reader catches in its own scope.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tags/byte_io.h"

// How a comment's value is held: text (UTF-8), a picture (Base64 of a
// picture block, Ogg only), or other binary data kept as it was read.
enum TVorbisCommentFormat : int32_t { vcfUnknown, vcfText, vcfCoverArt, vcfBinary };

// One NAME=value comment. Value holds the bytes after the first "=" exactly
// as stored (UTF-8 text, or Base64 for pictures).
class TVorbisComment {
public:
    std::string Name;
    // The name as the file spells it, when that differs from Name (names
    // read from a file are upper-cased). A comment written back under its
    // own name keeps the file's spelling, so that a save changes only what
    // was edited.
    std::string StoredName;
    TVorbisCommentFormat Format = vcfUnknown;
    std::string Value;
    bool AlreadyParsed = false;
    // A picture comment's decoded picture block, kept by the reader so that
    // the Base64 text is decoded once.
    std::vector<uint8_t> PictureBlock;

    // The value as text; empty unless the comment is text. With
    // ControlToSpace every byte below 0x20 other than CR and LF reads as a space.
    std::string GetText(bool ControlToSpace = false);
    void SetText(const std::string& Text);
    // name=value pairs <-> "name CR LF value CR LF ..." (involved-people lists).
    void SetList(const std::vector<std::string>& List);
    bool GetList(std::vector<std::string>& List);
};

namespace vorbis {

// Lengths inside a comment body are 32-bit; nothing read may exceed what the
// body holds, and no body we write may exceed what a FLAC block can declare.
inline constexpr uint32_t MaxFlacBlockLength = 0xFFFFFF;

// What a comment body holds besides its entries.
struct TCommentBody {
    std::string Vendor;
    uint32_t DeclaredCount = 0;
    std::vector<TVorbisComment> Comments;
};

// Reads vendor length, vendor, count and the entries from R, stopping after
// the last entry. Entries of length 0 and entries without "=" are dropped;
// names are upper-cased. Raises ETagFormat when a length runs past R's end.
// Comments named in PictureNames get vcfCoverArt, all others vcfText.
void ParseCommentBody(TByteReader& R, TCommentBody& Out, bool PicturesAsCoverArt);

// The body bytes: vendor length, vendor, count, then every comment with a
// non-empty value ("NAME=value"; a comment's stored spelling when it has
// one, otherwise its name, upper-cased when UpperCaseNames).
std::vector<uint8_t> BuildCommentBody(const std::string& Vendor, const std::vector<TVorbisComment>& Comments,
                                      bool UpperCaseNames);

// The fields of a FLAC picture block (integers 32-bit big-endian on disk):
// type, MIME length, MIME, description length, description (UTF-8), width,
// height, colour depth, number of colours, data length, data.
struct TPictureInfo {
    uint32_t PictureType = 0;
    std::string MIMEType;
    std::string Description;
    uint32_t Width = 0, Height = 0, ColorDepth = 0, NoOfColors = 0;
};

// Decodes a picture block; false when a length runs past the block's end.
// Data points into Block.
bool ParsePictureBlock(std::span<const uint8_t> Block, TPictureInfo& Info, std::span<const uint8_t>& Data);
std::vector<uint8_t> BuildPictureBlock(const TPictureInfo& Info, std::span<const uint8_t> Data);

// RFC 4648 Base64 with "=" padding and no line breaks; the decoder skips
// every character outside the alphabet.
std::string Base64Encode(std::span<const uint8_t> Data);
std::vector<uint8_t> Base64Decode(std::string_view Text);

}  // namespace vorbis
