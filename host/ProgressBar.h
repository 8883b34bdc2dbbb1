// A progress bar on stderr for long work, drawn only when stderr is a terminal.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class ProgressBar {
public:
    // Nothing is drawn when disabled, when stderr is not a terminal, or before the work has taken
    // long enough to be worth watching.
    ProgressBar(std::int64_t total, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Safe from any thread.
    void advance(std::int64_t amount) { done_.fetch_add(amount, std::memory_order_relaxed); }

private:
    void draw(bool final);

    std::int64_t total_;
    std::atomic<std::int64_t> done_{0};
    bool drawn_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread painter_;
};
