// The MusicBrainz client against a local server answering with recorded
// pages: the query and headers on the wire, reading the answers, the
// failures, the spacing between requests and a round over TLS.
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "app/lookup/auto_tag_service.h"
#include "app/settings/network_settings.h"
#include "tests/app/lookup/local_http_server.h"
#include "tests/test_util.h"

using namespace lookuptest;

namespace {

const char* const kSearchFixture = "recording-search_mb-solr_recording-list.json";

QByteArray Json(const QJsonObject& Object) { return QJsonDocument(Object).toJson(QJsonDocument::Compact); }

QJsonObject Recording(const QString& Title, const QJsonValue& Score, const QJsonArray& Releases) {
    QJsonObject R{{"id", "0f0f0f0f-1111-2222-3333-444444444444"},
                  {"title", Title},
                  {"artist-credit",
                   QJsonArray{QJsonObject{{"name", "credited"}, {"artist", QJsonObject{{"name", "The Artist"}}}}}}};
    if (!Score.isUndefined()) R.insert("score", Score);
    R.insert("releases", Releases);
    return R;
}

// The client's calls report by signal; these run the test's event loop (at
// its top, as the window's does) until the signal has come.
TAutoTagResult Search(TAutoTagService& S, const QString& Artist, const QString& Title, const QString& Album) {
    std::optional<TAutoTagResult> Got;
    const QMetaObject::Connection Seen =
        QObject::connect(&S, &TAutoTagService::SearchFinished, [&Got](const TAutoTagResult& R) { Got = R; });
    S.StartSearch(Artist, Title, Album);
    EXPECT_FALSE(Got.has_value()) << "reported from within the call";
    EXPECT_TRUE(WaitUntil([&Got] { return Got.has_value(); }, 60000));
    QObject::disconnect(Seen);
    return Got.value_or(TAutoTagResult());
}

bool Complete(TAutoTagService& S, TMBReleaseCandidate& Pick) {
    std::optional<bool> Ok;
    const QMetaObject::Connection Seen =
        QObject::connect(&S, &TAutoTagService::ReleaseFinished, [&](bool Done, const TMBReleaseCandidate& Read) {
            Ok = Done;
            Pick = Read;
        });
    S.StartRelease(Pick);
    EXPECT_FALSE(Ok.has_value()) << "reported from within the call";
    EXPECT_TRUE(WaitUntil([&Ok] { return Ok.has_value(); }, 60000));
    QObject::disconnect(Seen);
    return Ok.value_or(false);
}

TFrontCover FetchCover(TAutoTagService& S, const QString& ReleaseId) {
    std::optional<TFrontCover> Got;
    const QMetaObject::Connection Seen =
        QObject::connect(&S, &TAutoTagService::CoverFinished, [&Got](const TFrontCover& C) { Got = C; });
    S.StartFrontCover(ReleaseId);
    EXPECT_FALSE(Got.has_value()) << "reported from within the call";
    EXPECT_TRUE(WaitUntil([&Got] { return Got.has_value(); }, 60000));
    QObject::disconnect(Seen);
    return Got.value_or(TFrontCover());
}

TServedAnswer Ok(const QByteArray& Body) {
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
    std::unique_ptr<TAutoTagService> Service(int MinIntervalMs = 0) {
        auto S = std::make_unique<TAutoTagService>(Server.BaseUrl());
        S->SetMinIntervalMs(MinIntervalMs);
        return S;
    }
};

TEST(AutoTagQuery, TermsAreQuotedEscapedAndEncoded) {
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

TEST(AutoTagQuery, IdentifierForm) {
    EXPECT_TRUE(TAutoTagService::IsMusicBrainzId("e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49"));
    EXPECT_TRUE(TAutoTagService::IsMusicBrainzId("E7FE61CA-65B8-4ABB-8723-1E7C1A5E0A49"));
    for (const char* Bad : {"", "e7fe61ca", "../../../admin?x=", "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a4g",
                            "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49/x", " e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49"})
        EXPECT_FALSE(TAutoTagService::IsMusicBrainzId(Bad)) << Bad;
}

TEST_F(AutoTagServiceTest, SearchSendsQueryAndIdentityAndReadsTheRecordedAnswer) {
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture(kSearchFixture)); };
    auto S = Service();
    const TAutoTagResult R = Search(*S, "AC/DC", "Back in Black", "");
    EXPECT_EQ(S->LastError(), "");
    ASSERT_EQ(Server.Requests.size(), 1);
    const TServedRequest& Sent = Server.Requests[0];
    EXPECT_EQ(Sent.Method, "GET");
    EXPECT_EQ(Sent.Target,
              "/ws/2/recording/?fmt=json&limit=25&query="
              "artist%3A%22AC%2FDC%22+AND+recording%3A%22Back+in+Black%22");
    EXPECT_EQ(Sent.Headers.value("user-agent"), "Veltrano/2.3 ( support@veltrano.example )");
    EXPECT_EQ(QString::fromUtf8(Sent.Headers.value("user-agent")), ApplicationUserAgent());
    EXPECT_EQ(Sent.Headers.value("accept"), "application/json");

