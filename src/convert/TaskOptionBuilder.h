#pragma once
// Turns a media entry and its output profile into the input and output option records of one
// transcoding task, and queues the task. Shared by the conversion window and the command-line
// converter. User-interface thread (or the command-line tool's only thread).

#include <QString>

#include "app/AppLogger.h"
#include "engine/FFmpegTypes.h"

class ListFileInfo;
class TCustomFFmpegTasks;
class TOutputNaming;

class TTaskOptionBuilder {
public:
    TTaskOptionBuilder(TCustomFFmpegTasks& tasks, TOutputNaming& naming, const AppLogger& log);

    // The run's output folder.
    QString OutputFolder;

    // Fills both records (freshly initialised) from the entry and its profile parameters and
    // chooses the output path (which may ask about an existing file).
    void CreateOptions(TOutputOptions& out, TInputOptions& in, const ListFileInfo& entry);
    // Queues the task with its output file; on failure logs the component's error, gives it in
    // `error`, removes a half-added task and returns false. Never shows a window: a task that
    // can't be set up must not hold the rest of the run up.
    bool AddTask(TInputOptions& in, TOutputOptions& out, QString* error = nullptr);

    // Whether the source file is an audio file whose video streams (cover pictures) are ignored.
    static bool IsAudioSource(const QString& fileName);
    // The clip range of an entry, when it is not the whole file.
    static void ApplyClipRange(const ListFileInfo& entry, TInputOptions& in, TOutputOptions& out);

private:
    TCustomFFmpegTasks& tasks_;
    TOutputNaming& naming_;
    AppLogger log_;
};
