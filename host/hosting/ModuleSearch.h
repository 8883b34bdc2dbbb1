// Where a module named without a folder is found: in the folders Linux hosts of the interface
// search, in the order they search them, and never in the current folder (a name with a slash,
// such as ./x.so, names a file anywhere).
#pragma once

#include <optional>
#include <string>
#include <vector>

// $VST_PATH, $LXVST_PATH (each a colon-separated list), ~/.vst, ~/.lxvst, /usr/local/lib/vst,
// /usr/local/lib/lxvst, /usr/lib/vst, /usr/lib/lxvst.
std::vector<std::string> moduleFolders();

// The first file of that name in those folders, or nothing; a name with a slash as it is.
std::optional<std::string> locatedModule(const std::string& name);

// "$VST_PATH, $LXVST_PATH, ~/.vst, ..., /usr/lib/lxvst", for messages.
std::string moduleFoldersText();
