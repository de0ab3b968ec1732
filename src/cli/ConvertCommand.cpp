#include "cli/ConvertCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include <unistd.h>

#include "app/AppLogger.h"
#include "app/QtDispatcher.h"
#include "app/Utils.h"
#include "cli/CatalogueLoading.h"
#include "cli/ResumableFiles.h"
#include "cli/StatusLines.h"
#include "convert/ConvertQueue.h"
#include "convert/TaskOptionBuilder.h"
#include "convert/ResumableConversion.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/transcode/FFmpegTasks.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "profiles/QualityScale.h"
#include "settings/Options.h"
#include "tools/EntryProbe.h"

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
void onSignal(int) {
    g_interrupted = 1;
}

void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert convert --profile ID [--output-folder DIR] [--jobs N] [--threads N]\n"
        "                             [--merge] [--quality N | --fit-size SIZE] [--overwrite] FILE...\n\n"
        "Converts every FILE with the output profile ID (see 'vanto-convert profiles'), exactly as\n"
        "the window program does: same option builder, output naming and engine.\n\n"
        "  --profile ID          the output profile\n"
        "  --output-folder DIR   where the outputs go (default: the program's output folder)\n"
        "  --jobs N              conversions at the same time (default: the program's setting)\n"
        "  --threads N           codec threads of each conversion (default: the processors shared\n"
        "                        out among the conversions running at once)\n"
        "  --merge               join all files into one output named MergerVideo\n"
        "  --quality N           constant quality N on the video encoder's own scale (x264/x265,\n"
        "                        VP9, SVT-AV1, libaom: CRF, lower is better; MPEG-1/2/4: qscale)\n"
        "                        instead of the profile's bit rate\n"
        "  --fit-size SIZE       each output (or the merged one) fits into SIZE: bytes, or with K, M\n"
        "                        or G (1 M = 1,048,576 bytes), such as 25M\n"
        "  --overwrite           replace existing outputs; otherwise an existing output's name gets\n"
        "                        a \"_(new_N)\" suffix\n"
        "  --resumable           convert every file with pictures resumably (default: sources of\n"
        "                        the options file's resumable_from seconds or more, 300 unless\n"
        "                        set; 0 or off: none)\n"
        "  --no-resumable        convert every file in one piece\n"
        "  --resume              continue the resumable files a killed run (same arguments) left\n"
        "                        unfinished, from their last finished piece\n\n"
        "A resumable file is encoded as its sound in one piece and its pictures in pieces of a\n"
        "twentieth of its length (5 s to 60 s), in a hidden working folder beside the output\n"
        "(\".NAME.vanto-resume\"), joined by stream copy at the end; finished, failed or cancelled,\n"
        "the folder is removed. Its percentage is shown as a plain line at most once a second.\n\n"
        "Progress goes to standard error: each file once as it starts and once as it ends, and a\n"
        "status line per running file with its time left, plus the run's time left (rewritten in\n"
        "place on a terminal; elsewhere at most one line a second per file). Ctrl-C stops cleanly\n"
        "(the files written so far stay playable). Exit status 0 when every file converted, 1 otherwise,\n"
        "2 for a wrong command line.\n",
        out);
}

QString TimeLeft(int64_t ms) {
    return FormatTime(ms * 1000) + QStringLiteral(" left");
}

// What a row's change shows: the file announced once as it starts, its status line while it
// runs (with its time left), its end as a lasting line; and the run's time left.
struct RowProgress {
    StatusLines& status;
    std::set<int> started, ended;

