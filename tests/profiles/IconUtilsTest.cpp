// The icon dictionary: keys, letter case, and a picture that is not a PNG.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "common/TestSandbox.h"
#include "profiles/IconUtils.h"

namespace {
void writePng(const TestSandbox& sandbox, const QString& name, QColor color, int size = 16) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QDir().mkpath(sandbox.programFile("ICON"));
    ASSERT_TRUE(image.save(sandbox.programFile("ICON/" + name), "PNG"));
}
}  // namespace

TEST(IconUtils, KeysAreLowerCaseNamesWithoutPngAndLookupsIgnoreCase) {
    TestSandbox sandbox(false);
    EXPECT_TRUE(GetIcon("mp4").isNull());  // before the load
    writePng(sandbox, "Film.PNG", Qt::red);
    writePng(sandbox, "two.png.png", Qt::green);
    writePng(sandbox, "disc.png", Qt::blue, 32);
    sandbox.writeProgramFile("ICON/readme.txt", "not a picture");
    sandbox.writeProgramFile("ICON/MenuArrow.bmp", "BM");  // other pictures are not in the dictionary

    LoadIcons();
    EXPECT_EQ(IconMap().size(), 3);
    EXPECT_EQ(GetIcon("film").pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(GetIcon("FILM").pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(GetIcon("Two").pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(GetIcon("Disc").width(), 32);
    EXPECT_TRUE(GetIcon("film.png").isNull());
    EXPECT_TRUE(GetIcon("missing").isNull());
    EXPECT_EQ(MenuArrowFile(), sandbox.programFile("ICON/MenuArrow.bmp"));
}

TEST(IconUtils, AFileThatIsNotAPngEndsTheLoadKeepingEarlierPictures) {
    TestSandbox sandbox(false);
    writePng(sandbox, "a.png", Qt::red);
    sandbox.writeProgramFile("ICON/b.png", "GIF89a this is no PNG");
    writePng(sandbox, "c.png", Qt::blue);
    // A JPEG with a .png name is not a PNG either.
    QImage jpeg(8, 8, QImage::Format_RGB32);
    jpeg.fill(Qt::white);
    ASSERT_TRUE(jpeg.save(sandbox.programFile("ICON/d.png"), "JPEG"));

    try {
        LoadIcons();
        FAIL() << "no error";
    } catch (const EProfileDataError& e) {
        EXPECT_TRUE(e.message().contains(sandbox.programFile("ICON/b.png"))) << e.what();
    }
    EXPECT_FALSE(GetIcon("a").isNull());
    EXPECT_TRUE(GetIcon("c").isNull());
    EXPECT_NO_THROW(LoadIcons());  // loaded once: a second call does nothing

    sandbox.removeProgramFile("ICON/b.png");
    FreeIcons();
    EXPECT_THROW(LoadIcons(), EProfileDataError);  // d.png
    EXPECT_FALSE(GetIcon("c").isNull());
}

TEST(IconUtils, NoIconFolderGivesAnEmptyDictionary) {
    TestSandbox sandbox(false);
    EXPECT_NO_THROW(LoadIcons());
    EXPECT_TRUE(IconsLoaded());
    EXPECT_TRUE(IconMap().isEmpty());
}
