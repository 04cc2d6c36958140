// The pieces of an LV2 host the tests need: a URID map, a log that keeps
// every message, a port set with buffers for all 39 ports, and direct calls
// into the plug-in's state interface.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "lv2/ports.h"
#include "state/document.h"

namespace yawp::lv2host {

// URIDs count up from 1 in the order URIs are first seen. Thread-safe, as
// the URID feature requires.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);

    LV2_URID_Map* map_feature() { return &map_; }
    LV2_URID_Unmap* unmap_feature() { return &unmap_; }

private:
    std::mutex mutex_;
    std::deque<std::string> uris_;  // a deque keeps c_str() stable as it grows
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
};

struct LogMessage {
    LV2_URID type;
    std::string text;
};

// The log feature: formats each message and keeps it.
class LogCapture {
public:
    LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    LV2_Log_Log* feature() { return &log_; }
    std::vector<LogMessage> messages();
    void clear();

private:
    static int vprintf_cb(LV2_Log_Handle handle, LV2_URID type, const char* fmt, va_list args);
    static int printf_cb(LV2_Log_Handle handle, LV2_URID type, const char* fmt, ...);

    std::mutex mutex_;
    std::vector<LogMessage> messages_;
    LV2_Log_Log log_;
};

// A null-terminated feature list: URID map and unmap and the log, each
// optional.
class Features {
public:
    Features(UridMap* map, LogCapture* log);
    const LV2_Feature* const* get() const { return list_.data(); }

private:
    LV2_Feature map_{LV2_URID__map, nullptr};
    LV2_Feature unmap_{LV2_URID__unmap, nullptr};
    LV2_Feature log_{LV2_LOG__log, nullptr};
    std::vector<const LV2_Feature*> list_;
};

// Buffers for every port, as a host keeps them. Control values are indexed
// by port number; the inputs start at their catalogue defaults and the
// enable port at 1.
struct PortSet {
    static constexpr uint32_t kMaxBlock = 4096;
    static constexpr uint32_t kEventCapacity = 4096;

    explicit PortSet(UridMap* map);

    float in[kMaxBlock] = {};
    float out[kMaxBlock] = {};
    float control[lv2::kPortCount] = {};
    alignas(8) uint8_t events[kEventCapacity] = {};

    // The pointer connect_port should get for a port.
    void* buffer(uint32_t port);

    float& parameter(uint32_t catalogue_index) { return control[lv2::port_of_parameter(catalogue_index)]; }
    float& enable() { return control[lv2::kPortEnable]; }
    float meter(uint32_t catalogue_index) const { return control[lv2::port_of_output(catalogue_index)]; }

    // The event buffer as an empty sequence, or one holding a single
    // time:Position object written by `fill` between the frame push and pop.
    void clear_events();
    template <typename Fill>
    void position_event(Fill fill) {
        start_sequence();
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &frame, 0, time_position);
        fill(&forge);
        lv2_atom_forge_pop(&forge, &frame);
        end_sequence();
    }

    LV2_Atom_Forge forge{};
    LV2_URID time_position = 0;

private:
    void start_sequence();
    void end_sequence();
    LV2_Atom_Forge_Frame sequence_{};
};

// The plug-in's state interface called directly, the way a host does.
class StateCalls {
public:
    StateCalls(const LV2_State_Interface* iface, LV2_Handle handle, UridMap* map, const LV2_Feature* const* features);

    // save(); the stored property's value lands in `bytes`.
    LV2_State_Status save(std::vector<uint8_t>* bytes);

    // restore() from a retrieve function that hands out `bytes` with the
    // given type (or reports the property missing when `bytes` is null).
    LV2_State_Status restore(const std::vector<uint8_t>* bytes, LV2_URID type);
    LV2_State_Status restore(const std::vector<uint8_t>& bytes) { return restore(&bytes, chunk_); }

    // The 32 values a save reports right now; fails the test on any error.
    state::ParameterValues saved_values();

    // What the last save stored besides the bytes.
    LV2_URID stored_key = 0;
    LV2_URID stored_type = 0;
    uint32_t stored_flags = 0;

private:
    const LV2_State_Interface* iface_;
    LV2_Handle handle_;
    const LV2_Feature* const* features_;
    LV2_URID key_;
    LV2_URID chunk_;
};

// The values inside a state document; false when it does not parse or
// fails the restore checks.
bool decode_values(const std::vector<uint8_t>& bytes, state::ParameterValues* values);

// The catalogue defaults of the 32 input parameters.
state::ParameterValues default_values();

}  // namespace yawp::lv2host
