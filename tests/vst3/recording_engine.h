// A stand-in for the engine, linked into the processor's own tests instead
// of the real one: it records every call the processor makes, so the tests
// see exactly which value reached the engine before or after a block, and
// which time information came with it.
#pragma once

#include <functional>
#include <vector>

#include "engine/engine.h"

namespace yawp::test {

struct EngineCall {
    char kind;  // 'i'nitialise, 'r'ate, 'z' reset, 's'et, 't'ransport only, 'p'rocess
    uint32_t index = 0;
    float value = 0;
    uint32_t samples = 0;
    Transport transport{};
};

struct EngineLog {
    std::vector<EngineCall> calls;
    EngineOutputs outputs{50, 0, 0, 0};  // what the engine reports after each block
    std::function<void()> on_get_parameter;  // runs inside get_parameter, once

    std::vector<EngineCall> sets() const;
    void clear() { calls.clear(); }
};

EngineLog& engine_log();

}  // namespace yawp::test
