#pragma once
// The program's one HTTP client, on QNetworkAccessManager: GET with the caller's request
// headers, redirects up to a limit, a cookie jar kept for the client's lifetime, an optional
// HTTP proxy with user and password, the body into memory or streamed to a device, progress
// notifications (begin with the expected size, bytes received, end), cancel, and a stall
// time-out: a transfer fails when the server sends nothing for StallTimeoutMs.
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

class EHttpError : public std::runtime_error {
public:
    EHttpError(const QString& msg, bool cancelled = false)
        : std::runtime_error(msg.toStdString()), cancelled_(cancelled) {}
    bool Cancelled() const { return cancelled_; }

private:
    bool cancelled_;
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
    static constexpr int kDefaultStallTimeoutMs = 30000;
    static constexpr int kDefaultMaxRedirects = 20;

    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    // Request headers; empty ones are not sent.
    QString Accept;
    QString UserAgent;
    QString ContentType;
    int MaxRedirects = kDefaultMaxRedirects;
    int StallTimeoutMs = kDefaultStallTimeoutMs;

    void SetProxy(const THttpProxy& proxy);

    // Progress of the response body, called on the client's thread. Begin gets the size the
    // server announced (0 when it announced none); Work the bytes received so far; End once the
    // whole body arrived (not after a failure).
    std::function<void(qint64 expected)> OnWorkBegin;
    std::function<void(qint64 received)> OnWork;
    std::function<void()> OnWorkEnd;

    QByteArray Get(const QString& url);
    QString GetText(const QString& url);  // the body decoded as UTF-8
    // Writes the body to `out` as it arrives.
    void GetToFile(const QString& url, QIODevice& out);

    // Aborts the running request, or the next one when none runs. Any thread.
    void Cancel();
    bool IsCancelled() const { return cancelled_.load(); }

    QNetworkAccessManager* Manager() const { return manager_; }

private:
    void run(const QString& url, QIODevice* sink, QByteArray* body);
    QNetworkAccessManager* manager_;
    std::atomic<bool> cancelled_{false};
    QObject* running_ = nullptr;  // the reply in flight, aborted by Cancel()
};
