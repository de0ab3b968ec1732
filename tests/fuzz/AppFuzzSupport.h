#pragma once
// Set-up of the fuzz targets of the application's readers: a scratch folder serving as the
// program folder and as the per-user data folder, and a core application object.

#include <QString>

namespace fuzz {

// Once per process: enters the scratch folder, points the program folder and the per-user data
// folder into it, creates the application object. Returns the scratch folder.
QString InitApp();

}  // namespace fuzz
