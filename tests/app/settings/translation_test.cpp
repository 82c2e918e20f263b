// The translation table: loading "transl.dt", the lookup, the language choice,
// and the shipped table covering every text the window shows.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/file_ops/tags_from_names.h"
#include "app/fields/all_fields_model.h"
#include "app/fields/picture_list_model.h"
#include "app/lookup/auto_tag_pick.h"
#include "app/settings/translation.h"
#include "tests/test_util.h"

namespace {

class TMemoryLanguageStore : public ILanguageStore {
public:
    bool HasValue = false;
    QString Value;
    int Writes = 0;
    QString ReadLanguage(bool& Found) override {
        Found = HasValue;
        return Value;
    }
    bool WriteLanguage(const QString& Code) override {
        HasValue = true;
        Value = Code;
        ++Writes;
        return true;
    }
};

// Three languages; the Greeting row has no German text.
const char* const kTable =
    "\xEF\xBB\xBF"
    "3\r\n"
    "English\r\nDeutsch\r\nFran\xC3\xA7"
    "ais\r\n"
    "en\r\nde\r\nfr\r\n"
    "Save\r\nSpeichern\r\nEnregistrer\r\n"
    "Greeting\r\n\r\nBonjour\r\n"
    "Loaded %d files.\r\n%d Dateien geladen.\r\n%d fichiers charg\xC3\xA9s.\r\n"
    "Orphan\r\nWaise\r\n";  // incomplete last row: ignored

class TranslationTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    TMemoryLanguageStore Store;
    TTranslation& T = TTranslation::Instance();
    QString TableFile = QString::fromStdString(Dir.file("transl.dt"));

    void SetUp() override { testutil::WriteFile(TableFile.toStdString(), std::string(kTable)); }
    void TearDown() override { T.Reset(); }
};

TEST_F(TranslationTest, StoredCodeChoosesTheLanguageWithoutRegardToCase) {
    Store.HasValue = true;
    Store.Value = QStringLiteral("DE");
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::French));
    EXPECT_EQ(T.LanguageCount(), 3);
    EXPECT_EQ(T.CurrentIndex(), 1);
    EXPECT_EQ(Tr(QStringLiteral("Save")), QStringLiteral("Speichern"));
    EXPECT_EQ(Tr(QStringLiteral("Greeting")), QStringLiteral("Greeting"));  // empty cell
    EXPECT_EQ(Tr(QStringLiteral("Not in the table")), QStringLiteral("Not in the table"));
    EXPECT_EQ(Tr(QStringLiteral("save")), QStringLiteral("save"));      // keys are case-sensitive
    EXPECT_EQ(Tr(QStringLiteral("Orphan")), QStringLiteral("Orphan"));  // incomplete row
    EXPECT_EQ(FormatTr("Loaded %d files.", {12}), QStringLiteral("12 Dateien geladen."));
    EXPECT_EQ(T.LanguageName(2), QStringLiteral("Fran\u00e7ais"));  // BOM skipped, UTF-8 read
    EXPECT_EQ(Store.Writes, 0);
}

TEST_F(TranslationTest, SystemLanguageAppliesWithoutAStoredChoice) {
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::French));
    EXPECT_EQ(T.CurrentCode(), QStringLiteral("fr"));
    EXPECT_EQ(Tr(QStringLiteral("Greeting")), QStringLiteral("Bonjour"));
    // Portuguese is not in this table: English.
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::Portuguese));
    EXPECT_EQ(T.CurrentCode(), QStringLiteral("pt"));
    EXPECT_EQ(T.CurrentIndex(), 0);
    // A stored code the table lacks also gives English and stays stored.
    Store.HasValue = true;
    Store.Value = QStringLiteral("xx");
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::German));
    EXPECT_EQ(T.CurrentIndex(), 0);
    EXPECT_EQ(Store.Value, QStringLiteral("xx"));
}

TEST_F(TranslationTest, EnglishMakesNoSearch) {
    // Column 0 spells "Save" so; with English active the text comes back as given.
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::English));
    EXPECT_EQ(T.CurrentIndex(), 0);
    EXPECT_EQ(Tr(QStringLiteral("Speichern")), QStringLiteral("Speichern"));
}

