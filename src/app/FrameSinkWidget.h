#pragma once
// The player's pictures in a widget: each displayed picture is scaled once, on the player's
// display thread, to the size it takes in the widget (aspect ratio kept, black bars around it),
// and painted on the user-interface thread. The widget must outlive the player's playing (stop
// the player, waiting, before destroying it).

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "engine/FFmpegHandles.h"
#include "engine/FrameSink.h"

class TFrameSinkWidget : public QWidget, public TFrameSink {
public:
    explicit TFrameSinkWidget(QWidget* parent = nullptr);

    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override;  // display thread
    void ClearFrame() override;                                                   // any thread
    // Pictures shown so far (tests, statistics).
    int64_t FramesShown() const { return framesShown_.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void requestPaint();

    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<int64_t> framesShown_{0};
    TSwsContextPtr scaler_;  // display thread only
    std::mutex lock_;        // guards image_
    QImage image_;
};
