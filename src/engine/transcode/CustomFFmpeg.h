#pragma once
// The transcoding core: the whole state of one command-line style transcoding job.
//
// Settings accumulate through one option dispatcher (SetOption) as "current" values that the
// next opened input or output consumes; OpenInput and OpenOutput open files with the settings
// current at that moment; Transcode sets up the stream tables, codecs and headers and runs the
// read-decode-encode-write loop. Failures inside the core raise FFmpegException with the text
// the user sees; OpenInput/OpenOutput turn theirs into a result and LastErrMsg.
//
// The implementation is split by stage: options (CustomFFmpegOptions.cpp), presets
// (FFmpegPresets.cpp), target (FFmpegTarget.cpp), opening inputs (CustomFFmpegInput.cpp) and
// outputs (CustomFFmpegOutput.cpp), run set-up (CustomFFmpegSetup.cpp), the loop
// (CustomFFmpegLoop.cpp), video, audio and subtitle output (CustomFFmpegVideo.cpp,
// CustomFFmpegAudio.cpp, CustomFFmpegSubtitle.cpp), hooks and progress
// (CustomFFmpegProgress.cpp).
//
// Ownership: owns its inputs, outputs, codecs and tables. Threads: built on one thread (the
// caller's), then run on the task's conversion thread; only the stop and pause requests and
// the preview switches may come from another thread.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/transcode/FFOptions.h"
#include "engine/library/FFmpegException.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/transcode/FFmpegTypes.h"
#include "engine/probe/RGBConvertContext.h"
#include "engine/transcode/TranscodeTypes.h"

class TPreviewer;

class TCustomFFmpeg {
    // Held from InitFFmpeg on: every library object of the core is freed before it lets go.
    TLibraryUse FLibraryUse;

public:
    TCustomFFmpeg();
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // Resets every setting to its default, clears the join mode and run flags and allocates the
    // library option contexts. Needs the task libraries loaded.
    void InitFFmpeg();

    // The option dispatcher: one (name, value) pair; names exactly as the option table spells
    // them (lower case). Raises FFmpegException on refusal.
    void SetOption(const std::string& name, const std::string& value);
    // The library option setter: false for an unknown name (silently) or a refused value
    // (logged at error level).
    bool SetLibOption(const std::string& name, const std::string& value);

    // Opens the next input with the current settings; false with LastErrMsg on failure.
    bool OpenInput(const std::string& fileName);
    // Opens the next output; the output's index, or -1 with LastErrMsg on failure.
    int OpenOutput(const std::string& fileName, bool join);
    // Adds a further stream of the kind to the last output (newvideo, newaudio, newsubtitle).
    void AddStream(AVMediaType type);
    // Closes the last opened output again (all of its join groups).
    void DropLastOutput();

    // The whole run: set-up, loop, flushing, trailers. Raises FFmpegException on failure; the
    // stream tables and codecs stay until CleanupRun.
    void Transcode();
    // Run set-up only, up to the written headers (Transcode's first half).
    void SetupTranscode();
    // Closes codecs, frees the run tables and closes every file. The core is run once.
    void CleanupRun();

    // Cooperative control from another thread.
    void RequestStop();
    void SetPaused(bool paused);
    bool Paused() const { return FPaused.load(); }

    const std::string& LastErrMsg() const { return FLastErrMsg; }
    void SetLastErrMsg(const std::string& message) { FLastErrMsg = message; }
    int Verbose() const { return Fverbose; }
    void SetVerbose(int verbose) { Fverbose = verbose; }
    int ThreadCount() const { return Fthread_count; }
    // Codec threads of the decoders, encoders and picture filters (0: each library chooses its
    // own count, as the ffmpeg command line does); applies to the inputs opened already too, so
    // it may change until the run starts.
    void SetThreadCount(int count);
    // Report interval of progress in microseconds.
    int64_t ReportInterval() const { return FReportInterval; }
    void SetReportInterval(int64_t microseconds) { FReportInterval = microseconds; }
    int64_t TotalOutputDuration() const { return FTotalOutputDuration; }
    bool JoinMode() const { return FJoinMode; }
    int InputFileCount() const { return static_cast<int>(Finput_files.size()); }
    int OutputFileCount() const { return static_cast<int>(Foutput_files.size()); }
    AVFormatContext* InputContext(int index) const;
    AVFormatContext* OutputContext(int index) const;
    bool Converting() const { return FConverting.load(); }
    bool Broken() const { return FBroken.load(); }
    bool Finished() const { return FFinished; }

