// vanto-convert: the command-line front end on the media engine.
//
//     vanto-convert COMMAND [OPTIONS] ARGS...
//     vanto-convert --help | help [COMMAND]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs("usage: vanto-convert COMMAND [OPTIONS] ARGS...\n\ncommands:\n", out);
    for (const TCliCommand& command : CliCommands())
        std::fprintf(out, "  %-10s %s\n", command.Name, command.Summary);
    std::fputs("\n'vanto-convert COMMAND --help' describes a command.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (name == "help") {
        if (argc < 3) {
            PrintUsage(stdout);
            return kExitOk;
        }
        const TCliCommand* command = FindCliCommand(argv[2]);
        if (!command) {
            std::fprintf(stderr, "vanto-convert: unknown command '%s'\n", argv[2]);
            return kExitUsage;
        }
        command->PrintHelp(stdout);
        return kExitOk;
    }
    const TCliCommand* command = FindCliCommand(name);
    if (!command) {
        std::fprintf(stderr, "vanto-convert: unknown command '%s'\n\n", name.c_str());
        PrintUsage(stderr);
        return kExitUsage;
    }
    try {
        return command->Run(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vanto-convert %s: %s\n", name.c_str(), e.what());
        return kExitFailed;
    }
}
