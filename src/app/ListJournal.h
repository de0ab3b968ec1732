#pragma once
// The list's journal: everything needed to rebuild the main list after the program ended
// without closing (a crash, a power loss, kill -9). The main window reports every change of
// the list; the journal writes the whole list at most a few times a second, each time in one
// step (a private temporary file, flushed, renamed over the journal), so the file on disk is
// always one complete list. A clean exit leaves it empty.
//
// The file (JSON) holds: the current profile ID, the merge choice, the distinct output
// parameter sets, and per row its check mark, output name, caption and every field of its
// entry (path, probe facts, clip range, category tag, parameter set, online fields), in list
// order, plus the source's size and modification time when it was listed. While a conversion
// runs it also holds the run's output folder and marks the rows that are still being converted,
// so that after a kill the restored list can start that run again (a long file then continues
// from the pieces its working folder kept).
//
// A lock file beside the journal keeps a second instance of the program from writing the same
// journal or offering to restore a list that is still open elsewhere.
// The object lives on the user-interface thread, which only copies the list (each row's entry is
// cloned when it changed since the last copy and shared otherwise, the texts shared); encoding
// and writing run on the journal's own writer thread. A long list is copied a slice of rows per
// turn of the event loop, so a list of many thousand rows never holds up the window; a change
// of the list in the middle starts the copy again. Only the newest copy waiting for the writer
// is kept.

#include <QByteArray>
#include <QElapsedTimer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class ListFileInfo;
struct TJournalEncodeCache;

// One row as the list shows it.
struct TJournalRow {
    QString caption;
    QString output;  // the output-name column, which the run uses
    bool checked = true;
    std::shared_ptr<const ListFileInfo> entry;  // never changed once in a list copy
    bool converting = false;  // in the running conversion and not finished yet
    // The source's size and modification time (ms since the epoch) when it was journaled;
    // -1 when unknown (when encoding, they are read from the file).
    qint64 sourceSize = -1;
    qint64 sourceMtime = -1;
};

struct TJournalContent {
    int profileId = -1;
    bool merge = false;
    QString runFolder;  // the output folder of the conversion that was running; empty when none
    std::vector<TJournalRow> rows;
};

// Where the journal copies the list from; asked on the user-interface thread only.
struct TJournalSource {
    std::function<TJournalContent()> list;  // the list's own fields; its rows are asked one by one
    std::function<int()> rowCount;
    // Appends row `index` to `rows` (nothing for a row without an entry).
    std::function<void(int index, std::vector<TJournalRow>& rows)> row;
};

class TListJournal : public QObject {
    Q_OBJECT
public:
    // Where the main window keeps its journal: the program's data folder.
    static QString DefaultFile();

    // The list is copied from `source` only when a write is due.
    TListJournal(QString file, TJournalSource source, QObject* parent = nullptr);
    ~TListJournal() override;

    // Takes the journal for this process. False when another running instance has it; this
    // journal then neither reads nor writes anything.
    bool Acquire();
    bool Acquired() const { return acquired_; }

    enum class State { Empty, HasRows, Unreadable };
    // What the previous session left, read once when the journal is acquired (before anything
    // of this session can be written over it). An unreadable journal is moved aside under a new
    // name (kept, never deleted), given in setAside.
    struct Previous {
        State state = State::Empty;
        TJournalContent content;
        QString setAside;
        QString error;
    };
    Previous& PreviousSession() { return previous_; }

    // The list changed: a write follows within the coalescing interval.
    void Changed();
    // Writes now when a change is pending, and returns once the journal on disk holds it.
    void Flush();
    // Copies a pending change now, a slice at a time with the event loop running in between
    // (the user's input waits), and hands it to the writer; for a long list before a Hold.
    void Settle();
    // While held, changes are remembered but not written (the entries are being filled by a
    // worker thread); a change pending when the hold starts is copied first and written in the
    // background. Release writes what was held back.
    void Hold();
    void Release();
    // A clean end: the journal becomes empty and no later change is written.
    void CloseCleanly();
    // Empties the journal now (the user declined the restore); later changes are written again.
    void Discard();

    // Writes done so far (waits for one under way).
    int Writes();
    QString File() const { return file_; }
    QString LastError();
    static constexpr int kIntervalMs = 300;
    // The user-interface thread's time for one slice of the copy.
    static constexpr int kSliceMs = 5;
    // A list that keeps changing is copied in one go once its oldest unwritten change is this old
    // (long enough for adding many thousand files, which changes the list all along).
    static constexpr int kMostDelayMs = 10000;

    // Reads each source's size and modification time where the row does not give them. With a
    // cache, an entry encoded for the previous write (the same shared copy) is not encoded again
    // and keeps the size and time read for it then.
    static QByteArray EncodeList(const TJournalContent& content, TJournalEncodeCache* cache = nullptr);
    // False for anything that is not one complete journal (a torn or foreign file).
    static bool DecodeList(const QByteArray& bytes, TJournalContent& content, QString* error);

private:
    // Hands a copy of the list (or, without one, an empty journal) to the writer thread.
    void post(std::optional<TJournalContent> list);
    // Returns once the writer has written everything handed to it.
    void waitForWriter();
    void writerLoop();
    void readPrevious();
    // Copies up to `sliceMs` worth of rows (all of them when negative); once the copy is whole,
    // hands it to the writer and returns true.
    bool copySome(int sliceMs);
    void copyStep();
    void abandonCopy();
    Previous previous_;
    QString file_;
    TJournalSource source_;
    std::unique_ptr<QLockFile> lock_;
    QTimer timer_;
    QTimer sliceTimer_;
    QElapsedTimer pendingSince_;
    bool copying_ = false;
    TJournalContent partial_;
    int nextRow_ = 0;
    bool acquired_ = false;
    bool closed_ = false;
    bool held_ = false;
    bool pending_ = false;

    // Shared with the writer thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool hasNext_ = false;
    std::optional<TJournalContent> next_;  // nullopt: an empty journal
    bool writing_ = false;
    bool stop_ = false;
    int writes_ = 0;
    QString lastError_;
    std::unique_ptr<TJournalEncodeCache> encodeCache_;  // the writer thread's own
    std::thread writer_;
};
