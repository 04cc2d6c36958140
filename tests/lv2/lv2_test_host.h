// A minimal in-process LV2 host for the plug-in's unit tests: a URID map,
// a log that records messages, port buffers and atom sequences of time
// position objects. It builds in both lanes (lilv is not packaged for the
// Windows cross build).
#pragma once

#include <cstdarg>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include "engine/catalogue.h"
#include "lv2/instance.h"
#include "lv2/ports.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace yawp::test {

class UridMap {
public:
    LV2_URID map(const char* uri) {
        auto it = ids_.find(uri);
        if (it != ids_.end()) return it->second;
        const LV2_URID id = static_cast<LV2_URID>(ids_.size() + 1);
        ids_.emplace(uri, id);
        return id;
    }
    LV2_URID_Map* feature() { return &map_; }

private:
    static LV2_URID call(LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }
    std::map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_{this, call};
};

class RecordingLog {
public:
    std::vector<std::string> messages;
    LV2_Log_Log* feature() { return &log_; }

private:
    static int vprintf_(LV2_Log_Handle h, LV2_URID, const char* fmt, va_list ap) {
        char buf[512];
        const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
        static_cast<RecordingLog*>(h)->messages.emplace_back(buf);
        return n;
    }
    static int printf_(LV2_Log_Handle h, LV2_URID type, const char* fmt, ...) {
        va_list ap;
        va_start(ap, fmt);
        const int n = vprintf_(h, type, fmt, ap);
        va_end(ap);
        return n;
    }
    LV2_Log_Log log_{this, printf_, vprintf_};
};

// One plug-in instance with every port connected to a buffer of its own.
struct Host {
    static constexpr uint32_t kMaxBlock = 4096;
    static constexpr uint32_t kSequenceBytes = 4096;

    UridMap urids;
    RecordingLog log;
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    LV2_Handle handle = nullptr;

    std::vector<float> in = std::vector<float>(kMaxBlock, 0.0f);
    std::vector<float> out = std::vector<float>(kMaxBlock, 0.0f);
    float controls[lv2::kPortCount] = {};
    alignas(8) uint8_t sequence[kSequenceBytes] = {};
    LV2_Atom_Forge forge{};

    explicit Host(bool with_map = true, bool with_log = true, double rate = 48000) {
        LV2_Feature map_feature{LV2_URID__map, urids.feature()};
        LV2_Feature log_feature{LV2_LOG__log, log.feature()};
        std::vector<const LV2_Feature*> features;
        if (with_map) features.push_back(&map_feature);
        if (with_log) features.push_back(&log_feature);
        features.push_back(nullptr);
        handle = descriptor->instantiate(descriptor, rate, "/nowhere/", features.data());
        lv2_atom_forge_init(&forge, urids.feature());
        for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
            controls[lv2::port_of_parameter(i)] = static_cast<float>(catalogue::entry(i)->def);
        controls[lv2::kPortEnable] = 1.0f;
        connect_all();
        clear_events();
    }
    ~Host() {
        if (handle) descriptor->cleanup(handle);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    lv2::Instance* instance() { return static_cast<lv2::Instance*>(handle); }

    void connect_all() {
        descriptor->connect_port(handle, lv2::kPortAudioIn, in.data());
        descriptor->connect_port(handle, lv2::kPortAudioOut, out.data());
        descriptor->connect_port(handle, lv2::kPortEvents, sequence);
        for (uint32_t p = lv2::kPortFirstControl; p < lv2::kPortCount; ++p)
            descriptor->connect_port(handle, p, &controls[p]);
    }

    void set(uint32_t index, float value) { controls[lv2::port_of_parameter(index)] = value; }
    float meter(uint32_t index) { return controls[lv2::port_of_output(index)]; }
    void activate() { descriptor->activate(handle); }
    void run(uint32_t n) { descriptor->run(handle, n); }

    // Starts an empty event sequence for the next block.
    void clear_events() {
        lv2_atom_forge_set_buffer(&forge, sequence, sizeof sequence);
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_sequence_head(&forge, &frame, 0);
        lv2_atom_forge_pop(&forge, &frame);
    }

    // Time position objects: each is a list of (property URI, value) pairs.
    struct Property {
        const char* uri;
        double value;
    };
    void send_positions(std::initializer_list<std::initializer_list<Property>> objects) {
        lv2_atom_forge_set_buffer(&forge, sequence, sizeof sequence);
        LV2_Atom_Forge_Frame seq;
        lv2_atom_forge_sequence_head(&forge, &seq, 0);
        for (const auto& props : objects) {
            lv2_atom_forge_frame_time(&forge, 0);
            LV2_Atom_Forge_Frame obj;
            lv2_atom_forge_object(&forge, &obj, 0, urids.map(LV2_TIME__Position));
            for (const Property& p : props) {
                lv2_atom_forge_key(&forge, urids.map(p.uri));
                const std::string key = p.uri;
                if (key == LV2_TIME__beat)
                    lv2_atom_forge_double(&forge, p.value);
                else if (key == LV2_TIME__beatUnit)
                    lv2_atom_forge_int(&forge, static_cast<int32_t>(p.value));
                else if (key == LV2_TIME__bar)
                    lv2_atom_forge_long(&forge, static_cast<int64_t>(p.value));
                else
                    lv2_atom_forge_float(&forge, static_cast<float>(p.value));
            }
            lv2_atom_forge_pop(&forge, &obj);
        }
        lv2_atom_forge_pop(&forge, &seq);
    }

    const LV2_State_Interface* state() {
        return static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    }
};

// A host's property store for one state property.
struct StateStore {
    std::vector<uint8_t> bytes;
    uint32_t key = 0, type = 0, flags = 0;
    bool present = false;
    LV2_State_Status store_result = LV2_STATE_SUCCESS;

    static LV2_State_Status store(LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                                  uint32_t flags) {
        auto* s = static_cast<StateStore*>(h);
        const auto* p = static_cast<const uint8_t*>(value);
        s->bytes.assign(p, p + size);
        s->key = key;
        s->type = type;
        s->flags = flags;
        s->present = true;
        return s->store_result;
    }
    static const void* retrieve(LV2_State_Handle h, uint32_t, size_t* size, uint32_t* type, uint32_t* flags) {
        auto* s = static_cast<StateStore*>(h);
        if (!s->present) return nullptr;
        *size = s->bytes.size();
        *type = s->type;
        *flags = s->flags;
        return s->bytes.data();
    }
};

}  // namespace yawp::test
