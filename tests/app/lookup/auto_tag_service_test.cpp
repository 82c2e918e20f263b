// The MusicBrainz client against a local server answering with recorded
// pages: the query and headers on the wire, reading the answers, the
// failures, the spacing between requests and a round over TLS.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/lookup/auto_tag_service.h"
#include "app/settings/network_settings.h"
#include "tests/app/lookup/local_http_server.h"
#include "tests/test_util.h"

using namespace lookuptest;

namespace {

const char* const kSearchFixture = "recording-search_mb-solr_recording-list.json";

QByteArray Json(const QJsonObject& Object)
{
    return QJsonDocument(Object).toJson(QJsonDocument::Compact);
}

QJsonObject Recording(const QString& Title, const QJsonValue& Score, const QJsonArray& Releases)
{
    QJsonObject R{{"id", "0f0f0f0f-1111-2222-3333-444444444444"}, {"title", Title},
                  {"artist-credit", QJsonArray{QJsonObject{{"name", "credited"},
                                                           {"artist", QJsonObject{{"name", "The Artist"}}}}}}};
    if (!Score.isUndefined())
        R.insert("score", Score);
    R.insert("releases", Releases);
    return R;
}

TServedAnswer Ok(const QByteArray& Body)
{
    TServedAnswer A;
    A.Body = Body;
    A.AddHeader("Content-Type", "application/json");
    return A;
}

class AutoTagServiceTest : public ::testing::Test {
protected:
    TLocalHttpServer Server;
    void SetUp() override { ASSERT_TRUE(Server.Listen()); }
    // A service without spacing, for tests that are not about it.
    std::unique_ptr<TAutoTagService> Service(int MinIntervalMs = 0)
    {
        auto S = std::make_unique<TAutoTagService>(Server.BaseUrl());
        S->SetMinIntervalMs(MinIntervalMs);
        return S;
    }
};

TEST(AutoTagQuery, TermsAreQuotedEscapedAndEncoded)
{
    struct Row {
        const char* Artist;
        const char* Title;
        const char* Album;
        const char* Encoded;
    };
    const Row Rows[] = {
        {"AC/DC", "Back in Black", "", "artist%3A%22AC%2FDC%22+AND+recording%3A%22Back+in+Black%22"},
        {"M\xC3\xBCller", "x", "", "artist%3A%22M%C3%BCller%22+AND+recording%3A%22x%22"},
        {"A", "B", "   ", "artist%3A%22A%22+AND+recording%3A%22B%22"},
        {"A", "B", " C ", "artist%3A%22A%22+AND+recording%3A%22B%22+AND+release%3A%22+C+%22"},
        // A quotation mark or backslash inside a term must not end the phrase.
        {"A", "12\" Mix", "", "artist%3A%22A%22+AND+recording%3A%2212%5C%22+Mix%22"},
        {"A\\", "B", "", "artist%3A%22A%5C%5C%22+AND+recording%3A%22B%22"},
        {"!$'()*-.@_~", "\xF0\x9F\x8E\xB5", "", "artist%3A%22!$'()*-.@_%7E%22+AND+recording%3A%22%F0%9F%8E%B5%22"},
    };
    for (const Row& R : Rows) {
        const QString Query = TAutoTagService::BuildSearchQuery(QString::fromUtf8(R.Artist), QString::fromUtf8(R.Title),
                                                                QString::fromUtf8(R.Album));
        EXPECT_EQ(TAutoTagService::EncodeQuery(Query).toStdString(), R.Encoded) << R.Artist << " / " << R.Title;
    }
    EXPECT_EQ(TAutoTagService::BuildSearchQuery("A", "12\" Mix", ""), "artist:\"A\" AND recording:\"12\\\" Mix\"");
}

TEST(AutoTagQuery, IdentifierForm)
{
    EXPECT_TRUE(TAutoTagService::IsMusicBrainzId("e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49"));
    EXPECT_TRUE(TAutoTagService::IsMusicBrainzId("E7FE61CA-65B8-4ABB-8723-1E7C1A5E0A49"));
    for (const char* Bad : {"", "e7fe61ca", "../../../admin?x=", "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a4g",
                            "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49/x", " e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49"})
        EXPECT_FALSE(TAutoTagService::IsMusicBrainzId(Bad)) << Bad;
}

TEST_F(AutoTagServiceTest, SearchSendsQueryAndIdentityAndReadsTheRecordedAnswer)
{
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture(kSearchFixture)); };
    auto S = Service();
    const TAutoTagResult R = S->SearchRecording("AC/DC", "Back in Black", "");
    EXPECT_EQ(S->LastError(), "");
    ASSERT_EQ(Server.Requests.size(), 1);
    const TServedRequest& Sent = Server.Requests[0];
    EXPECT_EQ(Sent.Method, "GET");
    EXPECT_EQ(Sent.Target, "/ws/2/recording/?fmt=json&limit=25&query="
                           "artist%3A%22AC%2FDC%22+AND+recording%3A%22Back+in+Black%22");
    EXPECT_EQ(Sent.Headers.value("user-agent"), "Veltrano/2.3 ( support@veltrano.example )");
    EXPECT_EQ(QString::fromUtf8(Sent.Headers.value("user-agent")), ApplicationUserAgent());
    EXPECT_EQ(Sent.Headers.value("accept"), "application/json");

    ASSERT_EQ(R.Candidates.size(), 1);
    const TMBReleaseCandidate& C = R.Candidates[0];
    EXPECT_EQ(C.RecordingId, "3e0bdde6-74e0-46d4-855a-4493589fd6b2");
    EXPECT_EQ(C.Title, "Roots and Beginnings");
    EXPECT_EQ(C.Artist, "Howard Shore");
    EXPECT_EQ(C.Album, "The Lord of the Rings: The Return of the King: The Complete Recordings");
    EXPECT_EQ(C.ReleaseId, "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49");
    EXPECT_EQ(C.Score, 100);
    EXPECT_EQ(C.Year, "");
}

