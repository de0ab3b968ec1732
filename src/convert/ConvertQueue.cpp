#include "convert/ConvertQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <cmath>

#include "app/Utils.h"
#include "convert/CodecThreadRule.h"
#include "convert/ResumableConversion.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/Dispatcher.h"
#include "engine/transcode/FFmpegTasks.h"
#include "settings/Lang.h"
#include "settings/ReasonText.h"

namespace {
std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}
}  // namespace

TConvertQueue::TConvertQueue(QObject* parent) : QObject(parent) {}

TConvertQueue::~TConvertQueue() {
    Close();
}

int TConvertQueue::PercentFor(int64_t current, int64_t total) {
    if (total <= 0) return 0;
    // nearbyint rounds halves to even in the default rounding mode.
    const double exact = static_cast<double>(current) / static_cast<double>(total) * 100.0;
    const int percent = exact > 1e6 ? 1000000 : static_cast<int>(std::nearbyint(exact));
    if (percent > 200) return 0;
    if (percent > 100 && percent < 110) return 100;
    return percent;
}

void TConvertQueue::SetFFmpegTasks(TCustomFFmpegTasks* tasks) {
    tasks_ = tasks;
    if (!tasks_) return;
    tasks_->SetProgressInterval(200);
    tasks_->SetThreadPriority(TThreadPriority::tpNormal);
    if (CodecThreads > 0)
        tasks_->CodecThreadsAtStart = [n = CodecThreads](int, int) { return n; };
    else
        tasks_->CodecThreadsAtStart = TCodecThreadRule(Processors);
    QPointer<TConvertQueue> self(this);
    // Progress arrives on this thread (through the dispatcher).
    tasks_->OnProgress = [self](TCustomFFmpegTasks*, const TProgressInfo* info) {
        if (self && info) self->FFmpegTasksProgress(*info);
    };
    // Completions arrive on short-lived threads: handled here, in order, unless they are stale.
    tasks_->OnTerminate = [self, this](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        const int generation = generation_.load();
        GetDispatcher().post([self, info, generation] {
            if (self && generation == self->generation_.load()) self->FFTasksTerminate(info);
        });
    };
}

bool TConvertQueue::SetTaskData(std::vector<std::unique_ptr<ConvertRecord>> records, bool /*applyAll*/,
                                const QString& folder, bool merge, int runWidth) {
    ++generation_;
    stopResumable();
    resumables_.clear();
    nextResumable_ = 0;
    paused_ = false;
    DataFileList = std::move(records);
    outputFolder = folder;
    IsMergeOne = merge;
    Naming = TOutputNaming();
    Naming.coverExitFileResult = InitialAnswer;
    setupErrors_.clear();
    for (const auto& record : DataFileList)
        if (record->PFileInfo) Naming.AddSource(record->PFileInfo->FileName);
    finished = true;
    Failed = false;
    Result = 0;
    runWidth_ = std::max(1, runWidth);
    Rows.clear();
    taskRows_.clear();
    if (RowsReset) RowsReset();
    if (!tasks_) return false;
    const bool built = IsMergeOne ? CreateFileToMpeg() : CreateNormalVideo();
    if (!built) return false;
    finished = false;
    if (IsMergeOne)
        startRun(runWidth_);
    else
        startNextStage();
    return true;
}

int TConvertQueue::addRow(const QString& caption, const QString& duration) {
    Row r;
    r.Caption = caption;
    r.Duration = duration;
    Rows.push_back(r);
    const int row = static_cast<int>(Rows.size()) - 1;
    if (RowChanged) RowChanged(row);
    return row;
}

void TConvertQueue::failRow(int row, const QString& reason) {
    Row& r = Rows[row];
    r.Icon = kIconFailed;
    r.State = RowState::Failed;
    r.Error = ReasonText(reason);
    if (!r.WorkFile.isEmpty()) Naming.RemoveCreated(r.WorkFile);
    if (RowChanged) RowChanged(row);
}

