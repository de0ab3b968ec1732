#pragma once
// A private program folder and home folder for one test: the shipped data files are copied
// into a temporary program folder, HOME points at an empty temporary folder, and every
// process-wide store is reset before and after.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "app/Platform.h"
#include "common/QtPrinters.h"

// Records what the program asks of the desktop instead of doing it.
class RecordingPlatform : public IPlatform {
public:
    QStringList opened;
    int powerOffs = 0;
    bool opens = true;  // false: as on a desktop without a file manager or browser
    bool OpenDocument(const QString& pathOrAddress) override {
        opened << pathOrAddress;
        return opens;
    }
    bool PowerOff() override {
        ++powerOffs;
        return true;
    }
};

class TestSandbox {
public:
    explicit TestSandbox(bool copyShippedData = true);
    ~TestSandbox();

    QString programDir() const { return programDir_; }
    QString homeDir() const { return homeDir_; }
    QString root() const { return dir_.path(); }
    QString programFile(const QString& name) const { return programDir_ + '/' + name; }

    void writeProgramFile(const QString& name, const QByteArray& content) const;
    void removeProgramFile(const QString& name) const;

    // Installed for the sandbox's lifetime: no test opens other programs or powers anything off.
    RecordingPlatform platform;

    // Resets options, language table, catalogue and parameter table.
    static void ResetStores();

private:
    QTemporaryDir dir_;
    QString programDir_;
    QString homeDir_;
    QByteArray oldHome_, oldDataHome_, oldConfigHome_, oldCacheHome_;
};
