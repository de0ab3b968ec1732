#pragma once
// One file download on a worker thread of its own: GET the address with an HTTP client of the
// thread's own into a working file (see TWorkingFile), at most as many bytes as the working
// file's file system can take less a margin. Notifications are signals, received on the owner's
// thread; nothing here touches widgets. Exactly one of WorkEnd, Failed and Stopped ends every
// started download: WorkEnd leaves the finished working file for the owner to move into place
// (TakeFile), Failed and Stopped remove it.

#include <QMutex>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

#include "online/HttpClient.h"
#include "online/WorkingFile.h"

class DownloadThread : public QThread {
    Q_OBJECT
public:
    // `configure` sets the client's headers and proxy on the worker thread.
    DownloadThread(const QString& url, std::unique_ptr<TWorkingFile> file,
                   std::function<void(THttpClient&)> configure, QObject* parent = nullptr);
    ~DownloadThread() override;  // stops the transfer and waits for the thread

    // Asks the transfer to stop. Any thread.
    void Stop();
    const QString& Url() const { return url_; }
    // After WorkEnd: the finished working file (waits for the thread to end first).
    std::unique_ptr<TWorkingFile> TakeFile();

signals:
    void WorkBegin(qint64 expected);  // 0 when the server announced no size
    void Work(qint64 received);
    void WorkEnd();
    void Failed(const QString& errorMsg);
    void Stopped();

protected:
    void run() override;

private:
    const QString url_;
    std::unique_ptr<TWorkingFile> file_;
    const std::function<void(THttpClient&)> configure_;
    QMutex mutex_;
    THttpClient* client_ = nullptr;  // while run() transfers, under mutex_
    bool stopped_ = false;           // under mutex_
};
