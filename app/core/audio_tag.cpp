#include "app/core/audio_tag.h"

#include <QFileInfo>
#include <array>

namespace {

constexpr std::array<const char*, TAudioTag::TextFieldCount> TextFieldNames = {
    "Title", "Artist", "Album", "Year", "Track", "Genre", "Comment", "Disc",
    "BPM", "AlbumArtist", "Composer", "OrigArtist", "Copyright", "URL", "EncodedBy", "Lyrics"};

constexpr std::array<const char*, 8> FileTypeNames = {
    "Unknown", "MP3", "FLAC", "MP4", "WMA", "OGG", "APE", "WAV"};
static_assert(FileTypeNames.size() == aftWAV + 1);

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
    if (Ext == u".mp3") return aftMP3;
    if (Ext == u".flac") return aftFLAC;
    if (Ext == u".m4a" || Ext == u".mp4") return aftMP4;
    if (Ext == u".wma") return aftWMA;
    if (Ext == u".ogg" || Ext == u".oga") return aftOGG;
    if (Ext == u".ape") return aftAPE;
    if (Ext == u".wav") return aftWAV;
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
