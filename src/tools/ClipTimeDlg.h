#pragma once
// The clip dialog: plays one list entry in its own player and lets the user choose the start
// and end of the part to convert, from the playing position or by typing times. OK (or keeping
// the changed range when asked) writes the range into the entry; the caller shows the new
// length and size in the list. Everything runs on the user-interface thread; the player's
// events reach it through the engine's dispatcher.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "tools/ClipRange.h"

class ListFileInfo;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class TFFPlayer;
class TSliderSeek;
class TFrameSinkWidget;
enum class TPlayState;

// A thin bar under the position slider that shows the chosen range as its selection.
class TClipBar : public QWidget {
public:
    using QWidget::QWidget;
    void SetMax(int max);
    void SetSelection(int start, int end);
    int Max() const { return max_; }
    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int max_ = 0;
    int selStart_ = 0;
    int selEnd_ = -1;  // no selection
};

class TClipTimeDlg : public QDialog {
    Q_OBJECT
public:
    explicit TClipTimeDlg(QWidget* parent = nullptr);  // runs FormCreate
    ~TClipTimeDlg() override;

    void FormCreate();
    // Binds the dialog to an entry (not owned) and opens its file. False when the file can't be
    // played: the reason was shown and the dialog must not be shown (its result is Cancel).
    bool SetData(ListFileInfo* fileInfo);

    qint64 StartTime() const { return range.startTime; }
    qint64 EndTime() const { return range.endTime; }
    const TClipRange& Range() const { return range; }
    TFFPlayer* Player() const { return FFPlayer.get(); }

    void RedarwTimeLine(bool forceDraw);
    void BtnStartClick();
    void BtnEndClick();
    void btnStartOkClick();
    void BtnEndOkClick();
    void BtnResetClick();
    void BtnPlayClick();
    void BtnNextFrameClick();
    void VideoTracerChange(int position);
    void BtnOkClick();
    void BtnCancelClick();

    // Controls, named as in the dialog's layout.
    QWidget* PanelVideo;
    TFrameSinkWidget* VideoSink;
    QSlider* VideoTracer;
    TClipBar* ClipBar;
    QLineEdit* txtStartTime;
    QLineEdit* txtEndTime;
    QPushButton* btnStartOk;
    QPushButton* BtnEndOk;
    QLabel* lbLength;
    QLabel* lbTimeInfo;
    QToolButton* BtnPlay;
    QToolButton* btnPause;
    QToolButton* BtnStart;
    QToolButton* BtnEnd;
    QToolButton* BtnNextFrame;
    QPushButton* BtnReset;
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

    // True when the current range has been accepted or the dialog is being cancelled.
    bool Saveed = false;

    // Closing by the window's close button or Escape.
    void reject() override;

protected:
    void done(int result) override;

private:
    bool openFile();
    void connectPlayer();
    void detachPlayer();
    void FFPlayerFileOpen(int64_t duration);
    void FFPlayerPosition(int64_t pts);
    void FFPlayerState(TPlayState state);
    void acceptTyped(QLineEdit* field, bool start);
    void copyRangeToEntry();
    void showPlaying(bool playing);

    ListFileInfo* fileInfo = nullptr;
    TClipRange range;
    bool isStart = false;
    TSliderSeek* VideoSeek;  // prevPostion, stopEvent and m_Timer
    std::unique_ptr<TFFPlayer> FFPlayer;
};