    // A caller's stream to read or write under the given file name (stream forms).
    void RegisterStream(const std::string& name, TEngineStream* stream) { FStreams[name] = stream; }

    // Preview kinds (read by the conversion thread, switched by the main thread).
    TPostHooks PostHooks() const;
    void SetPostHook(TPostHook hook, bool on);

    // Events raised on the conversion thread.
    std::function<void(const TProgressInfo&)> FOnProgress;
    std::function<void(const TBitmap24&, int64_t pts, int frameNumber)> FOnPreviewBitmap;
    std::function<void(THookInfo&)> FOnCustomHook;

protected:
    // Messages with this core as sender; verbose and debug ones are formatted only when they
    // pass the logger's level.
    void Log(TLogLevel level, const std::string& message) const;
    template <typename... Args>
    void LogFmt(TLogLevel level, const char* format, Args... args) const {
        if (!GetFFLogger().HasOnLog() || !GetFFLogger().Passes(level)) return;
        Log(level, FormatText(format, args...));
    }
    [[noreturn]] static void Fail(const std::string& message) { throw FFmpegException(message); }

    // ---- Options (CustomFFmpegOptions.cpp)
    void ResetSettings();
    void ResetPerFileSettings();
    void ResetPerOutputSettings();
    std::array<const AVCodec*, TFFOptions::kKinds> ChosenEncoders() const;
    void OptFrameRate(const std::string& value);
    void OptFrameSize(const std::string& value);
    void OptAspect(const std::string& value);
    void OptPixFmt(const std::string& value);
    void OptSampleFmt(const std::string& value);
    void OptCrop(const std::string& name, const std::string& value);
    void OptPad(const std::string& name, const std::string& value);
    void OptPadColor(const std::string& value);
    void OptMap(const std::string& value);
    void OptMapMetaData(const std::string& value);
    void OptItsScale(const std::string& value);
    void OptMetadata(const std::string& value);
    void OptBitrate(const std::string& name, const std::string& value);
    void OptCodec(AVMediaType type, const std::string& value);
    void OptTag(AVMediaType type, const std::string& value);
    void OptMatrix(std::vector<uint16_t>& matrix, const std::string& value);
    void OptBitstreamFilter(std::string& chain, const std::string& value);
    void OptVhook(const std::string& value);
    void OptVstats();
    int64_t ParseTime(const std::string& option, const std::string& value, bool isDuration) const;

    // ---- Presets (FFmpegPresets.cpp) and target (FFmpegTarget.cpp)
    void OptPreset(const std::string& option, const std::string& value);
    void OptTarget(const std::string& value, const std::string& defaultNorm);

    // ---- Opening (CustomFFmpegInput.cpp, CustomFFmpegOutput.cpp)
    void OpenInputFile(const std::string& fileName);
    void OpenOutputFile(const std::string& fileName, bool join);
    void NewStream(TOutputFile& file, AVMediaType type);
    const AVCodec* FindCodecByName(const std::string& name, AVMediaType type, bool encoder) const;
    void CheckInputKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const;

    // ---- Run set-up (CustomFFmpegSetup.cpp)
    void BuildStreamTables();
    void MapStreams();
    void SetupStreamCopy(TAVOutputStream& ost);
    void SetupEncoder(TAVOutputStream& ost);
    void SetupVideoEncoder(TAVOutputStream& ost, TInputStream& ist);
    void SetupAudioEncoder(TAVOutputStream& ost, TInputStream& ist);
    void ChooseSubtitleEncoder(TAVOutputStream& ost, const TInputStream& ist);
    void SetupTwoPass(TAVOutputStream& ost);
    void SetupBitstreamFilter(TAVOutputStream& ost);
    void OpenEncoder(TAVOutputStream& ost, bool reopen);
    void OpenDecoders();
    void WriteHeaders();
    std::string StreamLabel(const TAVOutputStream& ost) const;

    // ---- Video and audio graphs (CustomFFmpegVideo.cpp, CustomFFmpegAudio.cpp)
    int ConfigureVideoFilters(TAVOutputStream& ost, int width, int height, AVPixelFormat format,
                              AVRational sar);
    int ConfigureAudioFilters(TAVOutputStream& ost, int sampleRate, AVSampleFormat format,
                              const AVChannelLayout& layout);

