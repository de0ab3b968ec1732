// Hooks and progress: the frame hook that hands pictures to the application, the preview hook,
// and the progress report.
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/transcode/Previewer.h"

void TCustomFFmpeg::SetPostHook(TPostHook hook, bool on) {
    const uint8_t bit = static_cast<uint8_t>(1u << static_cast<int>(hook));
    if (on)
        FPostHookBits.fetch_or(bit);
    else
        FPostHookBits.fetch_and(static_cast<uint8_t>(~bit));
}

// Every decoded picture: a connected custom hook gets it as a bitmap and may draw into it.
void TCustomFFmpeg::HookStage(AVFrame* frame, int64_t pts) {
    ++FHookFrameNumber;
    if (!FOnCustomHook || FHookStopped) return;
    if (!FHookContext.ToBitmap(*frame, FHookBitmap)) {
        Log(TLogLevel::llError, "Cannot initialize the toRGB conversion context");
        FHookStopped = true;
        return;
    }
    THookInfo info;
    info.Bitmap = &FHookBitmap;
    info.FrameNumber = FHookFrameNumber;
    info.PTS = pts;
    info.Update = true;
    info.StopHook = false;
    try {
        FOnCustomHook(info);
    } catch (const std::exception& e) {
        Log(TLogLevel::llError, std::string("Error occurs OnCustomHook: ") + e.what());
        info.Update = false;
    }
    if (info.Update) {
        if (ff::av_frame_make_writable(frame) < 0 || !FHookContext.FromBitmap(FHookBitmap, *frame)) {
            Log(TLogLevel::llError, "Cannot initialize the fromRGB conversion context");
            FHookStopped = true;
        }
    }
    if (info.StopHook) FHookStopped = true;
}

// An encoded picture for the preview: at most every 100 ms, as a bitmap to the application or
// painted into the preview window.
void TCustomFFmpeg::PreviewHook(const AVFrame& picture, int64_t pts) {
    const TPostHooks hooks = PostHooks();
    if (!hooks.Contains(TPostHook::phPreview) && FPreviewer) FPreviewer.reset();
    if (hooks.Empty()) return;
    const int64_t now = ff::av_gettime_relative();
    if (FLastPreview != AV_NOPTS_VALUE && now - FLastPreview < 100000) return;
    FLastPreview = now;
    if (hooks.Contains(TPostHook::phBitmap) && FOnPreviewBitmap) {
        if (!FPostContext.ToBitmap(picture, FPreviewBitmap)) {
            Log(TLogLevel::llError, "Cannot initialize the toRGB conversion context");
            SetPostHook(TPostHook::phBitmap, false);
            return;
        }
        FOnPreviewBitmap(FPreviewBitmap, pts, FHookFrameNumber);
    } else if (hooks.Contains(TPostHook::phPreview)) {
        if (!FPostContext.ToBitmap(picture, FPreviewBitmap)) {
            Log(TLogLevel::llError, "Cannot initialize the toRGB conversion context");
            SetPostHook(TPostHook::phPreview, false);
            return;
        }
        if (!FPreviewer) FPreviewer = std::make_unique<TPreviewer>();
        if (!FPreviewer->PaintFrame(FPreviewBitmap, FHookFrameNumber, pts)) {
            SetPostHook(TPostHook::phPreview, false);
            FPreviewer.reset();
        }
    }
}

