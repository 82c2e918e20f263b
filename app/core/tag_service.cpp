#include "app/core/tag_service.h"

#include <QFile>
#include <QFileInfo>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <cerrno>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "app/core/record_entries.h"
#include "tags/stream.h"
#include "tags/tag_error.h"
#include "tags/tags.h"
#include "tags/audio_properties.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/padding.h"
#include "tags/mapping_common.h"
#include "tags/ogg/opus_tag.h"
#include "tags/text.h"
#include "tags/field_names.h"

namespace {

// The library speaks UTF-8 for text and the local 8-bit encoding for paths.
std::string ToLib(const QString& Text) { return Text.toStdString(); }
std::string ToLibPath(const QString& Path) { return QFile::encodeName(Path).toStdString(); }
QString FromLib(const std::string& Text) { return QString::fromUtf8(Text.data(), (qsizetype)Text.size()); }

// A failure inside the write scope of SaveTag; its text becomes the last error.
class EWriteFailure : public std::runtime_error {
public:
    explicit EWriteFailure(const QString& Message) : std::runtime_error(Message.toStdString()) {}
};

// Unified names written from the record, in the order of its text fields.
constexpr const char* WriteNames[TAudioTag::TextFieldCount] = {
    fieldname::Title,       fieldname::Artist,      fieldname::Album,     fieldname::Year,
    fieldname::TrackNumber, fieldname::Genre,       fieldname::Comment,   fieldname::DiscNumber,
    fieldname::Bpm,         fieldname::AlbumArtist, fieldname::Composer,  fieldname::OriginalArtist,
    fieldname::Copyright,   fieldname::Url,         fieldname::EncodedBy, fieldname::Lyrics};

// Read fallbacks, tried in turn while the value is still empty. An edited
// field is written under the names above; a cleared one also deletes the
// fallback it showed, or the old value would come back. "RECORDINGDATE" comes
// right after "DATE" for the year: it is where ID3v2.4 (TDRC), RIFF INFO
// (ICRD) and WMA (WM/Year) keep the year, and where a year typed into a 2.4
// tag goes, so a release date beside it must not hide the edit.
struct TReadFallback {
    int Field;
    const char* Names[4];
};
constexpr TReadFallback ReadFallbacks[] = {
    {3, {fieldname::Date, "RECORDINGDATE", "RELEASEDATE", "ORIGINALRELEASEDATE"}},
    {4, {"TRACK", nullptr, nullptr, nullptr}},
    {7, {"DISC", nullptr, nullptr, nullptr}},
    {11, {"ORIGARTIST", nullptr, nullptr, nullptr}},
    {15, {"UNSYNCEDLYRICS", nullptr, nullptr, nullptr}},
};

constexpr int YearField = 3, TrackField = 4, CommentField = 6, DiscField = 7, BPMField = 8, LyricsField = 15;
const char* const FrontCoverName = "Cover art 1";

// The entry a record field stands for. Comments and lyrics may come several
// times, told apart by a description: players keep their own data in
// described comments (loudness figures, gapless information) next to the
// user's comment, which has none. The field is the entry without a
// description only, so that editing the comment never overwrites or deletes
// a player's data, also when the file has no comment of the user's own.
int EntryIndex(const TTags& Tags, const char* Name) {
    if (std::strcmp(Name, fieldname::Comment) == 0 || std::strcmp(Name, fieldname::Lyrics) == 0) {
        for (int I = 0; I < Tags.Count(); ++I)
            if (text::SameText(Tags.TagAt(I)->Name, Name) && Tags.TagAt(I)->Description.empty()) return I;
        return -1;
    }
    return Tags.Exists(Name);
}

// A field shows every value of its name, one per line, as the formats keep
// them: several comments of one name, a multi-valued item or frame. The
// number fields show one value.
bool ShowsEveryValue(int Field) {
    return Field != YearField && Field != TrackField && Field != DiscField && Field != BPMField;
}

// A line of the field is one value when written back; comment and lyrics
// are text with line breaks of their own and are written as one value.
bool LinesAreValues(int Field) { return ShowsEveryValue(Field) && Field != CommentField && Field != LyricsField; }

// The entries a field stands for: the one EntryIndex finds, then every
// later entry of that name with the same description, language and kind
// (further values, never a player's described comment or a user-defined
// text frame that happens to share the name).
std::vector<int> FieldEntries(const TTags& Tags, int Field) {
    std::vector<int> Out;
    const int First = EntryIndex(Tags, WriteNames[Field]);
    if (First < 0) return Out;
    const TTag& F = *Tags.TagAt(First);
    for (int I = First; I < Tags.Count(); ++I) {
        const TTag& E = *Tags.TagAt(I);
        if (text::SameText(E.Name, F.Name) && E.Description == F.Description && E.Language == F.Language &&
            E.ExtTagType == F.ExtTagType)
            Out.push_back(I);
    }
    return Out;
}

// The value a field shows for the container, read fallbacks included.
QString FieldValue(const TTags& Tags, int Field) {
    const std::vector<int> Own = FieldEntries(Tags, Field);
    QString Value;
    if (ShowsEveryValue(Field)) {
        std::vector<std::string> Values;
        for (int I : Own)
            if (!Tags.TagAt(I)->Value.empty()) Values.push_back(Tags.TagAt(I)->Value);
        Value = FromLib(mapping::JoinLines(Values));
    } else if (!Own.empty()) {
        Value = FromLib(Tags.TagAt(Own.front())->Value);
    }
    for (const TReadFallback& F : ReadFallbacks)
        if (F.Field == Field)
            for (const char* Name : F.Names)
                if (Name && Value.isEmpty()) Value = FromLib(Tags.GetText(Name));
    if (Field == YearField && Value.size() > 3) Value.truncate(4);
    return Value;
}

// The entry that supplies a field's shown value: its own, else the read
// fallback it came from; -1 when the field shows nothing.
int SupplyingEntry(const TTags& Tags, int Field) {
    const int Index = EntryIndex(Tags, WriteNames[Field]);
    if (Index >= 0 && !Tags.TagAt(Index)->Value.empty()) return Index;
    for (const TReadFallback& F : ReadFallbacks)
        if (F.Field == Field)
            for (const char* Name : F.Names)
                if (Name && !Tags.GetText(Name).empty()) return Tags.Exists(Name);
    return Index;
}

// Play time in whole seconds: nearest integer, halves to even; anything that
// is not a finite number in range gives 0.
int32_t RoundPlayTime(double Seconds) {
    if (!std::isfinite(Seconds) || Seconds < 0 || Seconds > (double)std::numeric_limits<int32_t>::max()) return 0;
    const int Saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double Rounded = std::nearbyint(Seconds);
    std::fesetround(Saved);
    return (int32_t)Rounded;
}

// A regular file (or a link to one). A pipe or a device is no audio file,
// and opening one for reading can block the caller for good.
bool FileExists(const QString& FileName) { return QFileInfo(FileName).isFile(); }

// The container reports a failed write by a bare number. Say why where it
// can be told from outside: a read-only file, or a disk without room for
// the rewritten file (estimated as the file plus everything the record
// holds plus the writer's padding).
QString WriteFailureReason(const std::string& Path, const TAudioTag& Tag, const TSaveFailure& Failure) {
    if (fileutil::IsReadOnly(Path)) return QStringLiteral(" (the file is read-only)");
    const QString Said = QStringLiteral(" (%1)").arg(QString::fromStdString(Failure.Text()));
    // What the system said when the library's write failed.
    if (Failure.Errno != 0) return Said;
    struct statvfs Disk;
    const std::optional<int64_t> Size = fileutil::FileSize(Path);
    if (Size && ::statvfs(Path.c_str(), &Disk) == 0) {
        int64_t Needed = *Size + Tag.CoverData.size() + padding::PaddingFor(*Size);
        for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
            Needed += (int64_t)Tag.TextField(I).size() * 4;  // UTF-16 text in two tags at most
        if ((int64_t)Disk.f_bavail * (int64_t)Disk.f_frsize < Needed)
            return QStringLiteral(" (not enough free space on the disk)");
    }
    // What the writer that failed reported.
    return Failure.Error == TTagError::None ? QString() : Said;
}

std::unique_ptr<TTags> NewContainer() {
    auto Tags = std::make_unique<TTags>();
    Tags->ParseAudioAttributes = true;
    Tags->ParseCoverArts = true;
    // The library leaves the Ogg play time off (it reads the end of the
    // file); the record's Duration needs it.
    Tags->OggVorbisAndOpusTag().ParsePlayTime = true;
    // Nor does it read the WavPack, Musepack and Monkey's Audio headers,
    // which hold those files' play time.
    Tags->ParseWavPackAudioAttributes = true;
    Tags->ParseMusePackAudioAttributes = true;
    Tags->ParseMonkeyAudioAttributes = true;
    return Tags;
}

}  // namespace

