// The profile shown at start-up.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "profiles/IconUtils.h"
#include "profiles/ProfileMenu.h"
#include "profiles/StartupProfile.h"

namespace {
void prepare(TestSandbox& sandbox) {
    sandbox.writeProgramFile(
        "ProfileMenu.dll",
        "<Profiles>"
        "<category id=\"5\" title=\"Empty\" icon=\"none\" skip=\"false\"/>"
        "<category id=\"6\" title=\"First\" icon=\"Red\" skip=\"true\">"
        "<FormatInfo ID=\"60\" Format=\".mp4\" FourCC=\"\" "
        "skip=\"true\"><Name>sixty</Name><Description/></FormatInfo>"
        "<FormatInfo ID=\"61\" Format=\".mp4\" FourCC=\"\"><Name>sixty-one</Name><Description/></FormatInfo>"
        "</category>"
        "<category id=\"7\" title=\"Second\" icon=\"blue\" skip=\"false\">"
        "<FormatInfo ID=\"70\" Format=\".avi\" FourCC=\"\"><Name>seventy</Name><Description/></FormatInfo>"
        "</category></Profiles>");
    QDir().mkpath(sandbox.programFile("ICON"));
    for (auto [name, color] : {std::pair{"red.png", Qt::red}, std::pair{"blue.png", Qt::blue}}) {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(color);
        image.save(sandbox.programFile(QStringLiteral("ICON/") + name), "PNG");
    }
    LoadProfileMenu();
    LoadIcons();
}
}  // namespace

TEST(StartupProfile, TheFirstRecentIdIfKnownElseTheFirstEntryOfTheFirstCategory) {
    TestSandbox sandbox(false);
    prepare(sandbox);

    const TStartupProfile known = ChooseStartupProfile({"70", "61"});
    ASSERT_NE(known.Entry, nullptr);
    EXPECT_EQ(known.ID, 70);
    EXPECT_EQ(known.Entry->Name, "seventy");
    ASSERT_NE(known.Category, nullptr);
    EXPECT_EQ(known.Category->ID, 7);
    EXPECT_EQ(known.Icon.pixelColor(0, 0), QColor(Qt::blue));

    // Unknown, not a number, or no recent profile at all: the first entry of the first category,
    // taken as it is in the file (the empty category was dropped at load).
    for (const QStringList& recent : {QStringList{"1055"}, QStringList{"abc", "70"}, QStringList{}}) {
        const TStartupProfile fallback = ChooseStartupProfile(recent);
        ASSERT_NE(fallback.Entry, nullptr);
        EXPECT_EQ(fallback.ID, 60);
        EXPECT_EQ(fallback.Category->ID, 6);
        EXPECT_EQ(fallback.Icon.pixelColor(0, 0), QColor(Qt::red));  // key "Red" in any case
    }
}

TEST(StartupProfile, NoneForAnEmptyCatalogue) {
    TestSandbox sandbox(false);
    ScriptedDialogs dialogs;  // the missing catalogue's message
    LoadProfileMenu();
    const TStartupProfile none = ChooseStartupProfile({"1055"});
    EXPECT_EQ(none.Entry, nullptr);
    EXPECT_EQ(none.Category, nullptr);
    EXPECT_EQ(none.ID, -1);
    EXPECT_TRUE(none.Icon.isNull());
}
