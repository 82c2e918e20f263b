// The preset file: the defaults byte for byte, escapes, wrong shapes, and a
// bad file kept instead of lost.
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/actions/preset_store.h"
#include "tests/test_util.h"

namespace {

QByteArray ReadAll(const QString& Path) {
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

void Write(const QString& Path, const QByteArray& Bytes) {
    QFile F(Path);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
    F.write(Bytes);
}

const QByteArray kDefaults =
    "\xEF\xBB\xBF"
    R"J({"lastPreset":"Quick Clean","presets":[{"name":"Quick Clean","actions":[)J"
    R"J({"kind":"TrimSpaces","target":"Title","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Title","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Artist","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Artist","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Album","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Album","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Year","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Year","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Track","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Track","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Genre","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Genre","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TrimSpaces","target":"Comment","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"CollapseSpaces","target":"Comment","source":"Title","search":"","replace":""}]},)J"
    R"J({"name":"Title Case (Title\/Artist\/Album)","actions":[)J"
    R"J({"kind":"TitleCase","target":"Title","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TitleCase","target":"Artist","source":"Title","search":"","replace":""},)J"
    R"J({"kind":"TitleCase","target":"Album","source":"Title","search":"","replace":""}]},)J"
    R"J({"name":"Scene Cleanup (_ . to space)","actions":[)J"
    R"J({"kind":"ReplaceText","target":"Title","source":"Title","search":"_","replace":" "},)J"
    R"J({"kind":"ReplaceText","target":"Title","source":"Title","search":".","replace":" "}]}]})J";

class PresetStoreTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    QString File = QString::fromStdString(Dir.file("QuickActionPresets.json"));
    QString Error;
};

TEST_F(PresetStoreTest, NoFileEmptyObjectOrNamelessPresetsGiveTheDefaultsByteForByte) {
    for (const QByteArray& Content :
         {QByteArray(), QByteArray("{}"), QByteArray("\xEF\xBB\xBF{\"presets\":[]}"),
          QByteArray(R"J({"lastPreset":"x","presets":[{"actions":[]},{"name":"","actions":[]}]})J")}) {
        QFile::remove(File);
        if (!Content.isEmpty()) Write(File, Content);
        TActionPresetStore Store(File);
        ASSERT_TRUE(Store.Load(Error)) << Error.toStdString();
        EXPECT_EQ(Store.PresetCount(), 3);
        EXPECT_EQ(Store.LastPresetName(), QStringLiteral("Quick Clean"));
        EXPECT_EQ(ReadAll(File), kDefaults) << Content.toStdString();
    }
}

