#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "LogCapture.h"
#include "OnlineServers.h"
#include "app/CommEntity.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "online/OnlineSites.h"
#include "online/ProxyDlg.h"
#include "online/YouTubeFrm.h"
#include "online/YouTubePage.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// A page in the video site's layout; `flashVars` goes into the player script as it is.
QString page(const QString& title, const QString& flashVars, const QString& filler = QString()) {
    return QStringLiteral(
               "<html><head>\n<meta name=\"title\" content=\"%1\">\n</head><body>%3\n<script>\n"
               "var swfHTML = (isIE) ? \"<object width=\\\"480\\\"><param name=\\\"movie\\\" "
               "value=\\\"/player.swf\\\"></param><param name=\\\"flashvars\\\" value=\\\"%2\\\"></param>"
               "</object>\" : \"<embed src=\\\"/player.swf\\\">\";\n</script></body></html>\n")
        .arg(title, flashVars, filler);
}

// Percent-encoded stream map: an MP4 entry, then an FLV entry.
const QString kMap = "34%7Chttp%3A%2F%2Fstreams%2Fa.mp4%2C5%7Chttp%3A%2F%2Fstreams%2Fb.flv";

std::unique_ptr<ListFileInfo> analysed(const QString& text) {
    auto e = std::make_unique<ListFileInfo>();
    YouTubePage::Analyse(text, *e);
    return e;
}
}  // namespace

TEST(YouTubePage, ReadsIdentifierLengthAndStreamsFromThePlayerScript) {
    TestSandbox sandbox;
    const auto e = analysed(page("A clip", "video_id=abc&length_seconds=61&fmt_url_map=" + kMap));
    EXPECT_EQ(e->YoutubeTitle, "A clip");
    EXPECT_EQ(e->YoutubeVideId, "abc");
    EXPECT_EQ(e->YoutubeLength, "61");
    EXPECT_EQ(e->YoutubeMp4Url, "http://streams/a.mp4");
    EXPECT_EQ(e->YoutubeFlvUrl, "http://streams/b.flv");
    EXPECT_EQ(e->YoutubeThumbnailUrl, "http://img.youtube.com/vi/abc/default.jpg");
    EXPECT_EQ(e->YoutubeVideoUrl, "http://www.youtube.com/v/abc");
}

TEST(YouTubePage, VariableTableRules) {
    const auto t = YouTubePage::VariableTable(
        "novalue & a=b=c & x==y & Name=first%20v & NAME=second%20v & "
        "Z%41=1 & ok=%41");
    EXPECT_FALSE(t.contains("novalue"));
    EXPECT_FALSE(t.contains("a"));
    EXPECT_FALSE(t.contains("x"));
    EXPECT_EQ(t.value("name"), "second%20v");  // a repeated name is not decoded
    EXPECT_EQ(t.value("zA"), "1");             // the lower-cased name is decoded
    EXPECT_EQ(t.value("ok"), "A");

    // fmt_url_map wins over fmt_stream_map; a later entry with the same prefix wins.
    const auto e = analysed(
        page("t",
             "fmt_stream_map=5%7Chttp%3A%2F%2Fother%2Fx.flv&fmt_url_map=5%7Chttp%3A%2F%2Fh%2F1.flv%2C5%7C"
             "http%3A%2F%2Fh%2F2.flv"));
    EXPECT_EQ(e->YoutubeFlvUrl, "http://h/2.flv");
    EXPECT_TRUE(e->YoutubeVideId.isEmpty());
}

