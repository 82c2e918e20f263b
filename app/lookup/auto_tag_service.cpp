#include "app/lookup/auto_tag_service.h"

#include <cmath>

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QUrl>

#include "app/settings/network_settings.h"
#include "app/settings/translation.h"

namespace {

// When the last request of any service object ended, and the earliest time
// the service asked us to come back, on one monotonic clock for the process.
struct TRequestSpacing {
    QElapsedTimer Clock;
    qint64 LastDoneMs = -1;
    qint64 NotBeforeMs = 0;

    TRequestSpacing() { Clock.start(); }
    qint64 Now() const { return Clock.elapsed(); }
    qint64 WaitBeforeNext(int MinIntervalMs) const
    {
        qint64 Wait = 0;
        if (LastDoneMs >= 0)
            Wait = LastDoneMs + MinIntervalMs - Now();
        return std::max(Wait, NotBeforeMs - Now());
    }
};

TRequestSpacing& Spacing()
{
    static TRequestSpacing Instance;
    return Instance;
}

QString UnexpectedAnswer()
{
    return Tr("Unexpected answer from MusicBrainz.");
}

// Seconds a Retry-After header asks for (a number of seconds or an HTTP
// date); -1 when there is none or it cannot be read.
qint64 RetryAfterSeconds(const QByteArray& Header)
{
    const QByteArray Text = Header.trimmed();
    if (Text.isEmpty())
        return -1;
    bool Ok = false;
    const qint64 Seconds = Text.toLongLong(&Ok);
    if (Ok)
        return Seconds < 0 ? -1 : Seconds;
    const QDateTime When = QDateTime::fromString(QString::fromLatin1(Text), Qt::RFC2822Date);
    if (!When.isValid())
        return -1;
    return std::max<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(When));
}

// A member read as text: a string as is, a number in its decimal form,
// missing or null as empty. False for an array or object where text belongs.
bool ReadText(const QJsonObject& Object, const char* Name, QString& Text)
{
    const QJsonValue Value = Object.value(QLatin1String(Name));
    Text.clear();
    switch (Value.type()) {
    case QJsonValue::String:
        Text = Value.toString();
        return true;
    case QJsonValue::Double: {
        // Whole numbers in the range a double holds exactly are written without a fraction.
        const double D = Value.toDouble();
        const bool Whole = std::abs(D) < 9007199254740992.0 && D == std::trunc(D);
        Text = Whole ? QString::number(static_cast<qint64>(D)) : QString::number(D, 'g', 17);
        return true;
    }
    case QJsonValue::Bool:
        Text = Value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        return true;
    case QJsonValue::Array:
    case QJsonValue::Object:
        return false;
    default:
        return true;
    }
}

// The name of the artist of the first credit ("artist-credit"[0].artist.name;
// the credited name and further credits are not used). A missing credit list
// gives an empty name; a list or credit of another shape is an error.
bool ReadFirstArtistName(const QJsonObject& Object, QString& Name)
{
    Name.clear();
    const QJsonValue Credits = Object.value(QLatin1String("artist-credit"));
    if (Credits.isUndefined() || Credits.isNull())
        return true;
    if (!Credits.isArray())
        return false;
    const QJsonArray List = Credits.toArray();
    if (List.isEmpty())
        return true;
    if (!List.first().isObject())
        return false;
    const QJsonValue Artist = List.first().toObject().value(QLatin1String("artist"));
    if (Artist.isUndefined() || Artist.isNull())
        return true;
    if (!Artist.isObject())
        return false;
    return ReadText(Artist.toObject(), "name", Name);
}

// A score given as a number or as decimal text; anything else counts 0.
qint32 ReadScore(const QJsonObject& Object)
{
    const QJsonValue Value = Object.value(QLatin1String("score"));
    if (Value.isDouble()) {
        const double D = Value.toDouble();
        return static_cast<qint32>(std::clamp(D, -2147483648.0, 2147483647.0));
    }
    bool Ok = false;
    const int Score = Value.toString().trimmed().toInt(&Ok);
    return Ok ? Score : 0;
}

