#pragma once
// The transcoding core's tables: opened inputs, opened outputs with the settings their streams
// were created with, and the run-time stream tables the set-up builds. Internal to the core
// (TCustomFFmpeg); owned by it and used only by the thread that runs the task.

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/library/FFmpegHandles.h"
#include "engine/transcode/FFmpegTypes.h"
#include "engine/library/StreamIO.h"

inline constexpr int kMaxStreams = 20;       // time-stamp scales per input
inline constexpr int kMaxFiles = 500;        // inputs and outputs per task
inline constexpr int kMaxStreamMaps = 9999;  // stream maps per task

struct TBsfContextDeleter {
    void operator()(AVBSFContext* ctx) const {
        if (ctx) ff::av_bsf_free(&ctx);
    }
};
using TBsfContextPtr = std::unique_ptr<AVBSFContext, TBsfContextDeleter>;

struct TStreamMap {
    int file_index = 0;
    int stream_index = 0;
    int sync_file_index = 0;
    int sync_stream_index = 0;
};

struct TMetaDataMap {
    int out_file = 0;
    int in_file = 0;
};

// One opened input file.
struct TInputFile {
    TAvioContextPtr custom_io;  // reading a caller's stream; outlives ctx
    TInputContextPtr ctx;
    std::string name;    // as the caller gave it
    int ist_index = 0;   // first entry of the input stream table (set-up)
    int nb_streams = 0;  // streams known when the file was opened
    bool eof_reached = false;
    bool no_packet = false;                      // the last read asked to try again
    int64_t ts_offset = 0;                       // microseconds added to every time stamp
    std::array<double, kMaxStreams> ts_scale{};  // 0 = unscaled
    int64_t duration = AV_NOPTS_VALUE;           // microseconds
    // Library codec options and thread count for the decoders of each media kind, as they were
    // when the file was opened.
    std::array<TDictionaryPtr, 5> decoder_opts;
    int thread_count = 1;
    // Decoders forced by name for video, audio and subtitles (null: by codec id).
    const AVCodec* forced_decoder[3] = {nullptr, nullptr, nullptr};
};

// The settings one output stream was created with (taken when the output was opened).
struct TOutputStreamSpec {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    int index = 0;  // stream index in the output file
    bool stream_copy = false;
    const AVCodec* encoder = nullptr;  // null: the format's default (resolved at set-up)
    bool encoder_named = false;        // the user chose the encoder (not the format's default)
    uint32_t codec_tag = 0;
    TDictionaryPtr codec_opts;
    std::string bitstream_filters;  // "name[=args],name..."
    int64_t max_frames = INT32_MAX;

    // Video
    int width = 0, height = 0;
    AVRational frame_rate{0, 0};
    bool frame_rate_chosen = false;
    float aspect_ratio = 0.0f;
    AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
    float qscale = 0.0f;
    std::vector<uint16_t> intra_matrix, inter_matrix;
    std::string rc_override;
    bool intra_only = false;
    bool same_quality = false;
    int top_field_first = -1;
    int intra_dc_precision = 8;
    int global_header = 0;
    bool psnr = false;
    int pass = 0;
    std::string passlog_prefix;
    int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;
    int pad_top = 0, pad_bottom = 0, pad_left = 0, pad_right = 0;
    TColor pad_color = 0;
    std::string vfilters;
    bool deinterlace = false;
    bool force_fps = false;

    // Audio
    int sample_rate = 0;
    int channels = 0;
    AVSampleFormat sample_fmt = AV_SAMPLE_FMT_NONE;
    float audio_qscale = -100000.0f;
};

// One opened output file. In join mode several entries of the output table share one file.
struct TOutputFile {
    TAvioContextPtr custom_io;  // writing a caller's stream; outlives ctx
    TOutputContextPtr ctx;
    std::string name;
    std::vector<TOutputStreamSpec> streams;
    TDictionaryPtr format_opts;  // options for avformat_write_header
    int groups = 1;              // join mode: one group of output streams per input
    bool header_written = false;
    bool trailer_written = false;
};

// The output file table: one entry per output, repeated once per further input in join mode.
struct TOutputFileEntry {
    std::shared_ptr<TOutputFile> file;
    int group = 0;
};

