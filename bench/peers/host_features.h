// The host features plug-ins commonly require or use: URID map and unmap, a
// log, the options interface with the block lengths and sample rate, and
// the buf-size promises about those block lengths.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

namespace yawp::peers {

// URIDs count up from 1 in the order URIs are first seen. The benchmark
// runs one plug-in on one thread, so the map needs no lock. A deque keeps
// the strings where they are as it grows, so what unmap() returned stays
// valid.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid) const;

    LV2_URID_Map* map_feature() { return &map_; }
    LV2_URID_Unmap* unmap_feature() { return &unmap_; }

private:
    std::deque<std::string> uris_;
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
};

// Everything a plug-in is offered, as one null-terminated list. The block
// length is fixed for the whole run, which the buf-size features promise.
class HostFeatures {
public:
    HostFeatures(uint32_t block, float sample_rate);
    HostFeatures(const HostFeatures&) = delete;
    HostFeatures& operator=(const HostFeatures&) = delete;

    const LV2_Feature* const* list() const { return list_.data(); }
    bool offers(const char* uri) const;
    UridMap& urids() { return map_; }

private:
    void add(const char* uri, void* data);

    UridMap map_;
    LV2_Log_Log log_;
    int32_t block_;
    float sample_rate_;
    std::vector<LV2_Options_Option> options_;
    std::vector<LV2_Feature> features_;
    std::vector<const LV2_Feature*> list_;
};

}  // namespace yawp::peers
