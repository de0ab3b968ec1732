#include "engine/library/FFmpegApi.h"

namespace ff {
namespace {

#define VANTO_FF_ENTRY(name, optional) \
    {#name, optional, [](void* address) { ff::name = reinterpret_cast<decltype(ff::name)>(address); }},
#define VANTO_FF_REQ(name) VANTO_FF_ENTRY(name, false)
#define VANTO_FF_OPT(name) VANTO_FF_ENTRY(name, true)

const TEntryPoint kAvUtil[] = {VANTO_FF_AVUTIL(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kSwResample[] = {VANTO_FF_SWRESAMPLE(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kSwScale[] = {VANTO_FF_SWSCALE(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kAvCodec[] = {VANTO_FF_AVCODEC(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kAvFormat[] = {VANTO_FF_AVFORMAT(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kAvFilter[] = {VANTO_FF_AVFILTER(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kAvDevice[] = {VANTO_FF_AVDEVICE(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kLibc[] = {VANTO_FF_LIBC(VANTO_FF_REQ, VANTO_FF_OPT)};
const TEntryPoint kSdl[] = {VANTO_FF_SDL(VANTO_FF_REQ, VANTO_FF_OPT)};

#undef VANTO_FF_OPT
#undef VANTO_FF_REQ
#undef VANTO_FF_ENTRY

template <size_t N>
TEntryPointList ListOf(const TEntryPoint (&entries)[N]) {
    return {entries, static_cast<int>(N)};
}

}  // namespace

TEntryPointList AvUtilEntryPoints() {
    return ListOf(kAvUtil);
}
TEntryPointList SwResampleEntryPoints() {
    return ListOf(kSwResample);
}
TEntryPointList SwScaleEntryPoints() {
    return ListOf(kSwScale);
}
TEntryPointList AvCodecEntryPoints() {
    return ListOf(kAvCodec);
}
TEntryPointList AvFormatEntryPoints() {
    return ListOf(kAvFormat);
}
TEntryPointList AvFilterEntryPoints() {
    return ListOf(kAvFilter);
}
TEntryPointList AvDeviceEntryPoints() {
    return ListOf(kAvDevice);
}
TEntryPointList LibcEntryPoints() {
    return ListOf(kLibc);
}
TEntryPointList SdlEntryPoints() {
    return ListOf(kSdl);
}

}  // namespace ff
