#include "engine/transcode/FFOptions.h"

#include <cstring>

namespace {

// Media flags the option must carry to count for a kind (data and attachment take any).
constexpr int kKindFlags[TFFOptions::kKinds] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                                AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Rate-control names that today's libraries share between audio and video but that always
// meant the video encoder here ("b" is the video bit rate; "ab" the audio one).
bool VideoOnlyName(const std::string& name) {
    return name == "b" || name == "maxrate" || name == "minrate" || name == "bufsize";
}

bool BlankAfterTrim(const std::string& s) {
    return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

const AVOption* FindPrivate(const AVClass* cls, const std::string& name) {
    if (!cls) return nullptr;
    const AVClass* fake = cls;
    return ff::av_opt_find(&fake, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
}

}  // namespace

TFFOptions::TFFOptions(int swsFlags) {
    for (auto& ctx : codec_)
        ctx.reset(ff::avcodec_alloc_context3(nullptr));
    format_.reset(ff::avformat_alloc_context());
    sws_.reset(ff::sws_alloc_context());
    if (sws_) ff::av_opt_set_int(sws_.get(), "sws_flags", swsFlags, 0);
}

TFFOptions::~TFFOptions() {
    for (AVDictionary*& dict : codecDict_)
        ff::av_dict_free(&dict);
    ff::av_dict_free(&formatDict_);
    ff::av_dict_free(&swsDict_);
}

int TFFOptions::KindOf(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO:
            return 0;
        case AVMEDIA_TYPE_AUDIO:
            return 1;
        case AVMEDIA_TYPE_DATA:
            return 2;
        case AVMEDIA_TYPE_SUBTITLE:
            return 3;
        case AVMEDIA_TYPE_ATTACHMENT:
            return 4;
        default:
            return -1;
    }
}

const AVDictionary* TFFOptions::CodecOptions(AVMediaType type) const {
    const int kind = KindOf(type);
    return kind < 0 ? nullptr : codecDict_[kind];
}

const AVCodecContext* TFFOptions::CodecContext(AVMediaType type) const {
    const int kind = KindOf(type);
    return kind < 0 ? nullptr : codec_[kind].get();
}

int TFFOptions::ScalerFlags() const {
    int64_t flags = SWS_BICUBIC;
    if (sws_) ff::av_opt_get_int(sws_.get(), "sws_flags", 0, &flags);
    return static_cast<int>(flags);
}

// A flags value given as "+x" or "-x" adds to what was remembered before, so successive
// changes of the same flags option all reach the real context.
void TFFOptions::Remember(AVDictionary** dict, const AVOption* option, const std::string& name,
                          const std::string& value) {
    std::string stored = value;
    if (option && option->type == AV_OPT_TYPE_FLAGS && !value.empty() &&
        (value[0] == '+' || value[0] == '-')) {
        if (const AVDictionaryEntry* prior = ff::av_dict_get(*dict, name.c_str(), nullptr, 0))
            stored = std::string(prior->value) + value;
    }
    ff::av_dict_set(dict, name.c_str(), stored.c_str(), 0);
}

bool TFFOptions::ValidateOnEncoder(const AVCodec* codec, const std::string& name, const std::string& value) {
    auto it = encoderScratch_.find(codec);
    if (it == encoderScratch_.end())
        it = encoderScratch_.emplace(codec, ff::avcodec_alloc_context3(codec)).first;
    AVCodecContext* scratch = it->second.get();
    if (!scratch || !scratch->priv_data) return false;
    return ff::av_opt_set(scratch->priv_data, name.c_str(), value.c_str(), 0) >= 0;
}

// One codec kind: the generic class for the kind's media flags, or the private class of the
// kind's chosen encoder. Returns whether the name is known there; result tells the outcome.
bool TFFOptions::SetCodecKind(int kind, const std::string& name, const std::string& value,
                              const AVCodec* encoder, TResult& result) {
    AVCodecContext* ctx = codec_[kind].get();
    if (!ctx) return false;
    const AVOption* priv = nullptr;
    if (encoder && encoder->priv_class) priv = FindPrivate(encoder->priv_class, name);
    const AVOption* generic = nullptr;
    if (!(VideoOnlyName(name) && kind != 0))
        generic = ff::av_opt_find(ctx, name.c_str(), nullptr, kKindFlags[kind], 0);
    if (!priv && !generic) return false;

    // Private options come first, as the real context's option search does.
    const bool ok = priv ? ValidateOnEncoder(encoder, name, value)
                         : ff::av_opt_set(ctx, name.c_str(), value.c_str(), 0) >= 0;
    if (!ok) {
        result = TResult::Invalid;
        return true;
    }
    Remember(&codecDict_[kind], priv ? priv : generic, name, value);
    result = TResult::Set;
    return true;
}

bool TFFOptions::SetFormat(const std::string& name, const std::string& value, const std::string& formatName,
                           TResult& result) {
    if (format_) {
        if (const AVOption* o = ff::av_opt_find(format_.get(), name.c_str(), nullptr, 0, 0)) {
            if (ff::av_opt_set(format_.get(), name.c_str(), value.c_str(), 0) < 0) {
                result = TResult::Invalid;
            } else {
                Remember(&formatDict_, o, name, value);
                result = TResult::Set;
            }
            return true;
        }
    }

    // Private options of the asked format, else of any muxer or demuxer.
    const AVOutputFormat* muxer = nullptr;
    const AVOption* o = nullptr;
    if (!formatName.empty()) {
        muxer = ff::av_guess_format(formatName.c_str(), nullptr, nullptr);
        if (muxer) o = FindPrivate(muxer->priv_class, name);
        if (!o) {
            muxer = nullptr;
            if (const AVInputFormat* demuxer = ff::av_find_input_format(formatName.c_str()))
                o = FindPrivate(demuxer->priv_class, name);
        }
    }
    if (!o) {
        void* it = nullptr;
        while (!o && (muxer = ff::av_muxer_iterate(&it)))
            o = FindPrivate(muxer->priv_class, name);
        if (!o) {
            muxer = nullptr;
            void* dit = nullptr;
            const AVInputFormat* demuxer;
            while (!o && (demuxer = ff::av_demuxer_iterate(&dit)))
                o = FindPrivate(demuxer->priv_class, name);
        }
    }
    if (!o) return false;

    // A muxer's private options are checked on a scratch instance; a demuxer's cannot be made
    // without opening a file, so the library checks those when the input is opened.
    if (muxer) {
        AVFormatContext* scratch = nullptr;
        bool ok = false;
        if (ff::avformat_alloc_output_context2(&scratch, muxer, nullptr, nullptr) >= 0 && scratch) {
            ok = !scratch->priv_data ||
                 ff::av_opt_set(scratch->priv_data, name.c_str(), value.c_str(), 0) >= 0;
            ff::avformat_free_context(scratch);
        }
        if (!ok) {
            result = TResult::Invalid;
            return true;
        }
    }
    Remember(&formatDict_, o, name, value);
    result = TResult::Set;
    return true;
}

bool TFFOptions::SetScaler(const std::string& name, const std::string& value, TResult& result) {
    if (!sws_) return false;
    const AVOption* o = ff::av_opt_find(sws_.get(), name.c_str(), nullptr, 0, 0);
    if (!o) return false;
    if (ff::av_opt_set(sws_.get(), name.c_str(), value.c_str(), 0) < 0) {
        result = TResult::Invalid;
        return true;
    }
    Remember(&swsDict_, o, name, value);
    result = TResult::Set;
    return true;
}

bool TFFOptions::SetAnyEncoder(const std::string& name, const std::string& value, TResult& result) {
    static constexpr AVMediaType kTypes[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
    for (AVMediaType type : kTypes) {
        void* it = nullptr;
        const AVCodec* codec;
        while ((codec = ff::av_codec_iterate(&it))) {
            if (codec->type != type || !ff::av_codec_is_encoder(codec) || !codec->priv_class) continue;
            const AVOption* o = FindPrivate(codec->priv_class, name);
            if (!o) continue;
            if (!ValidateOnEncoder(codec, name, value)) {
                result = TResult::Invalid;
                return true;
            }
            Remember(&codecDict_[KindOf(type)], o, name, value);
            result = TResult::Set;
            return true;
        }
    }
    return false;
}

TFFOptions::TResult TFFOptions::Set(const std::string& name, const std::string& value,
                                    const std::array<const AVCodec*, kKinds>& encoders,
                                    const std::string& formatName) {
    if (BlankAfterTrim(name) || BlankAfterTrim(value)) return TResult::Unknown;

    TResult result = TResult::Unknown;
    bool known = false;
    for (int kind = 0; kind < kKinds; ++kind) {
        TResult kindResult;
        if (!SetCodecKind(kind, name, value, encoders[kind], kindResult)) continue;
        known = true;
        result = kindResult;
        if (result == TResult::Invalid) return result;
    }
    if (!known) known = SetFormat(name, value, formatName, result);
    if (!known) known = SetScaler(name, value, result);
    if (!known) known = SetAnyEncoder(name, value, result);
    if (known && result == TResult::Set) optNames_.push_back(name);
    return result;
}

TFFOptions::TResult TFFOptions::SetPrefixed(char prefix, const std::string& name, const std::string& value,
                                            const std::array<const AVCodec*, kKinds>& encoders) {
    if (BlankAfterTrim(name) || BlankAfterTrim(value)) return TResult::Unknown;
    TResult result = TResult::Unknown;
    bool known = false;
    if (prefix == 'a' || prefix == 'v') {
        const int kind = prefix == 'v' ? 0 : 1;
        // The prefix names the kind, so the video-only rule does not apply ("ab" is the audio
        // bit rate).
        AVCodecContext* ctx = codec_[kind].get();
        const AVCodec* encoder = encoders[kind];
        const AVOption* priv =
            encoder && encoder->priv_class ? FindPrivate(encoder->priv_class, name) : nullptr;
        const AVOption* generic =
            ctx ? ff::av_opt_find(ctx, name.c_str(), nullptr, kKindFlags[kind], 0) : nullptr;
        if (priv || generic) {
            known = true;
            const bool ok = priv ? ValidateOnEncoder(encoder, name, value)
                                 : ff::av_opt_set(ctx, name.c_str(), value.c_str(), 0) >= 0;
            if (ok) {
                Remember(&codecDict_[kind], priv ? priv : generic, name, value);
                result = TResult::Set;
            } else {
                result = TResult::Invalid;
            }
        }
    } else if (prefix == 's') {
        known = SetScaler(name, value, result);
    }
    if (known && result == TResult::Set) optNames_.push_back(name);
    return result;
}
