#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>
#include <map>

#include "LogCapture.h"
#include "OnlineServers.h"
#include "app/CommEntity.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "online/DownloadFrm.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLang();
        ASSERT_TRUE(server.ok());
        GetOptions().OutPutFolder = sandbox.root() + "/out";
        folder = GetOptions().YouTubeDowloadPath();
        flv = readAll(QString::fromStdString(fixtures::Clip("online_4s.flv", 4, 320, 240, 25)));
        ASSERT_GT(flv.size(), 100000);
        server.put("clip.flv", flv);
    }
    std::unique_ptr<ListFileInfo> entry(const QString& id, const QString& url) {
        auto e = std::make_unique<ListFileInfo>();
        e->IsYutubeFile = true;
        e->YoutubeVideId = id;
        e->YoutubeTitle = "Title " + id;
        e->YoutubeFlvUrl = url;
        return e;
    }
    // Runs the window's event loop until it closes itself (or 60 s pass).
    int run(TfrmDownload& dlg) {
        QTimer::singleShot(60000, &dlg, [&dlg] { dlg.done(99); });
        return dlg.exec();
    }
    QStringList filesInFolder() const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TestHttpServer server;
    QString folder;
    QByteArray flv;
};
}  // namespace

TEST_F(DownloadTest, ThreeEntriesRunTwoAtATimeWithRisingProgress) {
    std::vector<std::unique_ptr<ListFileInfo>> entries;
    for (const char* id : {"one", "two", "three"})
        entries.push_back(entry(id, server.url("/slow/clip.flv?kbps=400")));
    TfrmDownload dlg;
    std::map<QTreeWidgetItem*, QList<int>> progress;
    QObject::connect(dlg.ListViewConvertList, &QTreeWidget::itemChanged, &dlg,
                     [&progress](QTreeWidgetItem* item, int column) {
                         if (column == 1) progress[item] << item->text(1).toInt();
                     });
    ASSERT_TRUE(dlg.SetDataList({entries[0].get(), entries[1].get(), entries[2].get()}));
    EXPECT_EQ(run(dlg), 1);
    EXPECT_EQ(server.maxRunning(), 2);
    for (int i = 0; i < 3; ++i) {
        const ListFileInfo& e = *entries[i];
        EXPECT_EQ(e.FileName, folder + e.YoutubeVideId + ".flv");
        EXPECT_EQ(readAll(e.FileName), flv) << e.YoutubeVideId.toStdString();
        EXPECT_TRUE(e.HadDownloaded);
        EXPECT_FALSE(e.IsYutubeFile);
        EXPECT_EQ(dlg.RowImage(i), TfrmDownload::imgDone);
        const QList<int>& p = progress[dlg.ListViewConvertList->topLevelItem(i)];
        ASSERT_GT(p.size(), 3);
        EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
        EXPECT_EQ(p.last(), 100);
    }
    EXPECT_EQ(filesInFolder(), (QStringList{"one.flv", "three.flv", "two.flv"}));  // nothing half-written
    EXPECT_EQ(dialogs.calls.size(), 0);
}

TEST_F(DownloadTest, ExistingTargetsAskWhetherToReplace) {
    for (const char* name : {"abc.flv", "abc_(new_1).flv", "def.flv", "ghi.flv"})
        fixtures::WriteFile((folder + name).toStdString(), "mine");
    dialogs.answers = {7, 6, 10};
    TfrmDownload dlg;
    EXPECT_EQ(dlg.CheckOutputFile("abc", ".flv"), folder + "abc_(new_2).flv");  // No
    EXPECT_EQ(dlg.CheckOutputFile("abc", ".flv"), folder + "abc.flv");          // Yes
    EXPECT_EQ(dlg.CheckOutputFile("def", ".flv"), folder + "def.flv");          // Yes to all
    EXPECT_EQ(dlg.CheckOutputFile("ghi", ".flv"), folder + "ghi.flv");          // remembered
    EXPECT_EQ(dialogs.count("AskQuestion"), 3);
    EXPECT_EQ(dialogs.texts("AskQuestion")[0], FormatText(GetLangText("DlgReplaceDlTitle"), {"abc.flv"}));
    EXPECT_TRUE(dialogs.calls[0].multiAsk);
    EXPECT_EQ(readAll(folder + "abc.flv"), "mine");  // nothing is replaced before a download completes
    // Two rows with the same identifier in one window get two files.
    EXPECT_EQ(dlg.CheckOutputFile("new", ".flv"), folder + "new.flv");
    EXPECT_EQ(dlg.CheckOutputFile("new", ".flv"), folder + "new_(new_1).flv");
    const QString generated = QFileInfo(dlg.CheckOutputFile("", ".flv")).fileName();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}\\.flv$").match(generated).hasMatch())
        << generated.toStdString();
}

