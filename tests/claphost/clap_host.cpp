#include "clap_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace yawp::clap_test {

// ---- the module

#ifdef _WIN32

// The built module through the drive Z: that wine maps the Unix root to.
std::string module_path() {
    const char* chosen = std::getenv("YAWP_CLAP_TEST_MODULE");
    if (chosen != nullptr && chosen[0] != '\0') return chosen;
    std::string path = "Z:" YAWP_CLAP_MODULE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

LoadedModule::LoadedModule(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    handle_ = LoadLibraryW(wide.c_str());
    if (handle_ == nullptr) return;
    entry = reinterpret_cast<const clap_plugin_entry*>(GetProcAddress(static_cast<HMODULE>(handle_), "clap_entry"));
}

LoadedModule::~LoadedModule() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

#else

std::string module_path() {
    const char* chosen = std::getenv("YAWP_CLAP_TEST_MODULE");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : YAWP_CLAP_MODULE;
}

LoadedModule::LoadedModule(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    entry = static_cast<const clap_plugin_entry*>(dlsym(handle_, "clap_entry"));
}

LoadedModule::~LoadedModule() {
    if (handle_) dlclose(handle_);
}

#endif

EnteredModule::EnteredModule() {
    if (module.entry == nullptr) return;
    entered = module.entry->init(module_path().c_str());
    if (entered)
        factory = static_cast<const clap_plugin_factory*>(module.entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
}

EnteredModule::~EnteredModule() {
    if (entered) module.entry->deinit();
}

EnteredModule& shared_module() {
    static EnteredModule module;
    return module;
}

// ---- the host

namespace {

constexpr HostFunctionInfo kHostFunctions[] = {
    {"host.get_extension", ThreadRule::kAnyThread},
    {"host.request_restart", ThreadRule::kAnyThread},
    {"host.request_process", ThreadRule::kAnyThread},
    {"host.request_callback", ThreadRule::kAnyThread},
    {"params.rescan", ThreadRule::kMainThread},
    {"params.clear", ThreadRule::kMainThread},
    {"params.request_flush", ThreadRule::kNotAudioThread},
    {"log.log", ThreadRule::kAnyThread},
    {"thread_check.is_main_thread", ThreadRule::kAnyThread},
    {"thread_check.is_audio_thread", ThreadRule::kAnyThread},
    {"latency.changed", ThreadRule::kMainThread},
    {"tail.changed", ThreadRule::kAudioThread},
    {"state.mark_dirty", ThreadRule::kMainThread},
    {"audio_ports.is_rescan_flag_supported", ThreadRule::kMainThread},
    {"audio_ports.rescan", ThreadRule::kMainThread},
};
static_assert(std::size(kHostFunctions) == static_cast<size_t>(HostFunction::kCount));

constexpr const char* kRoleNames[] = {"the main thread", "the audio thread", "another thread"};

bool breaks(ThreadRule rule, Role role) {
    switch (rule) {
        case ThreadRule::kAnyThread: return false;
        case ThreadRule::kMainThread: return role != Role::kMain;
        case ThreadRule::kNotAudioThread: return role == Role::kAudio;
        case ThreadRule::kAudioThread: return role != Role::kAudio;
    }
    return false;
}

}  // namespace

const HostFunctionInfo& info_of(HostFunction f) { return kHostFunctions[static_cast<size_t>(f)]; }

TestHost::TestHost()
    : main_thread_(std::this_thread::get_id()), audio_thread_(std::this_thread::get_id()) {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "Yawp test host";
    host_.vendor = "Tallow.AUDIO";
    host_.url = "";
    host_.version = "1.0";
    host_.get_extension = get_extension;
    host_.request_restart = request_restart;
    host_.request_process = request_process;
    host_.request_callback = request_callback;
}

// The main thread when a thread is both (the tests that play no audio
// thread of their own).
Role TestHost::role_of(std::thread::id id) const {
    if (id == main_thread_.load()) return Role::kMain;
    if (id == audio_thread_.load()) return Role::kAudio;
    return Role::kOther;
}

void TestHost::record(HostFunction f) {
    const Role role = role_of(std::this_thread::get_id());
    counts_[static_cast<size_t>(f)][static_cast<size_t>(role)].fetch_add(1);
}

uint32_t TestHost::calls(HostFunction f, Role role) const {
    return counts_[static_cast<size_t>(f)][static_cast<size_t>(role)].load();
}

uint32_t TestHost::calls(HostFunction f) const {
    uint32_t n = 0;
    for (size_t r = 0; r < static_cast<size_t>(Role::kCount); ++r) n += calls(f, static_cast<Role>(r));
    return n;
}

std::vector<std::string> TestHost::misplaced_calls() const {
    std::vector<std::string> found;
    for (size_t f = 0; f < static_cast<size_t>(HostFunction::kCount); ++f)
        for (size_t r = 0; r < static_cast<size_t>(Role::kCount); ++r)
            if (counts_[f][r].load() > 0 && breaks(kHostFunctions[f].rule, static_cast<Role>(r)))
                found.push_back(std::string(kHostFunctions[f].name) + " from " + kRoleNames[r]);
    return found;
}

void TestHost::forget_calls() {
    for (auto& function : counts_)
        for (auto& count : function) count = 0;
    rescan_seen_ = 0;
    rescan_last_ = 0;
}

std::vector<std::string> TestHost::log_messages() const {
    std::lock_guard<std::mutex> lock(log_lock_);
    return log_messages_;
}

const void* TestHost::get_extension(const clap_host* h, const char* id) {
    TestHost* self = of(h);
    self->record(HostFunction::kGetExtension);
    if (id == nullptr) return nullptr;
    const std::string_view want = id;
    if (want == CLAP_EXT_PARAMS) return self->offer_params ? &self->params_ : nullptr;
    if (want == CLAP_EXT_LOG) return self->offer_log ? &self->log_ : nullptr;
    if (want == CLAP_EXT_THREAD_CHECK) return self->offer_thread_check ? &self->thread_check_ : nullptr;
    if (want == CLAP_EXT_LATENCY) return &self->latency_;
    if (want == CLAP_EXT_TAIL) return &self->tail_;
    if (want == CLAP_EXT_STATE) return &self->state_;
    if (want == CLAP_EXT_AUDIO_PORTS) return &self->audio_ports_;
    return self->more_extensions ? self->more_extensions(id) : nullptr;
}

void TestHost::request_restart(const clap_host* h) { of(h)->record(HostFunction::kRequestRestart); }
void TestHost::request_process(const clap_host* h) { of(h)->record(HostFunction::kRequestProcess); }
void TestHost::request_callback(const clap_host* h) { of(h)->record(HostFunction::kRequestCallback); }

void TestHost::params_rescan(const clap_host* h, clap_param_rescan_flags flags) {
    TestHost* self = of(h);
    self->record(HostFunction::kParamsRescan);
    self->rescan_seen_.fetch_or(flags);
    self->rescan_last_ = flags;
}

void TestHost::params_clear(const clap_host* h, clap_id, clap_param_clear_flags) {
    of(h)->record(HostFunction::kParamsClear);
}

void TestHost::params_request_flush(const clap_host* h) { of(h)->record(HostFunction::kParamsRequestFlush); }

void TestHost::log(const clap_host* h, clap_log_severity severity, const char* message) {
    TestHost* self = of(h);
    self->record(HostFunction::kLog);
    std::lock_guard<std::mutex> lock(self->log_lock_);
    self->log_messages_.push_back(std::to_string(severity) + ": " + (message ? message : "(null)"));
}

bool TestHost::is_main_thread(const clap_host* h) {
    of(h)->record(HostFunction::kIsMainThread);
    return std::this_thread::get_id() == of(h)->main_thread_.load();
}

bool TestHost::is_audio_thread(const clap_host* h) {
    of(h)->record(HostFunction::kIsAudioThread);
    return std::this_thread::get_id() == of(h)->audio_thread_.load();
}

void TestHost::latency_changed(const clap_host* h) { of(h)->record(HostFunction::kLatencyChanged); }
void TestHost::tail_changed(const clap_host* h) { of(h)->record(HostFunction::kTailChanged); }
void TestHost::state_mark_dirty(const clap_host* h) { of(h)->record(HostFunction::kStateMarkDirty); }

bool TestHost::audio_ports_rescan_flag_supported(const clap_host* h, uint32_t) {
    of(h)->record(HostFunction::kAudioPortsRescanFlagSupported);
    return true;
}

void TestHost::audio_ports_rescan(const clap_host* h, uint32_t) { of(h)->record(HostFunction::kAudioPortsRescan); }

// ---- events

namespace {

constexpr size_t kWord = sizeof(uint64_t);
constexpr size_t kRoomForEvents = 512;
constexpr size_t kRoomForWords = kRoomForEvents * 16;

}  // namespace

EventQueue::EventQueue() {
    words_.reserve(kRoomForWords);
    offsets_.reserve(kRoomForEvents);
    input_ = {this, size_of, get_of};
    output_ = {this, try_push};
}

bool EventQueue::push(const clap_event_header* event) {
    if (event == nullptr || event->size < sizeof(clap_event_header)) return false;
    const size_t start = words_.size();
    words_.resize(start + (event->size + kWord - 1) / kWord);
    std::memcpy(words_.data() + start, event, event->size);
    offsets_.push_back(start);
    return true;
}

const clap_event_header* EventQueue::get(uint32_t index) const {
    if (index >= offsets_.size()) return nullptr;
    return reinterpret_cast<const clap_event_header*>(words_.data() + offsets_[index]);
}

void EventQueue::clear() {
    words_.clear();
    offsets_.clear();
}

namespace {

clap_event_header header_of(uint32_t size, uint32_t time, uint16_t type) {
    return {size, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
}

}  // namespace

void EventQueue::param_value(uint32_t time, clap_id id, double value) {
    clap_event_param_value e{};
    e.header = header_of(sizeof e, time, CLAP_EVENT_PARAM_VALUE);
    e.param_id = id;
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = value;
    push(&e.header);
}

void EventQueue::param_mod(uint32_t time, clap_id id, double amount, int32_t note_id, int16_t key, int16_t channel,
                           int16_t port) {
    clap_event_param_mod e{};
    e.header = header_of(sizeof e, time, CLAP_EVENT_PARAM_MOD);
    e.param_id = id;
    e.note_id = note_id;
    e.port_index = port;
    e.channel = channel;
    e.key = key;
    e.amount = amount;
    push(&e.header);
}

void EventQueue::gesture(uint32_t time, uint16_t type, clap_id id) {
    clap_event_param_gesture e{};
    e.header = header_of(sizeof e, time, type);
    e.param_id = id;
    push(&e.header);
}

void EventQueue::transport(uint32_t time, const clap_event_transport& t) {
    clap_event_transport e = t;
    e.header = header_of(sizeof e, time, CLAP_EVENT_TRANSPORT);
    push(&e.header);
}

uint32_t EventQueue::size_of(const clap_input_events* list) { return static_cast<const EventQueue*>(list->ctx)->size(); }

const clap_event_header* EventQueue::get_of(const clap_input_events* list, uint32_t index) {
    return static_cast<const EventQueue*>(list->ctx)->get(index);
}

bool EventQueue::try_push(const clap_output_events* list, const clap_event_header* event) {
    auto* self = static_cast<EventQueue*>(list->ctx);
    return !self->refuse && self->push(event);
}

clap_event_transport make_transport(bool playing, double tempo, clap_beattime position, uint32_t flags_off,
                                    uint16_t numerator, uint16_t denominator) {
    clap_event_transport t{};
    t.header = header_of(sizeof t, 0, CLAP_EVENT_TRANSPORT);
    t.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
    if (playing) t.flags |= CLAP_TRANSPORT_IS_PLAYING;
    t.flags &= ~flags_off;
    t.tempo = tempo;
    t.song_pos_beats = position;
    // Bars of `numerator` quarter-note beats (the tests use x/4).
    const clap_beattime bar_length = CLAP_BEATTIME_FACTOR * numerator;
    t.bar_number = static_cast<int32_t>(position / bar_length);
    t.bar_start = t.bar_number * bar_length;
    t.tsig_num = numerator;
    t.tsig_denom = denominator;
    return t;
}

// ---- streams

ReadStream::ReadStream(std::vector<uint8_t> b) : bytes(std::move(b)) { stream_ = {this, read}; }

int64_t ReadStream::read(const clap_istream* s, void* buffer, uint64_t size) {
    auto* self = static_cast<ReadStream*>(s->ctx);
    ++self->calls;
    if (self->fail_at >= 0 && self->position >= static_cast<uint64_t>(self->fail_at)) return -1;
    const uint64_t length = std::max<uint64_t>(self->bytes.size(), self->garbage_to);
    uint64_t n = std::min(size, length - std::min(length, self->position));
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (self->fail_at >= 0) n = std::min(n, static_cast<uint64_t>(self->fail_at) - self->position);
    auto* to = static_cast<uint8_t*>(buffer);
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t at = self->position + i;
        to[i] = at < self->bytes.size() ? self->bytes[at] : uint8_t{0x5A};
    }
    self->position += n;
    return static_cast<int64_t>(n);
}

WriteStream::WriteStream() { stream_ = {this, write}; }

int64_t WriteStream::write(const clap_ostream* s, const void* buffer, uint64_t size) {
    auto* self = static_cast<WriteStream*>(s->ctx);
    ++self->calls;
    const auto have = static_cast<int64_t>(self->bytes.size());
    if (self->fail_at >= 0 && have >= self->fail_at) return -1;
    if (self->full_at >= 0 && have >= self->full_at) return 0;
    uint64_t n = size;
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (self->fail_at >= 0) n = std::min(n, static_cast<uint64_t>(self->fail_at - have));
    if (self->full_at >= 0) n = std::min(n, static_cast<uint64_t>(self->full_at - have));
    const auto* from = static_cast<const uint8_t*>(buffer);
    self->bytes.insert(self->bytes.end(), from, from + n);
    return static_cast<int64_t>(n);
}

// ---- an instance

const char* name_of(Buffers b) {
    switch (b) {
        case Buffers::k32: return "32-bit";
        case Buffers::k32InPlace: return "32-bit in place";
        case Buffers::k64: return "64-bit";
        case Buffers::k64InPlace: return "64-bit in place";
    }
    return "?";
}

Instance::Instance(TestHost& host, const clap_plugin_factory* factory) {
    if (factory == nullptr) {
        ADD_FAILURE() << "no plug-in factory from " << module_path();
        return;
    }
    plugin = factory->create_plugin(factory, host.clap(), kPluginId);
    if (plugin == nullptr) {
        ADD_FAILURE() << "the factory made no instance";
        return;
    }
    initialised = plugin->init(plugin);
    EXPECT_TRUE(initialised);
    look_up_extensions();
}

Instance::Instance(TestHost&, const clap_plugin* made) : plugin(made) {
    if (plugin == nullptr) {
        ADD_FAILURE() << "no instance";
        return;
    }
    initialised = plugin->init(plugin);
    EXPECT_TRUE(initialised);
    look_up_extensions();
}

Instance::~Instance() {
    if (plugin == nullptr) return;
    deactivate();
    plugin->destroy(plugin);
}

void Instance::look_up_extensions() {
    auto find = [this](const char* id) { return plugin->get_extension(plugin, id); };
    params = static_cast<const clap_plugin_params*>(find(CLAP_EXT_PARAMS));
    state = static_cast<const clap_plugin_state*>(find(CLAP_EXT_STATE));
    tail = static_cast<const clap_plugin_tail*>(find(CLAP_EXT_TAIL));
    latency = static_cast<const clap_plugin_latency*>(find(CLAP_EXT_LATENCY));
    audio_ports = static_cast<const clap_plugin_audio_ports*>(find(CLAP_EXT_AUDIO_PORTS));
}

bool Instance::activate(double rate, uint32_t max_frames, bool start_now) {
    if (plugin == nullptr) return false;
    in32_.assign(max_frames, 0.0f);
    out32_.assign(max_frames, 0.0f);
    in64_.assign(max_frames, 0.0);
    out64.assign(max_frames, 0.0);
    active = plugin->activate(plugin, rate, 1, max_frames);
    if (!start_now) return active;
    return active && start();
}

bool Instance::start() {
    processing = active && plugin->start_processing(plugin);
    return processing;
}

void Instance::deactivate() {
    if (processing) plugin->stop_processing(plugin);
    if (active) plugin->deactivate(plugin);
    processing = active = false;
}

clap_process_status Instance::process(uint32_t frames, const float* in, float* out, Buffers buffers,
                                      const BlockEvents& events) {
    if (frames > in32_.size()) {
        ADD_FAILURE() << frames << " frames in a block, more than activated for";
        return CLAP_PROCESS_ERROR;
    }
    // A float x and x + x/2^30 round to the same float.
    constexpr double kBeyondFloat = 1.0 / (1 << 30);
    for (uint32_t i = 0; i < frames; ++i) {
        in32_[i] = in ? in[i] : 0.0f;
        in64_[i] = static_cast<double>(in32_[i]) * (1.0 + kBeyondFloat);
        out32_[i] = 1.0f;  // whatever the plug-in does not write shows
        out64[i] = 1.0;
    }
    float* in32_channels[] = {in32_.data()};
    float* out32_channels[] = {buffers == Buffers::k32InPlace ? in32_.data() : out32_.data()};
    double* in64_channels[] = {in64_.data()};
    double* out64_channels[] = {buffers == Buffers::k64InPlace ? in64_.data() : out64.data()};

    clap_audio_buffer input{}, output{};
    input.channel_count = output.channel_count = 1;
    if (is_64(buffers)) {
        input.data64 = in64_channels;
        output.data64 = out64_channels;
    } else {
        input.data32 = in32_channels;
        output.data32 = out32_channels;
    }
    clap_process p{};
    p.steady_time = steady_time_;
    p.frames_count = frames;
    p.transport = events.transport;
    p.audio_inputs = &input;
    p.audio_outputs = &output;
    p.audio_inputs_count = p.audio_outputs_count = 1;
    p.in_events = (events.in ? events.in : &no_events_)->input();
    p.out_events = (events.out ? events.out : &dropped_events_)->output();
    const clap_process_status status = plugin->process(plugin, &p);
    steady_time_ += frames;
    dropped_events_.clear();

    if (buffers == Buffers::k64InPlace) std::copy_n(in64_.begin(), frames, out64.begin());
    for (uint32_t i = 0; out != nullptr && i < frames; ++i) {
        switch (buffers) {
            case Buffers::k32: out[i] = out32_[i]; break;
            case Buffers::k32InPlace: out[i] = in32_[i]; break;
            case Buffers::k64:
            case Buffers::k64InPlace: out[i] = static_cast<float>(out64[i]); break;
        }
    }
    return status;
}

double Instance::value(clap_id id) const {
    double v = 0;
    return params && params->get_value(plugin, id, &v) ? v : std::nan("");
}

std::vector<double> Instance::values() const {
    std::vector<double> all;
    for (clap_id id = 0; id < kParameterCount; ++id) all.push_back(value(id));
    return all;
}

std::vector<uint8_t> Instance::save() const {
    WriteStream stream;
    if (state == nullptr || !state->save(plugin, stream.clap())) return {};
    return stream.bytes;
}

bool Instance::load(const std::vector<uint8_t>& bytes) const {
    ReadStream stream(bytes);
    return state != nullptr && state->load(plugin, stream.clap());
}

// ---- text

std::string utf8_of(const char16_t* text) {
    std::string out;
    for (const char16_t* c = text; *c != 0; ++c) {
        uint32_t u = *c;
        if (u >= 0xD800 && u < 0xDC00 && c[1] >= 0xDC00 && c[1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (c[1] - 0xDC00);
            ++c;
        }
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

}  // namespace yawp::clap_test
