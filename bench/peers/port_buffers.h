// A buffer behind every port of one plug-in, as a host keeps them: audio
// inputs all carry the same signal, control inputs sit at their defaults
// (or at values given by symbol), and atom and CV ports get valid empty
// buffers, so that no plug-in ever sees a null port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <lilv/lilv.h>

#include "host_features.h"

namespace yawp::peers {

enum class PortKind { kAudio, kControl, kCv, kAtom, kOther };

struct PortBuffer {
    uint32_t index = 0;
    std::string symbol;
    PortKind kind = PortKind::kOther;
    bool input = false;
    float control = 0.0f;          // a control port's value
    std::vector<float> samples;    // an audio or CV port's block
    std::vector<uint64_t> atom;    // an atom port's buffer, 8-byte aligned
    float lowest = 0.0f;           // the range a control output has shown
    float highest = 0.0f;
};

class PortBuffers {
public:
    PortBuffers(UridMap* map, uint32_t block);

    // Reads the plug-in's ports; false (and the reason in *error) when a
    // port has a type this host cannot feed and is not connection-optional.
    bool describe(LilvWorld* world, const LilvPlugin* plugin, std::string* error);

    // Sets a control input by its symbol; false when there is no such port.
    bool set_control(const std::string& symbol, float value, std::string* error);

    void connect(LilvInstance* instance);

    // Before each run: the next block of the signal into every audio input,
    // and the atom buffers back to an empty sequence (in) or free space
    // (out).
    void prepare_block(const float* signal);

    // After each run: widens each control output's range by its value.
    void note_outputs();

    uint32_t count(PortKind kind, bool input) const;
    const std::vector<PortBuffer>& ports() const { return ports_; }

private:
    void reset_atom(PortBuffer& port) const;

    uint32_t block_;
    LV2_URID sequence_type_;
    LV2_URID chunk_type_;
    std::vector<PortBuffer> ports_;
    bool outputs_seen_ = false;
};

}  // namespace yawp::peers
