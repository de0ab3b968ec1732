#pragma once
// "Get Video Information": probes every row of the main list that has no data yet, fills the
// entries, writes duration and estimated size into the rows, deletes the rows whose files can't
// be read and closes itself, leaving their names in ErroFileList and the reasons in
// ErroReasonList. Esc (or closing the window) stops the probing after the files being probed:
// the rows not probed yet are taken out of the list, the failures so far are kept.
//
// Threads: a pass (TCalFileInfo) looks every file up in the probe cache and hands the others to
// a pool of probing workers, one per processor (at most 8), each with a probe of its own. The
// workers only read the files and write the entries, which nobody else touches while the
// dialog is modal. The dialog collects what is new every 50 ms and changes the widgets (label,
// progress bar, rows) on the user-interface thread, rows strictly in list order, whatever order
// the workers finish in; a large batch is written a slice at a time.

#include <QDialog>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "tools/ProbeCache.h"

class QLabel;
class QProgressBar;
class QTreeWidget;
class TAVProbe;
class TFileListItem;
class ListFileInfo;

class TCalFileInfo : public QThread {
    Q_OBJECT
public:
    struct Row {
        TFileListItem* item;  // only touched on the user-interface thread
        ListFileInfo* entry;
        QString caption;
    };
    // `probe` is used by the first worker; the others make their own. An empty `cacheFile`
    // turns the probe cache off.
    TCalFileInfo(std::vector<Row> rows, TAVProbe* probe, int vBitRate, int aBitRate, int workers,
                 QString cacheFile);
    ~TCalFileInfo() override;

    struct Outcome {
        QStringList failed;   // names, each once, in list order
        QStringList reasons;  // one per name
        std::vector<TFileListItem*> failedRows;
        std::vector<TFileListItem*> unprobedRows;  // left when the probing was stopped
        int fromCache = 0;                         // rows filled from the probe cache
    };
    struct Probed {
        TFileListItem* item;
        QString duration;
        QString size;
    };
    // Everything new since the last call; user-interface thread.
    struct Delivery {
        int progress = 0;
        QString title;
        std::vector<Probed> probed;  // in list order
        bool finished = false;       // then `outcome` is filled and nothing more will come
        Outcome outcome;
    };
    Delivery Take();

    // Called on the pass's thread when it has finished.
    std::function<void()> OnFinished;

    // Stops after the files being probed; any thread.
    void Cancel() { cancel_ = true; }

    // One worker per processor, at most 8.
    static int DefaultWorkers();

protected:
    void run() override;

private:
    enum State : unsigned char { Pending, Done, Failed, Skipped, Unprobed };
    static constexpr int kNicer = 5;
    struct Job;
    class Queue;
    void probeJobs(Queue& queue, TAVProbe* probe);
    void settle(size_t row, State state, QString a = {}, QString b = {});

    std::vector<Row> rows_;
    TAVProbe* probe_;
    int vBitRate_;
    int aBitRate_;
    int workers_;
    QString cacheFile_;
    std::atomic<bool> cancel_{false};

    std::mutex mutex_;  // guards everything below
    std::vector<State> state_;
    std::vector<QString> textA_;  // probed: duration; failed: name
    std::vector<QString> textB_;  // probed: size; failed: reason
    int settled_ = 0;
    size_t delivered_ = 0;
    QString title_;
    bool titleChanged_ = false;
    bool finished_ = false;
    int fromCache_ = 0;
    std::vector<std::pair<TProbeCache::Key, TProbeCache::Facts>> toStore_;
};

class TCalFileInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCalFileInfoDlg(QWidget* parent = nullptr);
    ~TCalFileInfoDlg() override;

    // The probe used by the first worker (the transcoding component's).
    void SetProbe(TAVProbe* probe) { probe_ = probe; }
    // Runs after the pass, before the dialog closes (the main window clears the component's tasks).
    std::function<void()> OnPassDone;
    int VBitRate = 0;
    int ABitRate = 0;
    int Workers = 0;    // probing workers; 0: one per processor, at most 8
    QString CacheFile;  // the probe cache; empty: none
    // Remembers the list, sets the progress range and starts the pass.
    void SetUIAndFFTasks(QTreeWidget* list);
    // Closes at once when the pass already finished.
    int exec() override;

    QStringList ErroFileList;
    QStringList ErroReasonList;  // why each file of ErroFileList can't be read
    int UnprobedCount = 0;       // rows taken out because the probing was stopped
    int CachedCount = 0;         // rows filled from the probe cache
    QLabel* lbTitle;
    QProgressBar* ProgressBar;

    // Esc and the window's close button: stop the pass; the dialog closes when it has.
    void reject() override;

private:
    void deliver();
    void finished(const TCalFileInfo::Outcome& outcome);
    // A delivery still being written into the list, and how far.
    std::optional<TCalFileInfo::Delivery> backlog_;
    size_t backlogAt_ = 0;
    static constexpr int kSliceMs = 10;
    QTreeWidget* fileListView_ = nullptr;
    TAVProbe* probe_ = nullptr;
    std::unique_ptr<TCalFileInfo> worker_;
    QTimer batchTimer_;
    bool done_ = false;
};
