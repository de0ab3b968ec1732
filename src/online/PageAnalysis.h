#pragma once
// Fetching and reading a video page off the user-interface thread. TPageAnalysis runs the whole
// analysis (the page fetched with a client of its own, capped at the page size the analysis
// takes, then read) on a worker thread; the dialog waits for it while the window keeps painting
// and can cancel it. FetchVideoPage does the same on the calling thread, for the command-line
// program.

#include <QString>
#include <QMutex>
#include <QThread>
#include <atomic>
#include <memory>

#include "online/HttpClient.h"

class ListFileInfo;

namespace PageAnalysis {
// The request headers of the video site's pages.
void ConfigurePageClient(THttpClient& http, const THttpProxy& proxy);
// Fetches `url` and fills the online fields of `entry`. Raises EHttpError when the page can't be
// fetched, YouTubePage::EPageRefused when it can't be analysed.
void FetchVideoPage(THttpClient& http, const QString& url, ListFileInfo& entry);
// Copies the fields the analysis fills from `from` to `to`.
void CopyOnlineFields(const ListFileInfo& from, ListFileInfo& to);
}  // namespace PageAnalysis

class TPageAnalysis : public QThread {
    Q_OBJECT
public:
    // `start`: the online fields to begin with (fields the page lacks keep them); may be null.
    TPageAnalysis(const QString& url, const THttpProxy& proxy, const ListFileInfo* start = nullptr,
                  QObject* parent = nullptr);
    ~TPageAnalysis() override;  // cancels and waits

    // Any thread.
    void Cancel();

    // After the thread has finished: what was found (also after a failure: the fields found
    // before it), and the failure, empty when none.
    const ListFileInfo& Found() const { return *found_; }
    QString Error() const { return error_; }
    // The page, or the way the server sent it, was refused: it is not a failure to reach it.
    bool Refused() const { return refused_; }
    bool Cancelled() const { return cancelled_.load(); }

signals:
    void Received(qint64 bytes);  // page bytes received so far

protected:
    void run() override;

private:
    const QString url_;
    const THttpProxy proxy_;
    std::unique_ptr<ListFileInfo> found_;
    QString error_;
    bool refused_ = false;
    std::atomic<bool> cancelled_{false};
    QMutex clientLock_;  // between the worker setting client_ and Cancel() using it
    THttpClient* client_ = nullptr;
};
