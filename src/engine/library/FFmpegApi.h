#pragma once
// The process-wide table of media library entry points.
//
// The engine never links libav*, libsw* or SDL: it includes their headers for the types and
// looks every function it calls up at run time (TFFmpegLoader). Each pointer is declared with
// the library's own prototype, so a call reads like a direct call and cannot drift from the
// header: ff::avformat_open_input(&ctx, name, nullptr, &opts).
//
// One X-macro per library lists its functions, one line each: REQ(name) for a function the
// library must export, OPT(name) for one the engine can do without (the pointer stays null
// when it is missing, and callers test it). To add a function, add one line to its library's
// list; the declaration, the look-up and the reset follow from it.
//
// Do not call the headers' inline helpers that reach into a library (avio_tell calls
// avio_seek, av_err2str calls av_strerror, ...): the link fails when one slips in, since the
// engine has no import library to resolve them against. Inline helpers that only compute
// (av_q2d, av_make_q, av_inv_q, av_cmp_q) are fine.
//
// Threads: the pointers are written only by TFFmpegLoader (on the thread that loads, normally
// the main thread at start-up) and read by everyone after that.

#define SDL_MAIN_HANDLED
extern "C" {
#include <SDL2/SDL.h>
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>

// libavutil.so.57
#define VANTO_FF_AVUTIL(REQ, OPT)      \
    REQ(avutil_version)                \
    REQ(av_log)                        \
    REQ(av_vlog)                       \
    REQ(av_log_set_callback)           \
    REQ(av_log_set_level)              \
    REQ(av_log_get_level)              \
    REQ(av_log_set_flags)              \
    REQ(av_log_default_callback)       \
    REQ(av_log_format_line2)           \
    REQ(av_default_item_name)          \
    REQ(av_strerror)                   \
    REQ(av_malloc)                     \
    REQ(av_mallocz)                    \
    REQ(av_realloc)                    \
    REQ(av_fast_malloc)                \
    REQ(av_free)                       \
    REQ(av_freep)                      \
    REQ(av_strdup)                     \
    REQ(av_strlcpy)                    \
    REQ(av_strlcat)                    \
    REQ(av_dict_get)                   \
    REQ(av_display_rotation_get)       \
    REQ(av_dict_set)                   \
    REQ(av_dict_set_int)               \
    REQ(av_dict_copy)                  \
    REQ(av_dict_count)                 \
    REQ(av_dict_free)                  \
    REQ(av_dict_parse_string)          \
    REQ(av_frame_alloc)                \
    REQ(av_frame_free)                 \
    REQ(av_frame_ref)                  \
    REQ(av_frame_unref)                \
    REQ(av_frame_move_ref)             \
    REQ(av_frame_clone)                \
    REQ(av_frame_get_buffer)           \
    REQ(av_frame_make_writable)        \
    REQ(av_frame_copy)                 \
    REQ(av_frame_copy_props)           \
    REQ(av_frame_get_side_data)        \
    REQ(av_image_alloc)                \
    REQ(av_image_copy)                 \
    REQ(av_image_fill_arrays)          \
    REQ(av_image_fill_linesizes)       \
    REQ(av_image_get_buffer_size)      \
    REQ(av_image_copy_to_buffer)       \
    REQ(av_image_check_size)           \
    REQ(av_get_pix_fmt)                \
    REQ(av_get_pix_fmt_name)           \
    REQ(av_pix_fmt_desc_get)           \
    REQ(av_pix_fmt_desc_next)          \
    REQ(av_get_bits_per_pixel)         \
    REQ(av_get_sample_fmt)             \
    REQ(av_get_sample_fmt_name)        \
    REQ(av_get_bytes_per_sample)       \
    REQ(av_sample_fmt_is_planar)       \
    REQ(av_get_packed_sample_fmt)      \
    REQ(av_get_planar_sample_fmt)      \
    REQ(av_samples_get_buffer_size)    \
    REQ(av_samples_alloc)              \
    REQ(av_samples_copy)               \
    REQ(av_samples_set_silence)        \
    REQ(av_samples_fill_arrays)        \
    REQ(av_channel_layout_default)     \
    REQ(av_channel_layout_copy)        \
    REQ(av_channel_layout_uninit)      \
    REQ(av_channel_layout_describe)    \
    REQ(av_channel_layout_from_mask)   \
    REQ(av_channel_layout_from_string) \
    REQ(av_channel_layout_compare)     \
    REQ(av_channel_layout_check)       \
    REQ(av_rescale)                    \
    REQ(av_rescale_rnd)                \
    REQ(av_rescale_q)                  \
    REQ(av_rescale_q_rnd)              \
    REQ(av_compare_ts)                 \
    REQ(av_reduce)                     \
    REQ(av_gcd)                        \
    REQ(av_d2q)                        \
    REQ(av_mul_q)                      \
    REQ(av_div_q)                      \
    REQ(av_add_q)                      \
    REQ(av_sub_q)                      \
    REQ(av_find_nearest_q_idx)         \
    REQ(av_parse_time)                 \
    REQ(av_parse_video_size)           \
    REQ(av_parse_video_rate)           \
    REQ(av_parse_color)                \
    REQ(av_opt_find)                   \
    REQ(av_opt_set)                    \
    REQ(av_opt_get)                    \
    REQ(av_opt_set_int)                \
    REQ(av_opt_set_bin)                \
    REQ(av_opt_set_dict)               \
    REQ(av_opt_next)                   \
    REQ(av_opt_get_int)                \
    REQ(av_opt_free)                   \
    REQ(av_int_list_length_for_size)   \
    REQ(av_gettime)                    \
    REQ(av_gettime_relative)           \
    REQ(av_usleep)                     \
    REQ(av_audio_fifo_alloc)           \
    REQ(av_audio_fifo_free)            \
    REQ(av_audio_fifo_write)           \
    REQ(av_audio_fifo_read)            \
    REQ(av_audio_fifo_size)            \
    REQ(av_audio_fifo_realloc)         \
    REQ(av_audio_fifo_drain)           \
    REQ(av_get_media_type_string)      \
    REQ(av_get_picture_type_char)

// libswresample.so.4
#define VANTO_FF_SWRESAMPLE(REQ, OPT) \
    REQ(swresample_version)           \
    REQ(swr_alloc)                    \
    REQ(swr_alloc_set_opts2)          \
    REQ(swr_init)                     \
    REQ(swr_is_initialized)           \
    REQ(swr_convert)                  \
    REQ(swr_free)                     \
    REQ(swr_get_delay)                \
    REQ(swr_get_out_samples)          \
    REQ(swr_get_class)                \
    OPT(swr_set_compensation)

// libswscale.so.6
#define VANTO_FF_SWSCALE(REQ, OPT) \
    REQ(swscale_version)           \
    REQ(sws_getContext)            \
    REQ(sws_getCachedContext)      \
    REQ(sws_scale)                 \
    REQ(sws_freeContext)           \
    REQ(sws_get_class)             \
    REQ(sws_alloc_context)         \
    REQ(sws_init_context)          \
    REQ(sws_isSupportedInput)      \
    REQ(sws_isSupportedOutput)

// libavcodec.so.59
#define VANTO_FF_AVCODEC(REQ, OPT)         \
    REQ(avcodec_version)                   \
    REQ(avcodec_find_decoder)              \
    REQ(avcodec_find_decoder_by_name)      \
    REQ(avcodec_find_encoder)              \
    REQ(avcodec_find_encoder_by_name)      \
    REQ(avcodec_alloc_context3)            \
    REQ(avcodec_free_context)              \
    REQ(avcodec_open2)                     \
    REQ(avcodec_parameters_alloc)          \
    REQ(avcodec_parameters_free)           \
    REQ(avcodec_parameters_to_context)     \
    REQ(avcodec_parameters_from_context)   \
    REQ(avcodec_parameters_copy)           \
    REQ(avcodec_send_packet)               \
    REQ(avcodec_receive_frame)             \
    REQ(avcodec_send_frame)                \
    REQ(avcodec_receive_packet)            \
    REQ(avcodec_flush_buffers)             \
    REQ(avcodec_decode_subtitle2)          \
    REQ(avcodec_encode_subtitle)           \
    REQ(avsubtitle_free)                   \
    REQ(avcodec_string)                    \
    REQ(avcodec_get_name)                  \
    REQ(avcodec_profile_name)              \
    REQ(avcodec_descriptor_get)            \
    REQ(avcodec_descriptor_get_by_name)    \
    REQ(avcodec_get_class)                 \
    REQ(avcodec_find_best_pix_fmt_of_list) \
    REQ(av_codec_iterate)                  \
    REQ(av_codec_is_encoder)               \
    REQ(av_codec_is_decoder)               \
    REQ(av_get_audio_frame_duration2)      \
    REQ(av_packet_alloc)                   \
    REQ(av_packet_free)                    \
    REQ(av_packet_ref)                     \
    REQ(av_packet_unref)                   \
    REQ(av_packet_move_ref)                \
    REQ(av_packet_clone)                   \
    REQ(av_packet_rescale_ts)              \
    REQ(av_new_packet)                     \
    REQ(av_packet_get_side_data)           \
    REQ(av_bsf_get_by_name)                \
    REQ(av_bsf_alloc)                      \
    REQ(av_bsf_init)                       \
    REQ(av_bsf_send_packet)                \
    REQ(av_bsf_receive_packet)             \
    REQ(av_bsf_flush)                      \
    REQ(av_bsf_free)                       \
    REQ(av_bsf_list_parse_str)

// libavformat.so.59
#define VANTO_FF_AVFORMAT(REQ, OPT)      \
    REQ(avformat_version)                \
    REQ(avformat_alloc_context)          \
    REQ(avformat_free_context)           \
    REQ(avformat_open_input)             \
    REQ(avformat_find_stream_info)       \
    REQ(avformat_close_input)            \
    REQ(avformat_alloc_output_context2)  \
    REQ(avformat_new_stream)             \
    REQ(avformat_write_header)           \
    REQ(av_write_trailer)                \
    REQ(av_interleaved_write_frame)      \
    REQ(av_read_frame)                   \
    REQ(av_seek_frame)                   \
    REQ(avformat_seek_file)              \
    REQ(av_find_input_format)            \
    REQ(av_guess_format)                 \
    REQ(av_guess_codec)                  \
    REQ(av_guess_frame_rate)             \
    REQ(av_guess_sample_aspect_ratio)    \
    REQ(av_find_best_stream)             \
    REQ(av_new_program)                  \
    REQ(av_program_add_stream_index)     \
    REQ(av_find_program_from_stream)     \
    REQ(avio_open2)                      \
    REQ(avio_closep)                     \
    REQ(avio_size)                       \
    REQ(avio_seek)                       \
    REQ(avio_feof)                       \
    REQ(avio_flush)                      \
    REQ(avio_read)                       \
    REQ(avio_write)                      \
    REQ(avio_alloc_context)              \
    REQ(avio_context_free)               \
    REQ(av_codec_get_tag)                \
    REQ(av_codec_get_tag2)               \
    REQ(av_codec_get_id)                 \
    REQ(avformat_query_codec)            \
    REQ(av_stream_get_side_data)         \
    REQ(av_stream_new_side_data)         \
    REQ(av_demuxer_iterate)              \
    REQ(av_muxer_iterate)                \
    REQ(avformat_get_class)              \
    REQ(av_filename_number_test)         \
    REQ(avformat_match_stream_specifier) \
    REQ(av_hex_dump_log)                 \
    REQ(av_pkt_dump_log2)                \
    OPT(av_read_pause)                   \
    OPT(av_read_play)                    \
    OPT(av_dump_format)                  \
    OPT(av_sdp_create)                   \
    OPT(av_stream_get_codec_timebase)

// libavfilter.so.8
#define VANTO_FF_AVFILTER(REQ, OPT)            \
    REQ(avfilter_version)                      \
    REQ(avfilter_graph_alloc)                  \
    REQ(avfilter_graph_free)                   \
    REQ(avfilter_graph_create_filter)          \
    REQ(avfilter_graph_alloc_filter)           \
    REQ(avfilter_graph_config)                 \
    REQ(avfilter_graph_parse_ptr)              \
    REQ(avfilter_get_by_name)                  \
    REQ(avfilter_link)                         \
    REQ(avfilter_init_str)                     \
    REQ(avfilter_inout_alloc)                  \
    REQ(avfilter_inout_free)                   \
    REQ(av_buffersrc_add_frame_flags)          \
    REQ(av_buffersrc_parameters_alloc)         \
    REQ(av_buffersrc_parameters_set)           \
    REQ(av_buffersink_get_frame)               \
    REQ(av_buffersink_get_frame_flags)         \
    REQ(av_buffersink_set_frame_size)          \
    REQ(av_buffersink_get_time_base)           \
    REQ(av_buffersink_get_w)                   \
    REQ(av_buffersink_get_h)                   \
    REQ(av_buffersink_get_format)              \
    REQ(av_buffersink_get_sample_rate)         \
    REQ(av_buffersink_get_ch_layout)           \
    REQ(av_buffersink_get_frame_rate)          \
    REQ(av_buffersink_get_sample_aspect_ratio) \
    OPT(avfilter_graph_send_command)

// libavdevice.so.59: in no component's set; kept so that the loader can open it on request.
#define VANTO_FF_AVDEVICE(REQ, OPT) \
    REQ(avdevice_version)           \
    OPT(avdevice_register_all)

// libc.so.6: the C runtime functions through which the engine handles its own files and
// formatted text.
#define VANTO_FF_LIBC(REQ, OPT) \
    REQ(fopen)                  \
    REQ(fclose)                 \
    REQ(fread)                  \
    REQ(fwrite)                 \
    REQ(fseek)                  \
    REQ(ftell)                  \
    REQ(fprintf)                \
    REQ(snprintf)               \
    REQ(vsnprintf)              \
    REQ(strtod)                 \
    REQ(strtol)                 \
    REQ(strtok)

// libSDL2-2.0.so.0
#define VANTO_FF_SDL(REQ, OPT) \
    REQ(SDL_Init)              \
    REQ(SDL_InitSubSystem)     \
    REQ(SDL_QuitSubSystem)     \
    REQ(SDL_Quit)              \
    REQ(SDL_GetError)          \
    REQ(SDL_OpenAudioDevice)   \
    REQ(SDL_CloseAudioDevice)  \
    REQ(SDL_PauseAudioDevice)  \
    REQ(SDL_LockAudioDevice)   \
    REQ(SDL_UnlockAudioDevice) \
    REQ(SDL_MixAudioFormat)    \
    REQ(SDL_CreateThread)      \
    REQ(SDL_WaitThread)        \
    REQ(SDL_CreateMutex)       \
    REQ(SDL_DestroyMutex)      \
    REQ(SDL_LockMutex)         \
    REQ(SDL_UnlockMutex)       \
    REQ(SDL_CreateCond)        \
    REQ(SDL_DestroyCond)       \
    REQ(SDL_CondSignal)        \
    REQ(SDL_CondWait)          \
    REQ(SDL_CondWaitTimeout)   \
    REQ(SDL_Delay)             \
    REQ(SDL_AddTimer)          \
    REQ(SDL_RemoveTimer)       \
    REQ(SDL_setenv)            \
    REQ(SDL_SetHint)           \
    REQ(SDL_WaitEventTimeout)  \
    REQ(SDL_PushEvent)         \
    REQ(SDL_RegisterEvents)    \
    REQ(SDL_CreateWindow)      \
    REQ(SDL_DestroyWindow)     \
    REQ(SDL_ShowWindow)        \
    REQ(SDL_SetWindowSize)     \
    REQ(SDL_CreateRenderer)    \
    REQ(SDL_DestroyRenderer)   \
    REQ(SDL_GetRendererOutputSize) \
    REQ(SDL_SetRenderDrawColor)    \
    REQ(SDL_RenderClear)       \
    REQ(SDL_RenderCopyEx)      \
    REQ(SDL_RenderPresent)     \
    REQ(SDL_CreateTexture)     \
    REQ(SDL_DestroyTexture)    \
    REQ(SDL_UpdateYUVTexture)  \
    REQ(SDL_LockTexture)       \
    REQ(SDL_UnlockTexture)     \
    OPT(SDL_GetCurrentAudioDriver) \
    OPT(SDL_GetCurrentVideoDriver) \
    OPT(SDL_GetRendererInfo)

namespace ff {

#define VANTO_FF_DECLARE(name) inline decltype(&::name) name = nullptr;
VANTO_FF_AVUTIL(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_SWRESAMPLE(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_SWSCALE(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_AVCODEC(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_AVFORMAT(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_AVFILTER(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_AVDEVICE(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_LIBC(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
VANTO_FF_SDL(VANTO_FF_DECLARE, VANTO_FF_DECLARE)
#undef VANTO_FF_DECLARE

// One row of a library's look-up list.
struct TEntryPoint {
    const char* Name;
    bool Optional;
    void (*Set)(void* address);  // stores the looked-up address (nullptr resets)
};

// The look-up lists, one per library file, in the order of the X-macros above.
struct TEntryPointList {
    const TEntryPoint* Entries;
    int Count;
};
TEntryPointList AvUtilEntryPoints();
TEntryPointList SwResampleEntryPoints();
TEntryPointList SwScaleEntryPoints();
TEntryPointList AvCodecEntryPoints();
TEntryPointList AvFormatEntryPoints();
TEntryPointList AvFilterEntryPoints();
TEntryPointList AvDeviceEntryPoints();
TEntryPointList LibcEntryPoints();
TEntryPointList SdlEntryPoints();

}  // namespace ff
