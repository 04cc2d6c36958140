// A look at the processes the editors start, read from /proc: a test's
// children, whether a process has ended, and how much memory a process and
// its descendants hold. Needs no X11.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace yawp::test {

// Our children named `name` (zombies included).
std::vector<pid_t> children_named(const std::string& name);
// Every process whose parent is `parent`, zombies included.
std::vector<pid_t> children_of(pid_t parent);
// Whether the process exists at all (a zombie does).
bool process_exists(pid_t pid);
// Whether the process has ended (gone, or a zombie of someone else's).
bool process_ended(pid_t pid);
// The process's name and state letter ('Z' for a zombie); false when it
// has gone.
bool process_name_and_state(pid_t pid, std::string* name, char* state);
// Resident memory of the process alone, and with all its descendants, in KiB.
long resident_kib(pid_t pid);
long family_resident_kib(pid_t pid);

}  // namespace yawp::test
