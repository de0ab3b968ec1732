#pragma once
// Still pictures of list rows for the preview panel: a picture near the start of a file, decoded
// on a worker thread of its own and kept per row (by the row's serial number) in a cache bounded
// in bytes. Only the newest request waits: choosing rows faster than they decode skips the rows
// passed over.
//
// Threads: Request, Cached and the destructor run on the user-interface thread; Ready is raised
// there too. The worker never touches widgets.

#include <QCache>
#include <QImage>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class TStillPicture : public QObject {
    Q_OBJECT
public:
    explicit TStillPicture(QObject* parent = nullptr);
    ~TStillPicture() override;

    // The cached picture of row `serial`; a null image for a file without pictures; nullopt
    // when it has not been decoded yet.
    std::optional<QImage> Cached(quint64 serial) const;
    // Decodes the picture of `file` for row `serial` unless cached; Ready follows.
    void Request(quint64 serial, const QString& file);

    // Decodes the picture shown for `file`: at a tenth of the duration, at most 2 s in (the very
    // first pictures are often black), at its display shape. Null without pictures. Any thread.
    static QImage Decode(const QString& file);

signals:
    // The picture of row `serial` is in the cache (null for a file without pictures).
    void Ready(quint64 serial, const QImage& picture);

private:
    void Run();

    QCache<quint64, QImage> cache_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool quit_ = false;             // guarded by lock_
    quint64 pendingSerial_ = 0;     // guarded by lock_; 0: nothing waits
    QString pendingFile_;           // guarded by lock_
    std::thread worker_;
};
