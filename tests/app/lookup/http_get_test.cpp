// The size limit of a GET: an answer that declares a length past it is
// refused before its body comes, one without a length is cut off while it
// arrives, and TruncateAtMax keeps the first bytes either way.
#include <QNetworkAccessManager>
#include <gtest/gtest.h>
#include <optional>

#include "app/lookup/http_get.h"
#include "tests/app/lookup/local_http_server.h"

using namespace lookuptest;

namespace {

struct Row {
    const char* Case;
    qsizetype Size;
    bool NoLength;
    bool Truncate;
    bool Answered;
    qsizetype Kept;
};

TEST(HttpGetTest, TheBodyNeverGrowsPastTheLimit) {
    constexpr qint64 kMax = 64 << 10;
    const Row Rows[] = {
        {"declared, over", 4 * kMax, false, false, false, 0},
        {"not declared, over", 4 * kMax, true, false, false, 0},
        {"declared, over, truncated", 4 * kMax, false, true, true, kMax},
        {"not declared, over, truncated", 4 * kMax, true, true, true, kMax},
        {"declared, at the limit", kMax, false, false, true, kMax},
        {"not declared, at the limit", kMax, true, false, true, kMax},
    };
    TLocalHttpServer Server;
    ASSERT_TRUE(Server.Listen());
    QNetworkAccessManager Http;
    for (const Row& R : Rows) {
        QByteArray Body(R.Size, 'x');
        for (qsizetype i = 0; i < Body.size(); i += 1000) Body[i] = char('a' + i / 1000 % 26);
        Server.Handler = [&](const TServedRequest&) {
            TServedAnswer A;
            A.Body = Body;
            A.NoLength = R.NoLength;
            // In blocks, so a body without a length arrives in pieces.
            A.BlockSize = 16 << 10;
            A.BlockDelayMs = 1;
            return A;
        };
        THttpGet Get(Http);
        std::optional<THttpAnswer> Got;
        QObject::connect(&Get, &THttpGet::Finished, [&Got](const THttpAnswer& A) { Got = A; });
        THttpGetOptions Options;
        Options.MaxBytes = kMax;
        Options.TruncateAtMax = R.Truncate;
        Get.Start(QNetworkRequest(QUrl(Server.BaseUrl() + "/big")), Options);
        ASSERT_TRUE(WaitUntil([&Got] { return Got.has_value(); }, 60000)) << R.Case;
        EXPECT_EQ(Got->Answered, R.Answered) << R.Case << ": " << Got->Error.toStdString();
        EXPECT_EQ(Got->Body, Body.left(R.Kept)) << R.Case;
        EXPECT_EQ(Got->Truncated, R.Truncate && R.Size > kMax) << R.Case;
        if (!R.Answered) {
            EXPECT_EQ(Got->Error.toStdString(), "The answer is too large.") << R.Case;
        }
    }
}

}  // namespace
