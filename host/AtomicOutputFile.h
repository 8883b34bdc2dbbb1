// An output that appears whole or not at all: written to a temporary file beside its target and
// renamed over it once complete. The temporary file is removed on error, and on SIGINT or SIGTERM
// once installInterruptCleanup() has run.
#pragma once

#include <filesystem>

class AtomicOutputFile {
public:
    // Creates the temporary file; throws std::runtime_error when the target's folder is not writable.
    explicit AtomicOutputFile(const std::filesystem::path& target);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    const std::filesystem::path& target() const { return target_; }
    // Where to write; the name keeps the target's extension.
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // Renames the temporary file over the target.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int slot_ = -1;
    bool committed_ = false;
};

// How many outputs can be in progress at once: the interrupt handler's table of them is fixed.
inline constexpr int kMaxOutputsAtOnce = 256;

// Removes the outputs in progress on SIGINT and SIGTERM. A file-size limit (ulimit -f) is made to
// fail the write instead of killing the program, so that the output in progress is removed too.
void installInterruptCleanup();

// Whether two paths name the same file, also when one of them does not exist yet.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);
