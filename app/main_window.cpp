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
#include "app/folder_tree_filter.h"
#include "app/settings/translation.h"
#include "app/settings/window_settings.h"
#include "app/version.h"

namespace {

constexpr int kDesignWidth = 1342;
constexpr int kDesignHeight = 691;
constexpr int kSidePanelWidth = 275;
constexpr int kSplitterWidth = 6;
constexpr int kPictureAreaHeight = 200;

// The editor's labels, in the record's field order.
const char* const kFieldLabels[TMainModel::kFieldCount] = {
    "Title", "Artist", "Album", "Year", "Track:", "Genre", "Comment", "Disk:", "BPM:",
    "Album Artist:", "Composer:", "Orig.Artist:", "Copyright:", "URL:", "Encoded By:", "Lyrics:",
};
const char* const kFieldControlNames[TMainModel::kFieldCount] = {
    "edtTitle", "edtArtist", "edtAlbum", "edtYear", "edtTrack", "edtGenre", "memComment", "edtDisc", "edtBPM",
    "edtAlbumArtist", "edtComposer", "edtOrigArtist", "edtCopyright", "edtURL", "edtEncodedBy", "memLyrics",
};

}  // namespace

TFrmMain::TFrmMain(QWidget* Parent) : QMainWindow(Parent)
{
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
    BuildStatusBar();
    BindModel();

    resize(kDesignWidth, kDesignHeight);
    if (QScreen* Screen = screen())
        move(Screen->availableGeometry().center() - rect().center());

    LoadSettings();
    BuildLanguageMenu();
    ApplyCaptions();
}

TFrmMain::~TFrmMain()
{
    // The model stops a running scan; it must go before the widgets it feeds.
    FCommands.reset();
    FModel.reset();
}

// --- building ----------------------------------------------------------------

