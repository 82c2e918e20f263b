// The start-up update check against a local HTTPS server: what the version
// and changes pages give, the one deadline, the new-version dialog's buttons,
// and the download with progress and Abort.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "app/settings/network_settings.h"
#include "app/settings/update_check.h"
#include "tests/app/lookup/local_http_server.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace lookuptest;
using namespace update_check;

namespace {

TEST(UpdateVersionLine, Forms) {
    struct Row {
        QByteArray Page;
        bool Ok;
        int Latest, Lowest;
    };
    const Row Rows[] = {
        {"23/20", true, 23, 20},
        {"24/20\r\n", true, 24, 20},
        {"\xEF\xBB\xBF"
         "24/20\r\nmore text",
         true, 24, 20},
        {" 24 / 20 \n", true, 24, 20},
        {"24/24", true, 24, 24},
        {"24", false, 0, 0},
        {"2.4/2.0", false, 0, 0},
        {"24/25", false, 0, 0},  // the lowest allowed version above the latest one
        {"/20", false, 0, 0},
        {"24/", false, 0, 0},
        {"24/20/1", false, 0, 0},
        {"-24/20", false, 0, 0},
        {"", false, 0, 0},
        {"<html><body>Not Found</body></html>", false, 0, 0},
    };
    for (const Row& R : Rows) {
        int Latest = -1, Lowest = -1;
        EXPECT_EQ(ParseVersionLine(R.Page, Latest, Lowest), R.Ok) << R.Page.toStdString();
        if (R.Ok) {
            EXPECT_EQ(Latest, R.Latest);
            EXPECT_EQ(Lowest, R.Lowest);
        }
    }
    EXPECT_EQ(DisplayVersion(24), "2.4");
    EXPECT_EQ(DisplayVersion(30), "3.0");
    EXPECT_EQ(DisplayVersion(105), "10.5");
}

TEST(UpdateOffer, TextsForOptionalAndMandatoryUpdates) {
    TUpdateOffer Offer;
    EXPECT_FALSE(MakeOffer("23/20", "x", 23, Offer));
    EXPECT_FALSE(MakeOffer("22/20", "x", 23, Offer));
    ASSERT_TRUE(MakeOffer("24/20", "Faster scans\r\n\r\n  \nNew icons\n", 23, Offer));
    EXPECT_FALSE(Offer.Mandatory);
    EXPECT_EQ(Offer.Changes, QStringList({"Faster scans", "New icons"}));
    EXPECT_EQ(Offer.DialogText, "The new version 2.4 is available\r\n\r\nWhat's new:\r\nFaster scans\r\nNew icons\r\n");
    ASSERT_TRUE(MakeOffer("24/24", "Fix", 23, Offer));
    EXPECT_TRUE(Offer.Mandatory);
    EXPECT_EQ(Offer.DialogText,
              "This version of the software is out of date. You must download the current version "
              "2.4 to continue using the software.\r\n\r\nWhat's new:\r\nFix\r\n");
}

// A dialog that presses one button, or the close box.
class TPressingDialog : public INewVersionDialog {
public:
    enum TPress { prCancel, prCloseBox };
    TPress Press = prCancel;
    QString CancelCaption;
    int Shown = 0;
    void Execute(TNewVersionModel& Model) override {
        ++Shown;
        CancelCaption = Model.CancelCaption();
        if (Press == prCancel) {
            EXPECT_TRUE(Model.CancelPressed());
        }
        Model.Closing();
    }
};

class UpdateCheckTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<testutil::TTempDir> CertDir;
    static inline QString Cert, Key;
    TLocalHttpServer Server;
    QByteArray VersionPage = "24/20";
    QByteArray ChangesPage = "Faster scans\n\nNew icons\n";
    QByteArray Setup;
    int SetupBlockDelayMs = 0;
    windowtest::TScriptedUser User;
    windowtest::TRecordingShell Shell;