// Queues a task that writes a final output: the task writes a hidden working file, which is
// moved to the output path only once the task has finished.
bool TConvertQueue::queueTask(int row, TInputOptions& in, TOutputOptions& out) {
    const QString finalPath = QString::fromStdString(out.FileName);
    Rows[row].OutputFile = finalPath;
    QString error;
    const QString work = Naming.CreateWorkingFile(finalPath, &error);
    if (work.isEmpty()) {
        FFMPEGLog.Error(finalPath + QStringLiteral(": ") + error);
        failRow(row, error);
        return false;
    }
    Rows[row].WorkFile = work;
    out.FileName = utf8(work);
    TTaskOptionBuilder builder(*tasks_, Naming, FFMPEGLog);
    if (!builder.AddTask(in, out, &error)) {
        failRow(row, error.replace(work, finalPath));
        return false;
    }
    // What the output can't hold of its source, shown with the row.
    QStringList notes;
    for (const QString& note : builder.Notes)
        notes << ReasonText(note);
    Rows[row].Note = notes.join(QStringLiteral("; "));
    taskRows_.push_back(row);
    return true;
}

void TConvertQueue::markUnfinishedCancelled() {
    for (int row = 0; row < static_cast<int>(Rows.size()); ++row) {
        Row& r = Rows[row];
        if (r.State != RowState::Waiting) continue;
        r.State = RowState::Cancelled;
        r.Error = GetLangText(QStringLiteral("ConvertCancelled"));
        if (RowChanged) RowChanged(row);
    }
}

int TConvertQueue::OutputRowCount() const {
    int n = 0;
    for (const Row& r : Rows)
        if (!IsMergeOne || !r.OutputFile.isEmpty()) ++n;
    return n;
}

int TConvertQueue::FinishedCount() const {
    int n = 0;
    for (const Row& r : Rows)
        if (r.State == RowState::Finished && (!IsMergeOne || !r.OutputFile.isEmpty())) ++n;
    return n;
}

QStringList TConvertQueue::FailureLines() const {
    QStringList lines = setupErrors_;
    for (const Row& r : Rows)
        if (r.State == RowState::Failed)
            lines << QFileInfo(r.OutputFile.isEmpty() ? r.Caption : r.OutputFile).fileName() + QStringLiteral(": ") +
                         r.Error;
    return lines;
}

QStringList TConvertQueue::NoteLines() const {
    QStringList lines;
    for (const Row& r : Rows)
        if (r.State == RowState::Finished && !r.Note.isEmpty())
            lines << QFileInfo(r.OutputFile.isEmpty() ? r.Caption : r.OutputFile).fileName() + QStringLiteral(": ") +
                         r.Note;
    return lines;
}

QString TConvertQueue::FinishText() const {
    const QStringList failures = FailureLines();
    const QStringList notes = NoteLines();
    const int total = std::max(OutputRowCount(), IsMergeOne ? 1 : 0);
    QString text = failures.isEmpty() && FinishedCount() == total && total > 0
                       ? GetLangText(QStringLiteral("Convert_Finish"))
                       : FormatText(GetLangText(QStringLiteral("ConvertPartly")),
                                    {QString::number(FinishedCount()), QString::number(total)});
    if (!failures.isEmpty()) text += QStringLiteral("\n") + failures.join(QStringLiteral("\n"));
    if (!notes.isEmpty()) text += QStringLiteral("\n") + notes.join(QStringLiteral("\n"));
    return text;
}

QString TConvertQueue::ShortOutputNote(int64_t outputUs, int64_t expectedUs) {
    if (outputUs <= 0 || expectedUs <= 0) return QString();
    const int64_t missing = expectedUs - outputUs;
    if (missing <= 1000000 || missing * 20 <= expectedUs) return QString();
    return FormatText(GetLangText(QStringLiteral("ConvertShort")),
                      {QString::number(outputUs / 1e6, 'f', 1), QString::number(expectedUs / 1e6, 'f', 1)});
}

