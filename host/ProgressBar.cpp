#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {
constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kWidth = 40;
}  // namespace

ProgressBar::ProgressBar(std::int64_t total, bool enabled) : total_(std::max<std::int64_t>(total, 1)) {
    if (!enabled || !isatty(STDERR_FILENO)) return;
    painter_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, kQuietStart, [this] { return stopping_; })) return;
        while (!wake_.wait_for(lock, kRedrawEvery, [this] { return stopping_; })) draw(false);
        draw(true);
    });
}

ProgressBar::~ProgressBar() {
    if (!painter_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    painter_.join();
}

void ProgressBar::draw(bool final) {
    if (final) {
        // The bar is cleared, so that what follows on the terminal starts on a clean line.
        if (drawn_) std::fprintf(stderr, "\r%*s\r", kWidth + 10, "");
        return;
    }
    const double fraction = std::min(1.0, static_cast<double>(done_.load(std::memory_order_relaxed)) /
                                              static_cast<double>(total_));
    const int filled = static_cast<int>(fraction * kWidth);
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kWidth - filled), ' ').c_str(), static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
    drawn_ = true;
}
