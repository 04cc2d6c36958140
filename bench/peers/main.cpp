// yawp-wah-peer-bench: the CPU cost of any LV2 plug-in, so that ours can be
// set beside other plug-ins of its kind on the same machine in the same run.
//
//   yawp-wah-peer-bench [options] URI [SYMBOL=VALUE]...
//
//   --seconds S   length of the signal (default 20)
//   --block N     block length (default 512)
//   --rate HZ     sample rate (default 48000)
//   --verbose     also print, on stderr, the library loaded, its ports and
//                 the range each control output showed during the run
//
// The plug-in is found through LV2_PATH, like in any lilv host. Every audio
// input is fed the same test signal (a sawtooth chord under a tremolo);
// control inputs sit at their defaults unless SYMBOL=VALUE says otherwise.
// Only run() is timed, with the thread's CPU clock, so the time other
// programs take on the machine is not counted; the clock's own cost is
// measured first and taken off. The result, on stdout, is nanoseconds per
// frame (one sample of every channel):
//
//   23.41 ns/sample
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <lilv/lilv.h>

#include "host_features.h"
#include "port_buffers.h"
#include "test_signal.h"

namespace {

using namespace yawp::peers;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr uint32_t kMaxBlock = 1 << 16;
constexpr double kMaxSeconds = 600.0;
constexpr size_t kClockSamples = 1001;

struct Options {
    double seconds = 20.0;
    uint32_t block = 512;
    double rate = 48000.0;
    bool verbose = false;
    const char* uri = nullptr;
    std::vector<std::pair<std::string, float>> controls;
};

void usage() {
    std::fprintf(stderr,
                 "usage: yawp-wah-peer-bench [--seconds S] [--block N] [--rate HZ] [--verbose] "
                 "URI [SYMBOL=VALUE]...\n");
}

// A finite number and nothing after it.
bool parse_number(const char* text, double* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(*value);
}

bool parse_options(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        double v = 0.0;
        const bool has_value = i + 1 < argc;
        if (arg == "--verbose") {
            o->verbose = true;
        } else if (arg == "--seconds" && has_value && parse_number(argv[++i], &v) && v > 0.0 && v <= kMaxSeconds) {
            o->seconds = v;
        } else if (arg == "--block" && has_value && parse_number(argv[++i], &v) && v >= 1 && v <= kMaxBlock &&
                   v == static_cast<uint32_t>(v)) {
            o->block = static_cast<uint32_t>(v);
        } else if (arg == "--rate" && has_value && parse_number(argv[++i], &v) && v >= 1000.0 && v <= 1e6) {
            o->rate = v;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "yawp-wah-peer-bench: bad option or value: %s\n", argv[i]);
            return false;
        } else if (o->uri == nullptr) {
            o->uri = argv[i];
        } else {
            const size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0 || !parse_number(arg.c_str() + eq + 1, &v)) {
                std::fprintf(stderr, "yawp-wah-peer-bench: expected SYMBOL=VALUE, got: %s\n", argv[i]);
                return false;
            }
            o->controls.emplace_back(arg.substr(0, eq), static_cast<float>(v));
        }
    }
    if (o->uri == nullptr) std::fprintf(stderr, "yawp-wah-peer-bench: no plug-in URI given\n");
    return o->uri != nullptr;
}

int64_t thread_cpu_ns() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The features the plug-in requires that this host does not offer, one per
// line; empty when it can run here.
std::string missing_features(const LilvPlugin* plugin, const HostFeatures& features) {
    std::string missing;
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH(nodes, i, required) {
        const char* uri = lilv_node_as_uri(lilv_nodes_get(required, i));
        if (!features.offers(uri)) missing += std::string("  ") + uri + "\n";
    }
    lilv_nodes_free(required);
    return missing;
}

void describe(const LilvPlugin* plugin, const PortBuffers& ports) {
    char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_library_uri(plugin)), nullptr);
    std::fprintf(stderr, "library: %s\n", path != nullptr ? path : "?");
    lilv_free(path);
    std::fprintf(stderr, "audio: %u in, %u out; control: %u in, %u out; atom: %u in, %u out; CV: %u in, %u out\n",
                 ports.count(PortKind::kAudio, true), ports.count(PortKind::kAudio, false),
                 ports.count(PortKind::kControl, true), ports.count(PortKind::kControl, false),
                 ports.count(PortKind::kAtom, true), ports.count(PortKind::kAtom, false),
                 ports.count(PortKind::kCv, true), ports.count(PortKind::kCv, false));
    for (const PortBuffer& p : ports.ports())
        if (p.kind == PortKind::kControl && p.input) std::fprintf(stderr, "  in  %-16s %g\n", p.symbol.c_str(), p.control);
}

