// vanto-convert update and online, run as a script runs them, against the test server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include "OnlineServers.h"
#include "common/MediaFixtures.h"
#include "common/TestSandbox.h"
#include "settings/Options.h"

namespace {
struct CliRun {
    int status = -1;
    QString out, err;
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class OnlineCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok());
        ASSERT_TRUE(signer.ok()) << signer.error().toStdString();
        // The options the command reads: the hidden server addresses point at the test server.
        const QString options = sandbox.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
        QDir().mkpath(QFileInfo(options).absolutePath());
        QFile f(options);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("update_server=" + server.url("") + "\r\nvideo_site=" + server.url("") + "\r\n").toUtf8());
        f.close();
        product = TOptions().ProductID;
        package = QByteArray("!<arch>\n") + QByteArray(100 * 1024, 'p');
        server.put("newversion/version.txt", "99.0\n");
        publish(package, signer.sign(package));
        folder = sandbox.root() + "/packages";
        QDir().mkpath(folder);
    }
    void publish(const QByteArray& content, const QByteArray& signature) {
        server.put("download1/" + product + ".deb", content);
        server.put("download1/" + product + ".deb.sha256",
                   QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + "  x.deb\n");
        server.put("download1/" + product + ".deb.minisig", signature);
    }
    // Runs the command to its end; `during` runs once it has started.
    CliRun cli(const QStringList& args, const std::function<void(QProcess&)>& during = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTO_TEST_UPDATE_KEY", QString::fromUtf8(signer.publicKeyText()));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VANTO_PROGRAM_DIR "/vanto-convert-testseams"), args);
        CliRun r;
        if (!p.waitForStarted(10000)) return r;
        if (during) during(p);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QStringList entries() const { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System); }

    TestSandbox sandbox;
    TestHttpServer server{240};
    TestSigningKey signer;
    QString product, folder;
    QByteArray package;
};
}  // namespace

TEST_F(OnlineCliTest, UpdateKeepsOnlyAVerifiedPackageAndNeverFollowsALink) {
    CliRun r = cli({"update", "--check"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("offered   99.0 (newer)")) << r.out.toStdString();

    // A link planted at the package's name is left as it is; the package takes the next name.
    fixtures::WriteFile((sandbox.root() + "/mine.txt").toStdString(), "mine");
    ASSERT_EQ(symlink((sandbox.root() + "/mine.txt").toUtf8().constData(), (folder + "/" + product + ".deb").toUtf8().constData()), 0);
    r = cli({"update", "--download", folder});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QString kept = folder + "/" + product + "_(new_1).deb";
    EXPECT_EQ(r.out.split('\n').filter("verified").value(0), "verified  " + kept);
    EXPECT_EQ(readAll(kept), package);
    EXPECT_EQ(readAll(sandbox.root() + "/mine.txt"), "mine");
    EXPECT_TRUE(QFileInfo(folder + "/" + product + ".deb").isSymLink());

    TestSigningKey other;
    publish(package, other.sign(package));
    r = cli({"update", "--download", folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("could not be verified and was removed: The package is signed with another key"))
        << r.err.toStdString();
    EXPECT_EQ(entries().size(), 2);  // the link and the first package; nothing half-written

    server.put("newversion/version.txt", "<html>");
    r = cli({"update"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("The update server offers no version number")) << r.err.toStdString();
    EXPECT_EQ(cli({"update", "--bogus"}).status, 2);
}

TEST_F(OnlineCliTest, ATerminationSignalStopsAnUpdateDownloadAndLeavesNothing) {
    server.put("download1/" + product + ".deb", QByteArray(4 * 1024 * 1024, 'p'));
    // Everything from the update server comes slowly (the server's /slow/ paths, 256 KiB/s).
    const QString options = sandbox.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
    QFile f(options);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(("update_server=" + server.url("/slow") + "\r\n").toUtf8());
    f.close();
    QElapsedTimer t;
    const CliRun r = cli({"update", "--download", folder}, [&t](QProcess& p) {
        p.waitForReadyRead(10000);  // the versions are printed: the download runs
        QThread::msleep(500);
        t.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    });
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("stopped")) << r.err.toStdString();
    EXPECT_TRUE(entries().isEmpty()) << entries().join(' ').toStdString();
}

TEST_F(OnlineCliTest, OnlineReadsPagesDownloadsStreamsAndRefusesHostilePages) {
    const QString map = QUrl::toPercentEncoding("5|" + server.url("/files/clip.flv"));
    server.put("clip.flv", QByteArray(50000, 'f'));
    server.put("watch.html", QStringLiteral("<meta name=\"title\" content=\"Clip\">\nvar swfHTML = (isIE) ? \"<param "
                                            "name=\\\"flashvars\\\" value=\\\"video_id=clip1&length_seconds=7&"
                                            "fmt_url_map=%1\\\">\";\n")
                                 .arg(map)
                                 .toUtf8());
    server.put("evil.html", "var swfHTML = \"<param name=\\\"flashvars\\\" value=\\\"video_id=..%2F..%2Fx\\\">\";\n");
    CliRun r = cli({"online", "page", server.url("/files/watch.html")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("title     Clip\nid        clip1\nlength    7 s\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("flv       " + server.url("/files/clip.flv"))) << r.out.toStdString();

    r = cli({"online", "download", server.url("/files/watch.html"), server.url("/files/evil.html"), "--output-folder",
             folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("done     " + folder + "/clip1.flv")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("failed   " + server.url("/files/evil.html"))) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("the page could not be analysed: The page gives a video identifier that can't be used"))
        << r.err.toStdString();
    EXPECT_EQ(readAll(folder + "/clip1.flv"), QByteArray(50000, 'f'));
    EXPECT_EQ(entries(), QStringList{"clip1.flv"});

    // Through the proxy of the options.
    TinyProxy proxy("runner", "s3cret");
    ASSERT_TRUE(proxy.ok()) << proxy.error().toStdString();
    const QString options = sandbox.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
    TOptions o;
    o.LoadOptions(options);
    o.IsUseProxy = "yes";
    o.ProxyAddress = "127.0.0.1";
    o.ProxyPort = QString::number(proxy.port());
    o.ProxyUserName = "runner";
    o.ProxyPwd = "s3cret";
    o.SaveOptions(options);
    r = cli({"online", "page", server.url("/files/watch.html")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(proxy.logText().contains("/files/watch.html")) << proxy.logText().toStdString() << r.out.toStdString();

    r = cli({"online", "page", "http://elsewhere.example/watch"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("not an address on the video site")) << r.err.toStdString();
}
