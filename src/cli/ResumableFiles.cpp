#include "cli/ResumableFiles.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "app/AppLogger.h"
#include "convert/OutputNaming.h"
#include "convert/ResumableConversion.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/FFmpegTasks.h"

namespace {
constexpr double kMinPlausibleBitrate = 8000;  // bits per second over the claimed length
}  // namespace

std::vector<std::unique_ptr<ConvertRecord>> ConvertResumableFiles(std::vector<std::unique_ptr<ConvertRecord>> records,
                                                                  TCustomFFmpegTasks& tasks, const QString& folder,
                                                                  bool overwrite, const ResumableChoice& choice,
                                                                  const std::function<bool()>& stop,
                                                                  ResumableOutcome& outcome) {
    std::vector<std::unique_ptr<ConvertRecord>> rest;
    if (choice.mode < 0) return records;
    TOutputNaming naming;
    naming.coverExitFileResult = overwrite ? 10 : 9;
    for (const auto& record : records)
        naming.AddSource(record->PFileInfo->FileName);
    const AppLogger log(QStringLiteral("logfile"));
    // One file at a time: its tasks take every processor.
    tasks.SetThreadCount(int(std::max(1u, std::thread::hardware_concurrency())));
    for (auto& record : records) {
        ListFileInfo& entry = *record->PFileInfo;
        const qint64 length = entry.EndTime - entry.StartTime;
        // Pieces are cut by source time, which needs times that can be trusted: a file whose
        // length claims far more time than its bytes could hold (a damaged time stamp) is
        // converted in one piece, where its times are mended as it is read.
        const bool plausible = length > 0 && double(entry.FileSize) * 8e6 / double(length) >= kMinPlausibleBitrate;
        const bool wanted = entry.HasVideo && plausible && (choice.mode > 0 || length >= choice.thresholdUs);
        if (!wanted || stop()) {
            rest.push_back(std::move(record));
            continue;
        }
        entry.OutPutFileName = record->TargetFileName;
        entry.ProfileName = record->ProfileName;
        TTaskOptionBuilder builder(tasks, naming, log);
        builder.OutputFolder = folder;
        TInputOptions in;
        TOutputOptions out;
        builder.CreateOptions(out, in, entry);
        // A sound-only profile has nothing to cut into pieces; a size limit is checked, and
        // kept by a second encoding, on the whole file.
        if (out.DisableVideo || out.SizeLimit > 0 || out.TwoPass) {
            rest.push_back(std::move(record));
            continue;
        }
        const QString finalPath = QString::fromStdString(out.FileName);
        std::fprintf(stderr, "start  %s (resumable)\n", finalPath.toUtf8().constData());
        TResumableConversion conversion(tasks, in, out, entry.StartTime, entry.EndTime, true);
        conversion.ResumeAllowed = choice.resume;
        conversion.Cancelled = stop;
        QString working, error;
        bool ok = conversion.Run(
            finalPath,
            [&](QString* e) {
                working = naming.CreateWorkingFile(finalPath, e);
                return working;
            },
            &error);
        QString placed;
        if (ok) {
            placed = naming.Commit(working, finalPath, &error);
            ok = !placed.isEmpty();
        }
        if (!working.isEmpty() && !ok) naming.RemoveCreated(working);
        if (ok) {
            std::fprintf(stderr, "done   %s (%d pieces reused, %d encoded)\n", placed.toUtf8().constData(),
                         conversion.Reused(), conversion.Encoded());
            outcome.lines << QStringLiteral("converted\t") + placed;
        } else {
            std::fprintf(stderr, "vanto-convert convert: %s: %s\n", entry.FileName.toUtf8().constData(),
                         error.toUtf8().constData());
            outcome.lines << (stop() ? QStringLiteral("cancelled\t") : QStringLiteral("failed\t")) + finalPath;
            outcome.allDone = false;
        }
    }
    return rest;
}
