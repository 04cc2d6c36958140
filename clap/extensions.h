// The extensions an instance offers, each from the file of its concept. A
// getter gives null when this build has no such extension.
#pragma once

#include <clap/clap.h>

namespace yawp::clap {

class Plugin;

const clap_plugin_params* params_extension();               // params.cpp
const clap_plugin_state* state_extension();                 // state.cpp
const clap_plugin_audio_ports* audio_ports_extension();     // audio_ports.cpp
const clap_plugin_latency* latency_extension();             // latency_and_tail.cpp
const clap_plugin_tail* tail_extension();                   // latency_and_tail.cpp

// The editor (gui.cpp): the web view host on Windows, the helper program in
// an X11 window on Linux.
const clap_plugin_gui* gui_extension();
// The host's timers and, on Linux, its watch on the helper's socket reach
// the open editor through these.
const clap_plugin_timer_support* timer_extension();
const clap_plugin_posix_fd_support* posix_fd_extension();
// [main-thread] Closes the instance's editor if the host left it open.
void close_editor(Plugin* plugin);

// The factory presets, loaded by the location a preset provider gave the
// host (preset_load.cpp).
const clap_plugin_preset_load* preset_load_extension();

}  // namespace yawp::clap
