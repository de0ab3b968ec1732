#include "engine/library/FFmpegLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <mutex>

#include "engine/library/FFmpegApi.h"
#include "engine/library/FFmpegLogger.h"

namespace {

struct TLibraryRow {
    TLibraryItem Item;
    ff::TEntryPointList (*EntryPoints)();
};

// Indexed by TLibrary.
const TLibraryRow kRows[kLibraryCount] = {
    {{TLibrary::avCodec, "libavcodec.so", 59}, &ff::AvCodecEntryPoints},
    {{TLibrary::avDevice, "libavdevice.so", 59}, &ff::AvDeviceEntryPoints},
    {{TLibrary::avFilter, "libavfilter.so", 8}, &ff::AvFilterEntryPoints},
    {{TLibrary::avFormat, "libavformat.so", 59}, &ff::AvFormatEntryPoints},
    {{TLibrary::avUtil, "libavutil.so", 57}, &ff::AvUtilEntryPoints},
    {{TLibrary::swScale, "libswscale.so", 6}, &ff::SwScaleEntryPoints},
    {{TLibrary::swResample, "libswresample.so", 4}, &ff::SwResampleEntryPoints},
    {{TLibrary::myUtil, "libc.so", 6}, &ff::LibcEntryPoints},
    {{TLibrary::lbSDL, "libSDL2-2.0.so", 0}, &ff::SdlEntryPoints},
};

struct TLoaderState {
    std::recursive_mutex mutex;
    int users = 0;  // open engine objects (TLibraryUse holders)
    std::array<TLibraryStatus, kLibraryCount> statuses;
    std::string lastErrMsg;
    std::string libraryPath;

    TLoaderState() {
        for (int i = 0; i < kLibraryCount; ++i)
            statuses[i].Lib = static_cast<TLibrary>(i);
    }
};

TLoaderState& State() {
    static TLoaderState state;
    return state;
}

TLibraryStatus& StatusOf(TLibrary lib) {
    return State().statuses[static_cast<int>(lib)];
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string DlError() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}

void Unfix(TLibrary lib) {
    const ff::TEntryPointList list = kRows[static_cast<int>(lib)].EntryPoints();
    for (int i = 0; i < list.Count; ++i)
        list.Entries[i].Set(nullptr);
}

// Looks every entry point of the library up; on a missing required one returns false with the
// message and leaves none of the library's pointers set.
bool Fixup(TLibrary lib, const std::string& libName, void* handle, std::string& error) {
    const ff::TEntryPointList list = kRows[static_cast<int>(lib)].EntryPoints();
    for (int i = 0; i < list.Count; ++i) {
        const ff::TEntryPoint& entry = list.Entries[i];
        dlerror();
        void* address = dlsym(handle, entry.Name);
        if (!address && !entry.Optional) {
            error = "Load function " + std::string(entry.Name) + "@" + libName + " error: " + DlError();
            Unfix(lib);
            return false;
        }
        entry.Set(address);
    }
    return true;
}

void RequireNonEmpty(TLibraries libraries) {
    if (libraries.Empty()) throw EEngineAssertion("empty library set", "FFmpegLoader");
}

}  // namespace

TFFmpegLoader::TFFmpegLoader() = default;

const TLibraryItem& TFFmpegLoader::Item(TLibrary library) {
    return kRows[static_cast<int>(library)].Item;
}

std::string TFFmpegLoader::LibraryFileName(TLibrary library) {
    const TLibraryItem& item = Item(library);
    std::string name = item.Name;
    if (item.Version >= 0) name += "." + std::to_string(item.Version);
    return name;
}

