#pragma once
// The program's one HTTP client, on QNetworkAccessManager: GET with the caller's request
// headers, redirects up to a limit, a cookie jar kept for the client's lifetime, an optional
// HTTP proxy with user and password, the body into memory or streamed to a device, progress
// notifications (begin with the expected size, bytes received, end), and cancel.
//
// Every server is treated as hostile until its answer has been checked:
// - a body kept in memory may hold at most MaxBodyBytes (4 MiB); a body streamed to a file at most
//   the limit its caller gives (the free space of the target's file system, less a margin), and
//   a body announced larger than its limit is refused before a byte is read;
// - a request for a body in memory ends after SmallRequestDeadlineMs (60 s) whatever comes;
// - a transfer fails when fewer than StallMinBytes (1 KiB) arrived in the last StallWindowMs
//   (30 s), so a server that sends a byte now and then fails as one that sends nothing;
// - a redirect may only lead to http:// or https:// (never from https:// back to http://).
//
// A client belongs to the thread that creates it and blocks that thread in a local event loop
// while a request runs (on the user-interface thread the window keeps painting). Only Cancel()
// may be called from other threads. Failures are raised as EHttpError.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <stdexcept>

class QIODevice;
class QNetworkAccessManager;
class QUrl;

class EHttpError : public std::runtime_error {
public:
    EHttpError(const QString& msg, bool cancelled = false, bool refused = false)
        : std::runtime_error(msg.toStdString()), cancelled_(cancelled), refused_(refused) {}
    bool Cancelled() const { return cancelled_; }
    // The server answered, but the answer failed a check: too large, or a refused redirect.
    bool Refused() const { return refused_; }

private:
    bool cancelled_;
    bool refused_;
};

// The proxy that requests go through; disabled means a direct connection.
struct THttpProxy {
    bool enabled = false;
    QString host;
    quint16 port = 80;
    QString user;
    QString password;
    // From the options store: on exactly when "use_proxy" is "yes"; the port read as a decimal
    // number, 80 when it is not one.
    static THttpProxy FromOptions();
    static quint16 PortOf(const QString& text);
};

class THttpClient : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kSmallBodyCap = 4 * 1024 * 1024;
    static constexpr int kSmallRequestDeadlineMs = 60000;
    static constexpr int kStallWindowMs = 30000;
    static constexpr qint64 kStallMinBytes = 1024;
    static constexpr int kDefaultMaxRedirects = 20;
    // Left free on a file system a download writes to.
    static constexpr qint64 kFreeSpaceMargin = 256 * 1024 * 1024;

    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    // Request headers; empty ones are not sent.
    QString Accept;
    QString UserAgent;
    QString ContentType;
    int MaxRedirects = kDefaultMaxRedirects;
    qint64 MaxBodyBytes = kSmallBodyCap;
    int SmallRequestDeadlineMs = kSmallRequestDeadlineMs;
    int StallWindowMs = kStallWindowMs;
    qint64 StallMinBytes = kStallMinBytes;

    void SetProxy(const THttpProxy& proxy);

    // Progress of the response body, called on the client's thread. Begin gets the size the
    // server announced (0 when it announced none); Work the bytes received so far; End once the
    // whole body arrived (not after a failure).
    std::function<void(qint64 expected)> OnWorkBegin;
    std::function<void(qint64 received)> OnWork;
    std::function<void()> OnWorkEnd;

    // The body in memory (at most MaxBodyBytes, within SmallRequestDeadlineMs).
    QByteArray Get(const QString& url);
    QString GetText(const QString& url);  // the body decoded as UTF-8
    // Writes the body to `out` as it arrives; at most `maxBytes` of it.
    void GetToFile(const QString& url, QIODevice& out, qint64 maxBytes);

    // The most a download into `folder` may write: its file system's free space less the margin.
    static qint64 FileLimitFor(const QString& folder);

    // Aborts the running request, or the next one when none runs. Any thread.
    void Cancel();
    bool IsCancelled() const { return cancelled_.load(); }

    QNetworkAccessManager* Manager() const { return manager_; }

private:
    void run(const QString& url, QIODevice* sink, QByteArray* body, qint64 maxBytes, int deadlineMs);
    // One request; true with `redirect` set when the answer is a redirect (not yet checked).
    bool request(const QUrl& address, QIODevice* sink, QByteArray* body, qint64 maxBytes, int leftMs, int deadlineMs,
                 QUrl* redirect);
    QNetworkAccessManager* manager_;
    std::atomic<bool> cancelled_{false};
    QObject* running_ = nullptr;  // the reply in flight, aborted by Cancel()
};
