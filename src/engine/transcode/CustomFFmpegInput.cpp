// Opening an input file with the settings current at that moment.
#include <cmath>

#include "engine/library/CodecLock.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/library/FFmpegErrors.h"
#include "engine/library/UnicodeProtocol.h"

namespace {

std::string RateText(AVRational r) {
    return std::to_string(r.num) + "/" + std::to_string(r.den);
}

}  // namespace

bool TCustomFFmpeg::OpenInput(const std::string& fileName) {
    try {
        OpenInputFile(fileName);
        return true;
    } catch (const FFmpegException& e) {
        FLastErrMsg = e.what();
        ResetPerFileSettings();
        return false;
    }
}

// Looks a codec up by name; null with LastErrMsg "Unknown ..." or "Invalid ... type ..." when
// the name does not name a codec of that kind.
const AVCodec* TCustomFFmpeg::FindCodecByName(const std::string& name, AVMediaType type, bool encoder) const {
    const char* kind = encoder ? "encoder" : "decoder";
    const AVCodec* codec = encoder ? ff::avcodec_find_encoder_by_name(name.c_str())
                                   : ff::avcodec_find_decoder_by_name(name.c_str());
    if (!codec) Fail(FormatText("Unknown %s '%s'", kind, name.c_str()));
    if (codec->type != type) Fail(FormatText("Invalid %s type '%s'", kind, name.c_str()));
    return codec;
}

void TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
    const AVInputFormat* format = nullptr;
    if (!Flast_asked_format.empty()) {
        format = ff::av_find_input_format(Flast_asked_format.c_str());
        if (!format) Fail(FormatText("Unknown input format: \"%s\"", Flast_asked_format.c_str()));
    }

    // Parameters for raw and capture formats (other formats leave them unused), then the
    // library format options gathered so far.
    AVDictionary* rawOpts = nullptr;
    TDictionaryPtr opts;
    if (Faudio_sample_rate > 0) ff::av_dict_set_int(&rawOpts, "sample_rate", Faudio_sample_rate, 0);
    if (Faudio_channels > 0) ff::av_dict_set_int(&rawOpts, "channels", Faudio_channels, 0);
    if (Fframe_rate.num > 0 && Fframe_rate.den > 0)
        ff::av_dict_set(&rawOpts, "framerate", RateText(Fframe_rate).c_str(), 0);
    if (Fframe_width > 0 && Fframe_height > 0) {
        const std::string size = std::to_string(Fframe_width + Fframe_padleft + Fframe_padright) + "x" +
                                 std::to_string(Fframe_height + Fframe_padtop + Fframe_padbottom);
        ff::av_dict_set(&rawOpts, "video_size", size.c_str(), 0);
    }
    if (Fframe_pix_fmt >= 0)
        if (const char* n = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Fframe_pix_fmt)))
            ff::av_dict_set(&rawOpts, "pixel_format", n, 0);
    if (Fvideo_channel) ff::av_dict_set_int(&rawOpts, "channel", Fvideo_channel, 0);
    if (!Fvideo_standard.empty()) ff::av_dict_set(&rawOpts, "standard", Fvideo_standard.c_str(), 0);
    if (Floop_input) ff::av_dict_set(&rawOpts, "loop", "1", 0);
    if (FOptions) ff::av_dict_copy(&rawOpts, FOptions->FormatOptions(), 0);
    opts.reset(rawOpts);

    AVFormatContext* ic = ff::avformat_alloc_context();
    if (!ic) Fail("avformat_alloc_context failed");
    TInputContextPtr guard;  // owns ic only once it is open
    struct TAllocated {      // frees ic while it is merely allocated
        AVFormatContext*& ctx;
        bool open = false;
        ~TAllocated() {
            if (!open && ctx) ff::avformat_free_context(ctx);
        }
    } allocated{ic};

    // Forced decoders.
    auto force = [&](const std::string& name, AVMediaType type, const AVCodec*& slot) {
        if (name.empty()) return;
        slot = FindCodecByName(name, type, false);
    };
    const AVCodec* forced[3] = {nullptr, nullptr, nullptr};
    force(Fvideo_codec_name, AVMEDIA_TYPE_VIDEO, forced[0]);
    force(Faudio_codec_name, AVMEDIA_TYPE_AUDIO, forced[1]);
    force(Fsubtitle_codec_name, AVMEDIA_TYPE_SUBTITLE, forced[2]);
    if (forced[0]) {
        ic->video_codec_id = forced[0]->id;
        ic->video_codec = forced[0];
    }
    if (forced[1]) {
        ic->audio_codec_id = forced[1]->id;
        ic->audio_codec = forced[1];
    }
    if (forced[2]) {
        ic->subtitle_codec_id = forced[2]->id;
        ic->subtitle_codec = forced[2];
    }
    ic->flags |= AVFMT_FLAG_NONBLOCK;
    if (Fpgmyuv_compatibility_hack) ic->video_codec_id = AV_CODEC_ID_PGMYUV;

    TAvioContextPtr customIo;
    if (const auto stream = FStreams.find(fileName); stream != FStreams.end()) {
        customIo = OpenStreamIO(stream->second, false);
        if (!customIo) Fail(fileName + ": Not enough memory");
        ic->pb = customIo.get();
        ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    }

    const std::string libName = ToLibraryFileName(fileName);
    AVDictionary* openOpts = opts.release();
    const int ret = ff::avformat_open_input(&ic, libName.c_str(), format, &openOpts);
    opts.reset(openOpts);
    allocated.open = true;  // open_input frees the context itself on failure
    if (ret < 0) {
        ic = nullptr;
        Fail(fileName + ": " + FFmpegErrorText(ret));
    }
    guard.reset(ic);

    if (Fprogramid_set) {
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = AVDISCARD_ALL;
        bool found = false;
        for (unsigned p = 0; p < ic->nb_programs; ++p) {
            const AVProgram* program = ic->programs[p];
            if (program->id != Fopt_programid) continue;
            found = true;
            for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
                ic->streams[program->stream_index[k]]->discard = AVDISCARD_DEFAULT;
        }
        if (!found) Fail("Specified program id not found");
        Fopt_programid = 0;
        Fprogramid_set = false;
    }

    int findRet;
    {
        TCodecLock lock;
        findRet = ff::avformat_find_stream_info(ic, nullptr);
    }
    if (findRet < 0 && Fverbose >= 0)
        Fail(FormatText("%s: could not find codec parameters", fileName.c_str()));

    int64_t timestamp = Fstart_time;
    if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
    if (Fstart_time != 0) {
        if (ff::av_seek_frame(ic, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && Fverbose > 0)
            LogFmt(TLogLevel::llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(),
                   static_cast<double>(timestamp) / AV_TIME_BASE);
        Fstart_time = 0;
    }

    auto input = std::make_unique<TInputFile>();
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        switch (par->codec_type) {
            case AVMEDIA_TYPE_AUDIO:
                if (par->ch_layout.nb_channels > 0) Faudio_channels = par->ch_layout.nb_channels;
                if (par->sample_rate > 0) Faudio_sample_rate = par->sample_rate;
                Faudio_sample_fmt = par->format;
                if (Faudio_disable) st->discard = AVDISCARD_ALL;
                break;
            case AVMEDIA_TYPE_VIDEO: {
                Fframe_width = par->width;
                Fframe_height = par->height;
                Fframe_pix_fmt = par->format;
                const AVRational avg = st->avg_frame_rate;
                const AVRational real = st->r_frame_rate;
                if (avg.num > 0 && avg.den > 0 && real.num > 0 && real.den > 0 && av_cmp_q(avg, real) != 0)
                    LogFmt(TLogLevel::llVerbose,
                           "Seems stream %d codec frame rate differs from container frame rate: %2.2f "
                           "(%d/%d) -> "
                           "%2.2f (%d/%d)",
                           static_cast<int>(i), av_q2d(avg), avg.num, avg.den, av_q2d(real), real.num,
                           real.den);
                const AVRational guessed = ff::av_guess_frame_rate(ic, st, nullptr);
                if (guessed.num > 0 && guessed.den > 0) Fframe_rate = guessed;
                if (Fvideo_disable)
                    st->discard = AVDISCARD_ALL;
                else if (Fvideo_discard)
                    st->discard = static_cast<AVDiscard>(Fvideo_discard);
                break;
            }
            case AVMEDIA_TYPE_SUBTITLE:
                if (Fsubtitle_disable) st->discard = AVDISCARD_ALL;
                break;
            case AVMEDIA_TYPE_DATA:
            case AVMEDIA_TYPE_ATTACHMENT:
            case AVMEDIA_TYPE_UNKNOWN:
                break;
            default:
                Fail("invalid codec_type");
        }
    }

    if (ic->duration != AV_NOPTS_VALUE && ic->duration > FTotalOutputDuration)
        FTotalOutputDuration = ic->duration;
    input->name = fileName;
    input->nb_streams = static_cast<int>(ic->nb_streams);
    input->ts_offset = Finput_ts_offset - (Fcopy_ts ? 0 : timestamp);
    input->ts_scale = Fnext_input_ts_scale;
    input->duration = ic->duration;
    input->thread_count = Fthread_count;
    static constexpr AVMediaType kKinds[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                             AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};
    for (int k = 0; k < 5; ++k) {
        AVDictionary* d = nullptr;
        if (FOptions) ff::av_dict_copy(&d, FOptions->CodecOptions(kKinds[k]), 0);
        input->decoder_opts[k].reset(d);
    }
    for (int k = 0; k < 3; ++k)
        input->forced_decoder[k] = forced[k];

    if (Fverbose >= 0 && ff::av_dump_format)
        ff::av_dump_format(ic, static_cast<int>(Finput_files.size()), libName.c_str(), 0);

    Fnext_input_ts_scale.fill(0.0);
    ResetPerFileSettings();
    input->custom_io = std::move(customIo);
    input->ctx = std::move(guard);
    Finput_files_ts_offset.push_back(input->ts_offset);
    Finput_files.push_back(std::move(input));
}

AVFormatContext* TCustomFFmpeg::InputContext(int index) const {
    return index >= 0 && index < static_cast<int>(Finput_files.size()) ? Finput_files[index]->ctx.get()
                                                                       : nullptr;
}
