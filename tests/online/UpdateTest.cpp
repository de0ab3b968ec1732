#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QStandardPaths>
#include <QPushButton>
#include <QTimer>

#include "LogCapture.h"
#include "OnlineServers.h"
#include "app/Utils.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "app/MainFrm.h"
#include "app/TerminationSignals.h"
#include "online/UpdateCheck.h"
#include "online/UpdateFrm.h"
#include "online/UpdateSignature.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toUtf8().constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
}

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
        ASSERT_TRUE(signer.ok()) << signer.error().toStdString();
        UpdateSignature::TPublicKey key;
        ASSERT_TRUE(UpdateSignature::ParsePublicKey(signer.publicKeyText(), &key, nullptr));
        testKey = std::make_unique<TUpdateKeyForTests>(key);
    }
    void TearDown() override { qputenv("TMPDIR", oldTmp); }
    // The checksum and signature a release publishes beside its package.
    void publish(const QByteArray& content) {
        server.put("download1/" + GetOptions().ProductID + ".deb.sha256",
                   QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + "  package.deb\n");
        server.put("download1/" + GetOptions().ProductID + ".deb.minisig", signer.sign(content));
    }
    // The folder under which update packages are kept, and the package folders in it.
    static QString cacheRoot() {
        return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/" + GetAppFolderName();
    }
    static QStringList packageFolders() { return QDir(cacheRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
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
    TestSigningKey signer;
    std::unique_ptr<TUpdateKeyForTests> testKey;
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

TEST_F(UpdateTest, ANewerPackageIsDownloadedIntoAPrivateFolderVerifiedAndOpened) {
    server.put("newversion/version.txt", "2.2\n");
    publish(package);
    dialogs.answers = {6};
    runWindow();
    UpdateProgram(true, nullptr, capture.log);
    ASSERT_EQ(packageFolders().size(), 1);
    const QString folder = cacheRoot() + "/" + packageFolders()[0];
    const QString file = folder + "/" + GetOptions().ProductID + ".deb";
    EXPECT_EQ(sandbox.platform.opened, QStringList{file});
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file), 0400u);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), package);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(file).fileName()});
    EXPECT_TRUE(GetOptions().LastUpdate.isEmpty());
    EXPECT_TRUE(QDir(tmp).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
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
    EXPECT_TRUE(packageFolders().isEmpty());
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
    EXPECT_TRUE(packageFolders().isEmpty());
}

TEST_F(UpdateTest, ATerminationSignalDuringTheDownloadStopsItWithoutAQuestion) {
    server.put("download1/" + GetOptions().ProductID + ".deb", QByteArray(4 * 1024 * 1024, 'p'));
    GetOptions().DownloadPage = server.url("/slow/download1/" + GetOptions().ProductID + ".deb?kbps=300");
    server.put("newversion/version.txt", "3.0");
    GetOptions().LastUpdate = UpdateCheck::DateText(QDate::currentDate());  // no check of its own
    TfrmMain w;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &w, &TfrmMain::TerminateBySignal);
    dialogs.answers = {6 /* update */};
    int progressSeen = 0;
    runWindow([&progressSeen](TfrmUpdate* dlg) {
        progressSeen = dlg->AFProgressBar->value();
        ::kill(::getpid(), SIGTERM);
    });
    QElapsedTimer t;
    t.start();
    w.UpdateProgram(true);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_GT(progressSeen, 0);
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);  // only whether to update
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
    EXPECT_TRUE(packageFolders().isEmpty());
}
