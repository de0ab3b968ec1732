#pragma once
// vanto-convert probe FILE...: the information text of each file.

#include "cli/CliCommand.h"

TCliCommand ProbeCommand();
