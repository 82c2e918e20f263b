#include "app/settings/update_check.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "app/lookup/http_wait.h"
#include "app/settings/network_settings.h"
#include "app/settings/translation.h"
#include "app/user_interaction.h"

namespace update_check {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// Trimmed as everywhere in the program: U+0000 to U+0020 at both ends.
QString TrimControls(const QString& Text) {
    qsizetype Begin = 0, End = Text.size();
    while (Begin < End && Text[Begin].unicode() <= 0x20) ++Begin;
    while (End > Begin && Text[End - 1].unicode() <= 0x20) --End;
    return Text.mid(Begin, End - Begin);
}

bool ParseWholeNumber(const QString& Text, int& Value) {
    static const QRegularExpression Digits(QStringLiteral("^[0-9]{1,6}$"));
    const QString Trimmed = TrimControls(Text);
    if (!Digits.match(Trimmed).hasMatch()) return false;
    Value = Trimmed.toInt();
    return true;
}

QNetworkRequest UpdateRequest(const QUrl& Url) {
    QNetworkRequest Request(Url);
    Request.setRawHeader("User-Agent", kUserAgent);
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    Tls.setProtocol(QSsl::TlsV1_2OrLater);
    Request.setSslConfiguration(Tls);
    return Request;
}

// Only an https address of the update server is ever asked.
bool SecureUrl(const QString& Text, QUrl& Url) {
    Url = QUrl(Text, QUrl::StrictMode);
    return Url.isValid() && Url.scheme() == QLatin1String("https") && !Url.host().isEmpty();
}

}  // namespace

bool ParseVersionLine(const QByteArray& Page, int& Latest, int& Lowest) {
    const qsizetype End = Page.indexOf('\n');
    QString Line = QString::fromUtf8(End < 0 ? Page : Page.left(End));
    if (Line.startsWith(QChar(0xFEFF))) Line.remove(0, 1);
    Line = TrimControls(Line);
    const qsizetype Slash = Line.indexOf(QLatin1Char('/'));
    if (Slash < 0) return false;
    int L = 0, W = 0;
    if (!ParseWholeNumber(Line.left(Slash), L) || !ParseWholeNumber(Line.mid(Slash + 1), W) || W > L) return false;
    Latest = L;
    Lowest = W;
    return true;
}

QStringList ParseChanges(const QByteArray& Page) {
    QStringList Lines;
    QString Text = QString::fromUtf8(Page);
    if (Text.startsWith(QChar(0xFEFF))) Text.remove(0, 1);
    for (QString Line : Text.split(QLatin1Char('\n'))) {
        if (Line.endsWith(QLatin1Char('\r'))) Line.chop(1);
        if (!TrimControls(Line).isEmpty()) Lines.append(Line);
    }
    return Lines;
}

QString DisplayVersion(int Version) {
    QString Text = QString::number(Version);
    if (Text.size() < 2) Text.prepend(QLatin1Char('0'));
    return Text.left(Text.size() - 1) + QLatin1Char('.') + Text.right(1);
}

bool MakeOffer(const QByteArray& VersionPage, const QByteArray& ChangesPage, int Running, TUpdateOffer& Offer) {
    TUpdateOffer New;
    if (!ParseVersionLine(VersionPage, New.Latest, New.Lowest)) return false;
    New.DisplayVersion = DisplayVersion(New.Latest);
    New.Changes = ParseChanges(ChangesPage);
    QString Heading;
    if (New.Lowest > Running) {
        New.Mandatory = true;
        Heading = FormatTr(QStringLiteral("This version of the software is out of date. You must download the current "
                                          "version %s to continue using the software."),
                           {New.DisplayVersion});
        Heading += kLineBreak + kLineBreak + QStringLiteral("What's new:");
    } else if (New.Latest > Running) {
        Heading = FormatTr(QStringLiteral("The new version %s is available"), {New.DisplayVersion});
        Heading += kLineBreak + kLineBreak + Tr(QStringLiteral("What's new:"));
    } else {
        return false;
    }
    New.DialogText = Heading + kLineBreak;
    for (const QString& Line : New.Changes) New.DialogText += Line + kLineBreak;
    Offer = New;
    return true;
}

