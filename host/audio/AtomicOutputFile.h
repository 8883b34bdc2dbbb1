// An output that appears whole or not at all: written to a temporary file beside its target and
// renamed over it once complete. Where the file system allows, the temporary file has no name
// until then (O_TMPFILE), so that nothing at all is left behind, whatever ends the program. The temporary file is removed on error, and by
// removeOutputsInProgress() when a signal ends the program.
#pragma once

#include <filesystem>
#include <string>

class AtomicOutputFile {
public:
    // Creates the temporary file, with the permissions of the file it replaces if there is one;
    // messages call it `name` (the user's name for it, which may be a symlink to `target`). Throws
    // std::runtime_error when the target's folder is not writable.
    explicit AtomicOutputFile(const std::filesystem::path& target, const std::string& name = "");
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    const std::filesystem::path& target() const { return target_; }
    // Where to write: /proc's name for the nameless file, or a hidden name beside the target.
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // Renames the temporary file over the target.
    void commit();

private:
    std::filesystem::path target_;
    std::string name_;
    std::filesystem::path temporary_;
    std::string pattern_;  // the hidden name in the folder, XXXXXX before the extension
    int suffixLength_ = 0;
    int anonymous_ = -1;   // the descriptor of a file that has no name yet
    int slot_ = -1;
    bool committed_ = false;
};

// How many outputs can be in progress at once: the interrupt handler's table of them is fixed.
inline constexpr int kMaxOutputsAtOnce = 256;

// Takes note of the process's umask for new outputs; call once before any thread starts.
void prepareOutputFiles();

// Removes every temporary output in progress; safe in a signal handler.
void removeOutputsInProgress();

// Whether two paths name the same file, also when one of them does not exist yet.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);
