#include "convert/ResumableConversion.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QThread>
#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "app/CommEntity.h"
#include "app/SafeFiles.h"
#include "engine/transcode/FFmpegTasks.h"

namespace {
const char* const kJournal = "journal.json";
constexpr qint64 kMinSegmentUs = 1000000;  // what the override may ask for
constexpr qint64 kShortestPieceUs = 5LL * 1000000;
constexpr qint64 kLongestPieceUs = 60LL * 1000000;
constexpr double kMinPlausibleBitrate = 8000;  // bits per second over the claimed length

// A field added to the output record must count in the fingerprint too, or a resume would mix
// pieces made with different settings.
static_assert(sizeof(TOutputOptions) == 1016, "fingerprint every field of TOutputOptions");

std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

QString pieceName(int index) {
    return QStringLiteral("seg%1.mkv").arg(index, 4, 10, QLatin1Char('0'));
}

// Only names this class writes are ever deleted from a working folder.
bool isOwnName(const QString& name) {
    return name == QLatin1String(kJournal) || name == QLatin1String("video.mkv") ||
           name.startsWith(QLatin1String("audio.")) || (name.startsWith(QLatin1String("seg")) &&
                                                         (name.endsWith(QLatin1String(".mkv"))));
}

void removeOwnFiles(const QString& folder) {
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (isOwnName(name)) QFile::remove(folder + '/' + name);
}
}  // namespace

qint64 TResumableConversion::SegmentLengthUs(qint64 rangeUs) {
    bool ok = false;
    const double seconds = qEnvironmentVariable("VANTO_RESUME_SEGMENT_SECONDS").toDouble(&ok);
    if (ok && seconds > 0) return std::max<qint64>(kMinSegmentUs, qint64(seconds * 1e6));
    return std::clamp<qint64>(rangeUs / 20, kShortestPieceUs, kLongestPieceUs);
}

bool TResumableConversion::SuitsSource(const ListFileInfo& entry) {
    const qint64 length = entry.EndTime - entry.StartTime;
    return entry.HasVideo && length > 0 &&
           double(entry.FileSize) * 8e6 / double(length) >= kMinPlausibleBitrate;
}

bool TResumableConversion::SuitsOutput(const TOutputOptions& out) {
    return !out.DisableVideo && out.SizeLimit <= 0 && !out.TwoPass;
}

QString TResumableConversion::WorkFolderFor(const QString& outputPath) {
    const QFileInfo info(outputPath);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".vanto-resume");
}

TResumableConversion::TResumableConversion(TCustomFFmpegTasks& tasks, const TInputOptions& in,
                                           const TOutputOptions& out, qint64 rangeStart, qint64 rangeEnd,
                                           bool hasAudio)
    : tasks_(tasks), in_(in), out_(out), start_(rangeStart), end_(rangeEnd), hasAudio_(hasAudio && !out.DisableAudio) {}