TEST(YouTubePage, MissingPiecesLeaveTheirFieldsEmpty) {
    TestSandbox sandbox;
    const auto noTitle = analysed(page("x", "video_id=abc").replace("name=\"title\"", "name=\"other\""));
    EXPECT_TRUE(noTitle->YoutubeTitle.isEmpty());
    EXPECT_EQ(noTitle->YoutubeVideId, "abc");

    const auto noScript = analysed(page("T", "video_id=abc").replace("swfHTML", "otherHTML"));
    EXPECT_EQ(noScript->YoutubeTitle, "T");
    EXPECT_TRUE(noScript->YoutubeVideId.isEmpty());

    const auto noVars = analysed(page("T", "video_id=abc").replace("flashvars", "somevars"));
    EXPECT_EQ(noVars->YoutubeTitle, "T");
    EXPECT_TRUE(noVars->YoutubeVideId.isEmpty());
    EXPECT_TRUE(noVars->YoutubeFlvUrl.isEmpty());
}

TEST(YouTubePage, KeepsTheTitlesCharactersAndCopesWithALargePage) {
    TestSandbox sandbox;
    const QString title = QString::fromUtf8("视频 – Café à l'été");
    QString filler;
    while (filler.size() < 3 * 1024 * 1024 + 512 * 1024)  // just under the 4 MiB a page may have
        filler += "<div class=\"row\">some text of the page, nothing to find here</div>\n";
    QElapsedTimer t;
    t.start();
    const auto e = analysed(page(title, "video_id=big&fmt_url_map=" + kMap, filler));
    EXPECT_EQ(e->YoutubeTitle, title);
    EXPECT_EQ(e->YoutubeVideId, "big");
    EXPECT_EQ(e->YoutubeFlvUrl, "http://streams/b.flv");
    EXPECT_LT(t.elapsed(), 5000) << "a 3.5 MB page took " << t.elapsed() << " ms";
}

TEST(YouTubePage, PageAddressesOfTheSite) {
    TestSandbox sandbox;
    EXPECT_TRUE(OnlineSites::IsVideoPageAddress("http://www.youtube.com/watch?v=abc"));
    EXPECT_TRUE(OnlineSites::IsVideoPageAddress("HTTP://WWW.YouTube.COM/watch?v=abc"));
    EXPECT_TRUE(OnlineSites::IsVideoPageAddress("https://www.youtube.com/watch?v=abc"));
    EXPECT_FALSE(OnlineSites::IsVideoPageAddress("http://www.youtube.com.evil/watch"));
    EXPECT_FALSE(OnlineSites::IsVideoPageAddress("ftp://www.youtube.com/x"));
    GetOptions().VideoSite = "http://127.0.0.1:8123";
    EXPECT_TRUE(OnlineSites::IsVideoPageAddress("http://127.0.0.1:8123/watch"));
    EXPECT_FALSE(OnlineSites::IsVideoPageAddress("http://www.youtube.com/watch"));
}

