#include "engine/probe/CustomAVProbe.h"
#include "engine/probe/StreamRotation.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

#include "engine/library/FFmpegErrors.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/UnicodeProtocol.h"

namespace {

std::string MetadataValue(const AVDictionary* metadata, const char* key) {
    if (!metadata) return {};
    const AVDictionaryEntry* e = ff::av_dict_get(metadata, key, nullptr, 0);
    return e && e->value ? e->value : "";
}

// Leading decimal number of a tag ("2024-05-01" -> 2024, "3/12" -> 3); -1 when there is none.
int32_t LeadingNumber(const std::string& text) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return -1;
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

int64_t OrMinusOne(int64_t value) {
    return value == AV_NOPTS_VALUE ? -1 : value;
}

int64_t ToMicroseconds(int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE) return -1;
    return ff::av_rescale_q(value, timeBase, AVRational{1, AV_TIME_BASE});
}

// A stream time base with denominator 0 is repaired before use.
AVRational RepairedTimeBase(AVRational tb) {
    if (tb.den == 0) tb.den = tb.num != 0 ? tb.num : 1;
    return tb;
}

}  // namespace

TCustomAVProbe::TCustomAVProbe() {
    TCustomAVProbe::RefreshValues();
}

TCustomAVProbe::~TCustomAVProbe() {
    CloseHandle();
}

bool TCustomAVProbe::LoadAVLib(const std::string& path) {
    FFLoader().SetLibraryPath(path);
    if (!FFLoader().Load(kProbeLibraries)) {
        lastErrMsg_ = FFLoader().LastErrMsg();
        return false;
    }
    return true;
}

bool TCustomAVProbe::UnloadAVLib() {
    if (FFLoader().Unload(kProbeLibraries)) return true;
    lastErrMsg_ = FFLoader().LastErrMsg();
    return false;
}

bool TCustomAVProbe::AVLibLoaded() const {
    return FFLoader().Loaded(kProbeLibraries);
}

void TCustomAVProbe::LogMsg(TLogLevel level, const std::string& message) {
    if (level <= TLogLevel::llInfo) lastErrMsg_ = message;
    GetFFLogger().Log(this, level, message);
}

bool TCustomAVProbe::RequireFile() {
    if (fileHandle_) return true;
    LogMsg(TLogLevel::llWarning, "file not loaded.");
    return false;
}

AVStream* TCustomAVProbe::Stream(int index) const {
    if (!fileHandle_ || index < 0 || static_cast<unsigned>(index) >= fileHandle_->nb_streams) return nullptr;
    return fileHandle_->streams[index];
}

bool TCustomAVProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
    const TFFmpegLoader& loader = FFLoader();
    if (!loader.Loaded(TLibrary::avCodec)) throw ELibraryNotLoaded("LibAVCodec not loaded.");
    if (!loader.Loaded(TLibrary::avFormat)) throw ELibraryNotLoaded("LibAVFormat not loaded.");
    if (!loader.Loaded(TLibrary::avUtil)) throw ELibraryNotLoaded("LibAVUtil not loaded.");
    if (!loader.Loaded(TLibrary::swScale)) throw ELibraryNotLoaded("LibSwScale not loaded.");

    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = ff::av_find_input_format(formatName.c_str());
        if (!format) {
            LogMsg(TLogLevel::llError, "Unknown input format: " + formatName);
            return false;
        }
    }

    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (!ctx) {
        LogMsg(TLogLevel::llError, fileName + ": " + FFmpegErrorText(AVERROR(ENOMEM)));
        return false;
    }
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    const std::string libName = ToLibraryFileName(fileName);
    // On failure avformat_open_input frees the context itself.
    const int ret = ff::avformat_open_input(&ctx, libName.c_str(), format, nullptr);
    if (ret < 0) {
        LogMsg(TLogLevel::llError, fileName + ": " + FFmpegErrorText(ret));
        return false;
    }
    TInputContextPtr opened(ctx);
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0) {
        LogMsg(TLogLevel::llError, fileName + ": could not find codec parameters");
        return false;
    }
    fileHandle_ = opened.release();
    ownHandle_ = true;
    libraryUse_.Acquire();
    RefreshValues();
    forceFormat_ = formatName;
    return true;
}

void TCustomAVProbe::CloseHandle() {
    if (fileHandle_ && ownHandle_) {
        TInputContextPtr closing(fileHandle_);
    }
    fileHandle_ = nullptr;
    ownHandle_ = false;
    libraryUse_.Release();
}

void TCustomAVProbe::CloseFile() {
    CloseHandle();
    RefreshValues();
}

