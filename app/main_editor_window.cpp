// The main window's tag editor panel: the sixteen fields, their labels and
// drop-down suggestions, bound to the window model's editor state.
#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>

#include "app/app_icons.h"
#include "app/commands.h"
#include "app/error_report_dialog.h"
#include "app/file_list_widget.h"
#include "app/folder_tree_filter.h"
#include "app/settings/translation.h"
#include "app/settings/window_settings.h"

namespace {

// The editor's labels, in the record's field order.
const char* const kFieldLabels[TMainModel::kFieldCount] = {
    "Title", "Artist",        "Album",     "Year",         "Track:",     "Genre", "Comment",     "Disk:",
    "BPM:",  "Album Artist:", "Composer:", "Orig.Artist:", "Copyright:", "URL:",  "Encoded By:", "Lyrics:",
};
const char* const kFieldControlNames[TMainModel::kFieldCount] = {
    "edtTitle",     "edtArtist", "edtAlbum",     "edtYear",        "edtTrack",    "edtGenre",
    "memComment",   "edtDisc",   "edtBPM",       "edtAlbumArtist", "edtComposer", "edtOrigArtist",
    "edtCopyright", "edtURL",    "edtEncodedBy", "memLyrics",
};

}  // namespace

QWidget* TFrmMain::BuildRightPanel() {
    pnlRight = new QWidget;
    pnlRight->setObjectName(QStringLiteral("pnlRight"));
    auto* Scroll = new QScrollArea;
    Scroll->setObjectName(QStringLiteral("sbEditor"));
    Scroll->setWidgetResizable(true);
    Scroll->setFrameShape(QFrame::NoFrame);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* Outer = new QVBoxLayout(pnlRight);
    Outer->setContentsMargins(0, 0, 0, 0);
    Outer->addWidget(Scroll);
    auto* Content = new QWidget;
    Content->setObjectName(QStringLiteral("pnlEditor"));
    Scroll->setWidget(Content);

    auto* Grid = new QGridLayout(Content);
    Grid->setContentsMargins(6, 6, 8, 6);
    Grid->setHorizontalSpacing(6);
    Grid->setVerticalSpacing(3);
    Grid->setColumnStretch(1, 1);

    auto MakeLabel = [&](int Field) {
        auto* L = new QLabel;
        L->setObjectName(QStringLiteral("lbl") + QLatin1String(kFieldControlNames[Field] + 3));
        Caption(L, QLatin1String(kFieldLabels[Field]));
        return L;
    };
    for (int f = 0; f < TMainModel::kFieldCount; ++f) {
        if (!TMainModel::FieldHasSuggestions(f)) continue;
        auto* Combo = new QComboBox;
        Combo->setObjectName(QLatin1String(kFieldControlNames[f]));
        Combo->setEditable(true);
        Combo->setInsertPolicy(QComboBox::NoInsert);
        Combo->setMinimumContentsLength(3);
        Combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        Combo->setCompleter(nullptr);
        FCombos[f] = Combo;
        connect(Combo, &QComboBox::editTextChanged, this, [this, f](const QString& T) { EditorTextEdited(f, T); });
    }
    memComment = new QPlainTextEdit;
    memComment->setObjectName(QStringLiteral("memComment"));
    memComment->setFixedHeight(3 * memComment->fontMetrics().lineSpacing() + 14);
    memLyrics = new QPlainTextEdit;
    memLyrics->setObjectName(QStringLiteral("memLyrics"));
    memLyrics->setMinimumHeight(60);
    auto MemoText = [](QPlainTextEdit* Memo, bool CrLf) {
        QString Text = Memo->toPlainText();
        return CrLf ? Text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")) : Text;
    };
    connect(memComment, &QPlainTextEdit::textChanged, this,
            [this, MemoText] { EditorTextEdited(TMainModel::efComment, MemoText(memComment, FCommentCrLf)); });
    connect(memLyrics, &QPlainTextEdit::textChanged, this,
            [this, MemoText] { EditorTextEdited(TMainModel::efLyrics, MemoText(memLyrics, FLyricsCrLf)); });

    // Two columns: labels and fields. The paired rows get their own boxes so
    // that their labels do not widen the label column.
    int Row = 0;
    auto* TrackRow = new QHBoxLayout;
    TrackRow->setSpacing(6);
    TrackRow->addWidget(MakeLabel(TMainModel::efTrack));
    TrackRow->addWidget(FCombos[TMainModel::efTrack], 1);
    TrackRow->addSpacing(6);
    TrackRow->addWidget(MakeLabel(TMainModel::efDisc));
    TrackRow->addWidget(FCombos[TMainModel::efDisc], 1);
    Grid->addLayout(TrackRow, Row++, 0, 1, 2);
    Grid->setRowMinimumHeight(Row++, 4);
    // Title, Artist, Album: label above a full-width field.
    for (int f : {TMainModel::efTitle, TMainModel::efArtist, TMainModel::efAlbum}) {
        Grid->addWidget(MakeLabel(f), Row++, 0, 1, 2);
        Grid->addWidget(FCombos[f], Row++, 0, 1, 2);
    }
    // "Year" and "Genre" side by side.
    auto* YearGenre = new QGridLayout;
    YearGenre->setHorizontalSpacing(6);
    YearGenre->setVerticalSpacing(3);
    YearGenre->addWidget(MakeLabel(TMainModel::efYear), 0, 0);
    YearGenre->addWidget(MakeLabel(TMainModel::efGenre), 0, 1);
    YearGenre->addWidget(FCombos[TMainModel::efYear], 1, 0);
    YearGenre->addWidget(FCombos[TMainModel::efGenre], 1, 1);
    YearGenre->setColumnStretch(0, 2);
    YearGenre->setColumnStretch(1, 3);
    Grid->addLayout(YearGenre, Row++, 0, 1, 2);
    Grid->addWidget(MakeLabel(TMainModel::efComment), Row++, 0, 1, 2);
    Grid->addWidget(memComment, Row++, 0, 1, 2);
    Grid->setRowMinimumHeight(Row++, 6);
    // The rest: label left, field right.
    for (int f : {TMainModel::efAlbumArtist, TMainModel::efComposer, TMainModel::efOrigArtist, TMainModel::efCopyright,
                  TMainModel::efURL, TMainModel::efEncodedBy, TMainModel::efBPM}) {
        Grid->addWidget(MakeLabel(f), Row, 0);
        Grid->addWidget(FCombos[f], Row++, 1);
    }
    Grid->setRowMinimumHeight(Row++, 4);
    Grid->addWidget(MakeLabel(TMainModel::efLyrics), Row++, 0, 1, 2);
    Grid->addWidget(memLyrics, Row, 0, 1, 2);
    Grid->setRowStretch(Row, 1);
    return pnlRight;
}

