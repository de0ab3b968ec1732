#include "cli/CliCommand.h"

#include "cli/ConvertCommand.h"
#include "cli/EngineCommand.h"
#include "cli/OnlineCommand.h"
#include "cli/PlayCommand.h"
#include "cli/ProbeCommand.h"
#include "cli/ProfilesCommand.h"
#include "cli/UpdateCommand.h"

const std::vector<TCliCommand>& CliCommands() {
    static const std::vector<TCliCommand> commands = {
        ProbeCommand(),
        EngineCommand(),
        ProfilesCommand(),
        ConvertCommand(),
        PlayCommand(),
        OnlineCommand(),
        UpdateCommand(),
    };
    return commands;
}

const TCliCommand* FindCliCommand(const std::string& name) {
    for (const TCliCommand& command : CliCommands())
        if (name == command.Name) return &command;
    return nullptr;
}