QString TResumableConversion::fingerprint() const {
    const TOutputOptions& o = out_;
    QStringList f;
    const QFileInfo source(QString::fromStdString(in_.FileName));
    f << QString::fromStdString(in_.FileName) << QString::number(source.size())
      << QString::number(source.lastModified().toMSecsSinceEpoch()) << QString::fromStdString(in_.FileFormat)
      << QString::number(in_.ProgramID) << QString::fromStdString(in_.ExtOptions) << QString::number(start_)
      << QString::number(end_) << QString::number(SegmentLengthUs(end_ - start_))
      << QString::number(hasAudio_) << QString::number(tasks_.ThreadCount());
    for (const std::string* s : {&o.FileFormat, &o.AudioCodec, &o.AudioPreset, &o.AudioLanguage, &o.AudioTag,
                                 &o.VideoCodec, &o.VideoPreset, &o.FrameRate, &o.FrameSize, &o.FrameAspectRatio,
                                 &o.VideoTag, &o.VideoFilters, &o.VideoLanguage, &o.SubtitleCodec, &o.SubtitlePreset,
                                 &o.SubtitleLanguage, &o.ExtOptions})
        f << QString::fromStdString(*s);
    for (qint64 n : {qint64(o.PacketSize), qint64(o.MuxRate), qint64(o.AudioVolume), qint64(o.AudioChannels),
                     qint64(o.AudioSampleRate), qint64(o.AudioBitrate), qint64(o.AudioBitRateTolerance),
                     qint64(o.AudioSyncMethod), qint64(o.CropTop), qint64(o.CropBottom), qint64(o.CropLeft),
                     qint64(o.CropRight), qint64(o.PadTop), qint64(o.PadBottom), qint64(o.PadLeft),
                     qint64(o.PadRight), qint64(o.PadColor), qint64(o.GroupPictureSize), qint64(o.VideoBitrate),
                     qint64(o.VideoMaxRate), qint64(o.VideoMinRate), qint64(o.VideoBitRateTolerance),
                     qint64(o.VideoBufSize), qint64(o.VideoSyncMethod), qint64(o.DisableAudio),
                     qint64(o.DisableVideo), qint64(o.DisableSubtitle), qint64(o.InputSync),
                     qint64(o.CopyTimestamp), qint64(o.TimeStart), qint64(o.TimeLength), qint64(o.TargetType),
                     qint64(o.NormType), qint64(o.NormDefault), qint64(o.SizeLimit), qint64(o.TwoPass)})
        f << QString::number(n);
    f << QString::number(o.MuxDelay) << QString::number(o.MuxPreload);
    return QString::fromLatin1(
        QCryptographicHash::hash(f.join(QChar(0x1f)).toUtf8(), QCryptographicHash::Sha256).toHex());
}

void TResumableConversion::saveJournal() {
    QJsonArray pieces;
    for (const Piece& p : done_)
        pieces.append(QJsonObject{{"name", p.name},
                                  {"start", QString::number(p.start)},
                                  {"end", QString::number(p.end)},
                                  {"size", QString::number(p.size)}});
    const QJsonObject root{{"settings", fingerprint()}, {"output", finalPath_}, {"pieces", pieces}};
    QString error;
    SafeFiles::WriteAtomically(folder_ + '/' + kJournal, QJsonDocument(root).toJson(), &error);
}

void TResumableConversion::testKillPoint(const QString& point) const {
    // Test-only: the process ends here as with kill -9, leaving everything as it is.
    if (qEnvironmentVariable("VANTO_TEST_KILL_AT") == point) ::kill(::getpid(), SIGKILL);
}

