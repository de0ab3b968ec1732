// Adds a folder of N media files (hard links to one generated clip) to the main window twice:
// first with an empty probe cache, then again after clearing the list, and times the list's
// operations on the full list in between. Prints one line of key=value figures; the longest
// stall of the user-interface thread is measured with a 5 ms timer throughout, together with
// the processor time that thread itself used during that stall (on a busy machine most of a
// long stall can be waiting for a processor).
// usage: vanto-filelist-bench CLIP FOLDER [N]   (run with QT_QPA_PLATFORM=offscreen and a HOME
// of its own, so that the probe cache starts empty)
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
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

// Resident memory now, in KiB.
long residentKiB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time used by the calling thread, in ms.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <typename Fn>
qint64 timed(Fn fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return t.elapsed();
}
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
        const QString target = folder + QStringLiteral("/clip %1.mp4").arg(i, 5, 10, QLatin1Char('0'));
        if (!QFile::exists(target) &&
            ::link(QFile::encodeName(clip).constData(), QFile::encodeName(target).constData()) != 0)
            QFile::copy(clip, target);
    }
    AutoDialogs dialogs;
    dialogs.folder = folder;
    InstallMessageDialogs(&dialogs);
    TfrmMain w;
    w.show();
    QApplication::processEvents();

    QElapsedTimer sinceTick;
    qint64 worstGap = 0;
    double cpuAtTick = 0, worstGapCpu = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        const double cpu = threadCpuMs();
        if (gap > worstGap) {
            worstGap = gap;
            worstGapCpu = cpu - cpuAtTick;
        }
        cpuAtTick = cpu;
    });
    auto startWatch = [&] {
        worstGap = 0;
        worstGapCpu = 0;
        cpuAtTick = threadCpuMs();
        sinceTick.start();
        tick.start();
    };
    auto stopWatch = [&] {
        QApplication::processEvents();
        tick.stop();
        return worstGap;
    };

    const long before = residentKiB();
    startWatch();
    const qint64 first = timed([&] { w.MenuAddFolderClick(); });
    const qint64 firstStall = stopWatch();
    const double firstStallCpu = worstGapCpu;
    const int rows = w.RowCount();
    const long after = residentKiB();

    // A row taken out of the middle first: the rows after it have moved when check-all runs.
    w.FileListView->setCurrentItem(w.Row(rows / 2));
    const qint64 removeOne = timed([&] { w.spSkinBtnRemoveClick(); });
    w.ckbCkAll->setChecked(false);
    const qint64 uncheck = timed([&] { w.ckbCkAllClick(); });
    w.ckbCkAll->setChecked(true);
    const qint64 check = timed([&] { w.ckbCkAllClick(); });
    // Names in reverse (every row moves), then by size.
    const qint64 sortName = timed([&] { w.SortRows(TFileListItem::colName, Qt::DescendingOrder); });
    const qint64 sortSize = timed([&] { w.SortRows(TFileListItem::colSize, Qt::AscendingOrder); });
    // What a run's start waits for: the list journal written out with every row, first while
    // the probe's results are not written yet, then once they are.
    auto flushJournal = [&] {
        if (!w.ListJournal) return;
        w.ListJournal->Changed();
        w.ListJournal->Flush();
    };
    const qint64 flush = timed(flushJournal);
    const qint64 flushAgain = timed(flushJournal);
    const qint64 clear = timed([&] { w.spSkinBtnClearClick(); });

    startWatch();
    const qint64 second = timed([&] { w.MenuAddFolderClick(); });
    const qint64 secondStall = stopWatch();
    const double secondStallCpu = worstGapCpu;
    const int rows2 = w.RowCount();

    std::printf(
        "files=%d rows=%d first_ms=%lld first_stall_ms=%lld first_stall_cpu_ms=%.1f second_ms=%lld "
        "second_stall_ms=%lld second_stall_cpu_ms=%.1f "
        "uncheck_all_ms=%lld check_all_ms=%lld remove_one_ms=%lld sort_name_ms=%lld sort_size_ms=%lld "
        "journal_flush_ms=%lld journal_flush_again_ms=%lld clear_ms=%lld "
        "kib_per_row=%.1f peak_mib=%ld\n",
        n, rows, static_cast<long long>(first), static_cast<long long>(firstStall), firstStallCpu,
        static_cast<long long>(second), static_cast<long long>(secondStall), secondStallCpu,
        static_cast<long long>(uncheck),
        static_cast<long long>(check), static_cast<long long>(removeOne), static_cast<long long>(sortName),
        static_cast<long long>(sortSize), static_cast<long long>(flush), static_cast<long long>(flushAgain), static_cast<long long>(clear),
        rows > 0 ? double(after - before) / rows : 0.0, peakKiB() / 1024);
    InstallMessageDialogs(nullptr);
    return rows == n && rows2 == n ? 0 : 1;
}
