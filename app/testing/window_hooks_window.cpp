#include "app/testing/window_hooks_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <ctime>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSslConfiguration>
#include <QTimer>
#include <QTreeWidget>
#include <QPointer>
#include <QProcess>
#include <QWindow>
#include <memory>
#include <numeric>
#include <functional>

#include "app/actions/preset_editor_dialog.h"
#include "app/actions/preset_store.h"
#include "app/commands.h"
#include "app/file_ops/file_commands.h"
#include "app/folder_tree_filter.h"
#include "app/lookup/auto_tag_pick_dialog.h"
#include "app/settings/translation.h"
#include "app/main_window.h"

namespace {

void Shoot(QWidget& Widget, const QString& FileName) {
    QPixmap Shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb") && Widget.screen())
        Shot = Widget.screen()->grabWindow(0);
    if (Shot.isNull()) Shot = Widget.window()->grab();
    Shot.save(FileName);
}

// Calls Then once, for the first top-level widget that Match accepts, when
// the display has exposed its window: after the pending events have run and
// the widget has been repainted, so a picture taken then shows it whole.
class TExposeWatch final : public QObject {
public:
    TExposeWatch(std::function<bool(QWidget&)> Match, std::function<void(QWidget&)> Then)
        : QObject(qApp), FMatch(std::move(Match)), FThen(std::move(Then)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (FFired || Event->type() != QEvent::Expose) return false;
        auto* Window = qobject_cast<QWindow*>(Watched);
        if (!Window || !Window->isExposed()) return false;
        for (QWidget* Widget : QApplication::topLevelWidgets()) {
            if (Widget->windowHandle() != Window || !Widget->isVisible() || !FMatch(*Widget)) continue;
            FFired = true;
            qApp->removeEventFilter(this);
            RunWhenPainted(Widget, FThen, this);
            deleteLater();
            break;
        }
        return false;
    }

    static void RunWhenPainted(QWidget* Widget, std::function<void(QWidget&)> Then, QObject* Context = nullptr) {
        QPointer<QWidget> Target(Widget);
        QObject* Receiver = Context ? static_cast<QObject*>(qApp) : Widget;
        QTimer::singleShot(0, Receiver, [Target, Then] {
            if (!Target) return;
            // Every window on the screen, so a picture of the whole screen
            // shows the window behind a menu or a dialog up to date too.
            for (QWidget* Shown : QApplication::topLevelWidgets())
                if (Shown->isVisible()) Shown->repaint();
            Then(*Target);
        });
    }

private:
    std::function<bool(QWidget&)> FMatch;
    std::function<void(QWidget&)> FThen;
    bool FFired = false;
};

// Then runs once Widget's window is on the screen and painted.
void WhenExposed(QWidget* Widget, std::function<void(QWidget&)> Then) {
    if (Widget->isVisible() && Widget->window()->windowHandle() && Widget->window()->windowHandle()->isExposed()) {
        TExposeWatch::RunWhenPainted(Widget, std::move(Then));
        return;
    }
    QPointer<QWidget> Target(Widget->window());
    new TExposeWatch([Target](QWidget& Shown) { return &Shown == Target; }, std::move(Then));
}

// Waits for a modal window of this name, photographs it and hands it on.
void WhenModalShown(const QString& Name, const QString& FileName, std::function<void(QWidget&)> Then) {
    new TExposeWatch([Name](QWidget& Shown) { return Shown.objectName() == Name; },
                     [FileName, Then](QWidget& Modal) {
                         if (!FileName.isEmpty()) Shoot(Modal, FileName);
                         Then(Modal);
                     });
}

// Then runs once the window has listed its folder (at once when no scan runs).
void WhenListed(TFrmMain& Window, std::function<void()> Then) {
    if (Window.Model().IsScanning())
        QObject::connect(&Window.Model(), &TMainModel::ScanFinished, &Window, Then, Qt::SingleShotConnection);
    else
        QTimer::singleShot(0, &Window, Then);
}

}  // namespace

