#pragma once
// src/engine/player stands on the library layer and the probe: the player and its roles (clock,
// queues, read, video, audio, display, state, events), frame sinks (SDLFrameSink.h), the frame
// scaler, subtitle text and the sound display. Its threads are listed below; its events reach
// the user-interface thread through the dispatcher.
//
// The player: plays a media file with its pictures going to a frame sink (FrameSink.h) and its
// sound to SDL's audio output, and reports position and play state through events.
//
// Structure: a read thread fills packet queues; a video thread decodes into a picture queue of
// 2 (a subtitle thread into a subtitle queue of 4); the audio is decoded in SDL's audio
// callback; a display thread (the play thread) shows each picture at its time against the
// master clock (audio by default) and drops pictures that come too late; an event thread (one
// per player, from the first Open to the player's end) carries position and state changes to
// the application through a queue of ten entries in which positions coalesce.
//
// Events: OnPosition and OnState are raised by the event thread, on the main thread through the
// Dispatcher (the event thread waits) when TriggerEventInMainThread is set, else on the event
// thread itself. OnFileOpen is raised inside Open (on the main thread through the Dispatcher
// when TriggerEventInMainThread is set and Open runs elsewhere). OnHook runs on the display
// thread. Set the handlers before Open; the setters are safe at any time.
//
// Failures never leave the player as exceptions: operations return false and keep the text in
// LastErrMsg (also logged through the engine logger).
//
// Ownership: the player owns its playing state, its probe and its conversion contexts; the frame
// sink belongs to the caller. Threads: the operations belong to one thread (the user-interface
// thread, or the thread that created the player); the getters of the position and state may be
// read from any thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/probe/AVProbe.h"
#include "engine/library/Bitmap24.h"
#include "engine/library/EngineTypes.h"
#include "engine/player/FrameSink.h"
#include "engine/player/PlayerTypes.h"
#include "engine/probe/RGBConvertContext.h"

class TVideoState;

class TCustomPlayer {
public:
    using TFileOpenEvent = std::function<void(TCustomPlayer* sender, int64_t duration, int frameWidth,
                                              int frameHeight, int& screenWidth, int& screenHeight)>;
    using TPositionEvent = std::function<void(TCustomPlayer* sender, int64_t pts)>;
    using TStateEvent = std::function<void(TCustomPlayer* sender, TPlayState state)>;
    // The bitmap may be changed; the changes are written back into the picture shown.
    using THookEvent = std::function<void(TCustomPlayer* sender, TBitmap24& bitmap, int64_t pts)>;

    TCustomPlayer();
    virtual ~TCustomPlayer();
    TCustomPlayer(const TCustomPlayer&) = delete;
    TCustomPlayer& operator=(const TCustomPlayer&) = delete;

    // Sets the loader's library folder and loads the player's libraries (FFmpeg and SDL2).
    bool LoadAVLib(const std::string& path);
    // Stops playing first; refused (false, LastErrMsg) while a task or probe of the process is
    // open.
    bool UnloadAVLib();
    bool AVLibLoaded() const;

    // Opens and starts playing a file (paused on its first picture with paused). Anything open is
    // stopped first. sink may be null (no pictures shown). False with LastErrMsg on failure.
    bool Open(const std::string& fileName, TFrameSink* sink, bool paused = false);
    // Stops playing and closes the file. With waitForStop the call returns when every playing
    // thread has ended (pumping the Dispatcher when called on the main thread). Safe in any
    // state and more than once. OnState(psStop) comes through the event thread and may arrive
    // after Stop has returned; the handlers stay connected until the player is destroyed.
    void Stop(bool waitForStop = true);
    void Pause();
    void Resume();
    void TogglePause();
    // Shows the next picture and pauses again.
    void StepToNextFrame();
    void ToggleAudioDisplay();
    // Absolute: microseconds from the file start (a byte position with sfByte). The picture
    // shown afterwards is the one at or just after that time.
    void Seek(TSeekFlags flags, int64_t pts);
    // Relative to the current position: delta in seconds.
    void Seek(TSeekFlags flags, double delta);
    // The picture on screen as a 24-bit bitmap: before any picture a black bitmap of the video
    // size, without video an empty one. pts gets its time (microseconds from the start) or -1.
    TBitmap24 CurrentFrame();
    TBitmap24 CurrentFrame(int64_t& pts);
    // The host window moved or was resized: the sink is asked to repaint.
    void UpdateScreenPosition();

