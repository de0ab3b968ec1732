#pragma once
// One conversion run without its window: the run's records, one transcoding task per record
// (or the three-step merge into one file), progress and completion handling, pause, resume and
// cancel. The conversion window (TConvertDlg) and the command-line converter are two views on it.
//
// Long sources (ResumableFromUs) are converted resumably (TResumableConversion) before the
// other tasks, one at a time, each on a worker thread of this queue with a task component of its
// own; the other tasks are set up with the rest and start when the last long one has ended.
//
// Threads: everything here runs on the user-interface thread. The task component reports
// progress through the dispatcher on this thread and completions on short-lived threads of its
// own; completions are posted to this thread and handled in arrival order. Notices that arrive
// after a cancel, or after the merge pipeline moved to its next step, are dropped. The worker of
// a resumable file posts its progress and its end; while it runs, nothing on this thread uses
// the output naming, which the worker asks for the file's working name at its very end.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/AppLogger.h"
#include "convert/ConvertRecord.h"
#include "convert/OutputNaming.h"
#include "convert/RemainingTime.h"
#include "convert/RunClock.h"
#include "engine/transcode/FFmpegTypes.h"

class TCustomFFmpegTasks;
class TFFmpegTasks;
class ListFileInfo;

class TConvertQueue : public QObject {
    Q_OBJECT
public:
    // Row icons: 0-3 busy animation, 4 finished, 5 failed.
    enum { kIconFinished = 4, kIconFailed = 5 };
    enum class RowState { Waiting, Finished, Failed, Cancelled };
    struct Row {
        QString Caption;
        QString Duration;
        QString Percent = QStringLiteral("0");
        int Icon = 0;
        QString OutputFile;  // the task's final output path, when it writes a final output
        QString WorkFile;    // the hidden file the task writes until it has finished
        RowState State = RowState::Waiting;
        QString Error;             // why the row failed
        QString Note;              // a finished row's remark: its output is shorter than its source
        int64_t RemainingMs = -1;  // the task's estimated time left, -1 while unknown
        bool Resumable = false;    // converted in pieces that survive a kill
        int PiecesReused = -1;     // of a resumable row that ended: pieces an earlier run had finished
    };

    explicit TConvertQueue(QObject* parent = nullptr);
    ~TConvertQueue() override;

    // Takes the component for the run: progress every 200 ms, completions to this queue.
    void SetFFmpegTasks(TCustomFFmpegTasks* tasks);
    // Takes the records, builds the tasks (or the merge pipeline's first step) and starts the
    // component with `runWidth` tasks at a time (CPUCount). False when nothing could be queued.
    bool SetTaskData(std::vector<std::unique_ptr<ConvertRecord>> records, bool applyAll,
                     const QString& folder, bool merge, int runWidth);
    // Pauses and resumes the tasks; the time between counts for nothing in the estimates.
    void Pause();
    void Resume();
    // Stops the component, waits for its tasks and ends the run with Cancel (2).
    void Cancel();
    // Detaches from the component, stops it and removes its tasks; deletes a merge run's
    // temporary files. Called when the window closes.
    void Close();

    // Rows that end with a final output (a merge run's last step only).
    int OutputRowCount() const;
    int FinishedCount() const;
    // "name: reason" for every failed row, and the reasons the run could not be built.
    QStringList FailureLines() const;
    // "name: remark" for every finished row whose output came out short of its source.
    QStringList NoteLines() const;
    // The honest account of the run: every file converted, or how many of how many and which
    // failed; and which came out short.
    QString FinishText() const;
    // When an output is shorter than the length its source was listed (or clipped) with by more
    // than 5 % and more than 1 s, the source ended early or is damaged; the file still counts
    // as converted. The remark for it, empty when the lengths agree or one is unknown.
    static QString ShortOutputNote(int64_t outputUs, int64_t expectedUs);

    // Percentage shown for a progress report: rounded half to even, above 200 shown as 0,
    // 101 to 109 as 100; an unknown or zero total gives 0.
    static int PercentFor(int64_t current, int64_t total);
    // Estimated time left of the run (of the merge pipeline's current step), -1 while unknown.
    int64_t RunRemainingMs() const;

