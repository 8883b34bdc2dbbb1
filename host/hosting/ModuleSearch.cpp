#include "ModuleSearch.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

std::vector<std::string> moduleFolders() {
    std::vector<std::string> folders;
    for (const char* variable : {"VST_PATH", "LXVST_PATH"})
        if (const char* list = std::getenv(variable)) {
            std::istringstream parts(list);
            for (std::string folder; std::getline(parts, folder, ':');)
                if (!folder.empty()) folders.push_back(folder);
        }
    if (const char* home = std::getenv("HOME"); home && *home)
        for (const char* folder : {"/.vst", "/.lxvst"}) folders.push_back(std::string(home) + folder);
    for (const char* folder : {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"})
        folders.push_back(folder);
    return folders;
}

std::optional<std::string> locatedModule(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    for (const std::string& folder : moduleFolders()) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    }
    return std::nullopt;
}

std::string moduleFoldersText() {
    return "$VST_PATH, $LXVST_PATH, ~/.vst, ~/.lxvst, /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst or "
           "/usr/lib/lxvst";
}
