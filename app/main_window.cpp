#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>

#include "app/app_icons.h"
#include "app/commands.h"
#include "app/error_report_dialog.h"
#include "app/file_list_widget.h"
#include "app/file_ops/file_commands.h"
#include "app/folder_tree_filter.h"
#include "app/lookup/auto_tag_pick_dialog.h"
#include "app/settings/translation.h"
#include "app/settings/window_settings.h"
#include "app/version.h"

namespace {

constexpr int kDesignWidth = 1342;
constexpr int kDesignHeight = 691;
constexpr int kSplitterWidth = 6;
constexpr int kPictureAreaHeight = 200;

}  // namespace

TFrmMain::TFrmMain(QWidget* Parent) : QMainWindow(Parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Veltrano ") + QLatin1String(kVersionText));
    setWindowIcon(AppIcon(aiApplication));
    EnsureSettingsFolder();

    FTagService = CreateTagService();
    FModel = std::make_unique<TMainModel>(FTagService, *this, *this);
    FCommands = std::make_unique<TCommands>(*FModel, SettingsFolder() + QStringLiteral("/QuickActionPresets.json"));
    QString PresetError;
    if (!FCommands->LoadPresets(PresetError))
        QTimer::singleShot(0, this, [this, PresetError] { ShowError(PresetError); });

    BuildActions();
    BuildMenus();
    BuildToolbar();

    FSplitter = new QSplitter(Qt::Horizontal, this);
    FSplitter->setObjectName(QStringLiteral("splMain"));
    FSplitter->setHandleWidth(kSplitterWidth);
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(BuildLeftPanel());
    FSplitter->addWidget(BuildCentre());
    FSplitter->addWidget(BuildRightPanel());
    FSplitter->setStretchFactor(0, 0);
    FSplitter->setStretchFactor(1, 1);
    FSplitter->setStretchFactor(2, 0);
    setCentralWidget(FSplitter);
    connect(FSplitter, &QSplitter::splitterMoved, this, [this] { FPanelWidthsByUser = true; });
    BuildStatusBar();
    BindModel();

    resize(kDesignWidth, kDesignHeight);
    if (QScreen* Screen = screen()) move(Screen->availableGeometry().center() - rect().center());

    LoadSettings();
    BuildLanguageMenu();
    ApplyCaptions();
}

TFrmMain::~TFrmMain() {
    // The model stops a running scan; it must go before the widgets it feeds.
    FCommands.reset();
    FModel.reset();
}

// --- building ----------------------------------------------------------------

void TFrmMain::Caption(QObject* Target, const QString& English, const QString& Suffix) {
    QPointer<QObject> Guard(Target);
    FCaptions.emplace_back(English, [Guard, Suffix](const QString& T) {
        if (!Guard) return;
        const QString Text = T + Suffix;
        if (auto* A = qobject_cast<QAction*>(Guard.data()))
            A->setText(Text);
        else if (auto* M = qobject_cast<QMenu*>(Guard.data()))
            M->setTitle(Text);
        else if (auto* L = qobject_cast<QLabel*>(Guard.data()))
            L->setText(Text);
        else if (auto* B = qobject_cast<QPushButton*>(Guard.data()))
            B->setText(Text);
    });
}

