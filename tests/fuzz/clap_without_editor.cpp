// The CLAP module's editor hooks for the fuzz build, which has no editor:
// the editor needs a window system and a helper program, and nothing in it
// takes part in loading a state. An instance of this build offers no gui.
#include "clap/extensions.h"

namespace yawp::clap {

const clap_plugin_gui* gui_extension() { return nullptr; }
const clap_plugin_timer_support* timer_extension() { return nullptr; }
const clap_plugin_posix_fd_support* posix_fd_extension() { return nullptr; }
void close_editor(Plugin*) {}

}  // namespace yawp::clap
