// Helpers that every native-format mapping shares: number/total pairs, the
// four-digit year, multi-value lines, picture names and the MIME fallback.
// Each format's mapping file uses these instead of its own copy, so the rules
// (what "4/10" means, which picture is the record's cover) are the same for
// every format.
#pragma once

#include <string>
#include <vector>

class TTags;
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
// file with a total of 12 means 4 of 10, never "4/10/12".
TNumberTotal NumberAndTotal(const TTags& Tags, bool Track);

// The first run of four digits in Value, or "" when there is none.
std::string FourDigitYear(const std::string& Value);
// The date to store when the user's Year field is Year and the format holds
// Stored: a stored full date that already starts with that year stays whole;
// otherwise the year itself ("" clears).
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
