#pragma once
// One stream download of the download window on a worker thread of its own: GET the address
// with its own HTTP client into a temporary file beside the target, which takes the target's
// name only when the whole body arrived. Notifications are signals, received on the window's
// thread; nothing here touches widgets.

#include <QMutex>
#include <QString>
#include <QThread>
#include <atomic>

#include "online/HttpClient.h"

class DownloadThread : public QThread {
    Q_OBJECT
public:
    DownloadThread(const QString& url, const QString& target, const THttpProxy& proxy,
                   QObject* parent = nullptr);
    ~DownloadThread() override;  // stops the transfer and waits for the thread

    // Asks the transfer to stop; the thread then ends without Finished. Any thread.
    void Stop();

    // The size the server announced (0 when none), set when the transfer begins.
    std::atomic<qint64> MaxValue{0};

signals:
    void Progress(int percent);
    void Finished();
    void Failed(const QString& errorMsg);

protected:
    void run() override;

private:
    const QString url_;
    const QString target_;
    const THttpProxy proxy_;
    QMutex mutex_;
    THttpClient* client_ = nullptr;  // while run() transfers, under mutex_
    bool stopped_ = false;           // under mutex_
};