void TFrmMain::Caption(QObject* Target, const QString& English, const QString& Suffix)
{
    QPointer<QObject> Guard(Target);
    FCaptions.emplace_back(English, [Guard, Suffix](const QString& T) {
        if (!Guard)
            return;
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

QWidget* TFrmMain::BuildLeftPanel()
{
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
    FFolderFilter = new TFolderTreeFilter(this);
    FFolderFilter->setSourceModel(FFsModel);
    tvFolders = new QTreeView;
    tvFolders->setObjectName(QStringLiteral("tvFolders"));
    tvFolders->setModel(FFolderFilter);
    for (int c = 1; c < FFsModel->columnCount(); ++c)
        tvFolders->hideColumn(c);
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
                if (!Current.isValid())
                    return;
                const QString Folder = FFsModel->filePath(FFolderFilter->mapToSource(Current));
                // A command that showed its folder has scanned it already.
                if (Folder != FModel->SelectedFolder())
                    FModel->FolderSelected(Folder);
            });
    return pnlLeft;
}

QWidget* TFrmMain::BuildCentre()
{
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

    connect(lvFiles->header(), &QHeaderView::sectionClicked, this, [this](int Column) {
        FModel->SortByColumn(Column);
        lvFiles->header()->setSortIndicator(FModel->SortColumn(),
                                            FModel->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(lvFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& Pos) { FListPopup->popup(lvFiles->viewport()->mapToGlobal(Pos)); });
    return lvFiles;
}

QWidget* TFrmMain::BuildRightPanel()
{
    pnlRight = new QWidget;
    pnlRight->setObjectName(QStringLiteral("pnlRight"));
    auto* Scroll = new QScrollArea;
    Scroll->setObjectName(QStringLiteral("sbEditor"));
    Scroll->setWidgetResizable(true);
    Scroll->setFrameShape(QFrame::NoFrame);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* Outer = new QVBoxLayout(pnlRight);
    Outer->setContentsMargins(0, 0, 0, 0);
    Outer->addWidget(Scroll);
    auto* Content = new QWidget;
    Content->setObjectName(QStringLiteral("pnlEditor"));
    Scroll->setWidget(Content);

    auto* Grid = new QGridLayout(Content);
    Grid->setContentsMargins(6, 6, 8, 6);
    Grid->setHorizontalSpacing(6);
    Grid->setVerticalSpacing(3);
    Grid->setColumnStretch(1, 1);

    auto MakeLabel = [&](int Field) {
        auto* L = new QLabel;
        L->setObjectName(QStringLiteral("lbl") + QLatin1String(kFieldControlNames[Field] + 3));
        Caption(L, QLatin1String(kFieldLabels[Field]));
        return L;
    };
    for (int f = 0; f < TMainModel::kFieldCount; ++f) {
        if (!TMainModel::FieldHasSuggestions(f))
            continue;
        auto* Combo = new QComboBox;
        Combo->setObjectName(QLatin1String(kFieldControlNames[f]));
        Combo->setEditable(true);
        Combo->setInsertPolicy(QComboBox::NoInsert);
        Combo->setMinimumContentsLength(3);
        Combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        Combo->setCompleter(nullptr);
        FCombos[f] = Combo;
        connect(Combo, &QComboBox::editTextChanged, this, [this, f](const QString& T) { EditorTextEdited(f, T); });
    }
    memComment = new QPlainTextEdit;
    memComment->setObjectName(QStringLiteral("memComment"));
    memComment->setFixedHeight(3 * memComment->fontMetrics().lineSpacing() + 14);
    memLyrics = new QPlainTextEdit;
    memLyrics->setObjectName(QStringLiteral("memLyrics"));
    memLyrics->setMinimumHeight(60);
    auto MemoText = [](QPlainTextEdit* Memo, bool CrLf) {
        QString Text = Memo->toPlainText();
        return CrLf ? Text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")) : Text;
    };
    connect(memComment, &QPlainTextEdit::textChanged, this,
            [this, MemoText] { EditorTextEdited(TMainModel::efComment, MemoText(memComment, FCommentCrLf)); });
    connect(memLyrics, &QPlainTextEdit::textChanged, this,
            [this, MemoText] { EditorTextEdited(TMainModel::efLyrics, MemoText(memLyrics, FLyricsCrLf)); });

    // Two columns: labels and fields. The paired rows get their own boxes so
    // that their labels do not widen the label column.
    int Row = 0;
    auto* TrackRow = new QHBoxLayout;
    TrackRow->setSpacing(6);
    TrackRow->addWidget(MakeLabel(TMainModel::efTrack));
    TrackRow->addWidget(FCombos[TMainModel::efTrack], 1);
    TrackRow->addSpacing(6);
    TrackRow->addWidget(MakeLabel(TMainModel::efDisc));
    TrackRow->addWidget(FCombos[TMainModel::efDisc], 1);
    Grid->addLayout(TrackRow, Row++, 0, 1, 2);
    Grid->setRowMinimumHeight(Row++, 4);
    // Title, Artist, Album: label above a full-width field.
    for (int f : {TMainModel::efTitle, TMainModel::efArtist, TMainModel::efAlbum}) {
        Grid->addWidget(MakeLabel(f), Row++, 0, 1, 2);
        Grid->addWidget(FCombos[f], Row++, 0, 1, 2);
    }
    // "Year" and "Genre" side by side.
    auto* YearGenre = new QGridLayout;
    YearGenre->setHorizontalSpacing(6);
    YearGenre->setVerticalSpacing(3);
    YearGenre->addWidget(MakeLabel(TMainModel::efYear), 0, 0);
    YearGenre->addWidget(MakeLabel(TMainModel::efGenre), 0, 1);
    YearGenre->addWidget(FCombos[TMainModel::efYear], 1, 0);
    YearGenre->addWidget(FCombos[TMainModel::efGenre], 1, 1);
    YearGenre->setColumnStretch(0, 2);
    YearGenre->setColumnStretch(1, 3);
    Grid->addLayout(YearGenre, Row++, 0, 1, 2);
    Grid->addWidget(MakeLabel(TMainModel::efComment), Row++, 0, 1, 2);
    Grid->addWidget(memComment, Row++, 0, 1, 2);
    Grid->setRowMinimumHeight(Row++, 6);
    // The rest: label left, field right.
    for (int f : {TMainModel::efAlbumArtist, TMainModel::efComposer, TMainModel::efOrigArtist,
                  TMainModel::efCopyright, TMainModel::efURL, TMainModel::efEncodedBy, TMainModel::efBPM}) {
        Grid->addWidget(MakeLabel(f), Row, 0);
        Grid->addWidget(FCombos[f], Row++, 1);
    }
    Grid->setRowMinimumHeight(Row++, 4);
    Grid->addWidget(MakeLabel(TMainModel::efLyrics), Row++, 0, 1, 2);
    Grid->addWidget(memLyrics, Row, 0, 1, 2);
    Grid->setRowStretch(Row, 1);
    return pnlRight;
}

void TFrmMain::BuildStatusBar()
{
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
    statusBar()->addWidget(lblStatus, 1);
    statusBar()->addPermanentWidget(lblHomePage);
    statusBar()->setSizeGripEnabled(false);
    lblStatus->setText(QLatin1Char(' ') + Tr("Ready"));
}

void TFrmMain::BuildLanguageMenu()
{
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

void TFrmMain::BindModel()
{
    TMainModel& M = *FModel;
    // A scan sets the status once per file; the label shows the newest text
    // at most every few dozen milliseconds, which is all an eye can follow.
    FStatusTimer = new QTimer(this);
    FStatusTimer->setSingleShot(true);
    FStatusTimer->setInterval(50);
    connect(FStatusTimer, &QTimer::timeout, this, [this] {
        if (lblStatus->text() != FModel->Status())
            lblStatus->setText(FModel->Status());
    });
    connect(&M, &TMainModel::StatusChanged, lblStatus, [this](const QString& T) {
        if (FStatusTimer->isActive())
            return;
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
}

// --- editor ------------------------------------------------------------------

void TFrmMain::ShowEditorFromModel()
{
    for (int f = 0; f < TMainModel::kFieldCount; ++f) {
        const QString Text = FModel->EditorText(f);
        if (QComboBox* Combo = FCombos[f]) {
            const QSignalBlocker Block(Combo);
            const QStringList Items = FModel->Suggestions(f);
            bool Same = Combo->count() == Items.size();
            for (int i = 0; Same && i < Items.size(); ++i)
                Same = Combo->itemText(i) == Items[i];
            if (!Same) {
                Combo->clear();
                Combo->addItems(Items);
            }
            Combo->setCurrentIndex(-1);
            Combo->setEditText(Text);
            Combo->lineEdit()->setCursorPosition(0);
        } else {
            QPlainTextEdit* Memo = f == TMainModel::efComment ? memComment : memLyrics;
            const QSignalBlocker Block(Memo);
            // Edits keep the line breaks the value came with (CR LF or LF).
            (f == TMainModel::efComment ? FCommentCrLf : FLyricsCrLf) = Text.contains(QStringLiteral("\r\n"));
            QString Shown = Text;
            Shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
            Memo->setPlainText(Shown);
        }
    }
}

void TFrmMain::EditorTextEdited(int Field, const QString& Text)
{
    FModel->SetEditorText(Field, Text);
}

void TFrmMain::ShowFoldersTree(bool Show)
{
    if (!Show && pnlLeft->isVisible())
        FLeftWidth = FSplitter->sizes().value(0, kSidePanelWidth);
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

void TFrmMain::ApplyCaptions()
{
    // Every widget, and every dialog opened later, follows the language's
    // writing direction.
    QGuiApplication::setLayoutDirection(TTranslation::Instance().CurrentDirection());
    for (const auto& [English, Set] : FCaptions)
        Set(Tr(English));
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
        for (int i = 0; i < Items.size(); ++i)
            Items[i]->setChecked(i == Current);
    }
}

// --- settings ----------------------------------------------------------------

void TFrmMain::LoadSettings()
{
    const TWindowSettings S = ReadWindowSettings(SettingsFileName());
    // Position and size first, so that un-maximising later returns to them.
    const QRect Current = geometry();
    move(S.Left.value_or(x()), S.Top.value_or(y()));
    resize(std::max(200, S.Width.value_or(Current.width())), std::max(150, S.Height.value_or(Current.height())));
    FStartMaximised = S.WindowState == 2;  // a stored minimised state opens normal

    if (!S.Folder.isEmpty())
        SelectFolderInTree(S.Folder);
    else
        SelectFolderInTree(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));

    // The splitter distributes its width only once it is laid out; the panel
    // widths are applied when the window is first shown.
    FLeftWidth = std::max(0, S.LeftPanelWidth.value_or(kSidePanelWidth));
    FRightWidth = std::max(0, S.RightPanelWidth.value_or(kSidePanelWidth));

    if (S.ColumnWidths) {
        for (int c = 0; c < kListColumnCount; ++c) {
            const int Width = (*S.ColumnWidths)[c].value_or(lvFiles->columnWidth(c));
            lvFiles->setColumnWidth(c, std::max(0, Width));
        }
        FNeedInitDefaultColumnWidths = false;
    } else {
        FNeedInitDefaultColumnWidths = true;
    }
    if (FNeedInitDefaultColumnWidths)
        FStartMaximised = true;
}

void TFrmMain::SaveSettings()
{
    TWindowSettings S;
    S.WindowState = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    if (S.WindowState == 0) {
        S.Left = x();
        S.Top = y();
        S.Width = width();
        S.Height = height();
    }
    S.Folder = FModel->SelectedFolder();
    QVector<std::optional<int>> Widths;
    for (int c = 0; c < kListColumnCount; ++c)
        Widths.append(lvFiles->columnWidth(c));
    S.ColumnWidths = Widths;
    const QList<int> Sizes = FSplitter->sizes();
    S.LeftPanelWidth = pnlLeft->isVisible() ? Sizes.value(0) : FLeftWidth;
    S.RightPanelWidth = Sizes.value(2);
    WriteWindowSettings(SettingsFileName(), S);
}

void TFrmMain::ApplyPanelWidths()
{
    const QList<int> Sizes = FSplitter->sizes();
    if (Sizes.size() != 3)
        return;
    const int Total = Sizes[0] + Sizes[1] + Sizes[2];
    const int Left = pnlLeft->isVisible() ? FLeftWidth : 0;
    FSplitter->setSizes({Left, std::max(50, Total - Left - FRightWidth), FRightWidth});
}

void TFrmMain::InitDefaultColumnWidths()
{
    if (!FNeedInitDefaultColumnWidths)
        return;
    FNeedInitDefaultColumnWidths = false;
    const QVector<int> Widths = DefaultColumnWidths(lvFiles->width(), FModel->FileList().columnCount());
    for (int c = 0; c < Widths.size(); ++c)
        lvFiles->setColumnWidth(c, Widths[c]);
}

void TFrmMain::SelectFolderInTree(const QString& Folder)
{
    if (Folder.isEmpty() || !QDir(Folder).exists())
        return;
    const QModelIndex Source = FFsModel->index(QDir(Folder).absolutePath());
    const QModelIndex Index = FFolderFilter->mapFromSource(Source);
    if (!Index.isValid())
        return;
    tvFolders->setCurrentIndex(Index);
    tvFolders->scrollTo(Index, QAbstractItemView::PositionAtCenter);
}

void TFrmMain::ShowFirstTime()
{
    if (FStartMaximised)
        showMaximized();
    else
        show();
}

// --- events ------------------------------------------------------------------

void TFrmMain::showEvent(QShowEvent* Event)
{
    QMainWindow::showEvent(Event);
    if (!FShownOnce) {
        FShownOnce = true;
        ApplyPanelWidths();
        // Let the window reach its maximised size before measuring the list.
        QTimer::singleShot(150, this, [this] {
            ApplyPanelWidths();
            InitDefaultColumnWidths();
        });
    }
}

void TFrmMain::closeEvent(QCloseEvent* Event)
{
    SaveSettings();
    FModel->StopScan();
    Event->accept();
}

bool TFrmMain::eventFilter(QObject* Watched, QEvent* Event)
{
    if (lvFiles && Watched == lvFiles->viewport() && Event->type() == QEvent::MouseButtonPress) {
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

int TFrmMain::ShowMessage(int Icon, const QString& Text, bool YesNo)
{
    QMessageBox Box(static_cast<QMessageBox::Icon>(Icon), QStringLiteral("Veltrano"), Text, QMessageBox::NoButton,
                    this);
    // File names, tag values and preset names are shown as written, never as markup.
    Box.setTextFormat(Qt::PlainText);
    if (YesNo) {
        Box.addButton(Tr("Yes"), QMessageBox::YesRole);
        QAbstractButton* No = Box.addButton(Tr("No"), QMessageBox::NoRole);
        Box.setEscapeButton(No);
        Box.exec();
        return Box.buttonRole(Box.clickedButton()) == QMessageBox::YesRole ? 1 : 0;
    }
    Box.addButton(Tr("OK"), QMessageBox::AcceptRole);
    Box.exec();
    return 1;
}

void TFrmMain::Inform(const QString& Text)
{
    ShowMessage(QMessageBox::Information, Text, false);
}

void TFrmMain::Warn(const QString& Text)
{
    ShowMessage(QMessageBox::Warning, Text, false);
}

void TFrmMain::ShowError(const QString& Text)
{
    ShowMessage(QMessageBox::Critical, Text, false);
}

bool TFrmMain::Confirm(const QString& Text)
{
    return ShowMessage(QMessageBox::Question, Text, true) == 1;
}

QString TFrmMain::AskText(const QString& Caption, const QString& Prompt, const QString& Default)
{
    bool Ok = false;
    const QString Answer = QInputDialog::getText(this, Caption, Prompt, QLineEdit::Normal, Default, &Ok);
    return Ok ? Answer.trimmed() : QString();
}

QString TFrmMain::PickFolder(const QString& Caption)
{
    return QFileDialog::getExistingDirectory(this, Caption, FModel->SelectedFolder());
}

QString TFrmMain::PickImageFile()
{
    return QFileDialog::getOpenFileName(this, Tr("Load Cover"), FModel->SelectedFolder(),
                                        Tr("Images") + QStringLiteral(" (*.jpg *.jpeg *.png *.bmp)"));
}

void TFrmMain::ShowErrorReport(const QVector<TErrorItem>& Errors)
{
    ::ShowErrorReport(Errors, this);
}

bool TFrmMain::PlayFile(const QString& Path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

bool TFrmMain::OpenFile(const QString& Path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

bool TFrmMain::OpenUrl(const QString& Url)
{
    return QDesktopServices::openUrl(QUrl(Url));
}

// --- test hooks --------------------------------------------------------------

void TFrmMain::RunTestHook(const QString& Hook)
{
    const int Eq = static_cast<int>(Hook.indexOf(QLatin1Char('=')));
    const QString Kind = Hook.left(Eq);
    const QString Argument = Hook.mid(Eq + 1);
    if (RunCommandsHook(Kind, Argument))
        return;
    if (Kind == QLatin1String("captions")) {
        // After the first-show work (panel and default column widths).
        QTimer::singleShot(600, this, [this, Argument] {
            DumpCaptions(Argument);
            close();
        });
    } else if (Kind == QLatin1String("scanbench")) {
        // How long the scan takes and how long the event loop ever waited
        // meanwhile (a 10 ms timer that falls behind shows a stall).
        auto* Ticker = new QTimer(this);
        auto* Clock = new QElapsedTimer;
        auto MaxGap = std::make_shared<qint64>(0);
        Ticker->setInterval(10);
        connect(Ticker, &QTimer::timeout, this, [Clock, MaxGap] {
            if (Clock->isValid())
                *MaxGap = std::max(*MaxGap, Clock->restart());
            else
                Clock->start();
        });
        Ticker->start();
        connect(FModel.get(), &TMainModel::ScanFinished, this, [this, Argument, Ticker, Clock, MaxGap] {
            Ticker->stop();
            delete Clock;
            QJsonObject Result;
            Result.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
            Result.insert(QStringLiteral("records"), FModel->TagCache().size());
            Result.insert(QStringLiteral("scanMs"), FModel->LastScanMilliseconds());
            Result.insert(QStringLiteral("maxEventLoopGapMs"), *MaxGap);
            Result.insert(QStringLiteral("distinctCovers"), FModel->DistinctCoverCount());
            int WithCover = 0, WithTitle = 0, WithDuration = 0;
            qint64 CoverBytes = 0, DistinctCoverBytes = 0;
            QSet<const char*> Seen;
            for (const TAudioTag& Tag : FModel->TagCache()) {
                WithCover += !Tag.CoverData.isEmpty();
                CoverBytes += Tag.CoverData.size();
                if (!Tag.CoverData.isEmpty() && !Seen.contains(Tag.CoverData.constData())) {
                    Seen.insert(Tag.CoverData.constData());
                    DistinctCoverBytes += Tag.CoverData.size();
                }
                WithTitle += !Tag.Title.isEmpty();
                WithDuration += Tag.DurationSec > 0;
            }
            Result.insert(QStringLiteral("withCover"), WithCover);
            Result.insert(QStringLiteral("coverBytes"), CoverBytes);
            Result.insert(QStringLiteral("coverBytesHeld"), DistinctCoverBytes);
            Result.insert(QStringLiteral("withTitle"), WithTitle);
            Result.insert(QStringLiteral("withDuration"), WithDuration);
            // "scanbench=FILE|ROWS": then the cache is filled up to ROWS records
            // (copies of the scanned ones under other folders) and the filter is
            // typed key by key, each keystroke timed with the list's repaint.
            const int FilterRows = Argument.section(QLatin1Char('|'), 1, 1).toInt();
            if (FilterRows > 0 && !FModel->TagCache().isEmpty()) {
                const QList<QString> Paths = FModel->TagCache().keys();
                for (int i = 0; FModel->TagCache().size() < FilterRows; ++i) {
                    const QString& Path = Paths[i % Paths.size()];
                    TAudioTag Copy = FModel->TagCache().value(Path);
                    Copy.FileName = QStringLiteral("/copy%1").arg(i / Paths.size()) + Path;
                    FModel->AddRecord(Copy.FileName, Copy);
                }
                edtFilter->clear();
                QCoreApplication::processEvents();
                QJsonArray Keystrokes;
                qint64 Longest = 0, LongestCpu = 0;
                // Wall time, and the thread's processor time, which other
                // programs on a busy machine do not stretch.
                auto CpuMs = [] {
                    timespec T{};
                    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
                    return qint64(T.tv_sec) * 1000 + T.tv_nsec / 1000000;
                };
                for (const char* Typed : {"e", "ec", "ech", "echo", "echo ", "echo r", "echo", "ech", "ec", "e", ""}) {
                    QElapsedTimer Clock;
                    Clock.start();
                    const qint64 CpuStart = CpuMs();
                    edtFilter->setText(QLatin1String(Typed));
                    QCoreApplication::processEvents();
                    lvFiles->viewport()->repaint();
                    const qint64 Ms = Clock.elapsed();
                    const qint64 Cpu = CpuMs() - CpuStart;
                    Longest = std::max(Longest, Ms);
                    LongestCpu = std::max(LongestCpu, Cpu);
                    Keystrokes.append(QJsonArray{QLatin1String(Typed), Ms, Cpu, FModel->FileList().rowCount()});
                }
                Result.insert(QStringLiteral("filterLongestCpuMs"), LongestCpu);
                Result.insert(QStringLiteral("filterRecords"), FModel->TagCache().size());
                Result.insert(QStringLiteral("filterKeystrokes"), Keystrokes);
                Result.insert(QStringLiteral("filterLongestMs"), Longest);
            }
            QFile Status(QStringLiteral("/proc/self/status"));
            if (Status.open(QIODevice::ReadOnly)) {
                for (const QByteArray& Line : Status.readAll().split('\n')) {
                    if (Line.startsWith("VmHWM:") || Line.startsWith("VmRSS:"))
                        Result.insert(QString::fromLatin1(Line.left(5)), Line.mid(6).trimmed().split(' ').value(0).toLongLong());
                }
            }
            QFile Out(Argument.section(QLatin1Char('|'), 0, 0));
            if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                Out.write(QJsonDocument(Result).toJson());
            close();
        }, Qt::SingleShotConnection);
    } else if (Kind == QLatin1String("screenshot")) {
        // "screenshot=FILE" shows one file with its picture; "screenshot=FILE|5"
        // selects the first five rows instead; "screenshot=FILE|filter:TEXT"
        // types TEXT into the filter box first.
        const QString Target = Argument.section(QLatin1Char('|'), 0, 0);
        const QString Option = Argument.section(QLatin1Char('|'), 1);
        const int Several = Option.toInt();
        const QString Filter = Option.startsWith(QLatin1String("filter:")) ? Option.mid(7) : QString();
        auto Shoot = [this, Target, Several, Filter] {
            if (!Filter.isEmpty())
                edtFilter->setText(Filter);
            // Show a file that has a picture, as a user would pick one.
            int Row = 0;
            for (int r = 0; r < FModel->FileList().rowCount(); ++r) {
                TAudioTag Tag;
                if (FModel->TryGetCachedTag(FModel->FileList().PathAt(r), Tag) && !Tag.CoverData.isEmpty()) {
                    Row = r;
                    break;
                }
            }
            QVector<int> Rows{Row};
            if (Several > 1) {
                Rows.clear();
                for (int r = 0; r < Several; ++r)
                    Rows.append(r);
            }
            FModel->SelectRows(Rows);
            lvFiles->scrollTo(FModel->FileList().index(Rows.first(), 0));
            QTimer::singleShot(800, this, [this, Target] {
                TakeScreenshot(Target);
                close();
            });
        };
        connect(FModel.get(), &TMainModel::ScanFinished, this, Shoot, Qt::SingleShotConnection);
    }
}

void TFrmMain::DumpCaptions(const QString& FileName)
{
    QJsonObject All;
    TTranslation& T = TTranslation::Instance();
    // The state the window started in, before the languages are walked.
    QJsonObject Start;
    Start.insert(QStringLiteral("language"), T.LanguageCount() > 0 ? T.LanguageCode(T.CurrentIndex()) : QString());
    Start.insert(QStringLiteral("folder"), FModel->SelectedFolder());
    Start.insert(QStringLiteral("maximized"), isMaximized());
    Start.insert(QStringLiteral("listWidth"), lvFiles->width());
    QJsonArray Columns;
    for (int c = 0; c < FModel->FileList().columnCount(); ++c)
        Columns.append(lvFiles->columnWidth(c));
    Start.insert(QStringLiteral("columns"), Columns);
    const QList<int> Sizes = FSplitter->sizes();
    Start.insert(QStringLiteral("panels"), QJsonArray{Sizes.value(0), Sizes.value(2)});
    Start.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
    Start.insert(QStringLiteral("status"), lblStatus->text());
    QJsonArray IconSizes;
    for (const QSize& Size : windowIcon().availableSizes())
        IconSizes.append(Size.width());
    Start.insert(QStringLiteral("iconSizes"), IconSizes);
    Start.insert(QStringLiteral("desktopFileName"), QGuiApplication::desktopFileName());
    All.insert(QStringLiteral("start"), Start);

    // Hide the folder tree and show it again, as the View menu does.
    QAction* ShowTree = Action(QStringLiteral("actShowFolders"));
    ShowTree->trigger();
    QCoreApplication::processEvents();  // let the splitter lay itself out
    QJsonObject Toggle;
    Toggle.insert(QStringLiteral("hiddenVisible"), pnlLeft->isVisible());
    Toggle.insert(QStringLiteral("hiddenListLeft"), lvFiles->geometry().left());
    ShowTree->trigger();
    QCoreApplication::processEvents();
    Toggle.insert(QStringLiteral("checked"), ShowTree->isChecked());
    Toggle.insert(QStringLiteral("panelWidth"), FSplitter->sizes().value(0));
    Toggle.insert(QStringLiteral("panelRight"), pnlLeft->geometry().right());
    Toggle.insert(QStringLiteral("handleLeft"), FSplitter->handle(1)->geometry().left());
    Toggle.insert(QStringLiteral("handleVisible"), FSplitter->handle(1)->isVisible());
    All.insert(QStringLiteral("treeToggle"), Toggle);
    const int Languages = std::max(1, T.LanguageCount());
    for (int i = 0; i < Languages; ++i) {
        if (T.LanguageCount() > 0) {
            // Through the menu, as the user switches.
            FLanguageMenu->actions().at(i)->trigger();
        }
        QJsonObject Texts;
        for (QAction* A : findChildren<QAction*>()) {
            if (A->objectName().isEmpty() || A->objectName().startsWith(QLatin1String("_q_")) || A->text().isEmpty())
                continue;
            Texts.insert(QStringLiteral("action:") + A->objectName(), A->text());
            // Tool tips show on the toolbar buttons only.
            for (QObject* O : A->associatedObjects()) {
                if (qobject_cast<QToolBar*>(O))
                    Texts.insert(QStringLiteral("tooltip:") + A->objectName(), A->toolTip());
            }
        }
        for (QMenu* M : findChildren<QMenu*>()) {
            if (!M->objectName().isEmpty() && !M->title().isEmpty())
                Texts.insert(QStringLiteral("menu:") + M->objectName(), M->title());
        }
        for (QLabel* L : findChildren<QLabel*>()) {
            if (!L->objectName().isEmpty())
                Texts.insert(QStringLiteral("label:") + L->objectName(), L->text());
        }
        for (QPushButton* B : findChildren<QPushButton*>()) {
            if (!B->objectName().isEmpty())
                Texts.insert(QStringLiteral("button:") + B->objectName(), B->text());
        }
        Texts.insert(QStringLiteral("direction:window"),
                     layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr"));
        // Whether the editor's fields fit its panel in this language's captions.
        QCoreApplication::processEvents();
        if (auto* Editor = pnlRight->findChild<QScrollArea*>(QStringLiteral("sbEditor")); Editor && Editor->widget())
            Texts.insert(QStringLiteral("layout:editorFits"),
                         Editor->widget()->minimumSizeHint().width() <= Editor->viewport()->width());
        for (int c = 0; c < FModel->FileList().columnCount(); ++c)
            Texts.insert(QStringLiteral("column:%1").arg(c),
                         lvFiles->model()->headerData(c, Qt::Horizontal).toString());
        All.insert(T.LanguageCount() > 0 ? T.LanguageCode(i) : QStringLiteral("en"), Texts);
    }
    QFile Out(FileName);
    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Out.write(QJsonDocument(All).toJson());
}

void TFrmMain::TakeScreenshot(const QString& FileName)
{
    QPixmap Shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb") && screen())
        Shot = screen()->grabWindow(0);
    if (Shot.isNull())
        Shot = grab();
    Shot.save(FileName);
}
