// The online path against servers that try to harm the user: answers without end, trickling
// answers, redirects to other kinds of address, pages built to be expensive or to name files
// outside their folder, files planted or appearing where downloads go, and update packages that
// are not ours. Every case must end with a clear error, leave the user's files as they were and
// write nothing outside the download folder and the program's cache and settings.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeWidget>
#include <map>

#include "LogCapture.h"
#include "OnlineServers.h"
#include "app/CommEntity.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "online/DownloadFrm.h"
#include "online/HttpClient.h"
#include "online/PageAnalysis.h"
#include "online/UpdateCheck.h"
#include "online/UpdateFrm.h"
#include "online/UpdateSignature.h"
#include "online/WorkingFile.h"
#include "online/YouTubeFrm.h"
#include "online/YouTubePage.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file and link under `root`: for a link where it points, for a file a digest of it.
std::map<QString, QByteArray> snapshot(const QString& root) {
    std::map<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        out[path] = info.isSymLink() ? "link:" + info.symLinkTarget().toUtf8()
                                     : QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256);
    }
    return out;
}

// A page of the video site whose flash variables are `vars` (already percent-encoded).
QByteArray videoPage(const QString& vars) {
    return QStringLiteral(
               "<html><head><meta name=\"title\" content=\"A video\"></head><body><script>\n"
               "var swfHTML = (isIE) ? \"<object><param name=\\\"flashvars\\\" value=\\\"%1\\\"></param>"
               "</object>\" : \"<embed>\";\n</script></body></html>")
        .arg(vars)
        .toUtf8();
}

// A page on one line that makes the player-script expression try every one of its starts to the
// end of the line, where the last character it needs waits without the rest.
QByteArray backtrackingPage(int bytes) {
    QByteArray page = "<html><body>";
    while (page.size() < bytes)
        page += "var swfHTML=";
    return page + "\";";
}

class HostileServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new TestHttpServer(600); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        LoadLang();
        ASSERT_TRUE(server->ok());
        GetOptions().OutPutFolder = sandbox.root() + "/out";
        GetOptions().VideoSite = server->url("");
        folder = GetOptions().YouTubeDowloadPath();
        QDir().mkpath(folder);
        userFolder = sandbox.root() + "/user";
        QDir().mkpath(userFolder);
        fixtures::WriteFile((userFolder + "/precious.txt").toStdString(), "the user's own words");
        fixtures::WriteFile((userFolder + "/setup.deb").toStdString(), "the user's own package");
        before = snapshot(sandbox.root());
    }
    void TearDown() override {
        // Nothing the program did not make changed; new files only where the program keeps its own.
        const std::map<QString, QByteArray> after = snapshot(sandbox.root());
        const QStringList allowed = {folder, QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
                                     QFileInfo(TOptions::UserOptionsFilePath()).absolutePath()};
        auto inside = [&](const QString& path) {
            return std::any_of(allowed.begin(), allowed.end(),
                               [&](const QString& a) { return path.startsWith(QDir(a).path() + '/'); });
        };
        for (const auto& [path, digest] : before) {
            const auto now = after.find(path);
            EXPECT_TRUE(now != after.end()) << "removed: " << path.toStdString();
            if (now != after.end() && !inside(path)) {
                EXPECT_EQ(now->second, digest) << "changed: " << path.toStdString();
            }
        }
        for (const auto& [path, digest] : after)
            if (!before.count(path) && !planted.contains(path)) {
                EXPECT_TRUE(inside(path)) << "written outside its folder: " << path.toStdString();
            }
        for (const QString& path : planted)  // what the test planted is as it was planted
            EXPECT_EQ(after.count(path), 1u) << "planted and gone: " << path.toStdString();
        // The whole suite runs in one process: its peak stays far below what an endless body
        // would take if it were kept.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "peak KiB";
#endif
    }
    // A file or link the test itself puts where the program will write.
    void plant(const QString& path, const QString& linkTarget = QString(), const QByteArray& content = {}) {
        planted << path;
        if (linkTarget.isEmpty())
            fixtures::WriteFile(path.toStdString(), content.toStdString());
        else
            ASSERT_EQ(symlink(linkTarget.toUtf8().constData(), path.toUtf8().constData()), 0);
    }
    static QString failureOf(const std::function<void()>& request) {
        try {
            request();
        } catch (const EHttpError& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    }

    static TestHttpServer* server;
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    QString folder, userFolder;
    std::map<QString, QByteArray> before;
    QStringList planted;
};
TestHttpServer* HostileServerTest::server = nullptr;
}  // namespace

