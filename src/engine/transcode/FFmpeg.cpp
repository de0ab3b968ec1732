#include "engine/transcode/FFmpeg.h"

#include <time.h>

#include <cmath>
#include <cstdio>

#include "engine/transcode/OptionText.h"

namespace {

std::string MicrosecondsText(int64_t us) {
    return std::to_string(us) + "us";
}

// A day count since 1899-12-30 in local time as "YYYY-MM-DD HH:MM:SS" (local time).
std::string LocalDateText(double days) {
    const double seconds = std::floor((days - 25569.0) * 86400.0 + 0.5);
    const time_t t = static_cast<time_t>(seconds);
    struct tm fields {};
    ::gmtime_r(&t, &fields);  // the day count already is local time
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    return text;
}

}  // namespace

TFFmpeg::TFFmpeg() = default;

TFFmpeg::~TFFmpeg() {
    RequestStop();
    if (FThread.joinable()) FThread.join();
    ReleaseProbes();
}

void TFFmpeg::ReleaseProbes() {
    for (auto& probe : FAVProbes)
        if (probe) probe->SetFileHandle(nullptr);
    FAVProbes.clear();
}

TAVProbe* TFFmpeg::AVProbe(int index) const {
    return index >= 0 && index < static_cast<int>(FAVProbes.size()) ? FAVProbes[index].get() : nullptr;
}

void TFFmpeg::ApplyExtOptions(const std::string& text, int phase) {
    if (text.empty()) return;
    for (const auto& [name, value] : ParseOptionText(text)) {
        const std::string lower = LowerCaseAscii(name);
        if (OptionPhase(lower) == phase) SetOption(lower, value);
    }
}

bool TFFmpeg::AddInput(const std::string& fileName, const TInputOptions* options) {
    const int index = static_cast<int>(FInputOptions.size());
    TInputOptions slot;
    if (options) slot = *options;
    if (slot.FileName.empty()) slot.FileName = fileName;
    FInputOptions.push_back(slot);
    try {
        if (options) {
            ApplyExtOptions(slot.ExtOptions, 5);
            ApplyExtOptions(slot.ExtOptions, 2);
            if (!slot.FileFormat.empty()) SetOption("f", slot.FileFormat);
            if (slot.TimeStart != kNoTimestamp) SetOption("ss", MicrosecondsText(slot.TimeStart));
            if (slot.ProgramID > 0) SetOption("programid", std::to_string(slot.ProgramID));
        }
        if (!OpenInput(fileName)) {
            FInputOptions.pop_back();
            return false;
        }
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        ResetPerFileSettings();
        FInputOptions.pop_back();
        return false;
    }
    if (static_cast<int>(FAVProbes.size()) <= index) FAVProbes.resize(index + 1);
    if (!FAVProbes[index]) FAVProbes[index] = std::make_unique<TAVProbe>();
    FAVProbes[index]->SetFileHandle(InputContext(index));
    return true;
}

void TFFmpeg::ApplyOutputFields(const TOutputOptions& o) {
    auto text = [&](const char* name, const std::string& value) {
        if (!value.empty()) SetOption(name, value);
    };
    auto positive = [&](const char* name, int64_t value, bool library) {
        if (value <= 0) return;
        if (library)
            SetLibOption(name, std::to_string(value));
        else
            SetOption(name, std::to_string(value));
    };
    auto notNegative = [&](const char* name, int64_t value) {
        if (value >= 0) SetOption(name, std::to_string(value));
    };
    auto flag = [&](const char* name, bool value) {
        if (value) SetOption(name, "1");
    };

    text("f", o.FileFormat);
    positive("packetsize", o.PacketSize, true);
    positive("muxrate", o.MuxRate, true);
    if (o.MuxDelay >= 0) SetOption("muxdelay", FormatText("%g", o.MuxDelay));
    if (o.MuxPreload >= 0) SetOption("muxpreload", FormatText("%g", o.MuxPreload));
    flag("an", o.DisableAudio);
    notNegative("vol", o.AudioVolume);
    positive("ac", o.AudioChannels, false);
    positive("ar", o.AudioSampleRate, false);
    positive("ab", o.AudioBitrate, true);
    positive("abt", o.AudioBitRateTolerance, true);
    text("alang", o.AudioLanguage);
    positive("async", o.AudioSyncMethod, false);
    text("atag", o.AudioTag);
    flag("vn", o.DisableVideo);
    text("r", o.FrameRate);
    text("aspect", o.FrameAspectRatio);
    notNegative("croptop", o.CropTop);
    notNegative("cropbottom", o.CropBottom);
    notNegative("cropleft", o.CropLeft);
    notNegative("cropright", o.CropRight);
    notNegative("padtop", o.PadTop);
    notNegative("padbottom", o.PadBottom);
    notNegative("padleft", o.PadLeft);
    notNegative("padright", o.PadRight);
    if (o.PadColor != 0) SetOption("padcolor", std::to_string(o.PadColor));
    positive("g", o.GroupPictureSize, true);
    positive("vb", o.VideoBitrate, true);
    positive("maxrate", o.VideoMaxRate, true);
    positive("minrate", o.VideoMinRate, true);
    positive("bt", o.VideoBitRateTolerance, true);
    positive("bufsize", o.VideoBufSize, true);
    notNegative("vsync", o.VideoSyncMethod);
    text("vtag", o.VideoTag);
    text("vlang", o.VideoLanguage);
    flag("sn", o.DisableSubtitle);
    text("slang", o.SubtitleLanguage);
    flag("isync", o.InputSync);
    flag("copyts", o.CopyTimestamp);
    if (o.TimeStart != kNoTimestamp) SetOption("ss", MicrosecondsText(o.TimeStart));
    if (o.TimeLength != kNoTimestamp) SetOption("t", MicrosecondsText(o.TimeLength));

    const TStreamInfo& info = o.Info;
    if (info.TimeStamp == 0.0)
        SetOption("timestamp", "now");
    else if (info.TimeStamp > 0.0)
        SetOption("timestamp", LocalDateText(info.TimeStamp));
    if (info.Year > 0) SetOption("metadata", "year=" + std::to_string(info.Year));
    if (info.Track > 0) SetOption("metadata", "track=" + std::to_string(info.Track));
    auto meta = [&](const char* key, const std::string& value) {
        if (!value.empty()) SetOption("metadata", std::string(key) + "=" + value);
    };
    meta("title", info.Title);
    meta("author", info.Author);
    meta("copyright", info.Copyright);
    meta("comment", info.Comment);
    meta("album", info.Album);
    meta("genre", info.Genre);
}

