#pragma once
// "Get Video Information": probes every row of the main list that has no data yet on a worker
// thread, fills the entries, writes duration and estimated size into the rows, deletes the rows
// whose files can't be read and closes itself, leaving their names in ErroFileList and the
// reasons in ErroReasonList. Esc (or closing the window) stops the probing after the current
// file: the rows not probed yet are taken out of the list, the failures so far are kept.
//
// Threads: the worker (TCalFileInfo) only reads the files and writes the entries, which nobody
// else touches while the dialog is modal; every change to widgets (label, progress bar, rows,
// closing) is posted to the user-interface thread in the worker's order.

#include <QDialog>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <vector>

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
    // Posts every widget change to `ui` (the dialog), in order.
    TCalFileInfo(QObject* ui, std::vector<Row> rows, TAVProbe* probe, int vBitRate, int aBitRate);

    std::function<void(int step)> OnProgress;                                         // UI thread
    std::function<void(const QString& title)> OnTitle;                                // UI thread
    std::function<void(TFileListItem*, const QString&, const QString&)> OnRowProbed;  // UI thread
    struct Outcome {
        QStringList failed;   // names, each once
        QStringList reasons;  // one per name
        std::vector<TFileListItem*> failedRows;
        std::vector<TFileListItem*> unprobedRows;  // left when the probing was stopped
    };
    std::function<void(const Outcome&)> OnFinished;  // UI thread

    // Stops after the file being probed; any thread.
    void Cancel() { cancel_ = true; }

protected:
    void run() override;

private:
    void post(std::function<void()> fn);
    QObject* ui_;
    std::vector<Row> rows_;
    TAVProbe* probe_;
    int vBitRate_;
    int aBitRate_;
    std::atomic<bool> cancel_{false};
};

class TCalFileInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCalFileInfoDlg(QWidget* parent = nullptr);
    ~TCalFileInfoDlg() override;

    // The probe used for every file (the transcoding component's).
    void SetProbe(TAVProbe* probe) { probe_ = probe; }
    // Runs after the pass, before the dialog closes (the main window clears the component's tasks).
    std::function<void()> OnPassDone;
    int VBitRate = 0;
    int ABitRate = 0;
    // Remembers the list, sets the progress range and starts the worker.
    void SetUIAndFFTasks(QTreeWidget* list);
    // Closes at once when the worker already finished.
    int exec() override;

    QStringList ErroFileList;
    QStringList ErroReasonList;  // why each file of ErroFileList can't be read
    int UnprobedCount = 0;       // rows taken out because the probing was stopped
    QLabel* lbTitle;
    QProgressBar* ProgressBar;

    // Esc and the window's close button: stop the worker; the dialog closes when it has.
    void reject() override;

private:
    void finished(const TCalFileInfo::Outcome& outcome);
    QTreeWidget* fileListView_ = nullptr;
    TAVProbe* probe_ = nullptr;
    TCalFileInfo* worker_ = nullptr;
    bool done_ = false;
};
