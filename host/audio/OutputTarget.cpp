#include "OutputTarget.h"

#include "AudioReader.h"
#include "host/commands/CommandLine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace {

// The number in /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N.
std::optional<int> descriptorNamed(const std::string& name) {
    if (name == "/dev/stdin") return 0;
    if (name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!name.starts_with(prefix)) continue;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        int number = -1;
        const auto [end, error] = std::from_chars(first, last, number);
        if (error == std::errc() && end == last && first != last) return number;
    }
    return std::nullopt;
}

bool isStreamNode(mode_t mode) { return S_ISFIFO(mode) || S_ISSOCK(mode); }

}  // namespace

OutputTarget resolveOutputTarget(const std::filesystem::path& out) {
    OutputTarget target;
    const std::optional<int> named = isStandardStream(out) ? 1 : descriptorNamed(out.string());
    if (named) {
        struct stat status {};
        if (fstat(*named, &status) != 0)
            throw UsageError(out.string() + ": descriptor " + std::to_string(*named) + " is not open");
        if (isatty(*named))
            throw UsageError(out.string() + ": refusing to write audio to a terminal; redirect it or name a file");
        target.kind = OutputTarget::Kind::Descriptor;
        target.descriptor = *named;
        // A device such as /dev/null takes any type, as a file does; only a pipe cannot go back.
        target.pipe = isStreamNode(status.st_mode);
        return target;
    }

    // Through any chain of symlinks to the name that is finally written, which need not exist yet.
    std::error_code error;
    std::filesystem::path path = out;
    for (int hops = 0; std::filesystem::is_symlink(path, error); ++hops) {
        if (hops == 40) throw UsageError(out.string() + ": too many levels of symbolic links");
        const auto link = std::filesystem::read_symlink(path, error);
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    target.path = path;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return target;  // a new file
    if (S_ISDIR(status.st_mode)) throw UsageError(out.string() + ": is a folder; several inputs go to DIR/");
    if (S_ISREG(status.st_mode)) {
        if (access(path.c_str(), W_OK) != 0)
            throw UsageError(out.string() + ": not writable (" + std::strerror(errno) +
                             "); change its permissions or choose another name");
        return target;
    }
    target.kind = OutputTarget::Kind::Node;
    target.pipe = isStreamNode(status.st_mode);
    if (S_ISCHR(status.st_mode)) {
        const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        const bool terminal = fd >= 0 && isatty(fd);
        if (fd >= 0) close(fd);
        if (terminal) throw UsageError(out.string() + ": refusing to write audio to a terminal; name a file");
    }
    return target;
}

int openOutputStream(const OutputTarget& target, const std::string& name) {
    if (target.kind == OutputTarget::Kind::Descriptor) return target.descriptor;
    // A FIFO's open waits for its reader, as a shell's redirection does.
    const int fd = open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(name + ": cannot open the output: " + std::strerror(errno));
    return fd;
}
