#include "app/core/audio_tag.h"

#include <QFileInfo>
#include <array>

namespace {

constexpr std::array<const char*, TAudioTag::TextFieldCount> TextFieldNames = {
    "Title", "Artist",      "Album",    "Year",       "Track",     "Genre", "Comment",   "Disc",
    "BPM",   "AlbumArtist", "Composer", "OrigArtist", "Copyright", "URL",   "EncodedBy", "Lyrics"};

constexpr std::array<const char*, AudioFileTypeCount> FileTypeNames = {
    "Unknown", "MP3", "FLAC", "MP4", "WMA", "OGG", "APE", "WAV", "AIFF", "WV", "MPC", "DSF", "DFF"};
static_assert(FileTypeNames.size() == aftDFF + 1);

// Every extension the application knows, once: its type (the list's icon
// and kind) and whether a folder scan offers such files. ".mp4" has a type
// but is not scanned: video files share it.
struct TExtensionType {
    const char16_t* Extension;
    TAudioFileType Type;
    bool Scanned;
};
constexpr TExtensionType ExtensionTypes[] = {
    {u".mp3", aftMP3, true},   {u".flac", aftFLAC, true}, {u".ogg", aftOGG, true}, {u".ape", aftAPE, true},
    {u".m4a", aftMP4, true},   {u".wma", aftWMA, true},   {u".wav", aftWAV, true}, {u".opus", aftOGG, true},
    {u".oga", aftOGG, true},   {u".wv", aftWV, true},     {u".mpc", aftMPC, true}, {u".aif", aftAIFF, true},
    {u".aiff", aftAIFF, true}, {u".aifc", aftAIFF, true}, {u".dsf", aftDSF, true}, {u".dff", aftDFF, true},
    {u".m4b", aftMP4, true},   {u".mp4", aftMP4, false},
};

// The extension from the last dot of the name part (a dot in a folder name
// does not count), lower-cased; empty when there is none.
QString LowerExtension(const QString& FileName) {
    const qsizetype Slash = FileName.lastIndexOf(u'/');
    const qsizetype Dot = FileName.lastIndexOf(u'.');
    if (Dot < 0 || Dot < Slash) return QString();
    return FileName.mid(Dot).toLower();
}

const TExtensionType* FindExtension(const QString& FileName) {
    const QString Ext = LowerExtension(FileName);
    for (const TExtensionType& E : ExtensionTypes)
        if (Ext == QStringView(E.Extension)) return &E;
    return nullptr;
}

// Trimming as the whole application does it: every character from U+0000
// to U+0020 goes at both ends.
bool IsBlank(const QString& S) {
    for (QChar C : S)
        if (C.unicode() > 0x20) return false;
    return true;
}

}  // namespace

TAudioFileType AudioFileTypeFromExtension(const QString& FileName) {
    const TExtensionType* E = FindExtension(FileName);
    return E ? E->Type : aftUnknown;
}

bool IsScannedAudioFile(const QString& FileName) {
    const TExtensionType* E = FindExtension(FileName);
    return E && E->Scanned;
}

QStringList ScannedAudioExtensions() {
    QStringList List;
    for (const TExtensionType& E : ExtensionTypes)
        if (E.Scanned) List.append(QString::fromUtf16(E.Extension));
    return List;
}

const char* AudioFileTypeName(TAudioFileType Type) {
    return Type < FileTypeNames.size() ? FileTypeNames[Type] : FileTypeNames[0];
}

const char* TAudioTag::TextFieldName(int Index) {
    return Index >= 0 && Index < TextFieldCount ? TextFieldNames[Index] : "";
}

QString& TAudioTag::TextField(int Index) {
    return const_cast<QString&>(static_cast<const TAudioTag*>(this)->TextField(Index));
}

const QString& TAudioTag::TextField(int Index) const {
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

bool TAudioTag::IsEmpty() const {
    for (int I = 0; I < TextFieldCount; ++I)
        if (!IsBlank(TextField(I))) return false;
    return CoverData.isEmpty();
}