void TTagService::CopyTagsToRecord(const TTags& Tags, TAudioTag& Tag) {
    // A full date such as 2021-05-03 shows as its year; short values stay.
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I) Tag.TextField(I) = FieldValue(Tags, I);

    Tag.DurationSec = 0;
    try {
        Tag.DurationSec = RoundPlayTime(Tags.SourceAudioAttributes().PlayTime());
    } catch (...) {
        Tag.DurationSec = 0;
    }

    Tag.CoverMime.clear();
    Tag.CoverData.clear();
    // The record's one picture: "Cover art 1", else the first front cover,
    // else the first picture, whatever the format names its pictures.
    if (const TCoverArt* Art = mapping::RecordCover(Tags); Art && !Art->Data.empty()) {
        Tag.CoverMime = FromLib(Art->MIMEType);
        Tag.CoverData = QByteArray(reinterpret_cast<const char*>(Art->Data.data()), (qsizetype)Art->Data.size());
    }
    recordentries::ReadLists(Tags, Tag);
    Tag.Modified = false;
}

void TTagService::CopyRecordToTags(TTags& Tags, const TAudioTag& Tag) {
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I) {
        // A field that shows what the file holds was not edited: its entries
        // stay as they are, so a save adds no frame the user never touched
        // (a year shown from a recording date, say).
        if (Tag.TextField(I) == FieldValue(Tags, I)) continue;
        // An empty value deletes the field's entries with their native
        // counterparts; a value replaces them all, one entry per line of a
        // multi-valued field, so no value the record did not show survives.
        const std::string Value = ToLib(Tag.TextField(I));
        const std::vector<int> Own = FieldEntries(Tags, I);
        if (Value.empty()) {
            // Cleared: every entry the field showed goes, fallbacks too, or the
            // old value would come back on the next load.
            for (auto It = Own.rbegin(); It != Own.rend(); ++It) Tags.Delete(*It);
            for (int Guard = 0; Guard < 8 && !FieldValue(Tags, I).isEmpty(); ++Guard) {
                const int Supplier = SupplyingEntry(Tags, I);
                if (Supplier < 0) break;
                Tags.Delete(Supplier);
            }
            continue;
        }
        std::vector<std::string> Values;
        if (LinesAreValues(I))
            for (const std::string& Line : mapping::SplitLines(Value))
                if (!Line.empty()) Values.push_back(Line);
        if (Values.empty()) Values.push_back(Value);
        for (size_t K = 0; K < Values.size(); ++K) {
            if (K < Own.size()) {
                Tags.TagAt(Own[K])->Value = Values[K];
                continue;
            }
            TTag* Added = Tags.Add(WriteNames[I]);
            if (!Own.empty()) {
                const TTag& Like = *Tags.TagAt(Own.front());
                Added->Name = Like.Name;
                Added->Description = Like.Description;
                Added->Language = Like.Language;
                Added->ExtTagType = Like.ExtTagType;
            }
            Added->Value = Values[K];
        }
        // Values the record no longer holds leave the container's list; the
        // formats write each name from the entries it has left.
        for (size_t K = Own.size(); K-- > Values.size();) Tags.Remove(Own[K]);
    }

    // The record holds one picture, the one it was read from (see
    // CopyTagsToRecord); a changed picture replaces that same one, under the
    // name or key its format gave it. The file's other pictures (a back
    // cover, a booklet page) are not the record's to drop, and a picture the
    // record did not change keeps its type and description: saving a new
    // title must not strip the back cover or turn the front cover into a
    // picture of type "Other".
    TCoverArt* Front = mapping::RecordCover(Tags);
    if (Tag.CoverData.isEmpty()) {
        // The record showed the file's picture and now has none: the user
        // cleared it, and every picture goes.
        if (Front && !Front->Data.empty()) Tags.DeleteAllCoverArts();
        return;
    }
    const std::string Mime = ToLib(Tag.CoverMime);
    if (Front) {
        const bool Same = (qsizetype)Front->Data.size() == Tag.CoverData.size() &&
                          std::memcmp(Front->Data.data(), Tag.CoverData.constData(), Front->Data.size()) == 0;
        if (Same && Front->MIMEType == Mime) return;
        // A replaced picture stays in its place with its type and description.
        Front->Data.assign(Tag.CoverData.constData(), Tag.CoverData.constData() + Tag.CoverData.size());
        Front->MIMEType = Mime;
        Front->PictureFormat = PictureFormatFromMIMEType(Mime);
        Front->Width = Front->Height = Front->ColorDepth = Front->NoOfColors = 0;
        return;
    }
    TReadMemoryStream Picture(Tag.CoverData.constData(), Tag.CoverData.size());
    if (TCoverArt* Added = Tags.AddCoverArt(FrontCoverName, Picture, Mime)) Added->CoverType = mapping::FrontCoverType;
}

