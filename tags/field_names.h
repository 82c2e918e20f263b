// The unified field names the mappings share: a native tag's frames, items,
// atoms and chunks are read into entries under these names and written back
// from them. One spelling, here; the mappings and the application name a
// field through these constants.
#pragma once

namespace fieldname {

inline constexpr char Title[] = "TITLE";
inline constexpr char Artist[] = "ARTIST";
inline constexpr char Album[] = "ALBUM";
inline constexpr char AlbumArtist[] = "ALBUMARTIST";
inline constexpr char Year[] = "YEAR";
inline constexpr char Date[] = "DATE";
inline constexpr char TrackNumber[] = "TRACKNUMBER";
inline constexpr char TotalTracks[] = "TOTALTRACKS";
inline constexpr char DiscNumber[] = "DISCNUMBER";
inline constexpr char TotalDiscs[] = "TOTALDISCS";
inline constexpr char Genre[] = "GENRE";
inline constexpr char Comment[] = "COMMENT";
inline constexpr char Bpm[] = "BPM";
inline constexpr char Composer[] = "COMPOSER";
inline constexpr char OriginalArtist[] = "ORIGINALARTIST";
inline constexpr char Copyright[] = "COPYRIGHT";
inline constexpr char Url[] = "URL";
inline constexpr char EncodedBy[] = "ENCODEDBY";
inline constexpr char Lyrics[] = "LYRICS";
inline constexpr char Publisher[] = "PUBLISHER";
inline constexpr char Rating[] = "RATING";

}  // namespace fieldname
