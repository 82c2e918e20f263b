#include "app/theme.h"

#include <QColor>

QPalette BlueThemePalette() {
    QPalette P;
    const QColor Window(240, 245, 252);
    const QColor Text(30, 41, 59);
    const QColor Highlight(58, 130, 246);
    P.setColor(QPalette::Window, Window);
    P.setColor(QPalette::WindowText, Text);
    P.setColor(QPalette::Base, Qt::white);
    P.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
    P.setColor(QPalette::Text, Text);
    P.setColor(QPalette::Button, QColor(232, 240, 252));
    P.setColor(QPalette::ButtonText, Text);
    P.setColor(QPalette::Highlight, Highlight);
    P.setColor(QPalette::HighlightedText, Qt::white);
    P.setColor(QPalette::ToolTipBase, QColor(255, 255, 240));
    P.setColor(QPalette::ToolTipText, Text);
    P.setColor(QPalette::Link, QColor(29, 78, 216));
    P.setColor(QPalette::PlaceholderText, QColor(148, 163, 184));
    P.setColor(QPalette::Disabled, QPalette::Text, QColor(148, 163, 184));
    P.setColor(QPalette::Disabled, QPalette::WindowText, QColor(148, 163, 184));
    P.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(148, 163, 184));
    return P;
}

QString BlueThemeStyleSheet() {
    return QStringLiteral(R"css(
QMainWindow { background: #eef3fb; }
QMenuBar { background: #1e40af; color: white; padding: 2px; }
QMenuBar::item { background: transparent; padding: 4px 10px; border-radius: 3px; }
QMenuBar::item:selected { background: #3a82f6; }
QMenu { background: white; border: 1px solid #9db7e0; padding: 3px; }
QMenu::item { padding: 5px 26px 5px 24px; }
QMenu::item:selected { background: #3a82f6; color: white; }
QMenu::item:disabled { color: #94a3b8; }
QMenu::item:default { font-weight: bold; }
QMenu::separator { height: 1px; background: #d5e1f3; margin: 4px 6px; }
QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f8fbff, stop:1 #dbe7f8);
           border-bottom: 1px solid #a9c1e6; spacing: 2px; padding: 3px; }
QToolBar::separator { background: #a9c1e6; width: 1px; margin: 6px 5px; }
QToolButton { border: 1px solid transparent; border-radius: 4px; padding: 6px; }
QToolButton:hover { background: #dbeafe; border-color: #93c5fd; }
QToolButton:pressed { background: #bfdbfe; }
QToolButton:disabled { background: transparent; }
QToolButton[popupMode="1"] { padding-right: 18px; }
QToolButton::menu-button { border: none; border-left: 1px solid transparent; width: 14px;
                           border-top-right-radius: 4px; border-bottom-right-radius: 4px; }
QToolButton::menu-button:hover { border-left-color: #93c5fd; background: #dbeafe; }
QToolButton::menu-arrow { width: 8px; height: 8px; }
QSplitter::handle { background: #c7d7ef; }
QSplitter::handle:hover { background: #3a82f6; }
QStatusBar { background: #1e40af; color: white; }
QStatusBar QLabel { color: white; }
QStatusBar::item { border: none; }
QLabel#lblEditorCaption { color: #1e3a8a; font-weight: bold; }
QWidget#pnlLeft, QWidget#pnlRight, QWidget#pnlEditor { background: #eef3fb; }
QFrame#pnlCover { background: white; border: 1px solid #b6cae8; border-radius: 4px; }
QLineEdit, QComboBox, QPlainTextEdit { background: white; border: 1px solid #b6cae8; border-radius: 3px;
                                       padding: 2px 4px; selection-background-color: #3a82f6; }
QLineEdit:focus, QComboBox:focus, QPlainTextEdit:focus { border: 1px solid #3a82f6; }
QComboBox::drop-down { border-left: 1px solid #d5e1f3; width: 16px; }
QComboBox::down-arrow { image: url(:/veltrano/ui/down_arrow.png); width: 10px; height: 6px; }
QComboBox::down-arrow:disabled { image: url(:/veltrano/ui/down_arrow_disabled.png); }
QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dbe7f8);
              border: 1px solid #9db7e0; border-radius: 4px; padding: 4px 12px; color: #1e3a8a; }
QPushButton:hover { border-color: #3a82f6; background: #e0ecff; }
QPushButton:pressed { background: #bfdbfe; }
QTreeView { background: white; border: 1px solid #b6cae8; selection-background-color: #3a82f6;
            selection-color: white; }
QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f8fbff, stop:1 #e2ecfa);
                       color: #1e3a8a; border: none; border-right: 1px solid #c7d7ef;
                       border-bottom: 1px solid #a9c1e6; padding: 4px 6px; }
QScrollBar:vertical { background: #eef3fb; width: 12px; margin: 0; }
QScrollBar::handle:vertical { background: #b6cae8; border-radius: 5px; min-height: 24px; margin: 1px; }
QScrollBar::handle:vertical:hover { background: #3a82f6; }
QScrollBar:horizontal { background: #eef3fb; height: 12px; margin: 0; }
QScrollBar::handle:horizontal { background: #b6cae8; border-radius: 5px; min-width: 24px; margin: 1px; }
QScrollBar::handle:horizontal:hover { background: #3a82f6; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }
)css");
}
