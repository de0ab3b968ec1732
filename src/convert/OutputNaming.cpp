#include "convert/OutputNaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <sys/stat.h>

#include "app/Utils.h"
#include "settings/Lang.h"

namespace {
// Longest file name we make, in bytes (file systems allow 255).
constexpr int kMaxNameBytes = 250;

QString joined(const QString& folder, const QString& name) {
    return ReduceSeparators(folder + '/' + name);
}
}  // namespace

bool TOutputNaming::idOf(const QString& path, FileId& id) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

QString TOutputNaming::keyOf(const QString& path) {
    const QFileInfo fi(path);
    QString dir = QFileInfo(fi.absolutePath()).canonicalFilePath();
    if (dir.isEmpty()) dir = QDir::cleanPath(fi.absolutePath());
    return dir + '/' + fi.fileName();
}

void TOutputNaming::AddSource(const QString& path) {
    FileId id;
    if (idOf(path, id)) sources_.push_back(id);
    sourceKeys_.insert(keyOf(path));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty()) sourceKeys_.insert(canonical);
}

bool TOutputNaming::isSource(const QString& path) const {
    // The same file under any spelling: links, "..", or another letter case where the file
    // system ignores case, all lead to the same device and inode.
    FileId id;
    if (idOf(path, id))
        for (const FileId& s : sources_)
            if (s == id) return true;
    return sourceKeys_.contains(keyOf(path));
}

bool TOutputNaming::isTaken(const QString& path) const {
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink() || taken_.contains(keyOf(path)) ||
           isSource(path);
}

QString TOutputNaming::numbered(const QString& folder, const QString& orgFileName, const QString& extName) const {
    for (int n = 1;; ++n) {
        const QString candidate = joined(folder, orgFileName + QStringLiteral("_(new_%1)").arg(n) + extName);
        if (!isTaken(candidate)) return candidate;
    }
}

QString TOutputNaming::CheckOutputFile(const QString& folder, const QString& orgFileName, bool dotOverwrite,
                                       const QString& extName) {
    QString path = joined(folder, orgFileName + extName);
    const QFileInfo existing(path);
    if (isSource(path) || taken_.contains(keyOf(path)) || (existing.exists() && !existing.isFile())) {
        // A source, a name an earlier task of this run took, or something that is no file:
        // never a candidate for replacing, so nothing to ask.
        path = numbered(folder, orgFileName, extName);
    } else if (existing.exists()) {
        if (!dotOverwrite &&
            (coverExitFileResult == 0 || coverExitFileResult == mrYes || coverExitFileResult == mrNo)) {
            const QString question =
                FormatText(GetLangText(QStringLiteral("DlgReplaceDlTitle")), {orgFileName + extName});
            coverExitFileResult = AskQuestion(question, QString(), true);
            // Closing the question is no consent to replace the file.
            if (coverExitFileResult != mrYes && coverExitFileResult != mrYesToAll &&
                coverExitFileResult != mrNoToAll)
                coverExitFileResult = mrNo;
        }
        if (coverExitFileResult == mrNo || coverExitFileResult == mrNoToAll)
            path = numbered(folder, orgFileName, extName);
        else
            replaced_.insert(keyOf(path));
    }
    taken_.insert(keyOf(path));
    return path;
}

QString TOutputNaming::CreateOwnFile(const QString& folder, const QString& orgFileName, const QString& extName,
                                     QString* error) {
    QString path = joined(folder, orgFileName + extName);
    for (int n = 1; n < 10000; ++n) {
        if (!isTaken(path)) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                f.close();
                created_.insert(path);
                taken_.insert(keyOf(path));
                return path;
            }
            if (QFileInfo::exists(path) == false) {
                if (error) *error = QStringLiteral("Could not create '%1': %2").arg(path, f.errorString());
                return QString();
            }
        }
        path = joined(folder, orgFileName + QStringLiteral("_(new_%1)").arg(n) + extName);
    }
    if (error) *error = QStringLiteral("Could not create '%1'").arg(path);
    return QString();
}

QString TOutputNaming::CreateWorkingFile(const QString& finalPath, QString* error) {
    const QFileInfo fi(finalPath);
    const QString suffix = fi.suffix();
    QString base = suffix.isEmpty() ? fi.fileName() : fi.fileName().chopped(suffix.size() + 1);
    const QString tail = suffix.isEmpty() ? QString() : '.' + suffix;
    while (!base.isEmpty() && (QStringLiteral(".") + base + QStringLiteral(".vanto-part0000") + tail).toUtf8().size() >
                                  kMaxNameBytes)
        base.chop(1);
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const QString mark = QStringLiteral(".vanto-part") + (attempt == 0 ? QString() : QString::number(attempt));
        const QString path = joined(fi.absolutePath(), '.' + base + mark + tail);
        if (isTaken(path)) continue;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            f.close();
            created_.insert(path);
            return path;
        }
        if (!QFileInfo::exists(path)) {
            if (error) *error = QStringLiteral("Could not open '%1': %2").arg(finalPath, f.errorString());
            return QString();
        }
    }
    if (error) *error = QStringLiteral("Could not open '%1'").arg(finalPath);
    return QString();
}

QString TOutputNaming::Commit(const QString& workingPath, const QString& finalPath, QString* error) {
    if (!created_.contains(workingPath) || !QFileInfo::exists(workingPath)) {
        if (error) *error = QStringLiteral("The converted file '%1' is missing").arg(workingPath);
        return QString();
    }
    QString target = finalPath;
    bool moved = false;
    if (!QFileInfo::exists(target) && !QFileInfo(target).isSymLink()) {
        moved = QFile::rename(workingPath, target);  // never replaces a file that appeared meanwhile
    } else if (replaced_.contains(keyOf(target)) && QFileInfo(target).isFile() && !isSource(target)) {
        // The user agreed to replace this file: swap it in one step, so it is never half there.
        moved = std::rename(QFile::encodeName(workingPath).constData(), QFile::encodeName(target).constData()) == 0;
        if (moved) replaced_.remove(keyOf(target));
    }
    if (!moved && QFileInfo::exists(workingPath)) {
        // Something else took the name while the task ran: keep it, use the next free number.
        const QFileInfo fi(finalPath);
        const QString suffix = fi.suffix();
        const QString base = suffix.isEmpty() ? fi.fileName() : fi.fileName().chopped(suffix.size() + 1);
        target = numbered(fi.absolutePath(), base, suffix.isEmpty() ? QString() : '.' + suffix);
        moved = QFile::rename(workingPath, target);
    }
    if (!moved) {
        if (error) *error = QStringLiteral("Could not move the converted file to '%1'").arg(finalPath);
        return QString();
    }
    created_.remove(workingPath);
    taken_.insert(keyOf(target));
    return target;
}

bool TOutputNaming::RemoveCreated(const QString& path) {
    if (!created_.contains(path)) return false;
    created_.remove(path);
    return QFile::remove(path);
}

void TOutputNaming::RemoveAllCreated() {
    const QSet<QString> files = created_;
    for (const QString& path : files) RemoveCreated(path);
}

bool TOutputNaming::WillReplace(const QString& path) const {
    return replaced_.contains(keyOf(path));
}