    // ---- The loop (CustomFFmpegLoop.cpp)
    void TranscodeLoop();
    int ChooseInput();
    void ProcessInputPacket(TInputStream& ist, AVPacket* pkt);
    int OutputPacket(TInputStream& ist, const AVPacket* pkt);
    int DecodeVideo(TInputStream& ist, const AVPacket* pkt);
    int DecodeAudio(TInputStream& ist, const AVPacket* pkt);
    int DecodeSubtitle(TInputStream& ist, const AVPacket* pkt);
    void DoStreamCopy(TAVOutputStream& ost, TInputStream& ist, const AVPacket* pkt);
    void FinishInput(int fileIndex);
    void InitBitstreamFilters();
    void JoinNextGroup(int finishedFile);
    void FlushEncoders(int group);
    void WritePacket(TAVOutputStream& ost, AVPacket* pkt);
    void WaitWhilePaused();
    bool FrameInRange(TInputStream& ist, int64_t pts);

    // ---- Output steps (CustomFFmpegVideo.cpp, CustomFFmpegAudio.cpp, CustomFFmpegSubtitle.cpp)
    void DoVideoOut(TAVOutputStream& ost, TInputStream& ist, AVFrame* frame);
    void DrainFilteredVideo(TAVOutputStream& ost);
    void EncodeVideoFrame(TAVOutputStream& ost, AVFrame* frame);
    void WriteVideoStats(TAVOutputStream& ost, int frameSize, bool keyFrame);
    void DoAudioOut(TAVOutputStream& ost, TInputStream& ist, AVFrame* frame);
    void EncodeAudioFrame(TAVOutputStream& ost, AVFrame* frame);
    void DrainFilteredAudio(TAVOutputStream& ost, bool endOfStream = false);
    static bool FixedFrameSize(const TAVOutputStream& ost);
    void QueueAudio(TAVOutputStream& ost, const AVFrame* samples);
    void EncodeQueuedAudio(TAVOutputStream& ost, bool all);
    void DoSubtitleOut(TAVOutputStream& ost, TInputStream& ist, AVSubtitle& sub, int64_t pts);
    void ReceivePackets(TAVOutputStream& ost, const char* failure);
    void FlushEncoder(TAVOutputStream& ost);

    // ---- Hooks and progress (CustomFFmpegProgress.cpp)
    void HookStage(AVFrame* frame, int64_t pts);
    void PreviewHook(const AVFrame& picture, int64_t pts);
    void PrintReport(bool isLastReport, int fileIndex);

public:
    // ---- Settings (names as the option table's documentation uses them)
    // Files and maps
    int FMaxFiles = kMaxFiles;
    std::vector<std::unique_ptr<TInputFile>> Finput_files;
    std::vector<int64_t> Finput_files_ts_offset;
    std::array<double, kMaxStreams> Fnext_input_ts_scale{};  // itsscale for the next input
    std::vector<TOutputFileEntry> Foutput_files;
    std::vector<TStreamMap> Fstream_maps;
    std::vector<TMetaDataMap> Fmeta_data_maps;
    std::string Flast_asked_format;

    // Video
    int Fframe_width = 0, Fframe_height = 0;
    float Fframe_aspect_ratio = 0.0f;
    int Fframe_pix_fmt = -1;
    int Fframe_padtop = 0, Fframe_padbottom = 0, Fframe_padleft = 0, Fframe_padright = 0;
    int Fpadcolor[3] = {16, 128, 128};  // Y, U, V
    TColor Fpadcolor_rgb = 0;
    int Fframe_topBand = 0, Fframe_bottomBand = 0, Fframe_leftBand = 0, Fframe_rightBand = 0;
    int64_t Fmax_frames[3] = {INT32_MAX, INT32_MAX, INT32_MAX};  // video, audio, data
    AVRational Fframe_rate{0, 0};
    bool Fframe_rate_chosen = false;  // by option or target, not taken over from an input
    float Fvideo_qscale = 0.0f;
    std::vector<uint16_t> Fintra_matrix, Finter_matrix;
    std::string Fvideo_rc_override_string;
    bool Fvideo_disable = false;
    int Fvideo_discard = 0;
    std::string Fvideo_codec_name;
    uint32_t Fvideo_codec_tag = 0;
    std::string Fvideo_language;
    bool Fsame_quality = false;
    bool Fdo_deinterlace = false;
    int Ftop_field_first = -1;
    int Fme_threshold = 0;
    int Fintra_dc_precision = 8;
    bool Fqp_hist = false;
    std::string Fvfilters;
    bool Fintra_only = false;
    bool Fvideo_stream_copy = false;
    int Fvideo_global_header = 0;
    int Fvideo_channel = 0;
    std::string Fvideo_standard;
    bool Fforce_fps = false;

