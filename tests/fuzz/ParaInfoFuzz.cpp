// The output parameter table reader on arbitrary bytes, with the shipped catalogue loaded (only
// records of catalogue profiles are read in full).
#include <QFile>
#include <cstdint>

#include "AppFuzzSupport.h"
#include "FuzzSupport.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = fuzz::InitApp();
    static const bool catalogue = [] {
        QFile::copy(QStringLiteral(VANTO_SOURCE_DIR "/data/ProfileMenu.dll"), GetProfileMenuFile());
        LoadProfileMenu();
        return true;
    }();
    (void)catalogue;
    if (size > 65536) return 0;
    fuzz::WriteScratchFile((folder + "/ParaInfo.dll").toStdString(), data, size);
    FreeParaInfo();
    try {
        LoadParaInfo();
    } catch (const EProfileDataError&) {
    }
    return 0;
}