void TConvertQueue::checkOutputLength(int row) {
    // The joined file of a merge is checked against the total of its parts; the steps before it
    // write the program's own intermediates.
    int64_t expected = -1;
    if (IsMergeOne)
        expected = MergFlag == 2 ? mergeTotal_ : -1;
    else if (row < static_cast<int>(DataFileList.size()) && DataFileList[row]->PFileInfo)
        expected = DataFileList[row]->PFileInfo->EndTime - DataFileList[row]->PFileInfo->StartTime;
    if (expected <= 0 || Rows[row].OutputFile.isEmpty()) return;
    TAVProbe probe;
    if (!probe.LoadFile(Rows[row].OutputFile.toUtf8().toStdString())) return;
    const int64_t length = probe.FileStreamInfo().Duration;
    probe.CloseFile();
    const QString shortNote = ShortOutputNote(length, expected);
    if (!shortNote.isEmpty()) {
        Rows[row].Note = Rows[row].Note.isEmpty() ? shortNote : shortNote + QStringLiteral("; ") + Rows[row].Note;
        Rows[row].Percent = shortNote;
        FFMPEGLog.Error(Rows[row].Caption + QStringLiteral(": ") + shortNote);
    }
}

void TConvertQueue::CleamFFMPEG() {
    if (!tasks_) return;
    tasks_->Stop(true);
    tasks_->ClearTasks();
}

bool TConvertQueue::CreateNormalVideo() {
    try {
        TTaskOptionBuilder builder(*tasks_, Naming, FFMPEGLog);
        builder.OutputFolder = outputFolder;
        bool any = false;
        for (auto& record : DataFileList) {
            const int row = addRow(record->SourceFileName, record->FileDur);
            ListFileInfo& entry = *record->PFileInfo;
            entry.OutPutFileName = record->TargetFileName;
            entry.ProfileName = record->ProfileName;
            TOutputOptions out;
            TInputOptions in;
            builder.CreateOptions(out, in, entry);
            Rows[row].Caption = QFileInfo(QString::fromStdString(out.FileName)).fileName();
            const int64_t length = entry.EndTime - entry.StartTime;
            if (ResumableFromUs > 0 && length >= ResumableFromUs &&
                TResumableConversion::SuitsSource(entry) && TResumableConversion::SuitsOutput(out)) {
                // Its own worker makes the output, in pieces, before the component's tasks run.
                Rows[row].OutputFile = QString::fromStdString(out.FileName);
                Rows[row].Resumable = true;
                resumables_.push_back({row, in, out, entry.StartTime, entry.EndTime});
                any = true;
            } else if (queueTask(row, in, out)) {
                any = true;
            }
            if (RowChanged) RowChanged(row);
        }
        StepText.clear();
        if (StepChanged) StepChanged();
        return any;
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("CreateNormalVideo:") + QString::fromUtf8(e.what()));
        return false;
    }
}

bool TConvertQueue::CreateFileToMpeg() {
    try {
        VideoMergerTemp = ReduceSeparators(outputFolder + QStringLiteral("/MegerTemp/"));
        QDir().mkpath(VideoMergerTemp);
        CleamFFMPEG();
        Rows.clear();
        taskRows_.clear();
        if (RowsReset) RowsReset();
        // A source without pictures, merged with sources that have them, gets a still black
        // picture for its whole length, so that the joined file shows black while it plays.
        const ListFileInfo* pictures = nullptr;
        for (const auto& record : DataFileList)
            if (!pictures && hasPictures(*record->PFileInfo)) pictures = record->PFileInfo.get();
        for (auto& record : DataFileList) {
            ListFileInfo& entry = *record->PFileInfo;
            entry.OutPutFileName = record->TargetFileName;
            entry.ProfileName = record->ProfileName;
            TInputOptions in;
            TOutputOptions out;
            in.FileName = utf8(entry.FileName);
            if (TTaskOptionBuilder::IsAudioSource(entry.FileName)) in.ExtOptions = "vn=1";
            const bool blackPicture = pictures && !hasPictures(entry);
            out.FileFormat = "mp4";
            out.VideoTag = "DIVX";
            out.VideoCodec = "mpeg4";
            out.AudioCodec = "libfaac";
            // The intermediate files are encoded again at the end: keep them at a high fixed
            // quality rather than the encoder's low default bit rate.
            out.ExtOptions = "qscale=2";
            TTaskOptionBuilder::ApplyClipRange(entry, in, out);
            out.FileExt = ".mp4";
            // Intermediate files are the program's own: always a fresh name, never a question.
            QString error;
            const QString temp =
                Naming.CreateOwnFile(VideoMergerTemp, entry.OutPutFileName, QStringLiteral(".mp4"), &error);
            if (temp.isEmpty()) {
                setupErrors_ << QFileInfo(entry.FileName).fileName() + QStringLiteral(": ") + ReasonText(error);
                FFMPEGLog.Error(QStringLiteral("Create merger tmp file failed:") + entry.FileName);
                return false;
            }
            out.FileName = utf8(temp);
            record->MergerTempFile = temp;
            out.DisableSubtitle = true;
            TTaskOptionBuilder builder(*tasks_, Naming, FFMPEGLog);
            const bool added =
                blackPicture ? addWithBlackPicture(*pictures, in, out, &error) : builder.AddTask(in, out, &error);
            if (!added) {
                setupErrors_ << QFileInfo(entry.FileName).fileName() + QStringLiteral(": ") + ReasonText(error);
                FFMPEGLog.Error(QStringLiteral("Create merger tmp file failed:") + entry.FileName);
                return false;
            }
            taskRows_.push_back(addRow(record->SourceFileName, record->FileDur));
        }
        StepText = GetLangText(QStringLiteral("lbStep1"));
        if (StepChanged) StepChanged();
        MergFlag = 0;
        return true;
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("CreateFileToMpeg:") + QString::fromUtf8(e.what()));
        return false;
    }
}

