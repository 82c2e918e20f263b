// The main window's stored state ("set.ini"): geometry, folder, panel and
// column widths, and the first-run layout.
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

void TFrmMain::LoadSettings() {
    const TWindowSettings S = ReadWindowSettings(SettingsFileName());
    // Position and size first, so that un-maximising later returns to them.
    const QRect Current = geometry();
    move(S.Left.value_or(x()), S.Top.value_or(y()));
    resize(std::max(200, S.Width.value_or(Current.width())), std::max(150, S.Height.value_or(Current.height())));
    FStartMaximised = S.WindowState == 2;  // a stored minimised state opens normal

    if (S.FilesInFlight) FModel->SetLoadThreads(*S.FilesInFlight);
    if (!S.Folder.isEmpty()) {
        SelectFolderInTree(S.Folder);
    } else {
        const QString Music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        if (QDir(Music).exists()) {
            SelectFolderInTree(Music);
        } else {
            // No music folder: the tree opens at the home folder, which is
            // not scanned (it may hold far more than music); the empty list
            // says how to pick a folder.
            ShowFolderInTree(QDir::homePath());
        }
    }
    UpdatePickFolderHint();

    // The splitter distributes its width only once it is laid out; the panel
    // widths are applied when the window is first shown.
    FLeftWidth = std::max(0, S.LeftPanelWidth.value_or(kSidePanelWidth));
    FRightWidth = std::max(0, S.RightPanelWidth.value_or(kSidePanelWidth));

    if (S.ColumnWidths) {
        for (int c = 0; c < kListColumnCount; ++c) {
            const int Width = (*S.ColumnWidths)[c].value_or(lvFiles->columnWidth(c));
            lvFiles->setColumnWidth(c, std::max(0, Width));
        }
        FNeedInitDefaultColumnWidths = false;
    } else {
        FNeedInitDefaultColumnWidths = true;
    }
    if (FNeedInitDefaultColumnWidths) FStartMaximised = true;
}

void TFrmMain::SaveSettings() {
    TWindowSettings S;
    S.WindowState = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    if (S.WindowState == 0) {
        S.Left = x();
        S.Top = y();
        S.Width = width();
        S.Height = height();
    }
    S.Folder = FModel->SelectedFolder();
    QVector<std::optional<int>> Widths;
    for (int c = 0; c < kListColumnCount; ++c) Widths.append(lvFiles->columnWidth(c));
    S.ColumnWidths = Widths;
    const QList<int> Sizes = FSplitter->sizes();
    S.LeftPanelWidth = pnlLeft->isVisible() ? Sizes.value(0) : FLeftWidth;
    S.RightPanelWidth = Sizes.value(2);
    WriteWindowSettings(SettingsFileName(), S);
}

void TFrmMain::ApplyPanelWidths() {
    const QList<int> Sizes = FSplitter->sizes();
    if (Sizes.size() != 3) return;
    const int Total = Sizes[0] + Sizes[1] + Sizes[2];
    const int Left = pnlLeft->isVisible() ? FLeftWidth : 0;
    FSplitter->setSizes({Left, std::max(50, Total - Left - FRightWidth), FRightWidth});
}

void TFrmMain::InitDefaultColumnWidths() {
    if (!FNeedInitDefaultColumnWidths || !FShownOnce) return;
    const QVector<int> Widths = DefaultColumnWidths(lvFiles->width(), FModel->FileList().columnCount());
    FApplyingColumnWidths = true;
    for (int c = 0; c < Widths.size(); ++c) lvFiles->setColumnWidth(c, Widths[c]);
    FApplyingColumnWidths = false;
}