bool TTagService::LoadTag(const QString& FileName, TAudioTag& Tag) {
    return LoadTagConcurrently(FileName, Tag, FLastError);
}

bool TTagService::LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const {
    Error.clear();
    Tag.Clear();
    if (FileName.isEmpty()) {
        Error = QStringLiteral("File not found.");
        return false;
    }
    // Why a file gave nothing: it is missing, or cannot be opened (the
    // container's readers give up silently on a file they cannot open, which
    // would show an unreadable file as one without tags). Asked only when
    // the load found no tag, as each question is a round trip on a share.
    auto Unreadable = [&] {
        if (!FileExists(FileName)) {
            Error = QStringLiteral("File not found.");
            return true;
        }
        QFile Probe(FileName);
        if (!Probe.open(QIODevice::ReadOnly)) {
            Error = QStringLiteral("Cannot open file: ") + Probe.errorString();
            return true;
        }
        return false;
    };
    // Stamped before the read: a change made while it reads shows as a
    // change at the next save rather than slipping through.
    const TFileStamp Stamp = ReadFileStamp(FileName);
    try {
        const std::unique_ptr<TTags> Tags = NewContainer();
        const int Result = Tags->LoadFromFile(ToLibPath(FileName));
        if ((Result != 0 || !Tags->Loaded) && Unreadable()) return false;
        if (Result != 0) {
            Error = QString::asprintf("TagsLibrary load error: %d", Result);
            return false;
        }
        Tag.FileName = FileName;
        Tag.FileType = AudioFileTypeFromExtension(FileName);
        CopyTagsToRecord(*Tags, Tag);
        recordentries::NoteKinds(*Tags, Tag);
        Tag.Stamp = Stamp;
        return true;
    } catch (const std::exception& E) {
        Error = QString::fromUtf8(E.what());
    } catch (...) {
        Error = QStringLiteral("Unknown error while reading the file.");
    }
    Tag.Clear();
    return false;
}

