#include "recording_engine.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace yawp {

using test::engine_log;

void Engine::initialise() { engine_log().calls.push_back({'i'}); }

void Engine::set_sample_rate(float fs) { engine_log().calls.push_back({'r', 0, fs}); }

void Engine::reset() {
    engine_log().calls.push_back({'z'});
    outputs_ = engine_log().outputs;
}

void Engine::set_parameter(uint32_t index, float value) {
    if (index < catalogue::kInputCount) raw_[index] = value;
    engine_log().calls.push_back({'s', index, value});
}

float Engine::get_parameter(uint32_t index) const {
    if (auto hook = std::exchange(engine_log().on_get_parameter, nullptr)) hook();
    return index < catalogue::kInputCount ? raw_[index] : 0.0f;
}

void Engine::take_transport(const Transport& t) { engine_log().calls.push_back({'t', 0, 0, 0, t}); }

void Engine::process(const float* in, float* out, uint32_t n, const Transport& t) {
    engine_log().calls.push_back({'p', 0, 0, n, t});
    std::copy(in, in + n, out);
    outputs_ = engine_log().outputs;
}

}  // namespace yawp

namespace yawp::test {

EngineLog& engine_log() {
    static EngineLog log;
    return log;
}

std::vector<EngineCall> EngineLog::sets() const {
    std::vector<EngineCall> s;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(s), [](const EngineCall& c) { return c.kind == 's'; });
    return s;
}

}  // namespace yawp::test
