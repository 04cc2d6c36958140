// One LV2 plug-in instance: the engine, its ports and the hand-over of
// parameter values between the audio thread and the state calls.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "engine/engine.h"
#include "engine/spin_guard.h"
#include "lv2/ports.h"
#include "lv2/time_position.h"

namespace yawp::lv2 {

struct Instance {
    Engine engine;
    float sample_rate = 0;
    void* ports[kPortCount] = {};

    // Per input parameter: the coerced value last read from its port, and
    // the value last handed to the engine (or restored and not yet applied).
    float host[catalogue::kInputCount] = {};
    float applied[catalogue::kInputCount] = {};

    // The guard protects `applied`, the engine's parameters and both flags.
    SpinGuard guard;
    bool in_sync = false;        // cleared by every state call, set by run
    bool state_pending = false;  // a restore waits for run

    Transport transport;
    LV2_Log_Logger logger{};
    LV2_URID_Map* map = nullptr;
    LV2_URID atom_chunk = 0;
    LV2_URID state_key = 0;
    TimeUrids time{};

    // Remembered during a save.
    LV2_State_Store_Function store = nullptr;
    LV2_State_Handle store_handle = nullptr;
};

// The state interface (save, restore) handed out by extension_data.
extern const LV2_State_Interface kStateInterface;

}  // namespace yawp::lv2
