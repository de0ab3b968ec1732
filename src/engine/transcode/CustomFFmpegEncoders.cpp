// Setting up a run's output streams: stream copy parameters, encoder choice and parameters for
// pictures and sound, bitstream filters, two-pass log files, and opening the encoders.
#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>

#include "engine/library/CodecLock.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/probe/StreamRotation.h"
#include "engine/transcode/HdrMetadata.h"
#include "engine/transcode/Previewer.h"
#include "engine/transcode/SourceTracks.h"
#include "engine/library/UnicodeProtocol.h"

namespace {


// Muxers that refuse a codec tag other than their own for the codec.
bool MuxerRefusesForeignTags(const AVOutputFormat* format) {
    static const char* kStrict[] = {"mp4", "3gp", "3g2", "psp", "ipod", "ismv", "f4v",
                                    "flv", "ogg", "ogv", "oga", "webm", "spx",  "opus"};
    for (const char* name : kStrict)
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

// Whether the muxer takes the tag for the codec (the muxers' own tag tables decide).
bool MuxerAcceptsTag(const AVOutputFormat* format, AVCodecID id, uint32_t tag) {
    // A strict muxer takes any of its own tags for the codec (MP4: "hvc1" as well as "hev1").
    if (MuxerRefusesForeignTags(format))
        return format->codec_tag && ff::av_codec_get_id(format->codec_tag, tag) == id;
    if (!format->codec_tag) return true;
    const AVCodecID tagged = ff::av_codec_get_id(format->codec_tag, tag);
    if (tagged == id) return true;
    if (tagged != AV_CODEC_ID_NONE) return false;
    uint32_t own = 0;
    return !ff::av_codec_get_tag2(format->codec_tag, id, &own);
}

// The picture sizes the H.263 encoder can code.
void NearestH263Size(int& width, int& height) {
    static const int kSizes[][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
    int best = 0;
    long bestDistance = LONG_MAX;
    for (int i = 0; i < 5; ++i) {
        if (kSizes[i][0] == width && kSizes[i][1] == height) return;
        const long distance =
            std::labs(static_cast<long>(kSizes[i][0]) * kSizes[i][1] - static_cast<long>(width) * height);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    width = kSizes[best][0];
    height = kSizes[best][1];
}

// Containers that store every picture's time (the MP4 family and Matroska, and those that say so).
bool KeepsPictureTimes(const AVOutputFormat* format) {
    if (format->flags & AVFMT_VARIABLE_FPS) return !(format->flags & AVFMT_NOTIMESTAMPS);
    static const char* const kNames[] = {"mp4", "mov", "matroska", "webm", "ipod", "psp"};
    for (const char* name : kNames)
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

// Encoders that code a frame rate of their own and no picture times.
bool FixedRateCodec(const AVCodec* codec) {
    if (!codec) return true;
    switch (codec->id) {
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_H261:
        case AV_CODEC_ID_H263:
        case AV_CODEC_ID_DVVIDEO:
            return true;
        default:
            return false;
    }
}

// The source's own time base where encoders take it (MPEG-4 part 2 holds at most 16 bits),
// otherwise milliseconds; never coarser than the frame rate.
AVRational PictureTimeBase(AVRational source, AVRational rate) {
    int num = 0, den = 0;
    if (source.num > 0 && source.den > 0) ff::av_reduce(&num, &den, source.num, source.den, INT_MAX);
    const bool usable =
        num == 1 && den <= 65535 && (rate.num <= 0 || den * static_cast<int64_t>(rate.den) >= rate.num);
    return usable ? AVRational{1, den} : AVRational{1, 1000};
}

}  // namespace

// Chroma planes of subsampled formats cover two (or four) pixels each, so encoders want the
// picture to be a whole number of chroma samples: the size is rounded down to that multiple
// (never below one multiple). The scaler keeps the picture's shape in its sample aspect ratio.
void EncoderSizeFor(AVPixelFormat format, int& width, int& height) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(format);
    if (!desc) return;
    const int mw = 1 << desc->log2_chroma_w, mh = 1 << desc->log2_chroma_h;
    width = std::max(mw, width / mw * mw);
    height = std::max(mh, height / mh * mh);
}

void TCustomFFmpeg::SetupStreamCopy(TAVOutputStream& ost) {
    const AVMediaType type = ost.spec->type;
    if (type == AVMEDIA_TYPE_AUDIO && Faudio_volume != 256)
        Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
    if (type == AVMEDIA_TYPE_VIDEO) {
        if (FOnCustomHook) Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (Fusing_vhook) Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (!PostHooks().Empty())
            Fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    }

    TInputStream& ist = *FInputStreams[ost.source_index];
    ost.mux_tb = ist.st->time_base;
    SetupBitstreamFilter(ost);
    if (ost.group != 0) return;  // join mode: the first group's stream defines the output stream
    AVCodecParameters* par = ost.st->codecpar;
    if (ff::avcodec_parameters_copy(par, ist.st->codecpar) < 0) Fail("Could not alloc stream");
    const AVOutputFormat* format = ost.file->ctx->oformat;
    uint32_t tag = ost.spec->codec_tag ? ost.spec->codec_tag : par->codec_tag;
    if (tag && !MuxerAcceptsTag(format, par->codec_id, tag)) tag = 0;
    par->codec_tag = tag;
    ost.st->time_base = ist.st->time_base;
    ost.st->avg_frame_rate = ist.st->avg_frame_rate;
    ost.st->r_frame_rate = ist.st->r_frame_rate;
    ost.st->sample_aspect_ratio = ist.st->sample_aspect_ratio;
    ost.st->disposition = ist.st->disposition;
    // Copied pictures are not turned: their display matrix (and HDR description) goes along.
    for (int i = 0; i < ist.st->nb_side_data; ++i)
        CopyStreamSideData(ost.st, ist.st, ist.st->side_data[i].type);
    if (type == AVMEDIA_TYPE_AUDIO &&
        (par->block_align == 1 || par->block_align == 1152 || par->block_align == 576) &&
        (par->codec_id == AV_CODEC_ID_MP3 || par->codec_id == AV_CODEC_ID_AC3))
        par->block_align = 0;
}

void TCustomFFmpeg::SetupEncoder(TAVOutputStream& ost) {
    TInputStream& ist = *FInputStreams[ost.source_index];
    ost.encoding_needed = true;
    ist.decoding_needed = true;
    ost.encoder = ost.spec->encoder;
    if (ost.spec->type == AVMEDIA_TYPE_SUBTITLE) ChooseSubtitleEncoder(ost, ist);
    ost.enc.reset(ff::avcodec_alloc_context3(ost.encoder));
    if (!ost.enc) Fail("Could not alloc stream");
    AVCodecContext* enc = ost.enc.get();
    enc->codec_type = ost.spec->type;
    if (ost.encoder) enc->codec_id = ost.encoder->id;
    enc->thread_count = Fthread_count;
    AVDictionary* opts = nullptr;
    ff::av_dict_copy(&opts, ost.spec->codec_opts.get(), 0);
    // x265 takes the codec's thread count as the number of pictures it codes at once. Given the
    // task's threads as its thread pool instead, it chooses that number itself (one picture with
    // its rows in parallel on two processors), as the ffmpeg command line has it, and is quicker.
    if (ost.encoder && std::strcmp(ost.encoder->name, "libx265") == 0 && Fthread_count > 0) {
        const AVDictionaryEntry* own = ff::av_dict_get(opts, "x265-params", nullptr, 0);
        const std::string params = own ? own->value : "";
        if (params.find("pools") == std::string::npos && params.find("frame-threads") == std::string::npos) {
            const std::string pools = "pools=" + std::to_string(Fthread_count);
            ff::av_dict_set(&opts, "x265-params", (params.empty() ? pools : params + ':' + pools).c_str(), 0);
            enc->thread_count = 0;
        }
    }
    ost.encoder_opts.reset(opts);

    switch (ost.spec->type) {
        case AVMEDIA_TYPE_VIDEO:
            SetupVideoEncoder(ost, ist);
            break;
        case AVMEDIA_TYPE_AUDIO:
            SetupAudioEncoder(ost, ist);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            enc->time_base = AV_TIME_BASE_Q;
            if (ist.st->codecpar->width) {
                enc->width = ist.st->codecpar->width;
                enc->height = ist.st->codecpar->height;
            }
            break;
        default:
            Fail("invalid codec_type of output stream");
    }

    const AVOutputFormat* format = ost.file->ctx->oformat;
    if (format->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const uint32_t tag = ost.spec->codec_tag;
    if (tag && ost.encoder) {
        if (MuxerAcceptsTag(format, ost.encoder->id, tag)) {
            enc->codec_tag = tag;
        } else {
            char text[AV_FOURCC_MAX_STRING_SIZE] = {};
            for (int i = 0; i < 4; ++i)
                text[i] = static_cast<char>((tag >> (8 * i)) & 0xff);
            LogFmt(TLogLevel::llVerbose, "Codec tag %s is not accepted by the %s format; using its own tag",
                   text, format->name);
        }
    }
    SetupBitstreamFilter(ost);
}

void TCustomFFmpeg::SetupVideoEncoder(TAVOutputStream& ost, TInputStream& ist) {
    const TOutputStreamSpec& spec = *ost.spec;
    AVCodecContext* enc = ost.enc.get();
    const AVCodecParameters* in = ist.st->codecpar;

    ost.topBand = ost.original_topBand = spec.crop_top;
    ost.bottomBand = ost.original_bottomBand = spec.crop_bottom;
    ost.leftBand = ost.original_leftBand = spec.crop_left;
    ost.rightBand = ost.original_rightBand = spec.crop_right;
    ost.padtop = spec.pad_top;
    ost.padbottom = spec.pad_bottom;
    ost.padleft = spec.pad_left;
    ost.padright = spec.pad_right;
    ost.original_width = in->width;
    ost.original_height = in->height;

    // The first group's encoder decides the stream; later groups of a join use its settings.
    const TAVOutputStream* first = nullptr;
    if (ost.group > 0)
        for (auto& other : FOutputStreams)
            if (other->group == 0 && other->file == ost.file && other->index == ost.index)
                first = other.get();

    // A picture filmed sideways (a phone's) is turned upright first; sizes and crops are those
    // of the turned picture, and a frame size of the other orientation is turned with it.
    ost.rotation = StreamRotation(ist.st);
    ost.mirrored = StreamMirrored(ist.st);
    const bool sideways = ost.rotation == 90 || ost.rotation == 270;
    const int sourceW = sideways ? in->height : in->width;
    const int sourceH = sideways ? in->width : in->height;
    int frameW = spec.width, frameH = spec.height;
    if (sideways && frameW > 0 && frameH > 0 && (frameW > frameH) != (sourceW > sourceH) && frameW != frameH)
        std::swap(frameW, frameH);
    if (ost.rotation)
        LogFmt(TLogLevel::llVerbose, "Stream #%d.%d is shown turned by %d degrees: pictures are turned upright",
               ist.file_index, ist.index, ost.rotation);

    // The picture is scaled to the frame size (the cropped source's without one); the pads
    // go around it.
    int width = (frameW > 0 ? frameW : sourceW - spec.crop_left - spec.crop_right) + spec.pad_left +
                spec.pad_right;
    int height = (frameH > 0 ? frameH : sourceH - spec.crop_top - spec.crop_bottom) +
                 spec.pad_top + spec.pad_bottom;
    if (ost.encoder && ost.encoder->id == AV_CODEC_ID_H263) {
        const int w = width, h = height;
        NearestH263Size(width, height);
        if (w != width || h != height)
            LogFmt(TLogLevel::llVerbose, "H.263 codes no %dx%d pictures; using %dx%d", w, h, width, height);
    }

    AVPixelFormat pixFmt =
        spec.pix_fmt != AV_PIX_FMT_NONE ? spec.pix_fmt : static_cast<AVPixelFormat>(in->format);
    if (ost.encoder && ost.encoder->pix_fmts) {
        bool supported = false;
        for (const AVPixelFormat* p = ost.encoder->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
            if (*p == pixFmt) supported = true;
        if (!supported) {
            const AVPixelFormat wanted = pixFmt;
            pixFmt = pixFmt == AV_PIX_FMT_NONE
                         ? ost.encoder->pix_fmts[0]
                         : ff::avcodec_find_best_pix_fmt_of_list(ost.encoder->pix_fmts, pixFmt, 0, nullptr);
            if (wanted != AV_PIX_FMT_NONE && Fverbose > 0)
                LogFmt(TLogLevel::llVerbose,
                       "Incompatible pixel format '%s' for codec '%s', auto-selecting format '%s'",
                       ff::av_get_pix_fmt_name(wanted), ost.encoder->name, ff::av_get_pix_fmt_name(pixFmt));
        }
    }
    if (pixFmt == AV_PIX_FMT_NONE) pixFmt = AV_PIX_FMT_YUV420P;
    {
        const int w = width, h = height;
        EncoderSizeFor(pixFmt, width, height);
        if (w != width || h != height)
            LogFmt(TLogLevel::llVerbose, "%s codes no %dx%d pictures; using %dx%d",
                   ff::av_get_pix_fmt_name(pixFmt), w, h, width, height);
    }

    AVRational rate = spec.frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = ist.framerate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    if (ost.encoder && ost.encoder->supported_framerates && !spec.force_fps)
        rate = ost.encoder
                   ->supported_framerates[ff::av_find_nearest_q_idx(rate, ost.encoder->supported_framerates)];
    if (ost.encoder && ost.encoder->id == AV_CODEC_ID_MPEG4)
        ff::av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);

    if (first && first->enc) {
        width = first->enc->width;
        height = first->enc->height;
        pixFmt = first->enc->pix_fmt;
        rate = first->enc->framerate;
    }
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = pixFmt;
    enc->framerate = rate;
    enc->time_base = av_inv_q(rate);
    // Without a chosen frame rate, a container that stores each picture's time gets the pictures
    // at their own times (a variable-rate source stays variable), in a time base fine enough
    // to hold them; elsewhere pictures are duplicated or dropped to the constant rate.
    const bool autoRate = !spec.frame_rate_chosen && !spec.force_fps && Fvideo_sync_method < 0;
    if (autoRate && KeepsPictureTimes(ost.file->ctx->oformat) && !FixedRateCodec(ost.encoder)) {
        ost.variable_rate = true;
        enc->time_base =
            first && first->enc ? first->enc->time_base : PictureTimeBase(ist.st->time_base, rate);
    }

    if (spec.qscale > 0) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(FF_QP2LAMBDA * spec.qscale);
    }
    if (spec.same_quality) enc->flags |= AV_CODEC_FLAG_QSCALE;
    if (spec.intra_only) enc->gop_size = 0;
    auto matrix = [](const std::vector<uint16_t>& m) -> uint16_t* {
        if (m.size() != 64) return nullptr;
        auto* out = static_cast<uint16_t*>(ff::av_mallocz(64 * sizeof(uint16_t)));
        if (out) std::memcpy(out, m.data(), 64 * sizeof(uint16_t));
        return out;
    };
    enc->intra_matrix = matrix(spec.intra_matrix);
    enc->inter_matrix = matrix(spec.inter_matrix);
    if (!spec.rc_override.empty()) {
        std::vector<RcOverride> overrides;
        const char* p = spec.rc_override.c_str();
        while (*p) {
            RcOverride o{};
            int q = 0;
            if (std::sscanf(p, "%d,%d,%d", &o.start_frame, &o.end_frame, &q) != 3)
                Fail("error parsing rc_override");
            if (q > 0) {
                o.qscale = q;
                o.quality_factor = 1.0f;
            } else {
                o.qscale = 0;
                o.quality_factor = -q / 100.0f;
            }
            overrides.push_back(o);
            p = std::strchr(p, '/');
            if (!p) break;
            ++p;
        }
        enc->rc_override = static_cast<RcOverride*>(ff::av_malloc(overrides.size() * sizeof(RcOverride)));
        if (enc->rc_override) {
            std::memcpy(enc->rc_override, overrides.data(), overrides.size() * sizeof(RcOverride));
            enc->rc_override_count = static_cast<int>(overrides.size());
        }
    }
    enc->intra_dc_precision = spec.intra_dc_precision - 8;
    if (spec.global_header & 1) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (spec.global_header & 2) enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    if (spec.psnr) enc->flags |= AV_CODEC_FLAG_PSNR;

    AVRational sar = ist.st->sample_aspect_ratio.num ? ist.st->sample_aspect_ratio : in->sample_aspect_ratio;
    if (ConfigureVideoFilters(ost, in->width, in->height, static_cast<AVPixelFormat>(in->format), sar) < 0)
        Fail("Error opening filters!");
    enc->width = ff::av_buffersink_get_w(ost.buffersink);
    enc->height = ff::av_buffersink_get_h(ost.buffersink);
    if (first && first->enc) {
        enc->sample_aspect_ratio = first->enc->sample_aspect_ratio;
    } else if (spec.aspect_ratio > 0) {
        enc->sample_aspect_ratio = ff::av_d2q(spec.aspect_ratio * enc->height / enc->width, 255);
    } else {
        enc->sample_aspect_ratio = ff::av_buffersink_get_sample_aspect_ratio(ost.buffersink);
    }
    if (ost.group == 0) ost.st->sample_aspect_ratio = enc->sample_aspect_ratio;
}

void TCustomFFmpeg::SetupAudioEncoder(TAVOutputStream& ost, TInputStream& ist) {
    const TOutputStreamSpec& spec = *ost.spec;
    AVCodecContext* enc = ost.enc.get();
    const AVCodecParameters* in = ist.st->codecpar;
    const AVCodec* codec = ost.encoder;

    int rate = spec.sample_rate > 0 ? spec.sample_rate : in->sample_rate;
    if (codec && codec->supported_samplerates) {
        int best = codec->supported_samplerates[0];
        for (const int* r = codec->supported_samplerates; *r; ++r)
            if (std::abs(*r - rate) < std::abs(best - rate)) best = *r;
        rate = best;
    }

    AVChannelLayout layout{};
    const int channels = spec.channels > 0 ? spec.channels : in->ch_layout.nb_channels;
    if (in->ch_layout.nb_channels == channels && in->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        ff::av_channel_layout_copy(&layout, &in->ch_layout);
    else
        ff::av_channel_layout_default(&layout, channels > 0 ? channels : 2);
    if (codec && codec->ch_layouts) {
        const AVChannelLayout* best = nullptr;
        for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
            if (ff::av_channel_layout_compare(l, &layout) == 0) {
                best = l;
                break;
            }
            if (!best || std::abs(l->nb_channels - layout.nb_channels) <
                             std::abs(best->nb_channels - layout.nb_channels))
                best = l;
        }
        if (best && ff::av_channel_layout_compare(best, &layout) != 0) {
            ff::av_channel_layout_uninit(&layout);
            ff::av_channel_layout_copy(&layout, best);
        }
    }

    AVSampleFormat fmt =
        spec.sample_fmt != AV_SAMPLE_FMT_NONE ? spec.sample_fmt : static_cast<AVSampleFormat>(in->format);
    if (codec && codec->sample_fmts) {
        bool supported = false;
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == fmt) supported = true;
        if (!supported) {
            // The same sample type in the other layout (planar or packed), else the first.
            AVSampleFormat choice = codec->sample_fmts[0];
            if (fmt != AV_SAMPLE_FMT_NONE) {
                const AVSampleFormat alt = ff::av_sample_fmt_is_planar(fmt)
                                               ? ff::av_get_packed_sample_fmt(fmt)
                                               : ff::av_get_planar_sample_fmt(fmt);
                for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
                    if (*f == alt) choice = alt;
            }
            fmt = choice;
        }
    }
    if (fmt == AV_SAMPLE_FMT_NONE) fmt = AV_SAMPLE_FMT_S16;

    for (auto& other : FOutputStreams)
        if (ost.group > 0 && other->group == 0 && other->file == ost.file && other->index == ost.index &&
            other->enc) {
            rate = other->enc->sample_rate;
            fmt = other->enc->sample_fmt;
            ff::av_channel_layout_uninit(&layout);
            ff::av_channel_layout_copy(&layout, &other->enc->ch_layout);
        }

    enc->sample_rate = rate;
    enc->sample_fmt = fmt;
    ff::av_channel_layout_uninit(&enc->ch_layout);
    enc->ch_layout = layout;  // moved in
    enc->time_base = AVRational{1, rate};
    if (spec.audio_qscale > -99999.0f) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(FF_QP2LAMBDA * spec.audio_qscale);
    }
}

void TCustomFFmpeg::SetupBitstreamFilter(TAVOutputStream& ost) {
    if (ost.spec->bitstream_filters.empty()) return;
    AVBSFContext* bsf = nullptr;
    if (ff::av_bsf_list_parse_str(ost.spec->bitstream_filters.c_str(), &bsf) < 0 || !bsf)
        Fail(FormatText("Unknown bitstream filter %s", ost.spec->bitstream_filters.c_str()));
    ost.bsf.reset(bsf);
}

void TCustomFFmpeg::SetupTwoPass(TAVOutputStream& ost) {
    AVCodecContext* enc = ost.enc.get();
    const int pass = ost.spec->pass;
    enc->flags |= pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
    int streamIndex = 0;
    for (size_t i = 0; i < FOutputStreams.size(); ++i)
        if (FOutputStreams[i].get() == &ost) streamIndex = static_cast<int>(i);
    const std::string prefix = ost.spec->passlog_prefix.empty() ? "ffmpeg2pass" : ost.spec->passlog_prefix;
    std::string logName = prefix + "-" + std::to_string(streamIndex) + ".log";
    if (logName.size() > 1023) logName.resize(1023);

    // libx264 keeps its own statistics file; it goes beside ours.
    if (ost.encoder && std::strcmp(ost.encoder->name, "libx264") == 0) {
        AVDictionary* opts = ost.encoder_opts.release();
        ff::av_dict_set(&opts, "stats", logName.c_str(), AV_DICT_DONT_OVERWRITE);
        ost.encoder_opts.reset(opts);
    }

    if (pass == 1) {
        ost.logfile = ff::fopen(logName.c_str(), "wb");
        if (!ost.logfile) Fail(FormatText("Cannot write log file %s for pass-1 encoding", logName.c_str()));
        return;
    }
    FILE* f = ff::fopen(logName.c_str(), "rb");
    if (!f)
        Fail(FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                        logName.c_str()));
    ff::fseek(f, 0, SEEK_END);
    const long size = ff::ftell(f);
    ff::fseek(f, 0, SEEK_SET);
    if (size < 0) {
        ff::fclose(f);
        Fail(FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                        logName.c_str()));
    }
    try {
        ost.stats_in.assign(static_cast<size_t>(size), '\0');
    } catch (const std::bad_alloc&) {
        ff::fclose(f);
        Fail(FormatText("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
                        logName.c_str()));
    }
    const size_t read = size > 0 ? ff::fread(ost.stats_in.data(), 1, static_cast<size_t>(size), f) : 0;
    ff::fclose(f);
    if (read != static_cast<size_t>(size))
        Fail(FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                        logName.c_str()));
    enc->stats_in = ost.stats_in.data();
}

