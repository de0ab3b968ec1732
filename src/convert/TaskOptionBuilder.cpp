#include "convert/TaskOptionBuilder.h"

#include <QFileInfo>
#include <QSet>
#include <cmath>

#include "app/CommEntity.h"
#include "app/Utils.h"
#include "convert/OutputNaming.h"
#include "engine/transcode/FFmpegTasks.h"
#include "engine/transcode/SourceTracks.h"
#include "profiles/QualityScale.h"

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

// The pixel format an option text asks for ("" when none).
QString pixelFormatOf(const std::string& options) {
    for (const QString& line : QString::fromStdString(options).split('\n'))
        if (line.startsWith(QLatin1String("pix_fmt="))) return line.mid(8).trimmed();
    return {};
}

// Outputs of the MP4/QuickTime family: their index goes to the front so they play while they
// download.
bool isMovFamily(const QString& format, const std::string& container) {
    static const QSet<QString> family{".mp4",  ".mov", ".m4v", ".m4a", ".psp",
                                      ".ipod", ".3gp", ".3g2", ".dpg"};
    if (!container.empty())
        return container == "mp4" || container == "mov" || container == "psp" || container == "ipod" ||
               container == "3gp" || container == "3g2";
    return family.contains(format);
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
        // The x264 preset's generic settings (GOP, quantiser range, B-frames) are x264's only.
        if (out.VideoCodec.empty() || out.VideoCodec == "libx264") out.VideoPreset = "libx264-default";
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

    if (!out.DisableVideo && !p.PixelFormat.isEmpty())
        AddOptionLine(out.ExtOptions, "pix_fmt", utf8(p.PixelFormat).c_str());
    else if (!out.DisableVideo && !p.KeepPixelFormat)
        AddOptionLine(out.ExtOptions, "pix_fmt", "yuv420p");
    // A device's H.264 profile and level: the names are libx264's, so another encoder chosen in
    // the settings goes without them.
    if (!out.DisableVideo && out.VideoCodec == "libx264") {
        if (!p.VideoProfile.isEmpty()) AddOptionLine(out.ExtOptions, "profile", utf8(p.VideoProfile).c_str());
        if (!p.VideoLevel.isEmpty()) AddOptionLine(out.ExtOptions, "level", utf8(p.VideoLevel).c_str());
    }
    const QString videoCodec = QString::fromStdString(out.VideoCodec).toLower();
    // Phones and Apple players play HEVC in MP4/MOV only under the tag "hvc1".
    if (videoCodec == QLatin1String("libx265") && isMovFamily(f, out.FileFormat)) out.VideoTag = "hvc1";
    // x265 writes its own report to standard error unless told otherwise; the log has ours.
    if (videoCodec == QLatin1String("libx265"))
        AddOptionLine(out.ExtOptions, "x265-params", "log-level=error");
    // SVT-AV1's own default preset is slow for a desktop converter; 8 is its balanced speed.
    if (videoCodec == QLatin1String("libsvtav1")) AddOptionLine(out.ExtOptions, "preset", "8");
    if (!out.DisableVideo && p.Quality >= 0 && p.FitSize <= 0) ApplyQuality(profile, out);
    if (isMovFamily(f, out.FileFormat)) AddOptionLine(out.ExtOptions, "movflags", "+faststart");
    if (p.FitSize > 0) applyFit(entry, out);

    // The source's title, artist, date and other tags.
    AddOptionLine(out.ExtOptions, "map_meta_data", "0:0");
    ApplyClipRange(entry, in, out);
    out.CustomHook = false;
    out.FileExt = utf8(profile.Format);
    out.FileName =
        utf8(naming_.CheckOutputFile(OutputFolder, entry.OutPutFileName, false, entry.CategoryTag + suffix));
    out.DisableSubtitle = true;
}

bool TTaskOptionBuilder::ApplyQuality(const TFormatInfo& profile, TOutputOptions& out) {
    const QString encoder = out.VideoCodec.empty() ? EffectiveVideoEncoder(profile)
                                                   : QString::fromStdString(out.VideoCodec).toLower();
    const std::string options = QualityOptionText(encoder, profile.EncParam.Quality);
    if (options.empty()) return false;  // this encoder has no constant quality: its bit rate stays
    if (out.VideoCodec.empty()) out.VideoCodec = utf8(encoder);
    out.VideoBitrate = -1;
    if (!out.ExtOptions.empty()) out.ExtOptions += '\n';
    out.ExtOptions += options;
    return true;
}

