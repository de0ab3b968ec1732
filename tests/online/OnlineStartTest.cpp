#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <QUrl>

#include "OnlineServers.h"
#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "online/DownloadFrm.h"
#include "online/YouTubeFrm.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// A video page whose FLV stream is `flvPath` on the same server.
QByteArray page(const TestHttpServer& server, const QString& id, const QString& title,
                const QString& flvPath) {
    const QString map =
        QString(QUrl::toPercentEncoding("34|http://nowhere/x.mp4," + ("5|" + server.url(flvPath))));
    return QStringLiteral(
               "<html><head><meta name=\"title\" content=\"%1\"></head><body><script>\n"
               "var swfHTML = (isIE) ? \"<object><param name=\\\"flashvars\\\" value=\\\"video_id=%2&"
               "length_seconds=2&fmt_url_map=%3\\\"></param></object>\" : "
               "\"<embed>\";\n</script></body></html>")
        .arg(title, id, map)
        .toUtf8();
}

class OnlineStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok());
        QFile clip(QString::fromStdString(fixtures::Clip("online_start_2s.flv", 2, 320, 240, 25)));
        ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
        server.put("stream.flv", clip.readAll());
        server.put("good.html", page(server, "goodvid", "Good video", "/slow/stream.flv?kbps=2000"));
        server.put("gone.html", page(server, "gonevid", "Gone video", "/files/missing.flv"));
        GetOptions().VideoSite = server.url("");
        GetOptions().OutPutFolder = sandbox.root() + "/out";
        w = std::make_unique<TfrmMain>();
        w->cmbOutput->setEditText(GetOptions().OutPutFolder);
    }
    // The online video dialog, used as a user would: address, Go, OK.
    void addOnlineRow(const QString& path) {
        dialogs.dialogHandlers << [this, path](QDialog* d) {
            auto* dlg = qobject_cast<TFrmYouTube*>(d);
            dlg->txtYoutubeUrl->setText(server.url(path));
            dlg->btnGoClick();
            dlg->btnOKClick();
            return dlg->result();
        };
        w->BtnEditClick();
    }
    void runDownloads(bool downloadOnly = false) {
        dialogs.dialogHandlers << [downloadOnly](QDialog* d) {
            auto* dlg = qobject_cast<TfrmDownload*>(d);
            dlg->ckbDownloadOnly->setChecked(downloadOnly);
            QTimer::singleShot(60000, dlg, [dlg] { dlg->done(2); });
            return dlg->exec();
        };
    }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TestHttpServer server;
    std::unique_ptr<TfrmMain> w;
};
}  // namespace

TEST_F(OnlineStartTest, OnlineRowsAreDownloadedThroughTheProxyAndConverted) {
    TinyProxy proxy("runner", "pw");
    ASSERT_TRUE(proxy.ok()) << proxy.error().toStdString();
    proxy.UseInOptions("runner", "pw");
    TOptions& o = GetOptions();

    addOnlineRow("/files/good.html");
    addOnlineRow("/files/gone.html");
    ASSERT_EQ(w->RowCount(), 2);
    EXPECT_EQ(w->Row(0)->text(TFileListItem::colName), "Good video");
    EXPECT_EQ(w->Row(0)->text(TFileListItem::colOutput), "goodvid");
    EXPECT_TRUE(w->Row(0)->Entry()->IsYutubeFile);
    EXPECT_TRUE(w->Row(0)->Entry()->FileName.isEmpty());

    runDownloads();
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        dlg->cbOpenTarget->setChecked(false);
        return dlg->exec();
    };
    w->BtnStartClick();

    const QStringList infos = dialogs.texts("ShowInfo");
    ASSERT_EQ(infos.size(), 2) << infos.join(" | ").toStdString();
    EXPECT_EQ(infos[0], FormatText(GetLangText("DownloadFailedInfo"), {"Gone video"}));
    EXPECT_EQ(infos[1], GetLangText("Convert_Finish"));
    const QString output = o.OutPutFolder + "/goodvid.mp4";
    EXPECT_NEAR(fixtures::ProbeDuration(output.toStdString()), 2.0, 0.3);
    EXPECT_TRUE(QFile::exists(o.YouTubeDowloadPath() + "goodvid.flv"));
    EXPECT_FALSE(QFile::exists(o.OutPutFolder + "/gonevid.mp4"));
    EXPECT_TRUE(w->Row(1)->Entry()->IsYutubeFile);  // the failed row stays an online row
    EXPECT_TRUE(server.requests().contains("/slow/stream.flv"));
    EXPECT_TRUE(proxy.logText().contains("/files/good.html"));  // page and stream went through the proxy
    EXPECT_TRUE(proxy.logText().contains("/slow/stream.flv"));
}

TEST_F(OnlineStartTest, DownloadOnlyOpensTheFolderAndConvertsNothing) {
    addOnlineRow("/files/good.html");
    runDownloads(true);
    w->BtnStartClick();
    EXPECT_EQ(sandbox.platform.opened, QStringList{GetOptions().YouTubeDowloadPath()});
    EXPECT_EQ(dialogs.count("Dialog"), 2);  // the online dialog and the download window, no conversion
    EXPECT_TRUE(QFile::exists(GetOptions().YouTubeDowloadPath() + "goodvid.flv"));
    EXPECT_FALSE(w->Row(0)->Entry()->IsYutubeFile);
    EXPECT_TRUE(w->Row(0)->Entry()->HasData);  // probed after the download
}

TEST_F(OnlineStartTest, ACancelledDownloadStartsNothing) {
    addOnlineRow("/files/good.html");
    dialogs.dialogHandlers << [](QDialog*) { return 2; };
    w->BtnStartClick();
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
    EXPECT_EQ(dialogs.count("Dialog"), 2);
    EXPECT_TRUE(QDir(GetOptions().YouTubeDowloadPath()).entryList(QDir::Files).isEmpty());
}
