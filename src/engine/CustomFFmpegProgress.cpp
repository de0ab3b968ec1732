// Hooks and progress: the frame hook that hands pictures to the application, the preview hook,
// and the progress report.
#include "engine/CustomFFmpeg.h"
#include "engine/Previewer.h"

void TCustomFFmpeg::SetPostHook(TPostHook hook, bool on) {
    const uint8_t bit = static_cast<uint8_t>(1u << static_cast<int>(hook));
    if (on)
        FPostHookBits.fetch_or(bit);
    else
        FPostHookBits.fetch_and(static_cast<uint8_t>(~bit));
}
