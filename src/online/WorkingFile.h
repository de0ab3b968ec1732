#pragma once
// The file a download writes while it runs: a new hidden file beside its final name, created
// exclusively (never an existing file, never through a link), that remembers the SHA-256 and
// BLAKE2b-512 of every byte written to it. When the body is complete the owner moves it into
// place: over the final name only when the user agreed to replace what is there, otherwise
// never replacing anything (a file or link that appeared there meanwhile keeps its name and the
// download takes the next "_(new_N)" name). A working file that is neither moved nor kept is
// removed when it is destroyed.
//
// One thread at a time: the download's worker writes it, the owner then finishes or moves it.

#include <QIODevice>
#include <QString>
#include <functional>
#include <memory>

#include "app/SafeFiles.h"

class TWorkingFile : public QIODevice {
    Q_OBJECT
public:
    // A new working file for `finalName` inside `folder` (".NAME.vanto-part", numbered when that
    // is taken), with the permission bits `mode` before the umask. Null with `error` set when it
    // can't be made.
    static std::unique_ptr<TWorkingFile> Create(const QString& folder, const QString& finalName, int mode,
                                                QString* error);
    ~TWorkingFile() override;  // removes the file unless it was moved into place

    QString Path() const { return path_; }
    QString Folder() const { return folder_; }
    qint64 Written() const { return written_; }
    // Digests of every byte written (raw bytes, not hexadecimal).
    QByteArray Sha256() const;
    QByteArray Blake2b512() const;

    // Flushes the file to the disk and closes it.
    bool Finish(QString* error);
    // Moves the finished file to `target`; see the class comment. `replace`: the user agreed to
    // replace a file at `target`. Returns Exists when something is at `target` and `replace` is
    // false (the working file stays).
    SafeFiles::MoveResult MoveTo(const QString& target, bool replace, QString* error);
    // MoveTo `target`, or to the first "_(new_N)" name after it that is free and not `taken`.
    // Returns the path the file now has, or empty with `error` set.
    QString MoveToFreeName(const QString& target, bool replace, const std::function<bool(const QString&)>& taken,
                           QString* error);
    // Removes the working file, when it is still the file this object created.
    void Discard();

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    TWorkingFile(int fd, const QString& path, const QString& folder);
    bool stillOurs() const;
    struct Hashes;
    int fd_;
    QString path_, folder_;
    qint64 written_ = 0;
    quint64 dev_ = 0, ino_ = 0;
    bool settled_ = false;  // moved into place or removed
    std::unique_ptr<Hashes> hashes_;
};

// "name_(new_N).ext" for the path "folder/name.ext".
QString NumberedName(const QString& path, int n);