bool TResumableConversion::runTask(const QStringList& inputs, const TInputOptions& in, const QString& output,
                                   const TOutputOptions& out, double before, double weight, QString* error) {
    tasks_.ClearTasks();
    const int index = tasks_.AddTask(utf8(inputs.first()), in);
    bool ok = index >= 0;
    for (qsizetype i = 1; ok && i < inputs.size(); ++i)
        ok = tasks_.AddInputFile(index, utf8(inputs[i]), TInputOptions{});
    ok = ok && tasks_.SetOutputFile(index, utf8(output), out);
    if (!ok) {
        if (error) *error = QString::fromStdString(tasks_.LastErrMsg());
        tasks_.ClearTasks();
        return false;
    }
    std::mutex lock;
    TTerminateInfo result;
    std::atomic<bool> ended{false};
    tasks_.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        std::lock_guard<std::mutex> guard(lock);
        if (info.TaskIndex >= 0)
            result = info;
        else
            ended = true;
    };
    // Test-only kill point: inside this piece, once it has written something. The progress report
    // always comes at least once, before the piece is finished and renamed, so the kill is certain.
    const QString inside = QStringLiteral("inside:") + QFileInfo(output).fileName();
    const bool killInside = qEnvironmentVariable("VANTO_TEST_KILL_AT") == inside;
    tasks_.OnProgress = [&](TCustomFFmpegTasks*, const TProgressInfo* p) {
        if (!p) return;
        if (killInside && p->CurrentSize > 0) testKillPoint(inside);
        if (Progress && p->TotalDuration > 0)
            Progress(before + weight * std::min(1.0, double(p->CurrentDuration) / double(p->TotalDuration)));
    };
    bool stopped = false, paused = false;
    // The handlers above are safe on any thread: the conversion thread never waits for this one.
    const bool mainThreadEvents = tasks_.TriggerEventInMainThread();
    tasks_.SetTriggerEventInMainThread(false);
    const bool mainThread =
        QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    if (!tasks_.Start(1)) {
        if (error) *error = QString::fromStdString(tasks_.LastErrMsg());
        ok = false;
    } else {
        while (!ended) {
            if (mainThread) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (!stopped && Cancelled && Cancelled()) {
                stopped = true;
                tasks_.Stop(false);
            }
            const bool pause = !stopped && Paused && Paused();
            if (pause != paused) {
                paused = pause;
                if (paused)
                    tasks_.Pause();
                else
                    tasks_.Resume();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard<std::mutex> guard(lock);
        ok = result.Finished && !result.Exception && !stopped;
        if (!ok && error)
            *error = stopped ? QStringLiteral("cancelled")
                             : QString::fromStdString(result.ExceptionMsg.empty() ? "the conversion did not finish"
                                                                                  : result.ExceptionMsg);
    }
    tasks_.OnTerminate = nullptr;
    tasks_.OnProgress = nullptr;
    tasks_.ClearTasks();
    tasks_.SetTriggerEventInMainThread(mainThreadEvents);
    return ok;
}

bool TResumableConversion::stage(const QString& name, const QString& partName, qint64 start, qint64 end, bool audio,
                                 double before, double weight, QString* error) {
    for (const Piece& p : done_)
        if (p.name == name) {
            if (Progress) Progress(before + weight);
            return true;
        }
    TInputOptions in = in_;
    TOutputOptions out = out_;
    // A piece is one encode of its range, so pictures start with a key frame; the first piece
    // keeps the source's own start when the whole file is converted.
    if (start != start_ || in_.TimeStart != kNoTimestamp) in.TimeStart = start;
    out.TimeStart = kNoTimestamp;
    out.TimeLength = end - start;
    out.FileFormat = "matroska";
    out.DisableSubtitle = true;
    if (audio) {
        out.DisableVideo = true;
        out.AudioTag.clear();
    } else {
        out.DisableAudio = true;
        out.VideoTag.clear();
    }
    // Paused between pieces: the next one waits.
    while (Paused && Paused() && !(Cancelled && Cancelled()))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Cancelled && Cancelled()) {
        if (error) *error = QStringLiteral("cancelled");
        return false;
    }
    const QString part = folder_ + '/' + partName;
    QFile::remove(part);
    if (!runTask({QString::fromStdString(in.FileName)}, in, part, out, before, weight, error)) return false;
    const QString target = folder_ + '/' + name;
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
        if (error) *error = QStringLiteral("can't finish ") + target;
        return false;
    }
    done_.push_back({name, start, end, QFileInfo(target).size()});
    ++encoded_;
    saveJournal();
    return true;
}

