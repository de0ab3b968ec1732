#include "OnlineServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include "online/HttpClient.h"
#include "settings/Options.h"

namespace {
QString serverScript() {
    return QStringLiteral(VANTO_SOURCE_DIR "/tests/online/online_server.py");
}

QJsonObject stats(const TestHttpServer& s) {
    THttpClient client;
    return QJsonDocument::fromJson(client.Get(s.url("/stats"))).object();
}
}  // namespace

quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

TestHttpServer::TestHttpServer(int lifetimeSeconds) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral("python3"),
                   {serverScript(), dir_.path(), QString::number(lifetimeSeconds)});
    if (!process_.waitForStarted(10000)) return;
    QDeadlineTimer deadline(10000);
    while (!process_.canReadLine() && !deadline.hasExpired())
        process_.waitForReadyRead(100);
    port_ = static_cast<quint16>(process_.readLine().trimmed().toUInt());
}

TestHttpServer::~TestHttpServer() {
    process_.closeWriteChannel();  // the server ends when its standard input closes
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString TestHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void TestHttpServer::put(const QString& relPath, const QByteArray& content) const {
    const QString path = dir_.path() + '/' + relPath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(content);
}

int TestHttpServer::maxRunning() const {
    return stats(*this).value("max_running").toInt();
}

QStringList TestHttpServer::requests() const {
    QStringList out;
    for (const QJsonValue& v : stats(*this).value("requests").toArray())
        out << v.toString();
    return out;
}

TinyProxy::TinyProxy(const QString& user, const QString& password) {
    const quint16 port = ClosedPort();
    const QString conf = dir_.path() + "/tinyproxy.conf";
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly)) {
        error_ = "cannot write " + conf;
        return;
    }
    f.write(QStringLiteral("Port %1\n"
                           "Listen 127.0.0.1\n"
                           "Timeout 60\n"
                           "MaxClients 20\n"
                           "Allow 127.0.0.1\n"
                           "BasicAuth %2 %3\n"
                           "LogLevel Info\n"
                           "LogFile \"%4/tinyproxy.log\"\n"
                           "PidFile \"%4/tinyproxy.pid\"\n")
                .arg(port)
                .arg(user, password, dir_.path())
                .toUtf8());
    f.close();
    // -d: stay in the foreground, so the process can be stopped by its id.
    process_.start(QStringLiteral("tinyproxy"), {"-d", "-c", conf});
    if (!process_.waitForStarted(5000)) {
        error_ = "tinyproxy did not start: " + process_.errorString();
        return;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200)) {
            port_ = port;
            return;
        }
        if (process_.state() == QProcess::NotRunning) break;
        QThread::msleep(50);
    }
    error_ = "tinyproxy is not listening: " + QString::fromUtf8(process_.readAllStandardError());
}

QString TinyProxy::logText() const {
    QFile f(dir_.path() + "/tinyproxy.log");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void TinyProxy::UseInOptions(const QString& user, const QString& password) const {
    TOptions& o = GetOptions();
    o.IsUseProxy = "yes";
    o.ProxyAddress = "127.0.0.1";
    o.ProxyPort = QString::number(port_);
    o.ProxyUserName = user;
    o.ProxyPwd = password;
}

TinyProxy::~TinyProxy() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

namespace {
bool runMinisign(const QStringList& args, QString* error) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("minisign"), args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished(3000);
        *error = "minisign " + args.join(' ') + ": " + p.errorString() + " " + QString::fromUtf8(p.readAll());
        return false;
    }
    return true;
}
}  // namespace

TestSigningKey::TestSigningKey() {
    const QString pub = dir_.path() + "/test.pub";
    if (!runMinisign({"-G", "-W", "-p", pub, "-s", dir_.path() + "/test.key"}, &error_)) return;
    QFile f(pub);
    if (f.open(QIODevice::ReadOnly)) publicKey_ = f.readAll();
}

QByteArray TestSigningKey::sign(const QByteArray& content) const {
    static int counter = 0;
    const QString file = dir_.path() + QStringLiteral("/signed-%1").arg(++counter);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) return {};
    f.close();
    QString error;
    if (!runMinisign({"-S", "-s", dir_.path() + "/test.key", "-m", file, "-x", file + ".minisig", "-t", "test release"},
                     &error))
        return {};
    QFile sig(file + ".minisig");
    return sig.open(QIODevice::ReadOnly) ? sig.readAll() : QByteArray();
}
