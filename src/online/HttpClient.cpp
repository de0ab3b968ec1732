#include "online/HttpClient.h"

#include <QEventLoop>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

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
    run(url, nullptr, &body);
    return body;
}

QString THttpClient::GetText(const QString& url) {
    return QString::fromUtf8(Get(url));
}

void THttpClient::GetToFile(const QString& url, QIODevice& out) {
    run(url, &out, nullptr);
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

void THttpClient::run(const QString& url, QIODevice* sink, QByteArray* body) {
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        address.host().isEmpty())
        throw EHttpError(QStringLiteral("Not an http:// or https:// address: %1").arg(url));
    if (cancelled_.load()) throw EHttpError(QStringLiteral("Cancelled"), true);

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (!Accept.isEmpty()) request.setRawHeader("Accept", Accept.toUtf8());
    if (!UserAgent.isEmpty()) request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent);
    if (!ContentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, ContentType);

    QNetworkReply* reply = manager_->get(request);
    running_ = reply;
    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);
    stall.setInterval(StallTimeoutMs);
    bool timedOut = false;
    bool begun = false;
    qint64 expected = 0;
    qint64 received = 0;
    QString writeError;

    auto begin = [&] {
        if (begun) return;
        begun = true;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        expected = length.isValid() ? length.toLongLong() : 0;
        if (OnWorkBegin) OnWorkBegin(expected);
    };
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        stall.start();
        begin();
        const QByteArray data = reply->readAll();
        if (data.isEmpty()) return;
        if (sink) {
            if (sink->write(data) != data.size()) {
                writeError = sink->errorString();
                reply->abort();
                return;
            }
        } else {
            body->append(data);
        }
        received += data.size();
        if (OnWork) OnWork(received);
    });
    connect(reply, &QNetworkReply::redirected, &stall, [&stall] { stall.start(); });
    connect(reply, &QNetworkReply::downloadProgress, &stall, [&stall] { stall.start(); });
    connect(&stall, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    stall.start();
    if (!reply->isFinished()) loop.exec();
    stall.stop();
    running_ = nullptr;

    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();

    if (cancelled_.load()) throw EHttpError(QStringLiteral("Cancelled"), true);
    if (timedOut)
        throw EHttpError(QStringLiteral("The server sent nothing for %1 s").arg(StallTimeoutMs / 1000.0));
    if (!writeError.isEmpty()) throw EHttpError(QStringLiteral("Cannot write the file: %1").arg(writeError));
    if (error == QNetworkReply::TooManyRedirectsError)
        throw EHttpError(QStringLiteral("More than %1 redirects").arg(MaxRedirects));
    if (error != QNetworkReply::NoError) {
        // Some proxies answer wrong credentials with 401 instead of 407.
        const QNetworkProxy proxy = manager_->proxy();
        if ((status == 401 || status == 407) && proxy.type() == QNetworkProxy::HttpProxy)
            throw EHttpError(QStringLiteral("HTTP %1: the proxy %2:%3 refused the user name or password")
                                 .arg(status)
                                 .arg(proxy.hostName())
                                 .arg(proxy.port()));
        if (error == QNetworkReply::ProxyAuthenticationRequiredError)
            throw EHttpError(
                QStringLiteral("The proxy refused the user name or password: %1").arg(errorText));
        if (status > 0) throw EHttpError(QStringLiteral("HTTP %1: %2").arg(status).arg(errorText));
        throw EHttpError(errorText);
    }
    if (status < 200 || status > 299) throw EHttpError(QStringLiteral("HTTP status %1").arg(status));
    if (expected > 0 && received != expected)
        throw EHttpError(
            QStringLiteral("The connection ended after %1 of %2 bytes").arg(received).arg(expected));
    begin();
    if (OnWorkEnd) OnWorkEnd();
}
