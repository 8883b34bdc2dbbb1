// What an output name stands for. Most name a file, which is replaced whole once complete (through
// a symlink, its target: the link stays). An existing device or FIFO is written through, never
// replaced: as root, replacing /dev/null with a plain file would break the whole system. A
// descriptor's name (/dev/stdout, /proc/self/fd/N) is written through that descriptor, as `-` is
// for standard output.
#pragma once

#include <filesystem>
#include <string>

struct OutputTarget {
    enum class Kind {
        File,        // `path`: the regular file to create or replace
        Node,        // `path`: an existing device or FIFO, opened and written through
        Descriptor,  // `descriptor`: an open descriptor of this process
    };
    Kind kind = Kind::File;
    std::filesystem::path path;
    int descriptor = -1;
    // Written as a stream no one can seek back in (a FIFO, a pipe, a socket): libsndfile cannot
    // complete WAV, AIFF or CAF headers there.
    bool pipe = false;
};

// Throws UsageError for a terminal, a folder or a file this user may not write.
OutputTarget resolveOutputTarget(const std::filesystem::path& out);

// Opens a Node or hands out the Descriptor; throws std::runtime_error naming `name`.
int openOutputStream(const OutputTarget& target, const std::string& name);