QWidget* TFrmMain::BuildLeftPanel() {
    pnlLeft = new QWidget;
    pnlLeft->setObjectName(QStringLiteral("pnlLeft"));
    auto* Layout = new QVBoxLayout(pnlLeft);
    Layout->setContentsMargins(6, 6, 4, 6);
    Layout->setSpacing(6);

    auto* FilterRow = new QHBoxLayout;
    auto* lblFilter = new QLabel;
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    Caption(lblFilter, QStringLiteral("Filter:"));
    edtFilter = new QLineEdit;
    edtFilter->setObjectName(QStringLiteral("edtFilter"));
    edtFilter->setClearButtonEnabled(true);
    FilterRow->addWidget(lblFilter);
    FilterRow->addWidget(edtFilter, 1);
    Layout->addLayout(FilterRow);

    FFsModel = new QFileSystemModel(this);
    FFsModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FFsModel->setRootPath(QDir::rootPath());
    // The model lists folders in the background: a folder to reveal is
    // scrolled to again once those on the way to it are listed.
    connect(FFsModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& Path) {
        if (!FRevealFolder.isEmpty() && FRevealFolder.startsWith(Path)) RevealFolder();
    });
    FFolderFilter = new TFolderTreeFilter(this);
    FFolderFilter->setSourceModel(FFsModel);
    tvFolders = new QTreeView;
    tvFolders->setObjectName(QStringLiteral("tvFolders"));
    tvFolders->setModel(FFolderFilter);
    for (int c = 1; c < FFsModel->columnCount(); ++c) tvFolders->hideColumn(c);
    tvFolders->setHeaderHidden(true);
    tvFolders->setUniformRowHeights(true);
    tvFolders->setAnimated(false);
    tvFolders->setRootIndex(FFolderFilter->mapFromSource(FFsModel->index(FFsModel->rootPath()).parent()));
    Layout->addWidget(tvFolders, 1);

    auto* pnlCover = new QFrame;
    pnlCover->setObjectName(QStringLiteral("pnlCover"));
    pnlCover->setFixedHeight(kPictureAreaHeight);
    auto* CoverLayout = new QVBoxLayout(pnlCover);
    CoverLayout->setContentsMargins(4, 4, 4, 4);
    imgCover = new TCoverWidget;
    imgCover->setObjectName(QStringLiteral("imgCover"));
    CoverLayout->addWidget(imgCover, 1);
    auto* Buttons = new QHBoxLayout;
    auto* btnLoadCover = new QPushButton;
    btnLoadCover->setObjectName(QStringLiteral("btnLoadCover"));
    Caption(btnLoadCover, QStringLiteral("Load Cover"));
    auto* btnClearCover = new QPushButton;
    btnClearCover->setObjectName(QStringLiteral("btnClearCover"));
    Caption(btnClearCover, QStringLiteral("Clear"));
    Buttons->addWidget(btnLoadCover);
    Buttons->addWidget(btnClearCover);
    CoverLayout->addLayout(Buttons);
    Layout->addWidget(pnlCover);

    connect(btnLoadCover, &QPushButton::clicked, this, [this] { FModel->LoadCover(); });
    connect(btnClearCover, &QPushButton::clicked, this, [this] { FModel->ClearCover(); });
    connect(edtFilter, &QLineEdit::textChanged, this, [this](const QString& T) { FModel->SetFilterText(T); });
    connect(tvFolders->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& Current) {
                if (!Current.isValid()) return;
                const QString Folder = FFsModel->filePath(FFolderFilter->mapToSource(Current));
                // A command that showed its folder has scanned it already.
                FRevealFolder.clear();
                if (Folder != FModel->SelectedFolder()) FModel->FolderSelected(Folder);
                UpdatePickFolderHint();
            });
    return pnlLeft;
}

