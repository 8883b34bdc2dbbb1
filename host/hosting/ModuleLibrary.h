// A plug-in module loaded from a file, and its entry. Modules of this interface export `main`;
// those of later revisions export `VSTPluginMain` as well or instead.
#pragma once

#include "plugin/AEffect.h"

#include <stdexcept>
#include <string>

using PluginEntryProc = AEffect*(SIXBAND_CDECL*)(audioMasterCallback audioMaster);

class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ModuleLibrary {
public:
    // Loads the module and finds its entry; throws ModuleError with a one-line reason otherwise.
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();
    ModuleLibrary(ModuleLibrary&& other) noexcept;
    ModuleLibrary& operator=(ModuleLibrary&&) = delete;
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    PluginEntryProc entry() const { return entry_; }
    const std::string& entryName() const { return entryName_; }
    const std::string& path() const { return path_; }

private:
    void* handle_ = nullptr;
    PluginEntryProc entry_ = nullptr;
    std::string entryName_;
    std::string path_;
};