    static void SetUpTestSuite() {
        CertDir = std::make_unique<testutil::TTempDir>();
        if (MakeTestCertificate(CertDir->path(), Cert, Key)) TrustCertificate(Cert);
    }
    void SetUp() override {
        if (Cert.isEmpty()) GTEST_SKIP() << "openssl is not installed";
        ASSERT_TRUE(Server.ListenTls(Cert, Key));
        for (int i = 0; i < 300000; ++i) Setup.append(char('A' + i % 26));
        Server.Handler = [this](const TServedRequest& R) {
            TServedAnswer A;
            if (R.Target == kVersionPath) {
                A.Body = VersionPage;
            } else if (R.Target == kChangesPath) {
                A.Body = ChangesPage;
            } else if (R.Target == kSetupPath) {
                A.Body = Setup;
                A.BlockSize = 30000;
                A.BlockDelayMs = SetupBlockDelayMs;
            } else {
                A.Status = 404;
                A.Reason = "Not Found";
            }
            return A;
        };
    }
    bool Check(TUpdateOffer& Offer) { return RunCheck(Server.BaseUrl(), Offer); }
};

TEST_F(UpdateCheckTest, AnswersOfTheServer) {
    struct Row {
        QByteArray Version;
        bool Offered;
        bool Mandatory;
    };
    const Row Rows[] = {
        {"23/20", false, false},
        {"24/20", true, false},
        {"24/24", true, true},
        {"24/20\r\n", true, false},
        {"\xEF\xBB\xBF"
         "25/20",
         true, false},
        {"garbage\n", false, false},
        {"24", false, false},
        {"2.4/2.0", false, false},
        {"", false, false},
    };
    for (const Row& R : Rows) {
        VersionPage = R.Version;
        TUpdateOffer Offer;
        EXPECT_EQ(Check(Offer), R.Offered) << R.Version.toStdString();
        if (R.Offered) {
            EXPECT_EQ(Offer.Mandatory, R.Mandatory);
            EXPECT_EQ(Offer.Changes, QStringList({"Faster scans", "New icons"}));
        }
    }
    // The requests as sent.
    ASSERT_GE(Server.Requests.size(), 2);
    EXPECT_EQ(Server.Requests[0].Target, kVersionPath);
    EXPECT_EQ(Server.Requests[1].Target, kChangesPath);
}

TEST_F(UpdateCheckTest, PlainHttpIsNeverAsked) {
    TLocalHttpServer Plain;
    ASSERT_TRUE(Plain.Listen());
    Plain.Handler = Server.Handler;
    TUpdateOffer Offer;
    EXPECT_FALSE(RunCheck(Plain.BaseUrl(), Offer));
    EXPECT_FALSE(RunCheck(QString(), Offer));
    // Nor through a redirect from the secure server.
    const QByteArray PlainBase = Plain.BaseUrl().toUtf8();
    Server.Handler = [PlainBase](const TServedRequest& R) {
        TServedAnswer A;
        A.Status = 302;
        A.Reason = "Found";
        A.AddHeader("Location", PlainBase + R.Target);
        return A;
    };
    EXPECT_FALSE(RunCheck(Server.BaseUrl(), Offer));
    EXPECT_EQ(Server.Requests.size(), 1);
    WaitUntil([] { return false; }, 100);
    EXPECT_TRUE(Plain.Requests.isEmpty());
}

TEST_F(UpdateCheckTest, MissingPagesAndASilentServerFailWithinTheDeadline) {
    // A missing changes page: no dialog.
    Server.Handler = [this](const TServedRequest& R) {
        TServedAnswer A;
        if (R.Target == kVersionPath) {
            A.Body = VersionPage;
        } else {
            A.Status = 404;
            A.Reason = "Not Found";
        }
        return A;
    };
    TUpdateOffer Offer;
    EXPECT_FALSE(Check(Offer));

    // A server that takes its time: the whole check gives up at the deadline.
    Server.Handler = [](const TServedRequest&) {
        TServedAnswer A;
        A.Body = "24/20";
        A.DelayMs = 2000;
        return A;
    };
    QElapsedTimer Clock;
    Clock.start();
    EXPECT_FALSE(Check(Offer)) << "two pages of 2 s each do not fit into 3 s";
    EXPECT_GE(Clock.elapsed(), kDeadlineMs - 100);
    EXPECT_LT(Clock.elapsed(), kDeadlineMs + 1500);
}

