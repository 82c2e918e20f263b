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
#include "app/folder_tree_filter.h"
#include "app/lookup/auto_tag_pick_dialog.h"
#include "app/main_window.h"

namespace {

const std::pair<const char*, TAppIcon> kIcons[] = {
    {"actRescan", aiRescan},         {"actNewFolder", aiNewFolder},     {"actRenameFolder", aiRenameFolder},
    {"actRenameFile", aiRenameFile}, {"actPopupRenameFile", aiRenameFile}, {"actTagToName", aiTagToName},
    {"actCopyFiles", aiCopy},        {"actMoveFiles", aiMove},          {"actDeleteFiles", aiDelete},
    {"actSave", aiSave},             {"actRemove", aiRemoveTags},       {"actUndo", aiUndo},
    {"actAutoTag", aiAutoTag},       {"actQuickAction", aiQuickAction}, {"actPlay", aiPlay},
    {"actAbout", aiAbout},
};

// Menu captions show "&" as it is: it is no accelerator mark in a name.
QString MenuText(const QString& Text)
{
    QString Out = Text;
    return Out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

QAction* TFrmMain::MakeAction(const TCommandInfo& Command)
{
    auto* A = new QAction(this);
    const QString Name = QLatin1String(Command.Name);
    A->setObjectName(Name);
    Caption(A, QLatin1String(Command.Caption));
    if (Command.ToolTip) {
        FCaptions.emplace_back(QLatin1String(Command.ToolTip), [A](const QString& T) { A->setToolTip(T); });
    }
    if (Command.Shortcut)
        A->setShortcut(QKeySequence(QLatin1String(Command.Shortcut), QKeySequence::PortableText));
    for (const auto& [IconName, Icon] : kIcons) {
        if (Name == QLatin1String(IconName))
            A->setIcon(AppIcon(Icon));
    }
    if (std::function<void()> Run = FCommands->Handler(Name)) {
        connect(A, &QAction::triggered, this, [Run] { Run(); });
        A->setProperty("veltranoHandled", true);
    } else if (!WindowCommands().contains(Name)) {
        A->setEnabled(false);  // its command set is not part of this build
    }
    FActions.insert(Name, A);
    return A;
}

void TFrmMain::BuildActions()
{
    for (const TCommandInfo& Command : CommandTable())
        MakeAction(Command);
    // Ctrl+Q runs the current preset from anywhere in the window, the editor included.
    Action(QStringLiteral("actQuickAction"))->setShortcutContext(Qt::WindowShortcut);
    addAction(Action(QStringLiteral("actQuickAction")));
    Action(QStringLiteral("actShowFolders"))->setCheckable(true);
    Action(QStringLiteral("actShowFolders"))->setChecked(true);
    connect(Action(QStringLiteral("actShowFolders")), &QAction::toggled, this, [this](bool On) { ShowFoldersTree(On); });
    Action(QStringLiteral("actShowFolders"))->setProperty("veltranoHandled", true);
    connect(Action(QStringLiteral("actAutoTag")), &QAction::triggered, this, [this] { RunAutoTag(*FModel, *this, this); });
    Action(QStringLiteral("actAutoTag"))->setProperty("veltranoHandled", true);
    Action(QStringLiteral("actUndo"))->setEnabled(false);

    TQuickActions& Quick = FCommands->QuickActions();
    Quick.SetEditorRunner(
        [this](TActionPresetStore& Store) { return TFrmPresetEditor::ExecuteEditor(this, Store, *this); });
    // Queued: a preset item's own click rebuilds the menu that holds it.
    connect(&Quick, &TQuickActions::MenuChanged, this, [this] { RebuildQuickActionMenus(); }, Qt::QueuedConnection);
}

void TFrmMain::BuildMenus()
{
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

void TFrmMain::RebuildQuickActionMenus()
{
    QAction* Editor = Action(QStringLiteral("actPresetEditor"));
    for (QMenu* Menu : {pmQuickActions, FQuickActionMenu}) {
        Menu->clear();
        for (const TPresetMenuItem& Item : FCommands->QuickActions().MenuItems()) {
            QAction* A = Menu->addAction(MenuText(Item.Name));
            // The name travels as data: the caption is the name made safe for a menu.
            A->setData(Item.Name);
            A->setProperty("veltranoHandled", true);
            connect(A, &QAction::triggered, this,
                    [this, A] { FCommands->QuickActions().RunPreset(A->data().toString()); });
            if (Item.IsDefault && Menu == pmQuickActions)
                Menu->setDefaultAction(A);
        }
        Menu->addSeparator();
        Menu->addAction(Editor);
    }
}

void TFrmMain::BuildToolbar()
{
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
        if (g > 0)
            Bar->addSeparator();
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

// --- test hooks --------------------------------------------------------------

bool TFrmMain::RunCommandsHook(const QString& Kind, const QString& Argument)
{
    if (Kind == QLatin1String("commands")) {
        QTimer::singleShot(600, this, [this, Argument] {
            DumpCommands(Argument);
            close();
        });
        return true;
    }
    const QString Target = Argument.section(QLatin1Char('|'), 0, 0);
    const QString What = Argument.section(QLatin1Char('|'), 1);
    if (Kind == QLatin1String("folderrename")) {
        // Renames the shown folder to What through the Folder menu, as a
        // user would, then records where the tree and the list ended up.
        connect(FModel.get(), &TMainModel::ScanFinished, this, [this, Target, What] {
            auto Scans = std::make_shared<int>(0);
            connect(FModel.get(), &TMainModel::ScanFinished, this, [Scans] { ++*Scans; });
            QTimer::singleShot(0, this, [What] {
                if (auto* Dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                    Dialog->setTextValue(What);
                    Dialog->accept();
                }
            });
            Action(QStringLiteral("actRenameFolder"))->trigger();
            // Long enough for the file-system model to notice the rename.
            QTimer::singleShot(3000, this, [this, Target, Scans] {
                QJsonObject Result;
                Result.insert(QStringLiteral("modelFolder"), FModel->SelectedFolder());
                Result.insert(QStringLiteral("treeFolder"),
                              FFsModel->filePath(FFolderFilter->mapToSource(tvFolders->currentIndex())));
                Result.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
                Result.insert(QStringLiteral("firstRow"), FModel->FileList().rowCount() > 0 ? FModel->FileList().PathAt(0) : QString());
                Result.insert(QStringLiteral("scans"), *Scans);
                Result.insert(QStringLiteral("status"), FModel->Status());
                QFile Out(Target);
                if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    Out.write(QJsonDocument(Result).toJson());
                close();
            });
        }, Qt::SingleShotConnection);
        return true;
    }
    if (Kind != QLatin1String("screenshot") ||
        !(What == QLatin1String("presets") || What == QLatin1String("actions") || What.startsWith(QLatin1String("menu:"))))
        return false;
    auto Shoot = [this, Target, What] {
        FModel->SelectRows({0, 1, 2});
        FModel->PushUndoSnapshot();  // Undo enabled too: every command can be given
        QWidget* Shown = nullptr;
        if (What == QLatin1String("presets")) {
            Shown = new TFrmPresetEditor(this, FCommands->PresetStore(), *this);
        } else if (What == QLatin1String("actions")) {
            const TActionPreset* P = FCommands->PresetStore().FindByName(FCommands->PresetStore().LastPresetName());
            Shown = new TFrmPresetActionsEditor(this, P ? P->Name : QString(), P ? P->Actions : QVector<TTagAction>(),
                                                *this);
        } else if (QMenu* Menu = findChild<QMenu*>(What.mid(5))) {
            const QList<QAction*> Top = menuBar()->actions();
            // A menu of the menu bar drops from its title; the list's pop-up
            // opens over the list.
            QPoint At = lvFiles->viewport()->mapToGlobal(QPoint(120, 80));
            for (QAction* A : Top) {
                if (A->menu() == Menu)
                    At = menuBar()->mapToGlobal(menuBar()->actionGeometry(A).bottomLeft());
            }
            Menu->popup(At);
        }
        if (Shown)
            Shown->show();
        QTimer::singleShot(900, this, [this, Target, Shown] {
            TakeScreenshot(Target);
            delete Shown;
            close();
        });
    };
    connect(FModel.get(), &TMainModel::ScanFinished, this, Shoot, Qt::SingleShotConnection);
    return true;
}

void TFrmMain::DumpCommands(const QString& FileName)
{
    QJsonObject All;
    // Every item a user can reach: menus (recursively), the list's pop-up
    // menu, the quick-action drop-down and the toolbar.
    QJsonArray Items;
    std::function<void(QMenu*, const QString&)> Walk = [&](QMenu* Menu, const QString& Path) {
        for (QAction* A : Menu->actions()) {
            if (A->isSeparator())
                continue;
            const QString Where = Path + QLatin1Char('/') + (A->objectName().isEmpty() ? A->text() : A->objectName());
            if (A->menu()) {
                Walk(A->menu(), Path + QLatin1Char('/') + A->menu()->objectName());
                continue;
            }
            QJsonObject Item;
            Item.insert(QStringLiteral("path"), Where);
            Item.insert(QStringLiteral("name"), A->objectName());
            Item.insert(QStringLiteral("text"), A->text());
            Item.insert(QStringLiteral("data"), A->data().toString());
            Item.insert(QStringLiteral("enabled"), A->isEnabled());
            Item.insert(QStringLiteral("handler"), A->property("veltranoHandled").toBool());
            Item.insert(QStringLiteral("shortcut"), A->shortcut().toString(QKeySequence::PortableText));
            Items.append(Item);
        }
    };
    for (QAction* A : menuBar()->actions())
        Walk(A->menu(), A->menu()->objectName());
    Walk(FListPopup, FListPopup->objectName());
    Walk(pmQuickActions, pmQuickActions->objectName());
    All.insert(QStringLiteral("items"), Items);
    QJsonArray Buttons;
    for (QToolButton* B : findChildren<QToolButton*>()) {
        if (!B->defaultAction() || B->objectName().isEmpty() || !B->objectName().startsWith(QLatin1String("btn")))
            continue;
        QJsonObject Button;
        Button.insert(QStringLiteral("name"), B->objectName());
        Button.insert(QStringLiteral("handler"), B->defaultAction()->property("veltranoHandled").toBool());
        Button.insert(QStringLiteral("tooltip"), B->defaultAction()->toolTip());
        Button.insert(QStringLiteral("dropdown"), B->menu() != nullptr);
        Buttons.append(Button);
    }
    All.insert(QStringLiteral("buttons"), Buttons);

    // A focused text field keeps Ctrl+Z for itself: the window's Undo
    // shortcut gives way to the field's own undo.
    QComboBox* Title = FCombos[TMainModel::efTitle];
    Title->lineEdit()->setFocus();
    Title->lineEdit()->setText(QStringLiteral("before"));
    Title->lineEdit()->selectAll();
    Title->lineEdit()->insert(QStringLiteral("typed"));
    QKeyEvent Override(QEvent::ShortcutOverride, Qt::Key_Z, Qt::ControlModifier);
    Override.ignore();
    QCoreApplication::sendEvent(Title->lineEdit(), &Override);
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    QCoreApplication::sendEvent(Title->lineEdit(), &Press);
    QJsonObject Keys;
    Keys.insert(QStringLiteral("fieldClaimsCtrlZ"), Override.isAccepted());
    Keys.insert(QStringLiteral("fieldAfterCtrlZ"), Title->lineEdit()->text());
    // Ctrl+Q is a window-wide shortcut, reachable from the editor.
    Keys.insert(QStringLiteral("ctrlQContext"), Action(QStringLiteral("actQuickAction"))->shortcutContext() == Qt::WindowShortcut);
    Keys.insert(QStringLiteral("ctrlQOnWindow"), actions().contains(Action(QStringLiteral("actQuickAction"))));
    All.insert(QStringLiteral("keys"), Keys);

    // A message about a file or a preset shows its name as written, even
    // when it looks like markup.
    QJsonObject Message;
    QTimer::singleShot(0, this, [&Message] {
        if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Message.insert(QStringLiteral("plain"), Box->textFormat() == Qt::PlainText);
            Message.insert(QStringLiteral("text"), Box->text());
            Box->done(0);
        }
    });
    Inform(QStringLiteral("Preset not found: <b>x</b>"));
    All.insert(QStringLiteral("message"), Message);
    QFile Out(FileName);
    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Out.write(QJsonDocument(All).toJson());
}