bool RunCheck(const QString& BaseUrl, TUpdateOffer& Offer, int DeadlineMs) {
    QUrl VersionUrl, ChangesUrl;
    if (!SecureUrl(BaseUrl + QLatin1String(kVersionPath), VersionUrl) ||
        !SecureUrl(BaseUrl + QLatin1String(kChangesPath), ChangesUrl))
        return false;
    const QDeadlineTimer Deadline(DeadlineMs);
    QNetworkAccessManager Http;
    THttpWait Wait(Http);
    auto Fetch = [&](const QUrl& Url, qint64 MaxBytes, QByteArray& Body) {
        const int Left = static_cast<int>(Deadline.remainingTime());
        if (Left <= 0) return false;
        THttpGetOptions Options;
        Options.ConnectTimeoutMs = Left;
        Options.TransferTimeoutMs = Left;
        Options.TotalTimeoutMs = Left;
        Options.MaxRedirects = kMaxRedirects;
        Options.MaxBytes = MaxBytes;
        Options.TruncateAtMax = true;
        const THttpAnswer Answer = Wait.Get(UpdateRequest(Url), Options);
        if (!Answer.Answered || Answer.Status < 200 || Answer.Status > 299) return false;
        Body = Answer.Body;
        // A page cut at the cap loses its unfinished last line.
        if (Answer.Truncated) {
            const qsizetype LastBreak = Body.lastIndexOf('\n');
            Body.truncate(LastBreak < 0 ? 0 : LastBreak);
        }
        return true;
    };
    QByteArray VersionPage, ChangesPage;
    if (!Fetch(VersionUrl, kMaxVersionPageBytes, VersionPage) || !Fetch(ChangesUrl, kMaxChangesPageBytes, ChangesPage))
        return false;
    return MakeOffer(VersionPage, ChangesPage, kRunningVersionNumber, Offer);
}

}  // namespace update_check

// --- the download ------------------------------------------------------------

TUpdateDownload::TUpdateDownload(const QString& Url, QObject* Parent) : QObject(Parent), FUrl(Url) {}

TUpdateDownload::~TUpdateDownload() {
    if (FReply) {
        FReply->disconnect(this);
        FReply->abort();
        FReply->deleteLater();
        Fail(QString());
    }
}

void TUpdateDownload::Start() {
    QUrl Url(FUrl, QUrl::StrictMode);
    if (!Url.isValid() || Url.scheme() != QLatin1String("https")) {
        Fail(Tr("The update address is not a secure (https) address."));
        return;
    }
    // A folder of our own, readable by this user only, so nobody else can
    // place or swap the file between the download and its opening.
    QTemporaryDir Folder(QStandardPaths::writableLocation(QStandardPaths::TempLocation) +
                         QStringLiteral("/veltrano-update-XXXXXX"));
    if (!Folder.isValid()) {
        Fail(Folder.errorString());
        return;
    }
    Folder.setAutoRemove(false);
    FFolder = Folder.path();
    FFilePath = FFolder + QLatin1Char('/') + QLatin1String(update_check::kSetupFileName);
    FFile = std::make_unique<QFile>(FFilePath);
    if (!FFile->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        Fail(FFile->errorString());
        return;
    }
    QNetworkRequest Request(Url);
    Request.setRawHeader("User-Agent", update_check::kUserAgent);
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    Tls.setProtocol(QSsl::TlsV1_2OrLater);
    Request.setSslConfiguration(Tls);
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    Request.setMaximumRedirectsAllowed(update_check::kMaxRedirects);
    // A stalled server ends the download; a slow one does not.
    Request.setTransferTimeout(60000);
    FReply = FHttp.get(Request);
    connect(FReply, &QNetworkReply::readyRead, this, &TUpdateDownload::OnReadyRead);
    connect(FReply, &QNetworkReply::finished, this, &TUpdateDownload::OnFinished);
}

void TUpdateDownload::Abort() {
    if (!FReply) return;
    FAborted = true;
    FReply->abort();
}

void TUpdateDownload::OnReadyRead() {
    if (!FReply || !FFile) return;
    const QByteArray Block = FReply->readAll();
    if (FReceived + Block.size() > update_check::kMaxDownloadBytes) {
        FTooLarge = true;
        FReply->abort();
        return;
    }
    if (FFile->write(Block) != Block.size()) {
        FReply->abort();
        return;
    }
    FReceived += Block.size();
    const QVariant Length = FReply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 Total = Length.isValid() ? Length.toLongLong() : 0;
    if (Total > 0) emit Progress(static_cast<int>(std::min<qint64>(100, FReceived * 100 / Total)));
}

