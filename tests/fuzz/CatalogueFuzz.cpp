// The profile catalogue reader on arbitrary bytes (the per-user catalogue file).
#include <cstdint>

#include "AppFuzzSupport.h"
#include "FuzzSupport.h"
#include "profiles/ProfileMenu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitApp();
    if (size > 65536) return 0;
    fuzz::WriteScratchFile(GetProfileMenuFile().toStdString(), data, size);
    try {
        ReloadProfileMenu();
    } catch (const EProfileDataError&) {
    }
    FreeProfileMenu();
    return 0;
}