TEST_F(TranslationTest, SelectingALanguageSwitchesAndStoresIt) {
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::English));
    EXPECT_TRUE(T.SelectLanguage(2, Store));
    EXPECT_EQ(Store.Value, QStringLiteral("fr"));
    EXPECT_EQ(Tr(QStringLiteral("Save")), QStringLiteral("Enregistrer"));
    EXPECT_FALSE(T.SelectLanguage(3, Store));
    EXPECT_FALSE(T.SelectLanguage(-1, Store));
    EXPECT_EQ(T.CurrentIndex(), 2);
    EXPECT_EQ(Store.Writes, 1);
}

// Arabic mirrors the window; every other language, and English, does not,
// also when the stored choice is Arabic but the table has no Arabic column.
TEST_F(TranslationTest, ArabicIsWrittenRightToLeft) {
    ASSERT_TRUE(T.LoadTableText(QStringLiteral("3\nEnglish\n\u0627\nJ\nen\nar\njp\nSave\nS-ar\nS-jp\n")));
    const std::pair<int, Qt::LayoutDirection> Cases[] = {
        {1, Qt::RightToLeft}, {2, Qt::LeftToRight}, {0, Qt::LeftToRight}};
    for (const auto& [Index, Direction] : Cases) {
        ASSERT_TRUE(T.SelectLanguage(Index, Store));
        EXPECT_EQ(T.CurrentDirection(), Direction) << Index;
    }
    Store.HasValue = true;
    Store.Value = QStringLiteral("ar");
    ASSERT_TRUE(T.Load(TableFile, Store, QLocale::Arabic));
    EXPECT_EQ(T.CurrentIndex(), 0);
    EXPECT_EQ(T.CurrentDirection(), Qt::LeftToRight);
}

TEST_F(TranslationTest, BrokenTablesGiveEnglishAndNoLanguages) {
    const char* const Broken[] = {
        "",                      // empty file
        "three\nEnglish\nen\n",  // not a number
        "0\nEnglish\nen\n",      // no languages
        "-2\nA\nB\n",
        "2\nEnglish\nDeutsch\n",  // names only, no codes
    };
    for (const char* Text : Broken) {
        testutil::WriteFile(TableFile.toStdString(), std::string(Text));
        Store.HasValue = true;
        Store.Value = QStringLiteral("de");
        EXPECT_FALSE(T.Load(TableFile, Store, QLocale::German)) << Text;
        EXPECT_EQ(T.LanguageCount(), 0) << Text;
        EXPECT_EQ(Tr(QStringLiteral("Save")), QStringLiteral("Save"));
    }
    EXPECT_FALSE(T.Load(QString::fromStdString(Dir.file("missing.dt")), Store, QLocale::German));
    EXPECT_EQ(T.CurrentIndex(), 0);
}

TEST(TranslationCodes, SystemLanguagesMapToTheTablesCodes) {
    const std::pair<QLocale::Language, const char*> Cases[] = {
        {QLocale::Arabic, "ar"},  {QLocale::Chinese, "cn"},    {QLocale::Czech, "cs"},   {QLocale::German, "de"},
        {QLocale::Greek, "el"},   {QLocale::Spanish, "es"},    {QLocale::French, "fr"},  {QLocale::Hungarian, "hu"},
        {QLocale::Italian, "it"}, {QLocale::Japanese, "jp"},   {QLocale::Korean, "kr"},  {QLocale::Dutch, "nl"},
        {QLocale::Polish, "pl"},  {QLocale::Portuguese, "pt"}, {QLocale::Turkish, "tr"}, {QLocale::Swedish, "en"},
        {QLocale::English, "en"},
    };
    for (const auto& [Language, Code] : Cases)
        EXPECT_EQ(TTranslation::CodeForLanguage(Language), QLatin1String(Code)) << Code;
}

