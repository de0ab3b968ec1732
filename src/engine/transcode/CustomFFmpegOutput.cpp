// Opening an output file with the settings current at that moment: format, streams, metadata,
// the file itself, and the join mode.
#include "engine/transcode/CodecNames.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/library/UnicodeProtocol.h"

namespace {

// rc_override: "start,end,q|start,end,-quality_factor/..." (parsed again when the encoder is set
// up; here only checked).
bool RcOverrideValid(const std::string& text) {
    const char* p = text.c_str();
    while (*p) {
        int start = 0, end = 0, q = 0;
        if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3) return false;
        p = std::strchr(p, '/');
        if (!p) break;
        ++p;
    }
    return true;
}

}  // namespace

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool join) {
    try {
        const int index = static_cast<int>(Foutput_files.size());
        OpenOutputFile(fileName, join);
        return index;
    } catch (const FFmpegException& e) {
        FLastErrMsg = e.what();
        ResetPerOutputSettings();
        return -1;
    }
}

void TCustomFFmpeg::CheckInputKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const {
    hasVideo = hasAudio = hasSubtitle = false;
    for (const auto& input : Finput_files) {
        const AVFormatContext* ic = input->ctx.get();
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            const AVStream* st = ic->streams[i];
            if (st->discard == AVDISCARD_ALL) continue;  // left out by program or disable options
            switch (st->codecpar->codec_type) {
                case AVMEDIA_TYPE_VIDEO:
                    hasVideo = true;
                    break;
                case AVMEDIA_TYPE_AUDIO:
                    hasAudio = true;
                    break;
                case AVMEDIA_TYPE_SUBTITLE:
                    hasSubtitle = true;
                    break;
                default:
                    break;
            }
        }
    }
}

