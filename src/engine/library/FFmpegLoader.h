#pragma once
// src/engine/library, the engine's bottom layer, stands on nothing else of the engine: loading
// the media libraries and their entry-point table (FFmpegApi.h), the log bridge (FFmpegLogger.h),
// the process-wide codec lock, error texts and exceptions, the owning handles of library objects,
// the Unicode file protocol, stream I/O for callers' byte streams, the dispatcher that carries
// events to the user-interface thread, and the records and picture type every part shares. It
// runs no threads of its own except the log bridge's delivery thread; everything else is called
// on the caller's thread (loading normally on the main thread at start-up).
//
// Opens the media libraries at run time and fills the entry-point table (FFmpegApi.h).
//
// Each library is one row: a file name built from a base name and a major version, opened first
// from the configured folder (LibraryPath, normally the "lib" folder beside the program) when
// the file is there, else through the system's search order. Statuses are process-wide and
// shared by every component: a library loaded for the probe counts as loaded for the task
// component. Libraries stay loaded until a component unloads them or a failed set load
// releases its set; nothing unloads them at exit.
//
// Threads: load and unload on one thread at a time (normally the main thread at start-up);
// a mutex guards the statuses, so a second loading thread waits rather than corrupts. Libraries
// in use by open engine objects are never unloaded (see TLibraryUse).
// Loaded() may be asked from any thread.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "engine/library/EngineTypes.h"

enum class TLibrary : uint8_t {
    avCodec,
    avDevice,
    avFilter,
    avFormat,
    avUtil,
    swScale,
    swResample,
    myUtil,
    lbSDL
};
inline constexpr int kLibraryCount = 9;

// A set of libraries.
class TLibraries {
public:
    constexpr TLibraries() = default;
    constexpr TLibraries(std::initializer_list<TLibrary> libraries) {
        for (TLibrary lib : libraries)
            bits_ |= Bit(lib);
    }
    constexpr bool Contains(TLibrary lib) const { return (bits_ & Bit(lib)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TLibraries operator|(TLibraries other) const { return FromBits(bits_ | other.bits_); }
    constexpr TLibraries operator-(TLibraries other) const { return FromBits(bits_ & ~other.bits_); }
    constexpr bool operator==(const TLibraries&) const = default;

private:
    static constexpr uint16_t Bit(TLibrary lib) { return static_cast<uint16_t>(1u << static_cast<int>(lib)); }
    static constexpr TLibraries FromBits(uint16_t bits) {
        TLibraries s;
        s.bits_ = bits;
        return s;
    }
    uint16_t bits_ = 0;
};

// The sets each component loads.
inline constexpr TLibraries kProbeLibraries{TLibrary::avCodec, TLibrary::avFormat, TLibrary::avUtil,
                                            TLibrary::swScale, TLibrary::myUtil};
inline constexpr TLibraries kTaskLibraries{TLibrary::avCodec, TLibrary::avFilter, TLibrary::avFormat,
                                           TLibrary::avUtil,  TLibrary::swScale,  TLibrary::swResample,
                                           TLibrary::myUtil};
inline constexpr TLibraries kPlayerLibraries = kTaskLibraries | TLibraries{TLibrary::lbSDL};

// Libraries in the order they are opened: dependencies before their users, so that when a
// library comes from the "lib" folder its own dependencies resolve to the copies already opened
// from there.
inline constexpr TLibrary kLoadOrder[kLibraryCount] = {
    TLibrary::avUtil,   TLibrary::swResample, TLibrary::swScale, TLibrary::avCodec, TLibrary::avFormat,
    TLibrary::avFilter, TLibrary::avDevice,   TLibrary::myUtil,  TLibrary::lbSDL};

// One static row per library.
struct TLibraryItem {
    TLibrary Lib;
    const char* Name;  // base file name
    int32_t Version;   // appended as "." + Version; negative: no suffix
};

// Process-wide state of one library.
struct TLibraryStatus {
    TLibrary Lib;
    std::string Name;        // explicit file name overriding the built one (may include a folder)
    void* Handle = nullptr;  // dlopen handle, null when not loaded
    bool Fixuped = false;    // every required entry point was found
    std::string Path;        // the file actually opened (folder + file, or the bare file name)
};

class TFFmpegLoader {
public:
    TFFmpegLoader();

    bool Load(TLibrary library);
    // Loads each library in load order; on the first failure unloads every library of the set
    // and returns false. An empty set is a programming error (EEngineAssertion).
    bool Load(TLibraries libraries);
    bool Loaded(TLibrary library) const;
    bool Loaded(TLibraries libraries) const;  // non-empty set asserted
    // Refused (false, LastErrMsg) while engine objects that use the libraries are open (tasks,
    // probes with an open file, players: TLibraryUse holders).
    bool Unload(TLibrary library);
    bool Unload(TLibraries libraries);  // non-empty set asserted
    // The count of open engine objects using the libraries.
    int Users() const;

    std::string LastErrMsg() const;
    std::string LibraryPath() const;
    void SetLibraryPath(const std::string& path);
    bool InstallLogger() const { return installLogger_; }
    void SetInstallLogger(bool install) { installLogger_ = install; }

    // The explicit file name of a library ("" = the built one). A name with a folder is opened
    // from that folder even when LibraryPath is set.
    std::string LibraryName(TLibrary library) const;
    void SetLibraryName(TLibrary library, const std::string& name);
    // The file name built from the library's row, e.g. "libavcodec.so.59".
    static std::string LibraryFileName(TLibrary library);
    static const TLibraryItem& Item(TLibrary library);
    // A copy of the library's status (for diagnostics and tests).
    TLibraryStatus Status(TLibrary library) const;

private:
    bool RefuseInUse() const;
    void Release(TLibrary library);
    bool installLogger_ = true;
};

// Marks an engine object as using the media libraries while it holds objects of theirs; the
// libraries are not unloaded meanwhile. Released at the latest when destroyed.
class TLibraryUse {
public:
    TLibraryUse() = default;
    ~TLibraryUse() { Release(); }
    TLibraryUse(const TLibraryUse&) = delete;
    TLibraryUse& operator=(const TLibraryUse&) = delete;
    void Acquire();
    void Release();

private:
    bool held_ = false;
};

// The process's loader.
TFFmpegLoader& FFLoader();

// The folder of the running executable (from /proc/self/exe), without a trailing "/".
std::string EngineProgramFolder();
