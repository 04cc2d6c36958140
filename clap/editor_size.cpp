#include "clap/editor_size.h"

#include <algorithm>

namespace yawp::clap {

namespace {

double valid_zoom(double zoom) {
    return std::isfinite(zoom) ? std::clamp(zoom, page_zoom::kMinZoom, page_zoom::kMaxZoom) : 1.0;
}

// A side as the zoom arithmetic takes it: an int, never past the largest.
int side(uint32_t length) { return int(std::min(length, EditorSize::kLargestSide)); }

}  // namespace

EditorSize::EditorSize(double zoom) : zoom_(valid_zoom(zoom)), size_(page_zoom::size_at(scale_, zoom_)) {}

// A scale sent again changes nothing: the size the host gave stays as it
// is rather than being rounded anew from the zoom.
bool EditorSize::set_scale(double scale) {
    if (!page_zoom::usable_scale(scale)) return false;
    scale_given_ = true;
    if (scale == scale_) return true;
    scale_ = scale;
    size_ = page_zoom::size_at(scale_, zoom_);
    return true;
}

bool EditorSize::adjust(uint32_t* width, uint32_t* height) const {
    if (width == nullptr || height == nullptr) return false;
    const double current = page_zoom::zoom_fitting(size_.width, size_.height, scale_);
    const page_zoom::Size fitted = page_zoom::constrain({side(*width), side(*height)}, scale_, current);
    *width = uint32_t(fitted.width);
    *height = uint32_t(fitted.height);
    return true;
}

bool EditorSize::set(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide) return false;
    size_ = {int(width), int(height)};
    zoom_ = page_zoom::zoom_fitting(size_.width, size_.height, scale_);
    return true;
}

clap_gui_resize_hints_t EditorSize::resize_hints() {
    clap_gui_resize_hints_t hints{};
    hints.can_resize_horizontally = true;
    hints.can_resize_vertically = true;
    hints.preserve_aspect_ratio = true;
    hints.aspect_ratio_width = uint32_t(page_size::kWidth);
    hints.aspect_ratio_height = uint32_t(page_size::kHeight);
    return hints;
}

}  // namespace yawp::clap