bool TConvertQueue::hasPictures(const ListFileInfo& entry) {
    return entry.HasVideo && !TTaskOptionBuilder::IsAudioSource(entry.FileName);
}

bool TConvertQueue::addWithBlackPicture(const ListFileInfo& pictures, const TInputOptions& sound,
                                        TOutputOptions& out, QString* error) {
    if (blackPicture_.isEmpty()) {
        // One black picture (binary PPM) at the size of the first source with pictures, even in
        // both directions as 4:2:0 encoders need.
        const int width = std::max(2, (pictures.VWidth > 0 ? pictures.VWidth : 320) & ~1);
        const int height = std::max(2, (pictures.VHeight > 0 ? pictures.VHeight : 240) & ~1);
        const QString path = Naming.CreateOwnFile(VideoMergerTemp, QStringLiteral("black"), QStringLiteral(".ppm"), error);
        if (path.isEmpty()) return false;
        QFile file(path);
        QByteArray picture = QStringLiteral("P6\n%1 %2\n255\n").arg(width).arg(height).toLatin1();
        picture.append(QByteArray(qsizetype(width) * height * 3, '\0'));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(picture) != picture.size()) {
            if (error) *error = QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
            Naming.RemoveCreated(path);
            return false;
        }
        blackPicture_ = path;
    }
    const TFormatInfo* profile = pictures.formatInfo.get();
    const int rate = profile && profile->EncParam.FrameRate > 0 ? profile->EncParam.FrameRate : 25000;
    TInputOptions picture;
    picture.ExtOptions = "loop_input=1\r\nr=" + std::to_string(rate) + "/1000";
    const int index = tasks_->AddTask(utf8(blackPicture_), picture);
    TInputOptions soundIn = sound;
    // Not "vn": that would switch the task's pictures off. Streams are taken in input order, so
    // the black picture comes before any cover picture of the sound file.
    soundIn.ExtOptions.clear();
    // The output ends with the sound: the picture repeats as long as it plays.
    out.ExtOptions += "\r\nshortest=1";
    if (index < 0 || !tasks_->AddInputFile(index, soundIn.FileName, soundIn) ||
        !tasks_->SetOutputFile(index, out.FileName, out)) {
        if (error) *error = QString::fromStdString(tasks_->LastErrMsg());
        if (index >= 0) tasks_->RemoveTask(index);
        return false;
    }
    return true;
}

