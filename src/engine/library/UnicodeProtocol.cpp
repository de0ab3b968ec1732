#include "engine/library/UnicodeProtocol.h"

namespace {
// A name in the protocol form: at least one character after the 13-byte prefix.
bool HasProtocolPrefix(const std::string& name) {
    constexpr size_t kPrefixLength = sizeof kUnicodeProtocolPrefix - 1;
    return name.size() > kPrefixLength && name.compare(0, kPrefixLength, kUnicodeProtocolPrefix) == 0;
}
}  // namespace

std::string ToLibraryFileName(const std::string& fileName) {
    return HasProtocolPrefix(fileName) ? fileName.substr(sizeof kUnicodeProtocolPrefix - 1) : fileName;
}

std::string FromLibraryFileName(const std::string& libraryName) {
    return ToLibraryFileName(libraryName);
}
