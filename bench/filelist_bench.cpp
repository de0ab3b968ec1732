// Adds a folder of N media files (copies of one generated clip) to the main window and reports
// how long probing took and the longest stall of the user-interface thread meanwhile.
// usage: vanto-filelist-bench CLIP FOLDER [N]   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>

#include "app/DialogSeam.h"
#include "app/MainFrm.h"
#include "app/Utils.h"

namespace {
class AutoDialogs : public IMessageDialogs {
public:
    QString folder;
    void ShowInfo(const QString&) override {}
    int AskQuestion(const QString&, const QString&, bool) override { return 7; }
    void MessageBox(const QString&, const QString&) override {}
    int YesNoBox(const QString&, const QString&) override { return 7; }
    bool BrowseForFolder(const QString&, QWidget*, QString& path) override {
        path = folder;
        return true;
    }
    QStringList OpenFiles(const QString&, const QString&, QWidget*) override { return {}; }
    int ExecDialog(QDialog*) override { return 1; }
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CLIP FOLDER [N]\n", argv[0]);
        return 2;
    }
    const QString clip = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const int n = argc > 3 ? std::atoi(argv[3]) : 500;
    QDir().mkpath(folder);
    for (int i = 0; i < n; ++i) {
        const QString target = folder + QStringLiteral("/clip %1.mp4").arg(i, 4, 10, QLatin1Char('0'));
        if (!QFile::exists(target)) QFile::copy(clip, target);
    }
    AutoDialogs dialogs;
    dialogs.folder = folder;
    InstallMessageDialogs(&dialogs);
    TfrmMain w;
    w.show();

    QElapsedTimer sinceTick;
    qint64 worstGap = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { worstGap = std::max(worstGap, sinceTick.restart()); });
    sinceTick.start();
    tick.start();
    QElapsedTimer total;
    total.start();
    w.MenuAddFolderClick();
    const qint64 ms = total.elapsed();
    tick.stop();
    std::printf("files: %d, rows: %d, total: %lld ms (%.2f ms per file), longest UI stall: %lld ms\n", n,
                w.RowCount(), static_cast<long long>(ms), static_cast<double>(ms) / n,
                static_cast<long long>(worstGap));
    InstallMessageDialogs(nullptr);
    return w.RowCount() == n ? 0 : 1;
}