namespace {
constexpr int kLeastVideoRate = 32000;
constexpr int kLeastAudioRate = 24000;
constexpr double kOverheadShare = 0.03;  // container index, headers, interleaving
constexpr qint64 kOverheadBytes = 16384;

double clipSeconds(const ListFileInfo& entry) {
    return static_cast<double>(entry.EndTime - entry.StartTime) / 1e6;
}

bool hasSound(const ListFileInfo& entry) {
    return entry.SampleRate > 0 || entry.Channel > 0 || entry.AudioBitRate > 0;
}

// Bytes rounded up to the next tenth of a megabyte, as the smallest size is offered.
qint64 roundedUp(qint64 bytes) {
    const qint64 tenth = 1048576 / 10;
    return (bytes + tenth - 1) / tenth * tenth;
}

int soundRate(const TOutputOptions& out, bool sound) {
    if (!sound || out.DisableAudio) return 0;
    return out.AudioBitrate > 0 ? out.AudioBitrate : 128000;
}
}  // namespace

TTaskOptionBuilder::TFitPlan TTaskOptionBuilder::PlanFit(qint64 limit, double seconds, bool video,
                                                         int audioBitrate, int videoCeiling) {
    TFitPlan plan;
    plan.AudioBitrate = audioBitrate;
    if (limit <= 0 || seconds <= 0) return plan;
    const double budget =
        (static_cast<double>(limit) * (1.0 - kOverheadShare) - kOverheadBytes) * 8.0 / seconds;
    auto smallest = [&](double rate) {
        return static_cast<qint64>(
            std::ceil((rate * seconds / 8.0 + kOverheadBytes) / (1.0 - kOverheadShare)));
    };
    if (!video) {
        if (audioBitrate > budget) plan.AudioBitrate = static_cast<int>(budget);
        plan.Possible = plan.AudioBitrate >= kLeastAudioRate || audioBitrate <= 0;
        plan.Smallest = smallest(kLeastAudioRate);
        return plan;
    }
    const double videoRate = budget - audioBitrate;
    plan.Possible = videoRate >= kLeastVideoRate;
    plan.Smallest = smallest(kLeastVideoRate + audioBitrate);
    plan.VideoBitrate = static_cast<int>(std::min<double>(videoRate, INT32_MAX));
    if (videoCeiling > 0) plan.VideoBitrate = std::min(plan.VideoBitrate, videoCeiling);
    return plan;
}

bool TTaskOptionBuilder::HasTwoPass(const QString& encoder) {
    static const QSet<QString> twoPass{"libx264", "libvpx",     "libvpx-vp9", "libaom-av1",
                                       "mpeg4",   "mpeg2video", "mpeg1video"};
    return twoPass.contains(encoder.toLower());
}

QString TTaskOptionBuilder::FitRefusal(const ListFileInfo& entry) {
    if (!entry.formatInfo || entry.formatInfo->EncParam.FitSize <= 0) return {};
    const TEncParam& p = entry.formatInfo->EncParam;
    const bool video = entry.HasVideo && !IsAudioSource(entry.FileName) &&
                       !(p.Width <= 0 && p.Height <= 0 && p.FrameRate <= 0 && p.VideoBitrate <= 0 &&
                         isUnset(p.VideoEncoder));
    TOutputOptions sound;
    sound.AudioBitrate = p.AudioBitrate;
    const TFitPlan plan =
        PlanFit(p.FitSize, clipSeconds(entry), video, soundRate(sound, hasSound(entry)), p.VideoBitrate);
    if (plan.Possible) return {};
    return QStringLiteral("%1: %2 is too small for %3 of %4; the smallest size that works is %5")
        .arg(QFileInfo(entry.FileName).fileName(), SizeMbText(p.FitSize),
             FormatTime(entry.EndTime - entry.StartTime),
             video ? QStringLiteral("video") : QStringLiteral("sound"), SizeMbText(roundedUp(plan.Smallest)));
}

