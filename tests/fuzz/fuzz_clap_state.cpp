// The CLAP module's state loading, through its own entry point and factory
// as a host meets them, with the host's stream cutting every read short.
//
// Input: a header, then the bytes the stream serves.
//   byte 0    bits 0-3  how many read sizes follow (0: each read gets all
//                       it asks for)
//             bit 4     the stream ends in an error (-1), not an end (0)
//             bit 5     after the load, the host flushes the parameters
//             bit 6     after the load, the instance is activated and
//                       processes one block
//   byte 1    the values before the load: 0 the defaults, n a factory
//             preset (n - 1, wrapping round)
//   then      the read sizes, one byte each (each read gets at most that
//             many bytes plus one), taken in turn
//   then      the bytes of the stream
//
// Checks: the load is accepted exactly when the shared restore accepts the
// bytes and the stream did not fail; a refused load changes no value; an
// accepted one sets each value to the document's, coerced into its range,
// and saved again (through short writes) the instance's state loads into a
// fresh instance with the same values.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <clap/clap.h>

#include "engine/catalogue.h"
#include "fuzz_check.h"
#include "presets/factory.h"
#include "state/document.h"

namespace {

namespace cat = yawp::catalogue;
using Values = std::array<double, cat::kInputCount>;

constexpr size_t kHeaderSize = 2;
constexpr uint8_t kReadSizeCountMask = 0x0f;
constexpr uint8_t kEndsInError = 0x10;
constexpr uint8_t kFlushAfterLoad = 0x20;
constexpr uint8_t kProcessAfterLoad = 0x40;
constexpr uint32_t kBlockFrames = 32;
constexpr double kSampleRate = 48000.0;

// --- the host ------------------------------------------------------------------

void CLAP_ABI rescan(const clap_host*, clap_param_rescan_flags) {}
void CLAP_ABI clear(const clap_host*, clap_id, clap_param_clear_flags) {}
void CLAP_ABI request_flush(const clap_host*) {}
constexpr clap_host_params kHostParams = {rescan, clear, request_flush};

const void* CLAP_ABI host_extension(const clap_host*, const char* id) {
    return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &kHostParams : nullptr;
}
void CLAP_ABI host_request(const clap_host*) {}

const clap_host kHost = {
    CLAP_VERSION_INIT, nullptr, "Yawp fuzz host", "Tallow.AUDIO", nullptr, "1",
    host_extension,    host_request, host_request, host_request,
};

// The module, entered once for the whole run as a host keeps it.
const clap_plugin_factory* plugin_factory() {
    static const clap_plugin_factory* factory = [] {
        FUZZ_CHECK(clap_entry.init("fuzz_clap_state"));
        return static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    }();
    FUZZ_CHECK(factory != nullptr);
    return factory;
}

// One instance, made and initialised through the factory.
class Instance {
public:
    Instance() {
        const clap_plugin_factory* factory = plugin_factory();
        plugin_ = factory->create_plugin(factory, &kHost, "audio.tallow.yawp-wah");
        FUZZ_CHECK(plugin_ != nullptr && plugin_->init(plugin_));
        params_ = static_cast<const clap_plugin_params*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
        state_ = static_cast<const clap_plugin_state*>(plugin_->get_extension(plugin_, CLAP_EXT_STATE));
        presets_ = static_cast<const clap_plugin_preset_load*>(plugin_->get_extension(plugin_, CLAP_EXT_PRESET_LOAD));
        FUZZ_CHECK(params_ != nullptr && state_ != nullptr && presets_ != nullptr);
    }
    ~Instance() { plugin_->destroy(plugin_); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    Values values() const {
        Values out{};
        for (uint32_t i = 0; i < cat::kInputCount; ++i) FUZZ_CHECK(params_->get_value(plugin_, i, &out[i]));
        return out;
    }
    bool load(const clap_istream* stream) const { return state_->load(plugin_, stream); }
    bool save(const clap_ostream* stream) const { return state_->save(plugin_, stream); }
    void load_preset(const char* id) const {
        FUZZ_CHECK(presets_->from_location(plugin_, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, id));
    }
    void flush() const { params_->flush(plugin_, &kNoInput, &kNoOutput); }

    // Active, one block of silence, inactive again.
    void process_a_block() const {
        FUZZ_CHECK(plugin_->activate(plugin_, kSampleRate, 1, kBlockFrames));
        FUZZ_CHECK(plugin_->start_processing(plugin_));
        float in[kBlockFrames] = {}, out[kBlockFrames] = {};
        float* in_channels[] = {in};
        float* out_channels[] = {out};
        clap_audio_buffer input{in_channels, nullptr, 1, 0, 0};
        clap_audio_buffer output{out_channels, nullptr, 1, 0, 0};
        clap_process process{0, kBlockFrames, nullptr, &input, &output, 1, 1, &kNoInput, &kNoOutput};
        FUZZ_CHECK(plugin_->process(plugin_, &process) != CLAP_PROCESS_ERROR);
        plugin_->stop_processing(plugin_);
        plugin_->deactivate(plugin_);
    }

private:
    static uint32_t CLAP_ABI no_events(const clap_input_events*) { return 0; }
    static const clap_event_header* CLAP_ABI no_event(const clap_input_events*, uint32_t) { return nullptr; }
    static bool CLAP_ABI drop_event(const clap_output_events*, const clap_event_header*) { return true; }
    static constexpr clap_input_events kNoInput = {nullptr, no_events, no_event};
    static constexpr clap_output_events kNoOutput = {nullptr, drop_event};

    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_params* params_ = nullptr;
    const clap_plugin_state* state_ = nullptr;
    const clap_plugin_preset_load* presets_ = nullptr;
};

// --- the streams ---------------------------------------------------------------

// How much each read or write may move, in turn; everything asked for when
// there are no sizes.
struct Cuts {
    const uint8_t* sizes;
    size_t count;
    size_t next = 0;

