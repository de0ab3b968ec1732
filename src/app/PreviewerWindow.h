#pragma once
// The small stay-on-top window in which a running conversion shows its pictures (the engine's
// TPreviewer paints through it). Centred on the screen, sized to the picture, the picture's time
// as its caption; dragging anywhere in it moves it; closing it stops the previews of that task.
//
// Threads: user-interface thread only (TPreviewer calls it through the Dispatcher).

#include <QImage>
#include <QWidget>

#include "engine/transcode/Previewer.h"

class TPreviewerWindow : public QWidget, public TPreviewSink {
    Q_OBJECT
public:
    TPreviewerWindow();

    bool Paint(const TBitmap24& bitmap, int frameNumber, int64_t pts) override;
    bool Closed() const { return closed_; }
    const QImage& Picture() const { return image_; }

    // The caption of a time in microseconds: "hh:mm:ss.zzz".
    static QString TimeCaption(int64_t pts);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage image_;
    bool closed_ = false;
    bool placed_ = false;
};

// Installs the previewer window as the engine's preview sink (main window start-up).
void InstallPreviewerWindow();
