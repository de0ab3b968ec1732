#include "cli/ResumableFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/AppLogger.h"
#include "convert/OutputNaming.h"
#include "convert/ResumableConversion.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/transcode/FFmpegTasks.h"

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
    tasks.SetThreadCount(choice.threads > 0 ? choice.threads
                                            : int(std::max(1u, std::thread::hardware_concurrency())));
    for (auto& record : records) {
        ListFileInfo& entry = *record->PFileInfo;
        const qint64 length = entry.EndTime - entry.StartTime;
        const bool wanted = TResumableConversion::SuitsSource(entry) &&
                            (choice.mode > 0 || (choice.thresholdUs > 0 && length >= choice.thresholdUs));
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
        if (!TResumableConversion::SuitsOutput(out)) {
            rest.push_back(std::move(record));
            continue;
        }
        const QString finalPath = QString::fromStdString(out.FileName);
        std::fprintf(stderr, "start  %s (resumable)\n", finalPath.toUtf8().constData());
        TResumableConversion conversion(tasks, in, out, entry.StartTime, entry.EndTime, true);
        conversion.ResumeAllowed = choice.resume;
        conversion.Cancelled = stop;
        // The file's percentage while it converts, a plain line at most once a second.
        std::atomic<int> shown{-1};
        QElapsedTimer sinceShown;
        sinceShown.start();
        std::atomic<qint64> shownAt{-1000};
        const QByteArray name = QFileInfo(finalPath).fileName().toUtf8();
        conversion.Progress = [&](double done) {
            const int percent = int(done * 100);
            const qint64 now = sinceShown.elapsed();
            if (percent == shown.load() || now - shownAt.load() < 1000) return;
            shown = percent;
            shownAt = now;
            std::fprintf(stderr, "%s  %d%%\n", name.constData(), percent);
        };
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
