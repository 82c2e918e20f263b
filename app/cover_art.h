// Cover pictures in the main window: the picture display's editing state and
// the pool that keeps identical cover bytes stored once in the record cache.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QVector>

#include "app/core/audio_tag.h"

// TCoverDisplay: what the picture display holds and why.
//
// What the display holds when the editor is applied is what the selected
// records receive, with one rule on top: a record only loses or changes its
// picture when the user loaded or cleared one. A picture that was merely
// shown is kept byte for byte (never re-encoded), and when the display is
// empty because several files are selected or a stored picture could not be
// decoded, every record keeps the picture it has.
class TCoverDisplay {
public:
    enum TKind {
        cdNone,     // the one selected file has no picture
        cdStored,   // showing the selected file's own picture
        cdLoaded,   // the user loaded a picture file
        cdCleared,  // the user pressed Clear
        cdKeep,     // empty, but the records keep their pictures (several
                    // files selected, or a stored picture not decodable)
    };

    TKind Kind() const { return FKind; }
    // The decoded picture; null when the placeholder is shown.
    const QImage& Image() const { return FImage; }
    bool HasPicture() const { return !FImage.isNull(); }
    QByteArray Data() const { return FData; }
    QString Mime() const { return FMime; }

    // Shows a record's picture (the display of one selected file).
    void ShowRecord(const TAudioTag& Tag);
    // Empty display that leaves the records' pictures alone.
    void ShowKeep();
    // Loads a picture file; on failure returns false with a message and
    // leaves the display as it was.
    bool LoadFile(const QString& FileName, QString& Error);
    // The user's Clear.
    void Clear();
    // Turns the display back into record bytes (CoverFromDisplay).
    void ApplyTo(TAudioTag& Tag) const;

    // The MIME type of encoded picture bytes by their content: "image/jpeg",
    // "image/png", "image/bmp", or empty when they are none of these.
    static QString MimeOfPicture(const QByteArray& Data);

private:
    TKind FKind = cdKeep;
    QImage FImage;
    QByteArray FData;
    QString FMime;
};

// TCoverPool: one shared copy of each distinct cover.
//
// Albums usually carry the same picture in every track; interning the bytes
// of each loaded record makes the records share one QByteArray, so the cache
// grows with the number of distinct pictures rather than with the number of
// files. The pool holds references only while the cache it serves is kept.
class TCoverPool {
public:
    // Replaces Data by an equal copy already in the pool, or adds it.
    void Intern(QByteArray& Data);
    void Clear() {
        FBuckets.clear();
        FCount = 0;
    }
    int DistinctCount() const { return FCount; }

private:
    QHash<size_t, QVector<QByteArray>> FBuckets;
    int FCount = 0;
};
