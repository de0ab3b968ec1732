// The language table reader on arbitrary bytes.
#include <cstdint>

#include "AppFuzzSupport.h"
#include "FuzzSupport.h"
#include "settings/Lang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitApp();
    if (size > 65536) return 0;
    const std::string path = fuzz::WriteScratchFile("fuzz-lang.xml", data, size);
    TLang table;
    try {
        LoadLangFile(table, QString::fromStdString(path));
    } catch (const ELangError&) {
    }
    return 0;
}
