// A progress line on stderr for long work, drawn only when stderr is a terminal: the files being
// processed, a bar, the share done and an estimate of the time left, fitted to the terminal's width.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ProgressBar {
public:
    // Nothing is drawn when disabled, when stderr is not a terminal, or before the work has taken
    // long enough to be worth watching. A total of 0 means unknown: then only the time so far shows.
    ProgressBar(std::int64_t total, bool enabled);
    // Clears the line, so that what follows starts on a clean one.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Safe from any thread.
    void advance(std::int64_t amount) { done_.fetch_add(amount, std::memory_order_relaxed); }
    // The files being processed now, all named on the line: several jobs run at once.
    void startFile(const std::string& name);
    void finishFile(const std::string& name);

private:
    void draw();

    std::int64_t total_;
    std::atomic<std::int64_t> done_{0};
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::vector<std::string> running_;
    bool drawn_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread painter_;
};

struct ParameterRequest;
struct ResolvedSettings;
class ModuleLibrary;

// Gain requests resolved with a progress line for a search that takes a while (a slow module's
// responses), the time so far shown as for any long work.
ResolvedSettings resolvedWithProgress(const ModuleLibrary& module, const std::vector<ParameterRequest>& requests,
                                      double moduleRate, double audioRate, bool allowOutside, bool showProgress);

// The line for `columns` terminal columns, never wider than columns - 1 (a character in the last
// column leaves some terminals waiting to wrap). Exposed for the tests.
std::string progressLine(const std::string& fileName, double fraction, bool fractionKnown, double elapsedSeconds,
                         int columns);
