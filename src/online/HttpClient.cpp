#include "online/HttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <deque>

#include "app/SafeFiles.h"
#include "settings/Options.h"

THttpProxy THttpProxy::FromOptions() {
    const TOptions& o = GetOptions();
    THttpProxy p;
    p.enabled = o.IsUseProxy == QLatin1String("yes");
    p.host = o.ProxyAddress;
    p.port = PortOf(o.ProxyPort);
    p.user = o.ProxyUserName;
    p.password = o.ProxyPwd;
    return p;
}

quint16 THttpProxy::PortOf(const QString& text) {
    bool ok = false;
    const uint n = text.trimmed().toUInt(&ok, 10);
    return ok && n > 0 && n <= 65535 ? static_cast<quint16>(n) : 80;
}

namespace {
bool isWebScheme(const QString& scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString megabytes(qint64 bytes) {
    return QString::number(bytes / 1048576.0, 'f', 1) + QStringLiteral(" MB");
}

// Bytes that arrived over the last `window` milliseconds, from samples taken as time goes on.
class TransferWindow {
public:
    explicit TransferWindow(int windowMs) : window_(windowMs) {
        clock_.start();
        samples_.push_back({0, 0});
    }
    // True when a whole window has passed with fewer than `minBytes` in it.
    bool Stalled(qint64 total, qint64 minBytes) {
        const qint64 now = clock_.elapsed();
        samples_.push_back({now, total});
        while (samples_.size() > 1 && samples_[1].ms <= now - window_)
            samples_.pop_front();
        return now >= window_ && total - samples_.front().bytes < minBytes;
    }

private:
    struct Sample {
        qint64 ms, bytes;
    };
    qint64 window_;
    QElapsedTimer clock_;
    std::deque<Sample> samples_;
};
}  // namespace

THttpClient::THttpClient(QObject* parent) : QObject(parent), manager_(new QNetworkAccessManager(this)) {
    manager_->setCookieJar(new QNetworkCookieJar(manager_));
    manager_->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

THttpClient::~THttpClient() = default;

void THttpClient::SetProxy(const THttpProxy& proxy) {
    if (proxy.enabled && !proxy.host.isEmpty())
        manager_->setProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host, proxy.port, proxy.user, proxy.password));
    else
        manager_->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

QByteArray THttpClient::Get(const QString& url) {
    QByteArray body;
    run(url, nullptr, &body, MaxBodyBytes, SmallRequestDeadlineMs);
    return body;
}

QString THttpClient::GetText(const QString& url) {
    return QString::fromUtf8(Get(url));
}

void THttpClient::GetToFile(const QString& url, QIODevice& out, qint64 maxBytes) {
    run(url, &out, nullptr, maxBytes, 0);
}

qint64 THttpClient::FileLimitFor(const QString& folder) {
    const qint64 free = SafeFiles::FreeBytes(folder);
    return free < 0 ? 0 : std::max<qint64>(0, free - kFreeSpaceMargin);
}

void THttpClient::Cancel() {
    cancelled_.store(true);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (auto* reply = qobject_cast<QNetworkReply*>(running_)) reply->abort();
        },
        Qt::QueuedConnection);
}

void THttpClient::run(const QString& url, QIODevice* sink, QByteArray* body, qint64 maxBytes, int deadlineMs) {
    QUrl address(url);
    if (!address.isValid() || !isWebScheme(address.scheme().toLower()) || address.host().isEmpty())
        throw EHttpError(QStringLiteral("Not an http:// or https:// address: %1").arg(url.left(200)));
    QElapsedTimer started;
    started.start();
    // Redirects are followed here, one request each, so every address is checked before it is
    // asked for: only web addresses, never from https:// down to http://, at most MaxRedirects.
    for (int redirects = 0;; ++redirects) {
        if (cancelled_.load()) throw EHttpError(QStringLiteral("Cancelled"), true);
        const qint64 left = deadlineMs > 0 ? deadlineMs - started.elapsed() : 0;
        if (deadlineMs > 0 && left <= 0)
            throw EHttpError(QStringLiteral("The server did not answer within %1 s").arg(deadlineMs / 1000.0));
        QUrl next;
        if (!request(address, sink, body, maxBytes, static_cast<int>(left), deadlineMs, &next)) return;
        const QString from = address.scheme().toLower();
        const QString to = next.scheme().toLower();
        if (!next.isValid() || !isWebScheme(to) || next.host().isEmpty())
            throw EHttpError(QStringLiteral("The server redirected to an address that is refused: %1")
                                 .arg(next.toString().left(200)),
                             false, true);
        if (from == QLatin1String("https") && to == QLatin1String("http"))
            throw EHttpError(QStringLiteral("The server redirected from https:// to http://, which is refused: %1")
                                 .arg(next.toString().left(200)),
                             false, true);
        if (redirects + 1 > MaxRedirects)
            throw EHttpError(QStringLiteral("More than %1 redirects").arg(MaxRedirects), false, true);
        address = next;
    }
}

