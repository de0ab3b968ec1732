#pragma once
// The player's picture in a window: a widget that receives the player's pictures (TFrameSink)
// and paints each one scaled into itself with its aspect ratio kept, black bars around it, and
// the subtitle of the moment over it.
//
// Every picture is converted once, at the size it is painted at, in one swscale pass on the
// player's display thread; the user-interface thread only draws the finished image.
//
// Threads: ShowFrame and ClearFrame run on the player's display thread; everything else on the
// user-interface thread. The widget must outlive the player's use of it (stop the player first).

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "engine/FrameScaler.h"
#include "engine/FrameSink.h"

class TFrameSinkWidget : public QWidget, public TFrameSink {
    Q_OBJECT
public:
    explicit TFrameSinkWidget(QWidget* parent = nullptr);

    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override;
    void ClearFrame() override;

    // The picture as painted now (null when the panel is empty) and where it goes.
    QImage Picture() const;
    QRect PictureRect() const;
    // Pictures converted so far.
    int64_t FramesConverted() const { return converted_.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RequestUpdate();

    std::atomic<int> panelWidth_{0};
    std::atomic<int> panelHeight_{0};
    std::atomic<int64_t> converted_{0};
    std::atomic<bool> updateQueued_{false};
    TFrameScaler scaler_;  // display thread
    mutable std::mutex lock_;
    QImage image_;  // guarded by lock_
    QRect rect_;    // guarded by lock_
};
