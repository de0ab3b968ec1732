#pragma once
// src/engine/probe stands on the library layer only: reading a file's format and streams, its
// information text, single decoded pictures and their conversion into bitmaps (RGBConvertContext).
// It starts no threads: a probe is used by one thread at a time (the window's probe workers, the
// player, a task) and takes the codec lock where the libraries need it.
//
// The media probe: TCustomAVProbe plus single-picture decoding of a video stream (at a time
// position, the next or previous key frame, the previous frame) and conversion of the held
// picture into a TBitmap24.
//
// Ownership: the probe owns its decoder context, the held picture and its RGB conversion
// context. Decoding and seeking need a file the probe opened itself (not a wrapped handle).
// Threads: one thread at a time, which may be a worker; the decoder is opened and closed under
// the process-wide codec lock.

#include "engine/library/Bitmap24.h"
#include "engine/probe/CustomAVProbe.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/probe/RGBConvertContext.h"

class TAVProbe : public TCustomAVProbe {
public:
    TAVProbe();
    ~TAVProbe() override;

    void CloseFile() override;

    // Times in microseconds from the file start; with sfByte, pts is a byte offset.
    bool Seek(TSeekFlags flags, int64_t pts);
    // streamIndex < 0: the stream decoded last, else the first video stream.
    bool Decode(int streamIndex = -1);
    bool DecodeNextKeyFrame(int streamIndex = -1);
    bool DecodePreviousKeyFrame(int streamIndex = -1);
    bool DecodePreviousFrame(int streamIndex = -1);
    // The held picture into bitmap; false without a picture or when it cannot be converted
    // (bitmap is then the picture's size, black).
    bool CopyToBitmap(TBitmap24& bitmap);

    const TFrameInfo& FrameInfo() const { return picture_; }
    // The held picture (owned by the probe; valid until the next decode, seek or close).
    const AVFrame* Picture() const { return picture_.Ready ? frame_.get() : nullptr; }
    // The current byte position of the input; -1 with "cannot get position" without I/O.
    int64_t Position();

    // Stream used for time seeks (first video stream that is not an attached picture, else
    // first audio stream, else -1) and its start time in its own time base (0 when unknown).
    int SeekIndex() const { return seekIndex_; }
    int64_t SeekStartTime() const { return startTime_; }

protected:
    void RefreshValues() override;

private:
    int SelectStream(int streamIndex);
    bool OpenDecoder(int streamIndex);
    void CloseDecoder();
    void DropPicture();
    void StorePicture(int64_t position);
    bool IsImage2() const;
    int64_t FrameDuration() const;  // microseconds
    int64_t InputPosition() const;  // -1 without I/O
    int SeekBackwardSearched(int64_t target, int flags);
    int64_t NextKeyTimestamp(int streamIndex);

    TCodecContextPtr codec_;
    int codecStream_ = -1;
    TRGBConvertContext rgbContext_;
    int seekIndex_ = -1;
    int64_t startTime_ = 0;
    int decodeIndex_ = -1;
    bool eof_ = false;       // the decoder has given its last picture
    bool draining_ = false;  // the input is exhausted; the decoder is giving what it holds
    // After opening the decoder and after a seek, packets before the first key packet are
    // skipped: formats without an index (MPEG-TS) land anywhere, and a picture decoded without
    // its reference is a smear.
    bool waitKey_ = false;
    int skippedPackets_ = 0;
    TFrameInfo picture_;
    TFramePtr frame_;    // the held picture
    TFramePtr decoded_;  // decoder output before it becomes the held picture
    TPacketPtr packet_;
    int64_t lastPTS_ = kNoTimestamp;
    int64_t lastPos_ = -1;
};
