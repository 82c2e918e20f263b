// TAudioTag: the flat per-file record the user interface works with.
//
// One record stands for one audio file: the sixteen text fields the editor
// knows, the front picture and the play time. A text field other than Year,
// Track, Disc and BPM holds every value the file keeps for it, one per line
// (CR LF between them): several artists read as several lines, and several
// lines typed into Artist are written as several values (Comment and Lyrics
// are written back as one text with its line breaks). It is a plain value type,
// copied freely between the window's cache, the undo history and the
// commands; the cover bytes are a QByteArray, so copies share one block until
// one of them changes it.
//
// Beside the sixteen fields, a record read from a file carries every entry
// and every picture the file holds (Entries, Pictures): the all-fields and
// pictures views edit those, and a save puts back what changed there, so
// that names the sixteen fields do not show (identifiers, loudness figures,
// a back cover) can be edited too while untouched ones stay as they are.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

#include "app/core/file_stamp.h"

// Kind of file, derived from the extension only; informational. The first
// eight keep their numbers; the later kinds follow them.
enum TAudioFileType : uint8_t {
    aftUnknown,
    aftMP3,
    aftFLAC,
    aftMP4,
    aftWMA,
    aftOGG,
    aftAPE,
    aftWAV,
    aftAIFF,
    aftWV,
    aftMPC,
    aftDSF,
    aftDFF
};
constexpr int AudioFileTypeCount = aftDFF + 1;

// ".mp3" -> aftMP3, ".flac" -> aftFLAC, ".m4a"/".m4b"/".mp4" -> aftMP4,
// ".wma" -> aftWMA, ".ogg"/".oga"/".opus" -> aftOGG, ".ape" -> aftAPE,
// ".wav" -> aftWAV, ".aif"/".aiff"/".aifc" -> aftAIFF, ".wv" -> aftWV (WavPack),
// ".mpc" -> aftMPC (Musepack), ".dsf" -> aftDSF, ".dff" -> aftDFF (extension
// compared after lower-casing); anything else aftUnknown.
TAudioFileType AudioFileTypeFromExtension(const QString& FileName);
// Whether a folder scan offers the file, by its lower-cased extension (from
// the last dot of the name): every audio file the tag library reads.
bool IsScannedAudioFile(const QString& FileName);
// Those extensions, lower case with their dot, in the table's order.
QStringList ScannedAudioExtensions();
// "Unknown", "MP3", "FLAC", "MP4", "WMA", "OGG", "APE", "WAV", "AIFF", "WV",
// "MPC", "DSF", "DFF".
const char* AudioFileTypeName(TAudioFileType Type);

// One entry of the file's merged entry list: a name with one value (a name
// with several values is several entries in a row), as the tag library
// keeps it. Description, Language and ExtType tell apart entries of one name
// (a described comment, a user-defined text frame).
struct TTagEntry {
    QString Name;
    QString Value;
    QString Description;
    QString Language;
    QString SortWith;
    int ExtType = 0;  // the library's TExtTagType
    // The tag kinds of the file that hold the name, one bit per TTagType
    // (1 << ttID3v2 ...); informational, 0 for an entry not yet saved.
    uint32_t Kinds = 0;

    bool operator==(const TTagEntry& Other) const = default;
};

// One picture of the file with its picture type (0..20, 3 the front cover).
struct TPictureEntry {
    QString Name;  // the library's name ("Cover art 1", an APEv2 key)
    uint32_t Type = 3;
    QString Description;
    QString Mime;
    QByteArray Data;                 // the complete encoded picture file
    uint32_t Width = 0, Height = 0;  // as the tag states them; 0 when it does not

    bool operator==(const TPictureEntry& Other) const = default;
};

struct TAudioTag {
    QString FileName;  // full path; the key of the window's cache
    TAudioFileType FileType = aftUnknown;
    QString Title;
    QString Artist;
    QString Album;
    QString Year;
    QString Track;
    QString Genre;
    QString Comment;  // may hold line breaks
    QString Disc;
    QString BPM;
    QString AlbumArtist;
    QString Composer;
    QString OrigArtist;
    QString Copyright;
    QString URL;
    QString EncodedBy;
    QString Lyrics;           // may hold line breaks
    QString CoverMime;        // "image/jpeg" ...; empty without a picture
    QByteArray CoverData;     // the complete encoded picture file
    int32_t DurationSec = 0;  // whole seconds, 0 when unknown
    bool Modified = false;    // must be written by the next save
    // Every entry and picture of the file as the record last set them (see
    // app/core/record_entries.h); only meaningful with EntriesLoaded, which
    // a record read from a file has and a record made up in code has not
    // (its save then writes the sixteen fields and the cover alone).
    QVector<TTagEntry> Entries;
    QVector<TPictureEntry> Pictures;
    bool EntriesLoaded = false;
    // The file's stamp when the record was read from it (unknown for a
    // record made up in code); see app/core/file_stamp.h.
    TFileStamp Stamp;

    // The sixteen text fields, in declaration order, for code that walks them
    // all (saving, emptiness, the command-line record dump).
    static constexpr int TextFieldCount = 16;
    // Record field names: "Title", "Artist", ... "Lyrics".
    static const char* TextFieldName(int Index);
    QString& TextField(int Index);
    const QString& TextField(int Index) const;

    // Back to the freshly reset record.
    void Clear() { *this = TAudioTag(); }
    // True when every text field is empty after trimming characters U+0000 to
    // U+0020 at both ends and there are no cover bytes; CoverMime,
    // DurationSec and Modified do not count.
    bool IsEmpty() const;

    bool operator==(const TAudioTag& Other) const = default;
};