QWidget* TFrmMain::BuildCentre() {
    lvFiles = new QTreeView;
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setModel(&FModel->FileList());
    lvFiles->setSelectionModel(&FModel->Selection());
    lvFiles->setRootIsDecorated(false);
    lvFiles->setItemsExpandable(false);
    lvFiles->setUniformRowHeights(true);
    lvFiles->setAllColumnsShowFocus(true);
    lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvFiles->setSortingEnabled(false);
    lvFiles->setItemDelegate(new TFileListDelegate(lvFiles));
    lvFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    lvFiles->header()->setSectionsClickable(true);
    lvFiles->header()->setSortIndicatorShown(true);
    lvFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    lvFiles->header()->setStretchLastSection(false);
    lvFiles->header()->setMinimumSectionSize(24);
    lvFiles->header()->setTextElideMode(Qt::ElideRight);
    lvFiles->viewport()->installEventFilter(this);
    lvFiles->installEventFilter(this);
    // Until a folder is picked, the empty list says how to pick one.
    lblPickFolderHint = new QLabel(lvFiles->viewport());
    lblPickFolderHint->setObjectName(QStringLiteral("lblPickFolderHint"));
    lblPickFolderHint->setAlignment(Qt::AlignCenter);
    lblPickFolderHint->setWordWrap(true);
    lblPickFolderHint->setTextFormat(Qt::PlainText);
    lblPickFolderHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    Caption(lblPickFolderHint,
            QStringLiteral("Click your music folder in the folder tree on the left to list its audio files."));
    connect(&FModel->FileList(), &QAbstractItemModel::modelReset, this, [this] { UpdatePickFolderHint(); });
    connect(&FModel->FileList(), &QAbstractItemModel::rowsInserted, this, [this] { UpdatePickFolderHint(); });
    connect(&FModel->FileList(), &QAbstractItemModel::rowsRemoved, this, [this] { UpdatePickFolderHint(); });
    connect(lvFiles->header(), &QHeaderView::sectionResized, this, [this] {
        if (!FApplyingColumnWidths) FNeedInitDefaultColumnWidths = false;  // the user's widths from now on
    });

    connect(lvFiles->header(), &QHeaderView::sectionClicked, this, [this](int Column) {
        FModel->SortByColumn(Column);
        lvFiles->header()->setSortIndicator(FModel->SortColumn(),
                                            FModel->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(lvFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& Pos) { FListPopup->popup(lvFiles->viewport()->mapToGlobal(Pos)); });
    return lvFiles;
}

void TFrmMain::BuildStatusBar() {
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setMinimumWidth(1);
    // New texts must not re-lay out the status bar.
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblStatus->setContentsMargins(4, 0, 0, 0);
    lblHomePage = new QLabel;
    lblHomePage->setObjectName(QStringLiteral("lblHomePage"));
    lblHomePage->setCursor(Qt::PointingHandCursor);
    lblHomePage->setText(QUrl(TMainModel::HomePageUrl()).host());
    lblHomePage->setContentsMargins(0, 0, 15, 0);
    lblHomePage->installEventFilter(this);
    // Shown while a save or a file command runs in the background: the one
    // command then offered.
    btnCancelSave = new QPushButton;
    btnCancelSave->setObjectName(QStringLiteral("btnCancelSave"));
    Caption(btnCancelSave, QStringLiteral("Cancel"));
    btnCancelSave->setVisible(false);
    connect(btnCancelSave, &QPushButton::clicked, this, [this] {
        FModel->CancelSave();
        FCommands->Files().Cancel();
    });
    statusBar()->addWidget(lblStatus, 1);
    statusBar()->addPermanentWidget(btnCancelSave);
    statusBar()->addPermanentWidget(lblHomePage);
    statusBar()->setSizeGripEnabled(false);
    lblStatus->setText(QLatin1Char(' ') + Tr("Ready"));
}

void TFrmMain::BuildLanguageMenu() {
    TTranslation& T = TTranslation::Instance();
    FLanguageMenu->clear();
    auto* Group = new QActionGroup(FLanguageMenu);
    Group->setExclusive(true);
    for (int i = 0; i < T.LanguageCount(); ++i) {
        QAction* Item = FLanguageMenu->addAction(T.LanguageName(i));
        Item->setObjectName(QStringLiteral("actLanguage_") + T.LanguageCode(i));
        Item->setCheckable(true);
        Item->setProperty("veltranoHandled", true);
        Item->setChecked(i == T.CurrentIndex());
        Group->addAction(Item);
        connect(Item, &QAction::triggered, this, [this, i] {
            TSettingsLanguageStore Store;
            TTranslation::Instance().SelectLanguage(i, Store);
            ApplyCaptions();
        });
    }
}

void TFrmMain::BindModel() {
    TMainModel& M = *FModel;
    // A scan sets the status once per file; the label shows the newest text
    // at most every few dozen milliseconds, which is all an eye can follow.
    FStatusTimer = new QTimer(this);
    FStatusTimer->setSingleShot(true);
    FStatusTimer->setInterval(50);
    connect(FStatusTimer, &QTimer::timeout, this, [this] {
        if (lblStatus->text() != FModel->Status()) lblStatus->setText(FModel->Status());
    });
    connect(&M, &TMainModel::StatusChanged, lblStatus, [this](const QString& T) {
        if (FStatusTimer->isActive()) return;
        lblStatus->setText(T);
        FStatusTimer->start();
    });
    connect(&M, &TMainModel::ProgressShown, lblStatus, [this] {
        // The command holds the thread until it ends: paint the text at once.
        lblStatus->setText(FModel->Status());
        lblStatus->repaint();
    });
    connect(&M, &TMainModel::EditorChanged, this, [this] { ShowEditorFromModel(); });
    connect(&M, &TMainModel::CoverChanged, this, [this] { imgCover->SetImage(FModel->CoverDisplay().Image()); });
    connect(&M, &TMainModel::UndoAvailableChanged, Action(QStringLiteral("actUndo")), &QAction::setEnabled);
    connect(&M, &TMainModel::FolderShown, this, [this](const QString& Folder) { SelectFolderInTree(Folder); });
    connect(&M, &TMainModel::SortReset, this, [this] { lvFiles->header()->setSortIndicator(-1, Qt::AscendingOrder); });
    // Saves and the file commands' renames, copies, moves and deletes run
    // off this thread; meanwhile the window keeps answering (the list
    // scrolls, the status moves on) but takes no command that could touch
    // the files being written.
    M.SetBackgroundSaves(true);
    connect(&M, &TMainModel::BusyChanged, this, [this](bool Busy) { ShowBusy(Busy); });
    connect(&FCommands->Files(), &TFileCommands::BusyChanged, this, [this](bool Busy) { ShowBusy(Busy); });
}

bool TFrmMain::IsBusy() const { return FModel->IsSaving() || FCommands->Files().IsRunning(); }

void TFrmMain::ShowBusy(bool Busy) {
    menuBar()->setEnabled(!Busy);
    for (QToolBar* Bar : findChildren<QToolBar*>()) Bar->setEnabled(!Busy);
    FSplitter->setEnabled(!Busy);
    btnCancelSave->setVisible(Busy);
    if (!Busy) lblStatus->setText(FModel->Status());  // the summary at once
}

void TFrmMain::ShowFoldersTree(bool Show) {
    if (!Show && pnlLeft->isVisible()) FLeftWidth = FSplitter->sizes().value(0, kSidePanelWidth);
    pnlLeft->setVisible(Show);
    if (Show) {
        // Back at its width, with the splitter directly right of it.
        QList<int> Sizes = FSplitter->sizes();
        if (Sizes.size() == 3) {
            Sizes[1] = std::max(50, Sizes[1] - FLeftWidth);
            Sizes[0] = FLeftWidth;
            FSplitter->setSizes(Sizes);
        }
    }
}

// --- captions ----------------------------------------------------------------

void TFrmMain::ApplyCaptions() {
    // Every widget, and every dialog opened later, follows the language's
    // writing direction.
    QGuiApplication::setLayoutDirection(TTranslation::Instance().CurrentDirection());
    for (const auto& [English, Set] : FCaptions) Set(Tr(English));
    FModel->FileList().RetranslateHeaders();
    // The editor scrolls up and down only, so its panel is never narrower
    // than the editor: longer labels in another language widen the panel
    // instead of cutting off the fields' right side.
    if (auto* Editor = pnlRight->findChild<QScrollArea*>(QStringLiteral("sbEditor")); Editor && Editor->widget()) {
        Editor->widget()->adjustSize();
        Editor->setMinimumWidth(Editor->widget()->minimumSizeHint().width() +
                                Editor->verticalScrollBar()->sizeHint().width());
    }
    if (FLanguageMenu) {
        const int Current = TTranslation::Instance().CurrentIndex();
        const QList<QAction*> Items = FLanguageMenu->actions();
        for (int i = 0; i < Items.size(); ++i) Items[i]->setChecked(i == Current);
    }
}

void TFrmMain::SelectFolderInTree(const QString& Folder) {
    if (Folder.isEmpty() || !QDir(Folder).exists()) return;
    const QModelIndex Source = FFsModel->index(QDir(Folder).absolutePath());
    const QModelIndex Index = FFolderFilter->mapFromSource(Source);
    if (!Index.isValid()) return;
    tvFolders->setCurrentIndex(Index);
    tvFolders->scrollTo(Index, QAbstractItemView::PositionAtCenter);
}

void TFrmMain::ShowFolderInTree(const QString& Folder) {
    if (Folder.isEmpty() || !QDir(Folder).exists()) return;
    FRevealFolder = QDir(Folder).absolutePath();
    RevealFolder();
}

void TFrmMain::RevealFolder() {
    if (FRevealFolder.isEmpty()) return;
    const QModelIndex Index = FFolderFilter->mapFromSource(FFsModel->index(FRevealFolder));
    if (!Index.isValid()) return;
    for (QModelIndex P = Index.parent(); P.isValid(); P = P.parent()) tvFolders->expand(P);
    tvFolders->expand(Index);
    tvFolders->scrollTo(Index, QAbstractItemView::PositionAtTop);
}

void TFrmMain::ShowFirstTime() {
    if (FStartMaximised)
        showMaximized();
    else
        show();
}

// --- events ------------------------------------------------------------------

void TFrmMain::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!FShownOnce) {
        FShownOnce = true;
        ApplyPanelWidths();
        InitDefaultColumnWidths();
        RevealFolder();
    }
}