bool ReadCandidate(const QJsonObject& Recording, TMBReleaseCandidate& Candidate)
{
    Candidate = TMBReleaseCandidate();
    if (!ReadText(Recording, "id", Candidate.RecordingId) || !ReadText(Recording, "title", Candidate.Title) ||
        !ReadFirstArtistName(Recording, Candidate.Artist))
        return false;
    Candidate.Score = ReadScore(Recording);
    const QJsonValue Releases = Recording.value(QLatin1String("releases"));
    if (Releases.isUndefined() || Releases.isNull())
        return true;
    if (!Releases.isArray())
        return false;
    const QJsonArray List = Releases.toArray();
    if (List.isEmpty())
        return true;
    if (!List.first().isObject())
        return false;
    const QJsonObject First = List.first().toObject();
    QString ReleaseId;
    if (!ReadText(First, "title", Candidate.Album) || !ReadText(First, "id", ReleaseId))
        return false;
    // Only an identifier of the service's own form goes into a later request path.
    if (TAutoTagService::IsMusicBrainzId(ReleaseId))
        Candidate.ReleaseId = ReleaseId;
    return true;
}

// A search term between quotation marks, with the two characters that would
// end or break the phrase escaped.
QString Quoted(const QString& Term)
{
    QString Escaped;
    Escaped.reserve(Term.size() + 2);
    for (const QChar C : Term) {
        if (C == QLatin1Char('\\') || C == QLatin1Char('"'))
            Escaped += QLatin1Char('\\');
        Escaped += C;
    }
    return QLatin1Char('"') + Escaped + QLatin1Char('"');
}

}  // namespace

TAutoTagService::TAutoTagService(const QString& BaseUrl, QObject* Parent)
    : QObject(Parent), FWait(FHttp), FBaseUrl(BaseUrl), FUserAgent(ApplicationUserAgent())
{
    while (FBaseUrl.endsWith(QLatin1Char('/')))
        FBaseUrl.chop(1);
}

QString TAutoTagService::BuildSearchQuery(const QString& Artist, const QString& Title, const QString& Album)
{
    QString Query = QStringLiteral("artist:") + Quoted(Artist) + QStringLiteral(" AND recording:") + Quoted(Title);
    if (!Album.trimmed().isEmpty())
        Query += QStringLiteral(" AND release:") + Quoted(Album);
    return Query;
}