bool THttpClient::request(const QUrl& address, QIODevice* sink, QByteArray* body, qint64 maxBytes, int leftMs,
                          int deadlineMs, QUrl* redirect) {
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (!Accept.isEmpty()) request.setRawHeader("Accept", Accept.toUtf8());
    if (!UserAgent.isEmpty()) request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent);
    if (!ContentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, ContentType);

    QNetworkReply* reply = manager_->get(request);
    running_ = reply;
    // The reply keeps at most this much unread, so a fast server can't fill the memory while
    // the body is written out.
    reply->setReadBufferSize(256 * 1024);
    QEventLoop loop;
    QTimer tick, deadline;
    deadline.setSingleShot(true);
    TransferWindow window(StallWindowMs);
    QString failure;       // why the transfer was stopped from here
    bool refused = false;  // ... because the answer failed a check
    bool begun = false;
    qint64 expected = 0;
    qint64 received = 0;
    auto statusOf = [reply] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };

    auto fail = [&](const QString& why) {
        if (failure.isEmpty()) failure = why;
        reply->abort();
    };
    auto refuse = [&](const QString& why) {
        if (failure.isEmpty()) refused = true;
        fail(why);
    };
    auto begin = [&] {
        if (begun) return;
        begun = true;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        expected = length.isValid() ? length.toLongLong() : 0;
        if (expected > maxBytes) {
            refuse(sink ? QStringLiteral("The file is %1, more than the %2 it may take").arg(megabytes(expected), megabytes(maxBytes))
                        : QStringLiteral("The server announced %1 bytes, more than the %2 allowed").arg(expected).arg(maxBytes));
            return;
        }
        if (OnWorkBegin) OnWorkBegin(expected);
    };
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const int status = statusOf();
        if (status >= 200 && status <= 299) begin();
    });
    qint64 discarded = 0;
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        const int status = statusOf();
        if (status < 200 || status > 299) {
            // The text of an error page or a redirect is not wanted; a little of it is read and dropped.
            discarded += reply->readAll().size();
            if (discarded > 64 * 1024) fail(QStringLiteral("HTTP status %1").arg(status));
            return;
        }
        begin();
        if (!failure.isEmpty()) return;
        const QByteArray data = reply->read(std::min<qint64>(reply->bytesAvailable(), maxBytes - received + 1));
        if (data.isEmpty()) return;
        if (received + data.size() > maxBytes) {
            refuse(sink ? QStringLiteral("The server sent more than the %1 the file may take").arg(megabytes(maxBytes))
                        : QStringLiteral("The server sent more than the %1 bytes allowed").arg(maxBytes));
            return;
        }
        if (sink) {
            if (sink->write(data) != data.size()) {
                fail(QStringLiteral("Cannot write the file: %1").arg(sink->errorString()));
                return;
            }
        } else {
            body->append(data);
        }
        received += data.size();
        if (OnWork) OnWork(received);
    });
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (window.Stalled(received + discarded, StallMinBytes))
            fail(QStringLiteral("The server sent less than %1 bytes in %2 s")
                     .arg(StallMinBytes)
                     .arg(StallWindowMs / 1000.0));
    });
    connect(&deadline, &QTimer::timeout, &loop,
            [&] { fail(QStringLiteral("The server did not answer within %1 s").arg(deadlineMs / 1000.0)); });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    tick.start(std::clamp(StallWindowMs / 10, 10, 1000));
    if (leftMs > 0) deadline.start(leftMs);
    if (!reply->isFinished()) loop.exec();
    tick.stop();
    deadline.stop();
    running_ = nullptr;

    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const int status = statusOf();
    const bool forwarded = reply->hasRawHeader("Via");
    const QByteArray location = reply->rawHeader("Location");
    reply->deleteLater();

    if (cancelled_.load()) throw EHttpError(QStringLiteral("Cancelled"), true);
    if (!failure.isEmpty()) throw EHttpError(failure, false, refused);
    const bool redirected = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (redirected && !location.isEmpty()) {
        *redirect = address.resolved(QUrl::fromEncoded(location.trimmed()));
        return true;
    }
    if (error != QNetworkReply::NoError) {
        const QNetworkProxy proxy = manager_->proxy();
        const bool throughProxy = proxy.type() == QNetworkProxy::HttpProxy;
        const QString proxyName = QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
        if (status == 407 || error == QNetworkReply::ProxyAuthenticationRequiredError)
            throw EHttpError(QStringLiteral("HTTP 407: the proxy %1 refused the user name or password").arg(proxyName));
        // Some proxies refuse wrong credentials with 401 instead of 407. An answer the proxy
        // passed on from the site carries its "Via" header; an answer of the proxy's own does
        // not. Through https the proxy only tunnels, so a 401 there is always the site's.
        if (status == 401 && throughProxy && !forwarded && address.scheme().toLower() == QLatin1String("http"))
            throw EHttpError(QStringLiteral("HTTP 401: the proxy %1 refused the user name or password").arg(proxyName));
        if (status == 401)
            throw EHttpError(QStringLiteral("HTTP 401: the site refused access (it asks for a user name and password)"));
        if (status > 0) throw EHttpError(QStringLiteral("HTTP %1: %2").arg(status).arg(errorText));
        throw EHttpError(errorText);
    }
    if (status < 200 || status > 299) throw EHttpError(QStringLiteral("HTTP status %1").arg(status));
    if (expected > 0 && received != expected)
        throw EHttpError(
            QStringLiteral("The connection ended after %1 of %2 bytes").arg(received).arg(expected));
    begin();
    if (OnWorkEnd) OnWorkEnd();
    return false;
}
