// TAutoTagService: the client of the MusicBrainz web service (JSON, /ws/2/).
//
// Two look-ups: recordings by artist, title and optional album, giving one
// candidate per release of each recording (a recording on three releases is
// three candidates), sorted by score and then by date; and the picked
// candidate's release by its identifier, which completes the candidate with
// what the release says: its title, credit, date and the track that holds the
// recording. A third call fetches the front cover of a release from the
// Cover Art Archive. The service owns its network access manager.
//
// Every call returns at once and reports through its signal, later, from the
// event loop (never from within the call): nothing here waits, so the caller
// chains its next step on the signal. One call runs at a time; Cancel drops
// it at once and no signal follows.
//
// Names are written as the database shows them: an artist credit is each
// credited name (the artist's own name when the credit gives none) followed
// by its join phrase, in order; a title is the release's track title when the
// release lists the recording.
//
// The web service allows one request per second per client address: requests
// of every service object in the process are spaced MinIntervalMs apart
// (1100 ms), and a 503 answer's Retry-After pushes the next request back.
// Requests to the cover archive keep the same spacing and identity.
// Failures never raise: a call gives no result and LastError says why (empty
// after a search that was answered with no recordings).
#pragma once

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>
#include <functional>

#include "app/core/audio_tag.h"
#include "app/lookup/http_get.h"

// One release of one recording, as a row of the pick dialog and a line of
// the command-line look-up.
struct TMBReleaseCandidate {
    QString RecordingId;
    QString ReleaseId;    // empty if none or not an identifier
    QString Title;        // the release's track title, else the recording's title
    QString Artist;       // the credit joined as shown (the track's, else the recording's)
    QString Album;        // the release's title
    QString AlbumArtist;  // the release's credit joined as shown, when the answer gives it
    QString Date;         // as the database has it: "2004-11-29", "2004-11", "2004" or empty
    QString Country;      // "JP", "XE", ... or empty
    QString Format;       // of the medium holding the track: "CD", "Digital Media", ...
    QString Track;        // the track's number on its medium as listed: "4", "A2"
    int Medium = 0;       // that medium's position in the release; 0 when not given
    bool Video = false;   // a video recording
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

// A release's front cover: a picture checked to decode, or why there is none.
struct TFrontCover {
    QByteArray Data;  // the encoded picture; empty when there is none
    QString Mime;     // "image/jpeg" or "image/png"
    // The archive has no front picture of the release (an answer 404, or a
    // listing without one): no failure, the file simply gets no cover.
    bool Missing = false;
    QString Error;  // why a picture could not be had, when neither of the above
    bool Found() const { return !Data.isEmpty(); }
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
    // A cover picture is never read beyond this; a larger one is refused.
    static constexpr qint64 kMaxCoverBytes = 16 << 20;
    // Candidates kept from one search answer (recordings times releases).
    static constexpr int kMaxCandidates = 1000;

    // BaseUrl: scheme and host of the service, e.g. "https://musicbrainz.org".
    // The cover archive's address is the configured one until SetCoverArtUrl.
    explicit TAutoTagService(const QString& BaseUrl, QObject* Parent = nullptr);
    ~TAutoTagService() override;

    // Searches recordings; SearchFinished follows.
    void StartSearch(const QString& Artist, const QString& Title, const QString& Album);
    // Looks up Pick's release and takes its title, credit, date and country,
    // and from the track holding Pick's recording its title, credit, number,
    // medium and format. ReleaseFinished follows: false with LastError set
    // (and Pick as given) when the release could not be read; a pick without
    // a release asks nothing and comes back as it was.
    void StartRelease(const TMBReleaseCandidate& Pick);
    // The release's listing in the cover archive, then the 500-pixel front
    // picture it names (its "large" one when there is no "500"); the
    // picture must be a JPEG or PNG file that decodes. CoverFinished follows.
    void StartFrontCover(const QString& ReleaseId);

    bool IsBusy() const { return FOperation != opNone; }
    QString LastError() const { return FLastError; }
    bool WasCancelled() const { return FCancelled; }
    // Drops the running call at once; no signal follows for it.
    void Cancel();

    // A blank value sends the application's own identity instead.
    QString UserAgent() const { return FUserAgent; }
    void SetUserAgent(const QString& Value) { FUserAgent = Value; }
    int MinIntervalMs() const { return FMinIntervalMs; }
    void SetMinIntervalMs(int Ms) { FMinIntervalMs = Ms; }
    // Scheme and host of the cover archive, e.g. "https://coverartarchive.org".
    void SetCoverArtUrl(const QString& Url);

    // The query text and its URL encoding (quotation marks and backslashes
    // inside a term are escaped so that the term stays one phrase).
    static QString BuildSearchQuery(const QString& Artist, const QString& Title, const QString& Album);
    static QByteArray EncodeQuery(const QString& Query);
    // The 8-4-4-4-12 hexadecimal form of a MusicBrainz identifier.
    static bool IsMusicBrainzId(const QString& Id);
    // Highest score first; equal scores earliest date first, undated last;
    // otherwise the service's order.
    static void SortCandidates(QVector<TMBReleaseCandidate>& Candidates);

signals:
    void SearchFinished(const TAutoTagResult& Result);
    void ReleaseFinished(bool Ok, const TMBReleaseCandidate& Pick);
    void CoverFinished(const TFrontCover& Cover);

private:
    enum TOperation { opNone, opSearch, opRelease, opCoverList, opCoverImage };
    // Sends one GET when the spacing allows; OnAnswer takes its answer.
    bool Begin(TOperation Operation, const QUrl& Url, const QByteArray& Accept, qint64 MaxBytes);
    void SendWhenAllowed();
    void OnHttpFinished(const THttpAnswer& Answer);
    // The answer as a JSON object; false with LastError set otherwise.
    bool ReadJson(const THttpAnswer& Answer, QJsonObject& Object, const QString& Unexpected);
    void FinishSearch(const THttpAnswer& Answer);
    void FinishRelease(const THttpAnswer& Answer);
    void FinishCoverList(const THttpAnswer& Answer);
    void FinishCoverImage(const THttpAnswer& Answer);
    // Reports from the event loop, unless a cancel or a later call came first.
    void Later(std::function<void()> Report);
    void EndCover(const TFrontCover& Cover);

    QNetworkAccessManager FHttp;
    THttpGet FGet;
    QTimer FPause;
    QString FBaseUrl;
    QString FCoverBaseUrl;
    QString FUserAgent;
    QString FLastError;
    int FMinIntervalMs = kDefaultMinIntervalMs;
    bool FCancelled = false;
    quint64 FGeneration = 0;  // counts calls and cancels; a stale report is dropped

    // The running call.
    TOperation FOperation = opNone;
    QNetworkRequest FRequest;
    THttpGetOptions FOptions;
    int FAttempt = 0;
    TMBReleaseCandidate FPick;
};
