// The start-up update check and the new-version dialog's behaviour.
//
// Before the main window exists the program asks the maker's server (over
// HTTPS only) for "latest/lowest" and the list of changes. A newer latest
// version offers an update; a lowest version above the running one makes the
// update mandatory, and the program ends after the dialog. The whole check
// has one short deadline, so a machine without network starts at once; any
// failure of the check is silent.
//
// "Update Now" downloads the setup program into a private temporary folder
// made for it, with progress and Abort, then hands the file to the desktop
// (or opens the download page); the program never runs what it downloaded.
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class IShellActions;
class IUserInteraction;
class QFile;

struct TUpdateOffer {
    int Latest = 0;
    int Lowest = 0;
    bool Mandatory = false;
    QString DisplayVersion;  // 24 -> "2.4"
    QStringList Changes;
    QString DialogText;
};

namespace update_check {

inline constexpr int kDeadlineMs = 3000;
inline constexpr qint64 kMaxVersionPageBytes = 4096;
inline constexpr qint64 kMaxChangesPageBytes = 64 * 1024;
inline constexpr qint64 kMaxDownloadBytes = qint64(512) << 20;
inline constexpr int kMaxRedirects = 10;
inline const char* const kVersionPath = "/download/version/veltrano-version.html";
inline const char* const kChangesPath = "/download/version/veltrano-changes.html";
inline const char* const kSetupPath = "/download/veltrano.exe";
inline const char* const kSetupFileName = "qzm_update.exe";
inline const char* const kUserAgent = "Mozilla/4.0 (compatible; MyApp)";

// "latest/lowest" from the first line of the version page: surrounding
// blanks, a CR and a byte-order mark are ignored; both must be whole numbers
// and lowest may not exceed latest.
bool ParseVersionLine(const QByteArray& Page, int& Latest, int& Lowest);
// The non-blank lines of the changes page.
QStringList ParseChanges(const QByteArray& Page);
// 24 -> "2.4", 105 -> "10.5".
QString DisplayVersion(int Version);
// True when the pages announce a version newer than Running; Offer then holds
// the dialog text.
bool MakeOffer(const QByteArray& VersionPage, const QByteArray& ChangesPage, int Running, TUpdateOffer& Offer);

// The check against BaseUrl (which must be https). False on any failure or
// when there is nothing newer.
bool RunCheck(const QString& BaseUrl, TUpdateOffer& Offer, int DeadlineMs = kDeadlineMs);

}  // namespace update_check

// TUpdateDownload: the setup program fetched into a private folder. Owns its
// network access manager and the file while it is written.
class TUpdateDownload : public QObject {
    Q_OBJECT
public:
    explicit TUpdateDownload(const QString& Url, QObject* Parent = nullptr);
    ~TUpdateDownload() override;
    void Start();
    // The download ends as failed with the cancel message.
    void Abort();
    QString FilePath() const { return FFilePath; }
    bool IsRunning() const { return FReply != nullptr; }

signals:
    void Progress(int Percent);
    void Finished(bool Ok, const QString& Error);

private:
    void OnReadyRead();
    void OnFinished();
    void Fail(const QString& Error);

    QString FUrl;
    QNetworkAccessManager FHttp;
    QPointer<QNetworkReply> FReply;
    std::unique_ptr<QFile> FFile;
    QString FFolder;
    QString FFilePath;
    qint64 FReceived = 0;
    bool FAborted = false;
    bool FTooLarge = false;
    bool FDone = false;
};

// TNewVersionModel: the new-version dialog's state and buttons, without
// widgets. The dialog shows Caption, Text, the two button captions, the
// progress bar, and closes when CloseRequested is emitted or when
// CancelPressed returns true.
class TNewVersionModel : public QObject {
    Q_OBJECT
public:
    TNewVersionModel(const TUpdateOffer& Offer, const QString& BaseUrl, IUserInteraction& Ui, IShellActions& Shell,
                     QObject* Parent = nullptr);
    ~TNewVersionModel() override;

    QString Caption() const;
    QString Text() const { return FOffer.DialogText; }
    QString UpdateCaption() const;
    QString CancelCaption() const;
    bool UpdateEnabled() const { return !FDownloading && !FDownloadDone; }
    bool ProgressVisible() const { return FDownloading || FDownloadDone; }
    int ProgressValue() const { return FProgress; }
    bool Downloading() const { return FDownloading; }

    bool ExitFlag() const { return FExit; }
    bool CancelRequested() const { return FCancelRequested; }
    // Whether the program goes on to its main window after the dialog.
    bool ContinueValue() const { return FContinue; }

    // Skip / Exit / Abort: true when the dialog is to close now.
    bool CancelPressed();
    void UpdateNowPressed();
    // The dialog closes, whichever way.
    void Closing();
    QString DownloadedFile() const { return FDownloadedFile; }

signals:
    void Changed();
    void CloseRequested();

private:
    void DownloadFinished(bool Ok, const QString& Error);

    TUpdateOffer FOffer;
    QString FBaseUrl;
    IUserInteraction& FUi;
    IShellActions& FShell;
    std::unique_ptr<TUpdateDownload> FDownload;
    QString FDownloadedFile;
    bool FExit = false;
    bool FCancelRequested = false;
    bool FContinue = true;
    bool FDownloading = false;
    bool FDownloadDone = false;
    int FProgress = 0;
};

// How the program shows the dialog (a modal window; tests answer directly).
class INewVersionDialog {
public:
    virtual ~INewVersionDialog() = default;
    // Shows the dialog over Model until it closes.
    virtual void Execute(TNewVersionModel& Model) = 0;
};

// The start-up step: the check and, when it offers something, the dialog.
// Returns whether the program goes on to its main window.
bool RunStartupUpdateCheck(const QString& BaseUrl, INewVersionDialog& Dialog, IUserInteraction& Ui,
                           IShellActions& Shell, int DeadlineMs = update_check::kDeadlineMs);
