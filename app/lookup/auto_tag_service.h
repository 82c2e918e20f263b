// TAutoTagService: the client of the MusicBrainz web service (JSON, /ws/2/).
//
// Two look-ups: recordings by artist, title and optional album, giving the
// candidate releases in the service's order; and one release by its
// identifier, giving the album artist and year. The service owns its network
// access manager. Calls look blocking to the caller but run a local event
// loop, so the window stays alive and Cancel stops a call at once.
//
// The web service allows one request per second per client address: requests
// of every service object in the process are spaced MinIntervalMs apart
// (1100 ms), and a 503 answer's Retry-After pushes the next request back.
// Failures never raise: a call gives no result and LastError says why (empty
// after a search that was answered with no recordings).
#pragma once

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QVector>

#include "app/lookup/http_wait.h"

struct TMBReleaseCandidate {
    QString RecordingId;
    QString ReleaseId;   // first release of the recording; empty if none or not an identifier
    QString Title;
    QString Artist;      // name of the artist of the first credit
    QString Album;       // title of the first release
    QString Year;        // always empty in search results
    qint32 Score = 0;
    bool operator==(const TMBReleaseCandidate&) const = default;
};

struct TAutoTagResult {
    QVector<TMBReleaseCandidate> Candidates;
};

class TAutoTagService : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultMinIntervalMs = 1100;
    static constexpr int kConnectTimeoutMs = 15000;
    static constexpr int kResponseTimeoutMs = 30000;
    // A 503 asking to come back within this time is retried once.
    static constexpr int kMaxRetryAfterWaitS = 10;
    // A Retry-After never holds requests back longer than this.
    static constexpr int kMaxRetryAfterHoldS = 60;
    static constexpr qint64 kMaxAnswerBytes = 8 << 20;

    // BaseUrl: scheme and host of the service, e.g. "https://musicbrainz.org".
    explicit TAutoTagService(const QString& BaseUrl, QObject* Parent = nullptr);

    TAutoTagResult SearchRecording(const QString& Artist, const QString& Title, const QString& Album);
    bool GetReleaseDetails(const QString& ReleaseId, QString& AlbumArtist, QString& Year);

    QString LastError() const { return FLastError; }
    bool WasCancelled() const { return FWait.IsCancelled(); }
    // Stops the running call (and every later one) of this object.
    void Cancel() { FWait.Cancel(); }

    // A blank value sends the application's own identity instead.
    QString UserAgent() const { return FUserAgent; }
    void SetUserAgent(const QString& Value) { FUserAgent = Value; }
    int MinIntervalMs() const { return FMinIntervalMs; }
    void SetMinIntervalMs(int Ms) { FMinIntervalMs = Ms; }

    // The query text and its URL encoding (quotation marks and backslashes
    // inside a term are escaped so that the term stays one phrase).
    static QString BuildSearchQuery(const QString& Artist, const QString& Title, const QString& Album);
    static QByteArray EncodeQuery(const QString& Query);
    // The 8-4-4-4-12 hexadecimal form of a MusicBrainz identifier.
    static bool IsMusicBrainzId(const QString& Id);

private:
    // One GET of a JSON object; false with LastError set otherwise.
    bool Request(const QByteArray& PathAndQuery, QJsonObject& Object);

    QNetworkAccessManager FHttp;
    THttpWait FWait;
    QString FBaseUrl;
    QString FUserAgent;
    QString FLastError;
    int FMinIntervalMs = kDefaultMinIntervalMs;
};
