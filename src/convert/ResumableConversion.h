#pragma once
// A conversion that survives being killed: the sound is encoded in one piece, the pictures in
// segments of about a minute of source, each encoded on its own (so it starts with a key frame)
// into a working name and renamed when complete. A journal beside them records each finished
// piece with the run's settings and its time range. At the end the pieces are joined by stream
// copy into the output's working file, and the working folder is removed.
//
// The working folder is hidden, next to the output (".<name>.vanto-resume"), and holds:
//   journal.json   settings fingerprint, output path, and each finished piece (name, range, size)
//   lock           held while a process works on it; a second process is refused
//   audio.mka, seg0000.mkv ...  finished pieces; "*.part.*" while being written
// A later run with the same settings checks every journaled piece (present, same size, same
// range, same settings) and continues from the first that is not; other settings start afresh.
//
// Runs on the thread that owns the task component (the command-line tool's main thread); the
// engine's events are delivered through the dispatcher while it waits.

#include <QString>
#include <functional>

#include "engine/FFmpegTypes.h"

class TCustomFFmpegTasks;

class TResumableConversion {
public:
    // Sources at least this long are converted resumably unless told otherwise.
    static constexpr qint64 kDefaultThresholdUs = 5LL * 60 * 1000000;
    // Length of a picture segment; VANTO_RESUME_SEGMENT_SECONDS overrides it (tests).
    static qint64 SegmentLengthUs();
    // The working folder for an output path.
    static QString WorkFolderFor(const QString& outputPath);

    // `in` and `out` are the records the option builder made for the whole conversion; `range`
    // is the source range [start, end) in microseconds; `hasAudio` whether the source has sound.
    TResumableConversion(TCustomFFmpegTasks& tasks, const TInputOptions& in, const TOutputOptions& out,
                         qint64 rangeStart, qint64 rangeEnd, bool hasAudio);

    // Produces the complete output in the file `workingFile` gives (asked only for the last
    // step, so a process killed before leaves no working output); the caller moves it into
    // place. Resumes from the working folder of `finalPath` when its settings match and
    // ResumeAllowed is set. False with `error` set; failure and cancel remove the working folder.
    bool Run(const QString& finalPath, const std::function<QString(QString* error)>& workingFile, QString* error);
    // False: pieces an earlier run left are not used (they are removed and the file starts
    // afresh).
    bool ResumeAllowed = true;

    // Asked between and during pieces; true stops the run.
    std::function<bool()> Cancelled;
    // Fraction done, 0 to 1; called on the conversion thread.
    std::function<void(double)> Progress;
    // Pieces found finished and reused by this run (for the caller's report).
    int Reused() const { return reused_; }
    int Encoded() const { return encoded_; }

private:
    QString fingerprint() const;
    bool runTask(const QStringList& inputs, const TInputOptions& in, const QString& output, const TOutputOptions& out,
                 double weightBefore, double weight, QString* error);
    bool stage(const QString& name, const QString& partName, qint64 start, qint64 end, bool audio, double before,
               double weight, QString* error);
    void saveJournal();
    void testKillPoint(const QString& point) const;

    TCustomFFmpegTasks& tasks_;
    TInputOptions in_;
    TOutputOptions out_;
    qint64 start_, end_;
    bool hasAudio_;
    QString folder_;
    QString finalPath_;
    struct Piece {
        QString name;
        qint64 start = 0, end = 0, size = 0;
    };
    std::vector<Piece> done_;
    int reused_ = 0, encoded_ = 0;
};