bool RunStartUpTestHook(const QString& Hook) {
    const QString Kind = Hook.section(QLatin1Char('='), 0, 0);
    const QString Argument = Hook.section(QLatin1Char('='), 1);
    const bool Screenshot = Kind == QLatin1String("newversion-screenshot");
    if (!Screenshot && Kind != QLatin1String("newversion-press")) return false;
    // "...|CERT": the check's test server uses a certificate made for the check.
    const QString Certificate = Argument.section(QLatin1Char('|'), 1);
    if (!Certificate.isEmpty()) {
        QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
        Tls.addCaCertificates(Certificate, QSsl::Pem);
        QSslConfiguration::setDefaultConfiguration(Tls);
    }
    const QString First = Argument.section(QLatin1Char('|'), 0, 0);
    const QString Button = Screenshot ? QStringLiteral("btCancel") : First;
    WhenModalShown(QStringLiteral("frmNewVersion"), Screenshot ? First : QString(), [Button](QWidget& Dialog) {
        if (auto* Pressed = Dialog.findChild<QPushButton*>(Button)) Pressed->click();
    });
    // A screenshot ends the program after the dialog; a pressed button lets
    // the dialog decide.
    return Screenshot;
}

bool RunWindowTestHook(TFrmMain& Window, const QString& Hook) {
    const QString Kind = Hook.section(QLatin1Char('='), 0, 0);
    const QString Argument = Hook.section(QLatin1Char('='), 1);
    if (Kind == QLatin1String("newversion-screenshot")) {
        return true;
    } else if (Kind == QLatin1String("quit-when-shown") || Kind == QLatin1String("newversion-press")) {
        QTimer::singleShot(0, &Window, [&Window] { Window.close(); });
        return true;
    } else if (Kind == QLatin1String("autotag-pick")) {
        // "N" or "N|replace": double-clicks row N of every pick dialog, as a
        // user choosing a hit, with "Replace covers" ticked for "replace".
        const int Row = Argument.section(QLatin1Char('|'), 0, 0).toInt();
        const bool Replace = Argument.section(QLatin1Char('|'), 1) == QLatin1String("replace");
        // Re-arms itself for the next dialog; held by a static (not by its own
        // lambda, which would keep itself alive past the program's end).
        static std::function<void()> PickRow;
        PickRow = [Row, Replace] {
            WhenModalShown(QStringLiteral("frmAutoTagPick"), QString(), [Row, Replace](QWidget& Dialog) {
                if (auto* Box = Dialog.findChild<QCheckBox*>(QStringLiteral("chkReplaceCovers")))
                    Box->setChecked(Replace);
                auto* List = Dialog.findChild<QTreeWidget*>(QStringLiteral("lv"));
                if (QTreeWidgetItem* Item = List ? List->topLevelItem(Row) : nullptr) {
                    List->setCurrentItem(Item);
                    emit List->itemDoubleClicked(Item, 0);
                } else {
                    static_cast<QDialog&>(Dialog).reject();
                }
                PickRow();
            });
        };
        PickRow();
        QObject::connect(
            &Window.Model(), &TMainModel::ScanFinished, &Window,
            [&Window] {
                QTimer::singleShot(0, &Window, [&Window] {
                    Window.Model().SelectRows({0});
                    Window.Action(QStringLiteral("actAutoTag"))->trigger();
                    // The run goes on from the event loop; the window closes once it has ended.
                    if (auto* Run = Window.findChild<TAutoTagCommand*>())
                        QObject::connect(Run, &TAutoTagCommand::Finished, &Window,
                                         [&Window] { QTimer::singleShot(0, &Window, [&Window] { Window.close(); }); });
                    else
                        Window.close();
                });
            },
            Qt::SingleShotConnection);
        return true;
    } else if (Kind == QLatin1String("namesguess")) {
        const QString Picture = Argument.section(QLatin1Char('|'), 0, 0);
        const QString Pattern = Argument.section(QLatin1Char('|'), 1);
        WhenModalShown(QStringLiteral("frmTagsFromNames"), QString(), [Picture, Pattern](QWidget& Dialog) {
            if (auto* Combo = Dialog.findChild<QComboBox*>(QStringLiteral("cbPattern"))) Combo->setEditText(Pattern);
            TExposeWatch::RunWhenPainted(&Dialog, [Picture](QWidget& Shown) {
                if (!Picture.isEmpty()) Shoot(Shown, Picture);
                if (auto* Apply = Shown.findChild<QPushButton*>(QStringLiteral("btnApply"))) Apply->click();
            });
        });
        QObject::connect(
            &Window.Model(), &TMainModel::ScanFinished, &Window,
            [&Window] {
                QTimer::singleShot(0, &Window, [&Window] {
                    QVector<int> Rows;
                    for (int r = 0; r < Window.Model().FileList().rowCount(); ++r) Rows.append(r);
                    Window.Model().SelectRows(Rows);
                    Window.Action(QStringLiteral("actTagsFromNames"))->trigger();
                    Window.close();
                });
            },
            Qt::SingleShotConnection);
        return true;
    } else if (Kind == QLatin1String("fields-screenshot") || Kind == QLatin1String("pictures-screenshot")) {
        // Selects the first file once the folder is listed, opens All Fields
        // or Pictures, selects the window's second row (the picture preview
        // shows it), takes a picture of the window and closes.
        const bool Fields = Kind == QLatin1String("fields-screenshot");
        new TExposeWatch(
            [Fields](QWidget& Shown) {
                return Shown.objectName() == (Fields ? QLatin1String("frmAllFields") : QLatin1String("frmPictures"));
            },
            [&Window, Argument, Fields](QWidget& Dialog) {
                if (auto* List = Dialog.findChild<QTreeView*>(Fields ? QStringLiteral("lvFields")
                                                                     : QStringLiteral("lvPictures"));
                    List && List->model()->rowCount() > 1)
                    List->setCurrentIndex(List->model()->index(1, 0));
                TExposeWatch::RunWhenPainted(&Dialog, [&Window, Argument](QWidget& Shown) {
                    Shoot(Shown, Argument);
                    static_cast<QDialog&>(Shown).reject();
                    QTimer::singleShot(0, &Window, [&Window] { Window.close(); });
                });
            });
        WhenListed(Window, [&Window, Fields] {
            Window.Model().SelectRows({0});
            Window.Action(Fields ? QStringLiteral("actAllFields") : QStringLiteral("actPictures"))->trigger();
        });
        return true;
    } else if (Kind == QLatin1String("second-writer")) {
        // "PROGRAM|REPORT": once the folder is listed, the first file's Title
        // is edited, PROGRAM runs with the file's path (another program
        // writing the file meanwhile) and Save is pressed; the rows of the
        // save's report go to REPORT as "FILE<TAB>MESSAGE" lines and the
        // window closes once the save has ended.
        const QString Program = Argument.section(QLatin1Char('|'), 0, 0);
        const QString Report = Argument.section(QLatin1Char('|'), 1);
        WhenModalShown(QStringLiteral("frmErrorReport"), QString(), [&Window, Report](QWidget& Dialog) {
            QFile Out(Report);
            auto* List = Dialog.findChild<QTreeWidget*>(QStringLiteral("lvErrors"));
            if (List && Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                for (int i = 0; i < List->topLevelItemCount(); ++i) {
                    const QTreeWidgetItem* Item = List->topLevelItem(i);
                    Out.write((Item->text(0) + QLatin1Char('\t') + Item->text(1) + QLatin1Char('\n')).toUtf8());
                }
            }
            static_cast<QDialog&>(Dialog).reject();
            QTimer::singleShot(0, &Window, [&Window] { Window.close(); });
        });
        WhenListed(Window, [&Window, Program] {
            TMainModel& Model = Window.Model();
            Model.SelectRows({0});
            Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Edited Here"));
            const QStringList Files = Model.GetSelectedFiles();
            if (!Files.isEmpty()) QProcess::execute(Program, {Files.first()});
            // Without a report the window closes here; with one, once it is read.
            QObject::connect(
                &Model, &TMainModel::SaveFinished, &Window,
                [&Window] {
                    QTimer::singleShot(0, &Window, [&Window] {
                        if (!QApplication::activeModalWidget()) Window.close();
                    });
                },
                Qt::SingleShotConnection);
            Window.Action(QStringLiteral("actSave"))->trigger();
        });
        return true;
    } else if (Kind == QLatin1String("autotag-screenshot")) {
        // "FILE" or "FILE|replace": the picture shows "Replace covers" ticked
        // for "replace".
        const QString FileName = Argument.section(QLatin1Char('|'), 0, 0);
        const bool Replace = Argument.section(QLatin1Char('|'), 1) == QLatin1String("replace");
        WhenModalShown(QStringLiteral("frmAutoTagPick"), QString(), [&Window, FileName, Replace](QWidget& Dialog) {
            if (auto* Box = Dialog.findChild<QCheckBox*>(QStringLiteral("chkReplaceCovers"))) Box->setChecked(Replace);
            TExposeWatch::RunWhenPainted(&Dialog, [&Window, FileName](QWidget& Shown) {
                Shoot(Shown, FileName);
                static_cast<QDialog&>(Shown).reject();
                QTimer::singleShot(0, &Window, [&Window] { Window.close(); });
            });
        });
        QObject::connect(
            &Window.Model(), &TMainModel::ScanFinished, &Window,
            [&Window] {
                Window.Model().SelectRows({0});
                Window.Action(QStringLiteral("actAutoTag"))->trigger();
            },
            Qt::SingleShotConnection);
        return true;
    }
    return false;
}

