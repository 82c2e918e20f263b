#include "app/file_ops/list_export.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include "app/file_list_model.h"
#include "app/main_model.h"
#include "app/settings/translation.h"

namespace {

QByteArray CsvField(const QString& Text) {
    QByteArray Bytes = Text.toUtf8();
    if (!Bytes.contains(',') && !Bytes.contains('"') && !Bytes.contains('\r') && !Bytes.contains('\n')) return Bytes;
    Bytes.replace("\"", "\"\"");
    return '"' + Bytes + '"';
}

void AppendCsvRecord(QByteArray& Out, const QStringList& Fields) {
    for (int i = 0; i < Fields.size(); ++i) {
        if (i > 0) Out += ',';
        Out += CsvField(Fields[i]);
    }
    Out += "\r\n";
}

// One line of a playlist entry: the lines of a multi-value text joined.
QString OneLine(const QString& Text) {
    static const QRegularExpression LineBreaks(QStringLiteral("[\r\n]+"));
    return Text.split(LineBreaks, Qt::SkipEmptyParts).join(QStringLiteral("; "));
}

QString PlaylistPath(const QString& Path, const QString& PlaylistFolder) {
    const QString File = QDir::cleanPath(QFileInfo(Path).absoluteFilePath());
    const QString Folder = QDir::cleanPath(PlaylistFolder);
    const QString Prefix = Folder.endsWith(u'/') ? Folder : Folder + u'/';
    if (!File.startsWith(Prefix)) return File;
    const QString Relative = File.mid(Prefix.size());
    return Relative.startsWith(u'#') ? QStringLiteral("./") + Relative : Relative;
}

}  // namespace

QByteArray ListCsv(const TFileListModel& List, const QVector<int>& Rows) {
    QByteArray Out("\xEF\xBB\xBF");
    QStringList Fields;
    for (int c = 0; c < lcCount; ++c) Fields.append(List.headerData(c, Qt::Horizontal).toString());
    AppendCsvRecord(Out, Fields);
    for (int Row : Rows) {
        Fields.clear();
        for (int c = 0; c < lcCount; ++c) Fields.append(List.Cell(Row, c));
        AppendCsvRecord(Out, Fields);
    }
    return Out;
}

QByteArray ListM3u8(const TFileListModel& List, const QVector<int>& Rows, const QString& PlaylistFile,
                    QStringList& LeftOut) {
    const QString Folder = QFileInfo(PlaylistFile).absolutePath();
    QString Out = QStringLiteral("#EXTM3U\n");
    for (int Row : Rows) {
        const QString Path = List.PathAt(Row);
        if (Path.contains(u'\r') || Path.contains(u'\n')) {
            LeftOut.append(Path);
            continue;
        }
        const int Seconds = TFileListModel::ParseDuration(List.Cell(Row, lcDuration));
        QString Title = OneLine(List.Cell(Row, lcTitle));
        if (Title.isEmpty()) Title = QFileInfo(Path).completeBaseName();
        const QString Artist = OneLine(List.Cell(Row, lcArtist));
        Out += QStringLiteral("#EXTINF:%1,").arg(Seconds > 0 ? Seconds : -1);
        Out += Artist.isEmpty() ? Title : Artist + QStringLiteral(" - ") + Title;
        Out += u'\n';
        Out += PlaylistPath(Path, Folder) + u'\n';
    }
    return Out.toUtf8();
}

bool WriteExportFile(const QString& FileName, const QByteArray& Data, QString& Error) {
    QSaveFile File(FileName);
    if (!File.open(QIODevice::WriteOnly) || File.write(Data) != Data.size() || !File.commit()) {
        Error = File.errorString();
        return false;
    }
    return true;
}

QString ExportExtension(TExportFormat Format) {
    return Format == TExportFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".m3u8");
}

void TListExport::Export(TExportFormat Format) {
    IUserInteraction& Ui = FModel.Ui();
    // What the editor holds and the list does not show yet goes in first.
    FModel.ApplyPendingEdits();
    TFileListModel& List = FModel.FileList();
    List.Flush();
    const int Count = List.rowCount();
    if (Count == 0) {
        Ui.Inform(Tr("The list is empty: there is nothing to export."));
        return;
    }
    QVector<int> Rows;
    for (const QString& Path : FModel.GetSelectedFiles()) Rows.append(List.FindRow(Path));
    if (Rows.size() < 2 || Rows.size() == Count ||
        !Ui.Confirm(FormatTr("Export only the %d selected files? No exports all %d files of the list.",
                             {Rows.size(), Count}))) {
        Rows.clear();
        for (int r = 0; r < Count; ++r) Rows.append(r);
    }
    const bool Csv = Format == TExportFormat::Csv;
    const QString Extension = ExportExtension(Format);
    // The folder shown, under its own name ("Music/Music.csv").
    const QString Folder = FModel.SelectedFolder();
    const QString Name = QDir(Folder).dirName().isEmpty() ? QStringLiteral("list") : QDir(Folder).dirName();
    const QString Suggested = Folder.isEmpty() ? QString() : QDir(Folder).filePath(Name + Extension);
    QString FileName = Ui.PickSaveFile(
        Csv ? Tr("Export List as CSV") : Tr("Export List as Playlist"),
        (Csv ? Tr("CSV files") : Tr("Playlists")) + QStringLiteral(" (*") + Extension + u')', Suggested);
    if (FileName.isEmpty()) return;
    if (!QFileInfo(FileName).fileName().contains(u'.')) FileName += Extension;
    QStringList LeftOut;
    const QByteArray Data = Csv ? ListCsv(List, Rows) : ListM3u8(List, Rows, FileName, LeftOut);
    QString Error;
    if (!WriteExportFile(FileName, Data, Error)) {
        Ui.ShowError(Tr("Could not write the file:") + QStringLiteral("\r\n") + FileName + QStringLiteral("\r\n") +
                     Error);
        return;
    }
    FModel.SetStatus(FormatTr("Exported %d files to %s", {Rows.size() - LeftOut.size(), FileName}));
    if (!LeftOut.isEmpty())
        Ui.Warn(Tr("These files have a line break in their path, which a playlist cannot hold; they were left out:") +
                QLatin1Char('\n') + LeftOut.join(QLatin1Char('\n')));
}