TEST_F(AutoTagServiceTest, ABlankUserAgentStillSendsTheApplicationsIdentity)
{
    Server.Handler = [](const TServedRequest&) { return Ok(R"({"recordings":[]})"); };
    auto S = Service();
    S->SetUserAgent("   ");
    S->SearchRecording("A", "B", "");
    ASSERT_EQ(Server.Requests.size(), 1);
    EXPECT_EQ(QString::fromUtf8(Server.Requests[0].Headers.value("user-agent")), ApplicationUserAgent());
}

TEST_F(AutoTagServiceTest, ReleaseLookupAsksForTheArtistCreditsAndReadsTheArtistsOwnName)
{
    struct Row {
        const char* Fixture;
        const char* Id;
        const char* AlbumArtist;
        const char* Year;
    };
    const Row Rows[] = {
        // The credited name differs from the artist's own name here.
        {"eval_release_6a76904c.json", "6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4", "Godspeed You! Black Emperor", "2000"},
        {"eval_release_2810aeef.json", "2810aeef-6e5a-4c83-8f5d-0a4bb4b6c7d1", "JAY\xE2\x80\x90Z", "2004"},
    };
    for (const Row& R : Rows) {
        Server.Requests.clear();
        const QByteArray Body = Fixture(R.Fixture);
        ASSERT_FALSE(Body.isEmpty()) << R.Fixture;
        Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
        auto S = Service();
        QString AlbumArtist = "old", Year = "old";
        EXPECT_TRUE(S->GetReleaseDetails(R.Id, AlbumArtist, Year)) << S->LastError().toStdString();
        EXPECT_EQ(AlbumArtist, QString::fromUtf8(R.AlbumArtist));
        EXPECT_EQ(Year, R.Year);
        ASSERT_EQ(Server.Requests.size(), 1);
        EXPECT_EQ(Server.Requests[0].Target, QByteArray("/ws/2/release/") + R.Id + "?inc=artist-credits&fmt=json");
    }
}

TEST_F(AutoTagServiceTest, ReleaseDates)
{
    // A release answered without credits still gives its year.
    struct Row {
        QJsonValue Date;
        const char* Year;
    };
    const Row Rows[] = {{"2004", "2004"}, {"2004-03", "2004"}, {"1999-05-11", "1999"}, {"200", ""},
                        {QJsonValue(), ""}, {"", ""},         {"c. 1970", ""},       {2004, "2004"}};
    for (const Row& R : Rows) {
        QJsonObject Release{{"title", "T"}};
        if (!R.Date.isNull())
            Release.insert("date", R.Date);
        const QByteArray Body = Json(Release);
        Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
        auto S = Service();
        QString AlbumArtist = "x", Year = "x";
        EXPECT_TRUE(S->GetReleaseDetails("6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4", AlbumArtist, Year));
        EXPECT_EQ(Year, R.Year) << Body.toStdString();
        EXPECT_EQ(AlbumArtist, "");
    }
}

