// The catalogue loader: first-run copy, the invariants after a load, and what bad files do.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/Utils.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "profiles/ProfileMenu.h"
#include "profiles/ProfileMenuText.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QByteArray catalogue(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profiles>\n" + body + "</Profiles>\n";
}

QByteArray entry(const QByteArray& id, const QByteArray& extra = "skip=\"false\"") {
    return "<FormatInfo ID=\"" + id + "\" Format=\".mp4\" FourCC=\"H264\" Icon=\"mp4\" " + extra +
           "><Name>Name " + id + "</Name><Description>Desc " + id + "</Description></FormatInfo>\n";
}

QByteArray category(const QByteArray& id, const QByteArray& items,
                    const QByteArray& extra = "skip=\"false\"") {
    return "<category id=\"" + id + "\" title=\"Cat " + id + "\" icon=\"cat_" + id + "\" " + extra + ">\n" +
           items + "</category>\n";
}

QString userFile() {
    return GetAppDataFolder() + "ProfileMenu.dll";
}

void writeUserFile(const QByteArray& content) {
    QFile f(userFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

// Every entry of the dictionary sits in exactly one listed category with its ID, and every
// listed category has entries and is in the category dictionary.
void expectConsistent() {
    size_t items = 0;
    for (const auto& c : CategoryList()) {
        EXPECT_FALSE(c->Items.empty()) << c->ID;
        EXPECT_EQ(CategoryMap().at(c->ID), c.get());
        for (const auto& e : c->Items) {
            EXPECT_EQ(e->Categoryid, c->ID);
            EXPECT_EQ(FindMenuInfo(e->IntID()), e.get());
            ++items;
        }
    }
    EXPECT_EQ(items, MenuInfoMap().size());
    EXPECT_EQ(CategoryList().size(), CategoryMap().size());
}

QString loadError() {
    try {
        LoadProfileMenu();
    } catch (const EProfileDataError& e) {
        return e.message();
    }
    return QString();
}
}  // namespace

TEST(ProfileMenu, FirstRunCopiesTheInstalledCatalogueAndLaterRunsReadTheCopy) {
    TestSandbox sandbox(false);
    const QByteArray installed = catalogue(category("1", entry("10")));
    sandbox.writeProgramFile("ProfileMenu.dll", installed);
    ASSERT_FALSE(QFile::exists(userFile()));

    EXPECT_EQ(GetProfileMenuFile(), userFile());
    LoadProfileMenu();
    QFile copy(userFile());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), installed);
    ASSERT_NE(FindMenuInfo(10), nullptr);

    // A changed template is not read again: the user's copy is the catalogue now.
    sandbox.writeProgramFile("ProfileMenu.dll", catalogue(category("2", entry("20"))));
    ReloadProfileMenu();
    EXPECT_NE(FindMenuInfo(10), nullptr);
    EXPECT_EQ(FindMenuInfo(20), nullptr);
}

TEST(ProfileMenu, MissingCatalogueIsReportedAndLeavesItEmpty) {
    TestSandbox sandbox(false);
    ScriptedDialogs dialogs;
    EXPECT_EQ(FindMenuInfo(1055), nullptr);  // before any load

    EXPECT_EQ(GetProfileMenuFile(), JoinPath(sandbox.programDir(), "ProfileMenu.dll"));  // the copy failed
    LoadProfileMenu();
    EXPECT_EQ(dialogs.texts("MessageBox"), QStringList{"format resource file does not exist."});
    EXPECT_TRUE(ProfileMenuLoaded());
    EXPECT_TRUE(CategoryList().empty());
    EXPECT_EQ(FindMenuInfo(1055), nullptr);
}

TEST(ProfileMenu, ReadsEveryFieldAndDropsEmptyCategoriesWhileOrderKeepsCounting) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile(
        "ProfileMenu.dll",
        catalogue(category("1", entry("10") + "<Note/>\n" + entry("11"),
                           "skip=\"false\" type=\"video\" tag=\"_HD\"") +
                  "<!-- a comment between categories -->\n<Other/>\n" + category("2", "<Other/>\n") +
                  category("3", entry("30", "skip=\"true\""), "skip=\"true\"")));
    LoadProfileMenu();

    ASSERT_EQ(CategoryList().size(), 2u);
    const TCategory& first = *CategoryList()[0];
    EXPECT_EQ(QStringList({first.Title, first.TypeStr, first.Icon, first.CategoryTag}),
              QStringList({"Cat 1", "video", "cat_1", "_HD"}));
    ASSERT_EQ(first.Items.size(), 2u);
    const TMenuInfo& e = *first.Items[0];
    EXPECT_EQ(QStringList({e.ID, e.Format, e.FourCC, e.Icon, e.Name, e.Description}),
              QStringList({"10", ".mp4", "H264", "mp4", "Name 10", "Desc 10"}));
    // Category 2 had no entries: gone from list and dictionary, but its slot, the comment's and
    // "Other"'s still count for category 3, whose absent type and tag read as empty.
    EXPECT_EQ(CategoryMap().count(2), 0u);
    const TCategory& third = *CategoryList()[1];
    EXPECT_EQ(first.Order, 0);
    EXPECT_EQ(third.Order, 4);
    EXPECT_TRUE(third.Skip && third.Items[0]->Skip);
    EXPECT_TRUE(third.TypeStr.isEmpty() && third.CategoryTag.isEmpty());
    expectConsistent();
}

