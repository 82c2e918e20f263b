// TAutoTagPickModel: what the result pick dialog shows and what it returns.
//
// One row per candidate (one release of one recording) in the service's
// order, which is by score and then by date; each row remembers its
// candidate. The date is shown in full as the database has it, a video
// recording's title carries a mark, and a note under the list says what a
// release without a date or credit does to the file; no row is selected at first; OK is enabled only
// when there is a row; a double click acts as OK when OK is enabled. A
// "Replace covers" box below the list says whether the release's front cover
// also replaces covers the file has. The dialog is a thin view over this model.
#pragma once

#include <QStringList>
#include <QVector>

#include "app/lookup/auto_tag_service.h"

class TAutoTagPickModel {
public:
    enum TColumn { pcScore, pcTitle, pcArtist, pcAlbum, pcDate, pcCountry, pcFormat, pcTrack, pcCount };
    static QStringList ColumnCaptions();  // English, looked up by the view
    static int ColumnWidth(int Column);
    // The note under the list (English, looked up by the view).
    static QString NoteText();
    // The box that lets the picked release's front cover replace a cover the
    // file has (English, looked up by the view); without it only a file
    // without a cover gets one.
    static QString ReplaceCoversCaption();
    static QString ReplaceCoversHint();

    void SetCandidates(const QVector<TMBReleaseCandidate>& Candidates);
    int RowCount() const { return static_cast<int>(FCandidates.size()); }
    QString Cell(int Row, int Column) const;
    int CandidateIndex(int Row) const { return Row; }

    bool OkEnabled() const { return RowCount() > 0; }
    // -1 (or any row that does not exist) selects nothing.
    void Select(int Row) { FSelected = (Row >= 0 && Row < RowCount()) ? Row : -1; }
    int Selected() const { return FSelected; }
    bool DoubleClickAccepts() const { return OkEnabled(); }

    // The answer once the dialog has closed: true with Pick set for OK with a
    // selected row; false with Pick empty for OK without one, Cancel or the
    // close box.
    bool Finish(bool ClosedWithOk, TMBReleaseCandidate& Pick) const;

private:
    QVector<TMBReleaseCandidate> FCandidates;
    int FSelected = -1;
};