TEST_F(UpdateCheckTest, TheChangesPageIsCapped) {
    ChangesPage.clear();
    for (int i = 0; i < 20000; ++i) ChangesPage += "Change number " + QByteArray::number(i) + "\n";
    ASSERT_GT(ChangesPage.size(), kMaxChangesPageBytes);
    TUpdateOffer Offer;
    ASSERT_TRUE(Check(Offer));
    EXPECT_GT(Offer.Changes.size(), 1000);
    EXPECT_LT(Offer.Changes.size(), 20000);
    EXPECT_EQ(Offer.Changes.first(), "Change number 0");
    // The cut line is dropped, not shown half.
    EXPECT_EQ(Offer.Changes.last(), "Change number " + QString::number(Offer.Changes.size() - 1));
    // Every line break became CR LF in the dialog text.
    EXPECT_LE(Offer.DialogText.toUtf8().size(), kMaxChangesPageBytes + Offer.Changes.size() + 1024);
}

TEST_F(UpdateCheckTest, StartUpGoesOnOrEndsAfterTheDialog) {
    struct Row {
        QByteArray Version;
        TPressingDialog::TPress Press;
        int Shown;
        const char* Caption;
        bool GoesOn;
    };
    const Row Rows[] = {
        {"23/20", TPressingDialog::prCancel, 0, "", true},
        {"24/20", TPressingDialog::prCancel, 1, "Skip", true},
        {"24/20", TPressingDialog::prCloseBox, 1, "Skip", true},
        {"24/24", TPressingDialog::prCancel, 1, "Exit", false},
        {"24/24", TPressingDialog::prCloseBox, 1, "Exit", false},
        {"x/y", TPressingDialog::prCancel, 0, "", true},
    };
    for (const Row& R : Rows) {
        VersionPage = R.Version;
        TPressingDialog Dialog;
        Dialog.Press = R.Press;
        EXPECT_EQ(RunStartupUpdateCheck(Server.BaseUrl(), Dialog, User, Shell), R.GoesOn) << R.Version.toStdString();
        EXPECT_EQ(Dialog.Shown, R.Shown);
        EXPECT_EQ(Dialog.CancelCaption, R.Caption);
    }
    EXPECT_TRUE(Shell.Opened.isEmpty());
    EXPECT_TRUE(Shell.Urls.isEmpty());
}