void TCustomAVProbe::SetFileHandle(AVFormatContext* handle) {
    CloseFile();
    fileHandle_ = handle;
    ownHandle_ = false;
    RefreshValues();
}

void TCustomAVProbe::RefreshValues() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStreamIndex_ = firstVideoStreamIndex_ = firstSubtitleStreamIndex_ = -1;
    if (!fileHandle_) return;

    const int64_t ioSize = fileHandle_->pb ? ff::avio_size(fileHandle_->pb) : -1;
    if (ioSize > 0) {
        fileSize_ = ioSize;
    } else {
        struct stat st {};
        const std::string name = FileName();
        fileSize_ =
            (!name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ? st.st_size : ioSize;
    }

    streamCount_ = static_cast<int>(fileHandle_->nb_streams);
    programCount_ = static_cast<int>(fileHandle_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        switch (fileHandle_->streams[i]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                if (videoStreamCount_++ == 0) firstVideoStreamIndex_ = i;
                break;
            case AVMEDIA_TYPE_AUDIO:
                if (audioStreamCount_++ == 0) firstAudioStreamIndex_ = i;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                if (subtitleStreamCount_++ == 0) firstSubtitleStreamIndex_ = i;
                break;
            default:  // data and attachment streams count in StreamCount only
                break;
        }
    }
}

std::string TCustomAVProbe::FileName() const {
    if (!fileHandle_ || !fileHandle_->url) return {};
    return FromLibraryFileName(fileHandle_->url);
}

std::string TCustomAVProbe::FormatName() const {
    return fileHandle_ && fileHandle_->iformat && fileHandle_->iformat->name ? fileHandle_->iformat->name
                                                                             : "";
}

std::string TCustomAVProbe::FormatLongName() const {
    return fileHandle_ && fileHandle_->iformat && fileHandle_->iformat->long_name
               ? fileHandle_->iformat->long_name
               : "";
}

bool TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info) {
    info = TFileStreamInfo{};
    if (!RequireFile()) return false;
    const AVDictionary* md = fileHandle_->metadata;
    info.StartTime = OrMinusOne(fileHandle_->start_time);
    info.Duration = OrMinusOne(fileHandle_->duration);
    info.BitRate = static_cast<int32_t>(fileHandle_->bit_rate);
    int64_t created = 0;
    const std::string creation = MetadataValue(md, "creation_time");
    if (!creation.empty() && ff::av_parse_time(&created, creation.c_str(), 0) >= 0)
        info.TimeStamp = created / AV_TIME_BASE;
    std::string year = MetadataValue(md, "year");
    if (year.empty()) year = MetadataValue(md, "date");
    info.Year = LeadingNumber(year);
    info.Track = LeadingNumber(MetadataValue(md, "track"));
    info.Title = MetadataValue(md, "title");
    info.Author = MetadataValue(md, "author");
    if (info.Author.empty()) info.Author = MetadataValue(md, "artist");
    info.Copyright = MetadataValue(md, "copyright");
    info.Comment = MetadataValue(md, "comment");
    info.Album = MetadataValue(md, "album");
    info.Genre = MetadataValue(md, "genre");
    return true;
}

AVStream* TCustomAVProbe::StreamOfKind(int streamIndex, AVMediaType type, int firstIndex, const char* kind) {
    if (!RequireFile()) return nullptr;
    if (streamIndex < 0) {
        if (firstIndex < 0) {
            LogMsg(TLogLevel::llError, std::string("no ") + kind + " stream.");
            return nullptr;
        }
        streamIndex = firstIndex;
    }
    if (streamIndex >= streamCount_) {
        LogFmt(TLogLevel::llError, "stream index #%d is invalid.", streamIndex);
        return nullptr;
    }
    AVStream* st = fileHandle_->streams[streamIndex];
    if (st->codecpar->codec_type != type) {
        LogFmt(TLogLevel::llError, "stream #%d is not %s stream.", streamIndex, kind);
        return nullptr;
    }
    return st;
}

// The fields the audio and video stream records share.
template <typename TInfo>
void FillTimesAndNames(const TCustomAVProbe& probe, const AVStream* st, TInfo& info) {
    const AVRational tb = RepairedTimeBase(st->time_base);
    info.Language = MetadataValue(st->metadata, "language");
    info.CodecName = probe.CodecName(st->index);
    info.StartTime = OrMinusOne(st->start_time);
    info.StartTimeScaled = ToMicroseconds(st->start_time, tb);
    info.Duration = OrMinusOne(st->duration);
    info.DurationScaled = ToMicroseconds(st->duration, tb);
    info.BitRate = static_cast<int32_t>(st->codecpar->bit_rate);
}

