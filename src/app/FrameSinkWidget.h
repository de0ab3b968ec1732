#pragma once
// The player's picture in a window: a widget that receives the player's pictures (TFrameSink)
// and paints each one scaled into itself with its aspect ratio kept, black bars around it, and
// the subtitle of the moment over it. It also draws the player's sound display, and, while no
// picture comes from the player, a still picture chosen by the window (scaled at paint time).
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

#include "engine/player/FrameScaler.h"
#include "engine/player/FrameSink.h"

class TFrameSinkWidget : public QWidget, public TFrameSink {
    Q_OBJECT
public:
    explicit TFrameSinkWidget(QWidget* parent = nullptr);

    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override;
    void ClearFrame() override;
    void ShowSound(const TSinkSound& sound) override;

    // User-interface thread: the still picture shown while the player shows nothing (a null
    // image: none), and the colour of the panel without any picture.
    void ShowStill(const QImage& picture);
    QImage Still() const { return still_; }
    void SetEmptyColour(const QColor& colour);
    // Draws `sound` into an image of `size` (black ground, one lane per channel). Any thread.
    static QImage DrawSound(const TSinkSound& sound, QSize size);

    // The picture as painted now (null when the panel is empty) and where it goes.
    QImage Picture() const;
    QRect PictureRect() const;
    // Pictures converted so far.
    int64_t FramesConverted() const { return converted_.load(); }

signals:
    // A left click on the panel (the window switches between pictures and sound).
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
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
    QImage still_;
    QColor empty_{Qt::black};
};