TEST_F(PresetStoreTest, EscapesAndRoundTrip) {
    TActionPresetStore Store(File);
    Store.AddPreset({QStringLiteral("Caf\u00e9 \"a\"\\b/c\t\x01 \U0001F3B5"),
                     {{takCopyField, tfComment, tfGenre, QStringLiteral("s\u00fc"), QStringLiteral("r\n")},
                      {takCollapseSpaces, tfYear, tfTrack, QString(), QString()}}});
    Store.AddPreset({QStringLiteral("Empty"), {}});
    Store.SetLastPresetName(QStringLiteral("empty"));
    ASSERT_TRUE(Store.Save(Error));
    const QByteArray Bytes = ReadAll(File);
    EXPECT_TRUE(Bytes.contains(R"J("name":"Caf\u00E9 \"a\"\\b\/c\t\u0001 \uD83C\uDFB5")J")) << Bytes.toStdString();
    EXPECT_TRUE(Bytes.contains(R"J("search":"s\u00FC","replace":"r\n")J"));
    for (char C : Bytes.mid(3)) EXPECT_GE(static_cast<unsigned char>(C), 0x20u);

    TActionPresetStore Back(File);
    ASSERT_TRUE(Back.Load(Error));
    ASSERT_EQ(Back.PresetCount(), 2);
    EXPECT_EQ(Back.PresetByIndex(0)->Name, Store.PresetByIndex(0)->Name);
    EXPECT_EQ(Back.PresetByIndex(0)->Actions, Store.PresetByIndex(0)->Actions);
    EXPECT_TRUE(Back.PresetByIndex(1)->Actions.isEmpty());
    // A last preset differing in ASCII case only is kept as written.
    EXPECT_EQ(Back.LastPresetName(), QStringLiteral("empty"));
    EXPECT_EQ(Back.PresetByIndex(2), nullptr);
    Back.DeletePresetByIndex(-1);
    Back.DeletePresetByIndex(2);
    EXPECT_EQ(Back.PresetCount(), 2);
}

TEST_F(PresetStoreTest, ReaderTakesOtherSpellingsAndFallsBack) {
    Write(File, R"J({"lastPreset":"nobody","presets":[{"name":"Caf\u00e9 a/b","actions":[)J"
                R"J({"kind":" COPYFIELD ","target":"aLbUm"},{"kind":"Weird","target":"Disc","source":null,)J"
                R"J("search":12,"replace":true},{}]},{"name":7}]})J");
    TActionPresetStore Store(File);
    ASSERT_TRUE(Store.Load(Error)) << Error.toStdString();
    ASSERT_EQ(Store.PresetCount(), 2);
    const TActionPreset& P = *Store.PresetByIndex(0);
    EXPECT_EQ(P.Name, QStringLiteral("Caf\u00e9 a/b"));
    ASSERT_EQ(P.Actions.size(), 3);
    EXPECT_EQ(P.Actions[0], (TTagAction{takCopyField, tfAlbum, tfTitle, {}, {}}));
    EXPECT_EQ(P.Actions[1],
              (TTagAction{takTrimSpaces, tfTitle, tfTitle, QStringLiteral("12"), QStringLiteral("true")}));
    EXPECT_EQ(P.Actions[2], TTagAction());
    EXPECT_EQ(Store.PresetByIndex(1)->Name, QStringLiteral("7"));
    EXPECT_EQ(Store.LastPresetName(), P.Name);  // "nobody" names no preset
}

TEST_F(PresetStoreTest, WrongShapesFailAndLeaveTheFileAndTheListAlone) {
    const QByteArray Shapes[] = {
        "[1,2]",
        R"J({"presets":{}})J",
        R"J({"presets":[{"name":"A","actions":[]},3]})J",
        R"J({"presets":[{"name":"A","actions":"x"}]})J",
        R"J({"presets":[{"name":"A","actions":[[]]}]})J",
        R"J({"lastPreset":{},"presets":[]})J",
        R"J({"presets":[{"name":["A"]}]})J",
    };
    for (const QByteArray& Shape : Shapes) {
        TActionPresetStore Store(File);
        QFile::remove(File);
        ASSERT_TRUE(Store.Load(Error));  // the defaults
        Write(File, Shape);
        EXPECT_FALSE(Store.Load(Error)) << Shape.toStdString();
        EXPECT_FALSE(Error.isEmpty());
        // The presets in memory stay; the user's file is not overwritten.
        EXPECT_EQ(Store.PresetCount(), 3);
        EXPECT_EQ(Store.LastPresetName(), QStringLiteral("Quick Clean"));
        EXPECT_TRUE(Store.SaveBlocked());
        EXPECT_FALSE(Store.Save(Error));
        EXPECT_EQ(ReadAll(File), Shape);
        EXPECT_FALSE(QFile::exists(File + QStringLiteral(".bad")));
    }
}

TEST_F(PresetStoreTest, TextThatIsNotJsonIsKeptAsBadBeforeTheDefaults) {
    Write(File, "{");
    TActionPresetStore Store(File);
    ASSERT_TRUE(Store.Load(Error));
    EXPECT_EQ(ReadAll(File + QStringLiteral(".bad")), QByteArray("{"));
    EXPECT_EQ(ReadAll(File), kDefaults);
    EXPECT_EQ(Store.PresetCount(), 3);
}

TEST_F(PresetStoreTest, AFailedSaveLeavesTheOldFileWhole) {
    TActionPresetStore Store(File);
    ASSERT_TRUE(Store.Load(Error));
    Store.AddPreset({QStringLiteral("Mine"), {}});
    // The folder refuses new files: the temporary file cannot be made.
    ASSERT_EQ(::chmod(Dir.path().c_str(), 0500), 0);
    const bool Refused = ::geteuid() != 0;
    if (Refused) {
        EXPECT_FALSE(Store.Save(Error));
        EXPECT_FALSE(Error.isEmpty());
        EXPECT_EQ(ReadAll(File), kDefaults);
    }
    ::chmod(Dir.path().c_str(), 0700);
    // A missing folder fails cleanly wherever we run.
    TActionPresetStore Nowhere(QString::fromStdString(Dir.file("no/such/folder/p.json")));
    Nowhere.CreateDefaultPresets();
    EXPECT_FALSE(Nowhere.Save(Error));
    EXPECT_FALSE(Error.isEmpty());
}

}  // namespace
