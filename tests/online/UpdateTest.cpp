#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "LogCapture.h"
#include "OnlineServers.h"
#include "app/Utils.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "online/UpdateCheck.h"
#include "online/UpdateFrm.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLang();
        ASSERT_TRUE(server.ok());
        oldTmp = qgetenv("TMPDIR");
        tmp = sandbox.root() + "/tmp";
        QDir().mkpath(tmp);
        qputenv("TMPDIR", tmp.toUtf8());
        TOptions& o = GetOptions();
        o.UpdateServer = server.url("");
        o.Vesion = "2.1";
        package = QByteArray("!<arch>\n") + QByteArray(200 * 1024, 'p');
        server.put("download1/" + o.ProductID + ".deb", package);
    }
    void TearDown() override { qputenv("TMPDIR", oldTmp); }
    void publishChecksum(const QByteArray& content) {
        server.put("download1/" + GetOptions().ProductID + ".deb.sha256",
                   QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + "  package.deb\n");
    }
    int versionRequests() const { return server.requests().count("/newversion/version.txt"); }
    // Runs the update window for real when UpdateProgram shows it.
    void runWindow(std::function<void(TfrmUpdate*)> during = nullptr) {
        dialogs.dialogHandlers << [during](QDialog* d) {
            auto* dlg = qobject_cast<TfrmUpdate*>(d);
            if (during) QTimer::singleShot(300, dlg, [dlg, during] { during(dlg); });
            QTimer::singleShot(30000, dlg, [dlg] { dlg->done(99); });
            return dlg->exec();
        };
    }

    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TestHttpServer server;
    LogCapture capture{"update.test"};
    QByteArray oldTmp;
    QString tmp;
    QByteArray package;
};
}  // namespace

TEST(UpdateVersions, AreComparedAsDottedNumbers) {
    EXPECT_EQ(UpdateCheck::CompareVersions("2.1", "2.0"), 1);
    EXPECT_EQ(UpdateCheck::CompareVersions("2.1", "2.1"), 0);
    EXPECT_EQ(UpdateCheck::CompareVersions("10.0", "9.0"), 1);
    EXPECT_EQ(UpdateCheck::CompareVersions("2.1\r\n", "2.1"), 0);
    EXPECT_EQ(UpdateCheck::CompareVersions(" 2.1.0.0 ", "2.1"), 0);
    EXPECT_EQ(UpdateCheck::CompareVersions("1.0.0.9", "1.0.0.10"), -1);
    EXPECT_THROW(UpdateCheck::CompareVersions("<html>", "2.1"), std::runtime_error);
    EXPECT_THROW(UpdateCheck::CompareVersions("", "2.1"), std::runtime_error);
}

TEST_F(UpdateTest, TheVersionCheckAsksOnlyForANewerVersion) {
    TfrmUpdate dlg;
    dlg.DownloadLog = capture.log;
    server.put("newversion/version.txt", "2.1\n");
    EXPECT_FALSE(dlg.CheckRemotVersion(false));
    EXPECT_EQ(dialogs.calls.size(), 0);  // silent when automatic
    EXPECT_FALSE(dlg.CheckRemotVersion(true));
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("CheckUpdateInfo")});

    server.put("newversion/version.txt", "10.0\r\n");
    GetOptions().Vesion = "9.0";
    dialogs.answers = {7, 6};
    EXPECT_FALSE(dlg.CheckRemotVersion(false));
    EXPECT_TRUE(dlg.CheckRemotVersion(false));
    EXPECT_EQ(dialogs.texts("AskQuestion")[0], FormatText(GetLangText("DlgAskUpdate"), {"10.0"}));
    EXPECT_EQ(dialogs.calls.last().title, "Ask");
    EXPECT_EQ(UpdateCheck::ReadDate(GetOptions().LastUpdate), QDate::currentDate());
}

TEST_F(UpdateTest, AServerThatIsDownFailsTheMenuCheck) {
    GetOptions().UpdateServer = QString("http://127.0.0.1:%1").arg(ClosedPort());
    UpdateProgram(true, nullptr, capture.log);
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("lbUpdateFailed")});
    ASSERT_EQ(capture.lines().size(), 1);
    EXPECT_TRUE(capture.lines()[0].endsWith("," + UpdateCheck::VersionFileUrl()))
        << capture.lines()[0].toStdString();
    UpdateProgram(false, nullptr, capture.log);
    EXPECT_EQ(dialogs.count("ShowInfo"), 1);  // automatic: logged only
    EXPECT_EQ(capture.lines().size(), 2);
}