    uint64_t limit(uint64_t asked) {
        if (count == 0) return asked;
        const uint64_t most = uint64_t{sizes[next++ % count]} + 1;
        return most < asked ? most : asked;
    }
};

struct Source {
    const uint8_t* data;
    size_t size;
    size_t served = 0;
    bool ends_in_error;
    Cuts cuts;
};

int64_t CLAP_ABI read_source(const clap_istream* stream, void* buffer, uint64_t size) {
    auto* source = static_cast<Source*>(stream->ctx);
    FUZZ_CHECK(buffer != nullptr || size == 0);
    const size_t left = source->size - source->served;
    if (left == 0) return source->ends_in_error ? -1 : 0;
    const size_t n = static_cast<size_t>(source->cuts.limit(size < left ? size : left));
    std::memcpy(buffer, source->data + source->served, n);
    source->served += n;
    return static_cast<int64_t>(n);
}

struct Sink {
    std::vector<uint8_t> bytes;
    Cuts cuts;
};

int64_t CLAP_ABI write_sink(const clap_ostream* stream, const void* buffer, uint64_t size) {
    auto* sink = static_cast<Sink*>(stream->ctx);
    const auto n = static_cast<size_t>(sink->cuts.limit(size));
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    sink->bytes.insert(sink->bytes.end(), bytes, bytes + n);
    return static_cast<int64_t>(n);
}

// --- the checks ------------------------------------------------------------------

bool same(const Values& a, const Values& b) { return std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0; }

// What the shared restore makes of the bytes: accepted or not, and the
// values it hands over.
bool restore(const uint8_t* data, size_t size, yawp::state::ParameterValues* values) {
    yawp::state::RestoreHooks hooks;
    hooks.user = values;
    hooks.set = [](void* user, uint32_t i, float v) { (*static_cast<yawp::state::ParameterValues*>(user))[i] = v; };
    return yawp::state::restore_document({data, size}, hooks) == 0;
}

void check_in_range(const Values& values) {
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        const cat::RangeEntry* range = cat::entry(i);
        FUZZ_CHECK(!std::isnan(values[i]) && values[i] >= range->minimum && values[i] <= range->maximum);
    }
}

// The values before the load: the defaults, or a factory preset.
void choose_start(const Instance& instance, uint8_t choice) {
    const auto presets = yawp::presets::factory();
    if (choice == 0 || presets.empty()) return;
    instance.load_preset(presets[(choice - 1u) % presets.size()].id);
}

// Saves the instance and loads the save into a fresh instance.
void check_save_loads_back(const Instance& instance, const Values& values, Cuts cuts) {
    Sink sink{{}, cuts};
    const clap_ostream out{&sink, write_sink};
    FUZZ_CHECK(instance.save(&out));
    Source source{sink.bytes.data(), sink.bytes.size(), 0, false, cuts};
    const clap_istream in{&source, read_source};
    Instance fresh;
    FUZZ_CHECK(fresh.load(&in));
    FUZZ_CHECK(same(fresh.values(), values));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    const uint8_t flags = data[0];
    const size_t cut_count = flags & kReadSizeCountMask;
    if (size < kHeaderSize + cut_count) return 0;
    const Cuts cuts{data + kHeaderSize, cut_count};
    const uint8_t* document = data + kHeaderSize + cut_count;
    const size_t document_size = size - kHeaderSize - cut_count;

    Instance instance;
    choose_start(instance, data[1]);
    const Values before = instance.values();

    Source source{document, document_size, 0, (flags & kEndsInError) != 0, cuts};
    const clap_istream stream{&source, read_source};
    const bool loaded = instance.load(&stream);
    yawp::state::ParameterValues stored{};
    const bool acceptable = !source.ends_in_error && restore(document, document_size, &stored);
    FUZZ_CHECK(loaded == acceptable);
    if (loaded) FUZZ_CHECK(source.served == document_size);

    if (flags & kFlushAfterLoad) instance.flush();
    if (flags & kProcessAfterLoad) instance.process_a_block();
    const Values after = instance.values();
    check_in_range(after);
    if (!loaded) {
        FUZZ_CHECK(same(after, before));
        return 0;
    }
    for (uint32_t i = 0; i < cat::kInputCount; ++i)
        FUZZ_CHECK(after[i] == static_cast<float>(cat::coerce(i, stored[i])));
    check_save_loads_back(instance, after, cuts);
    return 0;
}
