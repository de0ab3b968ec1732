#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>

#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "engine/library/FFmpegLoader.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
void addRows(TfrmMain& w, int n) {
    for (int i = 0; i < n; ++i)
        new QTreeWidgetItem(w.FileListView, QStringList{QStringLiteral("f%1.mp4").arg(i)});
}

QList<bool> editStates(TfrmMain& w) {
    w.LockMainEditMenu();
    QList<bool> states;
    for (QAction* a : w.EditMenu->actions())
        states << a->isEnabled();
    return states;
}
}  // namespace

TEST(MainWindow, StartsWithMenusAndColumnsFromTheLanguageTable) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    EXPECT_TRUE(w.StartupProblems.isEmpty()) << w.StartupProblems.join("\n").toStdString();
    EXPECT_EQ(w.size(), QSize(878, 543));
    EXPECT_EQ(w.FileMenu->title(), GetLangText("FileMenu_0"));
    EXPECT_EQ(w.HelpMenu->title(), GetLangText("HelpMenu_0"));
    const QStringList fileKeys{"FileMenu_00", "FileMenu_01", "FileMenu_02",
                               "FileMenu_03", "FileMenu_04", "FileMenu_05"};
    ASSERT_EQ(w.FileMenu->actions().size(), fileKeys.size());
    for (int i = 0; i < fileKeys.size(); ++i) {
        QAction* a = w.FileMenu->actions()[i];
        EXPECT_EQ(a->objectName(), fileKeys[i]);
        const QString text = GetLangText(fileKeys[i]);
        if (text == "-")
            EXPECT_TRUE(a->isSeparator()) << fileKeys[i].toStdString();
        else
            EXPECT_EQ(a->text(), text);
    }
    ASSERT_EQ(w.HelpMenu->actions().size(), 9);
    EXPECT_EQ(w.HelpMenu->actions().last()->objectName(), "HelpMenu_10");
    EXPECT_EQ(w.EditMenu->actions().size(), 8);
    EXPECT_EQ(w.ToolsMenu->actions().size(), 2);

    ASSERT_EQ(w.FileListView->columnCount(), 5);
    const int widths[] = {180, 70, 70, 120, 60};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.FileListView->headerItem()->text(i),
                  GetLangText(QStringLiteral("fileListCol_%1").arg(i + 1)));
        EXPECT_EQ(w.FileListView->columnWidth(i), widths[i]);
    }
    EXPECT_FALSE(w.FileListView->header()->sectionsClickable());

    // Start-up state.
    EXPECT_EQ(w.cmbOutput->currentText(), GetOptions().OutPutFolder);
    EXPECT_TRUE(w.FileListView->isHidden());
    EXPECT_FALSE(w.btnImageAdd->isHidden());
    EXPECT_FALSE(w.btnClip->isEnabled());
    EXPECT_TRUE(w.BtnEdit->isHidden());
    EXPECT_TRUE(w.CkbApplyAll->isChecked());
    EXPECT_TRUE(w.BtnVol->isHidden());
    EXPECT_FALSE(w.BtnMute->isHidden());
    EXPECT_EQ(w.BtnVol->geometry(), w.BtnMute->geometry());
    EXPECT_TRUE(w.btnPause->isHidden());
    EXPECT_EQ(w.btnPause->width(), w.BtnPlay->width() - 1);
    EXPECT_EQ(w.VolTrace->maximum(), w.VolTrace->width());
    EXPECT_EQ(w.VolTrace->value(), w.VolTrace->width() * 2 / 3);
    EXPECT_EQ(w.lbProductTitle->text(), "Vanto Video Converter");
    EXPECT_EQ(w.lbProductTitle->x(), w.lbBottom->x() - w.lbProductTitle->width() / 2);
    EXPECT_TRUE(QDir(sandbox.homeDir() + "/Documents/Vantosoft/Log").exists());
    EXPECT_EQ(dialogs.calls.size(), 0);
}