    // The release is listed once per medium holding the recording: one row each.
    ASSERT_EQ(R.Candidates.size(), 2);
    EXPECT_EQ(R.Candidates[0].Format, "CD");
    EXPECT_EQ(R.Candidates[0].TrackPosition(), "1");
    EXPECT_EQ(R.Candidates[1].Format, "DVD");
    EXPECT_EQ(R.Candidates[1].TrackPosition(), "5-1");
    const TMBReleaseCandidate& C = R.Candidates[0];
    EXPECT_EQ(C.RecordingId, "3e0bdde6-74e0-46d4-855a-4493589fd6b2");
    EXPECT_EQ(C.Title, "Roots and Beginnings");
    EXPECT_EQ(C.Artist, "Howard Shore");
    EXPECT_EQ(C.Album, "The Lord of the Rings: The Return of the King: The Complete Recordings");
    EXPECT_EQ(C.ReleaseId, "e7fe61ca-65b8-4abb-8723-1e7c1a5e0a49");
    EXPECT_EQ(C.Score, 100);
    EXPECT_EQ(C.Date, "2007-11-20");
    EXPECT_EQ(C.Year(), "2007");
}

TEST_F(AutoTagServiceTest, ABlankUserAgentStillSendsTheApplicationsIdentity) {
    Server.Handler = [](const TServedRequest&) { return Ok(R"({"recordings":[]})"); };
    auto S = Service();
    S->SetUserAgent("   ");
    Search(*S, "A", "B", "");
    ASSERT_EQ(Server.Requests.size(), 1);
    EXPECT_EQ(QString::fromUtf8(Server.Requests[0].Headers.value("user-agent")), ApplicationUserAgent());
}

// One row of the table below: a field of a candidate as the database shows it.
struct TExpected {
    const char* Title;
    const char* Artist;
    const char* Album;
    const char* AlbumArtist;
    const char* Date;
    const char* Country;
    const char* Format;
    const char* Track;
    bool Video;
    int Score;
};

void ExpectCandidate(const TMBReleaseCandidate& C, const TExpected& E, const std::string& Where) {
    EXPECT_EQ(C.Title, QString::fromUtf8(E.Title)) << Where;
    EXPECT_EQ(C.Artist, QString::fromUtf8(E.Artist)) << Where;
    EXPECT_EQ(C.Album, QString::fromUtf8(E.Album)) << Where;
    EXPECT_EQ(C.AlbumArtist, QString::fromUtf8(E.AlbumArtist)) << Where;
    EXPECT_EQ(C.Date, E.Date) << Where;
    EXPECT_EQ(C.Country, E.Country) << Where;
    EXPECT_EQ(C.Format, E.Format) << Where;
    EXPECT_EQ(C.TrackPosition(), E.Track) << Where;
    EXPECT_EQ(C.Video, E.Video) << Where;
    EXPECT_EQ(C.Score, E.Score) << Where;
}

