#include "ProgressBar.h"

#include "host/measuring/ParameterResolution.h"

#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kFallbackColumns = 80;
constexpr int kWidestBar = 40;
constexpr int kNarrowestBar = 10;       // "[########]": narrower says nothing the percentage does not
constexpr int kShortestNameShown = 12;  // beside a bar, a name is cut no shorter than this
// The estimate of the time left waits until the rate of progress means something.
constexpr double kEstimateAfterSeconds = 1.0;

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kFallbackColumns;
}

// The columns a file name takes, character by character: names are UTF-8 whatever the locale, and
// a control character (a newline in a name) would break the line, so it shows as '?'.
struct Glyph {
    std::string bytes;
    int columns;
};
std::vector<Glyph> glyphs(const std::string& text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    const locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(nullptr);
    std::vector<Glyph> result;
    std::mbstate_t state{};
    for (std::size_t i = 0; i < text.size();) {
        wchar_t character = 0;
        const std::size_t length = std::mbrtowc(&character, text.data() + i, text.size() - i, &state);
        if (length == 0 || length > text.size() - i) {
            result.push_back({"?", 1});
            state = {};
            ++i;
            continue;
        }
        const int columns = utf8 ? ::wcwidth(character) : 1;
        if (columns < 0) result.push_back({"?", 1});
        else result.push_back({text.substr(i, length), columns});
        i += length;
    }
    if (utf8) uselocale(previous);
    return result;
}

int widthOf(const std::vector<Glyph>& text) {
    int columns = 0;
    for (const auto& g : text) columns += g.columns;
    return columns;
}

// The name in at most `columns` columns, cut at the end with "..." when it does not fit.
std::string fitted(const std::vector<Glyph>& name, int columns) {
    std::string text;
    if (widthOf(name) <= columns) {
        for (const auto& g : name) text += g.bytes;
        return text;
    }
    int used = 0;
    for (const auto& g : name) {
        if (used + g.columns > columns - 3) break;
        text += g.bytes;
        used += g.columns;
    }
    return text + "...";
}

std::string clockText(double seconds) {
    const auto total = static_cast<long>(std::lround(seconds));
    char text[32];
    if (total >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

std::string progressLine(const std::string& fileName, double fraction, bool fractionKnown, double elapsedSeconds,
                         int columns) {
    int room = columns - 1;
    // In order of what matters most when the room runs short: the share done, the time left, the
    // name, the bar.
    std::string share;
    std::string time;
    if (fractionKnown) {
        char text[16];
        std::snprintf(text, sizeof text, " %3d%%", static_cast<int>(fraction * 100.0));
        share = text;
        if (elapsedSeconds >= kEstimateAfterSeconds && fraction > 0.0)
            time = " " + clockText(elapsedSeconds * (1.0 - fraction) / fraction) + " left";
    } else {
        time = " " + clockText(elapsedSeconds);
    }
    std::string line;
    if (static_cast<int>(share.size()) > room) return line;
    room -= static_cast<int>(share.size());
    if (static_cast<int>(time.size()) + 4 <= room) room -= static_cast<int>(time.size());
    else time.clear();

    const auto name = glyphs(fileName);
    const int nameWidth = widthOf(name);
    int barWidth = 0;
    int nameColumns = 0;
    if (fractionKnown && room >= nameWidth + 1 + kNarrowestBar) {
        nameColumns = nameWidth;
        barWidth = std::min(kWidestBar, room - nameWidth - 1);
    } else if (fractionKnown && room >= kShortestNameShown + 1 + kNarrowestBar) {
        nameColumns = room - 1 - kNarrowestBar;
        barWidth = kNarrowestBar;
    } else if (room >= 4) {
        nameColumns = std::min(nameWidth, room);
    }
    if (nameColumns > 0) line = fitted(name, nameColumns);
    if (barWidth > 0) {
        const int inside = barWidth - 2;
        const int filled = std::clamp(static_cast<int>(fraction * inside), 0, inside);
        line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(inside - filled), ' ') + "]";
    }
    // A name alone leaves the space before the share done to separate them.
    return line + share + time;
}

ProgressBar::ProgressBar(std::int64_t total, bool enabled) : total_(std::max<std::int64_t>(total, 0)) {
    if (!enabled || !isatty(STDERR_FILENO)) return;
    painter_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, kQuietStart, [this] { return stopping_; })) return;
        while (!wake_.wait_for(lock, kRedrawEvery, [this] { return stopping_; })) draw();
        if (drawn_) std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
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

void ProgressBar::startFile(const std::string& name) {
    std::lock_guard lock(mutex_);
    running_.push_back(name);
}

void ProgressBar::finishFile(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto it = std::find(running_.begin(), running_.end(), name);
    if (it != running_.end()) running_.erase(it);
}

void ProgressBar::draw() {
    const double done = static_cast<double>(done_.load(std::memory_order_relaxed));
    const bool known = total_ > 0;
    const double fraction = known ? std::min(1.0, done / static_cast<double>(total_)) : 0.0;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
    // Erasing to the end of the line removes what a longer previous line left behind.
    std::string names;
    for (const std::string& name : running_) names += (names.empty() ? "" : ", ") + name;
    const std::string line = progressLine(names, fraction, known, elapsed.count(), terminalColumns());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

ResolvedSettings resolvedWithProgress(const ModuleLibrary& module, const std::vector<ParameterRequest>& requests,
                                      double moduleRate, double audioRate, bool allowOutside, bool showProgress) {
    const bool measured = std::any_of(requests.begin(), requests.end(), [](const ParameterRequest& r) { return !r.unit.empty(); });
    ProgressBar progress(0, showProgress && measured);
    progress.startFile("finding the settings asked for");
    return resolveSettings(module, requests, moduleRate, audioRate, allowOutside);
}
