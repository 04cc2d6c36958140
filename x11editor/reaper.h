// Helpers that were told to end are reaped in the background: the host's UI
// thread never waits for one, and no zombie stays behind. A helper still
// running a second after it was told to end is killed.
#pragma once

#include <sys/types.h>

namespace yawp::x11editor {

inline constexpr int kHelperGraceMs = 1000;

// [main-thread] Reaps `pid` now when it has ended, or else watches it from
// the reaper thread until it ends or its grace time is up.
void reap_helper(pid_t pid);

// [main-thread] Whether the reaper still watches a helper. For tests.
bool reaper_busy();

}  // namespace yawp::x11editor