// The dialog against a real server: a page fetched and read, a bad address refused, a page that
// can't be fetched logged and reported, and the proxy from the options used.
TEST(YouTubeFrm, AnalysesAPageFromTheServer) {
    TestSandbox sandbox;
    LoadLang();
    ScriptedDialogs dialogs;
    TestHttpServer server;
    ASSERT_TRUE(server.ok());
    GetOptions().VideoSite = server.url("");
    server.put("watch.html", page("Served", "video_id=srv&length_seconds=9&fmt_url_map=" + kMap).toUtf8());
    LogCapture capture("youtube.test");

    TFrmYouTube dlg;
    dlg.FFMPEGLog = capture.log;
    dlg.txtYoutubeUrl->setText("http://elsewhere.example/watch");
    dlg.btnGoClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("infoInvaildUrl")});

    dlg.txtYoutubeUrl->setText(
        server.url("/files/watch.html").toUpper().replace("/FILES/WATCH.HTML", "/files/watch.html"));
    dlg.btnGoClick();
    EXPECT_EQ(dialogs.count("ShowInfo"), 1);
    EXPECT_EQ(dlg.ListFileInfoEntity()->YoutubeVideId, "srv");
    EXPECT_EQ(dlg.ListFileInfoEntity()->YoutubeFlvUrl, "http://streams/b.flv");
    dlg.btnOKClick();
    EXPECT_EQ(dlg.result(), 1);
    std::unique_ptr<ListFileInfo> taken = dlg.TakeEntity();
    ASSERT_TRUE(taken);
    EXPECT_TRUE(taken->IsYutubeFile);
    EXPECT_EQ(taken->YoutubeTitle, "Served");

    TFrmYouTube missing;
    missing.FFMPEGLog = capture.log;
    const QString address = server.url("/files/nothing.html");
    missing.txtYoutubeUrl->setText(address);
    missing.btnGoClick();
    EXPECT_EQ(dialogs.texts("ShowInfo").last(), GetLangText("infoDotGetVideo"));
    ASSERT_EQ(capture.lines().size(), 1);
    EXPECT_TRUE(capture.lines()[0].startsWith("Youtube Video:" + address + "Error:HTTP 404"))
        << capture.lines()[0].toStdString();

    // Through tinyproxy with the options' credentials; a wrong password fails the analysis.
    TinyProxy proxy("viewer", "pa55");
    ASSERT_TRUE(proxy.ok()) << proxy.error().toStdString();
    proxy.UseInOptions("viewer", "pa55");
    TOptions& o = GetOptions();
    TFrmYouTube viaProxy;
    viaProxy.txtYoutubeUrl->setText(server.url("/files/watch.html"));
    viaProxy.btnGoClick();
    EXPECT_EQ(viaProxy.ListFileInfoEntity()->YoutubeVideId, "srv");
    EXPECT_EQ(dialogs.count("ShowInfo"), 2);
    o.ProxyPwd = "bad";
    TFrmYouTube refused;
    refused.FFMPEGLog = capture.log;
    refused.txtYoutubeUrl->setText(server.url("/files/watch.html"));
    refused.btnGoClick();
    EXPECT_TRUE(refused.ListFileInfoEntity()->YoutubeVideId.isEmpty());
    EXPECT_EQ(dialogs.count("ShowInfo"), 3);
    EXPECT_TRUE(capture.lines().last().contains("proxy")) << capture.lines().last().toStdString();
}

TEST(ProxyDlg, StoresTheFieldsOnOkOnly) {
    TestSandbox sandbox;
    LoadLang();
    TOptions& o = GetOptions();
    o.IsUseProxy = "yes";
    o.ProxyAddress = "proxy.lan";
    o.ProxyPort = "3128";
    o.ProxyUserName = "u";
    o.ProxyPwd = "p";
    {
        TfrmProxy dlg;
        EXPECT_TRUE(dlg.ckbEnableProxy->isChecked());
        EXPECT_TRUE(dlg.AFGroupBox->isEnabled());
        EXPECT_EQ(dlg.txtProxyPort->text(), "3128");
        EXPECT_EQ(dlg.txtPassword->echoMode(), QLineEdit::Password);
        dlg.txtProxyAddr->setText("changed");
        dlg.btnCancelClick();
        EXPECT_EQ(o.ProxyAddress, "proxy.lan");
    }
    {
        TfrmProxy dlg;
        dlg.ckbEnableProxy->setChecked(false);
        EXPECT_FALSE(dlg.AFGroupBox->isEnabled());
        dlg.txtProxyPort->setText("letters");
        dlg.btnOKClick();
        EXPECT_EQ(dlg.result(), 1);
    }
    ResetOptions();  // read back what was saved
    EXPECT_EQ(GetOptions().IsUseProxy, "no");
    EXPECT_EQ(GetOptions().ProxyAddress, "proxy.lan");
    EXPECT_EQ(GetOptions().ProxyPort, "80");
    EXPECT_EQ(GetOptions().ProxyUserName, "u");
    EXPECT_EQ(GetOptions().ProxyPwd, "p");
    {
        TfrmProxy dlg;
        dlg.txtProxyPort->setText("8080");
        dlg.btnOKClick();
    }
    EXPECT_EQ(GetOptions().ProxyPort, "8080");
}