TEST_F(AutoTagServiceTest, EmptyReleasesScoresAndIdentifiersOfAnotherForm)
{
    const QJsonArray Recordings{
        Recording("no releases", 100, QJsonArray{}),
        Recording("no score", QJsonValue(QJsonValue::Undefined),
                  QJsonArray{QJsonObject{{"id", "../../etc?x"}, {"title", "Odd Id"}}}),
        Recording("text score", "95", QJsonArray{}),
        Recording("word score", "high", QJsonArray{}),
    };
    const QByteArray Body = Json(QJsonObject{{"recordings", Recordings}});
    Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
    auto S = Service();
    const TAutoTagResult R = S->SearchRecording("A", "B", "");
    ASSERT_EQ(R.Candidates.size(), 4) << S->LastError().toStdString();
    EXPECT_EQ(R.Candidates[0].Score, 100);
    EXPECT_EQ(R.Candidates[0].Album, "");
    EXPECT_EQ(R.Candidates[0].ReleaseId, "");
    EXPECT_EQ(R.Candidates[0].Artist, "The Artist");
    EXPECT_EQ(R.Candidates[1].Score, 0);
    EXPECT_EQ(R.Candidates[1].Album, "Odd Id");
    EXPECT_EQ(R.Candidates[1].ReleaseId, "") << "an identifier of another form never reaches a request path";
    EXPECT_EQ(R.Candidates[2].Score, 95);
    EXPECT_EQ(R.Candidates[3].Score, 0);

    Server.Requests.clear();
    QString AlbumArtist, Year;
    EXPECT_FALSE(S->GetReleaseDetails(R.Candidates[0].ReleaseId, AlbumArtist, Year));
    EXPECT_EQ(S->LastError(), "ReleaseId is empty");
    EXPECT_FALSE(S->GetReleaseDetails("../../etc?x", AlbumArtist, Year));
    EXPECT_FALSE(S->LastError().isEmpty());
    EXPECT_TRUE(Server.Requests.isEmpty());
}

TEST_F(AutoTagServiceTest, AnswersOfTheWrongShapeAreFailedRequests)
{
    struct Row {
        QByteArray Body;
        const char* Error;
    };
    const Row Rows[] = {
        {"[1,2,3]", "Unexpected answer from MusicBrainz."},
        {"{}", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":"none"})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[5]})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":"t","artist-credit":"x"}]})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":"t","artist-credit":[{"artist":"x"}]}]})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":"t","releases":{"id":"x"}}]})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":["t"]}]})", "Unexpected answer from MusicBrainz."},
        {"<html>busy</html>", "Invalid JSON response"},
        {"", "Invalid JSON response"},
        {R"({"recordings":[]})", ""},
        // Numbers where text stands are read as text, however large.
        {R"({"recordings":[{"id":1e300,"title":-4.5e-300,"score":1e300}]})", ""},
    };
    for (const Row& R : Rows) {
        const QByteArray Body = R.Body;
        Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
        auto S = Service();
        const TAutoTagResult Result = S->SearchRecording("A", "B", "");
        EXPECT_EQ(Result.Candidates.isEmpty(), !Body.contains("1e300")) << Body.toStdString();
        EXPECT_EQ(S->LastError(), R.Error) << Body.toStdString();
    }
    Server.Handler = [](const TServedRequest&) { return Ok(R"({"artist-credit":{"name":"x"},"date":"2001"})"); };
    auto S = Service();
    QString AlbumArtist, Year;
    EXPECT_FALSE(S->GetReleaseDetails("6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4", AlbumArtist, Year));
    EXPECT_EQ(S->LastError(), "Unexpected answer from MusicBrainz.");
    EXPECT_EQ(Year, "");
}

TEST_F(AutoTagServiceTest, BusyServiceWithAndWithoutRetryAfter)
{
    // Without Retry-After: the status is the error.
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Status = 503;
        A.Reason = "Service Unavailable";
        return A;
    };
    auto S = Service();
    EXPECT_TRUE(S->SearchRecording("A", "B", "").Candidates.isEmpty());
    EXPECT_EQ(S->LastError(), "HTTP 503: Service Unavailable");
    EXPECT_EQ(Server.Requests.size(), 1);

    // With a short Retry-After the request is sent again once, no earlier.
    Server.Requests.clear();
    qint64 BusyAnsweredMs = -1;
    Server.Handler = [&](const TServedRequest&) {
        if (BusyAnsweredMs < 0) {
            BusyAnsweredMs = Server.Now();
            TServedAnswer A;
            A.Status = 503;
            A.Reason = "Service Unavailable";
            A.AddHeader("Retry-After", "1");
            return A;
        }
        return Ok(Fixture(kSearchFixture));
    };
    const TAutoTagResult R = S->SearchRecording("A", "B", "");
    EXPECT_EQ(R.Candidates.size(), 1) << S->LastError().toStdString();
    ASSERT_EQ(Server.Requests.size(), 2);
    EXPECT_GE(Server.Requests[1].ArrivedMs - BusyAnsweredMs, 990);

    // Two busy answers in a row: the second is reported.
    Server.Requests.clear();
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Status = 503;
        A.Reason = "Service Unavailable";
        A.AddHeader("Retry-After", "0");
        return A;
    };
    EXPECT_TRUE(S->SearchRecording("A", "B", "").Candidates.isEmpty());
    EXPECT_EQ(S->LastError(), "HTTP 503: Service Unavailable");
    EXPECT_EQ(Server.Requests.size(), 2);
}