TEST_F(HostileServerTest, BodiesWithoutEndOrTricklingFailCleanly) {
    THttpClient http;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(failureOf([&] { http.Get(server->url("/endless")); }), "The server sent more than the 4194304 bytes allowed");

    QFile file(folder + "endless.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    planted << file.fileName();
    EXPECT_EQ(failureOf([&] { http.GetToFile(server->url("/endless"), file, 8 << 20); }),
              "The server sent more than the 8.0 MB the file may take");
    EXPECT_LE(file.size(), 8 << 20);

    // A body announced larger than its limit is refused before any of it is read.
    qint64 received = 0;
    http.OnWork = [&](qint64 n) { received = n; };
    EXPECT_EQ(failureOf([&] { http.GetToFile(server->url("/huge"), file, 64 << 20); }),
              "The file is 10240.0 MB, more than the 64.0 MB it may take");
    EXPECT_EQ(received, 0);
    EXPECT_LT(t.elapsed(), 20000);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("[ figures ] peak memory after the endless bodies: %ld MiB\n", usage.ru_maxrss / 1024);
    const qint64 limit = THttpClient::FileLimitFor(folder);
    EXPECT_GT(limit, 0);
    EXPECT_LT(limit, QStorageInfo(folder).bytesAvailable());

    // One byte now and then is a stall; a slow but steady body runs into the overall deadline.
    http.StallWindowMs = 2000;
    t.restart();
    EXPECT_EQ(failureOf([&] { http.GetToFile(server->url("/trickle?every=0.3"), file, 1 << 20); }),
              "The server sent less than 1024 bytes in 2 s");
    EXPECT_LT(t.elapsed(), 8000);
    http.SmallRequestDeadlineMs = 2000;
    t.restart();
    EXPECT_EQ(failureOf([&] { http.Get(server->url("/drip?kbps=8")); }), "The server did not answer within 2 s");
    EXPECT_LT(t.elapsed(), 8000);
}

TEST_F(HostileServerTest, RedirectsOnlyLeadToWebAddresses) {
    THttpClient http;
    EXPECT_EQ(failureOf([&] { http.Get(server->url("/loop/0")); }), "More than 20 redirects");
    for (const QString to : {"file:///etc/passwd", "ftp://127.0.0.1/x", "data:text/plain,hi"}) {
        const QString why = failureOf([&] { http.Get(server->url("/goto?to=" + QUrl::toPercentEncoding(to))); });
        EXPECT_TRUE(why.startsWith("The server redirected to an address that is refused")) << why.toStdString();
    }
    EXPECT_EQ(http.GetText(server->url("/goto?to=/redirect/1")), "arrived");
}

TEST_F(HostileServerTest, HostilePagesAreRefusedQuicklyWhileTheWindowPaints) {
    server->put("big.html", videoPage("video_id=ok") + QByteArray(5 << 20, ' '));
    server->put("backtrack.html", backtrackingPage(200 * 1024));

    QElapsedTimer t;
    t.start();
    ListFileInfo entry;
    EXPECT_THROW(YouTubePage::Analyse(QString::fromUtf8(backtrackingPage(200 * 1024)), entry),
                 YouTubePage::EPageRefused);
    const qint64 refusedAfterMs = t.elapsed();
    EXPECT_LT(refusedAfterMs, 1000);
    std::printf("[ figures ] a 200 KiB backtracking page is refused after %lld ms\n",
                static_cast<long long>(refusedAfterMs));

    // Through the window: the analysis runs beside it, so its timers keep firing.
    QStringList infos;
    for (const char* page : {"/files/backtrack.html", "/files/big.html"}) {
        dialogs.dialogHandlers << [page](QDialog* d) {
            auto* dlg = qobject_cast<TFrmYouTube*>(d);
            dlg->txtYoutubeUrl->setText(server->url(page));
            QElapsedTimer sinceTick;
            qint64 longestGap = 0;
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                longestGap = std::max(longestGap, sinceTick.restart());
            });
            sinceTick.start();
            ticker.start(20);
            dlg->btnGoClick();
            EXPECT_LT(longestGap, 300) << page;
            EXPECT_TRUE(dlg->TakeEntity()->YoutubeVideId.isEmpty()) << page;
            return 2;
        };
        TFrmYouTube dlg;
        MessageDialogs().ExecDialog(&dlg);
    }
    const QStringList shown = dialogs.texts("ShowInfo");
    ASSERT_EQ(shown.size(), 2);
    const QString prefix = FormatText(GetLangText("infoPageNotAnalysed"), {""});
    EXPECT_EQ(shown[0], prefix + "The page is built so that reading it would take too long");
    EXPECT_TRUE(shown[1].startsWith(prefix + "The server announced 52")) << shown[1].toStdString();
    EXPECT_TRUE(shown[1].endsWith("bytes, more than the 4194304 allowed")) << shown[1].toStdString();
}

