// The LV2 editor's size, on both systems: the page's 700 x 677 times the
// host's ui:scaleFactor, and the size the musician left an instance's editor
// at. An LV2 UI shares nothing with its plug-in instance, so the size is
// kept here, per instance (when the host tells which one through
// instance-access), for as long as this library stays loaded.
#pragma once

#include <lv2/core/lv2.h>

namespace yawp::lv2 {

struct UiSize {
    int width;
    int height;
};

// [main-thread] The host's ui:scaleFactor among its features (the options
// feature, read through its URID map), or 0 when it gives none or none
// that makes sense.
double ui_scale_factor(const LV2_Feature* const* features);

// [main-thread] The plug-in instance the host names (instance-access), or
// null.
const void* ui_instance(const LV2_Feature* const* features);

// [main-thread] The page's size at a scale (0: none given).
UiSize page_size_at(double scale);

// [main-thread] Where the musician left the editor of `instance`, else the
// page's size at the scale.
UiSize first_ui_size(const void* instance, double scale);

// [main-thread] Keeps the size of the editor of `instance` (null: nothing).
void keep_ui_size(const void* instance, UiSize size);

}  // namespace yawp::lv2