QByteArray TAutoTagService::EncodeQuery(const QString& Query)
{
    static const char kHex[] = "0123456789ABCDEF";
    const QByteArray Utf8 = Query.toUtf8();
    QByteArray Out;
    Out.reserve(Utf8.size() * 3);
    for (const char Ch : Utf8) {
        const auto B = static_cast<unsigned char>(Ch);
        const bool Plain = (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || (B >= '0' && B <= '9') ||
                           (B < 0x80 && std::strchr("!$'()*-.@_", B) != nullptr && B != 0);
        if (Plain) {
            Out += Ch;
        } else if (B == ' ') {
            Out += '+';
        } else {
            Out += '%';
            Out += kHex[B >> 4];
            Out += kHex[B & 15];
        }
    }
    return Out;
}

bool TAutoTagService::IsMusicBrainzId(const QString& Id)
{
    static const QRegularExpression Form(
        QStringLiteral("^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    return Form.match(Id).hasMatch();
}

bool TAutoTagService::Request(const QByteArray& PathAndQuery, QJsonObject& Object)
{
    FLastError.clear();
    Object = QJsonObject();
    const QUrl Url = QUrl::fromEncoded(FBaseUrl.toUtf8() + PathAndQuery, QUrl::StrictMode);
    if (!Url.isValid() || (Url.scheme() != QLatin1String("https") && Url.scheme() != QLatin1String("http"))) {
        FLastError = Tr("The address of the music database is not valid.");
        return false;
    }
    QNetworkRequest Http(Url);
    const QString Agent = FUserAgent.trimmed().isEmpty() ? ApplicationUserAgent() : FUserAgent.trimmed();
    Http.setRawHeader("User-Agent", Agent.toUtf8());
    Http.setRawHeader("Accept", "application/json");
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    Tls.setProtocol(QSsl::TlsV1_2OrLater);
    Http.setSslConfiguration(Tls);
    THttpGetOptions Options;
    Options.ConnectTimeoutMs = kConnectTimeoutMs;
    Options.TransferTimeoutMs = kResponseTimeoutMs;
    Options.MaxBytes = kMaxAnswerBytes;

    THttpAnswer Answer;
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
        TRequestSpacing& Gap = Spacing();
        if (!FWait.Pause(Gap.WaitBeforeNext(FMinIntervalMs))) {
            FLastError = CancelledText();
            return false;
        }
        Answer = FWait.Get(Http, Options);
        if (!Answer.Answered) {
            FLastError = Answer.Error;
            return false;
        }
        Gap.LastDoneMs = Gap.Now();
        if (Answer.Status != 503)
            break;
        // The service is busy: it may say when to come back. Every later
        // request of the process honours that; this one is retried once when
        // the wait is short.
        const qint64 Seconds = RetryAfterSeconds(Answer.RetryAfter);
        if (Seconds < 0)
            break;
        Gap.NotBeforeMs = std::max(Gap.NotBeforeMs, Gap.Now() + std::min<qint64>(Seconds, kMaxRetryAfterHoldS) * 1000);
        if (Seconds > kMaxRetryAfterWaitS)
            break;
    }
    if (Answer.Status < 200 || Answer.Status > 299) {
        FLastError = FormatText(QStringLiteral("HTTP %d: %s"), {Answer.Status, Answer.Reason});
        return false;
    }
    QJsonParseError Error;
    const QJsonDocument Document = QJsonDocument::fromJson(Answer.Body, &Error);
    if (Error.error != QJsonParseError::NoError) {
        FLastError = Tr("Invalid JSON response");
        return false;
    }
    if (!Document.isObject()) {
        FLastError = UnexpectedAnswer();
        return false;
    }
    Object = Document.object();
    return true;
}

TAutoTagResult TAutoTagService::SearchRecording(const QString& Artist, const QString& Title, const QString& Album)
{
    TAutoTagResult Result;
    QJsonObject Answer;
    if (!Request("/ws/2/recording/?fmt=json&limit=25&query=" + EncodeQuery(BuildSearchQuery(Artist, Title, Album)),
                 Answer))
        return Result;
    // The service always lists its recordings, an empty list when nothing matched.
    const QJsonValue Recordings = Answer.value(QLatin1String("recordings"));
    if (!Recordings.isArray()) {
        FLastError = UnexpectedAnswer();
        return Result;
    }
    for (const QJsonValue& Item : Recordings.toArray()) {
        TMBReleaseCandidate Candidate;
        if (!Item.isObject() || !ReadCandidate(Item.toObject(), Candidate)) {
            FLastError = UnexpectedAnswer();
            Result.Candidates.clear();
            return Result;
        }
        Result.Candidates.append(Candidate);
    }
    return Result;
}

bool TAutoTagService::GetReleaseDetails(const QString& ReleaseId, QString& AlbumArtist, QString& Year)
{
    AlbumArtist.clear();
    Year.clear();
    FLastError.clear();
    if (ReleaseId.trimmed().isEmpty()) {
        FLastError = QStringLiteral("ReleaseId is empty");
        return false;
    }
    if (!IsMusicBrainzId(ReleaseId)) {
        FLastError = Tr("The release identifier is not valid.");
        return false;
    }
    // Without inc=artist-credits the service leaves the credits out of a release.
    QJsonObject Release;
    if (!Request("/ws/2/release/" + ReleaseId.toLatin1() + "?inc=artist-credits&fmt=json", Release))
        return false;
    QString Artist, Date;
    if (!ReadFirstArtistName(Release, Artist) || !ReadText(Release, "date", Date)) {
        FLastError = UnexpectedAnswer();
        return false;
    }
    AlbumArtist = Artist;
    // "1999-05-11", "1999-05" and "1999" all give 1999; anything shorter or
    // not starting with four digits gives no year.
    static const QRegularExpression YearForm(QStringLiteral("^[0-9]{4}"));
    if (Date.size() > 3 && YearForm.match(Date).hasMatch())
        Year = Date.left(4);
    return true;
}