    // Properties.
    float AspectRatio() const { return FAspectRatio.load(); }
    void SetAspectRatio(float value);  // 0: the picture's own
    TAudioDriver AudioDriver() const { return FAudioDriver; }
    void SetAudioDriver(TAudioDriver value) { FAudioDriver = value; }
    TVideoDriver VideoDriver() const { return FVideoDriver; }
    void SetVideoDriver(TVideoDriver value) { FVideoDriver = value; }
    TAudioVolume AudioVolume() const { return FAudioVolume.load(); }
    void SetAudioVolume(TAudioVolume value);
    bool Mute() const { return FMute.load(); }
    void SetMute(bool value) { FMute.store(value); }
    TShowAudio ShowAudio() const { return FShowAudio.load(); }
    void SetShowAudio(TShowAudio value) { FShowAudio.store(value); }
    // The sound display in place of the pictures of a file that has pictures too (a file
    // without pictures always shows it unless ShowAudio is saNone).
    bool ShowAudioOverVideo() const { return FShowAudioOverVideo.load(); }
    void SetShowAudioOverVideo(bool value) { FShowAudioOverVideo.store(value); }
    // The sound display draws at most once per this many milliseconds (at least 1).
    int rdftspeed() const { return Frdftspeed.load(); }
    void set_rdftspeed(int value) { Frdftspeed.store(value); }
    bool DisableAudio() const { return Faudio_disable; }
    void SetDisableAudio(bool value) { Faudio_disable = value; }
    bool DisableVideo() const { return Fvideo_disable; }
    void SetDisableVideo(bool value) { Fvideo_disable = value; }
    bool DisableDisplay() const { return Fdisplay_disable; }
    void SetDisableDisplay(bool value) { Fdisplay_disable = value; }
    // The video stream's picture size after Open (-1 without video).
    int FrameWidth() const { return Fframe_width; }
    int FrameHeight() const { return Fframe_height; }
    // The display size (set by OnFileOpen's handler or by the caller; 0 = the sink decides).
    int ScreenWidth() const { return Fscreen_width; }
    void SetScreenWidth(int value) { Fscreen_width = value; }
    int ScreenHeight() const { return Fscreen_height; }
    void SetScreenHeight(int value) { Fscreen_height = value; }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread.store(value); }

    // Forced input format ("" = guess). False with "Unknown input format: %s" for an unknown name.
    const std::string& Format() const { return FFormat; }
    bool SetFormat(const std::string& name);
    const std::string& FileName() const { return FFileName; }
    std::string LastErrMsg() const;
    TFrameSink* FrameSink() const { return FFrameSink; }
    bool FullScreen() const { return Fis_full_screen; }
    void SetFullScreen(bool value) { Fis_full_screen = value; }
    // Stream indexes of the open file (-1 when nothing is open or none plays). Setting switches
    // the stream; -1 switches subtitles off. Failures leave the stream in place (LastErrMsg).
    int AudioStreamIndex() const;
    void SetAudioStreamIndex(int index);
    int VideoStreamIndex() const;
    void SetVideoStreamIndex(int index);
    int SubtitleStreamIndex() const;
    void SetSubtitleStreamIndex(int index);
    // The probe attached to the open file (owned by the player).
    TAVProbe& AVProbe() { return *FAVProbe; }
    // The position last computed by the display thread, microseconds from the start; -1 before.
    int64_t CurrentPTS() const { return FCurrentPTS.load(); }
    // Paused, or showing one picture before pausing again (a step, a seek while paused). True
    // also when nothing is open.
    bool Paused() const;
    // The state last raised (psStop when nothing is open).
    TPlayState State() const { return FState.load(); }
    bool Playing() const { return FPlaying.load(); }
    // Play only this long (microseconds) from the start time; kNoTimestamp: to the end.
    int64_t PlayTime() const { return FPlayTime; }
    void SetPlayTime(int64_t value) { FPlayTime = value; }
    TRepeatType RepeatType() const { return FRepeatType.load(); }
    void SetRepeatType(TRepeatType value) { FRepeatType.store(value); }
    bool VerticalFlip() const { return FVerticalFlip.load(); }
    void SetVerticalFlip(bool value) { FVerticalFlip.store(value); }
    // Filter graph text applied to the pictures (as a -vf text), taking effect at the next Open.
    const std::string& VideoFilters() const { return Fvfilters; }
    void SetVideoFilters(const std::string& value) { Fvfilters = value; }
    // Counters of the file open now (or last open).
    TPlayerStats Stats() const;

    // Options of the playing state (take effect at the next Open).
    bool is_full_screen() const { return Fis_full_screen; }
    void set_is_full_screen(bool v) { Fis_full_screen = v; }
    int wanted_audio_stream() const { return Fwanted_audio_stream; }
    void set_wanted_audio_stream(int v) { Fwanted_audio_stream = v; }
    int wanted_video_stream() const { return Fwanted_video_stream; }
    void set_wanted_video_stream(int v) { Fwanted_video_stream = v; }
    int wanted_subtitle_stream() const { return Fwanted_subtitle_stream; }
    void set_wanted_subtitle_stream(int v) { Fwanted_subtitle_stream = v; }
    int seek_by_bytes() const { return Fseek_by_bytes; }  // -1 automatic
    void set_seek_by_bytes(int v) { Fseek_by_bytes = v; }
    int64_t start_time() const { return Fstart_time; }  // microseconds; kNoTimestamp: none
    void set_start_time(int64_t v) { Fstart_time = v; }
    int workaround_bugs() const { return Fworkaround_bugs; }
    void set_workaround_bugs(int v) { Fworkaround_bugs = v; }
    int debug_mv() const { return Fdebug_mv; }
    void set_debug_mv(int v) { Fdebug_mv = v; }
    int genpts() const { return Fgenpts; }
    void set_genpts(int v) { Fgenpts = v; }
    int decoder_reorder_pts() const { return Fdecoder_reorder_pts; }  // -1 automatic
    void set_decoder_reorder_pts(int v) { Fdecoder_reorder_pts = v; }
    int lowres() const { return Flowres; }
    void set_lowres(int v) { Flowres = v; }
    int error_recognition() const { return Ferror_recognition; }
    void set_error_recognition(int v) { Ferror_recognition = v; }
    int error_concealment() const { return Ferror_concealment; }
    void set_error_concealment(int v) { Ferror_concealment = v; }
    TSyncType av_sync_type() const { return Fav_sync_type; }
    void set_av_sync_type(TSyncType v) { Fav_sync_type = v; }
    bool framedrop() const { return Fframedrop; }
    void set_framedrop(bool v) { Fframedrop = v; }

    // Events (see the top of this file).
    void SetOnFileOpen(TFileOpenEvent handler);
    void SetOnPosition(TPositionEvent handler);
    void SetOnState(TStateEvent handler);
    void SetOnHook(THookEvent handler);

