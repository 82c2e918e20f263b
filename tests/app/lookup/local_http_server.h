// A small HTTP/1.1 server on 127.0.0.1 for the network tests, in the test's
// own process and event loop: it records every request (target, headers,
// arrival time) and answers from a handler, over plain TCP or over TLS with
// a certificate made by the openssl command at test time.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVector>
#include <functional>
#include <memory>
#include <string>

namespace lookuptest {

struct TServedRequest {
    QByteArray Method;
    QByteArray Target;                     // path and query as sent
    QMap<QByteArray, QByteArray> Headers;  // names lower-cased
    qint64 ArrivedMs = 0;                  // on the server's clock
};

struct TServedAnswer {
    int Status = 200;
    QByteArray Reason = "OK";
    QList<QPair<QByteArray, QByteArray>> Headers;
    void AddHeader(const QByteArray& Name, const QByteArray& Value) { Headers.append(qMakePair(Name, Value)); }
    QByteArray Body;
    // Leave Content-Length out: the closed connection ends the body.
    bool NoLength = false;
    // Send the body in blocks of BlockSize bytes, BlockDelayMs apart (0: at once).
    int BlockSize = 0;
    int BlockDelayMs = 0;
    // Hold the whole answer back this long.
    int DelayMs = 0;
    // Hold the answer until the test calls ReleaseHeld (a latch, no clock).
    bool Hold = false;
};

class TLocalHttpServer : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<TServedAnswer(const TServedRequest&)>;

    TLocalHttpServer();
    ~TLocalHttpServer() override;

    // Plain HTTP on a free loopback port.
    bool Listen();
    // TLS with the given PEM certificate and key.
    bool ListenTls(const QString& CertificateFile, const QString& KeyFile);
    QString BaseUrl() const;
    quint16 Port() const;

    THandler Handler;
    QVector<TServedRequest> Requests;
    // Answers held back (Hold): how many wait on a connection still open,
    // and sending them.
    int HeldOpen() const;
    void ReleaseHeld();
    qint64 Now() const { return FClock.elapsed(); }

private:
    void Accept();
    void Serve(class QTcpSocket* Socket);
    void Respond(class QTcpSocket* Socket, const TServedAnswer& Answer);

    std::unique_ptr<QTcpServer> FServer;
    bool FTls = false;
    QElapsedTimer FClock;
    QMap<QTcpSocket*, QByteArray> FPending;
    QList<QPair<QPointer<QTcpSocket>, TServedAnswer>> FHeld;
};

// A self-signed certificate for 127.0.0.1 made with the openssl command in
// Folder; false when openssl is missing or fails.
bool MakeTestCertificate(const std::string& Folder, QString& CertificateFile, QString& KeyFile);
// Makes every TLS connection of this process trust the certificate.
void TrustCertificate(const QString& CertificateFile);

// A file of the recorded MusicBrainz answers (shared fixtures) or of the
// answers cut and assembled from them (tests/fixtures/musicbrainz).
QByteArray Fixture(const char* Name);

// A one-colour picture of the given size in a Qt image format ("JPEG", "PNG").
QByteArray TestPicture(const char* Format, int Width = 500, int Height = 500);
// The cover archive's listing of tests/fixtures/coverartarchive with its
// addresses on Base (a server of the test).
QByteArray CoverListing(const QString& Base);

// Runs the event loop until Done() or TimeoutMs; returns Done().
bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = 10000);

}  // namespace lookuptest
