// The window's seams to the user and to the desktop.
//
// Commands of the window model never open a dialog or start a program
// themselves: they ask through these interfaces, which the main window
// implements with message boxes, file dialogs and the desktop services, and
// which tests answer directly.
#pragma once

#include <QString>
#include <QVector>

// One file that could not be written, with the tag service's message.
struct TErrorItem {
    QString FileName;
    QString Message;
    bool operator==(const TErrorItem&) const = default;
};

class IUserInteraction {
public:
    virtual ~IUserInteraction() = default;
    // Modal message boxes with OK.
    virtual void Inform(const QString& Text) = 0;
    virtual void Warn(const QString& Text) = 0;
    virtual void ShowError(const QString& Text) = 0;
    // Modal question with Yes and No; true for Yes.
    virtual bool Confirm(const QString& Text) = 0;
    // A question whose Yes cannot be taken back (a permanent delete): No is
    // the answer a stray Enter gives.
    virtual bool ConfirmDestructive(const QString& Text) { return Confirm(Text); }
    // Modal text input; the answer trimmed, empty when cancelled or left empty.
    virtual QString AskText(const QString& Caption, const QString& Prompt, const QString& Default) = 0;
    // Folder picker; empty when cancelled.
    virtual QString PickFolder(const QString& Caption) = 0;
    // File-open dialog for a picture (JPEG, PNG, BMP); empty when cancelled.
    virtual QString PickImageFile() = 0;
    // File-save dialog with a filter ("CSV files (*.csv)") and a suggested
    // path; the dialog itself asks before replacing a file. Empty when
    // cancelled (and where no dialog can be shown).
    virtual QString PickSaveFile(const QString& /*Caption*/, const QString& /*Filter*/, const QString& /*Suggested*/) {
        return {};
    }
    // The modal "Tag Writing Errors" report.
    virtual void ShowErrorReport(const QVector<TErrorItem>& Errors) = 0;
};

class IShellActions {
public:
    virtual ~IShellActions() = default;
    // Plays the file with its associated player; false when refused.
    virtual bool PlayFile(const QString& Path) = 0;
    // Opens the file with its associated application; false when refused.
    virtual bool OpenFile(const QString& Path) = 0;
    // Opens a web page in the default browser.
    virtual bool OpenUrl(const QString& Url) = 0;
};

// The report as plain text: each row the path, a TAB, the message, CR LF.
QString ErrorReportText(const QVector<TErrorItem>& Errors);
