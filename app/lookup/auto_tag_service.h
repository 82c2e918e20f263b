// TAutoTagService: the client of the MusicBrainz web service (JSON, /ws/2/).
//
// Two look-ups: recordings by artist, title and optional album, giving one
// candidate per release of each recording (a recording on three releases is
// three candidates), sorted by score and then by date; and the picked
// candidate's release by its identifier, which completes the candidate with
// what the release says: its title, credit, date and the track that holds the
// recording. The service owns its network access manager. Calls look blocking
// to the caller but run a local event loop, so the window stays alive and
// Cancel stops a call at once.
//
// Names are written as the database shows them: an artist credit is each
// credited name (the artist's own name when the credit gives none) followed
// by its join phrase, in order; a title is the release's track title when the
// release lists the recording.
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

#include "app/core/audio_tag.h"
#include "app/lookup/http_wait.h"

// One release of one recording, as a row of the pick dialog and a line of
// the command-line look-up.
struct TMBReleaseCandidate {
    QString RecordingId;
    QString ReleaseId;     // empty if none or not an identifier
    QString Title;         // the release's track title, else the recording's title
    QString Artist;        // the credit joined as shown (the track's, else the recording's)
    QString Album;         // the release's title
    QString AlbumArtist;   // the release's credit joined as shown, when the answer gives it
    QString Date;          // as the database has it: "2004-11-29", "2004-11", "2004" or empty
    QString Country;       // "JP", "XE", ... or empty
    QString Format;        // of the medium holding the track: "CD", "Digital Media", ...
    QString Track;         // the track's number on its medium as listed: "4", "A2"
    int Medium = 0;        // that medium's position in the release; 0 when not given
    bool Video = false;    // a video recording
    qint32 Score = 0;
    bool operator==(const TMBReleaseCandidate&) const = default;

    // The four-digit year that starts Date, or empty.
    QString Year() const;
    // Where the track sits: "4" on the first medium, "2-4" on the second.
    QString TrackPosition() const;
};

// Writes a pick into a record. Title and artist come from the recording (a
// blank one leaves the record's value); album, album artist and year come
// from the picked release together, and what the release lacks is cleared, so
// that a record never describes two releases.
void ApplyCandidate(const TMBReleaseCandidate& Pick, TAudioTag& Tag);

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
    // Candidates kept from one search answer (recordings times releases).
    static constexpr int kMaxCandidates = 1000;

    // BaseUrl: scheme and host of the service, e.g. "https://musicbrainz.org".
    explicit TAutoTagService(const QString& BaseUrl, QObject* Parent = nullptr);

    TAutoTagResult SearchRecording(const QString& Artist, const QString& Title, const QString& Album);
    // Looks up Pick's release and takes its title, credit, date and country,
    // and from the track holding Pick's recording its title, credit, number,
    // medium and format. False with LastError set (and Pick unchanged) when
    // the release could not be read; a pick without a release asks nothing.
    bool CompleteFromRelease(TMBReleaseCandidate& Pick);

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
    // Highest score first; equal scores earliest date first, undated last;
    // otherwise the service's order.
    static void SortCandidates(QVector<TMBReleaseCandidate>& Candidates);

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
