// Helpers that every native-format mapping shares: number/total pairs, the
// four-digit year, multi-value lines, picture names and the MIME fallback.
// Each format's mapping file uses these instead of its own copy, so the rules
// (what "4/10" means, which picture is the record's cover) are the same for
// every format.
#pragma once

#include <array>
#include <string>
#include <vector>

class TTags;
class TTag;
class TCoverArt;

namespace mapping {

// A track or disc number with its total.
struct TNumberTotal {
    std::string Number;
    std::string Total;
};

// "4/10" -> {"4", "10"}; "4" -> {"4", ""}; "/10" -> {"", "10"}. Both parts trimmed.
TNumberTotal SplitNumberTotal(const std::string& Value);
// {"4", "10"} -> "4/10"; {"4", ""} -> "4"; {"", "10"} -> "" (a total alone is not written).
std::string JoinNumberTotal(const TNumberTotal& Pair);

// The number and total the container holds for tracks (Track = true) or discs:
// TRACKNUMBER (or TRACK) with TOTALTRACKS (or TRACKTOTAL). A number typed as
// "n/m" gives both parts and wins over a separate total entry, so "4/10" on a
// file with a total of 12 means 4 of 10, never "4/10/12". Of several total
// entries, the first that came with the number (not from a user-defined
// text frame) counts.
TNumberTotal NumberAndTotal(const TTags& Tags, bool Track);
// A number typed as "n/m" becomes number n with total m in the container:
// the number entry is cut to n and the total entry NumberAndTotal reads
// (added when there is none) gets m. Nothing changes for a plain number.
void SplitTypedNumberTotal(TTags& Tags, bool Track);
// The names that hold the total beside the number (TOTALTRACKS / TRACKTOTAL,
// TOTALDISCS / DISCTOTAL), and the number names (TRACKNUMBER / TRACK ...).
bool IsTotalName(const std::string& Name, bool Track);
bool IsNumberName(const std::string& Name, bool Track);
// Those names, the long form first: {"TRACKNUMBER", "TRACK"}, {"TOTALTRACKS",
// "TRACKTOTAL"} (discs alike). A number with its total written new goes
// under the long forms.
std::array<const char*, 2> NumberNames(bool Track);
std::array<const char*, 2> TotalNames(bool Track);

// The first entry of Name without a description: the user's comment or
// lyrics, never a player's described one (loudness, gapless figures).
const TTag* PlainEntry(const TTags& Tags, const std::string& Name);

// The first run of four digits in Value, or "" when there is none.
std::string FourDigitYear(const std::string& Value);
// The date to store when the user's Year field is Year and the format holds
// Stored: a stored full date that already starts with that year stays whole;
// a full date typed as the year (starting with four digits) is kept as typed;
// otherwise the year's four digits ("" clears, as does text without them).
std::string YearIntoDate(const std::string& Stored, const std::string& Year);

// Multi-value text: values are joined with CR LF in the container.
std::string JoinLines(const std::vector<std::string>& Lines);
// Splits on CR LF, CR or LF; "" gives one empty line.
std::vector<std::string> SplitLines(const std::string& Text);

// "Cover art N", 1-based.
std::string CoverArtName(int N);
// The name the container's next picture gets: "Cover art <count + 1>".
std::string NextCoverArtName(const TTags& Tags);

// The MIME type of a picture: its own, else one recognised from its bytes,
// else "image/jpeg".
std::string PictureMIMEType(const TCoverArt& Picture);

// The picture that stands for the file's front cover in the one-cover record:
// the one named "Cover art 1", else the first front cover (type 3), else the
// first picture; null when there is none.
TCoverArt* RecordCover(const TTags& Tags);

// The picture type a picture without a known type gets when it is written:
// a new picture is the front cover.
inline constexpr unsigned FrontCoverType = 3;

}  // namespace mapping
