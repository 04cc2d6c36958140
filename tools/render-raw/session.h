// One engine driven the way a plug-in wrapper drives it, with the test
// signal as input and every output sample kept.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"
#include "test_signal.h"
#include "tools/common/host_time.h"

namespace yawp::raw {

class Session {
public:
    // Initialises the engine and gives it every parameter's default.
    Session(uint32_t sample_rate, std::vector<float>* sink);

    // A parameter change from the host: coerced, then handed over.
    void set(uint32_t index, double plain);

    // An activation: sample rate, reset, and a transport that starts over.
    void activate(uint32_t sample_rate);

    // Processes `total` samples in blocks whose sizes cycle through
    // `sizes`, which may include 0.
    void run(uint64_t total, const std::vector<uint32_t>& sizes, tools::HostTime time);

    // A block the wrapper does not process: the transport goes in alone.
    void skip(const tools::HostTime& time);

    uint32_t sample_rate() const { return sample_rate_; }

private:
    Engine engine_;
    TestSignal signal_;
    tools::HostTimeFeed feed_;
    std::vector<float>* sink_;
    uint32_t sample_rate_;
    std::vector<float> block_;
};

}  // namespace yawp::raw
