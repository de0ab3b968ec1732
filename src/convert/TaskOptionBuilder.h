#pragma once
// Turns a media entry and its output profile into the input and output option records of one
// transcoding task, and queues the task. Shared by the conversion window and the command-line
// converter. User-interface thread (or the command-line tool's only thread).

#include <QString>
#include <QStringList>
#include <vector>

#include "app/AppLogger.h"
#include "engine/transcode/FFmpegTypes.h"

class ListFileInfo;
class TFormatInfo;
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
    // What the last AddTask could not keep of its source ("subtitles not kept: AVI cannot hold
    // them"), one remark each; also written to the log.
    QStringList Notes;
    // Keeps the source's subtitle track, chapters and (in Matroska) all its sound tracks where
    // the output's container holds them, and names in `notes` what it cannot hold.
    // An HDR source (PQ or HLG): a 10-bit HEVC, AV1 or VP9 output keeps it with its colour
    // description; any other output is tone-mapped to standard range (BT.709).
    static void KeepColour(const struct TSourceTracks& tracks, const QString& pixelFormat,
                           TOutputOptions& out);
    static void KeepTracks(const struct TSourceTracks& tracks, const QString& format, TOutputOptions& out,
                           QStringList& notes);

    // Whether the source file is an audio file whose video streams (cover pictures) are ignored.
    static bool IsAudioSource(const QString& fileName);
    // The clip range of an entry, when it is not the whole file.
    static void ApplyClipRange(const ListFileInfo& entry, TInputOptions& in, TOutputOptions& out);
    // Constant quality (the profile's EncParam.Quality on its video encoder's scale) in place of
    // the bit rate; false, with `out` unchanged, when that encoder has no quality scale.
    static bool ApplyQuality(const TFormatInfo& profile, TOutputOptions& out);

    // Fit into a size: the rates that make `seconds` of output fit into `limit` bytes, after the
    // sound's bits and the container's overhead. A picture gets at least 32 kbit/s, sound alone
    // at least 24 kbit/s; below that the limit is refused and Smallest is the least size that
    // works. `videoCeiling` (> 0) caps the picture's rate: a short file need not fill the limit.
    struct TFitPlan {
        bool Possible = true;
        int VideoBitrate = 0;
        int AudioBitrate = 0;
        qint64 Smallest = 0;  // bytes
    };
    static TFitPlan PlanFit(qint64 limit, double seconds, bool video, int audioBitrate, int videoCeiling);
    // The refusal of an entry whose profile asks for a size too small for its clip length
    // ("" when it fits, or asks for no size).
    static QString FitRefusal(const ListFileInfo& entry);
    // The same for a merge: the joined output ("MergerVideo") takes the first entry's profile and
    // lasts as long as all clips together.
    static QString MergeFitRefusal(const std::vector<const ListFileInfo*>& entries);
    // Every refusal of a run before it starts: the merge's as one output when `merge` joins two
    // or more entries, else each entry's own.
    static QStringList FitRefusals(const std::vector<const ListFileInfo*>& entries, bool merge);
    // Whether the video encoder keeps two-pass statistics (libx264, libvpx, libaom, MPEG-1/2/4).
    static bool HasTwoPass(const QString& encoder);

private:
    static void applyFit(const ListFileInfo& entry, TOutputOptions& out);

    TCustomFFmpegTasks& tasks_;
    TOutputNaming& naming_;
    AppLogger log_;
};
