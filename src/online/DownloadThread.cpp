#include "online/DownloadThread.h"

#include <QSaveFile>

DownloadThread::DownloadThread(const QString& url, const QString& target,
                               std::function<void(THttpClient&)> configure, QObject* parent)
    : QThread(parent), url_(url), target_(target), configure_(std::move(configure)) {}

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
    if (configure_) configure_(http);
    {
        QMutexLocker lock(&mutex_);
        if (stopped_) return;
        client_ = &http;
    }
    http.OnWorkBegin = [this](qint64 expected) { emit WorkBegin(expected); };
    http.OnWork = [this](qint64 received) { emit Work(received); };

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
        emit WorkEnd();
    else
        emit Failed(failure);
}
