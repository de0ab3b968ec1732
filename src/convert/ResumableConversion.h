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
// Runs on the thread that owns the task component: the command-line tool's main thread (the
// engine's events are delivered through the dispatcher while it waits), or a worker thread of
// the window's conversion run, which then owns the component alone. The hooks below are asked
// on that thread, Progress on a conversion thread.

#include <QString>
#include <functional>

#include "engine/transcode/FFmpegTypes.h"

class TCustomFFmpegTasks;
class ListFileInfo;

class TResumableConversion {
public:
    // Length of a picture segment for a range of `rangeUs`: a twentieth of it, so that a kill
    // costs little also for a file of a few minutes, but at least 5 s (each piece starts with a
    // key frame) and at most 60 s. VANTO_RESUME_SEGMENT_SECONDS overrides it (tests, benches).
    static qint64 SegmentLengthUs(qint64 rangeUs);
    // Whether a listed source can be cut into pieces: it has pictures and times that can be
    // trusted (a length that claims far more time than its bytes could hold is a damaged time
    // stamp; such a file is converted in one piece, where its times are mended as it is read).
    static bool SuitsSource(const ListFileInfo& entry);
    // Whether the conversion the option builder made can be done in pieces: a sound-only output
    // has nothing to cut, and a size limit is checked (and kept by a second encoding) on the
    // whole file.
    static bool SuitsOutput(const TOutputOptions& out);
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
    // Asked likewise; while true the running piece is paused and no new piece starts.
    std::function<bool()> Paused;
    // Asked when the run was cancelled: true keeps the finished pieces and the journal, as a
    // kill would (the program is ending on a signal and its list journal will offer them).
    std::function<bool()> KeepWhenCancelled;
    // Fraction done, 0 to 1; called on the conversion thread.
    std::function<void(double)> Progress;
    // Pieces found finished and reused by this run (for the caller's report).
    int Reused() const { return reused_; }
    int Encoded() const { return encoded_; }
    // Run refused because another process holds the working folder.
    bool LockedElsewhere() const { return lockedElsewhere_; }

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
    bool lockedElsewhere_ = false;
};
