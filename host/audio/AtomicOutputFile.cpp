#include "AtomicOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// The signal handler may only touch lock-free atomics and fixed storage, so live temporary files
// are kept in a fixed table rather than a container.
constexpr int kSlots = kMaxOutputsAtOnce;
constexpr std::size_t kPathCapacity = 4096;
struct Slot {
    std::atomic<bool> live{false};
    bool claimed = false;  // guarded by slotsMutex; the path belongs to the claiming thread alone
    char path[kPathCapacity];
};
std::array<Slot, kSlots> slots;
std::mutex slotsMutex;
static_assert(std::atomic<bool>::is_always_lock_free);

int claimSlot() {
    std::lock_guard lock(slotsMutex);
    for (int i = 0; i < kSlots; ++i) {
        auto& slot = slots[static_cast<std::size_t>(i)];
        if (!slot.claimed) {
            slot.claimed = true;
            return i;
        }
    }
    throw std::runtime_error("too many output files open at once");
}

void releaseSlot(int i) {
    std::lock_guard lock(slotsMutex);
    auto& slot = slots[static_cast<std::size_t>(i)];
    slot.live.store(false);
    slot.claimed = false;
}

mode_t creationMode() {
    // The mode an ordinary new file gets; mkstemp's 0600 would make outputs private.
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

void prepareOutputFiles() { creationMode(); }

void removeOutputsInProgress() {
    for (auto& slot : slots)
        if (slot.live.load()) unlink(slot.path);
}

AtomicOutputFile::AtomicOutputFile(const std::filesystem::path& target, const std::string& name)
    : target_(target), name_(name.empty() ? target.string() : name) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string extension = target.extension().string();
    std::string stem = target.stem().string();
    // The temporary name adds 16 characters; a target name near the folder's limit still works
    // when the stem gives way.
    const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t limit = longest > 0 ? static_cast<std::size_t>(longest) : 255;
    constexpr std::size_t kAdded = std::char_traits<char>::length("..sixband-XXXXXX");
    if (kAdded + extension.size() + 1 > limit) extension.clear();
    if (kAdded + stem.size() + extension.size() > limit) stem.resize(limit - kAdded - extension.size());
    std::string pattern = (folder / ("." + stem + ".sixband-XXXXXX" + extension)).string();
    if (pattern.size() >= kPathCapacity) throw std::runtime_error(name_ + ": path too long");

    pattern_ = pattern;
    suffixLength_ = static_cast<int>(extension.size());
    slot_ = claimSlot();

    // Nameless until complete, where the file system can: then not even SIGKILL or a power cut
    // leaves a partial file behind. Written through /proc's name for the descriptor.
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 && access("/proc/self/fd", X_OK) == 0) {
        anonymous_ = fd;
        temporary_ = "/proc/self/fd/" + std::to_string(fd);
    } else {
        if (fd >= 0) close(fd);
        auto& slot = slots[static_cast<std::size_t>(slot_)];
        std::memcpy(slot.path, pattern.c_str(), pattern.size() + 1);
        // Live before the file exists: an interruption between the two then removes nothing or the
        // new file, never leaves it behind.
        slot.live.store(true);
        fd = mkstemps(slot.path, suffixLength_);
        if (fd >= 0) temporary_ = slot.path;
    }
    if (fd < 0) {
        const std::string reason = std::strerror(errno);
        releaseSlot(slot_);
        throw std::runtime_error(name_ + ": cannot create the output: " + reason);
    }
    // A file that is replaced keeps its permissions, and as root its owner and group, as cp keeps
    // them; a new one gets those of any new file.
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        if (geteuid() == 0 && fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not every file system keeps owners: the permissions below still hold.
        }
        fchmod(fd, existing.st_mode & 07777);
    } else {
        fchmod(fd, creationMode());
    }
    if (anonymous_ < 0) close(fd);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (anonymous_ >= 0) {
        close(anonymous_);
    } else if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
    releaseSlot(slot_);
}

void AtomicOutputFile::commit() {
    std::string linked = temporary_.string();
    if (anonymous_ >= 0) {
        // A name in the folder first, then the rename over the target: rename is what replaces a
        // file atomically. The name is live for the handler while it exists.
        auto& slot = slots[static_cast<std::size_t>(slot_)];
        std::minstd_rand pick(static_cast<unsigned>(std::random_device{}()));
        for (int attempt = 0;; ++attempt) {
            std::string name = pattern_;
            const std::size_t x = name.size() - static_cast<std::size_t>(suffixLength_) - 6;
            for (std::size_t i = 0; i < 6; ++i) name[x + i] = "abcdefghijklmnopqrstuvwxyz0123456789"[pick() % 36];
            std::memcpy(slot.path, name.c_str(), name.size() + 1);
            slot.live.store(true);
            if (linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, slot.path, AT_SYMLINK_FOLLOW) == 0) {
                linked = name;
                break;
            }
            slot.live.store(false);
            if (errno != EEXIST || attempt == 100)
                throw std::runtime_error(name_ + ": cannot move the finished output into place: " +
                                         std::strerror(errno));
        }
    }
    if (std::rename(linked.c_str(), target_.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        if (anonymous_ >= 0) unlink(linked.c_str());
        throw std::runtime_error(name_ + ": cannot move the finished output into place: " + reason);
    }
    committed_ = true;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::exists(a, error) && std::filesystem::exists(b, error))
        return std::filesystem::equivalent(a, b, error);
    return std::filesystem::weakly_canonical(a, error) == std::filesystem::weakly_canonical(b, error);
}