bool TResumableConversion::Run(const QString& finalPath, const std::function<QString(QString*)>& workingFile,
                               QString* error) {
    finalPath_ = finalPath;
    folder_ = WorkFolderFor(finalPath);
    if (!QDir().mkpath(folder_)) {
        if (error) *error = QStringLiteral("can't create the working folder ") + folder_;
        return false;
    }
    QLockFile lockFile(folder_ + QStringLiteral("/lock"));
    lockFile.setStaleLockTime(0);
    if (!lockFile.tryLock(0)) {
        lockedElsewhere_ = true;
        if (error) *error = QStringLiteral("another process is converting into %1 (its working folder %2 is locked)")
                                .arg(finalPath, folder_);
        return false;
    }
    auto cleanUp = [&] {
        removeOwnFiles(folder_);
        lockFile.unlock();
        QDir().rmdir(folder_);
    };

    // What an earlier run finished, when it was made with the same settings and is intact.
    const QString fp = fingerprint();
    const qint64 segment = SegmentLengthUs(end_ - start_);
    std::vector<std::pair<qint64, qint64>> plan;
    for (qint64 s = start_; s < end_; s += segment)
        plan.emplace_back(s, std::min(end_, s + segment));
    {
        QFile journal(folder_ + '/' + kJournal);
        bool fresh = true;
        if (journal.open(QIODevice::ReadOnly)) {
            const QJsonObject root = QJsonDocument::fromJson(journal.readAll()).object();
            if (ResumeAllowed && root["settings"].toString() == fp && root["output"].toString() == finalPath) {
                fresh = false;
                for (const QJsonValue& v : root["pieces"].toArray()) {
                    const QJsonObject o = v.toObject();
                    Piece p{o["name"].toString(), o["start"].toString().toLongLong(), o["end"].toString().toLongLong(),
                            o["size"].toString().toLongLong()};
                    bool planned = p.name == QLatin1String("audio.mka") && p.start == start_ && p.end == end_;
                    for (size_t i = 0; !planned && i < plan.size(); ++i)
                        planned = p.name == pieceName(int(i)) && plan[i].first == p.start && plan[i].second == p.end;
                    const QFileInfo file(folder_ + '/' + p.name);
                    if (planned && file.isFile() && file.size() == p.size && p.size > 0) {
                        done_.push_back(p);
                        ++reused_;
                    }
                }
            }
        }
        if (fresh) removeOwnFiles(folder_);
    }
    saveJournal();

    const double pieces = double(plan.size()) + (hasAudio_ ? 0.3 : 0.0) + 0.1;
    double before = 0;
    bool ok = true;
    if (hasAudio_) {
        ok = stage(QStringLiteral("audio.mka"), QStringLiteral("audio.part.mka"), start_, end_, true, 0, 0.3 / pieces,
                   error);
        before = 0.3 / pieces;
        if (ok) testKillPoint(QStringLiteral("audio"));
    }
    for (size_t i = 0; ok && i < plan.size(); ++i) {
        const QString name = pieceName(int(i));
        ok = stage(name, QStringLiteral("seg%1.part.mkv").arg(i, 4, 10, QLatin1Char('0')), plan[i].first,
                   plan[i].second, false, before, 1.0 / pieces, error);
        before += 1.0 / pieces;
        if (ok) testKillPoint(QStringLiteral("seg:") + QString::number(i));
    }
    // The join: the pictures' pieces one after another, then the sound beside them, both copied.
    QString video = folder_ + '/' + pieceName(0);
    if (ok && plan.size() > 1) {
        QStringList inputs;
        for (size_t i = 0; i < plan.size(); ++i)
            inputs << folder_ + '/' + pieceName(int(i));
        TOutputOptions join;
        join.FileFormat = "matroska";
        join.VideoCodec = "copy";
        join.Join = true;
        join.DisableAudio = true;
        join.DisableSubtitle = true;
        video = folder_ + QStringLiteral("/video.mkv");
        ok = runTask(inputs, TInputOptions{}, video, join, before, 0.05 / pieces, error);
        if (ok) testKillPoint(QStringLiteral("join"));
    }
    if (ok) {
        TOutputOptions mux;
        mux.FileFormat = out_.FileFormat;
        mux.VideoCodec = "copy";
        mux.AudioCodec = "copy";
        mux.VideoTag = out_.VideoTag;
        mux.AudioTag = out_.AudioTag;
        mux.DisableSubtitle = true;
        mux.Info = out_.Info;
        QStringList inputs{video};
        if (hasAudio_) inputs << folder_ + QStringLiteral("/audio.mka");
        const QString target = workingFile(error);
        ok = !target.isEmpty() &&
             runTask(inputs, TInputOptions{}, target, mux, before + 0.05 / pieces, 0.05 / pieces, error);
    }
    // Finished, failed or cancelled: the working folder goes. Only a process that is killed
    // (or told to keep it as it ends) leaves it, which is what a later run resumes from.
    if (!ok && Cancelled && Cancelled() && KeepWhenCancelled && KeepWhenCancelled()) {
        lockFile.unlock();
        return false;
    }
    cleanUp();
    if (ok && Progress) Progress(1.0);
    return ok;
}
