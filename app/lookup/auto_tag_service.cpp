#include "app/lookup/auto_tag_service.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QUrl>

#include "app/cover_art.h"
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
    qint64 WaitBeforeNext(int MinIntervalMs) const {
        qint64 Wait = 0;
        if (LastDoneMs >= 0) Wait = LastDoneMs + MinIntervalMs - Now();
        return std::max(Wait, NotBeforeMs - Now());
    }
};

TRequestSpacing& Spacing() {
    static TRequestSpacing Instance;
    return Instance;
}

QString UnexpectedAnswer() { return Tr("Unexpected answer from MusicBrainz."); }

// Seconds a Retry-After header asks for (a number of seconds or an HTTP
// date); -1 when there is none or it cannot be read.
qint64 RetryAfterSeconds(const QByteArray& Header) {
    const QByteArray Text = Header.trimmed();
    if (Text.isEmpty()) return -1;
    bool Ok = false;
    const qint64 Seconds = Text.toLongLong(&Ok);
    if (Ok) return Seconds < 0 ? -1 : Seconds;
    const QDateTime When = QDateTime::fromString(QString::fromLatin1(Text), Qt::RFC2822Date);
    if (!When.isValid()) return -1;
    return std::max<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(When));
}

// A member read as text: a string as is, a number in its decimal form,
// missing or null as empty. False for an array or object where text belongs.
bool ReadText(const QJsonObject& Object, const char* Name, QString& Text) {
    const QJsonValue Value = Object.value(QLatin1String(Name));
    Text.clear();
    switch (Value.type()) {
        case QJsonValue::String: Text = Value.toString(); return true;
        case QJsonValue::Double: {
            // Whole numbers in the range a double holds exactly are written without a fraction.
            const double D = Value.toDouble();
            const bool Whole = std::abs(D) < 9007199254740992.0 && D == std::trunc(D);
            Text = Whole ? QString::number(static_cast<qint64>(D)) : QString::number(D, 'g', 17);
            return true;
        }
        case QJsonValue::Bool: Text = Value.toBool() ? QStringLiteral("true") : QStringLiteral("false"); return true;
        case QJsonValue::Array:
        case QJsonValue::Object: return false;
        default: return true;
    }
}

// An artist credit as the database shows it: each credited name (the
// artist's own name when the credit gives none) followed by its join phrase,
// in order. A missing credit list gives an empty text; a list or credit of
// another shape is an error.
bool ReadCredit(const QJsonObject& Object, QString& Text) {
    Text.clear();
    const QJsonValue Credits = Object.value(QLatin1String("artist-credit"));
    if (Credits.isUndefined() || Credits.isNull()) return true;
    if (!Credits.isArray()) return false;
    for (const QJsonValue& Item : Credits.toArray()) {
        if (!Item.isObject()) return false;
        const QJsonObject Credit = Item.toObject();
        QString Name, Join;
        if (!ReadText(Credit, "name", Name) || !ReadText(Credit, "joinphrase", Join)) return false;
        const QJsonValue Artist = Credit.value(QLatin1String("artist"));
        if (!Artist.isUndefined() && !Artist.isNull() && !Artist.isObject()) return false;
        if (Name.isEmpty() && Artist.isObject() && !ReadText(Artist.toObject(), "name", Name)) return false;
        Text += Name + Join;
    }
    return true;
}

// A member that must be a list when present; missing or null is an empty list.
bool ReadList(const QJsonObject& Object, const char* Name, QJsonArray& List) {
    const QJsonValue Value = Object.value(QLatin1String(Name));
    List = QJsonArray();
    if (Value.isUndefined() || Value.isNull()) return true;
    if (!Value.isArray()) return false;
    List = Value.toArray();
    return true;
}

// A whole number given as a number or as decimal text; Fallback otherwise.
qint32 ReadNumber(const QJsonObject& Object, const char* Name, qint32 Fallback) {
    const QJsonValue Value = Object.value(QLatin1String(Name));
    if (Value.isDouble()) {
        const double D = Value.toDouble();
        return static_cast<qint32>(std::clamp(D, -2147483648.0, 2147483647.0));
    }
    bool Ok = false;
    const int Number = Value.toString().trimmed().toInt(&Ok);
    return Ok ? Number : Fallback;
}