    void Reset() {
        status.Finish();
        started.clear();
        ended.clear();
    }
    void Show(const TConvertQueue& queue, int row) {
        const TConvertQueue::Row& r = queue.Rows[row];
        const QString tag = QStringLiteral("[%1] ").arg(row + 1);
        const QString name = r.OutputFile.isEmpty() ? r.Caption : r.OutputFile;
        if (r.State != TConvertQueue::RowState::Waiting) {
            // A file that fails in its set-up is still announced before its end.
            if (started.insert(row).second) status.Lasting(row, tag + QStringLiteral("start  ") + name);
            const QString end = r.State == TConvertQueue::RowState::Finished    ? QStringLiteral("done   ")
                                : r.State == TConvertQueue::RowState::Cancelled ? QStringLiteral("cancelled ")
                                                                                : QStringLiteral("failed ");
            if (ended.insert(row).second) status.Lasting(row, tag + end + name);
        } else if (!queue.finished) {
            if (started.insert(row).second) status.Lasting(row, tag + QStringLiteral("start  ") + name);
            QString line = tag + r.Caption + QStringLiteral("  ") + r.Percent + QLatin1Char('%');
            if (r.RemainingMs >= 0) line += QStringLiteral("  ") + TimeLeft(r.RemainingMs);
            status.Status(row, line);
        }
        const int64_t left = queue.RunRemainingMs();
        if (left >= 0 && !queue.finished) status.Status(-1, QStringLiteral("all files  ") + TimeLeft(left));
    }
};

struct Arguments {
    int profile = -1;
    QString folder;
    int jobs = 0;
    int threads = 0;
    bool merge = false;
    bool overwrite = false;
    int quality = -1;
    qint64 fitSize = 0;
    int resumable = 0;
    bool resume = false;
    QStringList files;
};

bool parse(const std::vector<std::string>& args, Arguments& a) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "vanto-convert convert: %s needs a value\n", name);
                return nullptr;
            }
            return &args[++i];
        };
        if (arg == "--profile") {
            const std::string* v = value("--profile");
            if (!v) return false;
            bool ok = false;
            a.profile = QString::fromStdString(*v).toInt(&ok);
            if (!ok) {
                std::fprintf(stderr, "vanto-convert convert: the profile must be a number: %s\n", v->c_str());
                return false;
            }
        } else if (arg == "--output-folder") {
            const std::string* v = value("--output-folder");
            if (!v) return false;
            a.folder = QString::fromStdString(*v);
        } else if (arg == "--jobs" || arg == "--threads" || arg == "--quality") {
            const std::string* v = value(arg.c_str());
            if (!v) return false;
            const int least = arg == "--quality" ? 0 : 1;
            int& into = arg == "--jobs" ? a.jobs : arg == "--threads" ? a.threads : a.quality;
            bool ok = false;
            into = QString::fromStdString(*v).toInt(&ok);
            if (!ok || into < least) {
                std::fprintf(stderr, "vanto-convert convert: %s needs a number of at least %d\n", arg.c_str(), least);
                return false;
            }
        } else if (arg == "--fit-size") {
            const std::string* v = value("--fit-size");
            if (!v) return false;
            const std::optional<qint64> size = ParseSizeText(QString::fromStdString(*v));
            if (!size) {
                std::fprintf(stderr, "vanto-convert convert: --fit-size needs a size such as 25M, 800K or 1G: %s\n",
                             v->c_str());
                return false;
            }
            a.fitSize = *size;
        } else if (arg == "--merge") {
            a.merge = true;
        } else if (arg == "--overwrite") {
            a.overwrite = true;
        } else if (arg == "--resumable" || arg == "--no-resumable") {
            a.resumable = arg == "--resumable" ? 1 : -1;
        } else if (arg == "--resume") {
            a.resume = true;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            std::exit(kExitOk);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            std::fprintf(stderr, "vanto-convert convert: unknown option %s\n", arg.c_str());
            return false;
        } else {
            a.files << QString::fromStdString(arg);
        }
    }
    if (a.quality >= 0 && a.fitSize > 0) {
        std::fputs("vanto-convert convert: --quality and --fit-size exclude each other\n", stderr);
        return false;
    }
    if (a.profile < 0 || a.files.isEmpty()) {
        std::fputs("vanto-convert convert: a profile and at least one file are needed\n", stderr);
        return false;
    }
    return true;
}

