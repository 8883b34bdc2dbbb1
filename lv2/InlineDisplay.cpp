#include "InlineDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Opaque, so that premultiplying changes nothing.
constexpr std::uint32_t kBackground = 0xff1c1f24, kGrid = 0xff30353d, kZeroLine = 0xff6a717c;
constexpr std::uint32_t kFill = 0xff2c4254, kCurve = 0xfff0b440;

}  // namespace

ResponsePicture::~ResponsePicture() { std::free(pixels_); }

InlineDisplayImage* ResponsePicture::render(const DesignedResponse& response, double rate,
                                            const float (&bandParam)[kStageCount], std::uint32_t width,
                                            std::uint32_t maxHeight) {
    // A strip is wide and low: half as high as wide, within what the host allows.
    const std::uint32_t height = std::min(maxHeight, std::max<std::uint32_t>(width / 2, 8));
    if (width < 2 || height < 2 || width > 4096 || height > 4096) return nullptr;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (count > capacity_) {
        auto* grown = static_cast<std::uint32_t*>(std::realloc(pixels_, count * sizeof(std::uint32_t)));
        if (!grown) return nullptr;
        pixels_ = grown;
        capacity_ = count;
    }
    auto at = [&](std::uint32_t x, std::uint32_t y) -> std::uint32_t& { return pixels_[y * width + x]; };
    const double top = std::min(rate / 2.0, kHighestHz);
    const double span = static_cast<double>(height - 1);
    auto rowOf = [&](double db) { return std::clamp((kTopDb - db) / (kTopDb - kBottomDb) * span, 0.0, span); };
    auto columnOf = [&](double hz) { return std::log(hz / kLowestHz) / std::log(top / kLowestHz) * (width - 1); };

    std::fill_n(pixels_, count, kBackground);
    for (double hz : {100.0, 1000.0, 10000.0}) {
        const double x = columnOf(hz);
        if (x > 0.0 && x < width - 1)
            for (std::uint32_t y = 0; y < height; ++y) at(static_cast<std::uint32_t>(std::lround(x)), y) = kGrid;
    }
    const auto zeroRow = static_cast<std::uint32_t>(std::lround(rowOf(0.0)));
    for (double db : {12.0, -12.0}) {
        const auto y = static_cast<std::uint32_t>(std::lround(rowOf(db)));
        for (std::uint32_t x = 0; x < width; ++x) at(x, y) = kGrid;
    }
    for (std::uint32_t x = 0; x < width; ++x) at(x, zeroRow) = kZeroLine;

    // Each column joins the curve to the previous column's point, so that steep slopes stay whole.
    double previous = -1.0;
    for (std::uint32_t x = 0; x < width; ++x) {
        const double hz = kLowestHz * std::pow(top / kLowestHz, static_cast<double>(x) / (width - 1));
        const double row = rowOf(decibels(response.magnitude(bandParam, hz, rate)));
        const auto y = static_cast<std::uint32_t>(std::lround(row));
        for (std::uint32_t r = std::min(y, zeroRow) + 1; r < std::max(y, zeroRow); ++r) at(x, r) = kFill;
        const double from = previous < 0.0 ? row : std::min(previous, row), to = previous < 0.0 ? row : std::max(previous, row);
        for (auto r = static_cast<std::uint32_t>(std::lround(from)); r <= static_cast<std::uint32_t>(std::lround(to)); ++r)
            at(x, r) = kCurve;
        previous = row;
    }
    image_ = {reinterpret_cast<unsigned char*>(pixels_), static_cast<int>(width), static_cast<int>(height),
              static_cast<int>(width * sizeof(std::uint32_t))};
    return &image_;
}
