// The probe dialog's pool of workers and its probe cache, on a list of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "app/FileListItem.h"
#include "common/MediaFixtures.h"
#include "common/TestSandbox.h"
#include "engine/probe/AVProbe.h"
#include "tools/CalFileInfoDlg.h"
#include "tools/ProbeCache.h"

namespace {
QString clip(const char* name, double seconds) {
    return QString::fromStdString(fixtures::Clip(name, seconds, 160, 120, 25));
}

// Feeds `source` into a named pipe after `delayMs`: a file that takes that long to probe.
class SlowFile {
public:
    SlowFile(const QString& source, const QString& pipe, int delayMs) : path(pipe) {
        std::signal(SIGPIPE, SIG_IGN);
        ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
        const std::string bytes = fixtures::ReadFile(source.toStdString());
        writer_ = std::thread([this, bytes, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            // Waits for a reader at most 20 s, so the test never hangs on it.
            for (int i = 0; i < 2000 && !stop_; ++i) {
                const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                if (fd < 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    continue;
                }
                ::fcntl(fd, F_SETFL, 0);
                for (size_t done = 0; done < bytes.size();) {
                    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                    if (n <= 0) break;
                    done += static_cast<size_t>(n);
                }
                ::close(fd);
                return;
            }
        });
    }
    ~SlowFile() {
        stop_ = true;
        writer_.join();
    }
    QString path;

private:
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

class ProbePoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(probe.LoadAVLib("")) << probe.LastErrMsg();
        dir = sandbox.root() + "/media";
        QDir().mkpath(dir);
        cacheFile = sandbox.root() + "/data/probecache.db";
    }
    void setRows(const QStringList& paths) {
        list.clear();
        for (const QString& path : paths) {
            auto* row = new TFileListItem;
            row->setText(TFileListItem::colName, QFileInfo(path).fileName());
            auto entry = std::make_unique<ListFileInfo>();
            entry->FileName = path;
            row->SetEntry(std::move(entry));
            list.addTopLevelItem(row);
        }
    }
    // One probing pass over the list, as the main window runs it.
    void pass(int workers, const std::function<void(TCalFileInfoDlg&)>& during = {}) {
        auto dlg = std::make_unique<TCalFileInfoDlg>();
        dlg->SetProbe(&probe);
        dlg->Workers = workers;
        dlg->CacheFile = cacheFile;
        dlg->VBitRate = 1000000;
        dlg->ABitRate = 128000;
        QTimer watcher;
        if (during) {
            QObject::connect(&watcher, &QTimer::timeout, [&] { during(*dlg); });
            watcher.start(1);
        }
        dlg->SetUIAndFFTasks(&list);
        dlg->exec();
        failed = dlg->ErroFileList;
        unprobed = dlg->UnprobedCount;
        cached = dlg->CachedCount;
    }
    QStringList column(int c) const {
        QStringList texts;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            texts << list.topLevelItem(i)->text(c);
        return texts;
    }
    QString copy(const QString& source, const QString& name) {
        const QString target = dir + '/' + name;
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(source, target));
        return target;
    }

    TestSandbox sandbox;
    TAVProbe probe;
    QTreeWidget list;
    QString dir, cacheFile;
    QStringList failed;
    int unprobed = 0, cached = 0;
};

TEST_F(ProbePoolTest, RowsKeepTheirOrderWhateverOrderTheWorkersFinishIn) {
    const QString one = clip("pp_one.mp4", 1), two = clip("pp_two.mkv", 2);
    const QString bad = dir + "/bad.mp4", missing = dir + "/missing.mp4";
    fixtures::WriteFile(bad.toStdString(), "not media\n");
    // The first file takes longest: every other row is done before it.
    SlowFile slow(clip("pp_three.mkv", 3), dir + "/slow.mkv", 400);
    setRows({slow.path, one, bad, two, missing, one, two, bad});
    pass(4);
    EXPECT_EQ(column(TFileListItem::colName), (QStringList{"slow.mkv", "pp_one.mp4", "pp_two.mkv", "pp_one.mp4",
                                                           "pp_two.mkv"}));
    EXPECT_EQ(column(TFileListItem::colDuration),
              (QStringList{"00:00:03", "00:00:01", "00:00:02", "00:00:01", "00:00:02"}));
    EXPECT_EQ(column(TFileListItem::colSize), (QStringList{"0.40MB", "0.13MB", "0.27MB", "0.13MB", "0.27MB"}));
    EXPECT_EQ(failed, (QStringList{bad, missing}));
    EXPECT_EQ(unprobed, 0);
}

TEST_F(ProbePoolTest, EscWithFourWorkersLeavesExactlyTheProbedRowsAndTheFailures) {
    const QString one = clip("pp_one.mp4", 1);
    const QString bad = dir + "/bad.mp4", missing = dir + "/missing.mp4";
    fixtures::WriteFile(bad.toStdString(), "not media\n");
    // Enough rows that the workers cannot finish them all before the window gets to the key,
    // even when a busy machine holds the window's thread back for a second or two.
    constexpr int kRows = 1500;
    QStringList paths{one, bad, missing};
    while (paths.size() < kRows)
        paths << one;
    setRows(paths);
    bool pressed = false;
    pass(4, [&](TCalFileInfoDlg& dlg) {
        if (pressed || dlg.ProgressBar->value() < 6) return;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &key);
        pressed = true;
    });
    ASSERT_TRUE(pressed);
    EXPECT_EQ(failed, (QStringList{bad, missing}));
    EXPECT_GT(unprobed, 0);
    EXPECT_EQ(list.topLevelItemCount() + unprobed + 2, kRows);
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        auto* row = static_cast<TFileListItem*>(list.topLevelItem(i));
        EXPECT_TRUE(row->Entry()->HasData) << i;
        EXPECT_EQ(row->text(TFileListItem::colDuration), "00:00:01") << i;
    }
}

