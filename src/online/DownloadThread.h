#pragma once
// One file download on a worker thread of its own: GET the address with an HTTP client of the
// thread's own into a temporary file beside the target, which takes the target's name only when
// the whole body arrived. Notifications are signals, received on the owner's thread; nothing
// here touches widgets. A stopped download ends without WorkEnd or Failed.

#include <QMutex>
#include <QString>
#include <QThread>
#include <functional>

#include "online/HttpClient.h"

class DownloadThread : public QThread {
    Q_OBJECT
public:
    // `configure` sets the client's headers and proxy on the worker thread.
    DownloadThread(const QString& url, const QString& target, std::function<void(THttpClient&)> configure,
                   QObject* parent = nullptr);
    ~DownloadThread() override;  // stops the transfer and waits for the thread

    // Asks the transfer to stop. Any thread.
    void Stop();
    const QString& Url() const { return url_; }

signals:
    void WorkBegin(qint64 expected);  // 0 when the server announced no size
    void Work(qint64 received);
    void WorkEnd();
    void Failed(const QString& errorMsg);

protected:
    void run() override;

private:
    const QString url_;
    const QString target_;
    const std::function<void(THttpClient&)> configure_;
    QMutex mutex_;
    THttpClient* client_ = nullptr;  // while run() transfers, under mutex_
    bool stopped_ = false;           // under mutex_
};
