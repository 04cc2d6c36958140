// Random but repeatable host behaviour, block after block: parameter
// changes at random offsets (some out of range, some NaN, some for no
// parameter at all), a transport that starts, stops, jumps and goes away,
// and now and then a shorter block or one of no samples.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include <clap/clap.h>

#include "clap_host.h"

namespace yawp::clap_test {

struct PlannerOptions {
    uint32_t block = 512;      // the usual block size
    double sample_rate = 48000;
    bool modulation = false;   // also CLAP_EVENT_PARAM_MOD on the modulatable parameters
    bool empty_blocks = true;  // now and then a block of no samples
};

class BlockPlanner {
public:
    BlockPlanner(uint32_t seed, const PlannerOptions& options);

    // The next block's length, its events (into `events`, cleared first)
    // and its transport (null for none; valid until the next call).
    uint32_t next(EventQueue& events, const clap_event_transport** transport);

private:
    enum class Mode { kNone, kStopped, kPlaying };

    double uniform() { return std::uniform_real_distribution<double>(0, 1)(rng_); }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
    uint32_t next_length();
    void add_parameter_event(EventQueue& events, uint32_t time);
    double random_value(uint32_t index);
    void move_transport(uint32_t frames);

    // Event times of the block being planned; kept, so that planning a
    // block allocates nothing once the first few are done.
    struct Planned {
        uint32_t time;
        bool jump;
    };
    std::vector<Planned> plan_;

    std::mt19937 rng_;
    PlannerOptions options_;
    uint32_t blocks_ = 0;
    Mode mode_ = Mode::kPlaying;
    double tempo_ = 120;
    clap_beattime position_ = 0;
    clap_event_transport transport_{};
};

}  // namespace yawp::clap_test
