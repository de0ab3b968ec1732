#pragma once
// vanto-convert online page URL | online download URL... --output-folder DIR: the online video
// path without a window.

#include "cli/CliCommand.h"

TCliCommand OnlineCommand();
