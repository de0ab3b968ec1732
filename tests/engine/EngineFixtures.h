#pragma once
// Generated media for the engine tests (made with Debian's ffmpeg through fixtures::Make, cached
// in the build's test-media folder) and small helpers shared by the engine test files.

#include <mutex>
#include <string>
#include <vector>

#include "engine/library/FFmpegLogger.h"

namespace enginetest {

// H.264 + AAC in MP4, 2 s, 320x240 at 25 fps, with container metadata (title, artist, album,
// genre, comment, date 2021, track 7, creation time 2020-01-02T03:04:05Z) and audio language eng.
std::string InfoMp4();
// PCM 16-bit mono 44.1 kHz WAV, 1 s, bit-exact (88244 bytes).
std::string InfoWav();
// MPEG-2 video + MP2 in MPEG-TS, 1 s, one program "Vanto Test" / "Channel One".
std::string InfoTs();
// MPEG-4 video at 30000/1001 fps + Vorbis (language fre) in Matroska, 1 s.
std::string Info2997Mkv();
// Audio-only NUT whose container tags carry ID3v2 frame ids (TALB, TPE1, TYER).
std::string Id3TagsNut();
// MP3 with ID3v2 tags and a PNG cover picture (an attached-picture video stream).
std::string CoverMp3();
// One PNG picture.
std::string StillPng();
// An MPEG-TS holding only a data stream.
std::string DataOnlyTs();
// FFV1 video whose sample aspect ratio is unknown (0/1), no audio.
std::string Sar0Mkv();
// Video only, 320x240 at 25 fps, 4 s, key frames exactly at 0, 1, 2 and 3 s; ext is one of
// "mp4" and "mkv" (H.264 with B-frames), "avi" (MPEG-4 Part 2), "ts" (MPEG-2 video).
std::string GopClip(const std::string& ext);

// A subtitle-only Matroska file (160x120 canvas) with two DVD picture subtitles of 64x16 at
// (48, 96): 0.5 s to 1.5 s and 2.0 s to 2.8 s. Empty when it cannot be made.
std::string DvdSubMkv();

// vanto-convert run with `args`: exit status, standard output and standard error.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};
CliResult RunCli(const std::string& args);

// Loads the probe's libraries from the system (fails the calling test when they do not load).
void LoadProbeLibraries();
// Loads the task component's libraries from the system.
void LoadTaskLibraries();

// Short clips for the transcoding tests (test pattern and a tone; small sizes).
// MPEG-4 Part 2 video + MP3 in AVI, 2 s, 320x240 at 25 fps.
std::string Avi25();
// Video only, MPEG-4 in AVI, 2 s, 160x120 at the given rate (25, 30, 30000/1001 as "2997").
std::string VideoOnly(const std::string& rate);
// MP2 audio only, 2 s, 44.1 kHz stereo.
std::string AudioOnlyMp2();

// Collects the lines the process's logger delivers while it exists.
class LogCapture {
public:
    explicit LogCapture(TLogLevel level = TLogLevel::llDebug, bool triggerInMainThread = false);
    ~LogCapture();
    std::vector<std::string> Lines();
    bool Contains(const std::string& text);

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    TLogLevel oldLevel_;
    bool oldTrigger_;
};

}  // namespace enginetest
