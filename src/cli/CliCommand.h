#pragma once
// vanto-convert's subcommands. Each command lives in a file of its own (ProbeCommand.cpp, ...)
// and is listed once in CliCommands.cpp; main() picks one by name.

#include <cstdio>
#include <string>
#include <vector>

struct TCliCommand {
    const char* Name;
    const char* Summary;                               // one line for the command list
    void (*PrintHelp)(std::FILE* out);                 // usage and options of the command
    int (*Run)(const std::vector<std::string>& args);  // args after the command name; exit status
};

const std::vector<TCliCommand>& CliCommands();
const TCliCommand* FindCliCommand(const std::string& name);

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran, some of its work failed
inline constexpr int kExitUsage = 2;   // the command line was wrong
