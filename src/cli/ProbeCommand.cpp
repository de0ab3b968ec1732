// vanto-convert probe [--format NAME] [--loglevel LEVEL] FILE...
//
// Prints the probe's information text of every file, a blank line between files. Exit status 0
// when every file opened, 1 otherwise (each failure's text on standard error), 2 for a wrong
// command line.
#include "cli/ProbeCommand.h"

#include <exception>
#include <iostream>
#include <string>

#include "engine/probe/AVProbe.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"

namespace {

void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert probe [--format NAME] [--loglevel LEVEL] FILE...\n"
        "\n"
        "Prints the container, stream, program and metadata information of each FILE.\n"
        "Exit status: 0 when every file opened, 1 when any did not (the reason goes to\n"
        "standard error), 2 for a wrong command line.\n"
        "\n"
        "  --format NAME     read the files as this input format instead of detecting it\n"
        "  --loglevel LEVEL  show the media libraries' messages up to LEVEL on standard\n"
        "                    error (quiet, panic, fatal, error, warning, info, verbose,\n"
        "                    debug, or a number); default quiet\n",
        out);
}

// CR LF line breaks of the information text become plain newlines on a terminal.
std::string WithNewlines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

int Run(const std::vector<std::string>& args) {
    std::string format;
    std::string logLevel = "quiet";
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (a == "--help" || a == "-h")) {
            PrintHelp(stdout);
            return kExitOk;
        } else if (!optionsEnded && (a == "--format" || a == "--loglevel")) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "vanto-convert probe: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            (a == "--format" ? format : logLevel) = args[++i];
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "vanto-convert probe: unknown option %s\n", a.c_str());
            return kExitUsage;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "vanto-convert probe: no file given (see vanto-convert probe --help)\n");
        return kExitUsage;
    }

    TFFLogger& logger = GetFFLogger();
    try {
        logger.OptLogLevel(logLevel);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vanto-convert probe: --loglevel: %s\n", e.what());
        return kExitUsage;
    }
    logger.SetOnLog([](const void*, uint32_t, TLogLevel, const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    });

    TAVProbe probe;
    if (!probe.LoadAVLib(EngineProgramFolder() + "/lib")) {
        std::fprintf(stderr, "%s\n", probe.LastErrMsg().c_str());
        return kExitFailed;
    }

    int status = kExitOk;
    bool first = true;
    for (const std::string& file : files) {
        if (!probe.LoadFile(file, format)) {
            std::fprintf(stderr, "%s\n", probe.LastErrMsg().c_str());
            status = kExitFailed;
            continue;
        }
        const std::string text = WithNewlines(probe.FileInfoText());
        std::fprintf(stdout, "%s%s\n", first ? "" : "\n", text.c_str());
        first = false;
        probe.CloseFile();
    }
    std::fflush(stdout);
    return status;
}

}  // namespace

TCliCommand ProbeCommand() {
    return {"probe", "print the container and stream information of media files", &PrintHelp, &Run};
}