TEST(MainWindow, EditMenuFollowsTheListState) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    // Indexes: 0 clear, 1 remove, 2 rename, 3 -, 4 up, 5 down, 6 -, 7 information.
    QList<bool> s = editStates(w);
    EXPECT_FALSE(s[0] || s[1] || s[2] || s[4] || s[5] || s[7]);

    addRows(w, 2);
    s = editStates(w);  // rows but no selection: only clear
    EXPECT_TRUE(s[0]);
    EXPECT_FALSE(s[1] || s[2] || s[4] || s[5] || s[7]);

    w.FileListView->setCurrentItem(w.FileListView->topLevelItem(0));
    s = editStates(w);
    EXPECT_TRUE(s[0] && s[1] && s[2] && s[5] && s[7]);
    EXPECT_FALSE(s[4]);

    w.FileListView->setCurrentItem(w.FileListView->topLevelItem(1));
    s = editStates(w);
    EXPECT_TRUE(s[4]);
    EXPECT_FALSE(s[5]);
}

TEST(MainWindow, TrayAnimationAndBackgroundRunning) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    w.show();
    EXPECT_FALSE(w.TrayIcon->isVisible());
    w.fIconIndex = 2;
    w.MinimizeToTray();
    EXPECT_EQ(w.fIconIndex, 0);
    QList<int> frames;
    for (int i = 0; i < 4; ++i) {
        w.TrayIconAnimate();
        frames << w.fIconIndex;
    }
    EXPECT_EQ(frames, (QList<int>{1, 2, 0, 1}));
    EXPECT_EQ(w.TrayAnimationTimer->interval(), 200);
    w.ShowTrayBalloon("t", "m", false);
    w.TrayIconDblClick();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_FALSE(w.TrayIcon->isVisible());
}

TEST(MainWindow, ExitFromTheTrayAsksAndNoKeepsRunning) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    w.show();
    dialogs.answers = {7};
    w.ExitItemClick();
    EXPECT_EQ(dialogs.texts("AskQuestion"), QStringList{GetLangText("ExitAskInfo")});
    EXPECT_TRUE(w.isVisible());
}

TEST(MainWindow, ClosingAsksNothingAndFreesTheOptionsStore) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    auto* w = new TfrmMain;
    w->show();
    GetOptions().LangValue = "changed in memory only";
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(dialogs.calls.size(), 0);
    // The store was freed: the next use reads the file again, which was never written.
    EXPECT_EQ(GetOptions().LangValue, "en");
    delete w;
}

TEST(MainWindowBadInput, MissingLanguageFileIsReportedAndTheWindowOpens) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.removeProgramFile("Lang.dll");
    TfrmMain w;
    w.show();
    EXPECT_TRUE(dialogs.texts("MessageBox").contains("Lang resource file does not exist."));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.StartupProblems.isEmpty());  // the menus could not get their captions
}

TEST(MainWindowBadInput, MalformedLanguageFileIsReportedAndTheWindowOpens) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.writeProgramFile("Lang.dll",
                             "<?xml version=\"1.0\"?><Lang><Item name=\"FileMenu_0\" en=\"File\"><Lang>");
    TfrmMain w;
    w.show();
    const QStringList boxes = dialogs.texts("MessageBox");
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_TRUE(boxes.first().contains("Lang.dll")) << boxes.first().toStdString();
    EXPECT_TRUE(w.isVisible());
}

TEST(MainWindowBadInput, GarbageInTheOptionsFileKeepsDefaults) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    const QString path = sandbox.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    f.write(junk);
    f.write("\r\noutput_folder=/films\r\n=\r\n===\r\n");
    f.close();
    TfrmMain w;
    EXPECT_TRUE(w.StartupProblems.isEmpty());
    EXPECT_EQ(w.cmbOutput->currentText(), "/films");
    EXPECT_EQ(GetOptions().ResultList, QStringList{"1055"});
}

TEST(MainWindowBadInput, ReadOnlyPerUserFolderStillStarts) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    const QString data = sandbox.homeDir() + "/.local/share/Vantosoft";
    QDir().mkpath(data);
    ReadOnlyFolder ro(data.toStdString());
    if (!ro.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
    TfrmMain w;
    w.show();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.cmbOutput->currentText(), sandbox.homeDir() + "/Documents/Vantosoft/OutPut");
}

#include "profiles/IconUtils.h"
#include "profiles/ProfileMenu.h"

TEST(MainWindowProfiles, TheFirstRecentProfileIsShownAtStartUp) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    ASSERT_NE(FindMenuInfo(1055), nullptr);
    EXPECT_EQ(w.PaneProfile->Tag, 1055);
    EXPECT_EQ(w.lbProfile()->text(), FindMenuInfo(1055)->Name);
    EXPECT_FALSE(w.PaneProfile->ImageProfile->pixmap().isNull());
}