protected:
    friend class TVideoState;

    // Called by the playing threads.
    void QueuePosition(int64_t pts);
    void QueueState(TPlayState state);
    bool HasHook() const;
    // Runs OnHook on the picture (display thread); the picture must be writable.
    void RunHook(AVFrame& picture, int64_t pts);
    void SetError(const std::string& message);

private:
    void EventLoop();
    void RaiseEvent(const TPlayEventEntry& entry);
    void StartEventThread();
    void JoinEventThread(bool pump);
    void WaitForStop(bool pump);
    void DisconnectEvents();

    std::unique_ptr<TVideoState> FVideoState;  // null when nothing is open
    TVideoState* FOpening = nullptr;           // the state being opened (Stop may abort it)
    mutable std::mutex FDataLock;              // guards FVideoState against tear-down
    std::unique_ptr<TAVProbe> FAVProbe;
    mutable std::mutex FErrLock;
    std::string FLastErrMsg;
    std::atomic<int64_t> FLastPTS{-1};
    std::atomic<int64_t> FCurrentPTS{-1};
    std::atomic<bool> FPlaying{false};
    std::atomic<TPlayState> FState{TPlayState::psStop};
    std::string FFileName;
    TFrameSink* FFrameSink = nullptr;
    TPlayEvent FPlayEvent;
    std::thread FEventThread;
    std::atomic<bool> FEventThreadDone{true};
    std::atomic<float> FAspectRatio{0.0f};
    std::atomic<TAudioVolume> FAudioVolume{kMaxAudioVolume};
    std::atomic<TShowAudio> FShowAudio{TShowAudio::saWave};
    std::atomic<bool> FShowAudioOverVideo{false};
    std::atomic<bool> FMute{false};
    std::atomic<TRepeatType> FRepeatType{TRepeatType::rtStop};
    std::atomic<bool> FVerticalFlip{false};
    TAudioDriver FAudioDriver = TAudioDriver::adDefault;
    TVideoDriver FVideoDriver = TVideoDriver::vdDefault;
    TRGBConvertContext FRGBContext;   // CurrentFrame (caller's thread)
    TRGBConvertContext FHookContext;  // OnHook (display thread)
    TBitmap24 FHookBitmap;
    std::atomic<bool> FTriggerEventInMainThread{true};
    mutable std::mutex FEventLock;  // guards the handlers
    TFileOpenEvent FOnFileOpen;
    TPositionEvent FOnPosition;
    TStateEvent FOnState;
    THookEvent FOnHook;
    TPlayerStats FLastStats;

    // Options of the playing state.
    std::string FFormat;
    int Fscreen_width = 0;
    int Fscreen_height = 0;
    int Fframe_width = -1;
    int Fframe_height = -1;
    bool Faudio_disable = false;
    bool Fvideo_disable = false;
    bool Fdisplay_disable = false;
    int Fwanted_audio_stream = -1;
    int Fwanted_video_stream = -1;
    int Fwanted_subtitle_stream = -1;
    int Fseek_by_bytes = -1;
    TSyncType Fav_sync_type = TSyncType::stAudioMaster;
    int64_t Fstart_time = kNoTimestamp;
    int64_t FPlayTime = kNoTimestamp;
    int Fdebug_mv = 0;
    int Fworkaround_bugs = 1;
    int Fgenpts = 0;
    int Flowres = 0;
    int Ferror_recognition = 1;
    int Ferror_concealment = 3;
    int Fdecoder_reorder_pts = -1;
    bool Fframedrop = true;
    std::atomic<int> Frdftspeed{20};
    std::string Fvfilters;
    bool Fis_full_screen = false;
};

// The published player.
class TFFPlayer : public TCustomPlayer {
public:
    using TCustomPlayer::TCustomPlayer;
};
