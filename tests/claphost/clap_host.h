// A small CLAP host for the tests. It loads the built module by its path as
// a DAW does, enters it through clap_entry, and plays the host's side of
// every extension the plug-in may talk to, counting each call the plug-in
// makes into the host and the thread it came on. Event lists and streams
// live in memory, and the streams can be told to misbehave.
//
// Host objects live on the test's stack and must outlive the instances that
// were given them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <clap/clap.h>

namespace yawp::clap_test {

inline constexpr const char* kPluginId = "audio.tallow.yawp-wah";
inline constexpr uint32_t kParameterCount = 32;
inline constexpr uint32_t kMaxFrames = 4096;  // what the tests activate with

// ---- the module

// The module in this lane, as the system's file calls take it: the built
// one, or YAWP_CLAP_TEST_MODULE when set (an installed or packaged copy).
std::string module_path();

// A module file loaded (dlopen, LoadLibraryW) and its clap_entry found; not
// entered. Unloaded at the end; whoever called init calls deinit first.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const clap_plugin_entry* entry = nullptr;

private:
    void* handle_ = nullptr;
};

// The module loaded and entered once for every test that needs no fresh
// one; left and unloaded when the program ends.
struct EnteredModule {
    EnteredModule();
    ~EnteredModule();
    LoadedModule module{module_path()};
    bool entered = false;
    const clap_plugin_factory* factory = nullptr;
};
EnteredModule& shared_module();

// ---- the host

// The host functions a plug-in may call, and on which threads CLAP lets it.
enum class HostFunction : uint32_t {
    kGetExtension,
    kRequestRestart,
    kRequestProcess,
    kRequestCallback,
    kParamsRescan,
    kParamsClear,
    kParamsRequestFlush,
    kLog,
    kIsMainThread,
    kIsAudioThread,
    kLatencyChanged,
    kTailChanged,
    kStateMarkDirty,
    kAudioPortsRescanFlagSupported,
    kAudioPortsRescan,
    kCount
};

enum class ThreadRule { kAnyThread, kMainThread, kNotAudioThread, kAudioThread };

// Who is calling, as this host's thread-check sees the thread.
enum class Role : uint32_t { kMain, kAudio, kOther, kCount };

struct HostFunctionInfo {
    const char* name;
    ThreadRule rule;
};
const HostFunctionInfo& info_of(HostFunction f);

class TestHost {
public:
    TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    const clap_host* clap() const { return &host_; }

    // [any-thread] The threads clap.thread-check calls main and audio. Both
    // start as the thread that made the host; a test that plays an audio
    // thread of its own names it.
    void set_main_thread(std::thread::id id) { main_thread_ = id; }
    void set_audio_thread(std::thread::id id) { audio_thread_ = id; }
    Role role_of(std::thread::id id) const;

    // [any-thread] Calls the plug-in made into the host, by function and
    // by the role of the thread they came on.
    uint32_t calls(HostFunction f) const;
    uint32_t calls(HostFunction f, Role role) const;
    // "params.rescan from the audio thread" for every call that broke its
    // function's thread rule; empty when none did.
    std::vector<std::string> misplaced_calls() const;
    void forget_calls();

    // The flags of every params.rescan, or-ed together, and of the last.
    uint32_t rescan_flags_seen() const { return rescan_seen_; }
    uint32_t last_rescan_flags() const { return rescan_last_; }
    // The messages sent to clap.log, "severity: text".
    std::vector<std::string> log_messages() const;

    // Which host extensions get_extension offers (clap.params,
    // clap.thread-check and clap.log can be withheld to see the plug-in do
    // without them).
    bool offer_params = true;
    bool offer_thread_check = true;
    bool offer_log = true;
    // More extensions, for tests that need one this host does not have
    // (the editor's timers and file descriptors).
    std::function<const void*(const char* id)> more_extensions;

private:
    // [any-thread] The host functions below count their call here; each
    // may come on any thread, and misplaced_calls() judges it.
    void record(HostFunction f);
    static TestHost* of(const clap_host* h) { return static_cast<TestHost*>(h->host_data); }