bool TFFmpegLoader::Load(TLibrary library) {
    TLoaderState& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    TLibraryStatus& status = StatusOf(library);

    if (!status.Handle) {
        const std::string name = status.Name.empty() ? LibraryFileName(library) : status.Name;
        const size_t slash = name.rfind('/');
        std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        if (folder.empty() && !state.libraryPath.empty()) {
            folder = state.libraryPath;
            if (folder.back() != '/') folder += '/';
        }
        // RTLD_NODELETE: unloading only drops our handle and pointers; the code stays mapped, so
        // a pointer another thread copied just before cannot end up in unmapped memory.
        const int mode = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
        std::string path;
        if (!folder.empty() && FileExists(folder + file))
            path = folder + file;
        else
            path = file;  // the system's search order
        dlerror();
        void* handle = dlopen(path.c_str(), mode);
        if (!handle) {
            state.lastErrMsg = "Load library " + folder + file + " error: " + DlError();
            return false;
        }
        status.Handle = handle;
        status.Path = path;
    }

    if (!status.Fixuped) {
        std::string error;
        if (Fixup(library, status.Path, status.Handle, error)) {
            status.Fixuped = true;
        } else {
            state.lastErrMsg = error;
            Release(library);  // never usable, so nobody can be using it
            return false;
        }
    }

    if (library == TLibrary::avUtil && installLogger_) GetFFLogger().InstallAVLogCallback();
    return true;
}

bool TFFmpegLoader::Load(TLibraries libraries) {
    RequireNonEmpty(libraries);
    TLoaderState& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    TLibraries before;
    for (TLibrary lib : kLoadOrder)
        if (libraries.Contains(lib) && Loaded(lib)) before = before | TLibraries{lib};
    for (TLibrary lib : kLoadOrder) {
        if (!libraries.Contains(lib)) continue;
        if (!Load(lib)) {
            // While engine objects are open, the libraries they use stay; only what this call
            // opened goes again.
            for (int i = kLibraryCount - 1; i >= 0; --i) {
                const TLibrary loaded = kLoadOrder[i];
                if (libraries.Contains(loaded) && (state.users == 0 || !before.Contains(loaded)))
                    Release(loaded);
            }
            return false;
        }
    }
    return true;
}

bool TFFmpegLoader::Loaded(TLibrary library) const {
    TLoaderState& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    const TLibraryStatus& status = StatusOf(library);
    return status.Handle && status.Fixuped;
}

bool TFFmpegLoader::Loaded(TLibraries libraries) const {
    RequireNonEmpty(libraries);
    for (TLibrary lib : kLoadOrder)
        if (libraries.Contains(lib) && !Loaded(lib)) return false;
    return true;
}

bool TFFmpegLoader::RefuseInUse() const {
    TLoaderState& state = State();
    if (state.users == 0) return false;
    state.lastErrMsg = "Cannot unload the media libraries while they are in use.";
    return true;
}

bool TFFmpegLoader::Unload(TLibrary library) {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    if (RefuseInUse()) return false;
    Release(library);
    return true;
}

bool TFFmpegLoader::Unload(TLibraries libraries) {
    RequireNonEmpty(libraries);
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    if (RefuseInUse()) return false;
    // Users before the libraries they depend on.
    for (int i = kLibraryCount - 1; i >= 0; --i)
        if (libraries.Contains(kLoadOrder[i])) Release(kLoadOrder[i]);
    return true;
}

void TFFmpegLoader::Release(TLibrary library) {
    TLoaderState& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    TLibraryStatus& status = StatusOf(library);
    if (status.Fixuped) {
        Unfix(library);
        status.Fixuped = false;
    }
    if (status.Handle) {
        dlclose(status.Handle);
        status.Handle = nullptr;
        status.Path.clear();
    }
}

int TFFmpegLoader::Users() const {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().users;
}

void TLibraryUse::Acquire() {
    if (held_) return;
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    ++State().users;
    held_ = true;
}

void TLibraryUse::Release() {
    if (!held_) return;
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    --State().users;
    held_ = false;
}

std::string TFFmpegLoader::LastErrMsg() const {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().lastErrMsg;
}

std::string TFFmpegLoader::LibraryPath() const {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().libraryPath;
}

void TFFmpegLoader::SetLibraryPath(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    State().libraryPath = path;
}

std::string TFFmpegLoader::LibraryName(TLibrary library) const {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return StatusOf(library).Name;
}

void TFFmpegLoader::SetLibraryName(TLibrary library, const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    StatusOf(library).Name = name;
}

TLibraryStatus TFFmpegLoader::Status(TLibrary library) const {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return StatusOf(library);
}

TFFmpegLoader& FFLoader() {
    static TFFmpegLoader loader;
    return loader;
}

std::string EngineProgramFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}