TEST(ProfileMenu, OnlyLowerCaseTrueHides) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile(
        "ProfileMenu.dll", catalogue(category("1",
                                              entry("10", "skip=\"True\"") + entry("11", "") +
                                                  entry("12", "skip=\"TRUE\"") + entry("13", "skip=\"true\""),
                                              "skip=\"TRUE\"")));
    LoadProfileMenu();
    EXPECT_FALSE(CategoryList()[0]->Skip);
    EXPECT_FALSE(FindMenuInfo(10)->Skip);
    EXPECT_FALSE(FindMenuInfo(11)->Skip);  // no attribute: shown
    EXPECT_FALSE(FindMenuInfo(12)->Skip);
    EXPECT_TRUE(FindMenuInfo(13)->Skip);
}

TEST(ProfileMenu, SecondLoadKeepsTheOldContentUntilReload) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile("ProfileMenu.dll", catalogue(category("1", entry("10"))));
    LoadProfileMenu();
    writeUserFile(catalogue(category("2", entry("20"))));

    LoadProfileMenu();
    EXPECT_NE(FindMenuInfo(10), nullptr);
    EXPECT_EQ(FindMenuInfo(20), nullptr);

    ReloadProfileMenu();
    EXPECT_EQ(FindMenuInfo(10), nullptr);
    EXPECT_NE(FindMenuInfo(20), nullptr);
    ASSERT_EQ(CategoryList().size(), 1u);
    expectConsistent();
}

TEST(ProfileMenu, RepeatedIdsEndTheLoadAndKeepWhatCameBefore) {
    TestSandbox sandbox(false);
    // An entry ID repeated in another category.
    sandbox.writeProgramFile("ProfileMenu.dll",
                             catalogue(category("1", entry("10") + entry("11")) +
                                       category("2", entry("20") + entry("10") + entry("21"))));
    const QString message = loadError();
    EXPECT_TRUE(message.contains("ProfileMenu.dll")) << message.toStdString();
    EXPECT_TRUE(message.contains("line ")) << message.toStdString();
    EXPECT_TRUE(message.contains("10")) << message.toStdString();
    EXPECT_EQ(MenuInfoMap().size(), 3u);  // 10, 11, 20
    EXPECT_EQ(FindMenuInfo(10)->Categoryid, 1);
    EXPECT_EQ(FindMenuInfo(21), nullptr);
    expectConsistent();

    // A repeated category ID, whose first occurrence has no entries yet: no empty category stays.
    writeUserFile(catalogue(category("1", entry("10")) + category("2", "") + category("2", entry("20"))));
    FreeProfileMenu();
    EXPECT_FALSE(loadError().isEmpty());
    EXPECT_EQ(CategoryList().size(), 1u);
    EXPECT_EQ(FindMenuInfo(20), nullptr);
    expectConsistent();
}

TEST(ProfileMenu, MalformedFilesRaiseClearErrors) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile("ProfileMenu.dll", catalogue(category("1", entry("10"))));
    LoadProfileMenu();  // installs the user's copy
    struct Case {
        const char* what;
        QByteArray content;
        const char* mentions;
    };
    const Case cases[] = {
        {"not XML", "<Profiles><category id=\"1\"", "line"},
        {"non-numeric category id", catalogue(category("abc", entry("10"))), "abc"},
        {"non-numeric entry ID", catalogue(category("1", entry("12a"))), "12a"},
        {"category without skip", catalogue(category("1", entry("10"), "")), "skip"},
        {"entry without Name",
         catalogue(
             category("1", "<FormatInfo ID=\"5\" Format=\".mp4\" FourCC=\"\"><Description/></FormatInfo>")),
         "Name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeUserFile(c.content);
        FreeProfileMenu();
        const QString message = loadError();
        EXPECT_TRUE(message.startsWith(userFile())) << message.toStdString();
        EXPECT_TRUE(message.contains(c.mentions)) << message.toStdString();
        expectConsistent();
    }
}

