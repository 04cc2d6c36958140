#include "session.h"

namespace yawp::raw {

Session::Session(uint32_t sample_rate, std::vector<float>* sink)
    : signal_(sample_rate), sink_(sink), sample_rate_(sample_rate) {
    engine_.initialise();
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) set(i, catalogue::entry(i)->def);
}

void Session::set(uint32_t index, double plain) {
    engine_.set_parameter(index, static_cast<float>(catalogue::coerce(index, plain)));
}

void Session::activate(uint32_t sample_rate) {
    sample_rate_ = sample_rate;
    engine_.set_sample_rate(static_cast<float>(sample_rate));
    engine_.reset();
    feed_.restart();
}

void Session::run(uint64_t total, const std::vector<uint32_t>& sizes, tools::HostTime time) {
    const double start = time.quarter_notes;
    for (uint64_t done = 0, k = 0; done < total; ++k) {
        uint64_t n = sizes[k % sizes.size()];
        if (n > total - done) n = total - done;
        block_.resize(n);
        for (float& x : block_) x = signal_.next();
        if (time.position_known)
            time.quarter_notes = tools::quarter_notes_after(start, done, sample_rate_, time.tempo);
        const uint32_t count = static_cast<uint32_t>(n);
        engine_.process(block_.data(), block_.data(), count, feed_.next(time));
        sink_->insert(sink_->end(), block_.begin(), block_.end());
        done += n;
    }
}

void Session::skip(const tools::HostTime& time) { engine_.take_transport(feed_.next(time)); }

}  // namespace yawp::raw
