// The editor view's size, shared by the views of both platforms. The page is
// laid out at 700 x 677 logical pixels; the host's pixels are that times the
// content scale the host reports (2 on a 200 % display), times the zoom the
// musician dragged the editor to (0.5 to 3, keeping the page's proportions).
#pragma once

#include <algorithm>
#include <cmath>

#include <pluginterfaces/gui/iplugview.h>

#include "webui/page_size.h"

namespace yawp::vst3::view_size {

inline constexpr double kMinZoom = 0.5;
inline constexpr double kMaxZoom = 3.0;
// Content scales beyond any display's; a host that sends one means nothing
// sensible by it.
inline constexpr double kMinScale = 0.25;
inline constexpr double kMaxScale = 8.0;

// [main-thread] The scale to use for what a host sent: 1 for nonsense.
inline double valid_scale(double scale) {
    return std::isfinite(scale) && scale >= kMinScale && scale <= kMaxScale ? scale : 1.0;
}

// [main-thread] The editor's size at a scale and zoom, with its corner at 0, 0.
inline Steinberg::ViewRect size_at(double scale, double zoom) {
    return Steinberg::ViewRect(0, 0, page_size::scaled_length(page_size::kWidth, scale * zoom),
                               page_size::scaled_length(page_size::kHeight, scale * zoom));
}

// [main-thread] The zoom at which the page fits inside a window of this size.
inline double zoom_fitting(int width, int height, double scale) {
    const double zoom = std::min(width / (page_size::kWidth * scale), height / (page_size::kHeight * scale));
    return std::clamp(std::isfinite(zoom) ? zoom : 1.0, kMinZoom, kMaxZoom);
}

// Sizes whose sides agree with the page's proportions to a pixel, within the
// zoom limits give or take a pixel's rounding, pass unchanged: a host that
// checks a size we gave it must get the same size back.
inline bool already_fits(int width, int height, double scale) {
    constexpr double kRounding = 1e-3;
    const double proportional = width * double(page_size::kHeight) / page_size::kWidth;
    const double zoom = std::min(width / (page_size::kWidth * scale), height / (page_size::kHeight * scale));
    return std::abs(height - proportional) <= 1.0 && zoom >= kMinZoom * (1 - kRounding) &&
           zoom <= kMaxZoom * (1 + kRounding);
}

// [main-thread] A rectangle the host proposes, made one the page fills: its
// proportions, between the smallest and largest zoom. The side that moved
// further from the current zoom decides, so that dragging one edge works.
inline void constrain(Steinberg::ViewRect* rect, double scale, double current_zoom) {
    if (already_fits(rect->getWidth(), rect->getHeight(), scale)) return;
    const double by_width = rect->getWidth() / (page_size::kWidth * scale);
    const double by_height = rect->getHeight() / (page_size::kHeight * scale);
    const bool width_leads = std::abs(by_width - current_zoom) >= std::abs(by_height - current_zoom);
    double zoom = width_leads ? by_width : by_height;
    zoom = std::clamp(std::isfinite(zoom) ? zoom : current_zoom, kMinZoom, kMaxZoom);
    const Steinberg::ViewRect size = size_at(scale, zoom);
    rect->right = rect->left + size.right;
    rect->bottom = rect->top + size.bottom;
}

}  // namespace yawp::vst3::view_size
