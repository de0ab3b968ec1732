#pragma once
// Loads what the command-line converter shares with the window program: the language table,
// the profile catalogue and the output parameter table, from the program folder. Problems are
// written to standard error; returns false when no profile could be loaded.

bool LoadCatalogueForCli();

#include <QCoreApplication>

// The Qt application object the catalogue and the conversion queue need, made from the tool's
// name only (the command line is parsed by the commands themselves).
class CliApplication {
public:
    CliApplication() : app_(argc_, argv_) {}
    QCoreApplication& app() { return app_; }

private:
    int argc_ = 1;
    char name_[16] = "vanto-convert";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};
