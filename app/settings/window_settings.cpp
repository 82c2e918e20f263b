#include "app/settings/window_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char* const kApplicationTitle = "Veltrano";

std::optional<int> ReadInt(const QSettings& Ini, const QString& Key) {
    if (!Ini.contains(Key)) return std::nullopt;
    bool Ok = false;
    const int Value = Ini.value(Key).toInt(&Ok);
    return Ok ? std::optional<int>(Value) : std::nullopt;
}

// Integer division by 100 rounded to the nearest integer, halves to even.
int RoundPercent(long long Numerator) {
    long long Quotient = Numerator / 100;
    const long long Remainder = Numerator % 100;
    if (Remainder > 50 || (Remainder == 50 && (Quotient % 2) != 0)) ++Quotient;
    return static_cast<int>(Quotient);
}

}  // namespace

QString SettingsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(kApplicationTitle);
}

QString SettingsFileName() { return SettingsFolder() + QStringLiteral("/set.ini"); }

bool EnsureSettingsFolder() {
    const QString Folder = SettingsFolder();
    if (QDir(Folder).exists()) return true;
    return QDir().mkpath(Folder);  // a fresh account may not have its config folder yet
}

TWindowSettings ReadWindowSettings(const QString& FileName) {
    TWindowSettings S;
    QSettings Ini(FileName, QSettings::IniFormat);
    if (Ini.status() != QSettings::NoError) return S;
    S.WindowState = ReadInt(Ini, QStringLiteral("Main/WindowState")).value_or(0);
    S.Left = ReadInt(Ini, QStringLiteral("Main/Left"));
    S.Top = ReadInt(Ini, QStringLiteral("Main/Top"));
    S.Width = ReadInt(Ini, QStringLiteral("Main/Width"));
    S.Height = ReadInt(Ini, QStringLiteral("Main/Height"));
    S.Folder = Ini.value(QStringLiteral("Main/Folder")).toString();
    S.LeftPanelWidth = ReadInt(Ini, QStringLiteral("Main/pnlLeftWidth"));
    S.RightPanelWidth = ReadInt(Ini, QStringLiteral("Main/pnlRightWidth"));
    S.FilesInFlight = ReadInt(Ini, QStringLiteral("Main/FilesInFlight"));
    if (Ini.contains(QStringLiteral("Cols/W0"))) {
        QVector<std::optional<int>> Widths;
        for (int i = 0; i < kListColumnCount; ++i) Widths.append(ReadInt(Ini, QStringLiteral("Cols/W%1").arg(i)));
        S.ColumnWidths = Widths;
    }
    return S;
}

void WriteWindowSettings(const QString& FileName, const TWindowSettings& S) {
    QSettings Ini(FileName, QSettings::IniFormat);
    Ini.setValue(QStringLiteral("Main/WindowState"), S.WindowState);
    if (S.WindowState == 0) {
        if (S.Left) Ini.setValue(QStringLiteral("Main/Left"), *S.Left);
        if (S.Top) Ini.setValue(QStringLiteral("Main/Top"), *S.Top);
        if (S.Width) Ini.setValue(QStringLiteral("Main/Width"), *S.Width);
        if (S.Height) Ini.setValue(QStringLiteral("Main/Height"), *S.Height);
    }
    Ini.setValue(QStringLiteral("Main/Folder"), S.Folder);
    if (S.ColumnWidths) {
        for (int i = 0; i < S.ColumnWidths->size(); ++i) {
            if ((*S.ColumnWidths)[i]) Ini.setValue(QStringLiteral("Cols/W%1").arg(i), *(*S.ColumnWidths)[i]);
        }
    }
    if (S.LeftPanelWidth) Ini.setValue(QStringLiteral("Main/pnlLeftWidth"), *S.LeftPanelWidth);
    if (S.RightPanelWidth) Ini.setValue(QStringLiteral("Main/pnlRightWidth"), *S.RightPanelWidth);
    Ini.sync();
}

QVector<int> DefaultColumnWidths(int PanelWidth, int ColumnCount) {
    static constexpr int kPercent[kListColumnCount] = {18, 20, 15, 10, 8, 10, 7, 7, 5};
    QVector<int> Widths;
    if (ColumnCount != kListColumnCount) return Widths;
    for (int P : kPercent) Widths.append(RoundPercent(static_cast<long long>(PanelWidth) * P));
    return Widths;
}
