#include "online/PageAnalysis.h"

#include "app/CommEntity.h"
#include "online/YouTubePage.h"

namespace PageAnalysis {

void ConfigurePageClient(THttpClient& http, const THttpProxy& proxy) {
    http.Accept = QStringLiteral("text/html, */*");
    http.UserAgent = QStringLiteral("Mozilla/3.0 (compatible; Indy Library)");
    http.MaxRedirects = 20;
    http.MaxBodyBytes = YouTubePage::kMaxPageBytes;
    http.SetProxy(proxy);
}

void FetchVideoPage(THttpClient& http, const QString& url, ListFileInfo& entry) {
    const QByteArray body = http.Get(url);
    YouTubePage::Analyse(QString::fromUtf8(body), entry);
}

void CopyOnlineFields(const ListFileInfo& from, ListFileInfo& to) {
    to.YoutubeTitle = from.YoutubeTitle;
    to.YoutubeVideId = from.YoutubeVideId;
    to.YoutubeThumbnailUrl = from.YoutubeThumbnailUrl;
    to.YoutubeVideoUrl = from.YoutubeVideoUrl;
    to.YoutubeLength = from.YoutubeLength;
    to.YoutubeMp4Url = from.YoutubeMp4Url;
    to.YoutubeFlvUrl = from.YoutubeFlvUrl;
}

}  // namespace PageAnalysis

TPageAnalysis::TPageAnalysis(const QString& url, const THttpProxy& proxy, const ListFileInfo* start,
                             QObject* parent)
    : QThread(parent), url_(url), proxy_(proxy), found_(std::make_unique<ListFileInfo>()) {
    if (start) PageAnalysis::CopyOnlineFields(*start, *found_);
}

TPageAnalysis::~TPageAnalysis() {
    Cancel();
    wait();
}

void TPageAnalysis::Cancel() {
    cancelled_.store(true);
    QMutexLocker lock(&clientLock_);
    if (client_) client_->Cancel();
}

void TPageAnalysis::run() {
    THttpClient http;
    PageAnalysis::ConfigurePageClient(http, proxy_);
    http.OnWork = [this](qint64 n) { emit Received(n); };
    {
        QMutexLocker lock(&clientLock_);
        client_ = &http;
        if (cancelled_.load()) http.Cancel();
    }
    try {
        const QByteArray body = http.Get(url_);
        if (cancelled_.load()) throw EHttpError(QStringLiteral("Cancelled"), true);
        YouTubePage::Analyse(QString::fromUtf8(body), *found_);
    } catch (const YouTubePage::EPageRefused& e) {
        refused_ = true;
        error_ = QString::fromUtf8(e.what());
    } catch (const EHttpError& e) {
        refused_ = e.Refused();
        error_ = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        error_ = QString::fromUtf8(e.what());
    }
    QMutexLocker lock(&clientLock_);
    client_ = nullptr;
}