bool TConvertQueue::CreateMergerTask() {
    try {
        CleamFFMPEG();
        Rows.clear();
        taskRows_.clear();
        if (RowsReset) RowsReset();
        int64_t total = 0;
        for (size_t i = 0; i < DataFileList.size(); ++i) {
            const ConvertRecord& record = *DataFileList[i];
            TInputOptions in;
            const std::string temp = utf8(record.MergerTempFile);
            const bool ok = i == 0 ? tasks_->AddTask(temp, in) >= 0 : tasks_->AddInputFile(0, temp, in);
            if (!ok) {
                setupErrors_ << QFileInfo(record.MergerTempFile).fileName() + QStringLiteral(": ") +
                                    ReasonText(QString::fromStdString(tasks_->LastErrMsg()));
                FFMPEGLog.Error(QStringLiteral("CreateMergerTask 1:") +
                                QString::fromStdString(tasks_->LastErrMsg()));
                return false;
            }
            total += record.PFileInfo->EndTime - record.PFileInfo->StartTime;
        }
        mergeTotal_ = total;
        DataFileList.front()->PFileInfo->OutPutFileName = QStringLiteral("MergerVideo_Temp");
        TOutputOptions out;
        out.VideoCodec = "mpeg4";
        out.AudioCodec = "libfaac";
        out.ExtOptions = "qscale=2";
        out.Join = true;
        QString error;
        MergeredTempFile =
            Naming.CreateOwnFile(VideoMergerTemp, QStringLiteral("MergerVideo_Temp"), QStringLiteral(".mp4"), &error);
        if (MergeredTempFile.isEmpty()) {
            setupErrors_ << QStringLiteral("MergerVideo_Temp.mp4: ") + ReasonText(error);
            return false;
        }
        out.FileName = utf8(MergeredTempFile);
        if (!tasks_->SetOutputFile(0, out.FileName, out)) {
            setupErrors_ << QStringLiteral("MergerVideo_Temp.mp4: ") +
                            ReasonText(QString::fromStdString(tasks_->LastErrMsg()));
            FFMPEGLog.Error(QStringLiteral("CreateMergerTask 2:") + MergeredTempFile +
                            QStringLiteral("can not be set as output file ") +
                            QString::fromStdString(tasks_->LastErrMsg()));
            return false;
        }
        MergerTimer = FormatTime(total);
        taskRows_.push_back(addRow(QStringLiteral("Merger"), MergerTimer));
        StepText = GetLangText(QStringLiteral("lbStep2"));
        if (StepChanged) StepChanged();
        MergFlag = 1;
        finished = false;
        startRun(1);
        return true;
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("CreateMergerTask:") + QString::fromUtf8(e.what()));
        return false;
    }
}

bool TConvertQueue::CreateMergerToTarget() {
    try {
        CleamFFMPEG();
        Rows.clear();
        taskRows_.clear();
        if (RowsReset) RowsReset();
        // Never overwrite nor ask about an existing "MergerVideo": take a numbered name.
        Naming.coverExitFileResult = mrNoToAll;
        ConvertRecord& first = *DataFileList.front();
        ListFileInfo& entry = *first.PFileInfo;
        entry.OutPutFileName = QStringLiteral("MergerVideo");
        entry.ProfileName = first.ProfileName;
        entry.FileName = MergeredTempFile;
        // The joined file holds only the clipped parts already: convert all of it.
        entry.StartTime = 0;
        entry.EndTime = mergeTotal_;
        entry.FileDurTime = mergeTotal_;
        TTaskOptionBuilder builder(*tasks_, Naming, FFMPEGLog);
        builder.OutputFolder = outputFolder;
        TOutputOptions out;
        TInputOptions in;
        builder.CreateOptions(out, in, entry);
        const int row = addRow(QStringLiteral("Check Result"), MergerTimer);
        if (!queueTask(row, in, out)) {
            FFMPEGLog.Error(QStringLiteral("CreateMergerToTarget failed:") + MergeredTempFile +
                            QStringLiteral(",Error:") + Rows[row].Error);
            return false;
        }
        StepText = GetLangText(QStringLiteral("lbStep3"));
        if (StepChanged) StepChanged();
        MergFlag = 2;
        startRun(1);
        finished = false;
        return true;
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("CreateMergerToTarget:") + QString::fromUtf8(e.what()));
        return false;
    }
}