TEST(TranslationFormat, PlaceholdersTakeTheirArgumentsInOrder) {
    EXPECT_EQ(FormatText(QStringLiteral("Saved tags to %d files. Errors: %d"), {3, 0}),
              QStringLiteral("Saved tags to 3 files. Errors: 0"));
    EXPECT_EQ(FormatText(QStringLiteral("%d:%.2d"), {3, 5}), QStringLiteral("3:05"));
    EXPECT_EQ(FormatText(QStringLiteral("%s has 100%%"), {QStringLiteral("x")}), QStringLiteral("x has 100%"));
    EXPECT_EQ(FormatText(QStringLiteral("%d and %d"), {1}), QStringLiteral("1 and %d"));  // missing argument
    EXPECT_EQ(FormatText(QStringLiteral("ends in %"), {}), QStringLiteral("ends in %"));
}

// Every text the window passes through Tr("...") is in the shipped table,
// and every row of the table has a line in each of its languages with the
// same placeholders (%d, %s, and the rename pattern's %artist% ...).
TEST(ShippedTable, TranslatesEveryTextOfTheWindow) {
    const QString Source = QString::fromStdString(testutil::SourceDir());
    TMemoryLanguageStore Store;
    TTranslation& T = TTranslation::Instance();
    ASSERT_TRUE(T.Load(Source + QStringLiteral("/share/transl.dt"), Store, QLocale::English));
    QStringList Codes;
    for (int c = 0; c < T.LanguageCount(); ++c) Codes.append(T.LanguageCode(c));
    ASSERT_EQ(Codes.join(u' '), QStringLiteral("en de fr es ar cn cs el hu it jp kr nl pl pt tr"));
    // One language per code of the system-language table, each column its own name.
    QSet<QString> Names;
    for (int c = 0; c < T.LanguageCount(); ++c) Names.insert(T.LanguageName(c));
    EXPECT_EQ(Names.size(), T.LanguageCount());

    // The window's own files: app/ (without the folders of other subsystems),
    // app/settings/ and the command sets in app/actions/ and app/file_ops/.
    const QRegularExpression Call(
        QStringLiteral(R"re(\b(?:Tr|FormatTr)\(\s*(?:QStringLiteral\(\s*)?"((?:[^"\\]|\\.)*)")re"));
    // Adjacent literals are one text to the compiler.
    const QRegularExpression Adjacent(QStringLiteral(R"re("\s*\n\s*")re"));
    const QRegularExpression ActionCall(QStringLiteral(
        R"re(MakeAction\(QStringLiteral\("\w+"\),\s*QStringLiteral\("([^"]*)"\)(?:,\s*QStringLiteral\("([^"]*)"\))?)re"));
    const QRegularExpression CaptionCall(QStringLiteral(R"re(\bCaption\(\w+,\s*QStringLiteral\("([^"]*)"\))re"));
    const QRegularExpression Literal(QStringLiteral(R"re("([^"]*)")re"));
    const QRegularExpression Placeholder(QStringLiteral("%[.0-9]*[ds]|%[a-z]+%"));
    QSet<QString> Texts;
    for (const QString& Folder :
         {QStringLiteral("/app"), QStringLiteral("/app/settings"), QStringLiteral("/app/actions"),
          QStringLiteral("/app/file_ops"), QStringLiteral("/app/lookup"), QStringLiteral("/app/fields")}) {
        QDir D(Source + Folder);
        for (const QString& Name : D.entryList({QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files)) {
            QFile F(D.filePath(Name));
            ASSERT_TRUE(F.open(QIODevice::ReadOnly));
            const QString Code = QString::fromUtf8(F.readAll()).replace(Adjacent, QString());
            for (auto It = Call.globalMatch(Code); It.hasNext();) {
                QString Text = It.next().captured(1);
                Text.replace(QStringLiteral("\\n"), QStringLiteral("\n"))
                    .replace(QStringLiteral("\\\""), QStringLiteral("\""));
                Texts.insert(Text);
            }
            // Captions the window registers: MakeAction(name, text[, tool tip]), Caption(control, text).
            for (auto It = ActionCall.globalMatch(Code); It.hasNext();) {
                const QRegularExpressionMatch M = It.next();
                Texts.insert(M.captured(1));
                if (!M.captured(2).isEmpty()) Texts.insert(M.captured(2));
            }
            for (auto It = CaptionCall.globalMatch(Code); It.hasNext();) Texts.insert(It.next().captured(1));
            const qsizetype Labels = Code.indexOf(QStringLiteral("kFieldLabels["));
            if (Labels >= 0) {
                const QString Block = Code.mid(Labels, Code.indexOf(QStringLiteral("};"), Labels) - Labels);
                for (auto It = Literal.globalMatch(Block); It.hasNext();) Texts.insert(It.next().captured(1));
            }
        }
    }
    // The command table: captions, tool tips, menu titles.
    for (const TCommandInfo& C : CommandTable()) {
        Texts.insert(QLatin1String(C.Caption));
        if (C.ToolTip) Texts.insert(QLatin1String(C.ToolTip));
    }
    for (const auto* Menus : {&MainMenus(), &SubMenus()}) {
        for (const TMenuInfo& M : *Menus) Texts.insert(QLatin1String(M.Title));
    }
    // Captions kept as data rather than in Tr("...") calls.
    for (const char* Caption :
         {"File", "Directory", "Title", "Artist", "Album Artist", "Album", "Duration", "Year", "Track"})
        Texts.insert(QLatin1String(Caption));
    for (const QString& Caption : TAutoTagPickModel::ColumnCaptions()) Texts.insert(Caption);
    Texts.insert(TAutoTagPickModel::NoteText());
    // The file-name preview's value columns and its "no match".
    TNamePattern Every;
    QString PatternError;
    ASSERT_TRUE(Every.Parse(TNamePattern::PlaceholderNames().join(u' '), PatternError));
    for (int Field : Every.Fields()) Texts.insert(TNameGuessPreview::FieldCaption(Field));
    Texts.insert(TNameGuessPreview::NoMatchText());
    Texts.insert(TAutoTagPickModel::ReplaceCoversCaption());
    Texts.insert(TAutoTagPickModel::ReplaceCoversHint());
    for (const QStringList& Captions :
         {TAllFieldsModel::ColumnCaptions(), TPictureListModel::ColumnCaptions(), TPictureListModel::TypeCaptions()})
        for (const QString& Caption : Captions) Texts.insert(Caption);
    ASSERT_GT(Texts.size(), 60);
    for (const QString& Text : Texts)
        EXPECT_FALSE(T.Cell(Text, 0).isEmpty()) << "not in the table: \"" << Text.toStdString() << "\"";
    // Beyond the window's texts, every row the table holds.
    QFile Table(Source + QStringLiteral("/share/transl.dt"));
    ASSERT_TRUE(Table.open(QIODevice::ReadOnly));
    const QStringList Lines = QString::fromUtf8(Table.readAll()).split(QLatin1Char('\n'));
    for (int Line = 1 + 2 * T.LanguageCount(); Line + T.LanguageCount() <= Lines.size(); Line += T.LanguageCount())
        Texts.insert(Lines[Line]);

    for (int c = 1; c < T.LanguageCount(); ++c) {
        for (const QString& Text : Texts) {
            const QString Translated = T.Cell(Text, c);
            EXPECT_FALSE(Translated.isEmpty()) << Codes[c].toStdString() << ": \"" << Text.toStdString() << "\"";
            QStringList Want, Have;
            for (auto It = Placeholder.globalMatch(Text); It.hasNext();) Want.append(It.next().captured());
            for (auto It = Placeholder.globalMatch(Translated); It.hasNext();) Have.append(It.next().captured());
            EXPECT_EQ(Have, Want) << Codes[c].toStdString() << ": \"" << Text.toStdString() << "\"";
            // A text that a name or path follows keeps its closing space.
            EXPECT_EQ(Translated.endsWith(u' '), Text.endsWith(u' '))
                << Codes[c].toStdString() << ": \"" << Text.toStdString() << "\"";
        }
    }
    T.Reset();
}

}  // namespace
