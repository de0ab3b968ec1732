#include "common/ReadOnlyFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/MediaFixtures.h"

namespace {
bool refusesNewFiles(const std::string& path) {
    const std::string probe = path + "/.vanto-write-probe";
    FILE* f = std::fopen(probe.c_str(), "w");
    if (!f) return true;
    std::fclose(f);
    std::remove(probe.c_str());
    return false;
}
}  // namespace

ReadOnlyFolder::ReadOnlyFolder(const std::string& path) : path_(path) {
    ::chmod(path.c_str(), 0555);
    if (refusesNewFiles(path)) {
        ok_ = true;
        return;
    }
    if (fixtures::Run("chattr +i " + fixtures::ShellQuote(path) + " 2>/dev/null") == 0) {
        immutable_ = true;
        ok_ = refusesNewFiles(path);
    }
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_) fixtures::Run("chattr -i " + fixtures::ShellQuote(path_) + " 2>/dev/null");
    ::chmod(path_.c_str(), 0755);
}
