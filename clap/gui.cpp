#include "clap/extensions.h"

namespace yawp::clap {

const clap_plugin_gui* gui_extension() { return nullptr; }
const clap_plugin_timer_support* timer_extension() { return nullptr; }
const clap_plugin_posix_fd_support* posix_fd_extension() { return nullptr; }
void close_editor(Plugin*) {}

}  // namespace yawp::clap
