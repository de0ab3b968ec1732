// The video page analysis on arbitrary page text: it must end quickly (the per-input time limit
// of the fuzz runs) and never hand on a video identifier that could name a file elsewhere.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "AppFuzzSupport.h"
#include "app/CommEntity.h"
#include "online/YouTubePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitApp();
    if (size > 512 * 1024) return 0;
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ListFileInfo entry;
    try {
        YouTubePage::Analyse(page, entry);
    } catch (const YouTubePage::EPageRefused&) {
    } catch (const std::runtime_error&) {
    }
    if (!entry.YoutubeVideId.isEmpty() && !YouTubePage::IsSafeVideoId(entry.YoutubeVideId)) {
        std::fprintf(stderr, "unsafe video identifier accepted\n");
        std::abort();
    }
    return 0;
}