// A score given as a number or as decimal text; anything else counts 0.
qint32 ReadScore(const QJsonObject& Object) { return ReadNumber(Object, "score", 0); }

// The tracks of a medium: "track" in a search answer, "tracks" in a release.
bool ReadTracks(const QJsonObject& Medium, QJsonArray& Tracks) {
    if (!ReadList(Medium, "track", Tracks)) return false;
    return !Tracks.isEmpty() || ReadList(Medium, "tracks", Tracks);
}

// The release's own values (identifier, title, credit, date, country).
bool ReadReleaseValues(const QJsonObject& Release, TMBReleaseCandidate& Candidate) {
    QString ReleaseId;
    if (!ReadText(Release, "id", ReleaseId) || !ReadText(Release, "title", Candidate.Album) ||
        !ReadText(Release, "date", Candidate.Date) || !ReadText(Release, "country", Candidate.Country) ||
        !ReadCredit(Release, Candidate.AlbumArtist))
        return false;
    // Only an identifier of the service's own form goes into a later request path.
    Candidate.ReleaseId = TAutoTagService::IsMusicBrainzId(ReleaseId) ? ReleaseId : QString();
    return true;
}

// Medium and track values of a candidate; the track's title replaces the
// recording's when the release gives one.
bool ReadTrackValues(const QJsonObject& Medium, const QJsonObject& Track, TMBReleaseCandidate& Candidate) {
    QString Title;
    if (!ReadText(Medium, "format", Candidate.Format) || !ReadText(Track, "number", Candidate.Track) ||
        !ReadText(Track, "title", Title))
        return false;
    Candidate.Medium = std::max(0, ReadNumber(Medium, "position", 0));
    if (!Title.isEmpty()) Candidate.Title = Title;
    return true;
}

// One candidate per release (and per medium and track of it that holds the
// recording) of one recording of a search answer; a recording on no release
// is one candidate without release values.
bool ReadCandidates(const QJsonObject& Recording, QVector<TMBReleaseCandidate>& Candidates) {
    TMBReleaseCandidate Base;
    if (!ReadText(Recording, "id", Base.RecordingId) || !ReadText(Recording, "title", Base.Title) ||
        !ReadCredit(Recording, Base.Artist))
        return false;
    Base.Score = ReadScore(Recording);
    Base.Video = Recording.value(QLatin1String("video")).toBool(false);
    QJsonArray Releases;
    if (!ReadList(Recording, "releases", Releases)) return false;
    if (Releases.isEmpty()) {
        Candidates.append(Base);
        return true;
    }
    for (const QJsonValue& ReleaseItem : Releases) {
        if (!ReleaseItem.isObject()) return false;
        const QJsonObject Release = ReleaseItem.toObject();
        TMBReleaseCandidate OnRelease = Base;
        QJsonArray Media;
        if (!ReadReleaseValues(Release, OnRelease) || !ReadList(Release, "media", Media)) return false;
        qsizetype Before = Candidates.size();
        for (const QJsonValue& MediumItem : Media) {
            QJsonArray Tracks;
            if (!MediumItem.isObject() || !ReadTracks(MediumItem.toObject(), Tracks)) return false;
            for (const QJsonValue& TrackItem : Tracks) {
                TMBReleaseCandidate OnTrack = OnRelease;
                if (!TrackItem.isObject() || !ReadTrackValues(MediumItem.toObject(), TrackItem.toObject(), OnTrack))
                    return false;
                // The service lists a release once per medium that holds the
                // recording; the same track twice is one row.
                if (!Candidates.contains(OnTrack)) Candidates.append(OnTrack);
            }
        }
        if (Candidates.size() == Before && !Candidates.contains(OnRelease)) Candidates.append(OnRelease);
    }
    return true;
}

