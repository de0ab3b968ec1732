// Setting up a run: the input and output stream tables, stream maps, stream copy and encoder
// parameters, two-pass log files, opening encoders and decoders, and writing the headers.
#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>

#include "engine/CodecLock.h"
#include "engine/CustomFFmpeg.h"
#include "engine/HdrMetadata.h"
#include "engine/Previewer.h"
#include "engine/SourceTracks.h"
#include "engine/UnicodeProtocol.h"

namespace {

const char* TypeName(AVMediaType type) {
    const char* name = ff::av_get_media_type_string(type);
    return name ? name : "unknown";
}

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

namespace {

bool IsBitmapSubtitle(AVCodecID id) {
    const AVCodecDescriptor* d = ff::avcodec_descriptor_get(id);
    return d && (d->props & AV_CODEC_PROP_BITMAP_SUB);
}

// The source's chapters, moved by its time offset and cut to the recorded length (microseconds,
// INT64_MAX: all), for an output that has none of its own. Formats without chapters ignore them.
void CopyChapters(AVFormatContext* oc, const TInputFile& in, int64_t recording) {
    const AVFormatContext* ic = in.ctx.get();
    if (!ic || oc->nb_chapters > 0) return;
    for (unsigned i = 0; i < ic->nb_chapters; ++i) {
        const AVChapter* c = ic->chapters[i];
        const int64_t start = ff::av_rescale_q(c->start, c->time_base, AV_TIME_BASE_Q) + in.ts_offset;
        const int64_t end = ff::av_rescale_q(c->end, c->time_base, AV_TIME_BASE_Q) + in.ts_offset;
        if (end <= 0) continue;
        if (start >= recording) break;
        auto* copy = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        auto** grown = copy ? static_cast<AVChapter**>(
                                  ff::av_realloc(oc->chapters, (oc->nb_chapters + 1) * sizeof(AVChapter*)))
                            : nullptr;
        if (!grown) {
            ff::av_free(copy);
            return;
        }
        oc->chapters = grown;
        copy->id = c->id;
        copy->time_base = AV_TIME_BASE_Q;
        copy->start = std::max<int64_t>(0, start);
        copy->end = std::min(recording, end);
        ff::av_dict_copy(&copy->metadata, c->metadata, 0);
        oc->chapters[oc->nb_chapters++] = copy;
    }
}

}  // namespace

// Subtitles can be encoded again only from text to text or picture to picture. Where the
// format's default encoder is of the other kind, the first encoder of the right kind that the
// format stores takes its place; an encoder the user named is never replaced.
void TCustomFFmpeg::ChooseSubtitleEncoder(TAVOutputStream& ost, const TInputStream& ist) {
    const bool bitmapSource = IsBitmapSubtitle(ist.st->codecpar->codec_id);
    if (ost.encoder && IsBitmapSubtitle(ost.encoder->id) == bitmapSource) return;
    const AVOutputFormat* format = ost.file->ctx->oformat;
    if (!ost.spec->encoder_named) {
        static const AVCodecID kText[] = {AV_CODEC_ID_ASS, AV_CODEC_ID_SUBRIP, AV_CODEC_ID_MOV_TEXT,
                                          AV_CODEC_ID_WEBVTT, AV_CODEC_ID_TEXT};
        static const AVCodecID kBitmap[] = {AV_CODEC_ID_DVD_SUBTITLE, AV_CODEC_ID_DVB_SUBTITLE};
        const AVCodecID* ids = bitmapSource ? kBitmap : kText;
        const size_t count = bitmapSource ? std::size(kBitmap) : std::size(kText);
        for (size_t i = 0; i < count; ++i) {
            const AVCodec* codec = ff::avcodec_find_encoder(ids[i]);
            if (codec && ff::avformat_query_codec(format, ids[i], FF_COMPLIANCE_NORMAL) == 1) {
                ost.encoder = codec;
                return;
            }
        }
    }
    Fail(
        FormatText("Subtitle encoding is only possible from text to text or bitmap to bitmap "
                   "(output stream %s, source %s, encoder %s)",
                   StreamLabel(ost).c_str(), ff::avcodec_get_name(ist.st->codecpar->codec_id),
                   ost.encoder ? ost.encoder->name : "none"));
}

std::string TCustomFFmpeg::StreamLabel(const TAVOutputStream& ost) const {
    return FormatText("#%d.%d (%s)", ost.file_index, ost.index, TypeName(ost.spec->type));
}

void TCustomFFmpeg::SetupTranscode() {
    if (Foutput_files.empty()) Fail("At least one output file must be specified");
    if (Finput_files.empty()) Fail("At least one input file must be specified");
    BuildStreamTables();
    MapStreams();

    // Picture subtitles go into a format that holds them as they are: there is no encoder for
    // most of them (Blu-ray's), and encoding them again only loses colours.
    for (auto& ost : FOutputStreams) {
        TOutputStreamSpec& spec = *ost->spec;
        const AVCodecID source = FInputStreams[ost->source_index]->st->codecpar->codec_id;
        if (spec.type == AVMEDIA_TYPE_SUBTITLE && !spec.stream_copy && !spec.encoder_named &&
            IsBitmapSubtitle(source) &&
            ff::avformat_query_codec(ost->file->ctx->oformat, source, FF_COMPLIANCE_NORMAL) == 1)
            spec.stream_copy = true;
    }
    for (auto& ost : FOutputStreams) {
        if (ost->spec->stream_copy)
            SetupStreamCopy(*ost);
        else
            SetupEncoder(*ost);
    }
    for (auto& ost : FOutputStreams)
        if (ost->encoding_needed && ost->spec->pass) SetupTwoPass(*ost);
    for (auto& ost : FOutputStreams) {
        ost->pkt.reset(ff::av_packet_alloc());
        if (!ost->pkt) Fail(FormatText("Cannot allocate %d bytes output buffer", 262144));
    }

    // Decoders first: a text subtitle encoder takes its decoder's header.
    OpenDecoders();
    // Encoders of the first group; join mode opens the others when their input comes up.
    for (auto& ost : FOutputStreams)
        if (ost->encoding_needed && ost->group == 0) OpenEncoder(*ost, false);
    for (auto& ost : FOutputStreams) {
        if (!ost->encoding_needed || ost->group != 0 || ost->spec->type != AVMEDIA_TYPE_AUDIO) continue;
        const AVCodecParameters* par = FInputStreams[ost->source_index]->st->codecpar;
        if (ConfigureAudioFilters(*ost, par->sample_rate, static_cast<AVSampleFormat>(par->format),
                                  par->ch_layout) < 0)
            Fail("Error opening filters!");
    }
    InitBitstreamFilters();
    if (!Fvstats_filename.empty() && !FVstatsFile) {
        FVstatsFile = ff::fopen(Fvstats_filename.c_str(), "w");
        if (!FVstatsFile)
            LogFmt(TLogLevel::llError, "Cannot open the statistics file %s", Fvstats_filename.c_str());
    }
    WriteHeaders();
}

// The bitstream filters learn their stream's parameters; what they change (extradata) goes into
// the stream before its header is written.
void TCustomFFmpeg::InitBitstreamFilters() {
    for (auto& ost : FOutputStreams) {
        AVBSFContext* bsf = ost->bsf.get();
        if (!bsf) continue;
        const TAVOutputStream* first = ost.get();
        if (ff::avcodec_parameters_copy(bsf->par_in, ost->st->codecpar) < 0) Fail("Out of memory");
        bsf->time_base_in = ost->mux_tb;
        if (ff::av_bsf_init(bsf) < 0)
            Fail(FormatText("Error initializing bitstream filter: %s", ost->spec->bitstream_filters.c_str()));
        if (first->group == 0 && ff::avcodec_parameters_copy(ost->st->codecpar, bsf->par_out) < 0)
            Fail("Out of memory");
    }
}

void TCustomFFmpeg::BuildStreamTables() {
    FInputStreams.clear();
    FOutputStreams.clear();
    for (int f = 0; f < static_cast<int>(Finput_files.size()); ++f) {
        TInputFile& input = *Finput_files[f];
        input.ist_index = static_cast<int>(FInputStreams.size());
        for (int i = 0; i < input.nb_streams; ++i) {
            auto ist = std::make_unique<TInputStream>();
            ist->file_index = f;
            ist->index = i;
            ist->st = input.ctx->streams[i];
            ist->framerate = ff::av_guess_frame_rate(input.ctx.get(), ist->st, nullptr);
            FInputStreams.push_back(std::move(ist));
        }
    }
    for (int k = 0; k < static_cast<int>(Foutput_files.size()); ++k) {
        TOutputFile& file = *Foutput_files[k].file;
        if (file.streams.empty()) Fail(FormatText("Output file #%d does not contain any stream", k));
        for (TOutputStreamSpec& spec : file.streams) {
            auto ost = std::make_unique<TAVOutputStream>();
            ost->file_index = k;
            ost->index = spec.index;
            ost->group = Foutput_files[k].group;
            ost->file = &file;
            ost->spec = &spec;
            ost->st = file.ctx->streams[spec.index];
            FOutputStreams.push_back(std::move(ost));
        }
    }
    FTablesBuilt = true;
}

void TCustomFFmpeg::MapStreams() {
    const int nbIst = static_cast<int>(FInputStreams.size());
    auto inputStream = [&](int file, int stream) -> int {
        if (file < 0 || file >= static_cast<int>(Finput_files.size())) return -1;
        if (stream < 0 || stream >= Finput_files[file]->nb_streams) return -1;
        return Finput_files[file]->ist_index + stream;
    };

    if (!Fstream_maps.empty()) {
        if (Fstream_maps.size() != FOutputStreams.size())
            Fail("Number of stream maps must match number of output streams");
        for (size_t n = 0; n < Fstream_maps.size(); ++n) {
            const TStreamMap& m = Fstream_maps[n];
            const int source = inputStream(m.file_index, m.stream_index);
            if (source < 0)
                Fail(FormatText("Could not find input stream #%d.%d", m.file_index, m.stream_index));
            const int sync = inputStream(m.sync_file_index, m.sync_stream_index);
            if (sync < 0)
                Fail(FormatText("Could not find sync stream #%d.%d", m.sync_file_index, m.sync_stream_index));
            TAVOutputStream& ost = *FOutputStreams[n];
            const AVMediaType inType = FInputStreams[source]->st->codecpar->codec_type;
            if (inType != ost.spec->type)
                Fail(FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.file_index,
                                m.stream_index, TypeName(inType), ost.file_index, ost.index,
                                TypeName(ost.spec->type)));
            ost.source_index = source;
            ost.sync_ist = sync;
        }
    } else {
        std::vector<bool> used(nbIst, false);
        for (auto& ost : FOutputStreams) {
            const AVMediaType type = ost->spec->type;
            auto fits = [&](int j) {
                const TInputStream& ist = *FInputStreams[j];
                if (FJoinMode && ist.file_index != ost->group) return false;
                return ist.st->codecpar->codec_type == type && ist.st->discard != AVDISCARD_ALL;
            };
            int found = -1;
            for (int j = 0; j < nbIst && found < 0; ++j)
                if (!used[j] && fits(j)) found = j;
            for (int j = 0; j < nbIst && found < 0; ++j)
                if (fits(j)) found = j;
            if (found < 0)
                Fail(FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                                ost->file_index, ost->index, TypeName(type)));
            used[found] = true;
            ost->source_index = found;
            ost->sync_ist = found;
        }
    }
    for (auto& ost : FOutputStreams)
        FInputStreams[ost->source_index]->outputs.push_back(ost.get());

    // Streams nothing reads are skipped by the demuxer.
    std::vector<bool> needed(nbIst, false);
    for (auto& ost : FOutputStreams)
        needed[ost->source_index] = true;
    for (int j = 0; j < nbIst; ++j)
        if (!needed[j]) FInputStreams[j]->st->discard = AVDISCARD_ALL;

    if (Fverbose >= 0) {
        Log(TLogLevel::llInfo, "Stream mapping:");
        for (auto& ost : FOutputStreams) {
            const TInputStream& ist = *FInputStreams[ost->source_index];
            const char* inName = ff::avcodec_get_name(ist.st->codecpar->codec_id);
            std::string how =
                ost->spec->stream_copy
                    ? "copy"
                    : std::string(inName) + " -> " + (ost->spec->encoder ? ost->spec->encoder->name : "?");
            std::string line = FormatText("  Stream #%d.%d -> #%d.%d (%s)", ist.file_index, ist.index,
                                          ost->file_index, ost->index, how.c_str());
            if (ost->sync_ist != ost->source_index) {
                const TInputStream& sync = *FInputStreams[ost->sync_ist];
                line += FormatText(" [sync #%d.%d (%s)]", sync.file_index, sync.index,
                                   ff::avcodec_get_name(sync.st->codecpar->codec_id));
            }
            Log(TLogLevel::llInfo, line);
        }
    }
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
    if (keepsHdr && std::strcmp(ost.encoder->name, "libx265") == 0) {
        if (const std::string hdr = X265HdrParams(source); !hdr.empty()) {
            const AVDictionaryEntry* own = ff::av_dict_get(opts, "x265-params", nullptr, 0);
            const std::string params = own && *own->value ? std::string(own->value) + ':' + hdr : hdr;
            ff::av_dict_set(&opts, "x265-params", params.c_str(), 0);
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

void TCustomFFmpeg::OpenDecoders() {
    for (auto& holder : FInputStreams) {
        TInputStream& ist = *holder;
        if (!ist.decoding_needed) continue;
        const AVCodecParameters* par = ist.st->codecpar;
        const TInputFile& input = *Finput_files[ist.file_index];
        const int kind = par->codec_type == AVMEDIA_TYPE_VIDEO      ? 0
                         : par->codec_type == AVMEDIA_TYPE_AUDIO    ? 1
                         : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? 2
                                                                    : -1;
        const AVCodec* decoder = kind >= 0 && input.forced_decoder[kind]
                                     ? input.forced_decoder[kind]
                                     : ff::avcodec_find_decoder(par->codec_id);
        const std::string label =
            FormatText("#%d.%d (%s)", ist.file_index, ist.index, TypeName(par->codec_type));
        if (!decoder)
            Fail(FormatText("Decoder (codec id %d) not found for input stream %s", par->codec_id,
                            label.c_str()));
        ist.decoder = decoder;
        ist.dec.reset(ff::avcodec_alloc_context3(decoder));
        if (!ist.dec || ff::avcodec_parameters_to_context(ist.dec.get(), par) < 0)
            Fail(FormatText("Error while opening decoder for input stream %s", label.c_str()));
        ist.dec->pkt_timebase = ist.st->time_base;
        ist.dec->thread_count = input.thread_count;
        AVDictionary* opts = nullptr;
        const int optKind = par->codec_type == AVMEDIA_TYPE_VIDEO      ? 0
                            : par->codec_type == AVMEDIA_TYPE_AUDIO    ? 1
                            : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? 3
                                                                       : 2;
        ff::av_dict_copy(&opts, input.decoder_opts[optKind].get(), 0);
        int ret;
        {
            TCodecLock lock;
            ret = ff::avcodec_open2(ist.dec.get(), decoder, &opts);
        }
        ff::av_dict_free(&opts);
        if (ret < 0) Fail(FormatText("Error while opening decoder for input stream %s", label.c_str()));
        ist.frame.reset(ff::av_frame_alloc());
        if (!ist.frame) Fail(FormatText("Error while opening decoder for input stream %s", label.c_str()));
    }
}

void TCustomFFmpeg::WriteHeaders() {
    for (const TMetaDataMap& m : Fmeta_data_maps) {
        if (m.out_file < 0 || m.out_file >= static_cast<int>(Foutput_files.size()))
            Fail(FormatText("Invalid output file index %d map_meta_data(%d,%d)", m.out_file, m.out_file,
                            m.in_file));
        if (m.in_file < 0 || m.in_file >= static_cast<int>(Finput_files.size()))
            Fail(FormatText("Invalid input file index %d map_meta_data(%d,%d)", m.in_file, m.out_file,
                            m.in_file));
        ff::av_dict_copy(&Foutput_files[m.out_file].file->ctx->metadata,
                         Finput_files[m.in_file]->ctx->metadata, AV_DICT_DONT_OVERWRITE);
    }
    for (int k = 0; k < static_cast<int>(Foutput_files.size()); ++k) {
        TOutputFile& file = *Foutput_files[k].file;
        if (file.header_written) continue;
        if (!FJoinMode && !Finput_files.empty()) CopyChapters(file.ctx.get(), *Finput_files[0], Frecording_time);
        AVDictionary* opts = nullptr;
        ff::av_dict_copy(&opts, file.format_opts.get(), 0);
        const int ret = ff::avformat_write_header(file.ctx.get(), &opts);
        ff::av_dict_free(&opts);
        if (ret < 0)
            Fail(FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", k));
        file.header_written = true;
    }
}

void TCustomFFmpeg::CleanupRun() {
    if (FVstatsFile) {
        ff::fclose(FVstatsFile);
        FVstatsFile = nullptr;
    }
    FOutputStreams.clear();
    FInputStreams.clear();
    Foutput_files.clear();
    Finput_files.clear();
    Finput_files_ts_offset.clear();
    FPreviewer.reset();
    FTablesBuilt = false;
}