TEST_F(HostileServerTest, IdentifiersThatCouldNameOtherFilesAreRefused) {
    for (const QString& id : QStringList{"../../../x", "a/b", "a%00b", QString(300, QChar('a')), "..", "a b"}) {
        ListFileInfo entry;
        try {
            YouTubePage::Analyse(QString::fromUtf8(videoPage("video_id=" + id + "&length_seconds=3")), entry);
            ADD_FAILURE() << "accepted " << id.toStdString();
        } catch (const YouTubePage::EPageRefused& e) {
            EXPECT_TRUE(QString(e.what()).startsWith("The page gives a video identifier that can't be used"))
                << e.what();
        }
        EXPECT_TRUE(entry.YoutubeVideId.isEmpty());
        EXPECT_TRUE(entry.YoutubeVideoUrl.isEmpty());
    }
    // The download window checks again: such a name never reaches the file system.
    TfrmDownload dlg;
    for (const QString& id : QStringList{"../../../x", "a/b", QString("a") + QChar(0) + "b", QString(300, QChar('a'))}) {
        QString refusal;
        EXPECT_TRUE(dlg.CheckOutputFile(id, ".flv", &refusal).isEmpty()) << id.toStdString();
        EXPECT_TRUE(refusal.contains("can't name a file")) << refusal.toStdString();
    }
    server->put("clip.flv", QByteArray(100000, 'v'));
    ListFileInfo bad;
    bad.IsYutubeFile = true;
    bad.YoutubeVideId = "../../escaped";
    bad.YoutubeTitle = "Bad";
    bad.YoutubeFlvUrl = server->url("/files/clip.flv");
    ASSERT_TRUE(dlg.SetDataList({&bad}));
    QTimer::singleShot(30000, &dlg, [&dlg] { dlg.done(99); });
    dlg.exec();
    EXPECT_EQ(dlg.RowImage(0), TfrmDownload::imgFailed);
    EXPECT_TRUE(dlg.ListViewConvertList->topLevelItem(0)->toolTip(0).contains("../../escaped"));
    EXPECT_TRUE(bad.IsYutubeFile);
}

TEST_F(HostileServerTest, DownloadsNeverGoThroughLinksNorReplaceWhatAppears) {
    const QByteArray video(600 * 1024, 'v');
    server->put("video.flv", video);
    plant(folder + "dangling.flv", userFolder + "/not-there-yet");
    plant(folder + "victim.flv", userFolder + "/precious.txt");
    auto entry = [&](const QString& id, const QString& path) {
        auto e = std::make_unique<ListFileInfo>();
        e->IsYutubeFile = true;
        e->YoutubeVideId = id;
        e->YoutubeTitle = id;
        e->YoutubeFlvUrl = server->url(path);
        return e;
    };
    auto dangling = entry("dangling", "/files/video.flv");
    auto victim = entry("victim", "/files/video.flv");
    auto appearing = entry("appearing", "/slow/video.flv?kbps=600");
    TfrmDownload dlg;
    ASSERT_TRUE(dlg.SetDataList({dangling.get(), victim.get(), appearing.get()}));
    QTimer::singleShot(300, &dlg, [&] { plant(folder + "appearing.flv", QString(), "arrived meanwhile"); });
    QTimer::singleShot(60000, &dlg, [&dlg] { dlg.done(99); });
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(dialogs.count("AskQuestion"), 0);  // a link is never a file to replace
    for (const auto* e : {dangling.get(), victim.get(), appearing.get()}) {
        EXPECT_EQ(e->FileName, folder + e->YoutubeVideId + "_(new_1).flv");
        EXPECT_EQ(readAll(e->FileName), video);
    }
    EXPECT_FALSE(QFileInfo::exists(userFolder + "/not-there-yet"));
    EXPECT_EQ(readAll(folder + "appearing.flv"), "arrived meanwhile");
    EXPECT_EQ(QDir(folder).entryList(QDir::Hidden | QDir::Files).filter(".vanto-part").size(), 0);
}