TEST_F(AutoTagServiceTest, OneCandidatePerReleaseOfEachRecordingSortedByScoreThenDate) {
    struct Row {
        const char* Fixture;
        std::vector<TExpected> Rows;
    };
    const Row Rows[] = {
        // Two recordings, each on two releases; the answer lists 2005 before 2003
        // and the undated pseudo-release first.
        {"search-zankoku-cut.json",
         {{"残酷な天使のテーゼ", "奥井雅美", "マサミコブシ", "奥井雅美", "2003-05-01", "JP", "CD", "5", false, 100},
          {"残酷な天使のテーゼ", "奥井雅美", "マサミコブシ", "奥井雅美", "2005-05-11", "JP", "CD", "5", false, 100},
          {"残酷な天使のテーゼ", "アニメタルUSA", "アニメタルUSA", "アニメタルUSA", "2011-10-12", "JP", "CD", "5",
           false, 100},
          {"Zankoku na Tenshi no These", "アニメタルUSA", "Animetal USA", "Animetal USA", "", "", "CD", "5", false,
           100}}},
        // The audio and the video recording of one song are told apart.
        {"search-collision-course.json",
         {{"Dirt Off Your Shoulder / Lying From You", "Jay‐Z / Linkin Park",
           "MTV Ultimate Mash‐Ups Presents: Collision Course", "Jay‐Z / Linkin Park", "2004-11-29", "XE", "Enhanced CD",
           "1", false, 100},
          {"Dirt Off Your Shoulder / Lying From You", "Jay‐Z / Linkin Park",
           "MTV Ultimate Mash‐Ups Presents: Collision Course", "Jay‐Z / Linkin Park", "2004-11-29", "XE", "DVD-Video",
           "2-6", true, 100}}},
        // Credits joined with their join phrases, credited names before the artists' own.
        {"search-credit-joins.json",
         {{"1000 Nights", "Ed Sheeran feat. Meek Mill & A Boogie Wit da Hoodie", "", "", "", "", "", "", false, 100},
          {"獣ゆく細道", "椎名林檎と宮本浩次", "", "", "", "", "", "", false, 90},
          {"(title not recorded)", "Matthew R. Pelling, Andre N. Touhey & Paul I. Willard", "", "", "", "", "", "",
           false, 80}}},
    };
    for (const Row& R : Rows) {
        const QByteArray Body = Fixture(R.Fixture);
        ASSERT_FALSE(Body.isEmpty()) << R.Fixture;
        Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
        auto S = Service();
        const TAutoTagResult Result = Search(*S, "A", "B", "");
        EXPECT_EQ(S->LastError(), "") << R.Fixture;
        ASSERT_EQ(Result.Candidates.size(), static_cast<qsizetype>(R.Rows.size())) << R.Fixture;
        for (size_t I = 0; I < R.Rows.size(); ++I)
            ExpectCandidate(Result.Candidates[static_cast<qsizetype>(I)], R.Rows[I],
                            std::string(R.Fixture) + " row " + std::to_string(I));
    }
}

TEST(AutoTagCandidates, SortYearAndTrackPosition) {
    auto Make = [](int Score, const char* Date, const char* Title) {
        TMBReleaseCandidate C;
        C.Score = Score;
        C.Date = Date;
        C.Title = Title;
        return C;
    };
    QVector<TMBReleaseCandidate> List{Make(90, "2018", "a"),   Make(100, "", "b"),           Make(90, "2000-05", "c"),
                                      Make(90, "", "d"),       Make(100, "2017-01-02", "e"), Make(90, "2000", "f"),
                                      Make(90, "2000-05", "g")};
    TAutoTagService::SortCandidates(List);
    QString Order;
    for (const TMBReleaseCandidate& C : List) Order += C.Title;
    EXPECT_EQ(Order, "ebfcgad") << "score, then date (undated last), then the service's order";

    struct Row {
        const char* Date;
        const char* Year;
    };
    for (const Row& R : {Row{"2004", "2004"}, Row{"2004-03", "2004"}, Row{"1999-05-11", "1999"}, Row{"200", ""},
                         Row{"", ""}, Row{"c. 1970", ""}})
        EXPECT_EQ(Make(0, R.Date, "").Year(), R.Year) << R.Date;

    TMBReleaseCandidate C;
    EXPECT_EQ(C.TrackPosition(), "");
    C.Track = "A2";
    EXPECT_EQ(C.TrackPosition(), "A2");
    C.Medium = 1;
    EXPECT_EQ(C.TrackPosition(), "A2");
    C.Medium = 3;
    EXPECT_EQ(C.TrackPosition(), "3-A2");
}

