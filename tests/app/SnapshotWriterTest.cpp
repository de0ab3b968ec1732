#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include "app/SnapshotWriter.h"
#include "common/MediaFixtures.h"
#include "common/ReadOnlyFolder.h"
#include "engine/library/Bitmap24.h"

namespace {
// Left half pure red, right half pure blue, on an odd width so that rows need padding.
TBitmap24 twoColours(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.ScanLine(y) + x * 3;
            if (x < w / 2)
                p[2] = 255;  // B, G, R order
            else
                p[0] = 255;
        }
    return b;
}

void expectPicture(const QString& path, int w, int h, int tolerance) {
    SCOPED_TRACE(path.toStdString());
    const QImage img(path);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(w, h));
    const QColor left = img.pixelColor(w / 4, h - 2);
    const QColor right = img.pixelColor(w * 3 / 4, 1);
    EXPECT_NEAR(left.red(), 255, tolerance);
    EXPECT_NEAR(left.blue(), 0, tolerance);
    EXPECT_NEAR(right.blue(), 255, tolerance);
    EXPECT_NEAR(right.red(), 0, tolerance);
}
}  // namespace

TEST(SnapshotWriterTest, JpegAndBmpAreDecodableAndNumberedPastExistingFiles) {
    fixtures::TempDir dir;
    const QString folder = QString::fromStdString(dir.path()) + "/shots/deeper";
    ASSERT_TRUE(TSnapshotWriter::PrepareFolder(folder));  // created with its parent
    const TBitmap24 frame = twoColours(161, 90);
    // A file the user has already: number 2 must be skipped, and the file kept.
    fixtures::WriteFile((folder + "/clip.mp4_2.jpg").toStdString(), "mine");

    int counter = 0;
    const QString first =
        TSnapshotWriter::Save(frame, folder, "/v/clip.mp4", TSnapshotWriter::sfJpeg, counter);
    const QString second =
        TSnapshotWriter::Save(frame, folder, "/v/clip.mp4", TSnapshotWriter::sfJpeg, counter);
    const QString bmp = TSnapshotWriter::Save(frame, folder, "/other/b.mkv", TSnapshotWriter::sfBmp, counter);
    EXPECT_EQ(first, folder + "/clip.mp4_1.jpg");
    EXPECT_EQ(second, folder + "/clip.mp4_3.jpg");
    EXPECT_EQ(bmp, folder + "/b.mkv_4.bmp");
    EXPECT_EQ(counter, 4);
    EXPECT_EQ(fixtures::ReadFile((folder + "/clip.mp4_2.jpg").toStdString()), "mine");
    // A name taken while the number is chosen, here by a link to nothing, is skipped as well
    // and left as it is.
    ASSERT_EQ(symlink("/nowhere/x.jpg", (folder + "/clip.mp4_5.jpg").toUtf8().constData()), 0);
    EXPECT_EQ(TSnapshotWriter::Save(frame, folder, "/v/clip.mp4", TSnapshotWriter::sfJpeg, counter),
              folder + "/clip.mp4_6.jpg");
    EXPECT_TRUE(QFileInfo(folder + "/clip.mp4_5.jpg").isSymLink());
    EXPECT_FALSE(QFileInfo::exists("/nowhere/x.jpg"));
    counter = 4;

    expectPicture(first, 161, 90, 12);
    expectPicture(bmp, 161, 90, 0);
    EXPECT_EQ(QFileInfo(bmp).size(), 14 + 40 + 484 * 90);  // 161 * 3 = 483 bytes padded to 484
    // Baseline JPEG in colour: ffprobe's view of the file, not our decoder's.
    EXPECT_EQ(fixtures::Probe(first.toStdString(), "v:0", "stream=codec_name"), "mjpeg");
    EXPECT_EQ(fixtures::Probe(first.toStdString(), "v:0", "stream=profile"), "Baseline");
    EXPECT_EQ(fixtures::Probe(first.toStdString(), "v:0", "stream=pix_fmt"), "yuvj420p");
}

TEST(SnapshotWriterTest, NonSquarePixelsAreScaledToTheDisplaySize) {
    const TBitmap24 frame = twoColours(120, 90);
    const TBitmap24 wide = TSnapshotWriter::ToDisplaySize(frame, 16.0 / 9);
    EXPECT_EQ(wide.Width(), 160);
    EXPECT_EQ(wide.Height(), 90);
    EXPECT_EQ(wide.ScanLine(45)[40 * 3 + 2], 255);   // still red on the left
    EXPECT_EQ(wide.ScanLine(45)[120 * 3 + 0], 255);  // and blue on the right
    EXPECT_EQ(TSnapshotWriter::ToDisplaySize(frame, 0).Width(), 120);      // unknown ratio
    EXPECT_EQ(TSnapshotWriter::ToDisplaySize(frame, 4.0 / 3).Width(), 120);  // square pixels
}

TEST(SnapshotWriterTest, UnusableFoldersAndEmptyFrames) {
    fixtures::TempDir dir;
    fixtures::WriteFile(dir.file("plain"), "x");
    EXPECT_FALSE(TSnapshotWriter::PrepareFolder(QString::fromStdString(dir.file("plain/sub"))));
    EXPECT_FALSE(TSnapshotWriter::PrepareFolder(QString()));

    const std::string locked = dir.file("locked");
    QDir().mkpath(QString::fromStdString(locked));
    {
        ReadOnlyFolder readOnly(locked);
        if (readOnly.ok()) {
            EXPECT_FALSE(TSnapshotWriter::PrepareFolder(QString::fromStdString(locked)));
            int counter = 0;
            QString error;
            EXPECT_TRUE(TSnapshotWriter::Save(twoColours(8, 8), QString::fromStdString(locked), "a.mp4",
                                              TSnapshotWriter::sfBmp, counter, &error)
                            .isEmpty());
            EXPECT_FALSE(error.isEmpty());
        }
    }
    int counter = 0;
    EXPECT_TRUE(TSnapshotWriter::Save(TBitmap24(), QString::fromStdString(dir.path()), "a.mp4",
                                      TSnapshotWriter::sfJpeg, counter)
                    .isEmpty());
    EXPECT_EQ(counter, 1);  // a failed snapshot still uses its number
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).entryList({"a.mp4_*"}, QDir::Files).isEmpty());
}