TEST(MainWindowProfiles, AnUnknownRecentIdFallsBackToTheFirstProfile) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    const QString path = sandbox.homeDir() + "/.local/share/Vantosoft/vantooptions.ini";
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("recent=99999,1055,\r\n");
    f.close();
    TfrmMain w;
    ASSERT_FALSE(CategoryList().empty());
    const TMenuInfo* first = CategoryList().front()->Items.front().get();
    EXPECT_EQ(w.PaneProfile->Tag, first->ID.toInt());
    EXPECT_EQ(w.lbProfile()->text(), first->Name);
}

TEST(MainWindowBadInput, DamagedCatalogueFilesAreReportedAndTheWindowOpens) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.writeProgramFile("ProfileMenu.dll", "<Profiles><category id=\"x\"");
    sandbox.removeProgramFile("ParaInfo.dll");
    sandbox.writeProgramFile("ICON/broken.png", "not a picture");
    TfrmMain w;
    w.show();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.PaneProfile->Tag, -1);  // no profiles to choose from
    const QStringList boxes = dialogs.texts("MessageBox");
    EXPECT_TRUE(boxes.filter("ProfileMenu.dll").size() >= 1) << boxes.join("\n").toStdString();
    EXPECT_TRUE(boxes.contains(GetLangText("ErrorNoParaFile"))) << boxes.join("\n").toStdString();
    EXPECT_TRUE(boxes.filter("broken.png").size() >= 1) << boxes.join("\n").toStdString();
}

TEST(MainWindowBadInput, MissingCatalogueIsReported) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.removeProgramFile("ProfileMenu.dll");
    TfrmMain w;
    EXPECT_TRUE(dialogs.texts("MessageBox").contains("format resource file does not exist."));
    EXPECT_EQ(w.PaneProfile->Tag, -1);
}

TEST(MainWindowBadInput, UnloadableMediaLibrariesAreReportedTwiceAndStartUpGoesOn) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    // A library in the "lib" folder takes precedence over the system's; a broken one fails the
    // player's and the transcoder's sets alike.
    sandbox.writeProgramFile("lib/libavfilter.so.8", "not a library");
    FFLoader().Unload(kPlayerLibraries);  // loaded by an earlier test of this process, if any
    TfrmMain w;
    w.show();
    const QStringList infos = dialogs.texts("ShowInfo");
    ASSERT_EQ(infos.size(), 2) << infos.join("\n").toStdString();
    for (const QString& text : infos)
        EXPECT_TRUE(text.startsWith("Load library")) << text.toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.PaneProfile->Tag, 1055);
}

TEST(MainWindowBadInput, AFailingHandlerIsReportedAndTheWindowStaysUsable) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.removeProgramFile("Lang.dll");
    TfrmMain w;
    dialogs.calls.clear();
    w.Guarded(&TfrmMain::MenuAddFolderClick, "MenuAddFolderClick")();  // needs a language text
    ASSERT_EQ(dialogs.count("MessageBox"), 1);
    EXPECT_TRUE(dialogs.texts("MessageBox").first().contains("Item not found"));
    EXPECT_EQ(w.RowCount(), 0);
}

TEST(MainWindow, HelpMenuItemsOpenPagesThroughThePlatform) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    w.MainMenuClick(w.MenuAction("HelpMenu_06"));
    EXPECT_EQ(sandbox.platform.opened, QStringList{GetOptions().ProductPage});
    w.MainMenuClick(w.MenuAction("HelpMenu_10"));
    ASSERT_EQ(dialogs.count("MessageBox"), 1);
    EXPECT_TRUE(dialogs.texts("MessageBox").first().contains("Version 1.0.0.0"));
    w.MainMenuClick(nullptr);  // a missing sender does nothing
    w.lbBottom->clicked();
    EXPECT_EQ(sandbox.platform.opened.last(), GetOptions().HomePage);
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
    // Without a browser the failure is told, naming the address.
    sandbox.platform.opens = false;
    w.lbBottom->clicked();
    EXPECT_EQ(dialogs.texts("ShowInfo"),
              QStringList{FormatText(GetLangText("OpenDocumentFailed"), {GetOptions().HomePage})});
}

#include <QRegularExpression>
#include <QTextBrowser>

#include "app/HelpWindow.h"

