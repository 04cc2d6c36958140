#include "block_planner.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/catalogue.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr uint32_t kModulatable[] = {cat::kPosition, cat::kMix, cat::kLfoAmount, cat::kLfoBias, cat::kLfoFreeRate,
                                     cat::kEnvAmount};
// The parameters that make the engine move, set at the first block.
constexpr uint32_t kOpening[] = {cat::kLfoOn, cat::kLfoSync, cat::kEnvOn};

// How often things happen, per block or per event.
constexpr double kShortBlockChance = 0.125;
constexpr double kEmptyBlockChance = 0.025;
constexpr double kQuietBlockChance = 0.4;   // no parameter event at all
constexpr double kModeChangeChance = 0.03;
constexpr double kTempoChangeChance = 0.03;
constexpr double kJumpChance = 0.1;         // a transport event inside the block
constexpr double kStrayEventChance = 0.05;  // an id that is no parameter, or a NaN
constexpr double kModulationChance = 0.3;
constexpr double kBypassOnChance = 0.15;
constexpr uint32_t kEventsPerBlock = 4;
constexpr uint32_t kSamplesPerExtraEvent = 256;
constexpr size_t kRoomForEvents = 64;
constexpr double kPastTheEnd = 0.2;  // of the range, for values out of it

constexpr double kSecondsPerMinute = 60.0;
constexpr double kTempos[] = {60, 90, 120, 133.5, 174};

}  // namespace

BlockPlanner::BlockPlanner(uint32_t seed, const PlannerOptions& options) : rng_(seed), options_(options) {
    plan_.reserve(kRoomForEvents);
}

uint32_t BlockPlanner::next_length() {
    if (blocks_ == 1) return options_.block;  // the opening block is whole
    if (options_.empty_blocks && uniform() < kEmptyBlockChance) return 0;
    if (uniform() < kShortBlockChance) return 1 + below(options_.block);
    return options_.block;
}

double BlockPlanner::random_value(uint32_t index) {
    const cat::RangeEntry* e = cat::entry(index);
    const double span = e->maximum - e->minimum;
    const double r = uniform();
    if (r < 0.05) return e->minimum - span * kPastTheEnd * uniform();
    if (r < 0.10) return e->maximum + span * kPastTheEnd * uniform();
    if (r < 0.15) return e->def;
    if (index == cat::kBypass) return uniform() < kBypassOnChance ? 1.0 : 0.0;
    if (e->kind & cat::kKindToggle) return uniform();  // on from one half
    return e->minimum + span * uniform();
}

void BlockPlanner::add_parameter_event(EventQueue& events, uint32_t time) {
    if (uniform() < kStrayEventChance) {
        if (uniform() < 0.5)
            events.param_value(time, cat::kInputCount + below(1000), 1.0);
        else
            events.param_value(time, below(cat::kInputCount), std::nan(""));
        return;
    }
    if (options_.modulation && uniform() < kModulationChance) {
        const uint32_t index = kModulatable[below(std::size(kModulatable))];
        const cat::RangeEntry* e = cat::entry(index);
        events.param_mod(time, index, (uniform() - 0.5) * (e->maximum - e->minimum));
        return;
    }
    const uint32_t index = below(cat::kInputCount);
    events.param_value(time, index, random_value(index));
}

void BlockPlanner::move_transport(uint32_t frames) {
    if (uniform() < kModeChangeChance) mode_ = static_cast<Mode>(below(3));
    if (uniform() < kTempoChangeChance) tempo_ = kTempos[below(std::size(kTempos))];
    if (mode_ == Mode::kPlaying) {
        const double beats = frames / options_.sample_rate * tempo_ / kSecondsPerMinute;
        position_ += std::llround(beats * static_cast<double>(CLAP_BEATTIME_FACTOR));
    }
}

uint32_t BlockPlanner::next(EventQueue& events, const clap_event_transport** transport) {
    ++blocks_;
    events.clear();
    const uint32_t frames = next_length();

    transport_ = make_transport(mode_ == Mode::kPlaying, tempo_, position_);
    *transport = mode_ == Mode::kNone ? nullptr : &transport_;
    move_transport(frames);
    if (frames == 0) return 0;

    // Times first, sorted, for events must come in time order.
    std::vector<Planned>& plan = plan_;
    plan.clear();
    if (blocks_ == 1) {
        for (uint32_t index : kOpening) events.param_value(0, index, 1.0);
    } else if (uniform() >= kQuietBlockChance) {
        const uint32_t count = 1 + below(kEventsPerBlock + frames / kSamplesPerExtraEvent);
        for (uint32_t k = 0; k < count; ++k) plan.push_back({below(frames), false});
    }
    if (*transport != nullptr && frames > 1 && uniform() < kJumpChance) plan.push_back({below(frames), true});
    std::sort(plan.begin(), plan.end(), [](const Planned& a, const Planned& b) { return a.time < b.time; });

    for (const Planned& p : plan) {
        if (!p.jump) {
            add_parameter_event(events, p.time);
            continue;
        }
        // A loop back to the start of the bar, or the transport stopping.
        clap_event_transport jump = transport_;
        if (uniform() < 0.5) {
            jump.song_pos_beats = jump.bar_start;
        } else {
            jump.flags &= ~CLAP_TRANSPORT_IS_PLAYING;
        }
        events.transport(p.time, jump);
    }
    return frames;
}

}  // namespace yawp::clap_test
