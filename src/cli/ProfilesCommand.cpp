#include "cli/ProfilesCommand.h"

#include <QCoreApplication>
#include <cstdio>

#include "cli/CatalogueLoading.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"

namespace {
void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert profiles\n\n"
        "Lists the output profiles of the catalogue, one per line: ID, category, name and\n"
        "output format, separated by tabs. Use the ID with 'vanto-convert convert --profile ID'.\n",
        out);
}

int Run(const std::vector<std::string>& args) {
    if (!args.empty()) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    CliApplication cli;
    if (!LoadCatalogueForCli()) {
        std::fputs("vanto-convert profiles: no profiles are available\n", stderr);
        return kExitFailed;
    }
    for (const auto& category : CategoryList()) {
        for (const auto& entry : category->Items) {
            const std::unique_ptr<TFormatInfo> params = GetFormatInfo(entry->IntID());
            if (!params) continue;
            std::printf("%s\t%s\t%s\t%s\n", entry->ID.toUtf8().constData(),
                        category->Title.toUtf8().constData(), entry->Name.toUtf8().constData(),
                        params->Format.toUtf8().constData());
        }
    }
    return kExitOk;
}
}  // namespace

TCliCommand ProfilesCommand() {
    return {"profiles", "list the output profiles (ID, category, name, format)", PrintHelp, Run};
}