TEST_F(AutoTagServiceTest, TheReleaseLookUpCompletesThePick) {
    struct Row {
        const char* Search;
        int Pick;
        const char* Release;
        TExpected Done;
    };
    const Row Rows[] = {
        // Track credit with the credited names; album artist from the release's credit.
        {"search-collision-course.json",
         1,
         "eval_release_2810aeef.json",
         {"Dirt Off Your Shoulder / Lying From You", "Jay‐Z / Linkin Park",
          "MTV Ultimate Mash‐Ups Presents: Collision Course", "Jay‐Z / Linkin Park", "2004-11-29", "XE", "DVD-Video",
          "2-6", true, 100}},
        {"search-godspeed-storm.json",
         0,
         "eval_release_6a76904c.json",
         {"Storm", "Godspeed You Black Emperor!", "Lift Yr. Skinny Fists Like Antennas to Heaven!",
          "Godspeed You Black Emperor!", "2000-10-09", "US", "CD", "1", false, 100}},
        // A release without date or country gives none.
        {"search-zankoku-cut.json",
         3,
         "release-b7bcd3df.json",
         {"Zankoku na Tenshi no These", "アニメタルUSA", "Animetal USA", "Animetal USA", "", "", "CD", "5", false,
          100}},
        {"search-zankoku-cut.json",
         2,
         "release-8d266a93.json",
         {"残酷な天使のテーゼ", "アニメタルUSA", "アニメタルUSA", "アニメタルUSA", "2011-10-12", "JP", "CD", "5", false,
          100}},
    };
    for (const Row& R : Rows) {
        const QByteArray Searched = Fixture(R.Search), Release = Fixture(R.Release);
        ASSERT_FALSE(Searched.isEmpty() || Release.isEmpty()) << R.Release;
        Server.Requests.clear();
        Server.Handler = [&](const TServedRequest& Q) {
            return Ok(Q.Target.startsWith("/ws/2/release/") ? Release : Searched);
        };
        auto S = Service();
        const TAutoTagResult Found = Search(*S, "A", "B", "");
        ASSERT_GT(Found.Candidates.size(), R.Pick) << R.Search;
        TMBReleaseCandidate Pick = Found.Candidates[R.Pick];
        const QString ReleaseId = Pick.ReleaseId;
        ASSERT_TRUE(Complete(*S, Pick)) << S->LastError().toStdString();
        ExpectCandidate(Pick, R.Done, R.Release);
        EXPECT_EQ(Pick.ReleaseId, ReleaseId);
        ASSERT_EQ(Server.Requests.size(), 2);
        EXPECT_EQ(Server.Requests[1].Target,
                  "/ws/2/release/" + ReleaseId.toLatin1() + "?inc=artist-credits+recordings&fmt=json");
    }

    // A release that does not list the recording keeps the search's title and
    // artist and still gives its own album, credit and date.
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture("eval_release_6a76904c.json")); };
    auto S = Service();
    TMBReleaseCandidate Pick;
    Pick.RecordingId = "3e0bdde6-74e0-46d4-855a-4493589fd6b2";
    Pick.ReleaseId = "6a76904c-0caf-34e1-8cc2-7d95e86a3824";
    Pick.Title = "Roots and Beginnings";
    Pick.Artist = "Howard Shore";
    ASSERT_TRUE(Complete(*S, Pick));
    EXPECT_EQ(Pick.Title, "Roots and Beginnings");
    EXPECT_EQ(Pick.Artist, "Howard Shore");
    EXPECT_EQ(Pick.AlbumArtist, "Godspeed You Black Emperor!");
    EXPECT_EQ(Pick.Year(), "2000");
}

TEST(AutoTagApply, TheRecordTakesTheWholeRelease) {
    TAudioTag Old;
    Old.Title = "Tokyo";
    Old.Artist = "Someone";
    Old.Album = "Old Album";
    Old.AlbumArtist = "Old Album Artist";
    Old.Year = "1990";
    Old.Genre = "Rock";
    Old.Track = "3";

    TMBReleaseCandidate Dated;
    Dated.Title = "TOKYO";
    Dated.Artist = "椎名林檎と宮本浩次";
    Dated.Album = "Album";
    Dated.AlbumArtist = "Album Artist";
    Dated.Date = "2019-11-27";
    TAudioTag Tag = Old;
    ApplyCandidate(Dated, Tag);
    EXPECT_EQ(Tag.Title, "TOKYO");
    EXPECT_EQ(Tag.Artist, "椎名林檎と宮本浩次");
    EXPECT_EQ(Tag.Album, "Album");
    EXPECT_EQ(Tag.AlbumArtist, "Album Artist");
    EXPECT_EQ(Tag.Year, "2019");
    EXPECT_EQ(Tag.Genre, "Rock");
    EXPECT_EQ(Tag.Track, "3");

    // What the release lacks is cleared rather than kept from another release.
    TMBReleaseCandidate Undated = Dated;
    Undated.Date.clear();
    Undated.AlbumArtist.clear();
    Tag = Old;
    ApplyCandidate(Undated, Tag);
    EXPECT_EQ(Tag.Album, "Album");
    EXPECT_EQ(Tag.AlbumArtist, "");
    EXPECT_EQ(Tag.Year, "");

    // A recording on no release: the record keeps no album of another release.
    TMBReleaseCandidate Alone;
    Alone.Title = "Storm (live)";
    Tag = Old;
    ApplyCandidate(Alone, Tag);
    EXPECT_EQ(Tag.Title, "Storm (live)");
    EXPECT_EQ(Tag.Artist, "Someone") << "a blank credit leaves the artist";
    EXPECT_EQ(Tag.Album, "");
    EXPECT_EQ(Tag.Year, "");
}