QString TTaskOptionBuilder::MergeFitRefusal(const std::vector<const ListFileInfo*>& entries) {
    if (entries.empty() || !entries.front()) return {};
    const std::unique_ptr<ListFileInfo> joined = entries.front()->CloneObj();
    if (!joined->formatInfo) return {};
    joined->FileName =
        QStringLiteral("MergerVideo") + joined->CategoryTag + joined->formatInfo->Format.toLower();
    joined->StartTime = 0;
    joined->EndTime = 0;
    joined->HasVideo = false;
    bool sound = false;
    for (const ListFileInfo* e : entries) {
        if (!e) continue;
        joined->EndTime += e->EndTime - e->StartTime;
        joined->HasVideo = joined->HasVideo || (e->HasVideo && !IsAudioSource(e->FileName));
        sound = sound || hasSound(*e);
    }
    joined->FileDurTime = joined->EndTime;
    // The joined file always has a sound track when any part has one.
    if (sound && !hasSound(*joined)) joined->SampleRate = 44100;
    if (!sound) joined->SampleRate = joined->Channel = joined->AudioBitRate = 0;
    return FitRefusal(*joined);
}

QStringList TTaskOptionBuilder::FitRefusals(const std::vector<const ListFileInfo*>& entries, bool merge) {
    QStringList refusals;
    if (merge && entries.size() > 1) {
        if (const QString r = MergeFitRefusal(entries); !r.isEmpty()) refusals << r;
        return refusals;
    }
    for (const ListFileInfo* e : entries)
        if (e)
            if (const QString r = FitRefusal(*e); !r.isEmpty()) refusals << r;
    return refusals;
}

void TTaskOptionBuilder::applyFit(const ListFileInfo& entry, TOutputOptions& out) {
    const TEncParam& p = entry.formatInfo->EncParam;
    const bool video = !out.DisableVideo && entry.HasVideo && !IsAudioSource(entry.FileName);
    const TFitPlan plan =
        PlanFit(p.FitSize, clipSeconds(entry), video, soundRate(out, hasSound(entry)), p.VideoBitrate);
    out.SizeLimit = p.FitSize;
    if (plan.AudioBitrate > 0) out.AudioBitrate = plan.AudioBitrate;
    if (!video || plan.VideoBitrate <= 0) return;
    out.VideoBitrate = plan.VideoBitrate;
    const QString encoder = out.VideoCodec.empty() ? EffectiveVideoEncoder(*entry.formatInfo)
                                                   : QString::fromStdString(out.VideoCodec);
    if (out.VideoCodec.empty()) out.VideoCodec = utf8(encoder.toLower());
    out.TwoPass = HasTwoPass(encoder);
}

void TTaskOptionBuilder::KeepColour(const TSourceTracks& tracks, const QString& pixelFormat,
                                    TOutputOptions& out) {
    if ((!tracks.HdrPQ && !tracks.HdrHLG) || out.DisableVideo) return;
    const QString codec = QString::fromStdString(out.VideoCodec).toLower();
    const bool deep = pixelFormat.contains(QLatin1String("10")) || pixelFormat.contains(QLatin1String("12"));
    const bool hdrEncoder = codec == QLatin1String("libx265") || codec == QLatin1String("libsvtav1") ||
                            codec == QLatin1String("libaom-av1") || codec == QLatin1String("libvpx-vp9");
    if (deep && hdrEncoder) {
        AddOptionLine(out.ExtOptions, "color_primaries", "bt2020");
        AddOptionLine(out.ExtOptions, "color_trc", tracks.HdrPQ ? "smpte2084" : "arib-std-b67");
        AddOptionLine(out.ExtOptions, "colorspace", "bt2020nc");
        return;
    }
    // Linear light, Hable's curve down to standard range, then BT.709 4:2:0.
    const std::string toneMap = std::string("zscale=tin=") + (tracks.HdrPQ ? "smpte2084" : "arib-std-b67") +
                                ":pin=bt2020:min=bt2020nc:t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                                "tonemap=tonemap=hable:desat=0,"
                                "zscale=t=bt709:m=bt709:r=tv,format=" +
                                (pixelFormat.isEmpty() ? std::string("yuv420p") : utf8(pixelFormat));
    out.VideoFilters = out.VideoFilters.empty() ? toneMap : out.VideoFilters + ',' + toneMap;
    AddOptionLine(out.ExtOptions, "color_primaries", "bt709");
    AddOptionLine(out.ExtOptions, "color_trc", "bt709");
    AddOptionLine(out.ExtOptions, "colorspace", "bt709");
}

