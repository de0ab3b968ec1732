#include "app/SafeFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace SafeFiles {

namespace {
QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}
}  // namespace

bool EntryExists(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0;
}

int CreateNew(const QString& path, int mode, QString* error) {
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
    if (fd < 0 && error) *error = QStringLiteral("Cannot create %1: %2").arg(path, systemError(errno));
    return fd;
}

MoveResult MoveNoReplace(const QString& from, const QString& to, QString* error) {
    const QByteArray src = native(from), dst = native(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return MoveResult::Moved;
    int code = errno;
    if (code == EINVAL || code == ENOSYS) {
        // A file system without the no-replace rename: a hard link fails just as well when
        // anything is at `to`, and the working name goes away once the link is made.
        if (::link(src.constData(), dst.constData()) == 0) {
            ::unlink(src.constData());
            return MoveResult::Moved;
        }
        code = errno;
    }
    if (code == EEXIST) return MoveResult::Exists;
    if (error) *error = QStringLiteral("Cannot move %1 to %2: %3").arg(from, to, systemError(code));
    return MoveResult::Failed;
}

bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    const QFileInfo fi(path);
    QByteArray pattern = native(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"));
    // mkstemp creates the file exclusively with mode 0600, whatever the umask.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        if (error) *error = QStringLiteral("Cannot write %1: %2").arg(path, systemError(errno));
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ::close(fd);
    if (!written || ::rename(pattern.constData(), native(path).constData()) != 0) {
        const int code = written ? errno : writeErrno;
        ::unlink(pattern.constData());
        if (error) *error = QStringLiteral("Cannot write %1: %2").arg(path, systemError(code));
        return false;
    }
    return true;
}

bool IsDirectlyInside(const QString& path, const QString& folder) {
    const QFileInfo fi(path);
    const QString name = fi.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0)))
        return false;
    // The name as written must be the last piece of the path: "a/../b" cleans to something else.
    if (QDir::cleanPath(path) != QDir::cleanPath(fi.absolutePath() + '/' + name)) return false;
    const QString parent = QFileInfo(fi.absolutePath()).canonicalFilePath();
    const QString expected = QFileInfo(folder).canonicalFilePath();
    return !parent.isEmpty() && parent == expected;
}

QString MakePrivateFolder(const QString& parent, const QString& prefix, QString* error) {
    const QByteArray p = native(QDir::cleanPath(parent));
    if (!EntryExists(parent)) {
        QDir().mkpath(QFileInfo(QDir::cleanPath(parent)).absolutePath());
        if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST) {
            if (error) *error = QStringLiteral("Cannot create %1: %2").arg(parent, systemError(errno));
            return QString();
        }
    }
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        if (error) *error = QStringLiteral("%1 is not a folder of this user").arg(parent);
        return QString();
    }
    QByteArray pattern = p + '/' + native(prefix) + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        if (error) *error = QStringLiteral("Cannot create a folder in %1: %2").arg(parent, systemError(errno));
        return QString();
    }
    return QFile::decodeName(pattern);
}

qint64 FreeBytes(const QString& path) {
    struct statvfs vfs {};
    if (::statvfs(native(path).constData(), &vfs) != 0) return -1;
    return static_cast<qint64>(vfs.f_bavail) * static_cast<qint64>(vfs.f_frsize);
}

}  // namespace SafeFiles
