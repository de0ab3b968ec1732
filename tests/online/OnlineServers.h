#pragma once
// Real servers for the online tests, on 127.0.0.1 only: the Python HTTP server beside this file
// (online_server.py) and tinyproxy with basic authentication. Each is started by its constructor
// with a bounded lifetime and stopped by its destructor.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TestHttpServer {
public:
    explicit TestHttpServer(int lifetimeSeconds = 120);
    ~TestHttpServer();
    bool ok() const { return port_ > 0; }
    quint16 port() const { return port_; }
    QString url(const QString& path) const;  // path begins with "/"
    QString docroot() const { return dir_.path(); }
    // Writes a file below the document root (folders are created).
    void put(const QString& relPath, const QByteArray& content) const;
    // The server's /stats: highest number of slow transfers at once, and the paths requested.
    int maxRunning() const;
    QStringList requests() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

class TinyProxy {
public:
    TinyProxy(const QString& user, const QString& password);
    ~TinyProxy();
    bool ok() const { return port_ > 0; }
    quint16 port() const { return port_; }
    QString error() const { return error_; }
    QString logText() const;  // tinyproxy's own log: the requests it forwarded
    // Turns the options store's proxy on, pointing at this proxy with the given credentials.
    void UseInOptions(const QString& user, const QString& password) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

// A minisign key pair made for one test (minisign -G without a password), and signatures by it.
class TestSigningKey {
public:
    TestSigningKey();
    bool ok() const { return !publicKey_.isEmpty(); }
    QString error() const { return error_; }
    QByteArray publicKeyText() const { return publicKey_; }  // the .pub file
    // The .minisig text of `content` signed with this key; empty on failure.
    QByteArray sign(const QByteArray& content) const;

private:
    QTemporaryDir dir_;
    QByteArray publicKey_;
    QString error_;
};

// A port on 127.0.0.1 on which nothing listens (a server that is down).
quint16 ClosedPort();
