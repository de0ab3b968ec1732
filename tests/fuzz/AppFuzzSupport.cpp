#include "AppFuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdlib>

#include "FuzzSupport.h"
#include "app/Utils.h"

namespace fuzz {

QString InitApp() {
    static QString folder;
    if (!folder.isEmpty()) return folder;
    EnterScratchFolder();
    folder = QDir::currentPath();
    ::setenv("XDG_DATA_HOME", (folder + "/data").toLocal8Bit().constData(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").toLocal8Bit().constData(), 1);
    ::setenv("HOME", folder.toLocal8Bit().constData(), 1);
    static int argc = 1;
    static char name[] = "vanto-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    SetProgramFolderOverride(folder);
    return folder;
}

}  // namespace fuzz
