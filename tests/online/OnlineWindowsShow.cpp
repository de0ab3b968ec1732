// Shows the download window with transfers in progress, or the update window downloading, on
// the real display for the real-window test, against the local test server; ends when the
// transfers end. Exit status 0 when every file arrived complete.
//   usage: online_windows_show download|update
#include <QApplication>
#include <QFile>
#include <cstdio>

#include "OnlineServers.h"
#include "app/CommEntity.h"
#include "common/TestSandbox.h"
#include "online/DownloadFrm.h"
#include "online/UpdateCheck.h"
#include "online/UpdateFrm.h"
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
    std::fprintf(stderr, "usage: online_windows_show download|update\n");
    return 2;
}
