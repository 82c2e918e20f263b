#include "tests/app/lookup/local_http_server.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include "tests/test_util.h"

namespace lookuptest {

TLocalHttpServer::TLocalHttpServer() { FClock.start(); }

TLocalHttpServer::~TLocalHttpServer() {
    // The connections still open must not call back into a half-destroyed server.
    if (FServer) {
        for (QTcpSocket* Socket : FServer->findChildren<QTcpSocket*>()) Socket->disconnect(this);
        FServer.reset();
    }
}

bool TLocalHttpServer::Listen() {
    FServer = std::make_unique<QTcpServer>();
    FTls = false;
    connect(FServer.get(), &QTcpServer::pendingConnectionAvailable, this, &TLocalHttpServer::Accept);
    return FServer->listen(QHostAddress::LocalHost, 0);
}

bool TLocalHttpServer::ListenTls(const QString& CertificateFile, const QString& KeyFile) {
    QFile Cert(CertificateFile), Key(KeyFile);
    if (!Cert.open(QIODevice::ReadOnly) || !Key.open(QIODevice::ReadOnly)) return false;
    QSslConfiguration Config = QSslConfiguration::defaultConfiguration();
    Config.setLocalCertificate(QSslCertificate(Cert.readAll(), QSsl::Pem));
    Config.setPrivateKey(QSslKey(Key.readAll(), QSsl::Rsa, QSsl::Pem));
    Config.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto Server = std::make_unique<QSslServer>();
    Server->setSslConfiguration(Config);
    FServer = std::move(Server);
    FTls = true;
    connect(FServer.get(), &QTcpServer::pendingConnectionAvailable, this, &TLocalHttpServer::Accept);
    return FServer->listen(QHostAddress::LocalHost, 0);
}

quint16 TLocalHttpServer::Port() const { return FServer ? FServer->serverPort() : 0; }

QString TLocalHttpServer::BaseUrl() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(FTls ? QStringLiteral("https") : QStringLiteral("http")).arg(Port());
}

void TLocalHttpServer::Accept() {
    while (FServer->hasPendingConnections()) {
        QTcpSocket* Socket = FServer->nextPendingConnection();
        if (!Socket) continue;
        connect(Socket, &QTcpSocket::readyRead, this, [this, Socket] { Serve(Socket); });
        connect(Socket, &QTcpSocket::disconnected, this, [this, Socket] {
            FPending.remove(Socket);
            Socket->deleteLater();
        });
        if (Socket->bytesAvailable() > 0) Serve(Socket);
    }
}

void TLocalHttpServer::Serve(QTcpSocket* Socket) {
    QByteArray& Buffer = FPending[Socket];
    Buffer += Socket->readAll();
    const qsizetype End = Buffer.indexOf("\r\n\r\n");
    if (End < 0) return;
    const QList<QByteArray> Lines = Buffer.left(End).split('\n');
    Buffer.clear();
    TServedRequest Request;
    Request.ArrivedMs = Now();
    const QList<QByteArray> First = Lines.value(0).trimmed().split(' ');
    Request.Method = First.value(0);
    Request.Target = First.value(1);
    for (qsizetype i = 1; i < Lines.size(); ++i) {
        const qsizetype Colon = Lines[i].indexOf(':');
        if (Colon > 0)
            Request.Headers.insert(Lines[i].left(Colon).trimmed().toLower(), Lines[i].mid(Colon + 1).trimmed());
    }
    Requests.append(Request);
    TServedAnswer Answer;
    if (Handler)
        Answer = Handler(Request);
    else
        Answer.Status = 404, Answer.Reason = "Not Found";
    if (Answer.Hold) {
        FHeld.append(qMakePair(QPointer<QTcpSocket>(Socket), Answer));
    } else if (Answer.DelayMs > 0) {
        QPointer<QTcpSocket> Guard(Socket);
        QTimer::singleShot(Answer.DelayMs, this, [this, Guard, Answer] {
            if (Guard) Respond(Guard, Answer);
        });
    } else {
        Respond(Socket, Answer);
    }
}