void TCustomFFmpeg::NewStream(TOutputFile& file, AVMediaType type) {
    AVFormatContext* oc = file.ctx.get();
    const bool video = type == AVMEDIA_TYPE_VIDEO;
    const bool audio = type == AVMEDIA_TYPE_AUDIO;
    const std::string& codecName = video   ? Fvideo_codec_name
                                   : audio ? Faudio_codec_name
                                           : Fsubtitle_codec_name;
    const bool copy = video ? Fvideo_stream_copy : audio ? Faudio_stream_copy : Fsubtitle_stream_copy;

    TOutputStreamSpec spec;
    spec.type = type;
    spec.stream_copy = copy;
    if (!copy) {
        if (!codecName.empty()) {
            const std::string current = CurrentEncoderName(codecName);
            const AVCodec* codec = ff::avcodec_find_encoder_by_name(current.c_str());
            if (!codec) Fail(FormatText("Unknown encoder '%s'", codecName.c_str()));
            if (codec->type != type) Fail(FormatText("Invalid encoder type '%s'", codecName.c_str()));
            if (current != codecName)
                LogFmt(TLogLevel::llVerbose, "Encoder '%s' is not available, using '%s'", codecName.c_str(),
                       current.c_str());
            spec.encoder = codec;
            spec.encoder_named = true;
        } else {
            const AVCodecID id = ff::av_guess_codec(oc->oformat, nullptr, file.name.c_str(), nullptr, type);
            spec.encoder = id != AV_CODEC_ID_NONE ? ff::avcodec_find_encoder(id) : nullptr;
            // A format whose default audio encoder is missing (3GP's AMR) gets AAC.
            if (!spec.encoder && audio && ff::avformat_query_codec(oc->oformat, AV_CODEC_ID_AAC, 0) == 1)
                spec.encoder = ff::avcodec_find_encoder(AV_CODEC_ID_AAC);
        }
    }

    const char* kind = video   ? "new_video_stream fail: %s"
                       : audio ? "new_audio_stream fail: %s"
                               : "new_subtitle_stream fail: %s";
    try {
        AVStream* st = ff::avformat_new_stream(oc, nullptr);
        if (!st) Fail("Could not alloc stream");
        st->codecpar->codec_type = type;
        if (spec.encoder) st->codecpar->codec_id = spec.encoder->id;
        spec.index = st->index;

        AVDictionary* opts = nullptr;
        if (FOptions) ff::av_dict_copy(&opts, FOptions->CodecOptions(type), 0);
        spec.codec_opts.reset(opts);

        const std::string& language = video ? Fvideo_language : audio ? Faudio_language : Fsubtitle_language;
        if (!language.empty()) ff::av_dict_set(&st->metadata, "language", language.c_str(), 0);

        if (video) {
            spec.codec_tag = Fvideo_codec_tag;
            spec.bitstream_filters = Fvideo_bitstream_filters;
            spec.max_frames = Fmax_frames[0];
            spec.width = Fframe_width;
            spec.height = Fframe_height;
            spec.frame_rate = Fframe_rate;
            spec.frame_rate_chosen = Fframe_rate_chosen;
            spec.aspect_ratio = Fframe_aspect_ratio;
            spec.pix_fmt = static_cast<AVPixelFormat>(Fframe_pix_fmt);
            spec.qscale = Fvideo_qscale;
            spec.intra_matrix = Fintra_matrix;
            spec.inter_matrix = Finter_matrix;
            if (!Fvideo_rc_override_string.empty() && !RcOverrideValid(Fvideo_rc_override_string))
                Fail("error parsing rc_override");
            spec.rc_override = Fvideo_rc_override_string;
            spec.intra_only = Fintra_only;
            spec.same_quality = Fsame_quality;
            spec.top_field_first = Ftop_field_first;
            spec.intra_dc_precision = Fintra_dc_precision;
            spec.global_header = Fvideo_global_header;
            spec.psnr = Fdo_psnr;
            spec.pass = Fdo_pass;
            spec.passlog_prefix = Fpass_logfilename_prefix;
            spec.crop_top = Fframe_topBand;
            spec.crop_bottom = Fframe_bottomBand;
            spec.crop_left = Fframe_leftBand;
            spec.crop_right = Fframe_rightBand;
            spec.pad_top = Fframe_padtop;
            spec.pad_bottom = Fframe_padbottom;
            spec.pad_left = Fframe_padleft;
            spec.pad_right = Fframe_padright;
            spec.pad_color = Fpadcolor_rgb;
            spec.vfilters = Fvfilters;
            spec.deinterlace = Fdo_deinterlace;
            spec.force_fps = Fforce_fps;
        } else if (audio) {
            spec.codec_tag = Faudio_codec_tag;
            spec.bitstream_filters = Faudio_bitstream_filters;
            spec.max_frames = Fmax_frames[1];
            spec.sample_rate = Faudio_sample_rate;
            spec.channels = Faudio_channels;
            spec.sample_fmt = static_cast<AVSampleFormat>(Faudio_sample_fmt);
            spec.audio_qscale = Faudio_qscale;
        } else {
            spec.codec_tag = Fsubtitle_codec_tag;
            spec.bitstream_filters = Fsubtitle_bitstream_filters;
        }
    } catch (const FFmpegException& e) {
        Fail(FormatText(kind, e.what()));
    }
    file.streams.push_back(std::move(spec));
}

