// How far the musician may zoom an editor, and the window sizes the page
// fills: the page's 700 x 677 logical pixels times the host's display scale
// (2 on a 200 % display) times the zoom (0.5 to 3), keeping the page's
// proportions. The same rules for every editor whose host lets it be
// resized: the VST3 views and the CLAP editor, on both platforms.
#pragma once

#include <algorithm>
#include <cmath>

#include "webui/page_size.h"

namespace yawp::page_zoom {

inline constexpr double kMinZoom = 0.5;
inline constexpr double kMaxZoom = 3.0;
// Display scales beyond any display's; a host that sends one means nothing
// sensible by it.
inline constexpr double kMinScale = 0.25;
inline constexpr double kMaxScale = 8.0;

struct Size {
    int width;
    int height;
};

// [any-thread] Whether a host's scale is one a display could have.
inline bool usable_scale(double scale) { return std::isfinite(scale) && scale >= kMinScale && scale <= kMaxScale; }

// [any-thread] The scale to use for what a host sent: 1 for nonsense.
inline double valid_scale(double scale) { return usable_scale(scale) ? scale : 1.0; }

// [any-thread] The page's size at a scale and zoom.
inline Size size_at(double scale, double zoom) {
    return {page_size::scaled_length(page_size::kWidth, scale * zoom),
            page_size::scaled_length(page_size::kHeight, scale * zoom)};
}

// [any-thread] The zoom at which the page fits inside a window of this size.
inline double zoom_fitting(int width, int height, double scale) {
    const double zoom = std::min(width / (page_size::kWidth * scale), height / (page_size::kHeight * scale));
    return std::clamp(std::isfinite(zoom) ? zoom : 1.0, kMinZoom, kMaxZoom);
}

// [any-thread] Sizes whose sides agree with the page's proportions to a
// pixel, within the zoom limits give or take a pixel's rounding, pass
// unchanged: a host that checks a size we gave it must get the same size
// back.
inline bool already_fits(int width, int height, double scale) {
    constexpr double kRounding = 1e-3;
    const double proportional = width * double(page_size::kHeight) / page_size::kWidth;
    const double zoom = std::min(width / (page_size::kWidth * scale), height / (page_size::kHeight * scale));
    return std::abs(height - proportional) <= 1.0 && zoom >= kMinZoom * (1 - kRounding) &&
           zoom <= kMaxZoom * (1 + kRounding);
}

// [any-thread] A size the host proposes, made one the page fills: its
// proportions, between the smallest and largest zoom. The side that moved
// further from the current zoom decides, so that dragging one edge works.
inline Size constrain(Size proposed, double scale, double current_zoom) {
    if (already_fits(proposed.width, proposed.height, scale)) return proposed;
    const double by_width = proposed.width / (page_size::kWidth * scale);
    const double by_height = proposed.height / (page_size::kHeight * scale);
    const bool width_leads = std::abs(by_width - current_zoom) >= std::abs(by_height - current_zoom);
    const double zoom = width_leads ? by_width : by_height;
    return size_at(scale, std::clamp(std::isfinite(zoom) ? zoom : current_zoom, kMinZoom, kMaxZoom));
}

}  // namespace yawp::page_zoom