TEST_F(AutoTagServiceTest, EmptyReleasesScoresAndIdentifiersOfAnotherForm) {
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
    const TAutoTagResult R = Search(*S, "A", "B", "");
    ASSERT_EQ(R.Candidates.size(), 4) << S->LastError().toStdString();
    // Sorted by score; the credited name stands before the artist's own.
    EXPECT_EQ(R.Candidates[0].Score, 100);
    EXPECT_EQ(R.Candidates[0].Album, "");
    EXPECT_EQ(R.Candidates[0].ReleaseId, "");
    EXPECT_EQ(R.Candidates[0].Artist, "credited");
    EXPECT_EQ(R.Candidates[1].Score, 95);
    EXPECT_EQ(R.Candidates[2].Score, 0);
    EXPECT_EQ(R.Candidates[2].Album, "Odd Id");
    EXPECT_EQ(R.Candidates[2].ReleaseId, "") << "an identifier of another form never reaches a request path";
    EXPECT_EQ(R.Candidates[3].Score, 0);
    EXPECT_EQ(R.Candidates[3].Title, "word score");

    Server.Requests.clear();
    TMBReleaseCandidate Pick = R.Candidates[0];
    ASSERT_EQ(Pick.ReleaseId, "");
    EXPECT_TRUE(Complete(*S, Pick)) << "a pick without a release asks nothing";
    EXPECT_EQ(Pick, R.Candidates[0]);
    Pick.ReleaseId = "../../etc?x";
    EXPECT_FALSE(Complete(*S, Pick));
    EXPECT_FALSE(S->LastError().isEmpty());
    EXPECT_TRUE(Server.Requests.isEmpty());
}

TEST_F(AutoTagServiceTest, AnswersOfTheWrongShapeAreFailedRequests) {
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
        {R"({"recordings":[{"title":"t","artist-credit":[{"name":["x"]}]}]})", "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":"t","releases":[{"media":{"format":"CD"}}]}]})",
         "Unexpected answer from MusicBrainz."},
        {R"({"recordings":[{"title":"t","releases":[{"media":[{"track":[7]}]}]}]})",
         "Unexpected answer from MusicBrainz."},
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
        const TAutoTagResult Result = Search(*S, "A", "B", "");
        EXPECT_EQ(Result.Candidates.isEmpty(), !Body.contains("1e300")) << Body.toStdString();
        EXPECT_EQ(S->LastError(), R.Error) << Body.toStdString();
    }
    for (const char* Body :
         {R"({"artist-credit":{"name":"x"},"date":"2001"})", R"({"date":"2001","media":[{"tracks":[1]}]})"}) {
        Server.Handler = [Body](const TServedRequest&) { return Ok(Body); };
        auto S = Service();
        TMBReleaseCandidate Pick;
        Pick.ReleaseId = "6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4";
        const TMBReleaseCandidate Before = Pick;
        EXPECT_FALSE(Complete(*S, Pick)) << Body;
        EXPECT_EQ(S->LastError(), "Unexpected answer from MusicBrainz.");
        EXPECT_EQ(Pick, Before) << "a failed look-up leaves the pick";
    }
}

TEST_F(AutoTagServiceTest, BusyServiceWithAndWithoutRetryAfter) {
    // Without Retry-After: the status is the error.
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Status = 503;
        A.Reason = "Service Unavailable";
        return A;
    };
    auto S = Service();
    EXPECT_TRUE(Search(*S, "A", "B", "").Candidates.isEmpty());
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
    const TAutoTagResult R = Search(*S, "A", "B", "");
    EXPECT_EQ(R.Candidates.size(), 2) << S->LastError().toStdString();
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
    EXPECT_TRUE(Search(*S, "A", "B", "").Candidates.isEmpty());
    EXPECT_EQ(S->LastError(), "HTTP 503: Service Unavailable");
    EXPECT_EQ(Server.Requests.size(), 2);
}

TEST_F(AutoTagServiceTest, OtherStatusesAndNoServer) {
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Status = 404;
        A.Reason = "Not Found";
        A.Body = R"({"error":"Not Found"})";
        return A;
    };
    auto S = Service();
    TMBReleaseCandidate Pick;
    Pick.ReleaseId = "6a76904c-ab4b-4c6b-a9a5-3a9fd7c3c5c4";
    EXPECT_FALSE(Complete(*S, Pick));
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
    EXPECT_TRUE(Search(Lost, "A", "B", "").Candidates.isEmpty());
    EXPECT_FALSE(Lost.LastError().isEmpty());
}

TEST_F(AutoTagServiceTest, RequestsOfAllServiceObjectsAreSpaced) {
    Server.Handler = [](const TServedRequest&) { return Ok(R"({"recordings":[]})"); };
    // Two objects, one after the other, as two runs of the command would.
    auto First = Service(TAutoTagService::kDefaultMinIntervalMs);
    Search(*First, "A", "B", "");
    const qint64 FirstDone = Server.Now();
    auto Second = Service(TAutoTagService::kDefaultMinIntervalMs);
    // The wait runs the event loop: timers keep firing meanwhile.
    int Ticks = 0;
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout, [&Ticks] { ++Ticks; });
    Tick.start(50);
    Search(*Second, "A", "B", "");
    Tick.stop();
    ASSERT_EQ(Server.Requests.size(), 2);
    EXPECT_GE(Server.Requests[1].ArrivedMs - FirstDone, 1090);
    EXPECT_GE(Ticks, 10);
}