bool TFFmpeg::AddOutput(const std::string& fileName, const TOutputOptions& options) {
    TOutputOptions slot = options;
    if (slot.FileName.empty()) slot.FileName = fileName;
    FOutputOptions.push_back(slot);
    try {
        if (slot.TargetType != TOptionTargetType::ttIgnore) {
            const char* type = slot.TargetType == TOptionTargetType::ttVCD    ? "vcd"
                               : slot.TargetType == TOptionTargetType::ttSVCD ? "svcd"
                                                                              : "dvd";
            const char* norm = slot.NormType == TOptionNormType::ntPAL    ? "pal-"
                               : slot.NormType == TOptionNormType::ntNTSC ? "ntsc-"
                                                                          : "";
            OptTarget(std::string(norm) + type, slot.NormDefault == TOptionNormType::ntNTSC ? "ntsc" : "pal");
        }
        ApplyExtOptions(slot.ExtOptions, 2);
        if (!slot.AudioCodec.empty()) SetOption("acodec", slot.AudioCodec);
        if (!slot.VideoCodec.empty()) SetOption("vcodec", slot.VideoCodec);
        if (!slot.SubtitleCodec.empty()) SetOption("scodec", slot.SubtitleCodec);
        ApplyExtOptions(slot.ExtOptions, 1);
        if (!slot.AudioPreset.empty()) SetOption("apre", slot.AudioPreset);
        if (!slot.VideoPreset.empty()) SetOption("vpre", slot.VideoPreset);
        if (!slot.SubtitlePreset.empty()) SetOption("spre", slot.SubtitlePreset);
        ApplyExtOptions(slot.ExtOptions, 5);
        if (slot.SizeLimit > 0 && FFitFile.empty()) {
            FFitFile = fileName;
            if (slot.TwoPass) {
                FPassLog = fileName + ".pass";
                SetOption("pass", "2");
                SetOption("passlogfile", FPassLog);
            }
        }
        ApplyOutputFields(slot);
        ApplyExtOptions(slot.ExtOptions, 3);
        if (!slot.FrameSize.empty()) SetOption("s", slot.FrameSize);
        ApplyExtOptions(slot.ExtOptions, 4);
        if (!slot.VideoFilters.empty()) SetOption("vfilters", slot.VideoFilters);
        if (OpenOutput(fileName, slot.Join) < 0) {
            FOutputOptions.pop_back();
            return false;
        }
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        ResetPerOutputSettings();
        FOutputOptions.pop_back();
        return false;
    }
    try {
        ApplyExtOptions(slot.ExtOptions, 0);
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        DropLastOutput();
        FOutputOptions.pop_back();
        return false;
    }
    return true;
}

void TFFmpeg::Run() {
    if (FConverting.load() || FTerminated.load()) return;
    FConverting = true;
    try {
        if (Foutput_files.empty()) Fail("At least one output file must be specified");
        if (Finput_files.empty()) Fail("At least one input file must be specified");
        if (!FPassLog.empty()) RunFirstPass();
        Transcode();
    } catch (const std::exception& e) {
        FFatalException = true;
        FFatalMessage = e.what();
        GetFFLogger().Log(this, TLogLevel::llQuiet, FFatalMessage);
    }
    // The probes look at the inputs that the clean-up closes.
    for (auto& probe : FAVProbes)
        if (probe) probe->SetFileHandle(nullptr);
    try {
        CleanupRun();
    } catch (const std::exception& e) {
        GetFFLogger().Log(this, TLogLevel::llQuiet, e.what());
    }
    if (!FFitFile.empty()) FitAfterwards();
    FConverting = false;
    if (FOnTerminating) FOnTerminating(*this);
    FTerminated = true;
    if (FOnTerminate) FOnTerminate(*this);
}

void TFFmpeg::TerminateUnstarted() {
    if (FConverting.load() || FTerminated.load()) return;
    for (auto& probe : FAVProbes)
        if (probe) probe->SetFileHandle(nullptr);
    CleanupRun();
    FFinished = false;
    if (FOnTerminating) FOnTerminating(*this);
    FTerminated = true;
    if (FOnTerminate) FOnTerminate(*this);
}