TEST_F(ProbePoolTest, TheCacheServesUnchangedFilesOnly) {
    const QString a = copy(clip("pp_one.mp4", 1), "a.mp4");
    const QString b = copy(clip("pp_one.mp4", 1), "b.mp4");
    const QString c = copy(clip("pp_two.mkv", 2), "c.mkv");
    const QString d = copy(clip("pp_one.mp4", 1), "d.mp4");
    setRows({a, b, c, d});
    pass(2);
    EXPECT_EQ(cached, 0);
    setRows({a, b, c, d});
    pass(2);
    EXPECT_EQ(cached, 4);
    EXPECT_EQ(column(TFileListItem::colDuration), (QStringList{"00:00:01", "00:00:01", "00:00:02", "00:00:01"}));
    auto* first = static_cast<TFileListItem*>(list.topLevelItem(0))->Entry();
    EXPECT_TRUE(first->FileInfo.contains("Duration: 00:00:01")) << first->FileInfo.toStdString();
    EXPECT_EQ(first->VWidth, 160);
    EXPECT_TRUE(first->HasVideo);  // a served entry counts its pictures in later estimates too
    EXPECT_GT(first->SampleRate, 0);  // and its sound in a size limit
    EXPECT_GT(first->Channel, 0);

    // b touched; c replaced by a file of the same bytes and time (another inode); d renamed.
    QFile touched(b);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(touched.fileTime(QFileDevice::FileModificationTime).addSecs(5),
                                    QFileDevice::FileModificationTime));
    touched.close();
    const QDateTime cTime = QFileInfo(c).lastModified();
    const QString replacement = copy(c, "c.tmp");
    QFile r(replacement);
    ASSERT_TRUE(r.open(QIODevice::ReadWrite) && r.setFileTime(cTime, QFileDevice::FileModificationTime));
    r.close();
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(c).constData()), 0);
    const QString d2 = dir + "/d2.mp4";
    ASSERT_TRUE(QFile::rename(d, d2));
    setRows({a, b, c, d2});
    pass(2);
    EXPECT_EQ(cached, 1);
    EXPECT_EQ(column(TFileListItem::colDuration), (QStringList{"00:00:01", "00:00:01", "00:00:02", "00:00:01"}));
}

TEST_F(ProbePoolTest, ADamagedCacheIsSetAsideAndRebuilt) {
    const QString a = copy(clip("pp_one.mp4", 1), "a.mp4");
    const QString b = copy(clip("pp_two.mkv", 2), "b.mkv");
    auto setAside = [&] {
        return QDir(QFileInfo(cacheFile).path()).entryList({"probecache.db.damaged-*"}, QDir::Files);
    };
    // A file that is no database at all.
    QDir().mkpath(QFileInfo(cacheFile).path());
    fixtures::WriteFile(cacheFile.toStdString(), std::string(4096, 'x'));
    setRows({a, b});
    pass(2);
    EXPECT_EQ(cached, 0);
    ASSERT_EQ(setAside().size(), 1);
    EXPECT_EQ(fixtures::ReadFile((QFileInfo(cacheFile).path() + '/' + setAside()[0]).toStdString()),
              std::string(4096, 'x'));
    setRows({a, b});
    pass(2);
    EXPECT_EQ(cached, 2);

    // A sound database with a record that isn't what was written: nothing in it is used.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "tamper");
        db.setDatabaseName(cacheFile);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("UPDATE probe SET data = zeroblob(length(data)) WHERE path LIKE '%b.mkv'"));
        EXPECT_EQ(q.numRowsAffected(), 1);
        db.close();
    }
    QSqlDatabase::removeDatabase("tamper");
    setRows({b, a});
    pass(2);
    EXPECT_EQ(cached, 0);
    EXPECT_EQ(setAside().size(), 2);
    EXPECT_EQ(column(TFileListItem::colDuration), (QStringList{"00:00:02", "00:00:01"}));
}
}  // namespace

TEST_F(ProbePoolTest, TheCacheKeepsItsNewestRecordsOnly) {
    TProbeCache cache(dir + "/bounded.db");
    ASSERT_TRUE(cache.Open());
    cache.SetMaxRecords(3);
    auto record = [](int n) {
        TProbeCache::Key key;
        key.path = QStringLiteral("/media/%1.mp4").arg(n);
        key.size = 1000 + n;
        TProbeCache::Facts facts;
        facts.duration = n;
        return std::make_pair(key, facts);
    };
    cache.Store({record(1), record(2), record(3)});
    cache.Store({record(1), record(4)});  // 1 stored again: newer than 2 and 3
    cache.Store({record(5)});
    QStringList kept;
    for (int n = 1; n <= 5; ++n) {
        TProbeCache::Facts facts;
        if (cache.Lookup(record(n).first, facts)) kept << QString::number(facts.duration);
    }
    EXPECT_EQ(kept, (QStringList{"1", "4", "5"}));
}