void describe_outputs(const PortBuffers& ports) {
    for (const PortBuffer& p : ports.ports())
        if (p.kind == PortKind::kControl && !p.input)
            std::fprintf(stderr, "  out %-16s %g to %g\n", p.symbol.c_str(), p.lowest, p.highest);
}

// What one reading of the clock adds to an interval it bounds: the thread
// CPU clock is a system call, about half a microsecond, which would be a
// nanosecond per sample in blocks of 512. The median of many empty
// intervals, taken before the run.
int64_t clock_cost_ns() {
    std::vector<int64_t> empty(kClockSamples);
    for (int64_t& e : empty) {
        const int64_t before = thread_cpu_ns();
        e = thread_cpu_ns() - before;
    }
    std::nth_element(empty.begin(), empty.begin() + kClockSamples / 2, empty.end());
    return empty[kClockSamples / 2];
}

// Runs the whole signal through an activated instance, block by block, and
// returns the CPU time spent inside run(), less the clock's own cost.
int64_t time_run(LilvInstance* instance, PortBuffers* ports, const std::vector<float>& signal, uint32_t block,
                 int64_t clock_cost, bool note_outputs) {
    int64_t spent = 0;
    for (size_t start = 0; start < signal.size(); start += block) {
        ports->prepare_block(signal.data() + start);
        const int64_t before = thread_cpu_ns();
        lilv_instance_run(instance, block);
        spent += thread_cpu_ns() - before - clock_cost;
        if (note_outputs) ports->note_outputs();
    }
    return spent > 0 ? spent : 0;
}

int bench(LilvWorld* world, const Options& o) {
    LilvNode* uri = lilv_new_uri(world, o.uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    if (plugin == nullptr) {
        std::fprintf(stderr, "yawp-wah-peer-bench: no plug-in <%s> on LV2_PATH\n", o.uri);
        return kExitFailed;
    }

    HostFeatures features(o.block, static_cast<float>(o.rate));
    const std::string missing = missing_features(plugin, features);
    if (!missing.empty()) {
        std::fprintf(stderr, "yawp-wah-peer-bench: <%s> requires features this host lacks:\n%s", o.uri,
                     missing.c_str());
        return kExitFailed;
    }

    PortBuffers ports(&features.urids(), o.block);
    std::string error;
    bool ok = ports.describe(world, plugin, &error);
    for (size_t i = 0; ok && i < o.controls.size(); ++i)
        ok = ports.set_control(o.controls[i].first, o.controls[i].second, &error);
    if (ok && ports.count(PortKind::kAudio, true) == 0) {
        error = "the plug-in has no audio input to feed";
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "yawp-wah-peer-bench: <%s>: %s\n", o.uri, error.c_str());
        return kExitFailed;
    }
    if (o.verbose) describe(plugin, ports);

    LilvInstance* instance = lilv_plugin_instantiate(plugin, o.rate, features.list());
    if (instance == nullptr) {
        std::fprintf(stderr, "yawp-wah-peer-bench: <%s> failed to instantiate\n", o.uri);
        return kExitFailed;
    }

    // Whole blocks only: the host promised a fixed block length.
    const auto wanted = static_cast<size_t>(o.seconds * o.rate);
    const size_t blocks = (wanted + o.block - 1) / o.block;
    const std::vector<float> signal = make_test_signal(blocks * o.block, o.rate);

    const int64_t clock_cost = clock_cost_ns();
    if (o.verbose)
        std::fprintf(stderr, "clock: %lld ns per empty interval, taken off each block\n",
                     static_cast<long long>(clock_cost));

    ports.connect(instance);
    lilv_instance_activate(instance);
    const int64_t spent = time_run(instance, &ports, signal, o.block, clock_cost, o.verbose);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);

    if (o.verbose) describe_outputs(ports);
    std::printf("%.2f ns/sample\n", static_cast<double>(spent) / static_cast<double>(signal.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, &options)) {
        usage();
        return kExitUsage;
    }
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const int status = bench(world, options);
    lilv_world_free(world);
    return status;
}