void TFrmMain::resizeEvent(QResizeEvent* Event) {
    QMainWindow::resizeEvent(Event);
    if (FShownOnce && !FPanelWidthsByUser) ApplyPanelWidths();
}

void TFrmMain::closeEvent(QCloseEvent* Event) {
    CancelAutoTag(this);  // a look-up under way ends, keeping what was picked
    // A file command stops after the file under way; the list follows what
    // was done.
    FCommands->Files().Cancel();
    FCommands->Files().Wait();
    FModel->WaitForSave();  // a save under way ends whole before the window goes
    SaveSettings();
    FModel->StopScan();
    Event->accept();
}

void TFrmMain::UpdatePickFolderHint() {
    if (!lblPickFolderHint) return;
    lblPickFolderHint->setGeometry(lvFiles->viewport()->rect().adjusted(24, 24, -24, -24));
    lblPickFolderHint->setVisible(FModel->SelectedFolder().isEmpty() && FModel->FileList().rowCount() == 0);
}

bool TFrmMain::eventFilter(QObject* Watched, QEvent* Event) {
    if (lvFiles && Watched == lvFiles->viewport() && Event->type() == QEvent::Resize) UpdatePickFolderHint();
    if (lvFiles && Watched == lvFiles && Event->type() == QEvent::Resize) {
        InitDefaultColumnWidths();
    } else if (lvFiles && Watched == lvFiles->viewport() && Event->type() == QEvent::MouseButtonPress) {
        // Pending edits are offered for saving before the click changes the selection.
        FModel->BeforeListMouseClick();
    } else if (Watched == lblHomePage) {
        if (Event->type() == QEvent::Enter || Event->type() == QEvent::Leave) {
            QFont Font = lblHomePage->font();
            Font.setUnderline(Event->type() == QEvent::Enter);
            lblHomePage->setFont(Font);
        } else if (Event->type() == QEvent::MouseButtonRelease) {
            FModel->OpenWebsite();
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}

// --- IUserInteraction and IShellActions --------------------------------------

int TFrmMain::ShowMessage(int Icon, const QString& Text, bool YesNo, bool DefaultNo) {
    QMessageBox Box(static_cast<QMessageBox::Icon>(Icon), QStringLiteral("Veltrano"), Text, QMessageBox::NoButton,
                    this);
    // File names, tag values and preset names are shown as written, never as markup.
    Box.setTextFormat(Qt::PlainText);
    if (YesNo) {
        QPushButton* Yes = Box.addButton(Tr("Yes"), QMessageBox::YesRole);
        QPushButton* No = Box.addButton(Tr("No"), QMessageBox::NoRole);
        Box.setEscapeButton(No);
        Box.setDefaultButton(DefaultNo ? No : Yes);
        Box.exec();
        return Box.buttonRole(Box.clickedButton()) == QMessageBox::YesRole ? 1 : 0;
    }
    Box.addButton(Tr("OK"), QMessageBox::AcceptRole);
    Box.exec();
    return 1;
}

void TFrmMain::Inform(const QString& Text) { ShowMessage(QMessageBox::Information, Text, false); }

void TFrmMain::Warn(const QString& Text) { ShowMessage(QMessageBox::Warning, Text, false); }

void TFrmMain::ShowError(const QString& Text) { ShowMessage(QMessageBox::Critical, Text, false); }

bool TFrmMain::Confirm(const QString& Text) { return ShowMessage(QMessageBox::Question, Text, true) == 1; }

bool TFrmMain::ConfirmDestructive(const QString& Text) {
    return ShowMessage(QMessageBox::Warning, Text, true, true) == 1;
}

QString TFrmMain::AskText(const QString& Caption, const QString& Prompt, const QString& Default) {
    bool Ok = false;
    const QString Answer = QInputDialog::getText(this, Caption, Prompt, QLineEdit::Normal, Default, &Ok);
    return Ok ? Answer.trimmed() : QString();
}

QString TFrmMain::PickFolder(const QString& Caption) {
    return QFileDialog::getExistingDirectory(this, Caption, FModel->SelectedFolder());
}

QString TFrmMain::PickImageFile() {
    return QFileDialog::getOpenFileName(this, Tr("Load Cover"), FModel->SelectedFolder(),
                                        Tr("Images") + QStringLiteral(" (*.jpg *.jpeg *.png *.bmp)"));
}

QString TFrmMain::PickSaveFile(const QString& Caption, const QString& Filter, const QString& Suggested) {
    return QFileDialog::getSaveFileName(this, Caption, Suggested, Filter);
}

void TFrmMain::ShowErrorReport(const QVector<TErrorItem>& Errors) { ::ShowErrorReport(Errors, this); }

bool TFrmMain::PlayFile(const QString& Path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Path)); }

bool TFrmMain::OpenFile(const QString& Path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Path)); }

bool TFrmMain::OpenUrl(const QString& Url) { return QDesktopServices::openUrl(QUrl(Url)); }