// A search term between quotation marks, with the two characters that would
// end or break the phrase escaped.
QString Quoted(const QString& Term) {
    QString Escaped;
    Escaped.reserve(Term.size() + 2);
    for (const QChar C : Term) {
        if (C == QLatin1Char('\\') || C == QLatin1Char('"')) Escaped += QLatin1Char('\\');
        Escaped += C;
    }
    return QLatin1Char('"') + Escaped + QLatin1Char('"');
}

// The cover archive's listing of a release:
//   {"images": [{"front": true, "types": ["Front", ...], "image": URL,
//                "thumbnails": {"250": URL, "500": URL, "1200": URL,
//                               "small": URL, "large": URL}, ...}, ...],
//    "release": URL}
// Older listings give only "small" (250 pixels) and "large" (500 pixels).
// The front picture is the image marked "front", else the first whose types
// hold "Front"; its 500-pixel thumbnail is taken, else its "large" one.
enum class TFrontLink { Found, None, Malformed };

TFrontLink FrontImageLink(const QJsonObject& Listing, QString& Link) {
    Link.clear();
    QJsonArray Images;
    if (!ReadList(Listing, "images", Images)) return TFrontLink::Malformed;
    const QJsonObject* Front = nullptr;
    QVector<QJsonObject> Objects;
    Objects.reserve(Images.size());
    for (const QJsonValue& Item : Images) {
        if (!Item.isObject()) return TFrontLink::Malformed;
        Objects.append(Item.toObject());
    }
    for (const QJsonObject& Image : Objects) {
        if (Image.value(QLatin1String("front")).toBool(false)) {
            Front = &Image;
            break;
        }
    }
    for (qsizetype I = 0; !Front && I < Objects.size(); ++I) {
        if (Objects[I].value(QLatin1String("types")).toArray().contains(QJsonValue(QStringLiteral("Front"))))
            Front = &Objects[I];
    }
    if (!Front) return TFrontLink::None;
    const QJsonValue Thumbnails = Front->value(QLatin1String("thumbnails"));
    if (Thumbnails.isUndefined() || Thumbnails.isNull()) return TFrontLink::None;
    if (!Thumbnails.isObject()) return TFrontLink::Malformed;
    for (const char* Size : {"500", "large"}) {
        QString Text;
        if (!ReadText(Thumbnails.toObject(), Size, Text)) return TFrontLink::Malformed;
        if (!Text.trimmed().isEmpty()) {
            Link = Text.trimmed();
            return TFrontLink::Found;
        }
    }
    return TFrontLink::None;
}

// Where a picture link of the listing may lead: over HTTPS when the archive
// is reached over HTTPS (its listings still name "http:" addresses, which
// are asked for over HTTPS instead), never to another kind of address. A
// relative link counts from the listing's own address.
bool PictureUrl(const QString& Link, const QUrl& ListingUrl, QUrl& Url) {
    const QUrl Given(Link, QUrl::StrictMode);
    if (!Given.isValid()) return false;
    Url = ListingUrl.resolved(Given);
    if (!Url.isValid() || Url.host().isEmpty()) return false;
    const QString Scheme = Url.scheme();
    if (ListingUrl.scheme() == QLatin1String("https")) {
        if (Scheme == QLatin1String("http")) {
            Url.setScheme(QStringLiteral("https"));
            if (Url.port() == 80) Url.setPort(-1);
        } else if (Scheme != QLatin1String("https")) {
            return false;
        }
    } else if (Scheme != QLatin1String("http") && Scheme != QLatin1String("https")) {
        return false;
    }
    return true;
}

QString UnexpectedCoverAnswer() { return Tr("Unexpected answer from the Cover Art Archive."); }

QString HttpStatusText(const THttpAnswer& Answer) {
    return FormatText(QStringLiteral("HTTP %d: %s"), {Answer.Status, Answer.Reason});
}

