#pragma once
// Collects the messages logged to one named logger while it lives.

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include <QMutex>
#include <QStringList>

#include "app/AppLogger.h"

class LogCapture {
public:
    explicit LogCapture(const QString& name) : log(name), appender_(new Collector(this)) {
        log.logger().addAppender(appender_);
    }
    ~LogCapture() { log.logger().removeAppender(appender_); }
    QStringList lines() const {
        QMutexLocker lock(&mutex_);
        return lines_;
    }
    AppLogger log;

private:
    class Collector : public log4cplus::Appender {
    public:
        explicit Collector(LogCapture* owner) : owner_(owner) {}
        ~Collector() override { destructorImpl(); }
        void close() override {}

    protected:
        void append(const log4cplus::spi::InternalLoggingEvent& event) override {
            QMutexLocker lock(&owner_->mutex_);
            owner_->lines_ << QString::fromStdString(event.getMessage());
        }

    private:
        LogCapture* owner_;
    };
    mutable QMutex mutex_;
    QStringList lines_;
    log4cplus::SharedAppenderPtr appender_;
};