bool TCustomAVProbe::GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info) {
    info = TAudioStreamInfo{};
    AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_AUDIO, firstAudioStreamIndex_, "audio");
    if (!st) return false;
    const AVCodecParameters* par = st->codecpar;
    FillTimesAndNames(*this, st, info);
    info.Channels = par->ch_layout.nb_channels;
    info.SampleRate = par->sample_rate;
    info.SampleFormat = par->format;
    return true;
}

bool TCustomAVProbe::GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info) {
    info = TVideoStreamInfo{};
    AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_VIDEO, firstVideoStreamIndex_, "video");
    if (!st) return false;
    const AVCodecParameters* par = st->codecpar;
    FillTimesAndNames(*this, st, info);
    info.Width = par->width;
    info.Height = par->height;
    const AVRational sar = par->sample_aspect_ratio;
    if (sar.num == 0 || sar.den == 0 || par->height == 0)
        info.AspectRatio = 0.0f;
    else
        info.AspectRatio = static_cast<float>(static_cast<double>(par->width) * av_q2d(sar) / par->height);
    info.PixFmt = par->format;
    info.FrameRate = TRational{st->r_frame_rate.num, st->r_frame_rate.den};
    info.Rotation = StreamRotation(st);
    info.Mirrored = StreamMirrored(st);
    return true;
}

bool TCustomAVProbe::GetSubtitleStreamInfo(int streamIndex, TSubtitleStreamInfo& info) {
    info = TSubtitleStreamInfo{};
    AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_SUBTITLE, firstSubtitleStreamIndex_, "subtitle");
    if (!st) return false;
    info.Language = MetadataValue(st->metadata, "language");
    info.CodecName = CodecName(st->index);
    return true;
}

TFileStreamInfo TCustomAVProbe::FileStreamInfo() {
    TFileStreamInfo info;
    GetFileStreamInfo(info);
    return info;
}

TAudioStreamInfo TCustomAVProbe::FirstAudioStreamInfo() {
    TAudioStreamInfo info;
    GetAudioStreamInfo(-1, info);
    return info;
}

TVideoStreamInfo TCustomAVProbe::FirstVideoStreamInfo() {
    TVideoStreamInfo info;
    GetVideoStreamInfo(-1, info);
    return info;
}

TSubtitleStreamInfo TCustomAVProbe::FirstSubtitleStreamInfo() {
    TSubtitleStreamInfo info;
    GetSubtitleStreamInfo(-1, info);
    return info;
}

bool TCustomAVProbe::IsStreamOfKind(int streamIndex, AVMediaType type) {
    if (!RequireFile()) return false;
    if (streamIndex < 0 || streamIndex >= streamCount_) {
        LogFmt(TLogLevel::llError, "stream index #%d is invalid.", streamIndex);
        return false;
    }
    return fileHandle_->streams[streamIndex]->codecpar->codec_type == type;
}

bool TCustomAVProbe::IsAudioStream(int streamIndex) {
    return IsStreamOfKind(streamIndex, AVMEDIA_TYPE_AUDIO);
}
bool TCustomAVProbe::IsVideoStream(int streamIndex) {
    return IsStreamOfKind(streamIndex, AVMEDIA_TYPE_VIDEO);
}
bool TCustomAVProbe::IsSubtitleStream(int streamIndex) {
    return IsStreamOfKind(streamIndex, AVMEDIA_TYPE_SUBTITLE);
}

std::string TCustomAVProbe::CodecName(int streamIndex) const {
    const AVStream* st = Stream(streamIndex);
    if (!st) return {};
    const AVCodecParameters* par = st->codecpar;
    if (const AVCodec* decoder = ff::avcodec_find_decoder(par->codec_id)) {
        std::string name = decoder->name ? decoder->name : "";
        const std::string longName = decoder->long_name ? decoder->long_name : "";
        if (longName.find_first_not_of(" \t") != std::string::npos) name += "(" + longName + ")";
        return name;
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
    if (par->codec_id != AV_CODEC_ID_NONE) {
        if (const AVCodecDescriptor* desc = ff::avcodec_descriptor_get(par->codec_id))
            if (desc->name && *desc->name) return desc->name;
    }
    const uint32_t tag = par->codec_tag;
    char text[64];
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (tag >> (8 * i)) & 0xff;
        if (c < 32 || c > 126) printable = false;
    }
    if (printable)
        std::snprintf(text, sizeof text, "%c%c%c%c / 0x%04X", tag & 0xff, (tag >> 8) & 0xff,
                      (tag >> 16) & 0xff, (tag >> 24) & 0xff, tag);
    else
        std::snprintf(text, sizeof text, "0x%04x", tag);
    return text;
}
