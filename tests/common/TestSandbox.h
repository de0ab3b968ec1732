#pragma once
// A private program folder and home folder for one test: the shipped data files are copied
// into a temporary program folder, HOME points at an empty temporary folder, and every
// process-wide store is reset before and after.

#include <QString>
#include <QTemporaryDir>

#include "common/QtPrinters.h"

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

    // Resets options, language table, catalogue and parameter table.
    static void ResetStores();

private:
    QTemporaryDir dir_;
    QString programDir_;
    QString homeDir_;
    QByteArray oldHome_, oldDataHome_, oldConfigHome_;
};
