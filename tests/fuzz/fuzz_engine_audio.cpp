// The engine fed anything a host might hand it: blocks of random floats
// (subnormals, NaN payloads, infinities, extremes), random block sizes,
// parameter changes through the hosts' coercion, transport records and
// re-activations in between. Every output sample is finite, and after every
// block every state is.
//
// Input layout, read front to back until it runs out:
//   byte 0         sample rate, from kRates
//   then commands  one byte each, followed by its operands:
//     0x00..0x7F   set parameter: index byte, 8-byte double plain value
//     0x80..0x8F   transport: valid-bits (2 bytes), tempo and speed (floats),
//                  quarter notes (double)
//     0x90..0x93   re-activation: set_sample_rate + reset
//     others       a block: size (2 bytes, 0..4096), then its samples as
//                  4-byte floats (silence where the input ends)
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/catalogue.h"
#include "engine/engine.h"
#include "fuzz_check.h"

namespace {

using namespace yawp;

constexpr float kRates[] = {8000, 22050, 44100, 48000, 96000, 192000, 384000};
constexpr uint32_t kMaxBlock = 4096;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    bool done() const { return at >= size; }
    template <class T>
    T take() {
        T v{};
        uint8_t bytes[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T) && at < size; ++i) bytes[i] = data[at++];
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
};

void activate(Engine* e, float rate) {
    e->set_sample_rate(rate);
    e->reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const float rate = kRates[in.take<uint8_t>() % (sizeof kRates / sizeof kRates[0])];

    Engine engine;
    engine.initialise();
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
        engine.set_parameter(i, static_cast<float>(catalogue::entry(i)->def));
    activate(&engine, rate);

    static std::vector<float> block(kMaxBlock);
    Transport transport;
    while (!in.done()) {
        const uint8_t command = in.take<uint8_t>();
        if (command < 0x80) {
            const uint32_t index = in.take<uint8_t>() % catalogue::kInputCount;
            const double plain = in.take<double>();
            engine.set_parameter(index, static_cast<float>(catalogue::coerce(index, plain)));
            continue;
        }
        if (command < 0x90) {
            transport.valid = in.take<uint16_t>() & 0x1FF;
            transport.changed = transport.valid | 1;
            transport.rolling = (command & 1) != 0;
            transport.tempo = in.take<float>();
            transport.speed = in.take<float>();
            transport.quarter_notes = in.take<double>();
            transport.beat_unit = 4;
            engine.take_transport(transport);
            continue;
        }
        if (command < 0x94) {
            activate(&engine, rate);
            continue;
        }
        const uint32_t n = in.take<uint16_t>() % (kMaxBlock + 1);
        for (uint32_t i = 0; i < n; ++i) block[i] = in.take<float>();
        engine.process(block.data(), block.data(), n, transport);
        transport.changed = 0;

        for (uint32_t i = 0; i < n; ++i) FUZZ_CHECK(std::isfinite(block[i]));
        const EngineOutputs o = engine.outputs();
        FUZZ_CHECK(std::isfinite(o.mod_position) && std::isfinite(o.lfo_phase));
        FUZZ_CHECK(std::isfinite(o.lfo_output) && std::isfinite(o.env_output));
        FUZZ_CHECK(engine.state_is_finite());
    }
    return 0;
}