    // Audio
    int Faudio_sample_rate = 44100;
    int Faudio_sample_fmt = -1;
    int64_t Fchannel_layout = 0;
    float Faudio_qscale = -100000.0f;
    bool Faudio_disable = false;
    int Faudio_channels = 2;
    std::string Faudio_codec_name;
    uint32_t Faudio_codec_tag = 0;
    std::string Faudio_language;
    bool Faudio_stream_copy = false;
    int Faudio_volume = 256;
    int Faudio_sync_method = 0;
    float Faudio_drift_threshold = 0.1f;

    // Subtitles
    bool Fsubtitle_disable = false;
    std::string Fsubtitle_codec_name;
    std::string Fsubtitle_language;
    uint32_t Fsubtitle_codec_tag = 0;
    bool Fsubtitle_stream_copy = false;

    // Muxing and timing
    float Fmux_preload = 0.5f;
    float Fmux_max_delay = 0.7f;
    int64_t Frecording_time = INT64_MAX;
    int64_t Fstart_time = 0;
    int64_t Frec_timestamp = 0;  // seconds
    int64_t Finput_ts_offset = 0;
    std::vector<std::pair<std::string, std::string>> Fmetadata;
    bool Fcopy_ts = false;
    bool Fopt_shortest = false;
    int Fopt_programid = 0;
    bool Fprogramid_set = false;
    int Fcopy_initial_nonkeyframes = 0;
    bool Frate_emu = false;
    bool Floop_input = false;
    int Floop_output = -1;
    bool Finput_sync = false;
    int64_t Flimit_filesize = 0;
    float Fdts_delta_threshold = 10.0f;
    int64_t FTotalOutputDuration = -1;
    int Fvideo_sync_method = -1;
    int64_t Finput_start_time = 0;  // ss for the next input

    // Two-pass and statistics
    int Fdo_pass = 0;
    std::string Fpass_logfilename_prefix;
    std::string Fvstats_filename;
    bool Fdo_psnr = false;
    bool Fdo_benchmark = false;
    bool Fdo_hex_dump = false;
    bool Fdo_pkt_dump = false;

    // Control
    int Fverbose = 1;
    bool Fexit_on_error = false;
    int Fthread_count = 1;
    int Fsws_flags = SWS_BICUBIC;
    std::unique_ptr<TFFOptions> FOptions;
    std::string Fvideo_bitstream_filters, Faudio_bitstream_filters, Fsubtitle_bitstream_filters;
    bool Fpgmyuv_compatibility_hack = false;
    bool Fusing_vhook = false;

protected:
    std::string FLastErrMsg;
    int64_t FReportInterval = 500000;
    std::map<std::string, TEngineStream*> FStreams;

    // Run flags
    bool FJoinMode = false;
    std::atomic<bool> FConverting{false};
    std::atomic<bool> FBroken{false};
    bool FFinished = false;
    std::atomic<bool> FTerminated{false};
    bool FFatalException = false;
    std::string FFatalMessage;

    // Pause: the loop waits at its next packet while paused.
    std::atomic<bool> FPaused{false};
    std::mutex FPauseLock;
    std::condition_variable FPauseCond;

    // Run tables (set-up to clean-up)
    std::vector<std::unique_ptr<TInputStream>> FInputStreams;
    std::vector<std::unique_ptr<TAVOutputStream>> FOutputStreams;
    int FCurrentGroup = 0;  // join mode: the input being read
    int64_t FTimerStart = 0;
    int64_t FLastReport = 0;
    int64_t FLastPreview = AV_NOPTS_VALUE;
    int64_t FReportedDrops = 0;
    bool FTablesBuilt = false;

    // Hooks
    std::atomic<uint8_t> FPostHookBits{0};
    TBitmap24 FHookBitmap;
    TRGBConvertContext FHookContext;
    TRGBConvertContext FPostContext;
    std::unique_ptr<TPreviewer> FPreviewer;
    TBitmap24 FPreviewBitmap;
    int FHookFrameNumber = 0;
    bool FHookStopped = false;
    FILE* FVstatsFile = nullptr;  // through the C runtime table
    uint64_t FQpHistogram[52] = {};
};

// Rounds a picture size down to what an encoder taking `format` codes: a whole number of
// chroma samples each way (even for 4:2:0).
void EncoderSizeFor(AVPixelFormat format, int& width, int& height);