TEST_F(AutoTagServiceTest, CancelDropsTheRequestAtOnceAndReportsNothing) {
    auto S = Service();
    int Reported = 0;
    QObject::connect(S.get(), &TAutoTagService::SearchFinished, [&Reported] { ++Reported; });
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A = Ok(R"({"recordings":[]})");
        A.Hold = true;
        return A;
    };
    S->StartSearch("A", "B", "");
    ASSERT_TRUE(WaitUntil([this] { return Server.HeldOpen() == 1; }));
    S->Cancel();
    EXPECT_FALSE(S->IsBusy());
    EXPECT_TRUE(S->WasCancelled());
    EXPECT_EQ(S->LastError(), "Cancelled by the user.");
    // The connection is dropped: the server sees it close.
    EXPECT_TRUE(WaitUntil([this] { return Server.HeldOpen() == 0; }));

    // The next call reports its own answer, and the dropped one never.
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture(kSearchFixture)); };
    EXPECT_EQ(Search(*S, "A", "B", "").Candidates.size(), 2);
    EXPECT_EQ(Reported, 1);
    EXPECT_FALSE(S->WasCancelled());
}

// Nothing waits in a local event loop: the server (which runs in the test's
// own loop) and a timer see the thread at the loop level the test runs,
// while a request is on its way and while the spacing holds one back.
TEST_F(AutoTagServiceTest, NothingWaitsInALocalEventLoop) {
    QVector<int> HandlerLevels, TimerLevels;
    Server.Handler = [&HandlerLevels](const TServedRequest&) {
        HandlerLevels.append(QThread::currentThread()->loopLevel());
        return Ok(R"({"recordings":[]})");
    };
    auto S = Service(300);
    const int Level = QThread::currentThread()->loopLevel();
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout,
                     [&TimerLevels] { TimerLevels.append(QThread::currentThread()->loopLevel()); });
    Tick.start(0);
    Search(*S, "A", "B", "");
    Search(*S, "A", "B", "");  // held back 300 ms by the spacing
    Tick.stop();
    EXPECT_EQ(HandlerLevels, QVector<int>({Level, Level}));
    ASSERT_FALSE(TimerLevels.isEmpty());
    EXPECT_EQ(*std::max_element(TimerLevels.begin(), TimerLevels.end()), Level);
}

// --- the front cover from the cover archive -----------------------------------

const char* const kRelease = "6a76904c-0caf-34e1-8cc2-7d95e86a3824";

// The listing with its front image changed by Change.
QByteArray ListingWith(const QString& Base, const std::function<void(QJsonObject& Front)>& Change) {
    QJsonObject Answer = QJsonDocument::fromJson(CoverListing(Base)).object();
    QJsonArray Images = Answer.value("images").toArray();
    QJsonObject Front = Images[1].toObject();
    Change(Front);
    Images[1] = Front;
    Answer.insert("images", Images);
    return Json(Answer);
}

TEST_F(AutoTagServiceTest, FrontCoverIsTheListedFront500PixelPicture) {
    const QByteArray Jpeg = TestPicture("JPEG");
    ASSERT_FALSE(Jpeg.isEmpty());
    const QByteArray Body = CoverListing(Server.BaseUrl());
    ASSERT_FALSE(Body.isEmpty());
    Server.Handler = [&](const TServedRequest& R) {
        if (R.Target == QByteArray("/release/") + kRelease) return Ok(Body);
        if (R.Target.endsWith("/30000000002-500.jpg")) return Ok(Jpeg);
        return Ok("wrong picture");
    };
    // The archive is asked as the database is: spaced, with the program's identity.
    auto S = Service(TAutoTagService::kDefaultMinIntervalMs);
    S->SetCoverArtUrl(Server.BaseUrl() + "/");
    const TFrontCover Cover = FetchCover(*S, kRelease);
    EXPECT_EQ(Cover.Error, "");
    EXPECT_TRUE(Cover.Found());
    EXPECT_EQ(Cover.Data, Jpeg);
    EXPECT_EQ(Cover.Mime, "image/jpeg");
    ASSERT_EQ(Server.Requests.size(), 2);
    EXPECT_EQ(Server.Requests[0].Target, QByteArray("/release/") + kRelease);
    EXPECT_EQ(Server.Requests[0].Headers.value("accept"), "application/json");
    EXPECT_TRUE(Server.Requests[1].Target.endsWith("/release/6a76904c-0caf-34e1-8cc2-7d95e86a3824/30000000002-500.jpg"))
        << Server.Requests[1].Target.toStdString();
    for (const TServedRequest& R : Server.Requests)
        EXPECT_EQ(QString::fromUtf8(R.Headers.value("user-agent")), ApplicationUserAgent());
    EXPECT_GE(Server.Requests[1].ArrivedMs - Server.Requests[0].ArrivedMs, TAutoTagService::kDefaultMinIntervalMs - 10);
}