// --- hooks of the main window ------------------------------------------------

void TFrmMain::RunTestHook(const QString& Hook) {
    const int Eq = static_cast<int>(Hook.indexOf(QLatin1Char('=')));
    const QString Kind = Hook.left(Eq);
    const QString Argument = Hook.mid(Eq + 1);
    if (RunCommandsHook(Kind, Argument)) return;
    if (Kind == QLatin1String("captions")) {
        // Once the folder is listed and the window is on the screen, laid
        // out at its first size.
        WhenListed(*this, [this, Argument] {
            WhenExposed(this, [this, Argument](QWidget&) {
                DumpCaptions(Argument);
                close();
            });
        });
    } else if (Kind == QLatin1String("scanbench")) {
        // How long the scan takes and how long the event loop ever waited
        // meanwhile (a 10 ms timer that falls behind shows a stall).
        auto* Ticker = new QTimer(this);
        auto* Clock = new QElapsedTimer;
        auto MaxGap = std::make_shared<qint64>(0);
        auto MaxGapAt = std::make_shared<qint64>(0);  // when the longest wait ended, from the start
        // The window thread's processor time between two turns: what our own
        // work took, which other programs on a busy machine do not stretch
        // (a wait much longer than it was spent waiting for a processor).
        auto MaxGapCpu = std::make_shared<qint64>(0);  // spent during the longest wait
        auto MaxCpu = std::make_shared<qint64>(0);     // the most spent between two turns
        auto LastCpu = std::make_shared<qint64>(0);
        auto ThreadCpuMs = [] {
            timespec T{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
            return qint64(T.tv_sec) * 1000 + T.tv_nsec / 1000000;
        };
        auto Since = std::make_shared<QElapsedTimer>();
        Since->start();
        Ticker->setInterval(10);
        connect(Ticker, &QTimer::timeout, this,
                [Clock, MaxGap, MaxGapAt, MaxGapCpu, MaxCpu, LastCpu, ThreadCpuMs, Since] {
                    const qint64 Cpu = ThreadCpuMs();
                    if (Clock->isValid()) {
                        const qint64 Gap = Clock->restart();
                        if (Gap > *MaxGap) {
                            *MaxGap = Gap;
                            *MaxGapAt = Since->elapsed();
                            *MaxGapCpu = Cpu - *LastCpu;
                        }
                        *MaxCpu = std::max(*MaxCpu, Cpu - *LastCpu);
                    } else {
                        Clock->start();
                    }
                    *LastCpu = Cpu;
                });
        Ticker->start();
        connect(
            FModel.get(), &TMainModel::ScanFinished, this,
            [this, Argument, Ticker, Clock, MaxGap, MaxGapAt, MaxGapCpu, MaxCpu, Since] {
                Ticker->stop();
                delete Clock;
                QJsonObject Result;
                Result.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
                Result.insert(QStringLiteral("records"), FModel->TagCache().size());
                Result.insert(QStringLiteral("scanMs"), FModel->LastScanMilliseconds());
                Result.insert(QStringLiteral("maxEventLoopGapMs"), *MaxGap);
                Result.insert(QStringLiteral("maxEventLoopGapAtMs"), *MaxGapAt);
                Result.insert(QStringLiteral("maxEventLoopGapCpuMs"), *MaxGapCpu);
                Result.insert(QStringLiteral("maxTurnCpuMs"), *MaxCpu);
                Result.insert(QStringLiteral("sinceHookMs"), Since->elapsed());
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
                    for (const char* Typed :
                         {"e", "ec", "ech", "echo", "echo ", "echo r", "echo", "ech", "ec", "e", ""}) {
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
                            Result.insert(QString::fromLatin1(Line.left(5)),
                                          Line.mid(6).trimmed().split(' ').value(0).toLongLong());
                    }
                }
                QFile Out(Argument.section(QLatin1Char('|'), 0, 0));
                if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) Out.write(QJsonDocument(Result).toJson());
                close();
            },
            Qt::SingleShotConnection);
    } else if (Kind == QLatin1String("screenshot")) {
        // "screenshot=FILE" shows one file with its picture; "screenshot=FILE|5"
        // selects the first five rows instead; "screenshot=FILE|filter:TEXT"
        // types TEXT into the filter box first.
        const QString Target = Argument.section(QLatin1Char('|'), 0, 0);
        const QString Option = Argument.section(QLatin1Char('|'), 1);
        const int Several = Option.toInt();
        const QString Filter = Option.startsWith(QLatin1String("filter:")) ? Option.mid(7) : QString();
        auto Shoot = [this, Target, Several, Filter] {
            if (!Filter.isEmpty()) edtFilter->setText(Filter);
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
                for (int r = 0; r < Several; ++r) Rows.append(r);
            }
            FModel->SelectRows(Rows);
            lvFiles->scrollTo(FModel->FileList().index(Rows.first(), 0));
            WhenExposed(this, [this, Target](QWidget&) {
                TakeScreenshot(Target);
                close();
            });
        };
        connect(FModel.get(), &TMainModel::ScanFinished, this, Shoot, Qt::SingleShotConnection);
    }
}

