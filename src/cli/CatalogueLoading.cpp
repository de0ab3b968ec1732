#include "cli/CatalogueLoading.h"

#include <cstdio>
#include <exception>

#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"

bool LoadCatalogueForCli() {
    auto step = [](const char* what, void (*fn)()) {
        try {
            fn();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vanto-convert: %s: %s\n", what, e.what());
        }
    };
    step("language file", &LoadLang);
    step("profile catalogue", &LoadProfileMenu);
    step("output parameters", &LoadParaInfo);
    return !FormatInfoMap().empty();
}
