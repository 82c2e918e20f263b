// The file list written out: as a CSV table or as an M3U8 playlist.
//
// Both are built from rows of a TFileListModel, so they hold exactly what
// the list shows: its nine columns with the list's texts (the play time as
// m:ss), in the list's order.
//
// CSV: UTF-8 with a byte order mark (spreadsheet programs take the file for
// a legacy code page without it), one header row of the column captions,
// fields separated by commas, records ended by CR LF; a field holding a
// comma, a double quote, CR or LF is put in double quotes, its quotes
// doubled (RFC 4180).
//
// M3U8: "#EXTM3U", then per file "#EXTINF:<seconds>,<artist> - <title>" and
// its path, LF after each line. The seconds are -1 when the play time is
// unknown; without an artist the title stands alone, without a title the
// file name (no extension); the lines of a multi-value artist are joined
// by "; ". A file in the playlist's folder or below it is written relative
// to that folder (the playlist keeps working when the folder moves or is
// shared), any other file by its absolute path; a relative path that would
// start with "#" gets "./" before it. A path holding CR or LF cannot be
// written as a line and is left out (reported to the caller).
//
// TListExport is the window's command: it asks whether to export the
// selection or the whole list, asks for the file through the model's
// IUserInteraction and writes it. It does not own the model.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class TFileListModel;
class TMainModel;

enum class TExportFormat { Csv, M3u8 };

// Rows are shown rows of List; captions are the header's (translated) ones.
QByteArray ListCsv(const TFileListModel& List, const QVector<int>& Rows);
// Left out: the paths that could not be written.
QByteArray ListM3u8(const TFileListModel& List, const QVector<int>& Rows, const QString& PlaylistFile,
                    QStringList& LeftOut);
// Writes Data whole or not at all (a temporary file renamed over FileName);
// false with the system's message.
bool WriteExportFile(const QString& FileName, const QByteArray& Data, QString& Error);
// ".csv" or ".m3u8".
QString ExportExtension(TExportFormat Format);

class TListExport {
public:
    explicit TListExport(TMainModel& Model) : FModel(Model) {}

    // The File menu's two export commands. With two or more rows selected
    // (not all), asks whether only those are to be written.
    void Export(TExportFormat Format);

private:
    TMainModel& FModel;
};
