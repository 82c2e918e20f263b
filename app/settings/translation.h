// TTranslation: the process-wide table of user-interface translations and the
// current language.
//
// Every text the user sees is written in English in the program and passed
// through Tr() before it is shown. Fixed texts are looked up first and the
// variable parts appended afterwards; format strings are looked up before they
// are formatted, so a translation keeps the placeholders of its English key.
//
// The table comes from "transl.dt" (UTF-8, one line per cell): line 1 holds
// the number of languages N, then every row is N consecutive lines, one per
// language. Row 0 holds the display names, row 1 the language codes, the
// following rows one text each; column 0 is English and is the lookup key.
//
// The table is built once on the GUI thread before any window exists and is
// only read afterwards; only the current language changes at run time.
#pragma once

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// Where the user's language choice is kept between runs. The program uses
// TSettingsLanguageStore; tests pass an in-memory one.
class ILanguageStore {
public:
    virtual ~ILanguageStore() = default;
    // The stored code, or an empty optional-like result (Found = false).
    virtual QString ReadLanguage(bool& Found) = 0;
    // Returns false when the choice could not be stored.
    virtual bool WriteLanguage(const QString& Code) = 0;
};

// The stored choice as the value "CurrentLanguage" of the application's
// per-user settings (organisation and application "Veltrano").
class TSettingsLanguageStore : public ILanguageStore {
public:
    QString ReadLanguage(bool& Found) override;
    bool WriteLanguage(const QString& Code) override;
};

class TTranslation {
public:
    static TTranslation& Instance();

    // Start-up: current code from the system language, overridden by the
    // stored choice; then the table from TableFile. Any failure of the table
    // leaves English without a message. Returns whether a table was loaded.
    bool Load(const QString& TableFile, ILanguageStore& Store,
              QLocale::Language SystemLanguage = QLocale::system().language());

    // Builds the table from the file's text. False (and no table) when the
    // text is not a table; the current language index is then 0.
    bool LoadTableText(const QString& Text);

    QString Lookup(const QString& English) const;
    // The raw cell of a text in one language: empty when the text is not in
    // the table or has no translation there.
    QString Cell(const QString& English, int Index) const;

    int LanguageCount() const { return static_cast<int>(FColumns.size()); }
    QString LanguageName(int Index) const;
    QString LanguageCode(int Index) const;
    int CurrentIndex() const { return FCurrentIndex; }
    QString CurrentCode() const { return FCurrentCode; }
    // Right to left for a language written that way (Arabic): the window
    // mirrors its layout while such a language is shown.
    Qt::LayoutDirection CurrentDirection() const;

    // Switches language for the rest of the run and stores the choice.
    // Returns false when the index is out of range (nothing changes).
    bool SelectLanguage(int Index, ILanguageStore& Store);

    // Forgets the table and returns to English (tests).
    void Reset();

    // The table's code for a system UI language ("en" for any other).
    static QString CodeForLanguage(QLocale::Language Language);
    // "transl.dt" beside the executable, else in ../share/veltrano/.
    static QString DefaultTableFile();

private:
    void ChooseIndexFromCode();

    QVector<QStringList> FColumns;   // FColumns[c][r]
    QHash<QString, int> FRowOfText;  // first row of each English text
    int FCurrentIndex = 0;
    QString FCurrentCode = QStringLiteral("en");
};

// The lookup every window, dialog and command uses before showing a text.
QString Tr(const QString& English);

// printf-style formatting of a (translated) format string: %d and %s take
// the next argument, %.Nd pads a number with zeros to N digits, %% is a
// percent sign. Missing arguments leave their placeholder as written.
QString FormatText(const QString& Format, const QVariantList& Args);
// Tr, then FormatText: FormatTr("Loaded %d files.", {Count}).
QString FormatTr(const QString& English, const QVariantList& Args);
