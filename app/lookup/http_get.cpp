#include "app/lookup/http_get.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "app/settings/translation.h"

QString CancelledText() { return Tr("Cancelled by the user."); }

THttpGet::THttpGet(QNetworkAccessManager& Http, QObject* Parent) : QObject(Parent), FHttp(Http) {
    FConnectTimer.setSingleShot(true);
    FTotalTimer.setSingleShot(true);
    connect(&FConnectTimer, &QTimer::timeout, this, &THttpGet::GiveUp);
    connect(&FTotalTimer, &QTimer::timeout, this, &THttpGet::GiveUp);
}

THttpGet::~THttpGet() { Cancel(); }

void THttpGet::Start(QNetworkRequest Request, const THttpGetOptions& Options) {
    Cancel();
    FOptions = Options;
    FAnswer = THttpAnswer();
    FTimedOut = false;
    FTooLarge = false;
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    Request.setMaximumRedirectsAllowed(Options.MaxRedirects);
    Request.setTransferTimeout(Options.TransferTimeoutMs);

    QNetworkReply* Reply = FHttp.get(Request);
    FReply = Reply;
    connect(Reply, &QNetworkReply::requestSent, &FConnectTimer, &QTimer::stop);
    connect(Reply, &QNetworkReply::metaDataChanged, this, &THttpGet::CheckLength);
    connect(Reply, &QNetworkReply::readyRead, this, &THttpGet::ReadBody);
    connect(Reply, &QNetworkReply::finished, this, &THttpGet::OnReplyFinished);
    FConnectTimer.start(Options.ConnectTimeoutMs);
    if (Options.TotalTimeoutMs > 0) FTotalTimer.start(Options.TotalTimeoutMs);
}

void THttpGet::Cancel() {
    FConnectTimer.stop();
    FTotalTimer.stop();
    QNetworkReply* Reply = FReply;
    FReply = nullptr;
    if (!Reply) return;
    // Disconnected first: abort() reports finished from within itself.
    Reply->disconnect(this);
    Reply->abort();
    Reply->deleteLater();
}

void THttpGet::GiveUp() {
    if (!FReply) return;
    FTimedOut = true;
    FReply->abort();  // finished follows from within abort()
}

void THttpGet::CheckLength() {
    // An answer that says it is longer than the limit is refused before its
    // body comes; one that does not say so is cut off while it arrives.
    if (!FReply || FTooLarge || FOptions.TruncateAtMax) return;
    const int Status = FReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (Status >= 300 && Status < 400) return;  // a redirect's own body does not count
    bool Known = false;
    const qint64 Length = FReply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&Known);
    if (Known && Length > FOptions.MaxBytes) {
        FTooLarge = true;
        FReply->abort();  // finished follows from within abort()
    }
}

void THttpGet::ReadBody() {
    if (!FReply || FTooLarge) return;
    const qint64 Room = FOptions.MaxBytes - FAnswer.Body.size();
    if (FReply->bytesAvailable() > Room) {
        FAnswer.Body += FReply->read(std::max<qint64>(Room, 0));
        FTooLarge = true;
        FReply->abort();
        return;
    }
    FAnswer.Body += FReply->readAll();
}

void THttpGet::OnReplyFinished() {
    QNetworkReply* Reply = FReply;
    if (!Reply) return;
    FReply = nullptr;
    if (!FTooLarge && Reply->bytesAvailable() > 0) {
        const qint64 Room = FOptions.MaxBytes - FAnswer.Body.size();
        if (Reply->bytesAvailable() > Room) {
            FAnswer.Body += Reply->read(std::max<qint64>(Room, 0));
            FTooLarge = true;
        } else {
            FAnswer.Body += Reply->readAll();
        }
    }
    FConnectTimer.stop();
    FTotalTimer.stop();
    Reply->disconnect(this);

    THttpAnswer Answer = std::move(FAnswer);
    FAnswer = THttpAnswer();
    const QVariant Status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (FTimedOut) {
        Answer.Error = Tr("The server did not answer in time.");
    } else if (FTooLarge && !FOptions.TruncateAtMax) {
        Answer.Error = Tr("The answer is too large.");
    } else if (Status.isValid() && (FTooLarge || Reply->error() == QNetworkReply::NoError ||
                                    Reply->error() >= QNetworkReply::ContentAccessDenied)) {
        // An HTTP answer of any status; transport failures have no status.
        Answer.Answered = true;
        Answer.Truncated = FTooLarge;
        Answer.Status = Status.toInt();
        Answer.Reason = QString::fromUtf8(Reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
        Answer.RetryAfter = Reply->rawHeader("Retry-After");
    } else {
        Answer.Error = Reply->errorString();
    }
    if (!Answer.Answered) Answer.Body.clear();
    Reply->deleteLater();
    // Last: a receiver may start the next request from its slot.
    emit Finished(Answer);
}
