// Setting up a run: the input and output stream tables, stream maps, subtitle encoder choice,
// opening the decoders, and writing the headers (the output streams' parameters and encoders are
// set up in CustomFFmpegEncoders.cpp).
#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>

#include "engine/library/CodecLock.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/transcode/HdrMetadata.h"
#include "engine/transcode/Previewer.h"
#include "engine/transcode/SourceTracks.h"
#include "engine/library/UnicodeProtocol.h"

namespace {

const char* TypeName(AVMediaType type) {
    const char* name = ff::av_get_media_type_string(type);
    return name ? name : "unknown";
}

}  // namespace

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