int Run(const std::vector<std::string>& args) {
    Arguments a;
    if (!parse(args, a)) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    CliApplication cli;
    QCoreApplication& app = cli.app();
    QtDispatcher dispatcher;
    InstallDispatcher(&dispatcher);
    struct Uninstall {
        ~Uninstall() { InstallDispatcher(nullptr); }
    } uninstall;

    if (!LoadCatalogueForCli()) return kExitFailed;
    const std::unique_ptr<TFormatInfo> profile = GetFormatInfo(a.profile);
    if (!profile) {
        std::fprintf(stderr, "vanto-convert convert: there is no profile %d (see 'vanto-convert profiles')\n",
                     a.profile);
        return kExitUsage;
    }
    if (a.quality >= 0) {
        const QString encoder = EffectiveVideoEncoder(*profile);
        const TQualityScale* scale = QualityScaleFor(encoder);
        if (!scale) {
            std::fprintf(stderr, "vanto-convert convert: the profile's video encoder %s has no constant quality\n",
                         encoder.isEmpty() ? "(none)" : encoder.toUtf8().constData());
            return kExitUsage;
        }
        if (a.quality < scale->Best || a.quality > scale->Smallest) {
            std::fprintf(stderr, "vanto-convert convert: %s takes a quality from %d (best) to %d (smallest)\n",
                         scale->Encoder, scale->Best, scale->Smallest);
            return kExitUsage;
        }
        profile->EncParam.Quality = a.quality;
        profile->EncParam.FitSize = 0;
    }
    if (a.fitSize > 0) {
        profile->EncParam.FitSize = a.fitSize;
        profile->EncParam.Quality = -1;
    }
    const TCategory* category = FindCategory(profile->Categoryid);
    const QString tag = category ? category->CategoryTag : QString();
    const QString folder = a.folder.isEmpty() ? GetOptions().OutPutFolder : a.folder;
    const int jobs = a.jobs > 0 ? a.jobs : std::max(1, GetOptions().CPUCount);

    GetFFLogger().SetLogLevel(TLogLevel::llError);
    TFFmpegTasks tasks;
    if (!tasks.LoadAVLib(EngineProgramFolder() + "/lib")) {
        std::fprintf(stderr, "vanto-convert convert: %s\n", tasks.LastErrMsg().c_str());
        return kExitFailed;
    }

    // Probe every file as the window's list does; unreadable ones are reported and skipped.
    std::vector<std::unique_ptr<ConvertRecord>> records;
    QStringList unreadable;
    for (const QString& file : a.files) {
        auto entry = std::make_unique<ListFileInfo>();
        entry->FileName = QFileInfo(file).absoluteFilePath();
        if (!ProbeEntry(tasks.AVProbe(), *entry)) {
            std::fprintf(stderr, "vanto-convert convert: %s: can't be read as a media file\n",
                         file.toUtf8().constData());
            unreadable << QFileInfo(file).absoluteFilePath();
            continue;
        }
        entry->formatInfo = profile->Clone();
        entry->CategoryTag = tag;
        auto record = std::make_unique<ConvertRecord>();
        record->SourceFileName = QFileInfo(file).fileName();
        record->FileDur = FormatTime(entry->EndTime - entry->StartTime);
        record->TargetFileName = OutputNameOf(record->SourceFileName);
        record->ProfileName = profile->Format;
        record->PFileInfo = std::move(entry);
        records.push_back(std::move(record));
    }
    // A size limit too small for a file's length is refused before anything starts.
    // A merge is one output: its limit is checked against all clips together.
    std::vector<const ListFileInfo*> entries;
    for (const auto& record : records)
        entries.push_back(record->PFileInfo.get());
    const QStringList refusals = TTaskOptionBuilder::FitRefusals(entries, a.merge);
    if (!refusals.isEmpty()) {
        for (const QString& line : refusals)
            std::fprintf(stderr, "vanto-convert convert: %s\n", line.toUtf8().constData());
        return kExitUsage;
    }
    // The output folder is made only once the run will start.
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "vanto-convert convert: can't create the output folder %s\n",
                     folder.toUtf8().constData());
        return kExitFailed;
    }
    // Standard output: one line per file with its result, the unreadable inputs last.
    auto listResults = [&unreadable](const decltype(TConvertQueue::Rows)& rows) {
        for (const TConvertQueue::Row& r : rows) {
            const char* state = r.State == TConvertQueue::RowState::Finished    ? "converted"
                                : r.State == TConvertQueue::RowState::Cancelled ? "cancelled"
                                                                                : "failed";
            const QString path = r.OutputFile.isEmpty() ? r.Caption : r.OutputFile;
            std::printf("%s\t%s\n", state, path.toUtf8().constData());
        }
        for (const QString& file : unreadable)
            std::printf("unreadable\t%s\n", file.toUtf8().constData());
    };
    g_interrupted = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onSignal);
    // Long files first, each resumable on its own; a merge is one output made of all files.
    ResumableOutcome resumable;
    if (!(a.merge && records.size() > 1)) {
        // Without --resumable or --no-resumable the options file's threshold decides (0: none).
        const ResumableChoice choice{a.resumable, a.resume,
                                     qint64(GetOptions().ResumableFromSeconds) * 1000000, a.threads};
        records = ConvertResumableFiles(std::move(records), tasks, folder, a.overwrite, choice,
                                        [] { return g_interrupted != 0; }, resumable);
    }
    for (const QString& line : resumable.lines)
        std::printf("%s\n", line.toUtf8().constData());
    if (records.empty()) {
        listResults({});
        return resumable.lines.isEmpty() || !resumable.allDone || !unreadable.isEmpty() ? kExitFailed : kExitOk;
    }

    StatusLines status(stderr, ::isatty(::fileno(stderr)) == 1);
    RowProgress progress{status};
    TConvertQueue queue;
    queue.FFMPEGLog = AppLogger(QStringLiteral("logfile"));
    // No questions on the command line: existing outputs get new names or are replaced.
    queue.InitialAnswer = a.overwrite ? 10 : 9;
    queue.RowsReset = [&progress] { progress.Reset(); };
    queue.RowChanged = [&progress, &queue](int row) { progress.Show(queue, row); };
    queue.StepChanged = [&queue, &status] {
        if (!queue.StepText.isEmpty()) status.Lasting(-2, queue.StepText);
    };
    int result = 0;
    queue.RunEnded = [&](int r) {
        result = r;
        app.exit(0);
    };
    queue.CodecThreads = a.threads;
    queue.SetFFmpegTasks(&tasks);
    const bool merge = a.merge && records.size() > 1;
    if (!queue.SetTaskData(std::move(records), false, folder, merge, jobs)) {
        std::fputs("vanto-convert convert: no conversion could be set up\n", stderr);
        for (const QString& line : queue.FailureLines())
            std::fprintf(stderr, "vanto-convert convert: %s\n", line.toUtf8().constData());
        queue.Close();
        listResults(queue.Rows);
        return kExitFailed;
    }

    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, [&] {
        if (g_interrupted && result == 0) {
            std::fputs("vanto-convert convert: stopping\n", stderr);
            queue.Cancel();
        }
    });
    interruptWatch.start(100);
    if (result == 0) app.exec();
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, SIG_DFL);
    status.Finish();

    // Finished outputs are in place; what was cut short or never started is removed.
    queue.Close();
    bool allDone = result == 1 && !queue.Failed && unreadable.isEmpty() && resumable.allDone;
    for (const TConvertQueue::Row& r : queue.Rows)
        if (r.State != TConvertQueue::RowState::Finished) allDone = false;
    listResults(queue.Rows);
    for (const QString& line : queue.FailureLines() + queue.NoteLines())
        std::fprintf(stderr, "vanto-convert convert: %s\n", line.toUtf8().constData());
    return allDone ? kExitOk : kExitFailed;
}
}  // namespace

TCliCommand ConvertCommand() {
    return {"convert", "convert files with an output profile of the catalogue", PrintHelp, Run};
}