TEST_F(UpdateTest, TheAutomaticCheckRunsAfterSixDays) {
    server.put("newversion/version.txt", "2.1");
    TOptions& o = GetOptions();
    o.LastUpdate = UpdateCheck::DateText(QDate::currentDate().addDays(-6));
    AutoUpdateCheck(nullptr, capture.log);
    EXPECT_EQ(versionRequests(), 0);
    o.LastUpdate = UpdateCheck::DateText(QDate::currentDate().addDays(-7));
    AutoUpdateCheck(nullptr, capture.log);
    EXPECT_EQ(versionRequests(), 1);
    o.LastUpdate.clear();
    AutoUpdateCheck(nullptr, capture.log);
    EXPECT_EQ(versionRequests(), 2);
    EXPECT_EQ(dialogs.calls.size(), 0);
}

TEST_F(UpdateTest, ANewerPackageIsDownloadedVerifiedAndOpened) {
    server.put("newversion/version.txt", "2.2\n");
    publishChecksum(package);
    dialogs.answers = {6};
    runWindow();
    UpdateProgram(true, nullptr, capture.log);
    const QString file = tmp + "/" + GetOptions().ProductID + "_setup.deb";
    EXPECT_EQ(sandbox.platform.opened, QStringList{file});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), package);
    EXPECT_TRUE(GetOptions().LastUpdate.isEmpty());
    EXPECT_EQ(QDir(tmp).entryList(QDir::Files), QStringList{QFileInfo(file).fileName()});
}

TEST_F(UpdateTest, APackageWithoutAMatchingChecksumIsNotOpened) {
    server.put("newversion/version.txt", "3.0");
    dialogs.answers = {6, 6};
    runWindow();
    UpdateProgram(false, nullptr, capture.log);  // no checksum published
    publishChecksum("something else");
    runWindow();
    UpdateProgram(false, nullptr, capture.log);
    const QString notVerified = FormatText(GetLangText("UpdateNotVerified"), {tmp});
    EXPECT_EQ(dialogs.texts("ShowInfo"), (QStringList{notVerified, notVerified}));
    EXPECT_EQ(sandbox.platform.opened, (QStringList{tmp, tmp}));
}

TEST_F(UpdateTest, CancellingTheDownloadAsksAndLeavesNothing) {
    server.put("download1/" + GetOptions().ProductID + ".deb", QByteArray(4 * 1024 * 1024, 'p'));
    GetOptions().DownloadPage = server.url("/slow/download1/" + GetOptions().ProductID + ".deb?kbps=500");
    server.put("newversion/version.txt", "3.0");
    dialogs.answers = {6 /* update */, 7 /* keep downloading */, 6 /* cancel */};
    int progressSeen = 0;
    runWindow([&progressSeen](TfrmUpdate* dlg) {
        dlg->close();  // the frame's close button, answered No
        EXPECT_TRUE(dlg->isVisible());
        progressSeen = dlg->AFProgressBar->value();
        dlg->BtnCancel->click();
    });
    UpdateProgram(true, nullptr, capture.log);
    EXPECT_EQ(dialogs.texts("AskQuestion").mid(1),
              (QStringList{GetLangText("DlgCancelUpdate"), GetLangText("DlgCancelUpdate")}));
    EXPECT_GT(progressSeen, 0);
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
    EXPECT_TRUE(QDir(tmp).entryList(QDir::Files).isEmpty());
}

TEST_F(UpdateTest, AFailedPackageDownloadIsReportedAndOpensNothing) {
    server.put("newversion/version.txt", "3.0");
    GetOptions().DownloadPage = server.url("/files/no-such-package.deb");
    dialogs.answers = {6};
    runWindow();
    UpdateProgram(false, nullptr, capture.log);
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("lbUpdateFailed")});
    ASSERT_EQ(capture.lines().size(), 1);
    EXPECT_TRUE(capture.lines()[0].startsWith("HTTP 404")) << capture.lines()[0].toStdString();
    EXPECT_TRUE(capture.lines()[0].endsWith("," + GetOptions().DownloadPage));
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
    EXPECT_TRUE(QDir(tmp).entryList(QDir::Files).isEmpty());
}
