#include "host_time.h"

namespace yawp::tools {
namespace {

constexpr float kNormalSpeed = 1.0f;
constexpr float kStoppedSpeed = 0.0f;
constexpr double kSecondsPerMinute = 60.0;

// One field of the record: a field that appears, disappears or takes a new
// value marks its changed bit, which is what makes the engine look again.
template <typename T>
void offer(Transport& record, uint32_t bit, T& field, bool known, T value) {
    const bool was_known = (record.valid & bit) != 0;
    if (known != was_known || (known && field != value)) record.changed |= bit;
    if (known) {
        record.valid |= bit;
        field = value;
    } else {
        record.valid &= ~bit;
    }
}

}  // namespace

const Transport& HostTimeFeed::next(const HostTime& now) {
    record_.changed = 0;
    const float speed = now.playing ? kNormalSpeed : kStoppedSpeed;
    offer(record_, kTransportRolling, record_.rolling, now.play_state_known, now.playing);
    offer(record_, kTransportSpeed, record_.speed, now.play_state_known, speed);
    offer(record_, kTransportTempo, record_.tempo, now.tempo_known, now.tempo);
    offer(record_, kTransportQuarterNotes, record_.quarter_notes, now.position_known,
          now.quarter_notes);
    return record_;
}

double quarter_notes_after(double start, uint64_t frames, double sample_rate, double tempo) {
    return start + static_cast<double>(frames) / sample_rate * tempo / kSecondsPerMinute;
}

}  // namespace yawp::tools