void TFrmMain::DumpCaptions(const QString& FileName) {
    QJsonObject All;
    TTranslation& T = TTranslation::Instance();
    // The state the window started in, before the languages are walked.
    QJsonObject Start;
    Start.insert(QStringLiteral("language"), T.LanguageCount() > 0 ? T.LanguageCode(T.CurrentIndex()) : QString());
    Start.insert(QStringLiteral("folder"), FModel->SelectedFolder());
    Start.insert(QStringLiteral("maximized"), isMaximized());
    Start.insert(QStringLiteral("listWidth"), lvFiles->width());
    QJsonArray Columns;
    for (int c = 0; c < FModel->FileList().columnCount(); ++c) Columns.append(lvFiles->columnWidth(c));
    Start.insert(QStringLiteral("columns"), Columns);
    const QList<int> Sizes = FSplitter->sizes();
    Start.insert(QStringLiteral("panels"), QJsonArray{Sizes.value(0), Sizes.value(2)});
    Start.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
    Start.insert(QStringLiteral("status"), lblStatus->text());
    QJsonArray IconSizes;
    for (const QSize& Size : windowIcon().availableSizes()) IconSizes.append(Size.width());
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
            if (!L->objectName().isEmpty()) Texts.insert(QStringLiteral("label:") + L->objectName(), L->text());
        }
        for (QPushButton* B : findChildren<QPushButton*>()) {
            if (!B->objectName().isEmpty()) Texts.insert(QStringLiteral("button:") + B->objectName(), B->text());
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
    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) Out.write(QJsonDocument(All).toJson());
}

