#include "online/DownloadThread.h"

DownloadThread::DownloadThread(const QString& url, std::unique_ptr<TWorkingFile> file,
                               std::function<void(THttpClient&)> configure, QObject* parent)
    : QThread(parent), url_(url), file_(std::move(file)), configure_(std::move(configure)) {}

DownloadThread::~DownloadThread() {
    Stop();
    wait();
}

void DownloadThread::Stop() {
    QMutexLocker lock(&mutex_);
    stopped_ = true;
    if (client_) client_->Cancel();
}

std::unique_ptr<TWorkingFile> DownloadThread::TakeFile() {
    wait();
    return std::move(file_);
}

void DownloadThread::run() {
    THttpClient http;
    if (configure_) configure_(http);
    {
        QMutexLocker lock(&mutex_);
        client_ = &http;
        if (stopped_) http.Cancel();
    }
    http.OnWorkBegin = [this](qint64 expected) { emit WorkBegin(expected); };
    http.OnWork = [this](qint64 received) { emit Work(received); };

    QString failure;
    bool cancelled = false;
    try {
        http.GetToFile(url_, *file_, THttpClient::FileLimitFor(file_->Folder()));
        file_->Finish(&failure);
    } catch (const EHttpError& e) {
        cancelled = e.Cancelled();
        failure = QString::fromUtf8(e.what());
    }
    bool stopped = false;
    {
        QMutexLocker lock(&mutex_);
        client_ = nullptr;
        stopped = stopped_ || cancelled;
    }
    // A download stopped at its very end is still a stopped one: its file goes.
    if (stopped || !failure.isEmpty()) file_->Discard();
    if (stopped)
        emit Stopped();
    else if (!failure.isEmpty())
        emit Failed(failure);
    else
        emit WorkEnd();
}
