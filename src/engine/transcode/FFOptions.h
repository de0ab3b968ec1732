#pragma once
// The library option contexts of one transcoding core (TFFOptions) and the library option
// setter.
//
// Options that are not the core's own are the libraries' (codec, format and scaler options).
// The setter accepts a name when a library object knows it: the generic codec class for the
// option's media type, the private class of the encoder chosen for that kind, the format class
// (generic or a muxer's or demuxer's private class), the scaler class, or, failing those, the
// private class of some other encoder of the kind (so encoder-specific options of a preset stay
// harmless for an encoder that does not use them, as they always were). The value is validated
// by setting it on a scratch object and remembered per media type; streams and files get the
// remembered values when they are created (options dictionaries of avcodec_open2,
// avformat_open_input and avformat_write_header).
//
// Ownership: owns its scratch contexts and dictionaries. Threads: one thread at a time (the
// thread that builds the task, later its conversion thread).

#include <array>
#include <map>
#include <string>
#include <vector>

#include "engine/library/FFmpegHandles.h"

class TFFOptions {
public:
    // The five codec option kinds, in the libraries' media type order.
    static constexpr int kKinds = 5;  // video, audio, data, subtitle, attachment

    enum class TResult { Set, Unknown, Invalid };

    explicit TFFOptions(int swsFlags);
    ~TFFOptions();
    TFFOptions(const TFFOptions&) = delete;
    TFFOptions& operator=(const TFFOptions&) = delete;

    // Sets a library option. encoders: the encoder chosen so far for each kind (null: none);
    // formatName: the format asked for the next file ("" when none). Unknown: no library
    // object knows the name (or it or the value is empty after trimming). Invalid: a library
    // object knows it and refuses the value.
    TResult Set(const std::string& name, const std::string& value,
                const std::array<const AVCodec*, kKinds>& encoders, const std::string& formatName);
    // The a/v/s fall-back: name on the audio codec options ('a'), the video codec options ('v')
    // or the scaler ('s') only.
    TResult SetPrefixed(char prefix, const std::string& name, const std::string& value,
                        const std::array<const AVCodec*, kKinds>& encoders);

    // Options remembered for codecs of a media type, the format and the scaler (not owned by the
    // caller; copy with av_dict_copy).
    const AVDictionary* CodecOptions(AVMediaType type) const;
    const AVDictionary* FormatOptions() const { return formatDict_; }
    const AVDictionary* ScalerOptions() const { return swsDict_; }
    // The generic contexts, holding every generic value set so far.
    const AVCodecContext* CodecContext(AVMediaType type) const;
    const AVFormatContext* FormatContext() const { return format_.get(); }
    // The scaler flags (option "sws_flags").
    int ScalerFlags() const;

    // Names set through the setter, in order (a name set twice appears twice).
    const std::vector<std::string>& opt_names() const { return optNames_; }
    int opt_name_count() const { return static_cast<int>(optNames_.size()); }

private:
    static int KindOf(AVMediaType type);
    bool SetCodecKind(int kind, const std::string& name, const std::string& value, const AVCodec* encoder,
                      TResult& result);
    bool SetFormat(const std::string& name, const std::string& value, const std::string& formatName,
                   TResult& result);
    bool SetScaler(const std::string& name, const std::string& value, TResult& result);
    bool SetAnyEncoder(const std::string& name, const std::string& value, TResult& result);
    bool ValidateOnEncoder(const AVCodec* codec, const std::string& name, const std::string& value);
    static void Remember(AVDictionary** dict, const AVOption* option, const std::string& name,
                         const std::string& value);

    struct TFormatDeleter {
        void operator()(AVFormatContext* ctx) const {
            if (ctx) ff::avformat_free_context(ctx);
        }
    };
    std::array<TCodecContextPtr, kKinds> codec_;
    std::array<AVDictionary*, kKinds> codecDict_{};
    std::unique_ptr<AVFormatContext, TFormatDeleter> format_;
    AVDictionary* formatDict_ = nullptr;
    TSwsContextPtr sws_;
    AVDictionary* swsDict_ = nullptr;
    std::map<const AVCodec*, TCodecContextPtr> encoderScratch_;
    std::vector<std::string> optNames_;
};
