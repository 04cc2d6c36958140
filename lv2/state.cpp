// The LV2 state interface: the whole state is one property, the state
// document, under the plug-in's state key as an atom:Chunk.
#include <cerrno>
#include <vector>

#include "lv2/instance.h"
#include "lv2/uris.h"
#include "state/document.h"

namespace yawp::lv2 {
namespace {

constexpr uint32_t kPropertyFlags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;

// [main-thread] Copies the values a save must write: the restored ones while
// a restore still waits for run, else the engine's own.
state::ParameterValues current_values(Instance* self) {
    state::ParameterValues values;
    self->guard.take();
    self->in_sync = false;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
        values[i] = self->state_pending ? self->applied[i] : self->engine.get_parameter(i);
    self->guard.release();
    return values;
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(h);
    if (self->map == nullptr) {
        lv2_log_error(&self->logger, "Host is trying to store state but didn't provide URID map\n");
        return LV2_STATE_ERR_UNKNOWN;
    }
    self->store = store;
    self->store_handle = handle;
    const float rate = self->sample_rate;
    const state::ParameterValues values = current_values(self);

    std::vector<uint8_t> bytes;
    if (state::save_document(state::kFormatLv2, rate, values, &bytes) != 0) return LV2_STATE_ERR_UNKNOWN;
    const LV2_State_Status status =
        store(handle, self->state_key, bytes.data(), bytes.size(), self->atom_chunk, kPropertyFlags);
    return status == LV2_STATE_SUCCESS ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

// Restore hooks: the checked values are parked as applied values under the
// guard; run hands them to the engine.
void restore_begin(void* user) {
    Instance* self = static_cast<Instance*>(user);
    self->guard.take();
    self->in_sync = false;
}

void restore_set(void* user, uint32_t index, float value) {
    Instance* self = static_cast<Instance*>(user);
    self->applied[index] = coerce_stored(index, value);
    self->state_pending = true;
}

void restore_end(void* user) { static_cast<Instance*>(user)->guard.release(); }

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(h);
    if (self->map == nullptr) {
        lv2_log_error(&self->logger, "Host is trying to restore state but didn't provide URID map\n");
        return LV2_STATE_ERR_UNKNOWN;
    }
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, self->state_key, &size, &type, &flags);
    if (data == nullptr) {
        lv2_log_error(&self->logger, "Cannot restore state since property <%s> could not be retrieved\n",
                      YAWP_LV2_STATE_KEY);
        return LV2_STATE_ERR_NO_PROPERTY;
    }
    const state::RestoreHooks hooks{self, restore_begin, restore_set, restore_end};
    const state::ByteView bytes{static_cast<const uint8_t*>(data), size};
    return state::restore_document(bytes, hooks) == 0 ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

}  // namespace

const LV2_State_Interface kStateInterface = {save, restore};

}  // namespace yawp::lv2
