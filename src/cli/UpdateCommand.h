#pragma once
// vanto-convert update [--check] [--download DIR]: the update server's offer, and its package
// fetched and verified.

#include "cli/CliCommand.h"

TCliCommand UpdateCommand();
