// Ardour's inline display: a picture of the chain's response that Ardour shows in the mixer strip.
// No Debian package declares the extension; these are its types as Ardour uses them.
#pragma once

#include "eq/DesignedResponse.h"

#include <cstddef>
#include <cstdint>

inline constexpr char kInlineDisplayInterfaceUri[] = "http://harrisonconsoles.com/lv2/inlinedisplay#interface";
inline constexpr char kInlineDisplayQueueDrawUri[] = "http://harrisonconsoles.com/lv2/inlinedisplay#queue_draw";

// cairo's ARGB32 layout: premultiplied, native-endian 32-bit pixels, rows `stride` bytes apart.
struct InlineDisplayImage {
    unsigned char* data;
    int width;
    int height;
    int stride;
};

template <typename Handle>
struct InlineDisplayInterface {
    InlineDisplayImage* (*render)(Handle instance, std::uint32_t width, std::uint32_t maxHeight);
};

// What the host offers for asking it to call render() again.
struct InlineDisplayQueueDraw {
    void* handle;
    void (*queueDraw)(void* handle);
};

// The whole chain's response from 20 Hz to the Nyquist frequency (at most 20 kHz) on a logarithmic
// axis, over a range of gains with 0 dB in the middle, drawn into memory the picture owns.
class ResponsePicture {
public:
    static constexpr double kLowestHz = 20.0, kHighestHz = 20000.0;
    static constexpr double kTopDb = 24.0, kBottomDb = -24.0;

    ResponsePicture() = default;
    ResponsePicture(const ResponsePicture&) = delete;
    ResponsePicture& operator=(const ResponsePicture&) = delete;
    ~ResponsePicture();

    // Null when there is no memory for the picture, or nothing to draw at that size.
    InlineDisplayImage* render(const DesignedResponse& response, double rate, const float (&bandParam)[kStageCount],
                               std::uint32_t width, std::uint32_t maxHeight);

private:
    std::uint32_t* pixels_ = nullptr;
    std::size_t capacity_ = 0;
    InlineDisplayImage image_{};
};
