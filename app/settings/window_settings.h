// The main window's settings file "set.ini" in the per-user settings folder.
//
// TWindowSettings is what the file holds; every value read may be missing,
// in which case the window keeps what it has. Reading and writing are plain
// functions so that the window code only maps widgets to these values.
// Keys that a run does not write keep their old values in the file (a run
// that ends maximised keeps the last normal position and size).
#pragma once

#include <QString>
#include <QVector>
#include <optional>

inline constexpr int kListColumnCount = 9;

struct TWindowSettings {
    int WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
    std::optional<int> Left, Top, Width, Height;
    QString Folder;
    std::optional<int> LeftPanelWidth, RightPanelWidth;
    // Present only when the file holds "W0" in [Cols]; an entry may still be
    // missing for a single column.
    std::optional<QVector<std::optional<int>>> ColumnWidths;
    // "Main/FilesInFlight": files a folder scan loads at once (1 to 64; more
    // helps on a network share). Read only: the file's owner sets it.
    std::optional<int> FilesInFlight;
};

// The per-user settings folder (".../Veltrano") and its "set.ini".
QString SettingsFolder();
QString SettingsFileName();
// Creates the settings folder (and its parent, on a fresh account) when missing.
bool EnsureSettingsFolder();

// A missing or unreadable file gives the defaults.
TWindowSettings ReadWindowSettings(const QString& FileName);
// Writes WindowState, Folder, panel and column widths; Left/Top/Width/Height
// only when the state is normal (0) and they are set. Failures are silent.
void WriteWindowSettings(const QString& FileName, const TWindowSettings& Settings);

// Default list column widths for a list panel PanelWidth pixels wide:
// 18, 20, 15, 10, 8, 10, 7, 7 and 5 per cent, rounded to the nearest pixel
// with halves to even. Empty unless ColumnCount is the list's nine columns.
QVector<int> DefaultColumnWidths(int PanelWidth, int ColumnCount = kListColumnCount);
