#include "app/core/audio_tag.h"

#include <QFileInfo>
#include <array>

namespace {

constexpr std::array<const char*, TAudioTag::TextFieldCount> TextFieldNames = {
    "Title", "Artist", "Album", "Year", "Track", "Genre", "Comment", "Disc",
    "BPM", "AlbumArtist", "Composer", "OrigArtist", "Copyright", "URL", "EncodedBy", "Lyrics"};

constexpr std::array<const char*, AudioFileTypeCount> FileTypeNames = {
    "Unknown", "MP3", "FLAC", "MP4", "WMA", "OGG", "APE", "WAV", "AIFF", "WV", "MPC", "DSF", "DFF"};
static_assert(FileTypeNames.size() == aftDFF + 1);

struct TExtensionType {
    const char16_t* Extension;
    TAudioFileType Type;
};
constexpr TExtensionType ExtensionTypes[] = {
    {u".mp3", aftMP3},   {u".flac", aftFLAC}, {u".m4a", aftMP4},  {u".m4b", aftMP4},  {u".mp4", aftMP4},
    {u".wma", aftWMA},   {u".ogg", aftOGG},   {u".oga", aftOGG},  {u".opus", aftOGG}, {u".ape", aftAPE},
    {u".wav", aftWAV},   {u".aif", aftAIFF},  {u".aiff", aftAIFF}, {u".aifc", aftAIFF}, {u".wv", aftWV},
    {u".mpc", aftMPC},   {u".dsf", aftDSF},   {u".dff", aftDFF},
};

// Trimming as the whole application does it: every character from U+0000
// to U+0020 goes at both ends.
bool IsBlank(const QString& S)
{
    for (QChar C : S)
        if (C.unicode() > 0x20)
            return false;
    return true;
}

}  // namespace

TAudioFileType AudioFileTypeFromExtension(const QString& FileName)
{
    // The extension runs from the last dot of the name part (a dot in a
    // folder name does not count).
    const QString Name = QFileInfo(FileName).fileName();
    const qsizetype Dot = Name.lastIndexOf(u'.');
    if (Dot < 0)
        return aftUnknown;
    const QString Ext = Name.mid(Dot).toLower();
    for (const TExtensionType& E : ExtensionTypes) {
        if (Ext == QStringView(E.Extension))
            return E.Type;
    }
    return aftUnknown;
}

const char* AudioFileTypeName(TAudioFileType Type)
{
    return Type < FileTypeNames.size() ? FileTypeNames[Type] : FileTypeNames[0];
}

const char* TAudioTag::TextFieldName(int Index)
{
    return Index >= 0 && Index < TextFieldCount ? TextFieldNames[Index] : "";
}

QString& TAudioTag::TextField(int Index)
{
    return const_cast<QString&>(static_cast<const TAudioTag*>(this)->TextField(Index));
}

const QString& TAudioTag::TextField(int Index) const
{
    switch (Index) {
    case 0: return Title;
    case 1: return Artist;
    case 2: return Album;
    case 3: return Year;
    case 4: return Track;
    case 5: return Genre;
    case 6: return Comment;
    case 7: return Disc;
    case 8: return BPM;
    case 9: return AlbumArtist;
    case 10: return Composer;
    case 11: return OrigArtist;
    case 12: return Copyright;
    case 13: return URL;
    case 14: return EncodedBy;
    default: return Lyrics;
    }
}

bool TAudioTag::IsEmpty() const
{
    for (int I = 0; I < TextFieldCount; ++I)
        if (!IsBlank(TextField(I)))
            return false;
    return CoverData.isEmpty();
}
