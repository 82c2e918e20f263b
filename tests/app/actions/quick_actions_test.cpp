// Running presets over the selected files: one undo step, the last preset
// remembered, the menu's default, and the save.
#include <QFile>
#include <gtest/gtest.h>

#include "app/actions/preset_store.h"
#include "app/actions/quick_actions.h"
#include "app/commands.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class QuickActionsTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    testutil::TTempDir Settings;
    std::shared_ptr<TFakeTagService> Service = std::make_shared<TFakeTagService>();
    TScriptedUser User;
    TRecordingShell Shell;
    TMainModel Model{Service, User, Shell};
    TCommands Commands{Model, QString::fromStdString(Settings.file("QuickActionPresets.json"))};
    QString Error;

    QStringList AddFiles(int Count) {
        QStringList Paths;
        for (int i = 0; i < Count; ++i) {
            const QString Path = Q(Dir.file("f" + std::to_string(i) + ".mp3"));
            testutil::WriteFile(Path.toStdString(), std::string("x"));
            Service->Stored.insert(Path,
                                   MakeTag(Path, QStringLiteral("  my_song.%1  ").arg(i), QStringLiteral("a  b")));
            Paths.append(Path);
        }
        return Paths;
    }
    void SetUp() override { ASSERT_TRUE(Commands.LoadPresets(Error)); }
};

TEST_F(QuickActionsTest, APresetOverTenFilesIsOneUndoStepAndIsSaved) {
    const QStringList Paths = AddFiles(10);
    ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
    Model.SelectFiles(Paths);
    // Unapplied editor text is applied first, as its own step.
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("  new  album "));
    Commands.QuickActions().RunPreset(QStringLiteral(" quick clean "));
    EXPECT_EQ(Model.UndoCount(), 2);
    for (const QString& P : Paths) {
        EXPECT_EQ(Service->Stored[P].Artist, QStringLiteral("a b"));
        EXPECT_EQ(Service->Stored[P].Album, QStringLiteral("new album"));
        EXPECT_TRUE(Service->Stored[P].Title.startsWith(QStringLiteral("my_song.")));
    }
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 10 files. Errors: 0"));
    // The name as typed (trimmed) becomes the last preset and the default.
    EXPECT_EQ(Commands.PresetStore().LastPresetName(), QStringLiteral("quick clean"));
    EXPECT_TRUE(Commands.QuickActions().MenuItems()[0].IsDefault);

    Commands.QuickActions().RunPreset(QStringLiteral("Scene Cleanup (_ . to space)"));
    EXPECT_EQ(Service->Stored[Paths[3]].Title, QStringLiteral("my song 3"));
    // Ctrl+Q runs that one again; after a restart too.
    TActionPresetStore Again(Commands.PresetStore().FileName());
    ASSERT_TRUE(Again.Load(Error));
    EXPECT_EQ(Again.LastPresetName(), QStringLiteral("Scene Cleanup (_ . to space)"));

    // One Undo takes back the whole preset run on all files.
    Model.Undo();
    EXPECT_EQ(Service->Stored[Paths[3]].Title, QStringLiteral("my_song.3"));
    EXPECT_EQ(Service->Stored[Paths[9]].Title, QStringLiteral("my_song.9"));
}

TEST_F(QuickActionsTest, UnknownEmptyAndBlankPresets) {
    const QStringList Paths = AddFiles(1);
    ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
    Model.SelectFiles(Paths);
    Commands.QuickActions().RunPreset(QStringLiteral("Nope"));
    EXPECT_EQ(User.Informed, QStringList{QStringLiteral("Preset not found: Nope")});
    Commands.PresetStore().AddPreset({QStringLiteral("Empty"), {}});
    Commands.QuickActions().RunPreset(QStringLiteral("Empty"));
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Preset has no actions: Empty"));
    Commands.PresetStore().SetLastPresetName(QString());
    Commands.QuickActions().RunLastPreset();
    EXPECT_EQ(User.Informed.size(), 2);
    EXPECT_EQ(Model.UndoCount(), 0);
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
}

TEST_F(QuickActionsTest, ANameWithAmpersandRunsAndTheEditorIsReadBack) {
    const QStringList Paths = AddFiles(1);
    ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path())));
    Model.SelectFiles(Paths);
    Commands.PresetStore().AddPreset({QStringLiteral("Rock & Roll"), {{takUpperCase, tfArtist, tfTitle, {}, {}}}});
    Commands.QuickActions().RunPreset(QStringLiteral("Rock & Roll"));
    EXPECT_EQ(Service->Stored[Paths[0]].Artist, QStringLiteral("A  B"));

    // The editor changed the file: the store reads it back when it closes.
    int MenuChanges = 0;
    QObject::connect(&Commands.QuickActions(), &TQuickActions::MenuChanged, [&] { ++MenuChanges; });
    Commands.QuickActions().SetEditorRunner([](TActionPresetStore& Store) {
        Store.DeletePresetByIndex(0);
        QString E;
        return Store.Save(E);
    });
    Commands.QuickActions().OpenPresetEditor();
    EXPECT_EQ(MenuChanges, 1);
    EXPECT_EQ(Commands.PresetStore().PresetCount(), 3);
    // An editor whose save failed keeps its change: nothing is read back.
    Commands.QuickActions().SetEditorRunner([](TActionPresetStore& Store) {
        Store.AddPreset({QStringLiteral("Unsaved"), {}});
        return false;
    });
    Commands.QuickActions().OpenPresetEditor();
    EXPECT_EQ(Commands.PresetStore().PresetCount(), 4);
}

}  // namespace
