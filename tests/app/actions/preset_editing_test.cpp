// The preset editors' rules: names unique without regard to ASCII case, the
// default preset always set, the action lines and the "Edit Action" OK.
#include <QFile>
#include <gtest/gtest.h>

#include "app/actions/preset_editing.h"
#include "app/actions/preset_store.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class PresetEditingTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    TActionPresetStore Store{QString::fromStdString(Dir.file("p.json"))};
    TScriptedUser User;
    QString Error;
    // What the actions editor "returns" next.
    bool EditorOk = true;
    QString EditorName;
    QVector<TTagAction> EditorActions;
    QStringList EditorSawNames;

    void SetUp() override { ASSERT_TRUE(Store.Load(Error)); }

    TPresetListEditor Editor() {
        return TPresetListEditor(Store, User, [this](QString& Name, QVector<TTagAction>& Actions) {
            EditorSawNames.append(Name);
            if (!EditorOk) return false;
            Name = EditorName;
            Actions = EditorActions;
            return true;
        });
    }
};

TEST_F(PresetEditingTest, AddRefusesANameThatExistsInOtherCase) {
    TPresetListEditor E = Editor();
    EXPECT_EQ(E.Selected(), 0);
    EXPECT_TRUE(E.DefaultTicked());
    EditorName = QStringLiteral("quick clean");
    E.Add();
    EXPECT_EQ(EditorSawNames, QStringList{QStringLiteral("New Preset")});
    EXPECT_EQ(User.Informed, QStringList{QStringLiteral("A preset with this name already exists.")});
    EXPECT_EQ(Store.PresetCount(), 3);

    EditorName = QStringLiteral("Mine");
    EditorActions = {{takUpperCase, tfArtist, tfTitle, {}, {}}};
    E.Add();
    EXPECT_EQ(E.Names().last(), QStringLiteral("Mine"));
    EXPECT_EQ(E.Selected(), 3);
    EXPECT_FALSE(E.DefaultTicked());  // adding does not change the default
    TActionPresetStore Back(Store.FileName());
    ASSERT_TRUE(Back.Load(Error));
    EXPECT_EQ(Back.PresetByIndex(3)->Actions, EditorActions);
}

TEST_F(PresetEditingTest, RenamingTheDefaultInOtherCaseCarriesTheDefaultAlong) {
    TPresetListEditor E = Editor();
    EditorName = QStringLiteral("QUICK CLEAN");
    EditorActions = {};
    E.Edit();
    EXPECT_TRUE(User.Informed.isEmpty());
    EXPECT_EQ(Store.LastPresetName(), QStringLiteral("QUICK CLEAN"));
    EXPECT_TRUE(E.DefaultTicked());
    // Renaming to another preset's name is refused.
    E.Select(1);
    EditorName = QStringLiteral("quick clean");
    E.Edit();
    EXPECT_EQ(User.Informed.size(), 1);
    EXPECT_EQ(Store.PresetByIndex(1)->Name, QStringLiteral("Title Case (Title/Artist/Album)"));
    // Selecting does not change the default; ticking does; clearing cannot.
    EXPECT_FALSE(E.DefaultTicked());
    E.SetDefaultTicked(false);
    EXPECT_EQ(Store.LastPresetName(), QStringLiteral("QUICK CLEAN"));
    E.SetDefaultTicked(true);
    EXPECT_EQ(Store.LastPresetName(), QStringLiteral("Title Case (Title/Artist/Album)"));
    E.SetDefaultTicked(false);
    EXPECT_TRUE(E.DefaultTicked());
}

TEST_F(PresetEditingTest, DeletingTheDefaultOrTheLastPreset) {
    TPresetListEditor E = Editor();
    User.ConfirmAnswers = {false, true};
    E.Delete();
    EXPECT_EQ(Store.PresetCount(), 3);
    E.Delete();
    EXPECT_EQ(User.Confirmations.last(), QStringLiteral("Delete preset \"Quick Clean\"?"));
    EXPECT_EQ(Store.LastPresetName(), QStringLiteral("Title Case (Title/Artist/Album)"));
    EXPECT_EQ(E.Selected(), 0);
    User.ConfirmAnswers = {true, true};
    E.Delete();
    E.Delete();
    // None left: the defaults come back with Quick Clean the default.
    EXPECT_EQ(Store.PresetCount(), 3);
    EXPECT_EQ(Store.LastPresetName(), QStringLiteral("Quick Clean"));
    EXPECT_TRUE(E.AllSaved());
}

