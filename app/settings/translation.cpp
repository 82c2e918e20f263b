#include "app/settings/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString kLanguageValue = QStringLiteral("CurrentLanguage");

// Splits at CR, LF and CR LF. A break at the very end does not start another
// line, so a file saved with a final newline has the same lines as one without.
QStringList SplitLines(const QString& Text) {
    QStringList Lines;
    QString Current;
    const int Size = static_cast<int>(Text.size());
    for (int i = 0; i < Size; ++i) {
        const QChar C = Text[i];
        if (C == QLatin1Char('\r') || C == QLatin1Char('\n')) {
            Lines.append(Current);
            Current.clear();
            if (C == QLatin1Char('\r') && i + 1 < Size && Text[i + 1] == QLatin1Char('\n')) ++i;
        } else {
            Current.append(C);
        }
    }
    if (!Current.isEmpty()) Lines.append(Current);
    return Lines;
}

}  // namespace

QString TSettingsLanguageStore::ReadLanguage(bool& Found) {
    QSettings Settings(QStringLiteral("Veltrano"), QStringLiteral("Veltrano"));
    Found = Settings.contains(kLanguageValue);
    return Found ? Settings.value(kLanguageValue).toString() : QString();
}

bool TSettingsLanguageStore::WriteLanguage(const QString& Code) {
    QSettings Settings(QStringLiteral("Veltrano"), QStringLiteral("Veltrano"));
    if (!Settings.isWritable()) return false;
    Settings.setValue(kLanguageValue, Code);
    Settings.sync();
    return Settings.status() == QSettings::NoError;
}

TTranslation& TTranslation::Instance() {
    static TTranslation Table;
    return Table;
}

void TTranslation::Reset() {
    FColumns.clear();
    FRowOfText.clear();
    FCurrentIndex = 0;
    FCurrentCode = QStringLiteral("en");
}

bool TTranslation::Load(const QString& TableFile, ILanguageStore& Store, QLocale::Language SystemLanguage) {
    Reset();
    FCurrentCode = CodeForLanguage(SystemLanguage);
    bool Found = false;
    const QString Stored = Store.ReadLanguage(Found);
    if (Found) FCurrentCode = Stored;

    QFile File(TableFile);
    if (!File.open(QIODevice::ReadOnly)) return false;  // no table: English, nothing reported
    // QString::fromUtf8 drops a leading byte-order mark.
    const QString Text = QString::fromUtf8(File.readAll());
    if (!LoadTableText(Text)) return false;
    ChooseIndexFromCode();
    return true;
}

bool TTranslation::LoadTableText(const QString& Text) {
    FColumns.clear();
    FRowOfText.clear();
    FCurrentIndex = 0;

    QStringList Lines = SplitLines(Text);
    if (!Lines.isEmpty() && Lines.first().startsWith(QChar(0xFEFF))) Lines.first().remove(0, 1);
    if (Lines.isEmpty()) return false;
    bool Ok = false;
    const qsizetype N = Lines.first().trimmed().toInt(&Ok);
    if (!Ok || N <= 0) return false;
    const qsizetype Rows = (Lines.size() - 1) / N;  // an incomplete last row is ignored
    // Without the names and codes rows there is no language to offer.
    if (Rows < 2) return false;

    FColumns.resize(N);
    for (qsizetype c = 0; c < N; ++c) {
        QStringList& Column = FColumns[c];
        Column.reserve(Rows);
        for (qsizetype r = 0; r < Rows; ++r) Column.append(Lines[1 + r * N + c]);
    }
    const QStringList& English = FColumns[0];
    for (qsizetype r = 0; r < Rows; ++r) {
        if (!FRowOfText.contains(English[r])) FRowOfText.insert(English[r], static_cast<int>(r));
    }
    ChooseIndexFromCode();
    return true;
}

void TTranslation::ChooseIndexFromCode() {
    FCurrentIndex = 0;
    for (int c = 0; c < LanguageCount(); ++c) {
        if (LanguageCode(c).compare(FCurrentCode, Qt::CaseInsensitive) == 0) {
            FCurrentIndex = c;
            return;
        }
    }
}

QString TTranslation::Lookup(const QString& English) const {
    if (FCurrentIndex == 0 || FCurrentIndex >= LanguageCount()) return English;
    const auto It = FRowOfText.constFind(English);
    if (It == FRowOfText.constEnd()) return English;
    const QString& Translated = FColumns[FCurrentIndex][It.value()];
    return Translated.isEmpty() ? English : Translated;
}

