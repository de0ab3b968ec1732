#pragma once
// The "Converting" window of one run: a row per task with a live percentage bar, pause and
// resume, cancel, running in the background, and the after-run choices. The run itself is a
// TConvertQueue; the window shows it and ends with its result (1 OK, 2 Cancel).

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "app/AppLogger.h"
#include "convert/ConvertQueue.h"
#include "convert/ConvertRecord.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class TCustomFFmpegTasks;

class TConvertDlg : public QDialog {
    Q_OBJECT
public:
    explicit TConvertDlg(QWidget* parent = nullptr);
    ~TConvertDlg() override;

    void SetLogger(const AppLogger& log) { Queue.FFMPEGLog = log; }
    void SetFFmpegTasks(TCustomFFmpegTasks* tasks);
    bool SetTaskData(std::vector<std::unique_ptr<ConvertRecord>> records, bool applyAll,
                     const QString& folder, bool merge);

    // Set by the main window.
    std::function<void(QObject* sender)> fRunBackGround;
    void SetOnProgress(std::function<void(const QString& title, const QString& text, bool success)> fn) {
        Queue.OnProgress = std::move(fn);
    }

    bool IsOpenFolder() const;
    bool IsTurnOff() const;
    bool IsFailed() const { return Queue.Failed; }

    // Shows the window modally and waits for the end of the run, also while the window is hidden
    // for running in the background (hidden, it blocks nothing: the tray icon answers).
    // Returns at once when the run already ended before the window was shown.
    int exec() override;
    // Inside exec(): the run's window is up, shown or hidden.
    bool IsRunning() const { return inLoop_; }
    void done(int result) override;
    void reject() override;  // the title bar's close button or Escape

    void BtnPauseClick();
    void btnCancelClick();
    // Cancels the run without the question (the program is closing).
    void btnCancelClickWithoutAsking();
    void btnRunBackGroundClick();

    TConvertQueue Queue;
    QLabel* lbTaskList;
    QLabel* lblStepInfo;
    QTreeWidget* ListViewConvertList;
    QCheckBox* cbOpenTarget;
    QCheckBox* cbShutdown;
    QPushButton* btnRunBackGround;
    QPushButton* BtnPause;
    QPushButton* btnCancel;

private:
    void showRow(int row);
    void showAllRows();
    bool FormCloseQuery();
    bool ended_ = false;
    int endResult_ = 0;
    bool inLoop_ = false;
};
