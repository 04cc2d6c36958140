// Starting the editor helper (yawp-wah-editor) from inside a plug-in host,
// and letting it go. The plug-in side links no toolkit: the helper shows
// the page, and the two talk over a socket pair.
#pragma once

#include <sys/types.h>

namespace yawp::x11editor {

struct HelperProcess {
    pid_t pid = -1;
    int fd = -1;  // our end of the socket: non-blocking, closed on exec
};

// The helper's file name in a folder: "FOLDER/yawp-wah-editor", malloc'ed,
// or null when memory is short. YAWP_WAH_EDITOR in the environment names
// another program instead (for tests and for packagers who keep the helper
// elsewhere).
char* helper_program_in(const char* folder);

// [main-thread] Starts `program` in the X11 window `parent` with the page
// file `page`. True once the helper's first frame arrived, or once it is
// still running after a short wait; false, with nothing left behind, when
// it cannot be started or ends at once (its libraries missing, say). The
// host's signal handlers and open files are not passed on.
bool helper_start(const char* program, unsigned long parent, const char* page, HelperProcess* out);

// [main-thread] Closes our end of the socket, which tells the helper to
// end, and hands it to the reaper. Never waits. Safe on a stopped helper.
void helper_stop(HelperProcess* helper);

}  // namespace yawp::x11editor
