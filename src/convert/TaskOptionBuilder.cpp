#include "convert/TaskOptionBuilder.h"

#include <QFileInfo>
#include <QSet>

#include "app/CommEntity.h"
#include "app/Utils.h"
#include "convert/OutputNaming.h"
#include "engine/FFmpegTasks.h"

namespace {
std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

void AddOptionLine(std::string& text, const char* name, const char* value) {
    if (!text.empty()) text += '\n';
    text += std::string(name) + '=' + value;
}

bool isUnset(const QString& encoder) {
    return encoder.isEmpty() || encoder.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

// Output formats whose container is not the one the output file's extension names.
QString containerFor(const QString& format) {
    static const QHash<QString, QString> table{{".mpg", "mpeg"}, {".3g2", "3gp"},  {".dpg", "mp4"},
                                               {".f4v", "flv"},  {".trp", "mpeg"}, {".ts", "mpeg"},
                                               {".ape", "mpeg"}};
    return table.value(format);
}
}  // namespace

TTaskOptionBuilder::TTaskOptionBuilder(TCustomFFmpegTasks& tasks, TOutputNaming& naming, const AppLogger& log)
    : tasks_(tasks), naming_(naming), log_(log) {}

bool TTaskOptionBuilder::IsAudioSource(const QString& fileName) {
    static const QSet<QString> audio{"aac", "ac3", "mp2", "mp3", "wav", "wma", "m4a", "flac"};
    return audio.contains(QFileInfo(fileName).suffix().toLower());
}

void TTaskOptionBuilder::ApplyClipRange(const ListFileInfo& entry, TInputOptions& in, TOutputOptions& out) {
    if (entry.StartTime != 0 || (entry.EndTime != 0 && entry.EndTime != entry.FileDurTime)) {
        in.TimeStart = entry.StartTime;
        out.TimeLength = entry.EndTime - entry.StartTime;
    }
}

void TTaskOptionBuilder::CreateOptions(TOutputOptions& out, TInputOptions& in, const ListFileInfo& entry) {
    static const TFormatInfo kNoProfile;
    const TFormatInfo& profile = entry.formatInfo ? *entry.formatInfo : kNoProfile;
    const TEncParam& p = profile.EncParam;

    in.FileName = utf8(entry.FileName);
    in.FileFormat.clear();
    const QString f = profile.Format.toLower();
    out.FileFormat = utf8(containerFor(f));
    if (IsAudioSource(entry.FileName)) in.ExtOptions = "vn=1";

    out.AudioVolume = 256;
    out.AudioChannels = p.Channels;
    if (p.Width <= 0 && p.Height <= 0 && p.FrameRate <= 0 && p.VideoBitrate <= 0 && isUnset(p.VideoEncoder))
        out.DisableVideo = true;
    if (p.SampleRate > 0) out.AudioSampleRate = p.SampleRate;
    if (p.Width > 0 && p.Height > 0) out.FrameSize = utf8(QStringLiteral("%1x%2").arg(p.Width).arg(p.Height));
    // Always a "." decimal point, whatever the user's locale: the engine parses it.
    if (p.FrameRate > 0) out.FrameRate = utf8(QString::number(p.FrameRate / 1000.0, 'f', 2));
    if (p.VideoBitrate > 0) out.VideoBitrate = p.VideoBitrate;
    if (p.AudioBitrate > 0) out.AudioBitrate = p.AudioBitrate;
    if (!isUnset(p.VideoEncoder)) {
        const QString codec = p.VideoEncoder.toLower();
        out.VideoCodec = utf8(codec);
        if (codec == QLatin1String("mpeg4")) out.VideoTag = "DIVX";
        if (codec == QLatin1String("libx264")) out.VideoPreset = "libx264-default";
    }
    if (!isUnset(p.AudioEncoder)) out.AudioCodec = utf8(p.AudioEncoder.toLower());

    QString suffix = f;
    if (f == QLatin1String(".flv") || f == QLatin1String(".swf")) {
        if (out.AudioSampleRate != 11025 && out.AudioSampleRate != 22050 && out.AudioSampleRate != 44100)
            out.AudioSampleRate = 22050;
    } else if (f == QLatin1String(".psp")) {
        out.FileFormat = "psp";
        out.VideoCodec = "mpeg4";
        out.AudioCodec = "libfaac";
        out.AudioSampleRate = 24000;
        out.FrameRate = "15000/1001";
        suffix = QStringLiteral("_psp.mp4");
    } else if (f == QLatin1String(".ipod")) {
        out.VideoCodec = "mpeg4";
        out.AudioCodec = "libfaac";
        out.FrameSize = "320x240";
        suffix = QStringLiteral("_ipod.mp4");
    } else if (f == QLatin1String(".rm10")) {
        out.VideoCodec = "rv10";
        suffix = QStringLiteral("_rv10.rm");
    } else if (f == QLatin1String(".rm20")) {
        out.VideoCodec = "rv20";
        suffix = QStringLiteral("_rv20.rm");
    } else if (f == QLatin1String(".wmv")) {
        out.VideoCodec = "wmv2";
        out.AudioCodec = "wmav2";
    } else if (f == QLatin1String(".mkv")) {
        out.VideoPreset = "libx264-default";
    } else if (f == QLatin1String(".wma")) {
        out.DisableVideo = true;
        out.AudioCodec = "wmav2";
    } else if ((f == QLatin1String(".3gp") || out.FileFormat == "3gp") &&
               QString::fromStdString(out.AudioCodec).toLower() != QLatin1String("libfaac")) {
        out.AudioChannels = 1;
        out.AudioSampleRate = 8000;
        out.FrameSize = "128x96";
        out.AudioBitrate = 7400;
    } else if (f == QLatin1String(".vcd") || f == QLatin1String(".svcd") || f == QLatin1String(".dvd")) {
        out.TargetType = f == QLatin1String(".vcd")    ? TOptionTargetType::ttVCD
                         : f == QLatin1String(".svcd") ? TOptionTargetType::ttSVCD
                                                       : TOptionTargetType::ttDVD;
        out.NormType = TOptionNormType::ntAuto;
        out.NormDefault = TOptionNormType::ntPAL;
        // A disc profile that names its frame rate means that norm's disc; guessing it from the
        // source instead would pair, say, PAL picture sizes with an NTSC frame rate.
        if (p.FrameRate == 29970 || p.FrameRate == 23976 || p.FrameRate == 30000)
            out.NormType = TOptionNormType::ntNTSC;
        else if (p.FrameRate == 25000)
            out.NormType = TOptionNormType::ntPAL;
        suffix = QStringLiteral("_") + f.mid(1) + QStringLiteral("_auto.mpg");
    }

    if (!out.DisableVideo && !p.KeepPixelFormat) AddOptionLine(out.ExtOptions, "pix_fmt", "yuv420p");
    // A device's H.264 profile and level: the names are libx264's, so another encoder chosen in
    // the settings goes without them.
    if (!out.DisableVideo && out.VideoCodec == "libx264") {
        if (!p.VideoProfile.isEmpty()) AddOptionLine(out.ExtOptions, "profile", utf8(p.VideoProfile).c_str());
        if (!p.VideoLevel.isEmpty()) AddOptionLine(out.ExtOptions, "level", utf8(p.VideoLevel).c_str());
    }

    ApplyClipRange(entry, in, out);
    out.CustomHook = false;
    out.FileExt = utf8(profile.Format);
    out.FileName =
        utf8(naming_.CheckOutputFile(OutputFolder, entry.OutPutFileName, false, entry.CategoryTag + suffix));
    out.DisableSubtitle = true;
}

bool TTaskOptionBuilder::AddTask(TInputOptions& in, TOutputOptions& out, QString* error) {
    const QString input = ReduceSeparators(QString::fromStdString(in.FileName));
    const int index = tasks_.AddTask(utf8(input), in);
    if (index < 0) {
        const QString err = QString::fromStdString(tasks_.LastErrMsg());
        log_.Error(input + QStringLiteral(": Add task failed,Error: ") + err);
        if (error) *error = err;
        return false;
    }
    const QString output = ReduceSeparators(QString::fromStdString(out.FileName));
    if (!tasks_.SetOutputFile(index, utf8(output), out)) {
        const QString err = QString::fromStdString(tasks_.LastErrMsg());
        tasks_.RemoveTask(index);
        log_.Error(input + QStringLiteral(": SetOutputFile failed,Error: ") + err);
        if (error) *error = err;
        return false;
    }
    return true;
}