// Encoded picture bytes a record may take as its cover: a JPEG or PNG file
// that decodes. Empty Mime when they are not.
QString CheckedPictureMime(const QByteArray& Data) {
    const QString Mime = TCoverDisplay::MimeOfPicture(Data);
    const char* Format = Mime == QLatin1String("image/jpeg")  ? "JPEG"
                         : Mime == QLatin1String("image/png") ? "PNG"
                                                              : nullptr;
    if (!Format) return QString();
    QImage Image;
    return Image.loadFromData(Data, Format) ? Mime : QString();
}

}  // namespace

TAutoTagService::TAutoTagService(const QString& BaseUrl, QObject* Parent)
    : QObject(Parent), FGet(FHttp), FBaseUrl(BaseUrl), FUserAgent(ApplicationUserAgent()) {
    while (FBaseUrl.endsWith(QLatin1Char('/'))) FBaseUrl.chop(1);
    SetCoverArtUrl(CoverArtArchiveBaseUrl());
    FPause.setSingleShot(true);
    connect(&FPause, &QTimer::timeout, this, &TAutoTagService::SendWhenAllowed);
    connect(&FGet, &THttpGet::Finished, this, &TAutoTagService::OnHttpFinished);
}

TAutoTagService::~TAutoTagService() { Cancel(); }

void TAutoTagService::SetCoverArtUrl(const QString& Url) {
    FCoverBaseUrl = Url.trimmed();
    while (FCoverBaseUrl.endsWith(QLatin1Char('/'))) FCoverBaseUrl.chop(1);
}

void TAutoTagService::Cancel() {
    ++FGeneration;
    FPause.stop();
    FGet.Cancel();
    if (FOperation != opNone) FLastError = CancelledText();
    FCancelled = FOperation != opNone;
    FOperation = opNone;
}

void TAutoTagService::Later(std::function<void()> Report) {
    const quint64 Generation = FGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, Generation, Report = std::move(Report)] {
            if (Generation == FGeneration) Report();
        },
        Qt::QueuedConnection);
}

QString TAutoTagService::BuildSearchQuery(const QString& Artist, const QString& Title, const QString& Album) {
    QString Query = QStringLiteral("artist:") + Quoted(Artist) + QStringLiteral(" AND recording:") + Quoted(Title);
    if (!Album.trimmed().isEmpty()) Query += QStringLiteral(" AND release:") + Quoted(Album);
    return Query;
}

