// TFrmMain: the main window's widgets, bound to the window model.
//
// The window builds the toolbar, the menus, the folder tree, the file list,
// the tag editor, the picture area and the status bar, and forwards every
// user action to TMainModel, which owns the state and the commands. It also
// answers the model's questions (message boxes, file dialogs, the error
// report) and plays files and opens pages through the desktop services.
// Window geometry, panel and column widths and the folder live in "set.ini".
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_model.h"
#include "app/user_interaction.h"

class QAction;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTreeView;
class QTimer;
class QToolButton;
class TCommands;
class TCoverWidget;
class TFolderTreeFilter;
struct TCommandInfo;

class TFrmMain final : public QMainWindow, public IUserInteraction, public IShellActions {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* Parent = nullptr);
    ~TFrmMain() override;

    TMainModel& Model() { return *FModel; }
    TCommands& Commands() { return *FCommands; }
    // Shows the window as the settings say (maximised on the first run).
    void ShowFirstTime();
    // Sets every caption, menu text, tool tip, label and column caption
    // from the translation lookup; again after each language change.
    void ApplyCaptions();
    // Named commands for the other command sets to wire ("actSave" ...).
    QAction* Action(const QString& Name) const { return FActions.value(Name); }
    QMenu* QuickActionMenu() const { return FQuickActionMenu; }
    void SelectFolderInTree(const QString& Folder);
    // Opens the tree at Folder without selecting (and so scanning) it.
    void ShowFolderInTree(const QString& Folder);

#ifdef VELTRANO_TEST_HOOKS
    // Automated checks, driven by the VELTRANO_TEST_HOOK environment
    // variable (app/testing/, built only into test builds).
    void RunTestHook(const QString& Hook);
#endif

    // IUserInteraction
    void Inform(const QString& Text) override;
    void Warn(const QString& Text) override;
    void ShowError(const QString& Text) override;
    bool Confirm(const QString& Text) override;
    bool ConfirmDestructive(const QString& Text) override;
    QString AskText(const QString& Caption, const QString& Prompt, const QString& Default) override;
    QString PickFolder(const QString& Caption) override;
    QString PickImageFile() override;
    QString PickSaveFile(const QString& Caption, const QString& Filter, const QString& Suggested) override;
    void ShowErrorReport(const QVector<TErrorItem>& Errors) override;
    // IShellActions
    bool PlayFile(const QString& Path) override;
    bool OpenFile(const QString& Path) override;
    bool OpenUrl(const QString& Url) override;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Actions, menus and toolbar (main_commands_window.cpp).
    QAction* MakeAction(const TCommandInfo& Command);
    void Caption(QObject* Target, const QString& English, const QString& Suffix = QString());
    void BuildActions();
    void BuildMenus();
    void BuildToolbar();
    void RebuildQuickActionMenus();
    QWidget* BuildLeftPanel();
    QWidget* BuildCentre();
    QWidget* BuildRightPanel();
    void BuildStatusBar();
    void BuildLanguageMenu();
    void BindModel();
    // A save or a file command runs off this thread: the window takes no
    // other command meanwhile but the cancel.
    bool IsBusy() const;
    void ShowBusy(bool Busy);
    void ShowEditorFromModel();
    void EditorTextEdited(int Field, const QString& Text);
    void ShowFoldersTree(bool Show);

    void LoadSettings();
    void SaveSettings();
    void InitDefaultColumnWidths();
    void UpdatePickFolderHint();
    void RevealFolder();
    void ApplyPanelWidths();

    int ShowMessage(int Icon, const QString& Text, bool YesNo, bool DefaultNo = false);

#ifdef VELTRANO_TEST_HOOKS
    // Test hooks of the command set: "commands=FILE" records every menu,
    // pop-up and toolbar item with its handler and keys; "screenshot=FILE|
    // presets", "|actions" and "|menu:<name>" show the dialogs or a menu.
    bool RunCommandsHook(const QString& Kind, const QString& Argument);
    void DumpCommands(const QString& FileName);
    void DumpCaptions(const QString& FileName);
    void TakeScreenshot(const QString& FileName);
#endif

    ITagServicePtr FTagService;
    std::unique_ptr<TMainModel> FModel;
    std::unique_ptr<TCommands> FCommands;

    QHash<QString, QAction*> FActions;
    // (English text, setter) for every caption the language can change.
    std::vector<std::pair<QString, std::function<void(const QString&)>>> FCaptions;

    QFileSystemModel* FFsModel = nullptr;
    TFolderTreeFilter* FFolderFilter = nullptr;
    QTreeView* tvFolders = nullptr;
    QLineEdit* edtFilter = nullptr;
    TCoverWidget* imgCover = nullptr;
    QTreeView* lvFiles = nullptr;
    QSplitter* FSplitter = nullptr;
    QWidget* pnlLeft = nullptr;
    QWidget* pnlRight = nullptr;
    std::array<QComboBox*, TMainModel::kFieldCount> FCombos{};
    QPlainTextEdit* memComment = nullptr;
    QPlainTextEdit* memLyrics = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblPickFolderHint = nullptr;
    QPushButton* btnCancelSave = nullptr;
    QLabel* lblHomePage = nullptr;
    QTimer* FStatusTimer = nullptr;
    QMenu* FLanguageMenu = nullptr;
    QMenu* FQuickActionMenu = nullptr;
    QMenu* FListPopup = nullptr;
    QMenu* pmQuickActions = nullptr;  // the quick-action button's drop-down

    // Until the user resizes a column (or the settings hold widths), the
    // columns take their default shares of the list's width, whenever that
    // width changes: the first layout of a maximised window comes in several
    // steps, and the last one counts.
    bool FNeedInitDefaultColumnWidths = false;
    bool FApplyingColumnWidths = false;
    // Until the user drags a splitter handle, the side panels are set to
    // their stored widths after every resize of the window.
    bool FPanelWidthsByUser = false;
    bool FCommentCrLf = false;  // the shown Comment / Lyrics used CR LF line breaks
    bool FLyricsCrLf = false;
    bool FStartMaximised = false;
    bool FShownOnce = false;
    // The folder ShowFolderInTree opens, until the user picks one: revealed
    // again as the file system model loads the folders on the way to it.
    QString FRevealFolder;
    static constexpr int kSidePanelWidth = 275;
    int FLeftWidth = kSidePanelWidth;  // panel widths to apply once the splitter is laid out
    int FRightWidth = kSidePanelWidth;
};