void TTaskOptionBuilder::KeepTracks(const TSourceTracks& tracks, const QString& format, TOutputOptions& out,
                                    QStringList& notes) {
    const std::string container = out.FileFormat;
    const bool mkv = format == QLatin1String(".mkv") && container.empty();
    const bool movFamily = isMovFamily(format, container);
    const bool webm = format == QLatin1String(".webm") && container.empty();
    const QString name = format == QLatin1String(".psp") || format == QLatin1String(".ipod")
                             ? QStringLiteral("MP4")
                             : format.mid(1).toUpper();
    // Matroska holds every subtitle track (text as ASS, pictures as they are); the MP4 family
    // and WebM hold text ones only (as mov_text, as WebVTT); other containers hold none.
    std::vector<int> subtitles;
    int pictureDropped = 0, textDropped = 0;
    for (size_t i = 0; i < tracks.SubtitleIndexes.size(); ++i) {
        const bool picture = tracks.SubtitleIsPicture[i];
        if (mkv || ((movFamily || webm) && !picture))
            subtitles.push_back(tracks.SubtitleIndexes[i]);
        else
            ++(picture ? pictureDropped : textDropped);
    }
    // The output's streams are made picture, sound, subtitle, then one more stream each for the
    // further tracks; maps name their sources in that order. Without a picture to map first
    // (a sound-only output, a cover picture) only the first track of each kind is kept.
    const bool sound = tracks.Audio > 0 && !out.DisableAudio;
    const bool mappable = tracks.Video >= 0 && !out.DisableVideo;
    const int soundKept = sound ? (mkv && mappable ? tracks.Audio : 1) : 0;
    if (!mappable && subtitles.size() > 1) {
        textDropped += static_cast<int>(subtitles.size()) - 1;
        subtitles.resize(1);
    }
    if (!subtitles.empty()) {
        out.DisableSubtitle = false;
        // MP4 and QuickTime name no subtitle encoder of their own, nor does WebM; Matroska's is ASS.
        if (movFamily) out.SubtitleCodec = "mov_text";
        if (webm) out.SubtitleCodec = "webvtt";
    }
    const bool firstSubtitleIsFirst = subtitles.empty() || subtitles.front() == tracks.Subtitle;
    if (mappable && (soundKept > 1 || subtitles.size() > 1 || !firstSubtitleIsFirst)) {
        auto map = [&out](int index) {
            AddOptionLine(out.ExtOptions, "map", ("0." + std::to_string(index)).c_str());
        };
        map(tracks.Video);
        if (sound) map(tracks.AudioIndexes[0]);
        if (!subtitles.empty()) map(subtitles.front());
        for (int i = 1; i < soundKept; ++i) {
            map(tracks.AudioIndexes[i]);
            AddOptionLine(out.ExtOptions, "newaudio", "1");
        }
        for (size_t i = 1; i < subtitles.size(); ++i) {
            map(subtitles[i]);
            AddOptionLine(out.ExtOptions, "newsubtitle", "1");
        }
    } else if (!firstSubtitleIsFirst) {
        // Only a map can pick a later track; without one the first is the one the output gets.
        out.DisableSubtitle = true;
        textDropped += static_cast<int>(subtitles.size());
        subtitles.clear();
    }
    auto tracksText = [](int count) {
        return count > 1 ? QStringLiteral(" (%1 tracks)").arg(count) : QString();
    };
    const int dropped = pictureDropped + textDropped;
    if (dropped > 0 && subtitles.empty() && !movFamily && !webm)
        notes << QStringLiteral("subtitles not kept: %1 cannot hold them").arg(name) + tracksText(dropped);
    else if (pictureDropped > 0)
        notes << QStringLiteral("picture subtitles not kept: %1 cannot hold them").arg(name) +
                     tracksText(pictureDropped);
    if (textDropped > 0 && (movFamily || webm || !subtitles.empty()))
        notes << QStringLiteral("%1 more subtitle tracks not kept").arg(textDropped);
    if (tracks.Chapters > 0 && !mkv && !movFamily && !webm)
        notes << QStringLiteral("chapters not kept: %1 cannot hold them").arg(name);
    if (sound && tracks.Audio > soundKept)
        notes << (mkv ? QStringLiteral("%1 more sound tracks not kept").arg(tracks.Audio - soundKept)
                      : QStringLiteral("%1 more sound tracks not kept: only MKV keeps them all")
                            .arg(tracks.Audio - soundKept));
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
    Notes.clear();
    if (const TFFmpeg* task = tasks_.Task(index); task && task->InputCount() > 0) {
        const TSourceTracks tracks = SourceTracksOf(task->InputContext(0));
        KeepTracks(tracks, QString::fromStdString(out.FileExt).toLower(), out, Notes);
        KeepColour(tracks, pixelFormatOf(out.ExtOptions), out);
    }
    for (const QString& note : Notes)
        log_.Warning(input + QStringLiteral(": ") + note);
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