void TCustomFFmpeg::OpenOutputFile(const std::string& fileName, bool join) {
    if (FJoinMode) Fail("Cannot join more than one output file.");

    const AVOutputFormat* format = nullptr;
    if (!Flast_asked_format.empty()) {
        format = ff::av_guess_format(Flast_asked_format.c_str(), nullptr, nullptr);
        if (!format)
            Fail(FormatText("Requested output format '%s' is not a suitable output format",
                            Flast_asked_format.c_str()));
    } else {
        format = ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
        if (!format) Fail(FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()));
    }

    const std::string libName = ToLibraryFileName(fileName);
    auto file = std::make_shared<TOutputFile>();
    file->name = fileName;
    AVFormatContext* oc = nullptr;
    if (ff::avformat_alloc_output_context2(&oc, format, nullptr, libName.c_str()) < 0 || !oc)
        Fail("avformat_alloc_context failed");
    file->ctx.reset(oc);

    bool inputVideo = true, inputAudio = true, inputSubtitle = true;
    if (!Finput_files.empty()) CheckInputKinds(inputVideo, inputAudio, inputSubtitle);
    const bool useVideo =
        (format->video_codec != AV_CODEC_ID_NONE || Fvideo_stream_copy || !Fvideo_codec_name.empty()) &&
        inputVideo && !Fvideo_disable;
    const bool useAudio =
        (format->audio_codec != AV_CODEC_ID_NONE || Faudio_stream_copy || !Faudio_codec_name.empty()) &&
        inputAudio && !Faudio_disable;
    const bool useSubtitle = (format->subtitle_codec != AV_CODEC_ID_NONE || Fsubtitle_stream_copy ||
                              !Fsubtitle_codec_name.empty()) &&
                             inputSubtitle && !Fsubtitle_disable;
    if (useVideo) NewStream(*file, AVMEDIA_TYPE_VIDEO);
    if (useAudio) NewStream(*file, AVMEDIA_TYPE_AUDIO);
    if (useSubtitle) NewStream(*file, AVMEDIA_TYPE_SUBTITLE);

    for (const auto& [key, value] : Fmetadata)
        ff::av_dict_set(&oc->metadata, key.c_str(), value.c_str(), 0);
    if (Frec_timestamp != 0) {
        const time_t t = static_cast<time_t>(Frec_timestamp);
        struct tm utc {};
        ::gmtime_r(&t, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
        ff::av_dict_set(&oc->metadata, "creation_time", text, 0);
    }

    if (const auto stream = FStreams.find(fileName); stream != FStreams.end()) {
        file->custom_io = OpenStreamIO(stream->second, true);
        if (!file->custom_io) Fail(FormatText("Could not open '%s'", fileName.c_str()));
        oc->pb = file->custom_io.get();
        oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    } else if (!(format->flags & AVFMT_NOFILE)) {
        if (ff::avio_open2(&oc->pb, libName.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr) < 0)
            Fail(FormatText("Could not open '%s'", fileName.c_str()));
    }

    AVDictionary* formatOpts = nullptr;
    if (FOptions) ff::av_dict_copy(&formatOpts, FOptions->FormatOptions(), 0);
    ff::av_dict_set_int(&formatOpts, "preload", static_cast<int64_t>(Fmux_preload * AV_TIME_BASE),
                        AV_DICT_DONT_OVERWRITE);
    if (Floop_output >= 0) ff::av_dict_set_int(&formatOpts, "loop", Floop_output, AV_DICT_DONT_OVERWRITE);
    file->format_opts.reset(formatOpts);
    oc->max_delay = static_cast<int>(Fmux_max_delay * AV_TIME_BASE);

    if (join && Finput_files.size() > 1) {
        FJoinMode = true;
        int64_t total = 0;
        for (const auto& input : Finput_files)
            if (input->duration != AV_NOPTS_VALUE && input->duration > 0) total += input->duration;
        FTotalOutputDuration = total > 0 ? total : -1;
        file->groups = static_cast<int>(Finput_files.size());
    }
    for (int g = 0; g < file->groups; ++g)
        Foutput_files.push_back(TOutputFileEntry{file, g});

    ResetPerOutputSettings();
}

void TCustomFFmpeg::AddStream(AVMediaType type) {
    if (Foutput_files.empty()) Fail("At least one output file must be specified");
    TOutputFile& file = *Foutput_files.back().file;
    if (file.header_written) Fail("Could not alloc stream");
    NewStream(file, type);
}

AVFormatContext* TCustomFFmpeg::OutputContext(int index) const {
    return index >= 0 && index < static_cast<int>(Foutput_files.size()) ? Foutput_files[index].file->ctx.get()
                                                                        : nullptr;
}

void TCustomFFmpeg::DropLastOutput() {
    if (Foutput_files.empty()) return;
    const std::shared_ptr<TOutputFile> last = Foutput_files.back().file;
    while (!Foutput_files.empty() && Foutput_files.back().file == last)
        Foutput_files.pop_back();
    if (last->groups > 1) {
        FJoinMode = false;
        FTotalOutputDuration = -1;
        for (const auto& input : Finput_files)
            if (input->duration != AV_NOPTS_VALUE && input->duration > FTotalOutputDuration)
                FTotalOutputDuration = input->duration;
    }
}