void TFrmMain::TakeScreenshot(const QString& FileName) {
    QPixmap Shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb") && screen()) Shot = screen()->grabWindow(0);
    if (Shot.isNull()) Shot = grab();
    Shot.save(FileName);
}

bool TFrmMain::RunCommandsHook(const QString& Kind, const QString& Argument) {
    if (Kind == QLatin1String("commands")) {
        WhenListed(*this, [this, Argument] {
            DumpCommands(Argument);
            close();
        });
        return true;
    }
    const QString Target = Argument.section(QLatin1Char('|'), 0, 0);
    const QString What = Argument.section(QLatin1Char('|'), 1);
    if (Kind == QLatin1String("renamebench")) {
        // Renames every listed file by the pattern What through the File
        // menu, as a user would, and records how long it took and how long
        // the event loop ever waited meanwhile (a 10 ms timer that falls
        // behind shows a stall).
        WhenListed(*this, [this, Target, What] {
            QVector<int> All(FModel->FileList().rowCount());
            std::iota(All.begin(), All.end(), 0);
            FModel->SelectRows(All);
            auto* Ticker = new QTimer(this);
            auto Clock = std::make_shared<QElapsedTimer>();
            auto Since = std::make_shared<QElapsedTimer>();
            auto MaxGap = std::make_shared<qint64>(0);
            auto Ticks = std::make_shared<int>(0);
            Ticker->setInterval(10);
            auto MaxGapAt = std::make_shared<qint64>(0);
            auto Stalls = std::make_shared<QJsonArray>();  // [when it ended, how long] over 40 ms
            connect(Ticker, &QTimer::timeout, this, [Clock, MaxGap, MaxGapAt, Ticks, Since, Stalls] {
                ++*Ticks;
                if (!Clock->isValid()) {
                    Clock->start();
                    return;
                }
                const qint64 Gap = Clock->restart();
                if (Gap > 40) Stalls->append(QJsonArray{Since->elapsed(), Gap});
                if (Gap > *MaxGap) {
                    *MaxGap = Gap;
                    *MaxGapAt = Since->elapsed();
                }
            });
            connect(
                &FCommands->Files(), &TFileCommands::Finished, this,
                [this, Target, Ticker, Since, MaxGap, MaxGapAt, Ticks, Stalls, Count = All.size()] {
                    Ticker->stop();
                    QJsonObject Result;
                    Result.insert(QStringLiteral("files"), static_cast<int>(Count));
                    Result.insert(QStringLiteral("ms"), Since->elapsed());
                    Result.insert(QStringLiteral("maxEventLoopGapMs"), *MaxGap);
                    Result.insert(QStringLiteral("maxEventLoopGapAtMs"), *MaxGapAt);
                    Result.insert(QStringLiteral("ticks"), *Ticks);
                    Result.insert(QStringLiteral("stalls"), *Stalls);
                    Result.insert(QStringLiteral("status"), FModel->Status());
                    QFile Out(Target);
                    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) Out.write(QJsonDocument(Result).toJson());
                    close();
                },
                Qt::SingleShotConnection);
            // The pattern is asked for in a dialog of its own; the clock
            // starts when it is answered.
            QTimer::singleShot(0, this, [What, Ticker, Since] {
                if (auto* Dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                    Dialog->setTextValue(What);
                    Since->start();
                    Ticker->start();
                    Dialog->accept();
                }
            });
            Action(QStringLiteral("actTagToName"))->trigger();
        });
        return true;
    }
    if (Kind == QLatin1String("folderrename")) {
        // Renames the shown folder to What through the Folder menu, as a
        // user would, then records where the tree and the list ended up.
        connect(
            FModel.get(), &TMainModel::ScanFinished, this,
            [this, Target, What] {
                auto Scans = std::make_shared<int>(0);
                connect(FModel.get(), &TMainModel::ScanFinished, this, [Scans] { ++*Scans; });
                QTimer::singleShot(0, this, [What] {
                    if (auto* Dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                        Dialog->setTextValue(What);
                        Dialog->accept();
                    }
                });
                const QString Parent = QFileInfo(FModel->SelectedFolder()).absolutePath();
                // The file-system model notices the rename on its own thread and
                // reloads the parent folder; the state is recorded once it has
                // done so and the tree, the list and the rescan agree (or after
                // a long bound, to report what went wrong).
                auto Reloaded = std::make_shared<bool>(false);
                auto Written = std::make_shared<bool>(false);
                auto Record = [this, Target, Scans, Written] {
                    if (*Written) return;
                    *Written = true;
                    QJsonObject Result;
                    Result.insert(QStringLiteral("modelFolder"), FModel->SelectedFolder());
                    Result.insert(QStringLiteral("treeFolder"),
                                  FFsModel->filePath(FFolderFilter->mapToSource(tvFolders->currentIndex())));
                    Result.insert(QStringLiteral("rows"), FModel->FileList().rowCount());
                    Result.insert(QStringLiteral("firstRow"),
                                  FModel->FileList().rowCount() > 0 ? FModel->FileList().PathAt(0) : QString());
                    Result.insert(QStringLiteral("scans"), *Scans);
                    Result.insert(QStringLiteral("status"), FModel->Status());
                    QFile Out(Target);
                    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) Out.write(QJsonDocument(Result).toJson());
                    close();
                };
                // Judged once the signal's other receivers have run.
                auto Check = [this, Scans, Reloaded, Record] {
                    QTimer::singleShot(0, this, [this, Scans, Reloaded, Record] {
                        const QString Tree = FFsModel->filePath(FFolderFilter->mapToSource(tvFolders->currentIndex()));
                        if (*Reloaded && *Scans >= 1 && !FModel->IsScanning() && Tree == FModel->SelectedFolder())
                            Record();
                    });
                };
                connect(FFsModel, &QFileSystemModel::directoryLoaded, this,
                        [Parent, Reloaded, Check](const QString& Path) {
                            if (Path == Parent) *Reloaded = true;
                            Check();
                        });
                connect(FModel.get(), &TMainModel::ScanFinished, this, Check);
                Action(QStringLiteral("actRenameFolder"))->trigger();
                Check();
                QTimer::singleShot(20000, this, Record);
            },
            Qt::SingleShotConnection);
        return true;
    }
    if (Kind != QLatin1String("screenshot") || !(What == QLatin1String("presets") || What == QLatin1String("actions") ||
                                                 What.startsWith(QLatin1String("menu:"))))
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
                if (A->menu() == Menu) At = menuBar()->mapToGlobal(menuBar()->actionGeometry(A).bottomLeft());
            }
            QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false);
            QApplication::setEffectEnabled(Qt::UI_FadeMenu, false);
            Menu->popup(At);
        }
        if (Shown) Shown->show();
        QWidget* Pictured = Shown ? Shown : static_cast<QWidget*>(this);
        if (What.startsWith(QLatin1String("menu:")))
            if (QMenu* Menu = findChild<QMenu*>(What.mid(5))) Pictured = Menu;
        WhenExposed(Pictured, [this, Target, Shown](QWidget&) {
            TakeScreenshot(Target);
            delete Shown;
            close();
        });
    };
    connect(FModel.get(), &TMainModel::ScanFinished, this, Shoot, Qt::SingleShotConnection);
    return true;
}

void TFrmMain::DumpCommands(const QString& FileName) {
    QJsonObject All;
    // Every item a user can reach: menus (recursively), the list's pop-up
    // menu, the quick-action drop-down and the toolbar.
    QJsonArray Items;
    std::function<void(QMenu*, const QString&)> Walk = [&](QMenu* Menu, const QString& Path) {
        for (QAction* A : Menu->actions()) {
            if (A->isSeparator()) continue;
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
    for (QAction* A : menuBar()->actions()) Walk(A->menu(), A->menu()->objectName());
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
    Keys.insert(QStringLiteral("ctrlQContext"),
                Action(QStringLiteral("actQuickAction"))->shortcutContext() == Qt::WindowShortcut);
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
    if (Out.open(QIODevice::WriteOnly | QIODevice::Truncate)) Out.write(QJsonDocument(All).toJson());
}
