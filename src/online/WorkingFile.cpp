#include "online/WorkingFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sodium.h>

#include <sys/stat.h>
#include <unistd.h>

struct TWorkingFile::Hashes {
    crypto_hash_sha256_state sha256;
    crypto_generichash_state blake2b;
};

namespace {
constexpr int kBlake2bBytes = 64;
}

QString NumberedName(const QString& path, int n) {
    const QFileInfo fi(path);
    const QString suffix = fi.suffix();
    const QString name = fi.fileName();
    const QString base = suffix.isEmpty() ? name : name.chopped(suffix.size() + 1);
    return fi.path() + '/' + base + QStringLiteral("_(new_%1)").arg(n) + (suffix.isEmpty() ? QString() : '.' + suffix);
}

std::unique_ptr<TWorkingFile> TWorkingFile::Create(const QString& folder, const QString& finalName, int mode,
                                                   QString* error) {
    if (sodium_init() < 0) {
        if (error) *error = QStringLiteral("The cryptographic library could not be started");
        return nullptr;
    }
    QString lastError;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString mark = QStringLiteral(".vanto-part") + (attempt ? QString::number(attempt) : QString());
        const QString path = folder + '/' + '.' + finalName + mark;
        if (SafeFiles::EntryExists(path)) continue;
        const int fd = SafeFiles::CreateNew(path, mode, &lastError);
        if (fd >= 0) return std::unique_ptr<TWorkingFile>(new TWorkingFile(fd, path, folder));
        if (errno != EEXIST) break;
    }
    if (error) *error = lastError.isEmpty() ? QStringLiteral("Cannot create a file in %1").arg(folder) : lastError;
    return nullptr;
}

TWorkingFile::TWorkingFile(int fd, const QString& path, const QString& folder)
    : fd_(fd), path_(path), folder_(folder), hashes_(std::make_unique<Hashes>()) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        dev_ = st.st_dev;
        ino_ = st.st_ino;
    }
    crypto_hash_sha256_init(&hashes_->sha256);
    crypto_generichash_init(&hashes_->blake2b, nullptr, 0, kBlake2bBytes);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TWorkingFile::~TWorkingFile() {
    if (!settled_) Discard();
    if (fd_ >= 0) ::close(fd_);
}

qint64 TWorkingFile::writeData(const char* data, qint64 size) {
    if (fd_ < 0) return -1;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
            return -1;
        }
        done += n;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    crypto_hash_sha256_update(&hashes_->sha256, bytes, static_cast<unsigned long long>(size));
    crypto_generichash_update(&hashes_->blake2b, bytes, static_cast<unsigned long long>(size));
    written_ += size;
    return size;
}

QByteArray TWorkingFile::Sha256() const {
    crypto_hash_sha256_state copy = hashes_->sha256;
    QByteArray out(crypto_hash_sha256_BYTES, '\0');
    crypto_hash_sha256_final(&copy, reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

QByteArray TWorkingFile::Blake2b512() const {
    crypto_generichash_state copy = hashes_->blake2b;
    QByteArray out(kBlake2bBytes, '\0');
    crypto_generichash_final(&copy, reinterpret_cast<unsigned char*>(out.data()), kBlake2bBytes);
    return out;
}

bool TWorkingFile::Finish(QString* error) {
    if (fd_ < 0) return true;
    const bool ok = ::fsync(fd_) == 0;
    const int code = errno;
    ::close(fd_);
    fd_ = -1;
    QIODevice::close();
    if (!ok && error) *error = QStringLiteral("Cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(code)));
    return ok;
}

bool TWorkingFile::stillOurs() const {
    struct stat st {};
    return ::lstat(QFile::encodeName(path_).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev_ &&
           st.st_ino == ino_;
}

SafeFiles::MoveResult TWorkingFile::MoveTo(const QString& target, bool replace, QString* error) {
    if (!Finish(error)) return SafeFiles::MoveResult::Failed;
    if (!stillOurs()) {
        if (error) *error = QStringLiteral("The downloaded file %1 is gone").arg(path_);
        return SafeFiles::MoveResult::Failed;
    }
    SafeFiles::MoveResult result;
    struct stat st {};
    const bool regularThere = ::lstat(QFile::encodeName(target).constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (replace && regularThere) {
        // The user agreed: swapped in one step, so the old file is whole until then. A link
        // put there meanwhile is not a file the user agreed to replace (see above).
        result = ::rename(QFile::encodeName(path_).constData(), QFile::encodeName(target).constData()) == 0
                     ? SafeFiles::MoveResult::Moved
                     : SafeFiles::MoveResult::Failed;
        if (result == SafeFiles::MoveResult::Failed && error)
            *error = QStringLiteral("Cannot replace %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        result = SafeFiles::MoveNoReplace(path_, target, error);
    }
    if (result == SafeFiles::MoveResult::Moved) {
        settled_ = true;
        path_ = target;
    }
    return result;
}

QString TWorkingFile::MoveToFreeName(const QString& target, bool replace,
                                     const std::function<bool(const QString&)>& taken, QString* error) {
    QString candidate = target;
    for (int n = 1; n <= 10000; ++n) {
        if (!taken || !taken(candidate) || candidate == target) {
            switch (MoveTo(candidate, replace && candidate == target, error)) {
            case SafeFiles::MoveResult::Moved:
                return candidate;
            case SafeFiles::MoveResult::Failed:
                return QString();
            case SafeFiles::MoveResult::Exists:
                break;
            }
        }
        candidate = NumberedName(target, n);
    }
    if (error) *error = QStringLiteral("No free name for %1").arg(target);
    return QString();
}

void TWorkingFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        QIODevice::close();
    }
    if (!settled_ && stillOurs()) ::unlink(QFile::encodeName(path_).constData());
    settled_ = true;
}
