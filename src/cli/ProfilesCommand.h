#pragma once
#include "cli/CliCommand.h"

// vanto-convert profiles: lists the output profiles of the catalogue.
TCliCommand ProfilesCommand();
