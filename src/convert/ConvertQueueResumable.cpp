// The conversion queue's long files: each converted in pieces that survive a kill
// (TResumableConversion) on a worker thread of its own, one at a time, before the other files.
#include <QPointer>
#include <thread>

#include "app/Utils.h"
#include "convert/ConvertQueue.h"
#include "convert/ResumableConversion.h"
#include "engine/library/Dispatcher.h"
#include "engine/transcode/FFmpegTasks.h"
#include "settings/Lang.h"

// What the worker of a resumable file hands back to the user-interface thread.
struct TConvertQueue::ResumableOutcome {
    int row = -1;
    bool ok = false;
    bool locked = false;  // another process holds the file's working folder
    int reused = 0, encoded = 0;
    QString error;
    QString working;  // the output's working file, once the worker asked for it
};

void TConvertQueue::startResumable(const ResumableJob& job) {
    resumeTasks_ = std::make_unique<TFFmpegTasks>();
    resumeTasks_->SetProgressInterval(200);
    // One such file at a time: its pieces take every processor. (The count is part of the
    // pieces' settings, so it is the same as the command-line converter's.)
    const unsigned processors = Processors > 0 ? unsigned(Processors) : std::thread::hardware_concurrency();
    resumeTasks_->SetThreadCount(int(std::max(1u, processors)));
    resumeCancel_ = false;
    resumeRunning_ = true;
    resumeClock_.Start();
    if (paused_) resumeClock_.Pause();
    resumeBase_ = -1;
    auto outcome = std::make_shared<ResumableOutcome>();
    outcome->row = job.row;
    const QString finalPath = Rows[job.row].OutputFile;
    FFMPEGLog.Info(finalPath + QStringLiteral(": converting in pieces that survive a kill, in ") +
                   TResumableConversion::WorkFolderFor(finalPath));
    const QPointer<TConvertQueue> self(this);
    const int generation = generation_.load();
    TFFmpegTasks* tasks = resumeTasks_.get();
    resumeThread_ = std::thread([this, self, generation, job, finalPath, outcome, tasks] {
        TResumableConversion conversion(*tasks, job.in, job.out, job.start, job.end, true);
        conversion.Cancelled = [this] { return resumeCancel_.load(); };
        conversion.Paused = [this] { return paused_.load(); };
        conversion.KeepWhenCancelled = [this] { return KeepResumablePieces.load(); };
        const int row = job.row;
        conversion.Progress = [self, generation, row](double done) {
            GetDispatcher().post([self, generation, row, done] {
                if (self && generation == self->generation_.load()) self->resumableProgress(row, done);
            });
        };
        // The naming is left alone by the user-interface thread while this worker runs.
        outcome->ok = conversion.Run(
            finalPath,
            [this, outcome, finalPath](QString* error) {
                outcome->working = Naming.CreateWorkingFile(finalPath, error);
                return outcome->working;
            },
            &outcome->error);
        outcome->reused = conversion.Reused();
        outcome->encoded = conversion.Encoded();
        outcome->locked = conversion.LockedElsewhere();
        resumeRunning_ = false;
        GetDispatcher().post([self, generation, outcome] {
            if (self && generation == self->generation_.load()) self->resumableEnded(outcome);
        });
    });
}

void TConvertQueue::resumableProgress(int row, double done) {
    if (Result != 0 || row < 0 || row >= static_cast<int>(Rows.size())) return;
    Row& r = Rows[row];
    r.Percent = QString::number(PercentFor(int64_t(done * 10000), 10000));
    r.Icon = (r.Icon + 1) % 4;
    // Pieces an earlier run finished are counted at once: the rate is measured from the first
    // report after them.
    const int64_t elapsed = resumeClock_.Elapsed();
    if (resumeBase_ < 0 || elapsed < 300) {
        resumeBase_ = done;
        resumeBaseMs_ = elapsed;
    }
    resumeDone_ = done;
    const double gained = done - resumeBase_;
    r.RemainingMs = gained > 0.02 ? int64_t(double(elapsed - resumeBaseMs_) * (1.0 - done) / gained) : -1;
    if (RowChanged) RowChanged(row);
}

void TConvertQueue::resumableEnded(const std::shared_ptr<ResumableOutcome>& outcome) {
    if (resumeThread_.joinable()) resumeThread_.join();
    resumeTasks_.reset();
    if (Result != 0) return;
    const int row = outcome->row;
    Rows[row].PiecesReused = outcome->reused;
    Rows[row].RemainingMs = -1;
    if (outcome->ok) {
        Rows[row].WorkFile = outcome->working;
        if (finishRow(row))
            FFMPEGLog.Info(Rows[row].OutputFile +
                           QStringLiteral(": converted in pieces, %1 reused, %2 encoded")
                               .arg(outcome->reused)
                               .arg(outcome->encoded));
    } else {
        if (!outcome->working.isEmpty()) Naming.RemoveCreated(outcome->working);
        reportFailure(row, outcome->locked ? FormatText(GetLangText(QStringLiteral("ConvertResumeLocked")),
                                                        {Rows[row].OutputFile})
                                           : outcome->error);
    }
    startNextStage();
}

void TConvertQueue::stopResumable() {
    if (!resumeThread_.joinable()) return;
    resumeCancel_ = true;
    // The worker's conversion threads may be waiting for this thread (log lines sent to it).
    while (resumeRunning_.load()) {
        GetDispatcher().pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (resumeThread_.joinable()) resumeThread_.join();
    resumeTasks_.reset();
}

int64_t TConvertQueue::resumablePhaseRemainingMs() const {
    // While a long file converts in pieces, the rest of the run is expected at the pace the
    // machine converts it: media time per wall-clock time, whether one file has every processor
    // or several files share them.
    const ResumableJob& job = resumables_[nextResumable_ - 1];
    const int64_t left = Rows[job.row].RemainingMs;
    const double gained = resumeDone_ - resumeBase_;
    const int64_t spentMs = resumeClock_.Elapsed() - resumeBaseMs_;
    if (left < 0 || gained <= 0 || spentMs <= 0) return -1;
    const double rate = gained * double(job.end - job.start) / double(spentMs);  // media us per ms
    int64_t media = 0;
    for (size_t i = nextResumable_; i < resumables_.size(); ++i) media += resumables_[i].end - resumables_[i].start;
    for (int row : taskRows_) {
        const int64_t length = rowLength(row);
        if (length < 0) return -1;  // a length not known: no honest figure
        media += length;
    }
    return left + int64_t(double(media) / rate);
}
