#pragma once
// vanto-convert engine -i FILE ... -o FILE: one task of the transcoding component.

#include "cli/CliCommand.h"

TCliCommand EngineCommand();
