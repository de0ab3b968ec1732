#pragma once
// Named loggers of the application on top of log4cplus, configured from "log4d.ini" in the
// program folder. The main window takes the logger "logfile" and hands it to every dialog that
// logs. Safe to use from any thread.

#include <log4cplus/logger.h>
#include <QString>

class AppLogger {
public:
    AppLogger();  // the logger named "logfile"
    explicit AppLogger(const QString& name);

    void Error(const QString& message) const;
    void Warning(const QString& message) const;
    void Info(const QString& message) const;
    void Debug(const QString& message) const;

    log4cplus::Logger& logger() { return logger_; }

    // The log folder: the shared documents folder + "/Vantosoft/Log".
    static QString LogFolder();
    // Creates the log folder (with parents; failure is not an error) and configures logging
    // from the given properties file. ${VANTO_LOG_DIR} in that file names the log folder.
    // Returns false when the file is missing or unreadable; logging then stays unconfigured
    // (messages of error level still reach standard error).
    static bool Configure(const QString& configFile);

private:
    log4cplus::Logger logger_;
};
