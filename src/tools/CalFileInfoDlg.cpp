#include "tools/CalFileInfoDlg.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <thread>

#include "app/DialogLook.h"
#include "app/FileListItem.h"
#include "app/Utils.h"
#include "engine/probe/AVProbe.h"
#include "settings/ReasonText.h"
#include "tools/EntryProbe.h"

struct TCalFileInfo::Job {
    size_t row;
    TProbeCache::Key key;
    bool keyed;
};

// The files left to probe, in list order; the workers take from the front.
class TCalFileInfo::Queue {
public:
    void Push(Job job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
    }
    void Close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }
    // False when the queue is closed and empty.
    bool Pop(Job& job) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
        if (jobs_.empty()) return false;
        job = std::move(jobs_.front());
        jobs_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    bool closed_ = false;
};

TCalFileInfo::TCalFileInfo(std::vector<Row> rows, TAVProbe* probe, int vBitRate, int aBitRate, int workers,
                           QString cacheFile)
    : rows_(std::move(rows)),
      probe_(probe),
      vBitRate_(vBitRate),
      aBitRate_(aBitRate),
      workers_(workers > 0 ? workers : DefaultWorkers()),
      cacheFile_(std::move(cacheFile)),
      state_(rows_.size(), Pending),
      textA_(rows_.size()),
      textB_(rows_.size()) {}

TCalFileInfo::~TCalFileInfo() {
    wait();
}

int TCalFileInfo::DefaultWorkers() {
    return std::clamp(QThread::idealThreadCount(), 1, 8);
}

void TCalFileInfo::settle(size_t row, State state, QString a, QString b) {
    std::lock_guard lock(mutex_);
    state_[row] = state;
    textA_[row] = std::move(a);
    textB_[row] = std::move(b);
    if (state != Unprobed) ++settled_;
}

void TCalFileInfo::probeJobs(Queue& queue, TAVProbe* probe) {
    std::unique_ptr<TAVProbe> own;
    if (!probe) {
        own = std::make_unique<TAVProbe>();
        probe = own.get();
    }
    Job job;
    while (queue.Pop(job)) {
        const Row& row = rows_[job.row];
        ListFileInfo* e = row.entry;
        if (cancel_) {
            settle(job.row, Unprobed);
            continue;
        }
        const QString name = QFileInfo(e->FileName).fileName();
        {
            std::lock_guard lock(mutex_);
            title_ = name;
            titleChanged_ = true;
        }
        try {
            ProbeOutcome probed;
            if (ProbeEntry(*probe, *e, &probed)) {
                if (job.keyed) {
                    std::lock_guard lock(mutex_);
                    toStore_.emplace_back(job.key, TProbeCache::FactsOf(*e));
                }
                // An audio-only source gives an audio-only output: the one estimate rule says so.
                settle(job.row, Done, FormatTime(e->FileDurTime), EntrySizeEstimate(*e, vBitRate_, aBitRate_));
            } else {
                // Failed files are named by their full path: two files of the same name in
                // different folders are two entries of the list.
                settle(job.row, Failed, e->FileName, probed.reason);
            }
        } catch (const std::exception& ex) {
            settle(job.row, Failed, e->FileName.isEmpty() ? row.caption : e->FileName,
                   ReasonText(QString::fromUtf8(ex.what())));
        }
        probe->CloseFile();
    }
}

void TCalFileInfo::run() {
    // The pass and its workers (which take this thread's priority) keep all processors busy for
    // a long list; running them a little nicer leaves the window thread its turn at once.
    const auto self = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, nice + kNicer));
    TProbeCache cache(cacheFile_);
    if (!cacheFile_.isEmpty()) cache.Open();
    Queue queue;
    std::vector<std::thread> pool;
    pool.reserve(workers_);
    for (int i = 0; i < workers_; ++i)
        pool.emplace_back([this, &queue, i] { probeJobs(queue, i == 0 ? probe_ : nullptr); });

    int hits = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        ListFileInfo* e = rows_[i].entry;
        if (!e || e->IsYutubeFile || e->HasData) {
            settle(i, Skipped);
            continue;
        }
        if (cancel_) {
            settle(i, Unprobed);
            continue;
        }
        Job job{i, {}, false};
        job.keyed = cache.IsOpen() && TProbeCache::KeyOf(e->FileName, job.key);
        TProbeCache::Facts facts;
        if (job.keyed && cache.Lookup(job.key, facts)) {
            TProbeCache::Apply(facts, *e);
            if (e->HasData) {
                ++hits;
                settle(i, Done, FormatTime(e->FileDurTime), EntrySizeEstimate(*e, vBitRate_, aBitRate_));
                continue;
            }
        }
        queue.Push(std::move(job));
    }
    queue.Close();
    for (std::thread& t : pool)
        t.join();
    cache.Store(toStore_);

    std::lock_guard lock(mutex_);
    fromCache_ = hits;
    finished_ = true;
    if (OnFinished) OnFinished();
}

