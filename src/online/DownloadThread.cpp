#include "online/DownloadThread.h"

#include <QSaveFile>
#include <cmath>

DownloadThread::DownloadThread(const QString& url, const QString& target, const THttpProxy& proxy,
                               QObject* parent)
    : QThread(parent), url_(url), target_(target), proxy_(proxy) {}

DownloadThread::~DownloadThread() {
    Stop();
    wait();
}

void DownloadThread::Stop() {
    QMutexLocker lock(&mutex_);
    stopped_ = true;
    if (client_) client_->Cancel();
}

void DownloadThread::run() {
    THttpClient http;
    http.ContentType = QStringLiteral("video/x-flv");
    http.SetProxy(proxy_);
    {
        QMutexLocker lock(&mutex_);
        if (stopped_) return;
        client_ = &http;
    }
    int shown = -1;
    http.OnWorkBegin = [this, &shown](qint64 expected) {
        MaxValue = expected;
        shown = 0;
        emit Progress(0);
    };
    http.OnWork = [this, &shown](qint64 received) {
        const qint64 max = MaxValue;
        const int percent = max > 0 ? static_cast<int>(std::lround(received * 100.0 / max)) : 0;
        if (percent == shown) return;  // one notification per percent
        shown = percent;
        emit Progress(percent);
    };

    QString failure;
    QSaveFile file(target_);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        failure = QStringLiteral("Cannot create %1: %2").arg(target_, file.errorString());
    } else {
        try {
            http.GetToFile(url_, file);
            if (!file.commit())
                failure = QStringLiteral("Cannot write %1: %2").arg(target_, file.errorString());
        } catch (const EHttpError& e) {
            file.cancelWriting();
            failure = QString::fromUtf8(e.what());
        }
    }
    {
        QMutexLocker lock(&mutex_);
        client_ = nullptr;
        if (stopped_) return;
    }
    if (failure.isEmpty())
        emit Finished();
    else
        emit Failed(failure);
}