TEST_F(UpdateCheckTest, UpdateNowDownloadsIntoAPrivateFolderWithProgress) {
    SetupBlockDelayMs = 10;
    TUpdateOffer Offer;
    ASSERT_TRUE(Check(Offer));
    TNewVersionModel Model(Offer, Server.BaseUrl(), User, Shell);
    EXPECT_EQ(Model.Caption(), " Veltrano");
    EXPECT_EQ(Model.CancelCaption(), "Skip");
    EXPECT_FALSE(Model.ProgressVisible());
    QVector<int> Progress;
    bool Closed = false;
    QObject::connect(&Model, &TNewVersionModel::Changed, [&] { Progress.append(Model.ProgressValue()); });
    QObject::connect(&Model, &TNewVersionModel::CloseRequested, [&] { Closed = true; });

    Model.UpdateNowPressed();
    EXPECT_TRUE(Model.ExitFlag());
    EXPECT_EQ(Model.CancelCaption(), "Abort");
    EXPECT_FALSE(Model.UpdateEnabled());
    EXPECT_TRUE(Model.ProgressVisible());
    ASSERT_TRUE(WaitUntil([&] { return Closed; }));
    Model.Closing();
    EXPECT_FALSE(Model.ContinueValue()) << "the program ends after Update Now";

    EXPECT_TRUE(User.Errors.isEmpty()) << User.Errors.join("|").toStdString();
    ASSERT_EQ(Shell.Opened.size(), 1) << "the file goes to the desktop; we never run it";
    const QString File = Shell.Opened.first();
    EXPECT_EQ(File, Model.DownloadedFile());
    EXPECT_EQ(QFileInfo(File).fileName(), "qzm_update.exe");
    const QFileInfo Folder(QFileInfo(File).path());
    EXPECT_NE(Folder.absoluteFilePath(),
              QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation)).absolutePath());
    EXPECT_EQ(Folder.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther), 0);
    QFile Downloaded(File);
    ASSERT_TRUE(Downloaded.open(QIODevice::ReadOnly));
    EXPECT_EQ(Downloaded.readAll(), Setup);
    Downloaded.close();
    QDir(Folder.absoluteFilePath()).removeRecursively();
    // Progress grows to 100.
    ASSERT_GE(Progress.size(), 5);
    EXPECT_TRUE(std::is_sorted(Progress.begin(), Progress.end()));
    EXPECT_EQ(Progress.last(), 100);

    // A second start of the download uses a folder of its own.
    TNewVersionModel Again(Offer, Server.BaseUrl(), User, Shell);
    bool ClosedAgain = false;
    QObject::connect(&Again, &TNewVersionModel::CloseRequested, [&] { ClosedAgain = true; });
    Again.UpdateNowPressed();
    ASSERT_TRUE(WaitUntil([&] { return ClosedAgain; }));
    ASSERT_EQ(Shell.Opened.size(), 2);
    EXPECT_NE(Shell.Opened[1], File);
    QDir(QFileInfo(Shell.Opened[1]).path()).removeRecursively();
}

TEST_F(UpdateCheckTest, AbortDuringTheDownload) {
    SetupBlockDelayMs = 200;
    VersionPage = "24/24";
    TUpdateOffer Offer;
    ASSERT_TRUE(Check(Offer));
    TNewVersionModel Model(Offer, Server.BaseUrl(), User, Shell);
    EXPECT_EQ(Model.CancelCaption(), "Exit");
    bool Closed = false;
    QObject::connect(&Model, &TNewVersionModel::CloseRequested, [&] { Closed = true; });
    Model.UpdateNowPressed();
    ASSERT_TRUE(WaitUntil([&] { return Model.ProgressValue() > 0; }));
    EXPECT_FALSE(Model.CancelPressed()) << "Abort keeps the dialog open until the download has stopped";
    EXPECT_TRUE(Model.CancelRequested());
    ASSERT_TRUE(WaitUntil([&] { return Closed; }, 5000));
    Model.Closing();
    EXPECT_FALSE(Model.ContinueValue());
    EXPECT_EQ(User.Errors, QStringList({"Failed to download update. Please download manually on website.\r\n\r\n"
                                        "Download is cancelled. Please download manually."}));
    EXPECT_EQ(Shell.Urls, QStringList({WebSiteUrl()}));
    EXPECT_TRUE(Shell.Opened.isEmpty());
    EXPECT_LT(Model.ProgressValue(), 100);
}

TEST_F(UpdateCheckTest, AMissingSetupProgramIsReported) {
    TUpdateOffer Offer;
    ASSERT_TRUE(Check(Offer));
    TNewVersionModel Model(Offer, Server.BaseUrl() + "/nowhere", User, Shell);
    bool Closed = false;
    QObject::connect(&Model, &TNewVersionModel::CloseRequested, [&] { Closed = true; });
    Model.UpdateNowPressed();
    ASSERT_TRUE(WaitUntil([&] { return Closed; }));
    ASSERT_EQ(User.Errors.size(), 1);
    EXPECT_TRUE(User.Errors[0].endsWith("HTTP 404: Not Found")) << User.Errors[0].toStdString();
    EXPECT_EQ(Shell.Urls, QStringList({WebSiteUrl()}));
    EXPECT_TRUE(Shell.Opened.isEmpty());
}

}  // namespace