TEST_F(AutoTagServiceTest, FrontCoverCases) {
    const QByteArray Jpeg = TestPicture("JPEG"), Png = TestPicture("PNG");
    ASSERT_FALSE(Jpeg.isEmpty() || Png.isEmpty());
    const QString Base = Server.BaseUrl();
    const QByteArray TooLarge(TAutoTagService::kMaxCoverBytes + 1, '\xff');
    auto Only = [](const char* Key) {
        return [Key](QJsonObject& Front) {
            const QJsonObject Thumbnails = Front.value("thumbnails").toObject();
            Front.insert("thumbnails", QJsonObject{{Key, Thumbnails.value(Key)}});
        };
    };
    struct Row {
        const char* Case;
        QByteArray Listing;  // the answer to /release/<id>
        int ListingStatus;
        QByteArray Image;  // the answer to any other address
        int ImageStatus;
        const char* Asked;  // the end of the picture's address; "" when none is asked for
        bool Found;
        bool Missing;
        const char* Error;  // the start of the error
    };
    const QByteArray Gif =
        QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b");
    // A JPEG start whose markers are gone, and a PNG cut off in its data.
    const QByteArray BrokenJpeg = Jpeg.left(20) + QByteArray(400, '\0');
    const QByteArray CutPng = Png.left(Png.size() / 2);
    const Row Rows[] = {
        {"PNG picture", CoverListing(Base), 200, Png, 200, "30000000002-500.jpg", true, false, ""},
        // An older listing: only "small" and "large" (500 pixels).
        {"large only", ListingWith(Base, Only("large")), 200, Jpeg, 200, "30000000002-500.jpg", true, false, ""},
        {"250 only", ListingWith(Base, Only("250")), 200, Jpeg, 200, "", false, true, ""},
        {"front by type", ListingWith(Base, [](QJsonObject& F) { F.insert("front", false); }), 200, Jpeg, 200,
         "30000000002-500.jpg", true, false, ""},
        {"no front",
         ListingWith(Base,
                     [](QJsonObject& F) {
                         F.insert("front", false);
                         F.insert("types", QJsonArray{"Booklet"});
                     }),
         200, Jpeg, 200, "", false, true, ""},
        {"no pictures", R"({"images":[],"release":"x"})", 200, Jpeg, 200, "", false, true, ""},
        // The archive holds nothing of the release: no failure.
        {"listing 404", "", 404, Jpeg, 200, "", false, true, ""},
        {"picture 404", CoverListing(Base), 200, "", 404, "30000000002-500.jpg", false, true, ""},
        {"listing 503", "", 503, Jpeg, 200, "", false, false, "HTTP 503"},
        {"picture 500", CoverListing(Base), 200, "", 500, "30000000002-500.jpg", false, false, "HTTP 500"},
        {"listing not JSON", "<html>", 200, Jpeg, 200, "", false, false, "Invalid JSON response"},
        {"images not a list", R"({"images":{"front":true}})", 200, Jpeg, 200, "", false, false,
         "Unexpected answer from the Cover Art Archive."},
        {"thumbnail not text",
         ListingWith(Base,
                     [](QJsonObject& F) {
                         F.insert("thumbnails", QJsonObject{{"500", QJsonArray{}}});
                     }),
         200, Jpeg, 200, "", false, false, "Unexpected answer from the Cover Art Archive."},
        {"link of another scheme",
         ListingWith(Base,
                     [](QJsonObject& F) {
                         F.insert("thumbnails", QJsonObject{{"500", "file:///etc/passwd"}});
                     }),
         200, Jpeg, 200, "", false, false, "Unexpected answer from the Cover Art Archive."},
        // The picture is checked before use: JPEG or PNG, and it must decode.
        {"not a picture", CoverListing(Base), 200, "<html>busy</html>", 200, "30000000002-500.jpg", false, false,
         "The cover picture is not a JPEG or PNG image that can be read."},
        {"GIF picture", CoverListing(Base), 200, Gif, 200, "30000000002-500.jpg", false, false,
         "The cover picture is not a JPEG or PNG image that can be read."},
        {"damaged JPEG", CoverListing(Base), 200, BrokenJpeg, 200, "30000000002-500.jpg", false, false,
         "The cover picture is not a JPEG or PNG image that can be read."},
        {"cut-off PNG", CoverListing(Base), 200, CutPng, 200, "30000000002-500.jpg", false, false,
         "The cover picture is not a JPEG or PNG image that can be read."},
        {"too large", CoverListing(Base), 200, TooLarge, 200, "30000000002-500.jpg", false, false,
         "The answer is too large."},
    };
    for (const Row& R : Rows) {
        Server.Requests.clear();
        Server.Handler = [&R](const TServedRequest& Q) {
            TServedAnswer A = Ok(Q.Target == QByteArray("/release/") + kRelease ? R.Listing : R.Image);
            A.Status = Q.Target == QByteArray("/release/") + kRelease ? R.ListingStatus : R.ImageStatus;
            A.Reason = A.Status == 200 ? "OK" : "Failed";
            return A;
        };
        auto S = Service();
        S->SetCoverArtUrl(Base);
        const TFrontCover Cover = FetchCover(*S, kRelease);
        EXPECT_EQ(Cover.Found(), R.Found) << R.Case;
        EXPECT_EQ(Cover.Missing, R.Missing) << R.Case;
        EXPECT_TRUE(Cover.Error.isEmpty() ? *R.Error == 0 : Cover.Error.startsWith(QLatin1String(R.Error)))
            << R.Case << ": " << Cover.Error.toStdString();
        EXPECT_EQ(S->LastError(), Cover.Error) << R.Case;
        if (Cover.Found()) {
            EXPECT_EQ(Cover.Data, R.Image) << R.Case;
        }
        ASSERT_EQ(Server.Requests.size(), *R.Asked ? 2 : 1) << R.Case;
        if (*R.Asked) {
            EXPECT_TRUE(Server.Requests[1].Target.endsWith(R.Asked)) << R.Case;
        }
    }

    // An identifier of another form never reaches a request path.
    Server.Requests.clear();
    auto S = Service();
    S->SetCoverArtUrl(Base);
    EXPECT_FALSE(FetchCover(*S, "../../admin").Error.isEmpty());
    EXPECT_TRUE(Server.Requests.isEmpty());
}

