#pragma once
// Shared set-up of the conversion tests: a sandbox with the shipped data loaded, the task
// component with its libraries, generated clips and conversion records made from them.

#include <QString>
#include <memory>
#include <vector>

#include "app/CommEntity.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertRecord.h"
#include "engine/FFmpegTasks.h"

class ConvertFixture {
public:
    ConvertFixture();
    ~ConvertFixture();

    // A generated clip (cached), seconds long, with sound.
    static QString Clip(const char* name, double seconds, int width = 160, int height = 120, int fps = 25);
    // A record for the source file with the profile `profileId`, output base name `target`.
    std::unique_ptr<ConvertRecord> Record(const QString& source, int profileId, const QString& target);

    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TFFmpegTasks tasks;
    QString out;  // output folder (created)
};