void TCustomFFmpeg::OpenEncoder(TAVOutputStream& ost, bool reopen) {
    if (!ost.encoder) {
        if (reopen) Fail(FormatText("Unsupported codec for output stream %s", StreamLabel(ost).c_str()));
        Fail(FormatText("Encoder (codec id %d) not found for output stream %s", ost.st->codecpar->codec_id,
                        StreamLabel(ost).c_str()));
    }
    if (ost.spec->type == AVMEDIA_TYPE_SUBTITLE && !ost.enc->subtitle_header) {
        // Text subtitle encoders write the styles the decoder read (an ASS header).
        const AVCodecContext* dec = FInputStreams[ost.source_index]->dec.get();
        if (dec && dec->subtitle_header && dec->subtitle_header_size > 0) {
            ost.enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
            if (!ost.enc->subtitle_header) Fail("Out of memory");
            std::memcpy(ost.enc->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
            ost.enc->subtitle_header_size = dec->subtitle_header_size;
        }
    }
    AVDictionary* opts = nullptr;
    ff::av_dict_copy(&opts, ost.encoder_opts.get(), 0);
    // An HDR output keeps the source's mastering display and light levels.
    const TInputStream& ist = *FInputStreams[ost.source_index];
    AVStream* source = ist.st;
    const bool keepsHdr = ost.spec->type == AVMEDIA_TYPE_VIDEO && AsksHdrTransfer(opts);
    // A stream that carries them only in its pictures (HEVC's SEI) gets them from its first one:
    // the header is written before the first picture is decoded here.
    if (keepsHdr && !reopen && ost.group == 0) {
        const std::string& name = Finput_files[ist.file_index]->name;
        if (FStreams.find(name) == FStreams.end()) FindHdrSideData(ToLibraryFileName(name), ist.index, source);
    }
    // x265 and SVT-AV1 put them into the bitstream only from their own parameters.
    const bool x265 = keepsHdr && std::strcmp(ost.encoder->name, "libx265") == 0;
    const bool svtav1 = keepsHdr && std::strcmp(ost.encoder->name, "libsvtav1") == 0;
    if (x265 || svtav1) {
        const char* key = x265 ? "x265-params" : "svtav1-params";
        if (const std::string hdr = x265 ? X265HdrParams(source) : SvtAv1HdrParams(source); !hdr.empty()) {
            const AVDictionaryEntry* own = ff::av_dict_get(opts, key, nullptr, 0);
            const std::string params = own && *own->value ? std::string(own->value) + ':' + hdr : hdr;
            ff::av_dict_set(&opts, key, params.c_str(), 0);
        }
    }
    int ret;
    {
        TCodecLock lock;
        ret = ff::avcodec_open2(ost.enc.get(), ost.encoder, &opts);
    }
    for (const AVDictionaryEntry* e = nullptr; (e = ff::av_dict_get(opts, "", e, AV_DICT_IGNORE_SUFFIX));)
        LogFmt(TLogLevel::llVerbose, "Option %s is not used by the %s encoder", e->key, ost.encoder->name);
    ff::av_dict_free(&opts);
    if (ret < 0) {
        if (reopen)
            Fail(FormatText(
                "Error while opening codec for output stream %s - maybe incorrect parameters such as "
                "bit_rate, rate, width or height",
                StreamLabel(ost).c_str()));
        Fail(FormatText(
            "Error while opening encoder for output stream %s - maybe incorrect parameters such as "
            "bit_rate, rate, width or height. Please check error log message to find out more detail "
            "information.",
            StreamLabel(ost).c_str()));
    }
    ost.encoder_opened = true;
    ost.encoder_flushed = false;
    ost.mux_tb = ost.enc->time_base;
    if (reopen || ost.group != 0) return;
    if (ff::avcodec_parameters_from_context(ost.st->codecpar, ost.enc.get()) < 0)
        Fail("Could not alloc stream");
    ost.st->time_base = ost.enc->time_base;
    if (ost.spec->type == AVMEDIA_TYPE_VIDEO) ost.st->avg_frame_rate = ost.enc->framerate;
    if (keepsHdr) {
        CopyStreamSideData(ost.st, source, AV_PKT_DATA_MASTERING_DISPLAY_METADATA);
        CopyStreamSideData(ost.st, source, AV_PKT_DATA_CONTENT_LIGHT_LEVEL);
    }
}
