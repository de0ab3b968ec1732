// The player's picture widget (letterboxed, converted once at display size) and the
// conversion's previewer window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <cstdlib>

#include "app/FrameSinkWidget.h"
#include "app/PreviewerWindow.h"
#include "common/MediaFixtures.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/player/Player.h"

namespace {

class FrameSinkWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader().SetLibraryPath("");
        ASSERT_TRUE(FFLoader().Load(kPlayerLibraries)) << FFLoader().LastErrMsg();
    }
    // A 160x120 YUV picture: the top half of colour (y, u, v), the bottom half black.
    TFramePtr Picture(int y, int u, int v) {
        TFramePtr f(ff::av_frame_alloc());
        f->width = 160;
        f->height = 120;
        f->format = AV_PIX_FMT_YUV420P;
        EXPECT_GE(ff::av_frame_get_buffer(f.get(), 0), 0);
        for (int row = 0; row < 120; ++row)
            memset(f->data[0] + row * f->linesize[0], row < 60 ? y : 16, 160);
        for (int row = 0; row < 60; ++row) {
            memset(f->data[1] + row * f->linesize[1], row < 30 ? u : 128, 80);
            memset(f->data[2] + row * f->linesize[2], row < 30 ? v : 128, 80);
        }
        return f;
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
};

TEST_F(FrameSinkWidgetTest, PaintsThePictureLetterboxedAtDisplaySize) {
    TFrameSinkWidget widget;
    widget.resize(400, 200);
    widget.show();
    Settle();
    TFramePtr red = Picture(81, 90, 240);
    TSinkFrameInfo info;
    info.AspectRatio = 4.0 / 3.0;
    widget.ShowFrame(*red, info);
    Settle();
    EXPECT_EQ(widget.PictureRect(), QRect(67, 0, 266, 200));
    EXPECT_EQ(widget.Picture().size(), QSize(266, 200));  // converted at the size it is shown at
    QImage shot = widget.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(20, 50)), QColor(Qt::black));    // bar
    EXPECT_EQ(QColor(shot.pixel(380, 150)), QColor(Qt::black));  // bar
    QColor top = shot.pixel(200, 40);
    EXPECT_GT(top.red(), 200);
    EXPECT_LT(top.green(), 40);
    EXPECT_LT(QColor(shot.pixel(200, 160)).red(), 30);  // the black lower half

    // A wide picture in a tall panel: bars above and below; upside down with VerticalFlip.
    widget.resize(200, 400);
    Settle();
    info.AspectRatio = 2.0;
    info.VerticalFlip = true;
    widget.ShowFrame(*red, info);
    Settle();
    EXPECT_EQ(widget.PictureRect(), QRect(0, 150, 200, 100));
    shot = widget.grab().toImage();
    EXPECT_LT(QColor(shot.pixel(100, 170)).red(), 30);
    EXPECT_GT(QColor(shot.pixel(100, 230)).red(), 200);
    EXPECT_EQ(widget.FramesConverted(), 2);

    widget.ClearFrame();
    Settle();
    EXPECT_TRUE(widget.Picture().isNull());
    EXPECT_EQ(QColor(widget.grab().toImage().pixel(100, 200)), QColor(Qt::black));
}

TEST_F(FrameSinkWidgetTest, DrawsTheSubtitleOverThePicture) {
    TFrameSinkWidget widget;
    widget.resize(320, 240);
    widget.show();
    Settle();
    TFramePtr black = Picture(16, 128, 128);
    // A red picture subtitle of 8x4 at (40, 30) on a 160x120 canvas, and a line of text.
    uint8_t indexes[8 * 4];
    memset(indexes, 1, sizeof indexes);
    uint32_t palette[2] = {0x00000000, 0xffff0000};
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 40;
    rect.y = 30;
    rect.w = 8;
    rect.h = 4;
    rect.nb_colors = 2;
    rect.data[0] = indexes;
    rect.linesize[0] = 8;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    TSinkSubtitle subtitle;
    subtitle.CanvasWidth = 160;
    subtitle.CanvasHeight = 120;
    subtitle.Pictures.push_back(&rect);
    subtitle.Text = "HELLO THERE";
    TSinkFrameInfo info;
    info.AspectRatio = 4.0 / 3.0;
    info.Subtitle = &subtitle;
    widget.ShowFrame(*black, info);
    Settle();

    const QImage shot = widget.grab().toImage();
    const QColor red = shot.pixel(88, 64);  // the middle of the rect, stretched twice
    EXPECT_GT(red.red(), 200);
    EXPECT_LT(red.green(), 40);
    auto whiteIn = [&](int top, int bottom) {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 320; ++x)
                n += QColor(shot.pixel(x, y)).lightness() > 220;
        return n;
    };
    EXPECT_GT(whiteIn(160, 240), 50);  // the text, at the bottom
    EXPECT_EQ(whiteIn(0, 120), 0);

    // The next picture without a subtitle is clean again.
    info.Subtitle = nullptr;
    widget.ShowFrame(*black, info);
    Settle();
    EXPECT_LT(QColor(widget.grab().toImage().pixel(88, 64)).red(), 30);
}

TEST_F(FrameSinkWidgetTest, PlayerPicturesReachTheWidget) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const std::string clip = fixtures::Clip("widget-play.mp4", 2, 320, 180, 25, "", false, true);
    TFrameSinkWidget widget;
    widget.resize(320, 240);
    widget.show();
    Settle();
    TFFPlayer player;
    player.SetTriggerEventInMainThread(false);
    ASSERT_TRUE(player.Open(clip, &widget, false)) << player.LastErrMsg();
    QElapsedTimer timer;
    timer.start();
    while (widget.FramesConverted() < 10 && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    player.Stop(true);
    EXPECT_GE(widget.FramesConverted(), 10);
    EXPECT_EQ(widget.PictureRect(), QRect());  // cleared when stopped
}

TEST_F(FrameSinkWidgetTest, PreviewerWindowShowsPicturesUntilClosed) {
    TPreviewerWindow window;
    TBitmap24 bitmap(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + x * 3;
            p[0] = 255;  // blue
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = 0;
        }
    ASSERT_TRUE(window.Paint(bitmap, 7, 3723004000));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("01:02:03.004"));
    EXPECT_EQ(window.size(), QSize(64, 48));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(QColor(window.Picture().pixel(10, 20)), QColor(0, 100, 255));
    window.close();
    EXPECT_FALSE(window.Paint(bitmap, 8, 0));  // the conversion stops previewing

    // Through the engine's previewer: the installed window is made on first use.
    InstallPreviewerWindow();
    {
        TPreviewer previewer;
        EXPECT_TRUE(previewer.PaintFrame(bitmap, 1, 40000));
        EXPECT_FALSE(previewer.Closed());
    }
    InstallPreviewSinkFactory(nullptr);
}

}  // namespace
