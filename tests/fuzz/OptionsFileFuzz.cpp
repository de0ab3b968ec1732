// The options file reader on arbitrary bytes.
#include <cstdint>

#include "AppFuzzSupport.h"
#include "FuzzSupport.h"
#include "settings/Options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitApp();
    if (size > 16384) return 0;
    const std::string path = fuzz::WriteScratchFile("fuzz-options.ini", data, size);
    TOptions options;
    options.LoadOptions(QString::fromStdString(path));
    return 0;
}
