#include "app/AppLogger.h"

#include <log4cplus/configurator.h>
#include <log4cplus/consoleappender.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/loggingmacros.h>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <mutex>

#include "app/Utils.h"

namespace {
std::once_flag g_initOnce;

void ensureInitialised() {
    std::call_once(g_initOnce, [] {
        static log4cplus::Initializer initializer;
        // Until a configuration is read, errors still go somewhere visible: standard error, so that
        // the command-line program's standard output carries its results only.
        log4cplus::BasicConfigurator basic(log4cplus::Logger::getDefaultHierarchy(), true);
        basic.configure();
        log4cplus::Logger::getRoot().setLogLevel(log4cplus::ERROR_LOG_LEVEL);
    });
}

log4cplus::tstring toT(const QString& s) {
    return s.toStdString();
}
}  // namespace

AppLogger::AppLogger() : AppLogger(QStringLiteral("logfile")) {}

AppLogger::AppLogger(const QString& name) {
    ensureInitialised();
    logger_ = log4cplus::Logger::getInstance(toT(name));
}

void AppLogger::Error(const QString& message) const {
    LOG4CPLUS_ERROR(logger_, toT(message));
}
void AppLogger::Warning(const QString& message) const {
    LOG4CPLUS_WARN(logger_, toT(message));
}
void AppLogger::Info(const QString& message) const {
    LOG4CPLUS_INFO(logger_, toT(message));
}
void AppLogger::Debug(const QString& message) const {
    LOG4CPLUS_DEBUG(logger_, toT(message));
}

QString AppLogger::LogFolder() {
    return JoinPath(GetSharedDocumentsFolder(), QStringLiteral("Vantosoft/Log"));
}

bool AppLogger::Configure(const QString& configFile) {
    ensureInitialised();
    const QString folder = LogFolder();
    QDir().mkpath(folder);
    setenv("VANTO_LOG_DIR", folder.toLocal8Bit().constData(), 1);
    if (!QFile::exists(configFile)) return false;
    QFile probe(configFile);
    if (!probe.open(QIODevice::ReadOnly)) return false;
    probe.close();
    log4cplus::Logger::getDefaultHierarchy().resetConfiguration();
    log4cplus::PropertyConfigurator::doConfigure(toT(configFile));
    return true;
}