QByteArray TAutoTagService::EncodeQuery(const QString& Query) {
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

bool TAutoTagService::IsMusicBrainzId(const QString& Id) {
    static const QRegularExpression Form(
        QStringLiteral("^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    return Form.match(Id).hasMatch();
}

void TAutoTagService::SortCandidates(QVector<TMBReleaseCandidate>& Candidates) {
    std::stable_sort(Candidates.begin(), Candidates.end(),
                     [](const TMBReleaseCandidate& A, const TMBReleaseCandidate& B) {
                         if (A.Score != B.Score) return A.Score > B.Score;
                         if (A.Date.isEmpty() || B.Date.isEmpty()) return !A.Date.isEmpty() && B.Date.isEmpty();
                         // "2004" before "2004-11" before "2004-11-29": a date known less
                         // exactly counts from its start.
                         return A.Date < B.Date;
                     });
}

// --- one request ---------------------------------------------------------------

bool TAutoTagService::Begin(TOperation Operation, const QUrl& Url, const QByteArray& Accept, qint64 MaxBytes) {
    if (!Url.isValid() || (Url.scheme() != QLatin1String("https") && Url.scheme() != QLatin1String("http")))
        return false;
    FOperation = Operation;
    FAttempt = 0;
    FRequest = QNetworkRequest(Url);
    const QString Agent = FUserAgent.trimmed().isEmpty() ? ApplicationUserAgent() : FUserAgent.trimmed();
    FRequest.setRawHeader("User-Agent", Agent.toUtf8());
    FRequest.setRawHeader("Accept", Accept);
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    Tls.setProtocol(QSsl::TlsV1_2OrLater);
    FRequest.setSslConfiguration(Tls);
    FOptions = THttpGetOptions();
    FOptions.ConnectTimeoutMs = kConnectTimeoutMs;
    FOptions.TransferTimeoutMs = kResponseTimeoutMs;
    FOptions.MaxBytes = MaxBytes;
    SendWhenAllowed();
    return true;
}

void TAutoTagService::SendWhenAllowed() {
    if (FOperation == opNone) return;
    TRequestSpacing& Gap = Spacing();
    const qint64 Wait = Gap.WaitBeforeNext(FMinIntervalMs);
    if (Wait > 0) {
        FPause.start(static_cast<int>(std::min<qint64>(Wait, kMaxRetryAfterHoldS * 1000 + FMinIntervalMs)));
        return;
    }
    // A request on its way holds back those of other service objects too.
    Gap.LastDoneMs = Gap.Now();
    FGet.Start(FRequest, FOptions);
}

void TAutoTagService::OnHttpFinished(const THttpAnswer& Answer) {
    if (FOperation == opNone) return;
    if (Answer.Answered) {
        TRequestSpacing& Gap = Spacing();
        Gap.LastDoneMs = Gap.Now();
        if (Answer.Status == 503) {
            // The service is busy: it may say when to come back. Every later
            // request of the process honours that; this one is sent again
            // once when the wait is short.
            const qint64 Seconds = RetryAfterSeconds(Answer.RetryAfter);
            if (Seconds >= 0) {
                Gap.NotBeforeMs =
                    std::max(Gap.NotBeforeMs, Gap.Now() + std::min<qint64>(Seconds, kMaxRetryAfterHoldS) * 1000);
                if (Seconds <= kMaxRetryAfterWaitS && FAttempt == 0) {
                    FAttempt = 1;
                    SendWhenAllowed();
                    return;
                }
            }
        }
    }
    switch (FOperation) {
        case opSearch: FinishSearch(Answer); break;
        case opRelease: FinishRelease(Answer); break;
        case opCoverList: FinishCoverList(Answer); break;
        case opCoverImage: FinishCoverImage(Answer); break;
        case opNone: break;
    }
}

bool TAutoTagService::ReadJson(const THttpAnswer& Answer, QJsonObject& Object, const QString& Unexpected) {
    Object = QJsonObject();
    if (!Answer.Answered) {
        FLastError = Answer.Error;
        return false;
    }
    if (Answer.Status < 200 || Answer.Status > 299) {
        FLastError = HttpStatusText(Answer);
        return false;
    }
    QJsonParseError Error;
    const QJsonDocument Document = QJsonDocument::fromJson(Answer.Body, &Error);
    if (Error.error != QJsonParseError::NoError) {
        FLastError = Tr("Invalid JSON response");
        return false;
    }
    if (!Document.isObject()) {
        FLastError = Unexpected;
        return false;
    }
    Object = Document.object();
    return true;
}

// --- the three calls -------------------------------------------------------------

void TAutoTagService::StartSearch(const QString& Artist, const QString& Title, const QString& Album) {
    Cancel();
    FCancelled = false;
    FLastError.clear();
    const QUrl Url = QUrl::fromEncoded(FBaseUrl.toUtf8() + "/ws/2/recording/?fmt=json&limit=25&query=" +
                                           EncodeQuery(BuildSearchQuery(Artist, Title, Album)),
                                       QUrl::StrictMode);
    if (!Begin(opSearch, Url, "application/json", kMaxAnswerBytes)) {
        FLastError = Tr("The address of the music database is not valid.");
        Later([this] { emit SearchFinished(TAutoTagResult()); });
    }
}

void TAutoTagService::FinishSearch(const THttpAnswer& Answer) {
    FOperation = opNone;
    TAutoTagResult Result;
    QJsonObject Object;
    if (ReadJson(Answer, Object, UnexpectedAnswer())) {
        // The service always lists its recordings, an empty list when nothing matched.
        const QJsonValue Recordings = Object.value(QLatin1String("recordings"));
        if (!Recordings.isArray()) FLastError = UnexpectedAnswer();
        for (const QJsonValue& Item : Recordings.toArray()) {
            if (!Item.isObject() || !ReadCandidates(Item.toObject(), Result.Candidates)) {
                FLastError = UnexpectedAnswer();
                Result.Candidates.clear();
                break;
            }
            if (Result.Candidates.size() >= kMaxCandidates) {
                Result.Candidates.resize(kMaxCandidates);
                break;
            }
        }
        SortCandidates(Result.Candidates);
    }
    emit SearchFinished(Result);
}

void TAutoTagService::StartRelease(const TMBReleaseCandidate& Pick) {
    Cancel();
    FCancelled = false;
    FLastError.clear();
    FPick = Pick;
    if (Pick.ReleaseId.isEmpty()) {
        Later([this] { emit ReleaseFinished(true, FPick); });
        return;
    }
    if (!IsMusicBrainzId(Pick.ReleaseId)) {
        FLastError = Tr("The release identifier is not valid.");
        Later([this] { emit ReleaseFinished(false, FPick); });
        return;
    }
    // Without inc=artist-credits the service leaves the credits out of a
    // release, and without inc=recordings its track list.
    const QUrl Url = QUrl::fromEncoded(
        FBaseUrl.toUtf8() + "/ws/2/release/" + Pick.ReleaseId.toLatin1() + "?inc=artist-credits+recordings&fmt=json",
        QUrl::StrictMode);
    if (!Begin(opRelease, Url, "application/json", kMaxAnswerBytes)) {
        FLastError = Tr("The address of the music database is not valid.");
        Later([this] { emit ReleaseFinished(false, FPick); });
    }
}

void TAutoTagService::FinishRelease(const THttpAnswer& Answer) {
    FOperation = opNone;
    TMBReleaseCandidate Pick = FPick;
    QJsonObject Release;
    if (!ReadJson(Answer, Release, UnexpectedAnswer())) {
        emit ReleaseFinished(false, Pick);
        return;
    }
    TMBReleaseCandidate Done = Pick;
    QJsonArray Media;
    if (!ReadReleaseValues(Release, Done) || !ReadList(Release, "media", Media)) {
        FLastError = UnexpectedAnswer();
        emit ReleaseFinished(false, Pick);
        return;
    }
    Done.ReleaseId = Pick.ReleaseId;
    // The track that holds the recording; where the release holds it more
    // than once, the one the pick showed.
    TMBReleaseCandidate Best;
    int Found = 0;  // 0 none, 1 same recording, 2 same recording at the picked place
    for (const QJsonValue& MediumItem : Media) {
        QJsonArray Tracks;
        if (!MediumItem.isObject() || !ReadTracks(MediumItem.toObject(), Tracks)) {
            FLastError = UnexpectedAnswer();
            emit ReleaseFinished(false, Pick);
            return;
        }
        const QJsonObject Medium = MediumItem.toObject();
        for (const QJsonValue& TrackItem : Tracks) {
            if (!TrackItem.isObject()) {
                FLastError = UnexpectedAnswer();
                emit ReleaseFinished(false, Pick);
                return;
            }
            const QJsonObject Track = TrackItem.toObject();
            const QJsonObject Recording = Track.value(QLatin1String("recording")).toObject();
            QString RecordingId;
            if (!ReadText(Recording, "id", RecordingId) || RecordingId.isEmpty() || RecordingId != Pick.RecordingId)
                continue;
            TMBReleaseCandidate OnTrack = Done;
            QString TrackCredit, RecordingCredit;
            if (!ReadTrackValues(Medium, Track, OnTrack) || !ReadCredit(Track, TrackCredit) ||
                !ReadCredit(Recording, RecordingCredit)) {
                FLastError = UnexpectedAnswer();
                emit ReleaseFinished(false, Pick);
                return;
            }
            if (!TrackCredit.isEmpty())
                OnTrack.Artist = TrackCredit;
            else if (!RecordingCredit.isEmpty())
                OnTrack.Artist = RecordingCredit;
            const int Match = (OnTrack.Medium == Pick.Medium && OnTrack.Track == Pick.Track) ? 2 : 1;
            if (Match > Found) {
                Found = Match;
                Best = OnTrack;
            }
        }
    }
    emit ReleaseFinished(true, Found == 0 ? Done : Best);
}

void TAutoTagService::StartFrontCover(const QString& ReleaseId) {
    Cancel();
    FCancelled = false;
    FLastError.clear();
    if (!IsMusicBrainzId(ReleaseId)) {
        FLastError = Tr("The release identifier is not valid.");
        TFrontCover Cover;
        Cover.Error = FLastError;
        Later([this, Cover] { emit CoverFinished(Cover); });
        return;
    }
    const QUrl Url = QUrl::fromEncoded(FCoverBaseUrl.toUtf8() + "/release/" + ReleaseId.toLatin1(), QUrl::StrictMode);
    if (!Begin(opCoverList, Url, "application/json", kMaxAnswerBytes)) {
        FLastError = Tr("The address of the cover archive is not valid.");
        TFrontCover Cover;
        Cover.Error = FLastError;
        Later([this, Cover] { emit CoverFinished(Cover); });
    }
}

void TAutoTagService::EndCover(const TFrontCover& Cover) {
    FOperation = opNone;
    FLastError = Cover.Error;
    emit CoverFinished(Cover);
}

void TAutoTagService::FinishCoverList(const THttpAnswer& Answer) {
    TFrontCover Cover;
    // The archive answers 404 for a release it holds no pictures of.
    if (Answer.Answered && Answer.Status == 404) {
        Cover.Missing = true;
        EndCover(Cover);
        return;
    }
    QJsonObject Listing;
    if (!ReadJson(Answer, Listing, UnexpectedCoverAnswer())) {
        Cover.Error = FLastError;
        EndCover(Cover);
        return;
    }
    QString Link;
    QUrl Url;
    switch (FrontImageLink(Listing, Link)) {
        case TFrontLink::None:
            Cover.Missing = true;
            EndCover(Cover);
            return;
        case TFrontLink::Malformed:
            Cover.Error = UnexpectedCoverAnswer();
            EndCover(Cover);
            return;
        case TFrontLink::Found: break;
    }
    if (!PictureUrl(Link, FRequest.url(), Url) || !Begin(opCoverImage, Url, "image/jpeg, image/png", kMaxCoverBytes)) {
        Cover.Error = UnexpectedCoverAnswer();
        EndCover(Cover);
    }
}

void TAutoTagService::FinishCoverImage(const THttpAnswer& Answer) {
    TFrontCover Cover;
    if (!Answer.Answered) {
        Cover.Error = Answer.Error;
    } else if (Answer.Status == 404) {
        Cover.Missing = true;
    } else if (Answer.Status < 200 || Answer.Status > 299) {
        Cover.Error = HttpStatusText(Answer);
    } else if (const QString Mime = CheckedPictureMime(Answer.Body); Mime.isEmpty()) {
        Cover.Error = Tr("The cover picture is not a JPEG or PNG image that can be read.");
    } else {
        Cover.Data = Answer.Body;
        Cover.Mime = Mime;
    }
    EndCover(Cover);
}

QString TMBReleaseCandidate::Year() const {
    // "1999-05-11", "1999-05" and "1999" all give 1999; anything shorter or
    // not starting with four digits gives no year.
    static const QRegularExpression YearForm(QStringLiteral("^[0-9]{4}"));
    return YearForm.match(Date).hasMatch() ? Date.left(4) : QString();
}

QString TMBReleaseCandidate::TrackPosition() const {
    if (Track.isEmpty() || Medium <= 1) return Track;
    return QString::number(Medium) + QLatin1Char('-') + Track;
}

void ApplyCandidate(const TMBReleaseCandidate& Pick, TAudioTag& Tag) {
    if (!Pick.Title.trimmed().isEmpty()) Tag.Title = Pick.Title;
    if (!Pick.Artist.trimmed().isEmpty()) Tag.Artist = Pick.Artist;
    Tag.Album = Pick.Album;
    Tag.AlbumArtist = Pick.AlbumArtist;
    Tag.Year = Pick.Year();
}