TEST_F(PresetEditingTest, ASaveThatFailsIsShownAndRemembered) {
    TPresetListEditor E = Editor();
    // A wrong-shaped file on disk blocks saving over it.
    {
        QFile F(Store.FileName());
        F.open(QIODevice::WriteOnly | QIODevice::Truncate);
        F.write("[]");
    }
    EXPECT_FALSE(Store.Load(Error));
    EditorName = QStringLiteral("Kept");
    E.Add();
    EXPECT_EQ(User.Errors.size(), 1);
    EXPECT_FALSE(E.AllSaved());
    EXPECT_EQ(Store.PresetCount(), 4);  // the change stays in memory
}

TEST_F(PresetEditingTest, ActionLinesAndTheActionsList) {
    Store.CreateDefaultPresets();
    EXPECT_EQ(ActionLine(Store.PresetByIndex(2)->Actions[0]), QStringLiteral("Replace text -> Title (\"_\" => \" \")"));
    EXPECT_EQ(ActionLine({takCopyField, tfGenre, tfComment, {}, {}}),
              QStringLiteral("Copy field -> Genre (from Comment)"));
    EXPECT_EQ(ActionLine({takCollapseSpaces, tfYear, tfTitle, {}, {}}), QStringLiteral("Collapse spaces -> Year"));

    TPresetActionsList List;
    const TTagAction A{takUpperCase, tfTitle, tfTitle, {}, {}}, B{takLowerCase, tfArtist, tfTitle, {}, {}},
        C{takTitleCase, tfAlbum, tfTitle, {}, {}};
    List.Add(A);
    List.Add(B);
    EXPECT_EQ(List.Add(C), 2);
    EXPECT_EQ(List.MoveUp(0), 0);
    EXPECT_EQ(List.MoveDown(2), 2);
    EXPECT_EQ(List.MoveUp(2), 1);
    EXPECT_EQ(List.Actions, (QVector<TTagAction>{A, C, B}));
    EXPECT_EQ(List.MoveDown(0), 1);
    EXPECT_EQ(List.Actions, (QVector<TTagAction>{C, A, B}));
    EXPECT_EQ(List.Delete(2), 1);  // the last line removed: select the new last
    EXPECT_EQ(List.Delete(0), 0);
    EXPECT_EQ(List.Delete(0), -1);
}

TEST_F(PresetEditingTest, EditActionOkRules) {
    EXPECT_EQ(KindListItems(), (QStringList{"Trim spaces", "Collapse spaces", "Upper case", "Lower case", "Title case",
                                            "Replace text", "Copy field"}));
    EXPECT_EQ(KindAtPosition(-1), takTrimSpaces);
    TTagAction A{takReplaceText, tfTitle, tfTitle, QStringLiteral("x"), QStringLiteral("y")};
    // A blank search text is refused; one underscore with empty replace is fine.
    EXPECT_FALSE(ActionFromEditor(5, 0, 0, QStringLiteral(" "), QString(), User, A));
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Search text cannot be empty for \"Replace text\"."));
    EXPECT_EQ(A.SearchText, QStringLiteral("x"));
    ASSERT_TRUE(ActionFromEditor(5, 1, 3, QStringLiteral("_"), QString(), User, A));
    EXPECT_EQ(A, (TTagAction{takReplaceText, tfArtist, tfTitle, QStringLiteral("_"), QString()}));
    // Another kind clears the texts; copy keeps its source, others reset it.
    ASSERT_TRUE(ActionFromEditor(2, 1, 3, QStringLiteral("_"), QStringLiteral("z"), User, A));
    EXPECT_EQ(A, (TTagAction{takUpperCase, tfArtist, tfTitle, {}, {}}));
    ASSERT_TRUE(ActionFromEditor(6, 1, 3, QString(), QString(), User, A));
    EXPECT_EQ(A, (TTagAction{takCopyField, tfArtist, tfYear, {}, {}}));
    EXPECT_TRUE(KindShowsSource(takCopyField));
    EXPECT_FALSE(KindShowsSearch(takCopyField));
}

}  // namespace