TEST(ProfileMenu, SaveWritesUtf8WithLineEndAndReloadReadsIt) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile("ProfileMenu.dll", catalogue(category("1", entry("10"))));
    LoadProfileMenu();
    const QString text = QString::fromUtf8(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Profiles>\r\n"
        "<category id=\"7\" title=\"Vid\xC3\xA9o &amp; Co\" type=\"\" icon=\"x\" skip=\"false\" order=\"0\" "
        ">\r\n"
        "<FormatInfo ID=\"70\" Format=\".mkv\" FourCC=\"\" Icon=\"\" skip=\"true\" order=\"0\">\r\n"
        "<Name>\xE2\x82\xAC</Name>\r\n<Description>d</Description>\r\n</FormatInfo>\r\n</category>\r\n</"
        "Profiles>");
    SaveProfileMenu(text);
    QFile f(userFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text.toUtf8() + "\r\n");

    ReloadProfileMenu();
    ASSERT_EQ(CategoryList().size(), 1u);
    EXPECT_EQ(CategoryList()[0]->Title, QString::fromUtf8("Vid\xC3\xA9o & Co"));
    EXPECT_EQ(FindMenuInfo(70)->Name, QString::fromUtf8("\xE2\x82\xAC"));
    EXPECT_TRUE(FindMenuInfo(70)->Skip);
}

TEST(ProfileMenu, SaveThatCannotWriteRaisesAndKeepsTheFile) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile("ProfileMenu.dll", catalogue(category("1", entry("10"))));
    // A folder in place of the file can't be replaced by a file.
    ASSERT_TRUE(QDir().mkpath(userFile()));
    EXPECT_THROW(SaveProfileMenu("<Profiles/>"), EInOutError);
    EXPECT_TRUE(QFileInfo(userFile()).isDir());
}

TEST(ProfileMenu, TextsInTheProgramsLanguageAndEveryLanguageKeptBySaving) {
    TestSandbox sandbox(false);
    sandbox.writeProgramFile(
        "ProfileMenu.dll",
        catalogue("<category id=\"1\" title=\"Audio\" title_zh=\"音频\" icon=\"a\" skip=\"false\">\n"
                  "<FormatInfo ID=\"10\" Format=\".mp3\" FourCC=\"\" Icon=\"\" skip=\"false\">"
                  "<Name zh=\"MP3 音频\">MP3 Audio</Name><Description zh=\"声音\">Sound</Description>"
                  "</FormatInfo>\n<FormatInfo ID=\"11\" Format=\".wav\" FourCC=\"\" Icon=\"\" skip=\"false\">"
                  "<Name>WAV</Name><Description>PCM</Description></FormatInfo>\n</category>\n"));
    struct Case {
        const char* language;
        const char* title;
        const char* name;
        const char* description;
    } cases[] = {{"en", "Audio", "MP3 Audio", "Sound"}, {"zh", "音频", "MP3 音频", "声音"}};
    for (const Case& c : cases) {
        Lang().Language = QString::fromUtf8(c.language);
        ReloadProfileMenu();
        ASSERT_EQ(CategoryList().size(), 1u);
        EXPECT_EQ(CategoryList()[0]->Title, QString::fromUtf8(c.title));
        EXPECT_EQ(FindMenuInfo(10)->Name, QString::fromUtf8(c.name));
        EXPECT_EQ(FindMenuInfo(10)->Description, QString::fromUtf8(c.description));
        EXPECT_EQ(FindMenuInfo(11)->Name, "WAV");  // no Chinese text: the English one
    }
    // Saved in Chinese with one name changed: the English texts stay, the change lands in
    // Chinese, and reading it in English gives the English texts back.
    FindMenuInfo(10)->Name = QString::fromUtf8("MP3 音乐");
    std::vector<TProfileMenuNode> tree(1);
    tree[0].Category = CategoryList()[0].get();
    for (const auto& item : CategoryList()[0]->Items)
        tree[0].Entries.push_back({item.get(), true});
    SaveProfileMenu(ProfileMenuText(tree));
    ReloadProfileMenu();
    EXPECT_EQ(FindMenuInfo(10)->Name, QString::fromUtf8("MP3 音乐"));
    EXPECT_EQ(CategoryList()[0]->Title, QString::fromUtf8("音频"));
    Lang().Language = QStringLiteral("en");
    ReloadProfileMenu();
    EXPECT_EQ(FindMenuInfo(10)->Name, "MP3 Audio");
    EXPECT_EQ(FindMenuInfo(10)->Description, "Sound");
    EXPECT_EQ(CategoryList()[0]->Title, "Audio");
    EXPECT_EQ(FindMenuInfo(11)->Name, "WAV");
}
