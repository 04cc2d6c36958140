#include "lv2/ui_size.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "webui/page_size.h"

namespace yawp::lv2 {

namespace {

// Beyond any display's.
constexpr double kLargestScale = 8.0;

// A handful of instances is plenty for one host's open editors; the oldest
// entry makes room for a new one. Only the host's UI thread comes here.
constexpr size_t kKeptSizes = 16;

struct KeptSize {
    const void* instance;
    UiSize size;
};

KeptSize g_kept[kKeptSizes];
size_t g_next_kept = 0;

const void* feature_data(const LV2_Feature* const* features, const char* uri) {
    for (size_t i = 0; features != nullptr && features[i] != nullptr; ++i)
        if (features[i]->URI != nullptr && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

}  // namespace

double ui_scale_factor(const LV2_Feature* const* features) {
    const auto* options = static_cast<const LV2_Options_Option*>(feature_data(features, LV2_OPTIONS__options));
    const auto* map = static_cast<const LV2_URID_Map*>(feature_data(features, LV2_URID__map));
    if (options == nullptr || map == nullptr || map->map == nullptr) return 0;
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID float_type = map->map(map->handle, LV2_ATOM__Float);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value != nullptr; ++o) {
        if (o->key != key || o->type != float_type || o->size != sizeof(float) || o->value == nullptr) continue;
        float scale = 0;
        std::memcpy(&scale, o->value, sizeof scale);
        return std::isfinite(scale) && scale > 0 && scale <= kLargestScale ? scale : 0;
    }
    return 0;
}

const void* ui_instance(const LV2_Feature* const* features) {
    return feature_data(features, LV2_INSTANCE_ACCESS_URI);
}

UiSize page_size_at(double scale) {
    return {page_size::scaled_length(page_size::kWidth, scale), page_size::scaled_length(page_size::kHeight, scale)};
}

UiSize first_ui_size(const void* instance, double scale) {
    if (instance != nullptr)
        for (const KeptSize& kept : g_kept)
            if (kept.instance == instance) return kept.size;
    return page_size_at(scale);
}

void keep_ui_size(const void* instance, UiSize size) {
    if (instance == nullptr || size.width <= 0 || size.height <= 0) return;
    for (KeptSize& kept : g_kept)
        if (kept.instance == instance) {
            kept.size = size;
            return;
        }
    g_kept[g_next_kept] = {instance, size};
    g_next_kept = (g_next_kept + 1) % kKeptSizes;
}

}  // namespace yawp::lv2
