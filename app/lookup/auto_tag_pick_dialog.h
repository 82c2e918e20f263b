// The auto-tag command's windows: TFrmAutoTagPick, the "Results from Online
// Database" list of hits for one file, TFrmAutoTagProgress, the run's
// progress window, and TAutoTagDialogs, which shows them and the run's
// messages for the command.
//
// Every window here is window-modal and opened without waiting (QDialog::
// open): its answer comes back by signal, so the command's run never sits in
// a local event loop. The pick dialog's rules live in TAutoTagPickModel; the
// dialog only shows the model's rows and reports the selection, the
// "Replace covers" box and the button pressed.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QVector>

#include "app/lookup/auto_tag_command.h"
#include "app/lookup/auto_tag_pick.h"

class QCheckBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class TFrmAutoTagPick final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAutoTagPick(QWidget* Parent = nullptr);
    // The heading above the list ("Results for <path>").
    void SetHeading(const QString& Text);
    // Fills the list and opens the dialog without waiting; Answered follows
    // when it closes.
    void OpenPick(const QVector<TMBReleaseCandidate>& Candidates, bool ReplaceCovers);

signals:
    void Answered(const TAutoTagPickAnswer& Answer);

private:
    void ApplyCaptions();
    void lvSelectionChanged();

    TAutoTagPickModel FModel;
    QLabel* lblHeading = nullptr;
    QTreeWidget* lvResults = nullptr;
    QLabel* lblNote = nullptr;
    QCheckBox* chkReplaceCovers = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

class TFrmAutoTagProgress final : public QDialog {
    Q_OBJECT
public:
    TFrmAutoTagProgress(QWidget* Parent, int FileCount);
    void ShowFile(int FileIndex, const QString& Text);

signals:
    // Cancel, Escape or the close box.
    void Cancelled();

protected:
    void reject() override;

private:
    QLabel* lblText = nullptr;
    QProgressBar* pbFiles = nullptr;
    QPushButton* btnCancel = nullptr;
};

class TAutoTagDialogs final : public IAutoTagUi {
public:
    explicit TAutoTagDialogs(QWidget* Owner) : FOwner(Owner) {}
    ~TAutoTagDialogs() override;

    void BeginProgress(int FileCount, std::function<void()> OnCancel) override;
    void ShowProgress(int FileIndex, const QString& Text) override;
    void EndProgress() override;
    void PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates, bool ReplaceCovers,
                       std::function<void(const TAutoTagPickAnswer&)> Done) override;
    void ShowMessage(bool Warning, const QString& Text, std::function<void()> Closed) override;

private:
    QWidget* FOwner;
    QPointer<TFrmAutoTagProgress> FProgress;
    QPointer<TFrmAutoTagPick> FPick;
    QPointer<QMessageBox> FMessage;
};

// Starts the auto-tag command over the window's selection with these windows
// (the main window's Auto-Tag command) and returns at once. The run belongs
// to Owner and goes when it has finished; nullptr when a run is under way.
TAutoTagCommand* RunAutoTag(TMainModel& Model, QWidget* Owner);
// Ends Owner's run at once, as its Cancel does (the window closing).
void CancelAutoTag(QWidget* Owner);