TEST_F(HostileServerTest, UpdatePackagesThatAreNotOursAreRemovedNeverOpened) {
    TestSigningKey ours, other;
    ASSERT_TRUE(ours.ok() && other.ok()) << ours.error().toStdString();
    UpdateSignature::TPublicKey key;
    ASSERT_TRUE(UpdateSignature::ParsePublicKey(ours.publicKeyText(), &key, nullptr));
    const TUpdateKeyForTests trust(key);
    LogCapture capture("hostile.update");
    TOptions& o = GetOptions();
    o.UpdateServer = server->url("");
    o.Vesion = "2.1";
    server->put("newversion/version.txt", "9.9\n");
    const QString base = "download1/" + o.ProductID + ".deb";
    const QByteArray package = QByteArray("!<arch>\n") + QByteArray(300 * 1024, 'p');
    const QByteArray sha = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    server->put(base, package);
    // The fixed name the package once had in the shared temporary folder, planted by someone else.
    const QString tmp = sandbox.root() + "/tmp";
    QDir().mkpath(tmp);
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.toUtf8());
    plant(tmp + "/" + o.ProductID + "_setup.deb", userFolder + "/setup.deb");

    struct Case {
        const char* what;
        QByteArray checksum, signature;
        const char* reason;
    };
    QByteArray lastDigitOff = sha;
    lastDigitOff[63] = lastDigitOff[63] == '0' ? '1' : '0';
    const std::vector<Case> cases = {
        {"no signature", sha, QByteArray(), "HTTP 404"},
        {"another key", sha, other.sign(package), "The package is signed with another key"},
        {"another file", sha, ours.sign(package + "x"), "The signature does not match the package"},
        {"checksum off by its last digit", lastDigitOff, ours.sign(package), "The SHA-256 checksum does not match"},
    };
    for (const Case& c : cases) {
        server->put(base + ".sha256", c.checksum + "  package.deb\n");
        if (c.signature.isEmpty())
            QFile::remove(server->docroot() + "/" + base + ".minisig");
        else
            server->put(base + ".minisig", c.signature);
        dialogs.answers = {6};
        dialogs.dialogHandlers << [](QDialog* d) {
            QTimer::singleShot(30000, d, [d] { d->done(99); });
            return d->exec();
        };
        UpdateProgram(true, nullptr, capture.log);
        const QStringList infos = dialogs.texts("ShowInfo");
        ASSERT_FALSE(infos.isEmpty()) << c.what;
        const QString prefix = FormatText(GetLangText("UpdateNotVerified"), {""});
        EXPECT_TRUE(infos.last().startsWith(prefix + c.reason)) << c.what << ": " << infos.last().toStdString();
        dialogs.calls.clear();
    }
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/" + GetAppFolderName();
    EXPECT_TRUE(QDir(cache).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    // The right one is opened from the private folder; the planted link is left alone.
    server->put(base + ".sha256", sha + "  package.deb\n");
    server->put(base + ".minisig", ours.sign(package));
    dialogs.answers = {6};
    dialogs.dialogHandlers << [](QDialog* d) { return d->exec(); };
    UpdateProgram(true, nullptr, capture.log);
    ASSERT_EQ(sandbox.platform.opened.size(), 1);
    EXPECT_TRUE(sandbox.platform.opened[0].startsWith(cache + "/update-"));
    EXPECT_EQ(readAll(sandbox.platform.opened[0]), package);
    qputenv("TMPDIR", oldTmp);
}