TEST_F(DownloadTest, AFailedDownloadIsLoggedWhileTheOtherFinishes) {
    LogCapture capture("download.test");
    auto good = entry("good", server.url("/files/clip.flv"));
    auto bad = entry("bad", server.url("/files/missing.flv"));
    TfrmDownload dlg;
    dlg.FFMPEGLog = capture.log;
    ASSERT_TRUE(dlg.SetDataList({bad.get(), good.get()}));
    EXPECT_EQ(run(dlg), 1);
    EXPECT_EQ(dlg.RowImage(0), TfrmDownload::imgFailed);
    EXPECT_EQ(dlg.RowImage(1), TfrmDownload::imgDone);
    EXPECT_TRUE(bad->IsYutubeFile);
    EXPECT_FALSE(bad->HadDownloaded);
    EXPECT_EQ(readAll(good->FileName), flv);
    ASSERT_EQ(capture.lines().size(), 1);
    EXPECT_TRUE(capture.lines()[0].contains("HTTP 404")) << capture.lines()[0].toStdString();
    EXPECT_EQ(filesInFolder(), QStringList{"good.flv"});
}

TEST_F(DownloadTest, CancelStopsTheTransfersAndKeepsTheUsersFile) {
    server.put("big.flv", QByteArray(3 * 1024 * 1024, 'v'));
    fixtures::WriteFile((folder + "kept.flv").toStdString(), "mine");
    dialogs.answers = {6 /* replace kept.flv */, 7 /* don't stop */, 6 /* stop */};
    auto kept = entry("kept", server.url("/slow/big.flv?kbps=300"));
    auto fresh = entry("fresh", server.url("/slow/big.flv?kbps=300"));
    TfrmDownload dlg;
    ASSERT_TRUE(dlg.SetDataList({kept.get(), fresh.get()}));
    QTimer::singleShot(700, &dlg, [&dlg] {
        dlg.btnCancel->click();  // answered No: the downloads go on
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(dlg.finished);
        dlg.btnCancel->click();
    });
    EXPECT_EQ(run(dlg), 2);
    EXPECT_EQ(dialogs.texts("AskQuestion").mid(1),
              (QStringList{GetLangText("DownloadAsk_Content"), GetLangText("DownloadAsk_Content")}));
    EXPECT_EQ(readAll(folder + "kept.flv"), "mine");
    EXPECT_EQ(filesInFolder(), QStringList{"kept.flv"});
    EXPECT_TRUE(kept->IsYutubeFile);
    EXPECT_GT(dlg.RowProgress(0).toInt(), 0);
    EXPECT_LT(dlg.RowProgress(0).toInt(), 100);
}

TEST_F(DownloadTest, OpenFolderAndAnEmptyList) {
    TfrmDownload dlg;
    EXPECT_FALSE(dlg.SetDataList({}));
    EXPECT_EQ(dlg.result(), 2);
    EXPECT_FALSE(dlg.GetIsDownloadOnly());
    dlg.BtnOpenFolder->click();
    EXPECT_EQ(sandbox.platform.opened, QStringList{folder});
}