void TConvertQueue::FFmpegTasksProgress(const TProgressInfo& info) {
    if (Result != 0 || info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(taskRows_.size())) return;
    const int row = taskRows_[info.TaskIndex];
    // A source of unknown length counts the bytes read instead; its time left follows from their rate.
    const bool byBytes = info.TotalDuration <= 0 && info.InputSize > 0;
    const int64_t done = byBytes ? info.InputBytesRead : info.CurrentDuration;
    const int64_t total = byBytes ? info.InputSize : info.TotalDuration;
    Rows[row].Percent = QString::number(PercentFor(done, total));
    Rows[row].Icon = (Rows[row].Icon + 1) % 4;
    estimate_.Progress(info.TaskIndex, clock_.Elapsed(), done, total);
    Rows[row].RemainingMs = estimate_.TaskRemainingMs(info.TaskIndex, clock_.Elapsed());
    if (RowChanged) RowChanged(row);
}

void TConvertQueue::startRun(int width) {
    std::vector<int64_t> durations;
    const bool joined = IsMergeOne && MergFlag > 0;
    for (int row : taskRows_)
        durations.push_back(joined ? mergeTotal_ : rowLength(row));
    clock_.Start();
    estimate_.Start(durations, width, clock_.Elapsed());
    tasks_->Start(width);
    // Paused while the resumable files ran: the others start paused too.
    if (paused_) {
        tasks_->Pause();
        clock_.Pause();
    }
}

void TConvertQueue::startNextStage() {
    if (Result != 0) return;
    if (nextResumable_ < resumables_.size()) {
        startResumable(resumables_[nextResumable_++]);
        return;
    }
    if (!taskRows_.empty())
        startRun(runWidth_);
    else
        endRun(mrOk, false);
}

int64_t TConvertQueue::rowLength(int row) const {
    const ListFileInfo* entry =
        row >= 0 && row < static_cast<int>(DataFileList.size()) ? DataFileList[row]->PFileInfo.get() : nullptr;
    return entry && entry->EndTime > entry->StartTime ? entry->EndTime - entry->StartTime : -1;
}

int64_t TConvertQueue::RunRemainingMs() const {
    if (finished) return -1;
    if (resumeRunning_ && nextResumable_ > 0) return resumablePhaseRemainingMs();
    return !clock_.IsValid() ? -1 : estimate_.RunRemainingMs(clock_.Elapsed());
}

void TConvertQueue::FFTasksTerminate(const TTerminateInfo& info) {
    if (Result != 0) return;  // the run has ended (cancelled, failed): late notices change nothing
    if (info.TaskIndex >= 0) estimate_.Finished(info.TaskIndex, clock_.Elapsed(), info.Finished && !info.Exception);
    try {
        const bool known = info.TaskIndex >= 0 && info.TaskIndex < static_cast<int>(taskRows_.size());
        if (info.TaskIndex >= 0 && info.Exception) {
            if (known) reportFailure(taskRows_[info.TaskIndex], QString::fromStdString(info.ExceptionMsg));
            if (IsMergeOne) {
                // The joined file can't be made any more: stop the step's other tasks at once.
                ++generation_;
                Result = mrCancel;
                CleamFFMPEG();
                markUnfinishedCancelled();
                endRun(mrCancel, true);
            }
        } else if (info.TaskIndex >= 0 && info.Finished) {
            if (!known) return;
            if (!finishRow(taskRows_[info.TaskIndex]) && IsMergeOne) endRun(mrCancel, true);
        } else if (info.TaskIndex < 0) {
            if (IsMergeOne)
                moveOn();
            else
                endRun(mrOk, false);
        }
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("FFTasksTerminate:") + QString::fromUtf8(e.what()));
        endRun(mrCancel, true);
    }
}

