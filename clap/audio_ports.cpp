// One mono input and one mono output, processed in place when the host
// likes.
#include <cstring>

#include "clap/extensions.h"

namespace yawp::clap {
namespace {

constexpr clap_id kPortId = 0;  // each direction's one port

// [main-thread]
uint32_t count(const clap_plugin*, bool) { return 1; }

// [main-thread]
bool get(const clap_plugin*, uint32_t index, bool is_input, clap_audio_port_info* info) {
    if (index != 0 || info == nullptr) return false;
    *info = {};
    info->id = kPortId;
    std::strcpy(info->name, is_input ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS;
    info->channel_count = 1;
    info->port_type = CLAP_PORT_MONO;
    info->in_place_pair = kPortId;
    return true;
}

constexpr clap_plugin_audio_ports kAudioPorts = {count, get};

}  // namespace

const clap_plugin_audio_ports* audio_ports_extension() { return &kAudioPorts; }

}  // namespace yawp::clap
