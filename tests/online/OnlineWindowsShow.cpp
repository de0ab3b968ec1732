// Shows the download window with transfers in progress, the update window downloading, or the
// online video dialog reading a slow page, on the real display for the real-window test, against
// the local test server; ends when the transfers end. Exit status 0 when every file arrived
// complete (for the page: when the page was read while the window kept painting).
//   usage: online_windows_show download|update|page
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>

#include "OnlineServers.h"
#include "app/CommEntity.h"
#include "common/TestSandbox.h"
#include "online/DownloadFrm.h"
#include "online/UpdateCheck.h"
#include "online/UpdateFrm.h"
#include "online/YouTubeFrm.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int showDownloads(QApplication& app, const TestHttpServer& server) {
    const QByteArray stream(2 * 1024 * 1024, 's');
    server.put("stream.flv", stream);
    std::vector<std::unique_ptr<ListFileInfo>> entries;
    const char* titles[] = {"Café concert, part one", "Mountain railway", "Harbour at night"};
    const char* ids[] = {"cafe1", "railway", "harbour"};
    for (int i = 0; i < 3; ++i) {
        auto e = std::make_unique<ListFileInfo>();
        e->IsYutubeFile = true;
        e->YoutubeTitle = QString::fromUtf8(titles[i]);
        e->YoutubeVideId = ids[i];
        e->YoutubeFlvUrl = server.url(QStringLiteral("/slow/stream.flv?kbps=%1").arg(i == 0 ? 400 : 250));
        entries.push_back(std::move(e));
    }
    TfrmDownload dlg;
    if (!dlg.SetDataList({entries[0].get(), entries[1].get(), entries[2].get()})) return 1;
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    dlg.show();
    app.exec();
    int missing = 0;
    for (const auto& e : entries)
        if (readAll(e->FileName) != stream) ++missing;
    std::printf("download window: result %d, %d of 3 files incomplete\n", dlg.result(), missing);
    return dlg.result() == 1 && missing == 0 ? 0 : 1;
}

int showUpdate(QApplication& app, const TestHttpServer& server) {
    TOptions& o = GetOptions();
    const QByteArray package(3 * 1024 * 1024, 'p');
    server.put("download1/" + o.ProductID + ".deb", package);
    o.DownloadPage = server.url("/slow/download1/" + o.ProductID + ".deb?kbps=500");
    QString error;
    const QString folder = UpdateCheck::MakePackageFolder(&error);
    auto file = TWorkingFile::Create(folder, UpdateCheck::PackageFileName(), 0600, &error);
    if (!file) return 1;
    TfrmUpdate dlg;
    dlg.Start(std::move(file));
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    dlg.show();
    app.exec();
    const std::unique_ptr<TWorkingFile> written = dlg.downloadThread->TakeFile();
    const bool complete = written && readAll(written->Path()) == package;
    std::printf("update window: result %d, package %s\n", dlg.result(), complete ? "complete" : "incomplete");
    return dlg.result() == 1 && complete ? 0 : 1;
}
int showPage(QApplication& app, const TestHttpServer& server) {
    QByteArray page = "<html><head><meta name=\"title\" content=\"Harbour at night\"></head><body>\n";
    while (page.size() < 600 * 1024)
        page += "<div>some text of the page, nothing to find here</div>\n";
    page += "<script>var swfHTML = (isIE) ? \"<param name=\\\"flashvars\\\" value=\\\"video_id=harbour&"
            "length_seconds=95\\\">\";</script></body></html>\n";
    server.put("watch.html", page);
    GetOptions().VideoSite = server.url("");
    TFrmYouTube dlg;
    dlg.txtYoutubeUrl->setText(server.url("/slow/watch.html?kbps=150"));
    dlg.show();
    // The longest pause of the window's own timer while the page is read on the worker.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    bool read = false;
    QTimer::singleShot(500, &dlg, [&] {
        sinceTick.start();
        ticker.start(20);
        read = dlg.AnalyYoutubePage(dlg.txtYoutubeUrl->text());
        ticker.stop();
        app.quit();
    });
    app.exec();
    const QString id = dlg.TakeEntity()->YoutubeVideId;
    std::printf("online video dialog: page read %s, id %s, longest pause %lld ms\n", read ? "yes" : "no",
                id.toUtf8().constData(), static_cast<long long>(longestGap));
    return read && id == QLatin1String("harbour") && longestGap < 300 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    TestSandbox sandbox;
    LoadLang();
    qputenv("TMPDIR", sandbox.root().toUtf8());
    GetOptions().OutPutFolder = sandbox.root() + "/out";
    TestHttpServer server(120);
    if (!server.ok()) return 2;
    if (mode == QLatin1String("download")) return showDownloads(app, server);
    if (mode == QLatin1String("update")) return showUpdate(app, server);
    if (mode == QLatin1String("page")) return showPage(app, server);
    std::fprintf(stderr, "usage: online_windows_show download|update|page\n");
    return 2;
}
