#pragma once
// File names between the engine and the media libraries.
//
// On Linux the libraries take UTF-8 names as they are, so a name is handed over unchanged. A
// name written in the "unicode:utf8:" form (the form other builds of this engine hand to the
// libraries for names outside the system code page) is decoded back to the plain UTF-8 name,
// since no library protocol of that name exists here.

#include <string>

inline constexpr char kUnicodeProtocolPrefix[] = "unicode:utf8:";

// The name to pass to the libraries.
std::string ToLibraryFileName(const std::string& fileName);
// The name the libraries hold, as the application shows it.
std::string FromLibraryFileName(const std::string& libraryName);
