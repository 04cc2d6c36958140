#include "host.h"

#include <cstdio>

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/time/time.h>

#include "lv2/uris.h"

namespace yawp::lv2host {

// ---- URID map

UridMap::UridMap() {
    map_.handle = this;
    map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); };
    unmap_.handle = this;
    unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<UridMap*>(h)->unmap(urid); };
}

LV2_URID UridMap::map(const char* uri) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < uris_.size(); ++i)
        if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
}

const char* UridMap::unmap(LV2_URID urid) {
    std::lock_guard lock(mutex_);
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

// ---- log

LogCapture::LogCapture() { log_ = {this, printf_cb, vprintf_cb}; }

int LogCapture::vprintf_cb(LV2_Log_Handle handle, LV2_URID type, const char* fmt, va_list args) {
    char text[1024];
    const int n = std::vsnprintf(text, sizeof text, fmt, args);
    auto* self = static_cast<LogCapture*>(handle);
    std::lock_guard lock(self->mutex_);
    self->messages_.push_back({type, text});
    return n;
}

int LogCapture::printf_cb(LV2_Log_Handle handle, LV2_URID type, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int n = vprintf_cb(handle, type, fmt, args);
    va_end(args);
    return n;
}

std::vector<LogMessage> LogCapture::messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

// ---- features

Features::Features(UridMap* map, LogCapture* log) {
    if (map != nullptr) {
        map_.data = map->map_feature();
        unmap_.data = map->unmap_feature();
        list_.push_back(&map_);
        list_.push_back(&unmap_);
    }
    if (log != nullptr) {
        log_.data = log->feature();
        list_.push_back(&log_);
    }
    list_.push_back(nullptr);
}

// ---- ports

PortSet::PortSet(UridMap* map) {
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) parameter(i) = static_cast<float>(catalogue::entry(i)->def);
    enable() = 1.0f;
    lv2_atom_forge_init(&forge, map->map_feature());
    time_position = map->map(LV2_TIME__Position);
    clear_events();
}

void* PortSet::buffer(uint32_t port) {
    switch (port) {
        case lv2::kPortAudioIn: return in;
        case lv2::kPortAudioOut: return out;
        case lv2::kPortEvents: return events;
        default: return &control[port];
    }
}

void PortSet::start_sequence() {
    lv2_atom_forge_set_buffer(&forge, events, sizeof events);
    lv2_atom_forge_sequence_head(&forge, &sequence_, 0);
}

void PortSet::end_sequence() { lv2_atom_forge_pop(&forge, &sequence_); }

void PortSet::clear_events() {
    start_sequence();
    end_sequence();
}

// ---- state calls

namespace {

struct Stored {
    std::vector<uint8_t>* bytes;
    StateCalls* calls;
};

struct Retrieved {
    const std::vector<uint8_t>* bytes;
    LV2_URID key;
    LV2_URID type;
};

LV2_State_Status store_cb(LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                          uint32_t flags) {
    auto* s = static_cast<Stored*>(h);
    const auto* p = static_cast<const uint8_t*>(value);
    s->bytes->assign(p, p + size);
    s->calls->stored_key = key;
    s->calls->stored_type = type;
    s->calls->stored_flags = flags;
    return LV2_STATE_SUCCESS;
}

const void* retrieve_cb(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
    auto* r = static_cast<Retrieved*>(h);
    if (r->bytes == nullptr || key != r->key) return nullptr;
    *size = r->bytes->size();
    *type = r->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    // An empty value is still a value: never hand out null for it.
    static const uint8_t nothing = 0;
    return r->bytes->empty() ? &nothing : r->bytes->data();
}

}  // namespace

StateCalls::StateCalls(const LV2_State_Interface* iface, LV2_Handle handle, UridMap* map,
                       const LV2_Feature* const* features)
    : iface_(iface),
      handle_(handle),
      features_(features),
      key_(map->map(YAWP_LV2_STATE_KEY)),
      chunk_(map->map(LV2_ATOM__Chunk)) {}

LV2_State_Status StateCalls::save(std::vector<uint8_t>* bytes) {
    Stored s{bytes, this};
    return iface_->save(handle_, store_cb, &s, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_);
}

LV2_State_Status StateCalls::restore(const std::vector<uint8_t>* bytes, LV2_URID type) {
    Retrieved r{bytes, key_, type};
    return iface_->restore(handle_, retrieve_cb, &r, 0, features_);
}

state::ParameterValues StateCalls::saved_values() {
    std::vector<uint8_t> bytes;
    state::ParameterValues values{};
    EXPECT_EQ(save(&bytes), LV2_STATE_SUCCESS);
    EXPECT_TRUE(decode_values(bytes, &values)) << "the saved document does not read back";
    return values;
}

bool decode_values(const std::vector<uint8_t>& bytes, state::ParameterValues* values) {
    state::Document doc;
    if (state::parse_document({bytes.data(), bytes.size()}, &doc) != 0) return false;
    return state::check_document(doc, values) == 0;
}

state::ParameterValues default_values() {
    state::ParameterValues values;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) values[i] = static_cast<float>(catalogue::entry(i)->def);
    return values;
}

}  // namespace yawp::lv2host
