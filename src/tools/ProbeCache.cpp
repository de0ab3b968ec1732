#include "tools/ProbeCache.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstring>

#include "app/CommEntity.h"

namespace {
constexpr int kSchemaVersion = 1;

QByteArray encode(const TProbeCache::Facts& f) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint32(f.bitRate) << qint64(f.duration) << qint64(f.fileSize) << f.format << f.info << qint32(f.vWidth)
        << qint32(f.vHeight) << f.hasVideo << qint32(f.sampleRate) << qint32(f.channels) << qint32(f.audioBitRate);
    return bytes;
}

bool decode(const QByteArray& bytes, TProbeCache::Facts& f) {
    QDataStream in(bytes);
    qint32 bitRate = 0, vWidth = 0, vHeight = 0;
    qint64 duration = 0, fileSize = 0;
    in >> bitRate >> duration >> fileSize >> f.format >> f.info >> vWidth >> vHeight >> f.hasVideo;
    // Records of earlier versions end here: they know nothing of the sound.
    qint32 sampleRate = 0, channels = 0, audioBitRate = 0;
    if (!in.atEnd()) in >> sampleRate >> channels >> audioBitRate;
    f.sampleRate = sampleRate;
    f.channels = channels;
    f.audioBitRate = audioBitRate;
    f.bitRate = bitRate;
    f.duration = duration;
    f.fileSize = fileSize;
    f.vWidth = vWidth;
    f.vHeight = vHeight;
    return in.status() == QDataStream::Ok && in.atEnd();
}

// Covers the key too: a record moved to another key doesn't pass.
qint64 checksum(const TProbeCache::Key& k, const QByteArray& data) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(k.path.toUtf8());
    const qint64 numbers[] = {k.size, k.mtimeNs, static_cast<qint64>(k.inode)};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(numbers), sizeof numbers));
    hash.addData(data);
    qint64 sum = 0;
    std::memcpy(&sum, hash.result().constData(), sizeof sum);
    return sum;
}
}  // namespace

TProbeCache::TProbeCache(QString file) : file_(std::move(file)) {
    static std::atomic<int> serial{0};
    connection_ = QStringLiteral("vanto-probe-cache-%1").arg(++serial);
}

TProbeCache::~TProbeCache() {
    close();
}

bool TProbeCache::KeyOf(const QString& path, Key& key) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    key.path = path;
    key.size = st.st_size;
    key.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    key.inode = st.st_ino;
    return true;
}

bool TProbeCache::Open() {
    close();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) return false;
    QDir().mkpath(QFileInfo(file_).absolutePath());
    if (openFile() && looksSound()) return open_ = true;
    close();
    if (QFile::exists(file_)) setAside();
    return open_ = openFile() && looksSound();
}

bool TProbeCache::openFile() {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(file_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    return db.open();
}

bool TProbeCache::looksSound() {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() || q.value(0).toString() != QLatin1String("ok"))
        return false;
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) return false;
    const int version = q.value(0).toInt();
    if (version == kSchemaVersion) return true;
    if (version != 0) return false;  // another layout: not ours to read
    return q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
           q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS probe (path TEXT PRIMARY KEY, size INTEGER, "
                                 "mtime INTEGER, inode INTEGER, data BLOB, sum INTEGER)")) &&
           q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
}

void TProbeCache::close() {
    open_ = false;
    if (!QSqlDatabase::contains(connection_)) return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

void TProbeCache::setAside() {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmsszzz"));
    QString target = file_ + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFile::exists(target); ++n)
        target = file_ + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(file_, target)) setAside_ = target;
    // A journal left beside it belongs to the damaged file.
    const QString journal = file_ + QStringLiteral("-journal");
    if (QFile::exists(journal)) QFile::rename(journal, target + QStringLiteral("-journal"));
}

bool TProbeCache::Lookup(const Key& key, Facts& facts) {
    if (!open_) return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT size, mtime, inode, data, sum FROM probe WHERE path = ?"));
    q.addBindValue(key.path);
    if (!q.exec()) {
        // SQLITE_CORRUPT and SQLITE_NOTADB; a busy database is only skipped.
        const QString code = q.lastError().nativeErrorCode();
        if (code == QLatin1String("11") || code == QLatin1String("26")) restart(q);
        return false;
    }
    if (!q.next()) return false;
    const QByteArray data = q.value(3).toByteArray();
    if (q.value(4).toLongLong() != checksum({key.path, q.value(0).toLongLong(), q.value(1).toLongLong(),
                                              q.value(2).toULongLong()},
                                             data) ||
        !decode(data, facts)) {
        // Not what was written: nothing in this file is trusted any more.
        restart(q);
        return false;
    }
    return q.value(0).toLongLong() == key.size && q.value(1).toLongLong() == key.mtimeNs &&
           q.value(2).toULongLong() == key.inode;
}

void TProbeCache::restart(QSqlQuery& pending) {
    pending.finish();
    pending = QSqlQuery();
    close();
    setAside();
    open_ = openFile() && looksSound();
}

void TProbeCache::Store(const std::vector<std::pair<Key, Facts>>& records) {
    if (!open_ || records.empty()) return;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) return;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO probe (path, size, mtime, inode, data, sum) "
                             "VALUES (?, ?, ?, ?, ?, ?)"));
    for (const auto& [key, facts] : records) {
        const QByteArray data = encode(facts);
        q.bindValue(0, key.path);
        q.bindValue(1, key.size);
        q.bindValue(2, key.mtimeNs);
        q.bindValue(3, static_cast<qint64>(key.inode));
        q.bindValue(4, data);
        q.bindValue(5, checksum(key, data));
        if (!q.exec()) {
            db.rollback();
            return;
        }
    }
    // A record stored gets the next row number (a replaced one too), so the lowest numbers are
    // the oldest results; gaps left by replaced records only make the cache keep fewer.
    QSqlQuery prune(db);
    prune.prepare(QStringLiteral("DELETE FROM probe WHERE rowid <= (SELECT MAX(rowid) FROM probe) - ?"));
    prune.bindValue(0, maxRecords_);
    if (!prune.exec()) {
        db.rollback();
        return;
    }
    db.commit();
}

TProbeCache::Facts TProbeCache::FactsOf(const ListFileInfo& e) {
    Facts f;
    f.bitRate = e.BitRate;
    f.duration = e.FileDurTime;
    f.fileSize = e.FileSize;
    f.format = e.FileFormat;
    f.info = e.FileInfo;
    f.vWidth = e.VWidth;
    f.vHeight = e.VHeight;
    f.hasVideo = e.HasVideo;
    f.sampleRate = e.SampleRate;
    f.channels = e.Channel;
    f.audioBitRate = e.AudioBitRate;
    return f;
}

void TProbeCache::Apply(const Facts& f, ListFileInfo& e) {
    e.BitRate = f.bitRate;
    e.FileInfo = f.info;
    e.FileDurTime = f.duration;
    e.FileSize = f.fileSize;
    e.FileFormat = f.format;
    e.HasVideo = f.hasVideo;
    e.SampleRate = f.sampleRate;
    e.Channel = f.channels;
    e.AudioBitRate = f.audioBitRate;
    if (f.hasVideo) {
        e.VWidth = f.vWidth;
        e.VHeight = f.vHeight;
    }
    e.StartTime = 0;
    e.EndTime = f.duration;
    e.HasData = f.duration > 0;
}
