#pragma once
#include "cli/CliCommand.h"

// vanto-convert convert: converts files with a profile of the catalogue, headless.
TCliCommand ConvertCommand();
