#pragma once
// Loads what the command-line converter shares with the window program: the language table,
// the profile catalogue and the output parameter table, from the program folder. Problems are
// written to standard error; returns false when no profile could be loaded.

bool LoadCatalogueForCli();