    static const void* get_extension(const clap_host* h, const char* id);
    static void request_restart(const clap_host* h);
    static void request_process(const clap_host* h);
    static void request_callback(const clap_host* h);
    static void params_rescan(const clap_host* h, clap_param_rescan_flags flags);
    static void params_clear(const clap_host* h, clap_id id, clap_param_clear_flags flags);
    static void params_request_flush(const clap_host* h);
    static void log(const clap_host* h, clap_log_severity severity, const char* message);
    static bool is_main_thread(const clap_host* h);
    static bool is_audio_thread(const clap_host* h);
    static void latency_changed(const clap_host* h);
    static void tail_changed(const clap_host* h);
    static void state_mark_dirty(const clap_host* h);
    static bool audio_ports_rescan_flag_supported(const clap_host* h, uint32_t flag);
    static void audio_ports_rescan(const clap_host* h, uint32_t flags);

    clap_host host_;
    const clap_host_params params_{params_rescan, params_clear, params_request_flush};
    const clap_host_log log_{log};
    const clap_host_thread_check thread_check_{is_main_thread, is_audio_thread};
    const clap_host_latency latency_{latency_changed};
    const clap_host_tail tail_{tail_changed};
    const clap_host_state state_{state_mark_dirty};
    const clap_host_audio_ports audio_ports_{audio_ports_rescan_flag_supported, audio_ports_rescan};

    std::atomic<std::thread::id> main_thread_;
    std::atomic<std::thread::id> audio_thread_;
    // Counted without a lock or an allocation: the audio thread calls too.
    std::atomic<uint32_t> counts_[static_cast<size_t>(HostFunction::kCount)][static_cast<size_t>(Role::kCount)] = {};
    std::atomic<uint32_t> rescan_seen_{0};
    std::atomic<uint32_t> rescan_last_{0};
    mutable std::mutex log_lock_;
    std::vector<std::string> log_messages_;
};

// ---- events

// A list of CLAP events in the order they were added, offered to the
// plug-in as a clap_input_events (the tests add them in time order, as CLAP
// requires) or as a clap_output_events that it pushes into. Room for a few
// hundred events is kept ahead, so that pushing during a process call does
// not allocate.
class EventQueue {
public:
    EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    void param_value(uint32_t time, clap_id id, double value);
    void param_mod(uint32_t time, clap_id id, double amount, int32_t note_id = -1, int16_t key = -1,
                   int16_t channel = -1, int16_t port = -1);
    void gesture(uint32_t time, uint16_t type, clap_id id);
    void transport(uint32_t time, const clap_event_transport& t);
    // Any event, copied as its header's size says.
    bool push(const clap_event_header* event);
    void clear();

    uint32_t size() const { return static_cast<uint32_t>(offsets_.size()); }
    const clap_event_header* get(uint32_t index) const;

    const clap_input_events* input() const { return &input_; }
    const clap_output_events* output() const { return &output_; }

    // try_push refuses every event while set, as a full host queue does.
    bool refuse = false;

private:
    // [audio-thread] while the plug-in processes, [main-thread] in a flush
    // while it is not active.
    static uint32_t size_of(const clap_input_events* list);
    static const clap_event_header* get_of(const clap_input_events* list, uint32_t index);
    static bool try_push(const clap_output_events* list, const clap_event_header* event);

    std::vector<uint64_t> words_;  // the events, each rounded up to 8 bytes
    std::vector<size_t> offsets_;  // where each starts, in words
    clap_input_events input_;
    clap_output_events output_;
};

// A transport event: playing or not, at a tempo, at a song position given
// in beattime units, in 4/4 unless told otherwise.
clap_event_transport make_transport(bool playing, double tempo, clap_beattime position,
                                    uint32_t flags_off = 0, uint16_t numerator = 4, uint16_t denominator = 4);

// ---- streams

