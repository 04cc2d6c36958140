// The editor page's own size in pixels: its layout is built for it, and
// every editor (both formats, both platforms) asks its host for it first.
// The page scales as a whole to other sizes.
#pragma once

#include <cmath>

namespace yawp::page_size {

inline constexpr int kWidth = 700;
inline constexpr int kHeight = 677;

// [any-thread] A length of the page's layout at a display scale, in pixels,
// rounded; without a usable scale (0, negative, not a number) the page's own.
inline int scaled_length(int length, double scale) {
    return std::isfinite(scale) && scale > 0 ? int(std::lround(length * scale)) : length;
}

}  // namespace yawp::page_size