TCalFileInfo::Delivery TCalFileInfo::Take() {
    Delivery d;
    std::lock_guard lock(mutex_);
    d.progress = settled_;
    if (titleChanged_) d.title = title_;
    titleChanged_ = false;
    for (; delivered_ < state_.size() && state_[delivered_] != Pending; ++delivered_)
        if (state_[delivered_] == Done)
            d.probed.push_back({rows_[delivered_].item, std::move(textA_[delivered_]), std::move(textB_[delivered_])});
    d.finished = finished_ && delivered_ == state_.size();
    if (!d.finished) return d;
    Outcome& out = d.outcome;
    out.fromCache = fromCache_;
    for (size_t i = 0; i < state_.size(); ++i) {
        if (state_[i] == Unprobed) out.unprobedRows.push_back(rows_[i].item);
        if (state_[i] != Failed) continue;
        out.failedRows.push_back(rows_[i].item);
        if (out.failed.contains(textA_[i])) continue;
        out.failed << textA_[i];
        out.reasons << textB_[i];
    }
    return d;
}

TCalFileInfoDlg::TCalFileInfoDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral("Get Video Information"));
    DialogLook::Apply(this, 327, 87);
    lbTitle = new QLabel(this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setGeometry(18, 16, 291, 18);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(18, 44, 291, 16);
    ProgressBar->setTextVisible(false);
    ProgressBar->setValue(0);
    DialogLook::CentreOverMainWindow(this);
    batchTimer_.setInterval(50);
    connect(&batchTimer_, &QTimer::timeout, this, &TCalFileInfoDlg::deliver);
}

TCalFileInfoDlg::~TCalFileInfoDlg() {
    if (worker_) worker_->Cancel();
    worker_.reset();  // waits for the pass
}

void TCalFileInfoDlg::SetUIAndFFTasks(QTreeWidget* list) {
    fileListView_ = list;
    const int count = list->topLevelItemCount();
    ProgressBar->setRange(0, count);
    std::vector<TCalFileInfo::Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto* item = dynamic_cast<TFileListItem*>(list->topLevelItem(i));
        if (item) rows.push_back({item, item->Entry(), item->text(TFileListItem::colName)});
    }
    worker_ = std::make_unique<TCalFileInfo>(std::move(rows), probe_, VBitRate, ABitRate, Workers, CacheFile);
    // The last batch goes out at once rather than at the next tick.
    worker_->OnFinished = [this] { QMetaObject::invokeMethod(this, &TCalFileInfoDlg::deliver, Qt::QueuedConnection); };
    batchTimer_.start();
    worker_->start();
}

void TCalFileInfoDlg::deliver() {
    if (done_ || !worker_) return;
    if (!backlog_) {
        backlog_ = worker_->Take();
        backlogAt_ = 0;
        ProgressBar->setValue(backlog_->progress);
        if (!backlog_->title.isEmpty()) lbTitle->setText(backlog_->title);
    }
    // Rows found in the probe cache come by the ten thousand: they are written a slice at a
    // time, the event loop running in between, with one repaint per slice.
    const std::vector<TCalFileInfo::Probed>& probed = backlog_->probed;
    if (backlogAt_ < probed.size()) {
        QElapsedTimer slice;
        slice.start();
        const bool updates = fileListView_->updatesEnabled();
        fileListView_->setUpdatesEnabled(false);
        while (backlogAt_ < probed.size()) {
            const TCalFileInfo::Probed& p = probed[backlogAt_++];
            p.item->setText(TFileListItem::colDuration, p.duration);
            p.item->setText(TFileListItem::colSize, p.size);
            if (backlogAt_ % 128 == 0 && slice.elapsed() >= kSliceMs) break;
        }
        fileListView_->setUpdatesEnabled(updates);
        if (backlogAt_ < probed.size()) {
            QMetaObject::invokeMethod(this, &TCalFileInfoDlg::deliver, Qt::QueuedConnection);
            return;
        }
    }
    const TCalFileInfo::Delivery d = std::move(*backlog_);
    backlog_.reset();
    if (d.finished) finished(d.outcome);
}

void TCalFileInfoDlg::finished(const TCalFileInfo::Outcome& outcome) {
    batchTimer_.stop();
    worker_->wait();
    std::vector<TFileListItem*> gone = outcome.failedRows;
    gone.insert(gone.end(), outcome.unprobedRows.begin(), outcome.unprobedRows.end());
    TFileListItem::RemoveRows(fileListView_, gone);
    ErroFileList = outcome.failed;
    ErroReasonList = outcome.reasons;
    UnprobedCount = static_cast<int>(outcome.unprobedRows.size());
    CachedCount = outcome.fromCache;
    if (OnPassDone) OnPassDone();
    done_ = true;
    if (isVisible()) done(mrOk);
}

void TCalFileInfoDlg::reject() {
    if (done_) {
        QDialog::reject();
        return;
    }
    if (worker_) worker_->Cancel();
}

int TCalFileInfoDlg::exec() {
    if (done_) return mrOk;
    return QDialog::exec();
}
