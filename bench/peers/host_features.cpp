#include "host_features.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

namespace yawp::peers {
namespace {

// The log prints each message on stderr, marked with its type.
int log_vprintf(LV2_Log_Handle handle, LV2_URID type, const char* fmt, va_list args) {
    const char* uri = static_cast<UridMap*>(handle)->unmap(type);
    const char* kind = uri != nullptr ? std::strrchr(uri, '#') : nullptr;
    std::fprintf(stderr, "plug-in %s: ", kind != nullptr ? kind + 1 : "log");
    return std::vfprintf(stderr, fmt, args);
}

int log_printf(LV2_Log_Handle handle, LV2_URID type, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int n = log_vprintf(handle, type, fmt, args);
    va_end(args);
    return n;
}

bool is_power_of_two(uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

// ---- URID map

UridMap::UridMap() {
    map_.handle = this;
    map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); };
    unmap_.handle = this;
    unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<UridMap*>(h)->unmap(urid); };
}

LV2_URID UridMap::map(const char* uri) {
    for (size_t i = 0; i < uris_.size(); ++i)
        if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
}

const char* UridMap::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

// ---- the feature list

HostFeatures::HostFeatures(uint32_t block, float sample_rate)
    : block_(static_cast<int32_t>(block)), sample_rate_(sample_rate) {
    log_ = {&map_, log_printf, log_vprintf};

    // The same length is the least, the most and the usual block length.
    const LV2_URID int_type = map_.map(LV2_ATOM__Int);
    const LV2_URID float_type = map_.map(LV2_ATOM__Float);
    const char* block_keys[] = {LV2_BUF_SIZE__minBlockLength, LV2_BUF_SIZE__maxBlockLength,
                                LV2_BUF_SIZE__nominalBlockLength};
    for (const char* key : block_keys)
        options_.push_back({LV2_OPTIONS_INSTANCE, 0, map_.map(key), sizeof block_, int_type, &block_});
    options_.push_back({LV2_OPTIONS_INSTANCE, 0, map_.map(LV2_PARAMETERS__sampleRate), sizeof sample_rate_,
                        float_type, &sample_rate_});
    options_.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});

    add(LV2_URID__map, map_.map_feature());
    add(LV2_URID__unmap, map_.unmap_feature());
    add(LV2_LOG__log, &log_);
    add(LV2_OPTIONS__options, options_.data());
    add(LV2_BUF_SIZE__boundedBlockLength, nullptr);
    add(LV2_BUF_SIZE__fixedBlockLength, nullptr);
    if (is_power_of_two(block)) add(LV2_BUF_SIZE__powerOf2BlockLength, nullptr);

    // Only now that features_ is complete may the list point into it.
    for (const LV2_Feature& f : features_) list_.push_back(&f);
    list_.push_back(nullptr);
}

void HostFeatures::add(const char* uri, void* data) { features_.push_back({uri, data}); }

bool HostFeatures::offers(const char* uri) const {
    for (const LV2_Feature& f : features_)
        if (std::strcmp(f.URI, uri) == 0) return true;
    return false;
}

}  // namespace yawp::peers