void TFrmMain::ShowEditorFromModel() {
    for (int f = 0; f < TMainModel::kFieldCount; ++f) {
        const QString Text = FModel->EditorText(f);
        if (QComboBox* Combo = FCombos[f]) {
            const QSignalBlocker Block(Combo);
            const QStringList Items = FModel->Suggestions(f);
            bool Same = Combo->count() == Items.size();
            for (int i = 0; Same && i < Items.size(); ++i) Same = Combo->itemText(i) == Items[i];
            if (!Same) {
                Combo->clear();
                Combo->addItems(Items);
            }
            Combo->setCurrentIndex(-1);
            Combo->setEditText(Text);
            Combo->lineEdit()->setCursorPosition(0);
        } else {
            QPlainTextEdit* Memo = f == TMainModel::efComment ? memComment : memLyrics;
            const QSignalBlocker Block(Memo);
            // Edits keep the line breaks the value came with (CR LF or LF).
            (f == TMainModel::efComment ? FCommentCrLf : FLyricsCrLf) = Text.contains(QStringLiteral("\r\n"));
            QString Shown = Text;
            Shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
            Memo->setPlainText(Shown);
        }
    }
}

void TFrmMain::EditorTextEdited(int Field, const QString& Text) { FModel->SetEditorText(Field, Text); }