// Help opens inside the program in the chosen language, its pages link to each other, and
// without installed pages the web address is the fallback.
TEST(MainWindowHelp, ShippedPagesInTheProgramsLanguage) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    // Every link between the shipped pages leads to a page that is there.
    for (const char* language : {"en", "zh"}) {
        const QDir folder(sandbox.programDir() + "/help/" + language);
        EXPECT_EQ(folder.entryList({"*.html"}), (QStringList{"cli.html", "index.html", "run.html"})) << language;
        for (const QString& page : folder.entryList({"*.html"})) {
            QFile f(folder.filePath(page));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            auto links = QRegularExpression("href=\"([^\"#]*)(#[^\"]*)?\"").globalMatch(text);
            while (links.hasNext()) {
                const QString target = links.next().captured(1);
                if (!target.isEmpty()) {
                    EXPECT_TRUE(folder.exists(target)) << language << "/" << page.toStdString();
                }
            }
        }
    }

    TfrmMain w;
    w.ShowHelp();
    auto* help = w.findChild<THelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->Browser()->toPlainText().contains("Adding files"));
    help->Browser()->setSource(QUrl("run.html#existing"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains("What happens to existing files"));
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
    help->close();

    GetOptions().LangValue = "zh";
    w.ShowHelp();
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QString::fromUtf8("添加文件")));

    QDir(sandbox.programDir() + "/help").removeRecursively();
    w.ShowHelp();
    const QString web = GetOptions().HelpPage.isEmpty() ? GetOptions().HomePage : GetOptions().HelpPage;
    EXPECT_FALSE(web.isEmpty());
    EXPECT_EQ(sandbox.platform.opened, QStringList{web});
}

TEST(MainWindow, ResizesWithTheListWiderAndThePreviewInShapeAndKeepsItsPlace) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    auto w = std::make_unique<TfrmMain>();
    w->ShowFileListState();
    w->show();
    EXPECT_EQ(w->size(), QSize(878, 543));
    EXPECT_EQ(w->minimumSize(), QSize(878, 543));
    // Every control's place at the smallest size, to come back to.
    QHash<QWidget*, QRect> base;
    for (QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        base[c] = c->geometry();
    const QRect list = w->FileListView->geometry(), panel = w->PanelRenderPanel->geometry();

    w->resize(1600, 1000);
    QCoreApplication::sendPostedEvents();
    const QRect bigList = w->FileListView->geometry(), bigPanel = w->PanelRenderPanel->geometry();
    EXPECT_GT(bigList.width(), list.width() + 300);
    EXPECT_GT(bigPanel.width(), panel.width());
    EXPECT_NEAR(bigPanel.width() * 3.0 / bigPanel.height(), 4.0, 0.03);
    // Nothing leaves the window and the controls that sit side by side do not overlap.
    const QList<QWidget*> controls{w->FileListView, w->PanelRenderPanel, w->VideoTracer, w->lbPlayTime,
                                   w->BtnPlay,      w->BtnStop,          w->BtnSnap,     w->BtnOpenFolder,
                                   w->BtnMute,      w->VolTrace,         w->PaneProfile, w->cmbOutput,
                                   w->BtnBrower,    w->BtnSetting,       w->BtnFindTarget, w->BtnStart,
                                   w->LbVideoFileTitle, w->lbStatus};
    for (QWidget* a : controls) {
        EXPECT_TRUE(w->rect().contains(a->geometry())) << a->objectName().toStdString();
        for (QWidget* b : controls)
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " over " << b->objectName().toStdString();
            }
    }
    EXPECT_GT(w->PaneProfile->lbProfile->width(), 500);  // long profile names have room

    // Back to the smallest size: everything where it was.
    w->resize(878, 543);
    QCoreApplication::sendPostedEvents();
    for (auto it = base.cbegin(); it != base.cend(); ++it)
        EXPECT_EQ(it.key()->geometry(), it.value()) << it.key()->objectName().toStdString();

    // The place is kept when the window closes and taken by the next one (within the screen).
    w->setGeometry(12, 34, 900, 560);
    w->close();
    w.reset();
    EXPECT_EQ(GetOptions().MainWindowPlace.isEmpty(), false);
    auto again = std::make_unique<TfrmMain>();
    EXPECT_EQ(again->pos(), QPoint(12, 34));
    EXPECT_EQ(again->height(), 560);
}
