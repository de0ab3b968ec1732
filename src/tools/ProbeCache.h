#pragma once
// Remembers what probing found out about media files, so that a file added again is not opened
// again. A result is found only by the file's full identity: path, size, modification time (to
// the nanosecond) and inode; a file touched, replaced or renamed is probed anew.
//
// Storage: one SQLite database (Qt's SQL module) in the program's data folder. Every record
// carries a checksum of its fields; a database that can't be read, fails SQLite's own check or
// holds a record whose checksum doesn't match is renamed aside (never deleted) and started
// afresh. Without the SQLite driver the cache is simply off.
//
// One instance is used by one thread: the thread that opened it.

#include <QString>
#include <vector>

class ListFileInfo;
class QSqlQuery;

class TProbeCache {
public:
    struct Key {
        QString path;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        quint64 inode = 0;
    };
    // What a successful probe wrote into an entry.
    struct Facts {
        int bitRate = 0;
        qint64 duration = 0;
        qint64 fileSize = 0;
        QString format;
        QString info;
        int vWidth = 0;
        int vHeight = 0;
        bool hasVideo = false;
        int sampleRate = 0;  // first sound track; 0: none (or a record written without them)
        int channels = 0;
        int audioBitRate = 0;
    };

    explicit TProbeCache(QString file);
    ~TProbeCache();
    TProbeCache(const TProbeCache&) = delete;
    TProbeCache& operator=(const TProbeCache&) = delete;

    // Opens (creating when needed). A damaged database is set aside first. False: cache off.
    bool Open();
    bool IsOpen() const { return open_; }

    // The key of a file on disk; false when it can't be read (the file is then probed).
    static bool KeyOf(const QString& path, Key& key);

    bool Lookup(const Key& key, Facts& facts);
    // Records are written together in one transaction. The cache keeps at most MaxRecords: the
    // records stored longest ago go first.
    void Store(const std::vector<std::pair<Key, Facts>>& records);
    static constexpr qint64 kMaxRecords = 100000;
    void SetMaxRecords(qint64 count) { maxRecords_ = count; }

    // Where the last damaged database was moved (empty when none was found).
    QString SetAsideFile() const { return setAside_; }

    static Facts FactsOf(const ListFileInfo& entry);
    static void Apply(const Facts& facts, ListFileInfo& entry);

private:
    bool openFile();
    bool looksSound();
    void close();
    void setAside();
    // Sets the damaged database aside and starts an empty one.
    void restart(QSqlQuery& pending);
    QString file_;
    QString connection_;
    QString setAside_;
    bool open_ = false;
    qint64 maxRecords_ = kMaxRecords;
};
