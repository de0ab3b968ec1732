#include "convert/QualityEstimate.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>

#include "app/AppLogger.h"
#include "app/CommEntity.h"
#include "convert/OutputNaming.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/transcode/FFmpegTasks.h"
#include "profiles/QualityScale.h"

bool NeedsQualityEstimate(const ListFileInfo& entry) {
    if (!entry.formatInfo || !entry.HasVideo) return false;
    const TEncParam& p = entry.formatInfo->EncParam;
    return p.Quality >= 0 && p.FitSize <= 0 && QualityScaleFor(EffectiveVideoEncoder(*entry.formatInfo));
}

qint64 EstimateQualitySize(const ListFileInfo& entry) {
    constexpr qint64 kSample = 2000000;  // microseconds
    const qint64 length = entry.EndTime - entry.StartTime;
    if (!entry.formatInfo || length <= 0) return -1;
    QTemporaryDir dir;
    if (!dir.isValid()) return -1;
    TFFmpegTasks tasks;
    TOutputNaming naming;
    naming.coverExitFileResult = 10;  // nothing to ask in a fresh folder
    AppLogger log;
    TTaskOptionBuilder builder(tasks, naming, log);
    builder.OutputFolder = dir.path();
    // A short clip is measured whole; a longer one at the middle of each third.
    const int samples = length <= 3 * kSample ? 1 : 3;
    qint64 measured = 0;
    std::vector<std::string> outputs;
    for (int i = 0; i < samples; ++i) {
        std::unique_ptr<ListFileInfo> part = entry.CloneObj();
        if (samples > 1) {
            const qint64 middle = entry.StartTime + length * (2 * i + 1) / 6;
            part->StartTime = std::max(entry.StartTime, middle - kSample / 2);
            part->EndTime = std::min(entry.EndTime, part->StartTime + kSample);
        }
        measured += part->EndTime - part->StartTime;
        part->OutPutFileName = QStringLiteral("sample%1").arg(i);
        part->CategoryTag.clear();
        TOutputOptions out;
        TInputOptions in;
        builder.CreateOptions(out, in, *part);
        if (!builder.AddTask(in, out)) return -1;
        outputs.push_back(out.FileName);
    }
    bool ok = true;
    tasks.OnTerminate = [&ok](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0 && (!info.Finished || info.Exception)) ok = false;
    };
    tasks.Start(0);
    if (!ok || measured <= 0) return -1;
    qint64 bytes = 0;
    for (const std::string& file : outputs)
        bytes += QFileInfo(QString::fromStdString(file)).size();
    return static_cast<qint64>(static_cast<double>(bytes) * static_cast<double>(length) / static_cast<double>(measured));
}
