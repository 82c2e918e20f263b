// THttpWait: one GET at a time, waited for in a local event loop.
//
// The caller reads like a blocking call, but while it waits the program keeps
// handling its events: windows repaint, and a Cancel button (calling Cancel)
// stops the request or the pause at once. The network access manager belongs
// to the caller; this object holds no reply after Get returns.
#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

struct THttpGetOptions {
    int ConnectTimeoutMs = 15000;   // until the request has gone out
    int TransferTimeoutMs = 30000;  // longest silence while the answer arrives
    int TotalTimeoutMs = 0;         // whole request, redirects included; 0 = none
    int MaxRedirects = 10;
    qint64 MaxBytes = 8 << 20;      // the body is never read beyond this
    bool TruncateAtMax = false;     // keep the first MaxBytes (else the request fails)
};

struct THttpAnswer {
    bool Answered = false;   // an HTTP status came back (any status)
    int Status = 0;
    QString Reason;
    QByteArray Body;
    QByteArray RetryAfter;   // the raw Retry-After header, if any
    bool Truncated = false;
    bool Cancelled = false;
    QString Error;           // why there is no answer (when !Answered)
};

class THttpWait : public QObject {
    Q_OBJECT
public:
    explicit THttpWait(QNetworkAccessManager& Http, QObject* Parent = nullptr);
    ~THttpWait() override;

    THttpAnswer Get(QNetworkRequest Request, const THttpGetOptions& Options);
    // Waits Ms milliseconds with events running; false when cancelled.
    bool Pause(qint64 Ms);

    // Stops the running request or pause; every later call returns at once
    // as cancelled until ResetCancel.
    void Cancel();
    bool IsCancelled() const { return FCancelled; }
    void ResetCancel() { FCancelled = false; }

private:
    QNetworkAccessManager& FHttp;
    QPointer<QNetworkReply> FReply;
    QEventLoop* FPauseLoop = nullptr;
    bool FCancelled = false;
};

// Text of a cancelled request or pause.
QString CancelledText();
