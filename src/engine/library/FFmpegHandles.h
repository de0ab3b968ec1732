#pragma once
// Owning pointers for the libraries' objects. Every engine object that holds one of these
// holds it through these aliases; none is freed by hand.
//
// Codec contexts are freed under the codec lock (CodecLock.h), since closing a codec is a
// codec open/close like any other.

#include <memory>

#include "engine/library/CodecLock.h"
#include "engine/library/FFmpegApi.h"

struct TInputContextDeleter {
    void operator()(AVFormatContext* ctx) const {
        if (ctx) ff::avformat_close_input(&ctx);
    }
};
// An opened input (avformat_open_input).
using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputContextDeleter>;

struct TOutputContextDeleter {
    void operator()(AVFormatContext* ctx) const {
        if (!ctx) return;
        // A caller's I/O context (custom I/O) is freed by its owner, not closed here.
        if (ctx->oformat && !(ctx->oformat->flags & AVFMT_NOFILE) && ctx->pb &&
            !(ctx->flags & AVFMT_FLAG_CUSTOM_IO))
            ff::avio_closep(&ctx->pb);
        ff::avformat_free_context(ctx);
    }
};
// An output (avformat_alloc_output_context2), with its file when one was opened.
using TOutputContextPtr = std::unique_ptr<AVFormatContext, TOutputContextDeleter>;

struct TCodecContextDeleter {
    void operator()(AVCodecContext* ctx) const {
        if (!ctx) return;
        TCodecLock lock;
        ff::avcodec_free_context(&ctx);
    }
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;

struct TFrameDeleter {
    void operator()(AVFrame* frame) const {
        if (frame) ff::av_frame_free(&frame);
    }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TPacketDeleter {
    void operator()(AVPacket* packet) const {
        if (packet) ff::av_packet_free(&packet);
    }
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;

struct TAudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const {
        if (fifo) ff::av_audio_fifo_free(fifo);
    }
};
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoDeleter>;

struct TSwsContextDeleter {
    void operator()(SwsContext* ctx) const {
        if (ctx) ff::sws_freeContext(ctx);
    }
};
using TSwsContextPtr = std::unique_ptr<SwsContext, TSwsContextDeleter>;

struct TSwrContextDeleter {
    void operator()(SwrContext* ctx) const {
        if (ctx) ff::swr_free(&ctx);
    }
};
using TSwrContextPtr = std::unique_ptr<SwrContext, TSwrContextDeleter>;

struct TFilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const {
        if (graph) ff::avfilter_graph_free(&graph);
    }
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphDeleter>;

struct TDictionaryDeleter {
    void operator()(AVDictionary* dict) const {
        if (dict) ff::av_dict_free(&dict);
    }
};
using TDictionaryPtr = std::unique_ptr<AVDictionary, TDictionaryDeleter>;

struct TAvMemoryDeleter {
    void operator()(void* p) const {
        if (p) ff::av_free(p);
    }
};
// A buffer from av_malloc (aligned for the libraries' SIMD code).
using TAvBufferPtr = std::unique_ptr<uint8_t, TAvMemoryDeleter>;
