#pragma once
// Shared set-up of the conversion tests: a sandbox with the shipped data loaded, the task
// component with its libraries, generated clips and conversion records made from them.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/CommEntity.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertRecord.h"
#include "engine/transcode/FFmpegTasks.h"

class ConvertFixture {
public:
    ConvertFixture();
    ~ConvertFixture();

    // A generated clip (cached), seconds long, with sound.
    static QString Clip(const char* name, double seconds, int width = 160, int height = 120, int fps = 25);
    // A record for the source file with the profile `profileId`, output base name `target`.
    std::unique_ptr<ConvertRecord> Record(const QString& source, int profileId, const QString& target);
    // Converts the entry with its own parameters into `out` through the option builder and the
    // engine, on this thread. The output's path, or "" with a test failure; `notes` receives what
    // the output could not keep of its source.
    std::string Convert(ListFileInfo& entry, QStringList* notes = nullptr);

    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TFFmpegTasks tasks;
    QString out;  // output folder (created)
};