// Run-time entry of the input stream table.
struct TInputStream {
    int file_index = 0;
    int index = 0;  // stream index in its file
    AVStream* st = nullptr;
    bool decoding_needed = false;
    const AVCodec* decoder = nullptr;
    TCodecContextPtr dec;
    int64_t next_pts = AV_NOPTS_VALUE;  // microseconds: time of the next decoded data
    int64_t last_picture_pts = AV_NOPTS_VALUE;  // microseconds: time given to the last picture
    int64_t pts = 0;                    // microseconds: time of the current decoded data
    bool is_start = true;
    bool is_past_recording_time = false;
    bool decoder_flushed = false;
    bool multi_frame_warned = false;
    int64_t start_wallclock = 0;  // rate emulation
    AVRational framerate{0, 0};
    TFramePtr frame;
    std::vector<struct TAVOutputStream*> outputs;  // the output streams fed by this one
};

// Run-time entry of the output stream table.
struct TAVOutputStream {
    int file_index = 0;     // entry of the output file table
    int index = 0;          // stream index in the output file
    int source_index = -1;  // input stream table entry
    int sync_ist = -1;      // input stream table entry used for synchronisation
    int group = 0;          // join mode: the input this stream's group belongs to
    bool encoding_needed = false;
    int64_t frame_number = 0;
    int64_t sync_opts = 0;  // next output time in encoder time-base units
    // Pictures keep their own times (no duplicates to a constant rate), in a fine time base.
    bool variable_rate = false;
    // Durations of the pictures handed to the encoder, by time, until their packets come out.
    std::map<int64_t, int64_t> picture_durations;
    AVStream* st = nullptr;
    TOutputFile* file = nullptr;
    TOutputStreamSpec* spec = nullptr;
    std::string stats_in;  // two-pass statistics for pass 2 (outlives the encoder that reads it)
    TCodecContextPtr enc;
    const AVCodec* encoder = nullptr;
    bool encoder_opened = false;
    bool encoder_flushed = false;
    bool finished = false;
    TDictionaryPtr encoder_opts;  // options for (re)opening the encoder

    // Video: crop bands and padding as set up, the filter graph and its ends
    int topBand = 0, bottomBand = 0, leftBand = 0, rightBand = 0;
    int original_topBand = 0, original_bottomBand = 0, original_leftBand = 0, original_rightBand = 0;
    int padtop = 0, padbottom = 0, padleft = 0, padright = 0;
    int resample_width = 0, resample_height = 0, resample_pix_fmt = -1;  // picture the graph expects
    int original_width = 0, original_height = 0;
    int rotation = 0;  // clockwise degrees the source's pictures are turned to stand upright
    bool mirrored = false;  // ... after being flipped left to right
    TFilterGraphPtr graph;
    AVFilterContext* buffersrc = nullptr;
    AVFilterContext* buffersink = nullptr;
    TFramePtr filtered;
    int64_t dup_count = 0, drop_count = 0;
    int64_t last_video_pts = AV_NOPTS_VALUE;

    // Audio: the conversion graph's input format (rebuilt when the decoder's output changes)
    int resample_sample_rate = 0;
    int resample_sample_fmt = -1;
    AVChannelLayout resample_ch_layout{};
    // Encoders of a fixed frame size take their samples through this queue, so that samples
    // left over when the graph is rebuilt are encoded with the next graph's output.
    TAudioFifoPtr fifo;
    int64_t fifo_pts = AV_NOPTS_VALUE;        // encoder time base: the first queued sample's time
    int64_t audio_next_pts = AV_NOPTS_VALUE;  // encoder time base: just after the graph's last sample

    TBsfContextPtr bsf;
    AVRational mux_tb{1, AV_TIME_BASE};  // time base of the packets handed to WritePacket
    uint64_t error[4] = {};              // summed encoder errors (PSNR)
    std::vector<uint8_t> subtitle_buffer;
    FILE* logfile = nullptr;  // two-pass statistics (pass 1), through the C runtime table
    TPacketPtr pkt;
    int64_t last_mux_dts = AV_NOPTS_VALUE;
    int64_t mux_end = AV_NOPTS_VALUE;  // end (time plus duration) of the latest written packet
    int64_t data_size = 0;             // bytes written
    double quality = 0.0;              // last encoder quality (lambda)

    TAVOutputStream() = default;
    TAVOutputStream(const TAVOutputStream&) = delete;
    TAVOutputStream& operator=(const TAVOutputStream&) = delete;
    ~TAVOutputStream() {
        ff::av_channel_layout_uninit(&resample_ch_layout);
        if (logfile) ff::fclose(logfile);
    }
};
