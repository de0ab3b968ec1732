#pragma once
// vanto-convert convert: the files converted resumably (long sources with pictures), one after
// another before the rest of the run.

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "convert/ConvertRecord.h"

class TCustomFFmpegTasks;

struct ResumableChoice {
    int mode = 0;         // 1 every file with pictures, -1 none, 0 sources of at least thresholdUs
    bool resume = false;  // continue from the pieces an earlier, killed run left
    qint64 thresholdUs = 0;
    int threads = 0;      // codec threads; 0: every processor
};

struct ResumableOutcome {
    QStringList lines;  // "converted\t<output>" or "failed\t<source>", for standard output
    bool allDone = true;
};

// Converts the records that are to be resumable and returns the others, in order, for the
// ordinary run. `stop` is asked while converting (Ctrl-C).
std::vector<std::unique_ptr<ConvertRecord>> ConvertResumableFiles(std::vector<std::unique_ptr<ConvertRecord>> records,
                                                                  TCustomFFmpegTasks& tasks, const QString& folder,
                                                                  bool overwrite, const ResumableChoice& choice,
                                                                  const std::function<bool()>& stop,
                                                                  ResumableOutcome& outcome);
