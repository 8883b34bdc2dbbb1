#include "ModuleLibrary.h"

#include "ModuleCall.h"
#include "ModuleSearch.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) error = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* openLibrary(const std::string& path, std::string& error) {
    // Always a path by now: a bare name would make the loader search the library path.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) error = dlerror();
    return handle;
}
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }
#endif

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : path_(path) {
#ifndef _WIN32
    const auto located = locatedModule(path);
    if (!located)
        throw ModuleError("cannot load module " + path + ": there is none of that name in " + moduleFoldersText() +
                          " (a name with a slash, such as ./" + path + ", names a file anywhere)");
    path_ = *located;
#endif
    std::string error;
    {
        // Loading runs the module's own initialisation, which can crash like any of its calls.
        const ModuleCall call(path_.c_str(), "loading");
        handle_ = openLibrary(path_, error);
    }
    if (!handle_) throw ModuleError("cannot load module " + path_ + ": " + error);
    for (const char* name : {"main", "VSTPluginMain"}) {
        if (void* symbol = findSymbol(handle_, name)) {
            entry_ = reinterpret_cast<PluginEntryProc>(symbol);
            entryName_ = name;
            return;
        }
    }
    closeLibrary(handle_);
    handle_ = nullptr;
    throw ModuleError("module " + path_ + " exports neither main nor VSTPluginMain");
}

ModuleLibrary::~ModuleLibrary() {
    if (!handle_) return;
    const ModuleCall call(path_.c_str(), "unloading");
    closeLibrary(handle_);
}

ModuleLibrary::ModuleLibrary(ModuleLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), entry_(std::exchange(other.entry_, nullptr)),
      entryName_(std::move(other.entryName_)), path_(std::move(other.path_)) {}