void TCustomFFmpeg::PrintReport(bool isLastReport, int fileIndex) {
    if (Foutput_files.empty() || FOutputStreams.empty()) return;
    const int64_t now = ff::av_gettime_relative();
    const int group = std::min(FCurrentGroup, Foutput_files.front().file->groups - 1);
    AVFormatContext* oc = Foutput_files[0].file->ctx.get();
    int64_t totalSize = oc->pb ? ff::avio_size(oc->pb) : -1;
    if (totalSize <= 0 && oc->pb) totalSize = ff::avio_seek(oc->pb, 0, SEEK_CUR);
    if (totalSize < 0) totalSize = 0;
    const double elapsed = (now - FTimerStart) / 1000000.0;

    std::string line;
    const TAVOutputStream* video = nullptr;
    int fps = 0;
    double q = -1.0;
    int64_t dups = 0, drops = 0;
    double ti1 = 1e10;
    for (const auto& holder : FOutputStreams) {
        const TAVOutputStream& ost = *holder;
        if (FJoinMode && ost.group != group) continue;
        const double t = ost.encoding_needed && ost.enc       ? ost.sync_opts * av_q2d(ost.enc->time_base)
                         : ost.last_mux_dts != AV_NOPTS_VALUE ? ost.last_mux_dts * av_q2d(ost.st->time_base)
                                                              : 0.0;
        if (t > 0 && t < ti1) ti1 = t;
        if (ost.spec->type != AVMEDIA_TYPE_VIDEO) continue;
        const double qv = ost.encoding_needed ? ost.quality / FF_QP2LAMBDA : -1.0;
        dups += ost.dup_count;
        drops += ost.drop_count;
        if (video) {
            line += FormatText("q=%2.1f ", qv);
            continue;
        }
        video = &ost;
        q = qv;
        fps = elapsed > 1.0 ? static_cast<int>(ost.frame_number / elapsed + 0.5) : 0;
        line += FormatText("frame=%5d fps=%3d q=%3.1f ", static_cast<int>(ost.frame_number), fps, qv);
        if (isLastReport) line += "L";
        if (Fqp_hist && ost.encoding_needed) {
            const long qp = std::lround(qv);
            if (qp >= 0 && qp < 52) ++FQpHistogram[qp];
            for (int j = 0; j < 32; ++j)
                line += FormatText("%X", static_cast<int>(std::lround(std::log2(FQpHistogram[j] + 1.0))));
        }
        if (ost.encoding_needed && ost.enc && (ost.enc->flags & AV_CODEC_FLAG_PSNR)) {
            const double pixels = static_cast<double>(ost.enc->width) * ost.enc->height *
                                  std::max<int64_t>(ost.frame_number, 1);
            static const char kPlane[3] = {'Y', 'U', 'V'};
            double errorSum = 0, scaleSum = 0;
            line += "PSNR=";
            for (int j = 0; j < 3; ++j) {
                const double scale = j == 0 ? pixels * 255.0 * 255.0 : pixels * 255.0 * 255.0 / 4;
                errorSum += ost.error[j];
                scaleSum += scale;
                line += FormatText("%c:%2.2f ", kPlane[j], -10.0 * std::log10(ost.error[j] / scale + 1e-30));
            }
            line += FormatText("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum + 1e-30));
        }
    }
    if (video && video->frame_number < 1 && !isLastReport) return;
    if (ti1 >= 1e10 || ti1 < 0.01) ti1 = 0.01;
    const double bitrate = totalSize * 8 / ti1 / 1000.0;
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, ti1, bitrate);
    if (dups || drops) line += FormatText(" dup=%d drop=%d", static_cast<int>(dups), static_cast<int>(drops));
    FLastReport = now;

    if (FOnProgress) {
        TProgressInfo info;
        info.FileIndex = fileIndex;
        info.FrameNumber = video ? static_cast<int32_t>(video->frame_number) : 0;
        info.FPS = fps;
        info.Quality = static_cast<float>(q);
        info.BitRate = static_cast<float>(bitrate);
        info.CurrentSize = totalSize;
        info.CurrentDuration = static_cast<int64_t>(ti1 * AV_TIME_BASE);
        info.TotalDuration = FTotalOutputDuration;
        // Inputs without a duration show their progress by the bytes read.
        if (fileIndex >= 0 && fileIndex < static_cast<int>(Finput_files.size())) {
            if (AVIOContext* pb = Finput_files[fileIndex]->ctx->pb) {
                info.InputBytesRead = std::max<int64_t>(ff::avio_seek(pb, 0, SEEK_CUR), 0);
                info.InputSize = ff::avio_size(pb) > 0 ? ff::avio_size(pb) : -1;
            }
        }
        FOnProgress(info);
        if (dups + drops != FReportedDrops) Log(TLogLevel::llVerbose, line);
    } else if (Fverbose >= 0) {
        Log(TLogLevel::llVerbose, line);
    }
    FReportedDrops = dups + drops;

    if (isLastReport) {
        int64_t videoSize = 0, audioSize = 0, extraSize = 0;
        for (const auto& ost : FOutputStreams) {
            if (ost->spec->type == AVMEDIA_TYPE_VIDEO) videoSize += ost->data_size;
            if (ost->spec->type == AVMEDIA_TYPE_AUDIO) audioSize += ost->data_size;
            if (ost->group == 0) extraSize += ost->st->codecpar->extradata_size;
        }
        if (FJoinMode) {  // the groups' counters carried each other's totals along
            videoSize = audioSize = 0;
            for (const auto& ost : FOutputStreams)
                if (ost->group == group) {
                    if (ost->spec->type == AVMEDIA_TYPE_VIDEO) videoSize += ost->data_size;
                    if (ost->spec->type == AVMEDIA_TYPE_AUDIO) audioSize += ost->data_size;
                }
        }
        const int64_t raw = videoSize + audioSize + extraSize;
        const double overhead = raw > 0 ? 100.0 * (totalSize - raw) / raw : 0.0;
        Log(TLogLevel::llInfo,
            FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                       videoSize / 1024.0, audioSize / 1024.0, extraSize / 1024.0, overhead));
    }
}