    // Run state.
    // The remembered overwrite answer a run starts with: 0 asks (the window); the command-line
    // converter starts with 9 (new names) or 10 (overwrite) and never asks.
    int InitialAnswer = 0;
    // Processors shared among the run's tasks as codec threads (0: this machine's).
    int Processors = 0;
    // Above 0: every task's codecs run this many threads, whatever else runs (--threads).
    int CodecThreads = 0;
    // Sources with pictures at least this long are converted resumably; 0: none. Not in a merge.
    int64_t ResumableFromUs = 0;
    // Set before a cancel when the program ends on a signal: a resumable file's finished pieces
    // stay in its working folder for the next start, as after a kill.
    std::atomic<bool> KeepResumablePieces{false};
    bool IsMergeOne = false;
    QString outputFolder;
    std::vector<std::unique_ptr<ConvertRecord>> DataFileList;
    bool finished = true;
    TOutputNaming Naming;  // its coverExitFileResult is the run's remembered answer
    QString MergeredTempFile;
    QString VideoMergerTemp;
    QString MergerTimer;
    int MergFlag = 0;
    bool Failed = false;
    int Result = 0;  // the run's modal result once it ended: 1 OK, 2 Cancel
    std::vector<Row> Rows;
    QString StepText;
    AppLogger FFMPEGLog;

    // Notifications for the view (user-interface thread).
    std::function<void()> RowsReset;
    std::function<void(int row)> RowChanged;
    std::function<void()> StepChanged;
    std::function<void(int result)> RunEnded;
    // Each finished or failed task: title, message, success (the main window's tray balloon).
    std::function<void(const QString&, const QString&, bool)> OnProgress;

    // The handlers, public for tests: what the component's events lead to.
    void FFmpegTasksProgress(const TProgressInfo& info);
    void FFTasksTerminate(const TTerminateInfo& info);

private:
    bool CreateNormalVideo();
    bool CreateFileToMpeg();
    bool CreateMergerTask();
    // Whether a merge source gives pictures (a sound file's cover picture does not count).
    static bool hasPictures(const ListFileInfo& entry);
    // Queues the intermediate of a sound-only source as a still black picture (at the size of
    // `pictures`, the first source with pictures) for as long as its sound plays.
    bool addWithBlackPicture(const ListFileInfo& pictures, const TInputOptions& sound, TOutputOptions& out,
                             QString* error);
    bool CreateMergerToTarget();
    void CleamFFMPEG();
    void moveOn();
    void endRun(int result, bool failed);
    int addRow(const QString& caption, const QString& duration);
    void failRow(int row, const QString& reason);
    // Compares a finished row's output with its source's length and notes a short one.
    void checkOutputLength(int row);
    bool queueTask(int row, TInputOptions& in, TOutputOptions& out);
    void markUnfinishedCancelled();
    void deleteMergeFiles();
    // Starts the component with `width` tasks at a time and the run's remaining-time estimate.
    void startRun(int width);
    // The resumable files first, then the component's tasks (or the run's end when it has none).
    void startNextStage();

    struct ResumableJob {
        int row = -1;
        TInputOptions in;
        TOutputOptions out;
        int64_t start = 0, end = 0;
    };
    struct ResumableOutcome;
    void startResumable(const ResumableJob& job);
    void resumableProgress(int row, double done);
    int64_t resumablePhaseRemainingMs() const;
    // The media length of a row's clip in microseconds, -1 when not known.
    int64_t rowLength(int row) const;
    void resumableEnded(const std::shared_ptr<ResumableOutcome>& outcome);
    // Stops a resumable file's worker and waits for it (its working folder is removed then).
    void stopResumable();
    bool finishRow(int row);
    void reportFailure(int row, const QString& reason);

    TCustomFFmpegTasks* tasks_ = nullptr;
    std::vector<int> taskRows_;  // task index -> row
    int runWidth_ = 1;
    // Increased on cancel and whenever the merge pipeline moves on: older notices are dropped.
    std::atomic<int> generation_{0};
    int64_t mergeTotal_ = 0;  // the joined file's length, microseconds
    TRemainingTime estimate_;
    TRunClock clock_;  // the run's time without its pauses
    QStringList setupErrors_;  // why a merge step could not be built
    QString blackPicture_;     // the still picture of sound-only merge sources

    std::vector<ResumableJob> resumables_;
    size_t nextResumable_ = 0;
    std::unique_ptr<TFFmpegTasks> resumeTasks_;  // the worker's own component
    std::thread resumeThread_;
    std::atomic<bool> resumeCancel_{false}, resumeRunning_{false};
    std::atomic<bool> paused_{false};  // the run is paused (asked by the worker too)
    TRunClock resumeClock_;            // the running resumable file's time without its pauses
    double resumeBase_ = -1;           // its share done when its rate started to be measured
    double resumeDone_ = 0;            // its share done at its last report
    int64_t resumeBaseMs_ = 0;
};
