#pragma once
// vanto-convert play FILE: plays a file through the player, pictures to a null sink.

#include "cli/CliCommand.h"

TCliCommand PlayCommand();