TEST(AutoTagServiceTls, RoundOverTls) {
    testutil::TTempDir Dir;
    QString Cert, Key;
    if (!MakeTestCertificate(Dir.path(), Cert, Key)) GTEST_SKIP() << "openssl is not installed";
    TLocalHttpServer Server;
    ASSERT_TRUE(Server.ListenTls(Cert, Key));
    Server.Handler = [](const TServedRequest&) { return Ok(Fixture(kSearchFixture)); };
    ASSERT_TRUE(Server.BaseUrl().startsWith("https://127.0.0.1:"));

    // A certificate nobody vouches for is refused.
    {
        TAutoTagService S(Server.BaseUrl());
        S.SetMinIntervalMs(0);
        EXPECT_TRUE(Search(S, "AC/DC", "Back in Black", "").Candidates.isEmpty());
        EXPECT_FALSE(S.LastError().isEmpty());
        EXPECT_TRUE(Server.Requests.isEmpty());
    }
    TrustCertificate(Cert);
    TAutoTagService S(Server.BaseUrl());
    S.SetMinIntervalMs(0);
    const TAutoTagResult R = Search(S, "AC/DC", "Back in Black", "");
    ASSERT_EQ(R.Candidates.size(), 2) << S.LastError().toStdString();
    EXPECT_EQ(R.Candidates[0].Artist, "Howard Shore");
    ASSERT_EQ(Server.Requests.size(), 1);
    EXPECT_EQ(QString::fromUtf8(Server.Requests[0].Headers.value("user-agent")), ApplicationUserAgent());

    // The cover archive's listings name "http:" addresses; over HTTPS the
    // picture is asked for over HTTPS too (a plain request would never be
    // answered by this server).
    const QByteArray Jpeg = TestPicture("JPEG");
    const QString Plain = QStringLiteral("http://127.0.0.1:%1").arg(Server.Port());
    Server.Requests.clear();
    Server.Handler = [&](const TServedRequest& Q) {
        return Ok(Q.Target == QByteArray("/release/") + kRelease ? CoverListing(Plain) : Jpeg);
    };
    S.SetCoverArtUrl(Server.BaseUrl());
    const TFrontCover Cover = FetchCover(S, kRelease);
    EXPECT_TRUE(Cover.Found()) << Cover.Error.toStdString();
    EXPECT_EQ(Server.Requests.size(), 2);
}

}  // namespace
