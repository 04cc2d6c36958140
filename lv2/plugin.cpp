// The LV2 descriptor: instantiate, connect_port, activate, run, cleanup.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "engine/fp_mode.h"
#include "lv2/instance.h"
#include "lv2/uris.h"

namespace yawp::lv2 {
namespace {

using catalogue::kInputCount;

// Exact comparison in which NaN differs from everything.
bool same(float a, float b) { return a == b; }

float* control_port(Instance* self, uint32_t port) { return static_cast<float*>(self->ports[port]); }

void set_engine_parameter(Instance* self, uint32_t i, float v) {
    self->applied[i] = v;
    self->engine.set_parameter(i, v);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    Instance* self = new (std::nothrow) Instance;
    if (self == nullptr) return nullptr;

    LV2_Log_Log* log = nullptr;
    LV2_URID_Map* map = nullptr;
    lv2_features_query(features, LV2_LOG__log, &log, false, LV2_URID__map, &map, true, nullptr);
    lv2_log_logger_init(&self->logger, map, log);
    self->map = map;
    if (map == nullptr) {
        lv2_log_error(&self->logger, "Missing feature <%s>\n", LV2_URID__map);
    } else {
        self->atom_chunk = map->map(map->handle, LV2_ATOM__Chunk);
        self->state_key = map->map(map->handle, YAWP_LV2_STATE_KEY);
        self->time.map_all(map);
    }

    self->engine.initialise();
    self->sample_rate = static_cast<float>(rate);
    self->engine.set_sample_rate(self->sample_rate);
    return self;
}

void connect_port(LV2_Handle h, uint32_t port, void* data) {
    Instance* self = static_cast<Instance*>(h);
    if (port < kPortCount) self->ports[port] = data;
}

void activate(LV2_Handle h) {
    Instance* self = static_cast<Instance*>(h);
    for (uint32_t i = 0; i < kInputCount; ++i) {
        const float* port = control_port(self, port_of_parameter(i));
        const float v = port ? coerce_port(i, *port) : static_cast<float>(catalogue::entry(i)->def);
        self->host[i] = v;
        self->engine.set_parameter(i, v);
    }
    for (uint32_t i = 0; i < kInputCount; ++i) self->applied[i] = self->host[i];
    self->guard.release();
    self->in_sync = true;
    self->state_pending = false;
    self->engine.reset();
    self->transport.valid = 0;
}

// [audio-thread] After a state call: apply the restored values, or every
// port change that arrived while the guard was taken.
void resynchronise(Instance* self) {
    for (uint32_t i = 0; i < kInputCount; ++i) {
        if (self->state_pending) {
            self->host[i] = self->applied[i];
            self->engine.set_parameter(i, self->applied[i]);
        } else if (!same(self->host[i], self->applied[i])) {
            set_engine_parameter(self, i, self->host[i]);
        }
    }
    self->in_sync = true;
    self->state_pending = false;
}

// [audio-thread]
void read_control_ports(Instance* self, bool holds_guard) {
    for (uint32_t i = 0; i < kInputCount; ++i) {
        const float* port = control_port(self, port_of_parameter(i));
        if (port == nullptr) continue;
        const float v = coerce_port(i, *port);
        if (same(v, self->host[i])) continue;
        self->host[i] = v;
        if (holds_guard) set_engine_parameter(self, i, v);
    }
}

// [audio-thread] The engine keeps its outputs finite, but not inside their
// ranges: each port gets the value the catalogue bounds to the port's
// lv2:minimum and lv2:maximum.
void write_meters(Instance* self) {
    const EngineOutputs o = self->engine.outputs();
    const float values[catalogue::kOutputCount] = {o.mod_position, o.lfo_phase, o.lfo_output, o.env_output};
    for (uint32_t k = 0; k < catalogue::kOutputCount; ++k) {
        const uint32_t index = kInputCount + k;
        float* port = control_port(self, port_of_output(index));
        if (port != nullptr) *port = catalogue::meter_for_host(index, values[k]);
    }
}

// [audio-thread] Never waits: when a state call holds the guard, port
// changes are noted and reach the engine in a later block.
void run(LV2_Handle h, uint32_t n) {
    Instance* self = static_cast<Instance*>(h);
    DenormalsOff denormals_off;

    const bool holds_guard = self->guard.try_take();
    if (holds_guard && !self->in_sync) resynchronise(self);
    read_control_ports(self, holds_guard);
    if (holds_guard) self->guard.release();

    const auto* events = self->map ? static_cast<const LV2_Atom_Sequence*>(self->ports[kPortEvents]) : nullptr;
    take_time_position(events, self->time, &self->transport);

    const auto* in = static_cast<const float*>(self->ports[kPortAudioIn]);
    auto* out = static_cast<float*>(self->ports[kPortAudioOut]);
    if (in != nullptr && out != nullptr) {
        self->engine.process(in, out, n, self->transport);
    } else {
        // A host that forgot an audio port gets silence, not a crash.
        self->engine.take_transport(self->transport);
        if (out != nullptr) std::fill(out, out + n, 0.0f);
    }
    write_meters(self);
}

void cleanup(LV2_Handle h) { delete static_cast<Instance*>(h); }

const void* extension_data(const char* uri) {
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    YAWP_LV2_URI, instantiate, connect_port, activate, run, nullptr, cleanup, extension_data,
};

}  // namespace
}  // namespace yawp::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &yawp::lv2::kDescriptor : nullptr;
}