TEST_F(AutoTagServiceTest, OtherStatusesAndNoServer)
{
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Status = 404;
        A.Reason = "Not Found";
        A.Body = R"({"error":"Not Found"})";
        return A;
    };
    auto S = Service();
    QString AlbumArtist, Year;
    EXPECT_FALSE(S->GetReleaseDetails("6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4", AlbumArtist, Year));
    EXPECT_EQ(S->LastError(), "HTTP 404: Not Found");

    // Nobody listens on the port any more.
    QString Gone;
    {
        TLocalHttpServer Closed;
        ASSERT_TRUE(Closed.Listen());
        Gone = Closed.BaseUrl();
    }
    TAutoTagService Lost(Gone);
    Lost.SetMinIntervalMs(0);
    EXPECT_TRUE(Lost.SearchRecording("A", "B", "").Candidates.isEmpty());
    EXPECT_FALSE(Lost.LastError().isEmpty());
}

TEST_F(AutoTagServiceTest, RequestsOfAllServiceObjectsAreSpaced)
{
    Server.Handler = [](const TServedRequest&) { return Ok(R"({"recordings":[]})"); };
    // Two objects, one after the other, as two runs of the command would.
    auto First = Service(TAutoTagService::kDefaultMinIntervalMs);
    First->SearchRecording("A", "B", "");
    const qint64 FirstDone = Server.Now();
    auto Second = Service(TAutoTagService::kDefaultMinIntervalMs);
    // The wait runs the event loop: timers keep firing meanwhile.
    int Ticks = 0;
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout, [&Ticks] { ++Ticks; });
    Tick.start(50);
    Second->SearchRecording("A", "B", "");
    Tick.stop();
    ASSERT_EQ(Server.Requests.size(), 2);
    EXPECT_GE(Server.Requests[1].ArrivedMs - FirstDone, 1090);
    EXPECT_GE(Ticks, 10);
}

TEST_F(AutoTagServiceTest, CancelStopsASlowRequestAtOnce)
{
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A = Ok(R"({"recordings":[]})");
        A.DelayMs = 8000;
        return A;
    };
    auto S = Service();
    QTimer::singleShot(300, S.get(), [&S] { S->Cancel(); });
    QElapsedTimer Clock;
    Clock.start();
    EXPECT_TRUE(S->SearchRecording("A", "B", "").Candidates.isEmpty());
    EXPECT_LT(Clock.elapsed(), 3000);
    EXPECT_TRUE(S->WasCancelled());
    EXPECT_FALSE(S->LastError().isEmpty());
}

TEST(AutoTagServiceTls, RoundOverTls)
{
    testutil::TTempDir Dir;
    QString Cert, Key;
    if (!MakeTestCertificate(Dir.path(), Cert, Key))
        GTEST_SKIP() << "openssl is not installed";
    TLocalHttpServer Server;
    ASSERT_TRUE(Server.ListenTls(Cert, Key));
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture(kSearchFixture)); };
    ASSERT_TRUE(Server.BaseUrl().startsWith("https://127.0.0.1:"));

    // A certificate nobody vouches for is refused.
    {
        TAutoTagService S(Server.BaseUrl());
        S.SetMinIntervalMs(0);
        EXPECT_TRUE(S.SearchRecording("AC/DC", "Back in Black", "").Candidates.isEmpty());
        EXPECT_FALSE(S.LastError().isEmpty());
        EXPECT_TRUE(Server.Requests.isEmpty());
    }
    TrustCertificate(Cert);
    TAutoTagService S(Server.BaseUrl());
    S.SetMinIntervalMs(0);
    const TAutoTagResult R = S.SearchRecording("AC/DC", "Back in Black", "");
    ASSERT_EQ(R.Candidates.size(), 1) << S.LastError().toStdString();
    EXPECT_EQ(R.Candidates[0].Artist, "Howard Shore");
    ASSERT_EQ(Server.Requests.size(), 1);
    EXPECT_EQ(QString::fromUtf8(Server.Requests[0].Headers.value("user-agent")), ApplicationUserAgent());
}

}  // namespace