void TUpdateDownload::OnFinished() {
    QNetworkReply* Reply = FReply;
    if (!Reply) return;
    if (!FAborted && !FTooLarge && Reply->error() == QNetworkReply::NoError) OnReadyRead();
    FReply = nullptr;
    Reply->deleteLater();
    const int Status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString Error;
    if (FAborted)
        Error = Tr("Download is cancelled. Please download manually.");
    else if (FTooLarge)
        Error = Tr("The download is larger than any setup program.");
    else if (FFile && FFile->error() != QFileDevice::NoError)
        Error = FFile->errorString();
    else if (Reply->error() != QNetworkReply::NoError && (Status < 200 || Status > 299) && Status != 0)
        Error = FormatText(
            QStringLiteral("HTTP %d: %s"),
            {Status, QString::fromUtf8(Reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray())});
    else if (Reply->error() != QNetworkReply::NoError)
        Error = Reply->errorString();
    if (!Error.isEmpty()) {
        Fail(Error);
        return;
    }
    FFile->close();
    FFile.reset();
    if (!QFile::exists(FFilePath)) {
        Fail(Tr("Cannot find downloaded file."));
        return;
    }
    FDone = true;
    emit Finished(true, QString());
}

void TUpdateDownload::Fail(const QString& Error) {
    FFile.reset();
    if (!FFolder.isEmpty()) QDir(FFolder).removeRecursively();
    FFolder.clear();
    if (!Error.isEmpty()) emit Finished(false, Error);
}

// --- the dialog's state ------------------------------------------------------

TNewVersionModel::TNewVersionModel(const TUpdateOffer& Offer, const QString& BaseUrl, IUserInteraction& Ui,
                                   IShellActions& Shell, QObject* Parent)
    : QObject(Parent), FOffer(Offer), FBaseUrl(BaseUrl), FUi(Ui), FShell(Shell), FExit(Offer.Mandatory) {}

TNewVersionModel::~TNewVersionModel() = default;

QString TNewVersionModel::Caption() const { return QStringLiteral(" Veltrano"); }

QString TNewVersionModel::UpdateCaption() const { return Tr(QStringLiteral("Update Now")); }

QString TNewVersionModel::CancelCaption() const {
    if (FDownloading) return Tr(QStringLiteral("Abort"));
    return FExit ? Tr(QStringLiteral("Exit")) : Tr(QStringLiteral("Skip"));
}

bool TNewVersionModel::CancelPressed() {
    if (FDownloading) {
        FCancelRequested = true;
        if (FDownload) FDownload->Abort();
        return false;
    }
    return true;
}

void TNewVersionModel::UpdateNowPressed() {
    if (FDownloading || FDownloadDone) return;
    // The program ends after this dialog, whether the download works or not.
    FExit = true;
    FCancelRequested = false;
    FDownloading = true;
    FProgress = 0;
    emit Changed();
    FDownload = std::make_unique<TUpdateDownload>(FBaseUrl + QLatin1String(update_check::kSetupPath));
    connect(FDownload.get(), &TUpdateDownload::Progress, this, [this](int Percent) {
        FProgress = Percent;
        emit Changed();
    });
    connect(FDownload.get(), &TUpdateDownload::Finished, this, &TNewVersionModel::DownloadFinished,
            Qt::QueuedConnection);
    FDownload->Start();
}

void TNewVersionModel::DownloadFinished(bool Ok, const QString& Error) {
    FDownloading = false;
    FDownloadDone = true;
    emit Changed();
    if (Ok) {
        FDownloadedFile = FDownload->FilePath();
        // The desktop decides what to do with the setup program; when it
        // cannot, the user gets the download page.
        if (!FShell.OpenFile(FDownloadedFile)) FShell.OpenUrl(WebSiteUrl());
    } else {
        FUi.ShowError(Tr(QStringLiteral("Failed to download update. Please download manually on website.")) +
                      QStringLiteral("\r\n\r\n") + Error);
        FShell.OpenUrl(WebSiteUrl());
    }
    emit CloseRequested();
}

void TNewVersionModel::Closing() {
    if (FDownloading && FDownload) FDownload->Abort();
    if (FExit) FContinue = false;
}

bool RunStartupUpdateCheck(const QString& BaseUrl, INewVersionDialog& Dialog, IUserInteraction& Ui,
                           IShellActions& Shell, int DeadlineMs) {
    TUpdateOffer Offer;
    if (!update_check::RunCheck(BaseUrl, Offer, DeadlineMs)) return true;
    TNewVersionModel Model(Offer, BaseUrl, Ui, Shell);
    Dialog.Execute(Model);
    Model.Closing();
    return Model.ContinueValue();
}