int TLocalHttpServer::HeldOpen() const {
    int Open = 0;
    for (const auto& [Socket, Answer] : FHeld) Open += Socket && Socket->state() == QAbstractSocket::ConnectedState;
    return Open;
}

void TLocalHttpServer::ReleaseHeld() {
    const auto Held = std::exchange(FHeld, {});
    for (const auto& [Socket, Answer] : Held)
        if (Socket && Socket->state() == QAbstractSocket::ConnectedState) Respond(Socket, Answer);
}

void TLocalHttpServer::Respond(QTcpSocket* Socket, const TServedAnswer& Answer) {
    QByteArray Head = "HTTP/1.1 " + QByteArray::number(Answer.Status) + ' ' + Answer.Reason + "\r\n";
    for (const auto& [Name, Value] : Answer.Headers) Head += Name + ": " + Value + "\r\n";
    if (!Answer.NoLength) Head += "Content-Length: " + QByteArray::number(Answer.Body.size()) + "\r\n";
    Head += "Connection: close\r\n\r\n";
    if (Answer.BlockSize <= 0 || Answer.BlockDelayMs <= 0) {
        Socket->write(Head + Answer.Body);
        Socket->disconnectFromHost();
        return;
    }
    Socket->write(Head);
    // Send the body block by block; a closed connection ends the stream.
    QPointer<QTcpSocket> Guard(Socket);
    auto Offset = std::make_shared<qsizetype>(0);
    auto* Timer = new QTimer(this);
    connect(Timer, &QTimer::timeout, this, [Guard, Offset, Timer, Answer] {
        if (!Guard || Guard->state() != QAbstractSocket::ConnectedState) {
            Timer->deleteLater();
            Timer->stop();
            return;
        }
        Guard->write(Answer.Body.mid(*Offset, Answer.BlockSize));
        *Offset += Answer.BlockSize;
        if (*Offset >= Answer.Body.size()) {
            Guard->disconnectFromHost();
            Timer->stop();
            Timer->deleteLater();
        }
    });
    Timer->start(Answer.BlockDelayMs);
}

bool MakeTestCertificate(const std::string& Folder, QString& CertificateFile, QString& KeyFile) {
    const std::string Cert = Folder + "/server.pem", Key = Folder + "/server.key";
    const std::string Command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
        Key + "' -out '" + Cert + "' >/dev/null 2>&1";
    if (!testutil::HaveCommand("openssl") || testutil::Run(Command) != 0) return false;
    CertificateFile = QString::fromStdString(Cert);
    KeyFile = QString::fromStdString(Key);
    return true;
}

void TrustCertificate(const QString& CertificateFile) {
    QSslConfiguration Config = QSslConfiguration::defaultConfiguration();
    Config.addCaCertificates(CertificateFile, QSsl::Pem);
    QSslConfiguration::setDefaultConfiguration(Config);
}

QByteArray Fixture(const char* Name) {
    const QString Source = QString::fromStdString(testutil::SourceDir());
    for (const QString& Folder : {Source + QStringLiteral("/../shared/fixtures/musicbrainz/"),
                                  Source + QStringLiteral("/tests/fixtures/musicbrainz/")}) {
        QFile File(Folder + QLatin1String(Name));
        if (File.open(QIODevice::ReadOnly)) return File.readAll();
    }
    return QByteArray();
}

QByteArray TestPicture(const char* Format, int Width, int Height) {
    QImage Image(Width, Height, QImage::Format_RGB32);
    Image.fill(QColor(200, 40, 40));
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    Image.save(&Buffer, Format);
    return Bytes;
}

QByteArray CoverListing(const QString& Base) {
    QFile File(QString::fromStdString(testutil::SourceDir()) +
               QStringLiteral("/tests/fixtures/coverartarchive/release-listing.json"));
    if (!File.open(QIODevice::ReadOnly)) return QByteArray();
    return File.readAll().replace("http://coverartarchive.org", Base.toUtf8());
}

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Done() && Clock.elapsed() < TimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return Done();
}

}  // namespace lookuptest