QString TTranslation::Cell(const QString& English, int Index) const {
    const auto It = FRowOfText.constFind(English);
    if (It == FRowOfText.constEnd() || Index < 0 || Index >= LanguageCount()) return QString();
    return FColumns[Index][It.value()];
}

QString TTranslation::LanguageName(int Index) const {
    return Index >= 0 && Index < LanguageCount() ? FColumns[Index].value(0) : QString();
}

QString TTranslation::LanguageCode(int Index) const {
    return Index >= 0 && Index < LanguageCount() ? FColumns[Index].value(1) : QString();
}

Qt::LayoutDirection TTranslation::CurrentDirection() const {
    // The table's own codes ("cn", "jp", "kr") are not all ISO codes, so only
    // the column's code decides, and only for a language that is shown.
    if (FCurrentIndex <= 0 || FCurrentIndex >= LanguageCount()) return Qt::LeftToRight;
    const QString Code = LanguageCode(FCurrentIndex).toLower();
    for (const char* RightToLeft : {"ar", "he", "fa", "ur"})
        if (Code == QLatin1String(RightToLeft)) return Qt::RightToLeft;
    return Qt::LeftToRight;
}

bool TTranslation::SelectLanguage(int Index, ILanguageStore& Store) {
    if (Index < 0 || Index >= LanguageCount()) return false;
    FCurrentIndex = Index;
    FCurrentCode = LanguageCode(Index);
    Store.WriteLanguage(FCurrentCode);  // a choice that cannot be stored still applies to this run
    return true;
}

QString TTranslation::CodeForLanguage(QLocale::Language Language) {
    switch (Language) {
        case QLocale::Arabic: return QStringLiteral("ar");
        case QLocale::Chinese: return QStringLiteral("cn");
        case QLocale::Czech: return QStringLiteral("cs");
        case QLocale::German: return QStringLiteral("de");
        case QLocale::Greek: return QStringLiteral("el");
        case QLocale::Spanish: return QStringLiteral("es");
        case QLocale::French: return QStringLiteral("fr");
        case QLocale::Hungarian: return QStringLiteral("hu");
        case QLocale::Italian: return QStringLiteral("it");
        case QLocale::Japanese: return QStringLiteral("jp");
        case QLocale::Korean: return QStringLiteral("kr");
        case QLocale::Dutch: return QStringLiteral("nl");
        case QLocale::Polish: return QStringLiteral("pl");
        case QLocale::Portuguese: return QStringLiteral("pt");
        case QLocale::Turkish: return QStringLiteral("tr");
        default: return QStringLiteral("en");
    }
}

QString TTranslation::DefaultTableFile() {
    const QString Dir = QCoreApplication::applicationDirPath();
    const QString Beside = QDir(Dir).filePath(QStringLiteral("transl.dt"));
    if (QFileInfo::exists(Beside)) return Beside;
    return QDir(Dir).filePath(QStringLiteral("../share/veltrano/transl.dt"));
}

QString Tr(const QString& English) { return TTranslation::Instance().Lookup(English); }

QString FormatText(const QString& Format, const QVariantList& Args) {
    QString Out;
    int NextArg = 0;
    const int Size = static_cast<int>(Format.size());
    for (int i = 0; i < Size; ++i) {
        const QChar C = Format[i];
        if (C != QLatin1Char('%') || i + 1 >= Size) {
            Out += C;
            continue;
        }
        if (Format[i + 1] == QLatin1Char('%')) {
            Out += QLatin1Char('%');
            ++i;
            continue;
        }
        // %[.N](d|s)
        int j = i + 1;
        int Digits = 0;
        if (Format[j] == QLatin1Char('.')) {
            ++j;
            while (j < Size && Format[j].isDigit() && Digits < 100) Digits = Digits * 10 + Format[j++].digitValue();
        }
        if (j >= Size || (Format[j] != QLatin1Char('d') && Format[j] != QLatin1Char('s')) || NextArg >= Args.size()) {
            Out += C;
            continue;
        }
        const QVariant& Arg = Args[NextArg++];
        if (Format[j] == QLatin1Char('d')) {
            const qlonglong Value = Arg.toLongLong();
            QString Number = QString::number(Value < 0 ? -Value : Value);
            if (Number.size() < Digits) Number = QString(Digits - Number.size(), QLatin1Char('0')) + Number;
            Out += (Value < 0 ? QStringLiteral("-") : QString()) + Number;
        } else {
            Out += Arg.toString();
        }
        i = j;
    }
    return Out;
}

QString FormatTr(const QString& English, const QVariantList& Args) { return FormatText(Tr(English), Args); }
