// THttpGet: one GET at a time, its answer reported by a signal.
//
// Start sends the request and returns at once; Finished comes later from the
// event loop, once, with the whole answer (or why there is none). Nothing
// waits inside this object: the caller chains its next step on Finished.
// Cancel drops the running request at once and reports nothing, so the
// caller decides what a cancel means. The network access manager belongs to
// the caller; the reply is deleted by this object.
#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkAccessManager;

struct THttpGetOptions {
    int ConnectTimeoutMs = 15000;   // until the request has gone out
    int TransferTimeoutMs = 30000;  // longest silence while the answer arrives
    int TotalTimeoutMs = 0;         // whole request, redirects included; 0 = none
    int MaxRedirects = 10;
    qint64 MaxBytes = 8 << 20;   // the body is never read beyond this
    bool TruncateAtMax = false;  // keep the first MaxBytes (else the request fails)
};

struct THttpAnswer {
    bool Answered = false;  // an HTTP status came back (any status)
    int Status = 0;
    QString Reason;
    QByteArray Body;
    QByteArray RetryAfter;  // the raw Retry-After header, if any
    bool Truncated = false;
    bool Cancelled = false;
    QString Error;  // why there is no answer (when !Answered)
};

class THttpGet : public QObject {
    Q_OBJECT
public:
    explicit THttpGet(QNetworkAccessManager& Http, QObject* Parent = nullptr);
    ~THttpGet() override;

    // Sends Request; a request still running is dropped first.
    void Start(QNetworkRequest Request, const THttpGetOptions& Options);
    // Drops the running request; no Finished follows for it.
    void Cancel();
    bool IsRunning() const { return FReply != nullptr; }

signals:
    void Finished(const THttpAnswer& Answer);

private:
    void CheckLength();
    void ReadBody();
    void OnReplyFinished();
    void GiveUp();

    QNetworkAccessManager& FHttp;
    QPointer<QNetworkReply> FReply;
    THttpGetOptions FOptions;
    THttpAnswer FAnswer;
    QTimer FConnectTimer;
    QTimer FTotalTimer;
    bool FTimedOut = false;
    bool FTooLarge = false;
};

// Text of a cancelled request or pause.
QString CancelledText();
