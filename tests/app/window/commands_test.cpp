// The command set: every menu item, pop-up item and toolbar button names a
// known command that has something to run, a caption in every shipped
// language and the keys the window lists.
#include <QSet>
#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/settings/translation.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class TMemoryStore : public ILanguageStore {
public:
    QString ReadLanguage(bool& Found) override {
        Found = false;
        return {};
    }
    bool WriteLanguage(const QString&) override { return true; }
};

TEST(Commands, EveryItemHasAHandlerAndACaptionInEachLanguage) {
    testutil::TTempDir Dir;
    auto Service = std::make_shared<TFakeTagService>();
    TScriptedUser User;
    TRecordingShell Shell;
    TMainModel Model(Service, User, Shell);
    TCommands Commands(Model, QString::fromStdString(Dir.file("p.json")));

    TMemoryStore Store;
    TTranslation& T = TTranslation::Instance();
    ASSERT_TRUE(T.Load(QString::fromStdString(testutil::SourceDir()) + QStringLiteral("/share/transl.dt"), Store,
                       QLocale::English));
    ASSERT_EQ(T.LanguageCount(), 16);

    QStringList Items = ListPopupItems();
    for (const TMenuInfo& M : MainMenus()) Items += M.Items;
    for (const QStringList& Group : ToolbarGroups()) Items += Group;
    Items.append(QStringLiteral("actPresetEditor"));
    const QStringList Window = WindowCommands();
    QSet<QString> SubMenuNames;
    for (const TMenuInfo& M : SubMenus()) SubMenuNames.insert(QStringLiteral("menu:") + QLatin1String(M.Name));
    for (const QString& Item : Items) {
        if (Item == QLatin1String("-") || SubMenuNames.contains(Item)) continue;
        const TCommandInfo* C = FindCommand(Item);
        ASSERT_NE(C, nullptr) << Item.toStdString();
        // The auto-tag command is provided by the online lookup.
        if (!Window.contains(Item) && Item != QLatin1String("actAutoTag")) {
            EXPECT_TRUE(Commands.Handler(Item)) << Item.toStdString();
        }
        for (int c = 1; c < T.LanguageCount(); ++c) {
            EXPECT_FALSE(T.Cell(QLatin1String(C->Caption), c).isEmpty()) << Item.toStdString();
            if (C->ToolTip) {
                EXPECT_FALSE(T.Cell(QLatin1String(C->ToolTip), c).isEmpty()) << Item.toStdString();
            }
        }
    }
    for (const auto* Menus : {&MainMenus(), &SubMenus()}) {
        for (const TMenuInfo& M : *Menus) {
            for (int c = 1; c < T.LanguageCount(); ++c)
                EXPECT_FALSE(T.Cell(QLatin1String(M.Title), c).isEmpty()) << M.Name;
        }
    }
    EXPECT_STREQ(SubMenus()[0].TitleSuffix, " [Ctrl+Q]");
    // The keys of the window.
    const std::pair<const char*, const char*> Keys[] = {
        {"actSave", "Ctrl+S"},   {"actRemove", "Ctrl+R"},      {"actUndo", "Ctrl+Z"},
        {"actRenameFile", "F2"}, {"actQuickAction", "Ctrl+Q"},
    };
    for (const auto& [Name, Key] : Keys) EXPECT_STREQ(FindCommand(QLatin1String(Name))->Shortcut, Key);
    // Handlers do what their names say: Play with nothing selected.
    Commands.Handler(QStringLiteral("actPlay"))();
    EXPECT_EQ(User.Informed, QStringList{QStringLiteral("Please select an audio file first.")});
    T.Reset();
}

}  // namespace
