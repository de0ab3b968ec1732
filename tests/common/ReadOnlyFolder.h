#pragma once
// Makes a folder read-only for the lifetime of the object, also for root: permission bits
// first, and where they don't bind (root) the immutable attribute. `ok()` tells whether the
// folder really refuses new files; tests skip themselves when it doesn't.

#include <string>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool ok() const { return ok_; }

private:
    std::string path_;
    bool immutable_ = false;
    bool ok_ = false;
};