// A clap_istream over bytes in memory.
class ReadStream {
public:
    explicit ReadStream(std::vector<uint8_t> b = {});
    const clap_istream* clap() const { return &stream_; }

    std::vector<uint8_t> bytes;
    uint64_t position = 0;
    uint64_t chunk = 0;         // the most one read gives; 0: all that is asked
    int64_t fail_at = -1;       // a read from this position on returns -1
    uint64_t garbage_to = 0;    // past the bytes, 0x5A bytes up to this length
    uint32_t calls = 0;

private:
    // [main-thread]
    static int64_t read(const clap_istream* s, void* buffer, uint64_t size);
    clap_istream stream_;
};

// A clap_ostream that collects the bytes.
class WriteStream {
public:
    WriteStream();
    const clap_ostream* clap() const { return &stream_; }

    std::vector<uint8_t> bytes;
    uint64_t chunk = 0;      // the most one write takes; 0: all it is given
    int64_t fail_at = -1;    // a write once this many bytes are in returns -1
    int64_t full_at = -1;    // ...returns 0, as a stream that takes no more
    uint32_t calls = 0;

private:
    // [main-thread]
    static int64_t write(const clap_ostream* s, const void* buffer, uint64_t size);
    clap_ostream stream_;
};

// ---- an instance

// The audio buffers a process call hands over: 32 or 64 bits, separate
// input and output or one buffer for both (the ports are an in-place pair).
enum class Buffers { k32, k32InPlace, k64, k64InPlace };
inline constexpr Buffers kAllBuffers[] = {Buffers::k32, Buffers::k32InPlace, Buffers::k64, Buffers::k64InPlace};
const char* name_of(Buffers b);
inline bool is_64(Buffers b) { return b == Buffers::k64 || b == Buffers::k64InPlace; }

// What one process call carries besides its audio.
struct BlockEvents {
    const EventQueue* in = nullptr;
    EventQueue* out = nullptr;
    const clap_event_transport* transport = nullptr;
};

// One plug-in instance made by a factory (or handed over already made, as
// by the plug-in library linked into a test) and initialised, with the
// extensions a host looks up. Deactivated and destroyed at the end.
class Instance {
public:
    explicit Instance(TestHost& host, const clap_plugin_factory* factory = shared_module().factory);
    Instance(TestHost& host, const clap_plugin* made);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // activate, then (unless told not to) start_processing on the calling
    // thread; false when either refuses.
    bool activate(double rate = 48000, uint32_t max_frames = kMaxFrames, bool start = true);
    // start_processing, for an audio thread of the test's own.
    bool start();
    // stop_processing and deactivate, each when due.
    void deactivate();

    // One block of `frames` samples of `in` into `out` (either may be null:
    // silence in, output not kept). 64-bit input carries a little more than
    // a float holds, which the plug-in's conversion must drop.
    clap_process_status process(uint32_t frames, const float* in, float* out, Buffers buffers = Buffers::k32,
                                const BlockEvents& events = {});

    // get_value; NaN when it is refused.
    double value(clap_id id) const;
    std::vector<double> values() const;

    // The state through clap.state: the saved bytes (empty when save
    // fails), and whether a load was taken.
    std::vector<uint8_t> save() const;
    bool load(const std::vector<uint8_t>& bytes) const;

    const clap_plugin* plugin = nullptr;
    bool initialised = false;
    bool active = false;
    bool processing = false;
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    const clap_plugin_tail* tail = nullptr;
    const clap_plugin_latency* latency = nullptr;
    const clap_plugin_audio_ports* audio_ports = nullptr;

    // The 64-bit output of the last 64-bit block.
    std::vector<double> out64;

private:
    void look_up_extensions();

    std::vector<float> in32_, out32_;
    std::vector<double> in64_;
    EventQueue no_events_, dropped_events_;
    int64_t steady_time_ = 0;
};

// ---- text

// UTF-8 of a NUL-terminated UTF-16 text (the catalogue's titles and texts).
std::string utf8_of(const char16_t* text);

}  // namespace yawp::clap_test