namespace {

// Whether saving Tag would change nothing the record shows: its fields and
// picture are what the file holds (or both show nothing at all). Such a save
// writes no byte, so the file keeps its bytes and its modification time, and
// an empty record does not strip the tags it never showed (an encoder's name).
bool RecordShowsFile(const TTags& Tags, const TAudioTag& Tag) {
    TAudioTag Current;
    TTagService::CopyTagsToRecord(Tags, Current);
    if (Tag.IsEmpty() && Current.IsEmpty()) return true;
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        if (Tag.TextField(I) != Current.TextField(I)) return false;
    return Tag.CoverData == Current.CoverData && (Tag.CoverData.isEmpty() || Tag.CoverMime == Current.CoverMime);
}

}  // namespace

bool TTagService::WriteTags(const TAudioTag& Tag) const {
    const std::string Path = ToLibPath(Tag.FileName);
    const std::unique_ptr<TTags> Tags = NewContainer();
    int Result = Tags->LoadFromFile(Path);
    if (Result != 0) throw EWriteFailure(QString::asprintf("TagsLibrary load error: %d", Result));
    // Entries or pictures edited in the record's full lists (the all-fields
    // and pictures views) go in first; the sixteen fields then apply on top.
    const bool ListsEdited = recordentries::ListsDiffer(*Tags, Tag);
    if (!ListsEdited && RecordShowsFile(*Tags, Tag)) return true;
    if (Tag.IsEmpty() && (!ListsEdited || recordentries::LeavesNothing(Tag))) {
        // Stripping reports success even when a removal routine could not
        // write, so a file that cannot be written is refused up front and
        // the result is checked by reading the file again. (A record that
        // showed nothing to begin with left above, with the file as it is.)
        if (fileutil::IsReadOnly(Path)) throw EWriteFailure(QStringLiteral("The file is read-only."));
        const int Removed = StripTagsFromFile(Path, ttAutomatic);
        if (Removed != 0 && Removed != tagresult::NothingToWrite)
            throw EWriteFailure(QString::asprintf("TagsLibrary remove error: %d", Removed));
        const std::unique_ptr<TTags> Check = NewContainer();
        if (Check->LoadFromFile(Path) == 0 && (Check->Count() > 0 || Check->CoverArtCount() > 0))
            throw EWriteFailure(QStringLiteral("The tags could not be removed from the file."));
        return true;
    }
    if (ListsEdited) recordentries::ApplyLists(*Tags, Tag);
    CopyRecordToTags(*Tags, Tag);
    Result = Tags->SaveToFile(Path, ttAutomatic);
    if (Result != 0 && Result != tagresult::NothingToWrite)
        throw EWriteFailure(QString::asprintf("TagsLibrary save error: %d", Result) +
                            WriteFailureReason(Path, Tag, LastSaveFailure(*Tags)));
    return true;
}

