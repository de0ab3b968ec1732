#pragma once
// The built-in encoder presets (libx264), for listing and tests. Applying a preset is the
// option dispatcher's job (apre, vpre, spre, fpre).

int BuiltinPresetCount();
const char* BuiltinPresetName(int index);  // "libx264-baseline" ...; null out of range
const char* BuiltinPresetText(int index);  // key=value lines; null out of range