bool TConvertQueue::finishRow(int row) {
    if (!Rows[row].WorkFile.isEmpty()) {
        QString error;
        const QString landed = Naming.Commit(Rows[row].WorkFile, Rows[row].OutputFile, &error);
        if (landed.isEmpty()) {
            failRow(row, error);
            FFMPEGLog.Error(Rows[row].Caption + QStringLiteral(": convert failed,Error: ") + error);
            return false;
        }
        Rows[row].WorkFile.clear();
        Rows[row].OutputFile = landed;
    }
    Rows[row].State = RowState::Finished;
    Rows[row].Percent = QStringLiteral("100");
    Rows[row].Icon = kIconFinished;
    checkOutputLength(row);
    if (RowChanged) RowChanged(row);
    if (OnProgress)
        OnProgress(GetLangText(QStringLiteral("tryTipInfoSTitle")),
                   FormatText(GetLangText(QStringLiteral("tryTipInfoS")), {Rows[row].Caption}), true);
    return true;
}

void TConvertQueue::reportFailure(int row, const QString& reason) {
    failRow(row, reason);
    const QString caption = Rows[row].Caption;
    if (OnProgress)
        OnProgress(GetLangText(QStringLiteral("tryTipInfoFTitle")),
                   FormatText(GetLangText(QStringLiteral("tryTipInfoF")), {caption}), false);
    FFMPEGLog.Error(caption + QStringLiteral(": convert failed,Error: ") + reason);
}

void TConvertQueue::moveOn() {
    ++generation_;
    bool ok = true;
    if (MergFlag == 0)
        ok = CreateMergerTask();
    else if (MergFlag == 1)
        ok = CreateMergerToTarget();
    else {
        endRun(mrOk, false);  // stops the component and removes the merge's files
        return;
    }
    if (!ok) endRun(mrCancel, true);
}

void TConvertQueue::endRun(int result, bool failed) {
    finished = true;
    if (failed) Failed = true;
    // A merge run's intermediate and joined files go as soon as it ends, before its account is
    // shown; nothing waits for the window to close.
    if (IsMergeOne) {
        CleamFFMPEG();
        deleteMergeFiles();
    }
    Result = result;
    if (RunEnded) RunEnded(result);
}

void TConvertQueue::Pause() {
    paused_ = true;
    if (tasks_) tasks_->Pause();
    clock_.Pause();
    resumeClock_.Pause();
}

void TConvertQueue::Resume() {
    paused_ = false;
    clock_.Resume();
    resumeClock_.Resume();
    if (tasks_) tasks_->Resume();
}

void TConvertQueue::Cancel() {
    // The result is set first: what the stopped tasks report from now on changes nothing.
    Result = mrCancel;
    ++generation_;
    // A resumable file's worker ends first: it removes its working folder before this returns.
    stopResumable();
    CleamFFMPEG();
    // What was cut short or never started leaves nothing behind; finished outputs stay.
    Naming.RemoveAllCreated();
    markUnfinishedCancelled();
    finished = true;
    if (RunEnded) RunEnded(mrCancel);
}

void TConvertQueue::deleteMergeFiles() {
    for (const auto& record : DataFileList)
        if (!record->MergerTempFile.isEmpty()) Naming.RemoveCreated(record->MergerTempFile);
    if (!MergeredTempFile.isEmpty()) Naming.RemoveCreated(MergeredTempFile);
    if (!blackPicture_.isEmpty()) Naming.RemoveCreated(blackPicture_);
    // The "MegerTemp" folder itself stays, as the final "MergerVideo" file does.
}

void TConvertQueue::Close() {
    if (Result == 0) {
        Result = mrCancel;
        markUnfinishedCancelled();
    }
    ++generation_;
    stopResumable();
    if (tasks_) {
        // Stopped first, so that no task thread uses the handlers while they are taken away;
        // what the stopped tasks still report is stale and dropped.
        CleamFFMPEG();
        tasks_->OnProgress = nullptr;
        tasks_->OnTerminate = nullptr;
        tasks_->CodecThreadsAtStart = nullptr;
        tasks_ = nullptr;
    }
    if (IsMergeOne) {
        try {
            deleteMergeFiles();
        } catch (const std::exception& e) {
            FFMPEGLog.Error(QStringLiteral("FormCloseQuery") + QString::fromUtf8(e.what()));
        }
    }
    Naming.RemoveAllCreated();
    DataFileList.clear();
}
