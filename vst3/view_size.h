// The editor view's size, shared by the views of both platforms: the page's
// zoom rules (webui/page_zoom.h) in VST3's rectangles.
#pragma once

#include <pluginterfaces/gui/iplugview.h>

#include "webui/page_zoom.h"

namespace yawp::vst3::view_size {

using page_zoom::kMaxScale;
using page_zoom::kMaxZoom;
using page_zoom::kMinScale;
using page_zoom::kMinZoom;
using page_zoom::already_fits;
using page_zoom::valid_scale;
using page_zoom::zoom_fitting;

// [main-thread] The editor's size at a scale and zoom, with its corner at 0, 0.
inline Steinberg::ViewRect size_at(double scale, double zoom) {
    const page_zoom::Size size = page_zoom::size_at(scale, zoom);
    return Steinberg::ViewRect(0, 0, size.width, size.height);
}

// [main-thread] A rectangle the host proposes, made one the page fills; its
// corner stays where it is.
inline void constrain(Steinberg::ViewRect* rect, double scale, double current_zoom) {
    const page_zoom::Size size = page_zoom::constrain({rect->getWidth(), rect->getHeight()}, scale, current_zoom);
    rect->right = rect->left + size.width;
    rect->bottom = rect->top + size.height;
}

}  // namespace yawp::vst3::view_size