bool TTagService::SaveTag(const TAudioTag& Tag) { return SaveTagConcurrently(Tag, FLastError); }

namespace {

// The library's save batch; the thread that begins it (the window's) does
// not join it, so that its own saves meanwhile flush as before.
class TLibrarySaveBatch final : public ISaveBatch {
public:
    TLibrarySaveBatch() : FBatch(false) {}
    bool Run(const std::function<bool()>& Save) override {
        TSaveBatch::TJoin join(FBatch);
        return Save();
    }
    bool Finish(QStringList& Failed, QString& Error) override {
        const int err = FBatch.Finish();
        if (err == 0) return true;
        for (const std::string& name : FBatch.FailedFiles())
            Failed.append(QFile::decodeName(QByteArray::fromStdString(name)));
        Error = QStringLiteral("The file could not be flushed to the disk (%1, error %2).")
                    .arg(QString::fromLocal8Bit(std::strerror(err)))
                    .arg(err);
        return false;
    }

private:
    TSaveBatch FBatch;
};

}  // namespace

ISaveBatchPtr TTagService::BeginSaveBatch() const { return std::make_shared<TLibrarySaveBatch>(); }

bool TTagService::SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const {
    Error.clear();
    const QString& FileName = Tag.FileName;
    if (FileName.isEmpty() || !FileExists(FileName)) {
        Error = QStringLiteral("File not found.");
        return false;
    }
    // The library writes every tag kind of the file in one transaction, kept
    // by a rollback journal of the bytes it overwrites: a failed or killed
    // save leaves the file as it was, with no copy of the audio beside it.
    try {
        WriteTags(Tag);
        return true;
    } catch (const std::exception& E) {
        Error = QString::fromUtf8(E.what());
    }
    if (Error.isEmpty()) Error = QStringLiteral("Unknown error while writing the file.");
    return false;
}
