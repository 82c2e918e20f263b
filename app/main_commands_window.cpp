// The main window's actions, menus and toolbar, built from the command
// tables of app/commands.h, and the quick-action preset menus.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileSystemModel>
#include <QFont>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "app/actions/preset_editor_dialog.h"
#include "app/actions/preset_store.h"
#include "app/actions/quick_actions.h"
#include "app/app_icons.h"
#include "app/commands.h"
#include "app/file_ops/tags_from_names_dialog.h"
#include "app/fields/all_fields_dialog.h"
#include "app/fields/pictures_dialog.h"
#include "app/folder_tree_filter.h"
#include "app/lookup/auto_tag_pick_dialog.h"
#include "app/main_window.h"

namespace {

const std::pair<const char*, TAppIcon> kIcons[] = {
    {"actRescan", aiRescan},
    {"actNewFolder", aiNewFolder},
    {"actRenameFolder", aiRenameFolder},
    {"actRenameFile", aiRenameFile},
    {"actPopupRenameFile", aiRenameFile},
    {"actTagToName", aiTagToName},
    {"actCopyFiles", aiCopy},
    {"actMoveFiles", aiMove},
    {"actDeleteFiles", aiDelete},
    {"actSave", aiSave},
    {"actRemove", aiRemoveTags},
    {"actUndo", aiUndo},
    {"actAutoTag", aiAutoTag},
    {"actQuickAction", aiQuickAction},
    {"actPlay", aiPlay},
    {"actAbout", aiAbout},
};

// Menu captions show "&" as it is: it is no accelerator mark in a name.
QString MenuText(const QString& Text) {
    QString Out = Text;
    return Out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

QAction* TFrmMain::MakeAction(const TCommandInfo& Command) {
    auto* A = new QAction(this);
    const QString Name = QLatin1String(Command.Name);
    A->setObjectName(Name);
    Caption(A, QLatin1String(Command.Caption));
    if (Command.ToolTip) {
        FCaptions.emplace_back(QLatin1String(Command.ToolTip), [A](const QString& T) { A->setToolTip(T); });
    }
    if (Command.Shortcut) A->setShortcut(QKeySequence(QLatin1String(Command.Shortcut), QKeySequence::PortableText));
    for (const auto& [IconName, Icon] : kIcons) {
        if (Name == QLatin1String(IconName)) A->setIcon(AppIcon(Icon));
    }
    if (std::function<void()> Run = FCommands->Handler(Name)) {
        // While a save or a file command runs in the background, a shortcut does nothing.
        connect(A, &QAction::triggered, this, [this, Run] {
            if (!IsBusy()) Run();
        });
        A->setProperty("veltranoHandled", true);
    } else if (!WindowCommands().contains(Name)) {
        A->setEnabled(false);  // its command set is not part of this build
    }
    FActions.insert(Name, A);
    return A;
}

void TFrmMain::BuildActions() {
    for (const TCommandInfo& Command : CommandTable()) MakeAction(Command);
    // Ctrl+Q runs the current preset from anywhere in the window, the editor included.
    Action(QStringLiteral("actQuickAction"))->setShortcutContext(Qt::WindowShortcut);
    addAction(Action(QStringLiteral("actQuickAction")));
    Action(QStringLiteral("actShowFolders"))->setCheckable(true);
    Action(QStringLiteral("actShowFolders"))->setChecked(true);
    connect(Action(QStringLiteral("actShowFolders")), &QAction::toggled, this,
            [this](bool On) { ShowFoldersTree(On); });
    Action(QStringLiteral("actShowFolders"))->setProperty("veltranoHandled", true);
    connect(Action(QStringLiteral("actAutoTag")), &QAction::triggered, this, [this] {
        if (!IsBusy()) RunAutoTag(*FModel, this);
    });
    Action(QStringLiteral("actAutoTag"))->setProperty("veltranoHandled", true);
    connect(Action(QStringLiteral("actTagsFromNames")), &QAction::triggered, this, [this] {
        if (!IsBusy()) RunTagsFromNames(*FModel, this);
    });
    Action(QStringLiteral("actTagsFromNames"))->setProperty("veltranoHandled", true);
    for (const auto& [Name, Show] :
         {std::pair{"actAllFields", &TFrmAllFields::Execute}, std::pair{"actPictures", &TFrmPictures::Execute}}) {
        connect(Action(QLatin1String(Name)), &QAction::triggered, this, [this, Show = Show] {
            if (!IsBusy()) Show(*FModel, this);
        });
        Action(QLatin1String(Name))->setProperty("veltranoHandled", true);
    }
    Action(QStringLiteral("actUndo"))->setEnabled(false);

    TQuickActions& Quick = FCommands->QuickActions();
    Quick.SetEditorRunner(
        [this](TActionPresetStore& Store) { return TFrmPresetEditor::ExecuteEditor(this, Store, *this); });
    // Queued: a preset item's own click rebuilds the menu that holds it.
    connect(
        &Quick, &TQuickActions::MenuChanged, this, [this] { RebuildQuickActionMenus(); }, Qt::QueuedConnection);
}

void TFrmMain::BuildMenus() {
    QHash<QString, QMenu*> SubMenuOf;
    for (const TMenuInfo& Info : SubMenus()) {
        auto* M = new QMenu(this);
        M->setObjectName(QLatin1String(Info.Name));
        Caption(M, QLatin1String(Info.Title), Info.TitleSuffix ? QLatin1String(Info.TitleSuffix) : QString());
        SubMenuOf.insert(QStringLiteral("menu:") + QLatin1String(Info.Name), M);
    }
    FQuickActionMenu = SubMenuOf.value(QStringLiteral("menu:mmQuickAction"));
    FQuickActionMenu->setIcon(AppIcon(aiQuickAction));
    FLanguageMenu = SubMenuOf.value(QStringLiteral("menu:mmLanguage"));

    auto Fill = [&](QMenu* Menu, const QStringList& Items) {
        for (const QString& Item : Items) {
            if (Item == QLatin1String("-"))
                Menu->addSeparator();
            else if (QMenu* Sub = SubMenuOf.value(Item))
                Menu->addMenu(Sub);
            else if (QAction* A = Action(Item))
                Menu->addAction(A);
        }
    };
    for (const TMenuInfo& Info : MainMenus()) {
        QMenu* Menu = menuBar()->addMenu(QString());
        Menu->setObjectName(QLatin1String(Info.Name));
        Caption(Menu, QLatin1String(Info.Title));
        Fill(Menu, Info.Items);
    }
    FListPopup = new QMenu(this);
    FListPopup->setObjectName(QStringLiteral("pmFiles"));
    Fill(FListPopup, ListPopupItems());

    pmQuickActions = new QMenu(this);
    pmQuickActions->setObjectName(QStringLiteral("pmQuickActions"));
    RebuildQuickActionMenus();
}

void TFrmMain::RebuildQuickActionMenus() {
    QAction* Editor = Action(QStringLiteral("actPresetEditor"));
    for (QMenu* Menu : {pmQuickActions, FQuickActionMenu}) {
        Menu->clear();
        for (const TPresetMenuItem& Item : FCommands->QuickActions().MenuItems()) {
            QAction* A = Menu->addAction(MenuText(Item.Name));
            // The name travels as data: the caption is the name made safe for a menu.
            A->setData(Item.Name);
            A->setProperty("veltranoHandled", true);
            connect(A, &QAction::triggered, this, [this, A] {
                if (!IsBusy()) FCommands->QuickActions().RunPreset(A->data().toString());
            });
            if (Item.IsDefault && Menu == pmQuickActions) Menu->setDefaultAction(A);
        }
        Menu->addSeparator();
        Menu->addAction(Editor);
    }
}

void TFrmMain::BuildToolbar() {
    QToolBar* Bar = addToolBar(QStringLiteral("Toolbar"));
    Bar->setObjectName(QStringLiteral("tbMain"));
    Bar->setMovable(false);
    Bar->setFloatable(false);
    Bar->setIconSize(QSize(32, 32));
    Bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Bar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    const std::vector<QStringList> Groups = ToolbarGroups();
    for (size_t g = 0; g < Groups.size(); ++g) {
        if (g > 0) Bar->addSeparator();
        for (const QString& Name : Groups[g]) {
            QAction* A = Action(Name);
            Bar->addAction(A);
            if (auto* Button = qobject_cast<QToolButton*>(Bar->widgetForAction(A))) {
                Button->setObjectName(QStringLiteral("btn") + Name.mid(3));
                Button->setMinimumSize(50, 50);
                if (Name == QLatin1String("actQuickAction")) {
                    // A click runs the last preset; the arrow opens the preset menu.
                    Button->setMenu(pmQuickActions);
                    Button->setPopupMode(QToolButton::MenuButtonPopup);
                }
            }
        }
    }
}
