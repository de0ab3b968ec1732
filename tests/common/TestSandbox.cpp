#include "common/TestSandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdlib>

#include "app/Utils.h"
#include "profiles/IconUtils.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString rel = QDir(from).relativeFilePath(src);
        const QFileInfo info(src);
        if (info.isDir()) {
            QDir().mkpath(to + '/' + rel);
        } else if (!info.isExecutable() || info.suffix() == QLatin1String("dll") ||
                   info.suffix() == QLatin1String("ini")) {
            QFile::copy(src, to + '/' + rel);
        }
    }
}

void setOrUnset(const char* name, const QByteArray& value) {
    if (value.isNull())
        unsetenv(name);
    else
        setenv(name, value.constData(), 1);
}
}  // namespace

void TestSandbox::ResetStores() {
    ResetOptions();
    ResetLang();
    FreeParaInfo();
    FreeProfileMenu();
    FreeIcons();
}

TestSandbox::TestSandbox(bool copyShippedData) {
    programDir_ = dir_.path() + QStringLiteral("/program");
    homeDir_ = dir_.path() + QStringLiteral("/home");
    QDir().mkpath(programDir_);
    QDir().mkpath(homeDir_);
    if (copyShippedData) {
        copyTree(QStringLiteral(VANTO_SOURCE_DIR "/data"), programDir_);
        // The update check of a main window made by a test must not reach the real update
        // server: nothing listens on this port, so the check fails at once and is only logged.
        QFile options(programDir_ + QStringLiteral("/vantooptions.ini"));
        if (options.open(QIODevice::Append)) options.write("update_server=http://127.0.0.1:9\r\n");
    }
    oldHome_ = qgetenv("HOME");
    oldDataHome_ = qEnvironmentVariableIsSet("XDG_DATA_HOME") ? qgetenv("XDG_DATA_HOME") : QByteArray();
    oldConfigHome_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME") ? qgetenv("XDG_CONFIG_HOME") : QByteArray();
    setenv("HOME", homeDir_.toLocal8Bit().constData(), 1);
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CONFIG_HOME", (homeDir_ + QStringLiteral("/.config")).toLocal8Bit().constData(), 1);
    oldCacheHome_ = qEnvironmentVariableIsSet("XDG_CACHE_HOME") ? qgetenv("XDG_CACHE_HOME") : QByteArray();
    setenv("XDG_CACHE_HOME", (homeDir_ + QStringLiteral("/.cache")).toLocal8Bit().constData(), 1);
    SetProgramFolderOverride(programDir_);
    InstallPlatform(&platform);
    ResetStores();
}

TestSandbox::~TestSandbox() {
    ResetStores();
    InstallPlatform(nullptr);
    SetProgramFolderOverride(QString());
    setOrUnset("HOME", oldHome_);
    setOrUnset("XDG_DATA_HOME", oldDataHome_);
    setOrUnset("XDG_CONFIG_HOME", oldConfigHome_);
    setOrUnset("XDG_CACHE_HOME", oldCacheHome_);
    // Read-only folders made by a test must not stop the clean-up.
    QDirIterator it(dir_.path(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSandbox::writeProgramFile(const QString& name, const QByteArray& content) const {
    const QString path = programFile(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
}

void TestSandbox::removeProgramFile(const QString& name) const {
    QFile::remove(programFile(name));
}
