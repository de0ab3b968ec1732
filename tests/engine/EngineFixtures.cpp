#include "EngineFixtures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/MediaFixtures.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLoader.h"

namespace enginetest {

namespace {
const char* kLavfiVideo25 = "-f lavfi -i testsrc2=size=320x240:rate=25:duration=";
}

std::string InfoMp4() {
    return fixtures::Clip(
        "engine-info.mp4", 2, 320, 240, 25,
        "-c:v libx264 -threads 1 -g 25 -c:a aac -metadata title='Probe Title' "
        "-metadata artist='Probe Artist' -metadata album='Probe Album' -metadata genre=Test "
        "-metadata comment='Made by the tests' -metadata date=2021 -metadata track=7 "
        "-metadata creation_time=2020-01-02T03:04:05Z -metadata:s:a:0 language=eng");
}

std::string InfoWav() {
    return fixtures::Clip("engine-info.wav", 1, 0, 0, 0,
                          "-fflags +bitexact -flags:a +bitexact -c:a pcm_s16le", true, false);
}

std::string InfoTs() {
    return fixtures::Clip("engine-info.ts", 1, 320, 240, 25,
                          "-c:v mpeg2video -c:a mp2 -metadata service_provider='Vanto Test' "
                          "-metadata service_name='Channel One'");
}

std::string Info2997Mkv() {
    return fixtures::Make(
        "engine-info2997.mkv",
        "-f lavfi -i testsrc2=size=320x240:rate=30000/1001:duration=1 -f lavfi -i sine=duration=1 "
        "-map 0 -map 1 -c:v mpeg4 -q:v 5 -c:a libvorbis -metadata:s:a:0 language=fre -t 1");
}

std::string Id3TagsNut() {
    return fixtures::Make(
        "engine-id3tags.nut",
        "-f lavfi -i sine=duration=0.5 -metadata TALB='Tag Album' -metadata TPE1='Tag Artist' "
        "-metadata TYER=1999");
}

std::string StillPng() {
    return fixtures::Make("engine-still.png", "-f lavfi -i testsrc2=size=320x240 -frames:v 1");
}

std::string CoverMp3() {
    const std::string png = StillPng();
    return fixtures::Make("engine-cover.mp3",
                          "-f lavfi -i sine=duration=1 -i " + fixtures::ShellQuote(png) +
                              " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v "
                              "attached_pic -id3v2_version 3 -metadata title='Cover Song' "
                              "-metadata artist=Someone");
}

std::string DataOnlyTs() {
    // The "data" demuxer reads any file as one data stream; a PNG serves as the payload.
    return fixtures::Make("engine-data-only.ts",
                          "-f data -i " + fixtures::ShellQuote(StillPng()) + " -map 0 -c copy -f mpegts");
}

std::string Sar0Mkv() {
    return fixtures::Make("engine-sar0.mkv", std::string(kLavfiVideo25) + "0.4 -vf setsar=0 -c:v ffv1");
}

std::string GopClip(const std::string& ext) {
    const std::string gop = "-g 25 -keyint_min 25 -sc_threshold 0";
    std::string codec;
    if (ext == "mp4" || ext == "mkv")
        codec = "-c:v libx264 -threads 1 -bf 2 -x264-params scenecut=0 " + gop;
    else if (ext == "avi")
        codec = "-c:v mpeg4 -q:v 4 " + gop;
    else
        codec = "-c:v mpeg2video -q:v 4 " + gop;
    return fixtures::Clip("engine-gop." + ext, 4, 320, 240, 25, codec, false, true);
}

std::string Avi25() {
    return fixtures::Clip("engine-avi25.avi", 2, 320, 240, 25, "-c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2");
}

std::string VideoOnly(const std::string& rate) {
    const std::string r = rate == "2997" ? "30000/1001" : rate;
    return fixtures::Make("engine-video" + rate + ".avi",
                          "-f lavfi -i testsrc2=size=160x120:rate=" + r + ":duration=2 -c:v mpeg4 -q:v 5");
}

std::string AudioOnlyMp2() {
    return fixtures::Make("engine-audio.mp2",
                          "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 "
                          "-c:a mp2");
}

void LoadTaskLibraries() {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath("");
    ASSERT_TRUE(loader.Load(kTaskLibraries)) << loader.LastErrMsg();
}

void LoadProbeLibraries() {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath("");
    ASSERT_TRUE(loader.Load(kProbeLibraries)) << loader.LastErrMsg();
}

LogCapture::LogCapture(TLogLevel level, bool triggerInMainThread) {
    TFFLogger& logger = GetFFLogger();
    oldLevel_ = logger.LogLevel();
    oldTrigger_ = logger.TriggerEventInMainThread();
    logger.SetLogLevel(level);
    logger.SetTriggerEventInMainThread(triggerInMainThread);
    logger.SetOnLog([this](const void*, uint32_t, TLogLevel, const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(message);
    });
}

LogCapture::~LogCapture() {
    TFFLogger& logger = GetFFLogger();
    logger.SetOnLog(nullptr);
    logger.SetLogLevel(oldLevel_);
    logger.SetTriggerEventInMainThread(oldTrigger_);
}

std::vector<std::string> LogCapture::Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool LogCapture::Contains(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : lines_)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

CliResult RunCli(const std::string& args) {
    fixtures::TempDir dir;
    CliResult r;
    r.status = fixtures::Run(std::string(VANTO_PROGRAM_DIR) + "/vanto-convert " + args + " 2>" +
                                 fixtures::ShellQuote(dir.file("err")),
                             &r.out);
    r.err = fixtures::ReadFile(dir.file("err"));
    return r;
}

// A subtitle-only Matroska file holding the two cues as DVD (picture) subtitles, written with the
// libraries' own DVD subtitle encoder (ffmpeg cannot turn text into pictures).
std::string DvdSubMkv() {
    const std::string path = fixtures::MediaDir() + "/engine-dvdsub.mkv";
    if (fixtures::FileExists(path)) return path;
    const std::string tmp = path + "." + std::to_string(getpid()) + ".mkv";
    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
    TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
    if (!codec || !enc) return "";
    enc->width = 160;
    enc->height = 120;
    enc->time_base = AVRational{1, 1000};
    if (ff::avcodec_open2(enc.get(), codec, nullptr) < 0) return "";
    AVFormatContext* oc = nullptr;
    if (ff::avformat_alloc_output_context2(&oc, nullptr, "matroska", tmp.c_str()) < 0) return "";
    AVStream* st = ff::avformat_new_stream(oc, nullptr);
    ff::avcodec_parameters_from_context(st->codecpar, enc.get());
    st->time_base = AVRational{1, 1000};
    bool ok = ff::avio_open2(&oc->pb, tmp.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr) >= 0 &&
              ff::avformat_write_header(oc, nullptr) >= 0;

    uint8_t bitmap[64 * 16];
    for (int i = 0; i < 64 * 16; ++i)
        bitmap[i] = static_cast<uint8_t>((i / 64 > 3 && i / 64 < 12 && (i % 64) % 8 < 5) ? 1 : 0);
    uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xff808080};
    AVSubtitleRect rect{};
    rect.x = 48;
    rect.y = 96;
    rect.w = 64;
    rect.h = 16;
    rect.nb_colors = 4;
    rect.type = SUBTITLE_BITMAP;
    rect.data[0] = bitmap;
    rect.linesize[0] = 64;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    AVSubtitleRect* rects[1] = {&rect};
    const int cues[2][2] = {{500, 1000}, {2000, 800}};  // start, duration in ms
    std::vector<uint8_t> buffer(1 << 16);
    for (const auto& cue : cues) {
        AVSubtitle sub{};
        sub.num_rects = 1;
        sub.rects = rects;
        sub.end_display_time = static_cast<uint32_t>(cue[1]);
        sub.pts = static_cast<int64_t>(cue[0]) * 1000;
        const int size =
            ok ? ff::avcodec_encode_subtitle(enc.get(), buffer.data(), static_cast<int>(buffer.size()), &sub)
               : -1;
        TPacketPtr pkt(ff::av_packet_alloc());
        ok = size > 0 && pkt && ff::av_new_packet(pkt.get(), size) >= 0;
        if (!ok) break;
        std::memcpy(pkt->data, buffer.data(), static_cast<size_t>(size));
        pkt->pts = pkt->dts = ff::av_rescale_q(cue[0], AVRational{1, 1000}, st->time_base);
        pkt->duration = ff::av_rescale_q(cue[1], AVRational{1, 1000}, st->time_base);
        pkt->flags |= AV_PKT_FLAG_KEY;
        ok = ff::av_interleaved_write_frame(oc, pkt.get()) >= 0;
    }
    ok = ok && ff::av_write_trailer(oc) >= 0;
    ff::avio_closep(&oc->pb);
    ff::avformat_free_context(oc);
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return "";
    }
    return path;
}

}  // namespace enginetest
