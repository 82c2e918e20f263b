#include "app/lookup/http_wait.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include "app/settings/translation.h"

QString CancelledText()
{
    return Tr("Cancelled by the user.");
}

THttpWait::THttpWait(QNetworkAccessManager& Http, QObject* Parent) : QObject(Parent), FHttp(Http) {}

THttpWait::~THttpWait()
{
    if (FReply)
        FReply->abort();
    if (FPauseLoop)
        FPauseLoop->quit();
}

THttpAnswer THttpWait::Get(QNetworkRequest Request, const THttpGetOptions& Options)
{
    THttpAnswer Answer;
    if (FCancelled) {
        Answer.Cancelled = true;
        Answer.Error = CancelledText();
        return Answer;
    }
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    Request.setMaximumRedirectsAllowed(Options.MaxRedirects);
    Request.setTransferTimeout(Options.TransferTimeoutMs);

    QNetworkReply* Reply = FHttp.get(Request);
    FReply = Reply;
    QEventLoop Loop;
    bool TimedOut = false;
    bool TooLarge = false;

    auto GiveUp = [&TimedOut, Reply] {
        TimedOut = true;
        Reply->abort();
    };
    QTimer ConnectTimer;
    ConnectTimer.setSingleShot(true);
    connect(&ConnectTimer, &QTimer::timeout, Reply, GiveUp);
    ConnectTimer.start(Options.ConnectTimeoutMs);
    connect(Reply, &QNetworkReply::requestSent, &ConnectTimer, &QTimer::stop);
    QTimer TotalTimer;
    TotalTimer.setSingleShot(true);
    connect(&TotalTimer, &QTimer::timeout, Reply, GiveUp);
    if (Options.TotalTimeoutMs > 0)
        TotalTimer.start(Options.TotalTimeoutMs);

    connect(Reply, &QNetworkReply::readyRead, Reply, [&] {
        const qint64 Room = Options.MaxBytes - Answer.Body.size();
        if (Reply->bytesAvailable() > Room) {
            Answer.Body += Reply->read(std::max<qint64>(Room, 0));
            TooLarge = true;
            Reply->abort();
            return;
        }
        Answer.Body += Reply->readAll();
    });
    connect(Reply, &QNetworkReply::finished, &Loop, &QEventLoop::quit);
    if (!Reply->isFinished())
        Loop.exec();
    ConnectTimer.stop();
    TotalTimer.stop();
    if (!TooLarge && Reply->bytesAvailable() > 0) {
        const qint64 Room = Options.MaxBytes - Answer.Body.size();
        if (Reply->bytesAvailable() > Room) {
            Answer.Body += Reply->read(std::max<qint64>(Room, 0));
            TooLarge = true;
        } else {
            Answer.Body += Reply->readAll();
        }
    }

    const QVariant Status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (FCancelled) {
        Answer.Cancelled = true;
        Answer.Error = CancelledText();
    } else if (TimedOut) {
        Answer.Error = Tr("The server did not answer in time.");
    } else if (TooLarge && !Options.TruncateAtMax) {
        Answer.Error = Tr("The answer is too large.");
    } else if (Status.isValid() && (TooLarge || Reply->error() == QNetworkReply::NoError ||
                                    Reply->error() >= QNetworkReply::ContentAccessDenied)) {
        // An HTTP answer of any status; transport failures have no status.
        Answer.Answered = true;
        Answer.Truncated = TooLarge;
        Answer.Status = Status.toInt();
        Answer.Reason = QString::fromUtf8(Reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
        Answer.RetryAfter = Reply->rawHeader("Retry-After");
    } else {
        Answer.Error = Reply->errorString();
    }
    if (!Answer.Answered)
        Answer.Body.clear();
    FReply = nullptr;
    Reply->deleteLater();
    return Answer;
}

bool THttpWait::Pause(qint64 Ms)
{
    if (FCancelled)
        return false;
    if (Ms <= 0)
        return true;
    QEventLoop Loop;
    FPauseLoop = &Loop;
    QTimer::singleShot(std::chrono::milliseconds(Ms), &Loop, &QEventLoop::quit);
    Loop.exec();
    FPauseLoop = nullptr;
    return !FCancelled;
}

void THttpWait::Cancel()
{
    FCancelled = true;
    if (FReply)
        FReply->abort();
    if (FPauseLoop)
        FPauseLoop->quit();
}
