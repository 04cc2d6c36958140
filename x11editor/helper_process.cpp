#include "x11editor/helper_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include "news/crier.h"
#include "x11editor/reaper.h"

extern char** environ;

namespace yawp::x11editor {
namespace {

constexpr char kProgramName[] = "yawp-wah-editor";
constexpr char kProgramVariable[] = "YAWP_WAH_EDITOR";
// The helper's end of the socket, at a fixed number in its process.
constexpr int kHelperFd = 3;
// How long the host's UI thread waits for the helper's first frame: long
// enough to see a helper that cannot load its libraries end, short enough
// not to be felt. A slower start is not a failure.
constexpr int kStartWaitMs = 40;

// [main-thread] A child starts with default signal handling and nothing
// blocked, whatever the host set up for itself.
bool set_up_attributes(posix_spawnattr_t* attributes) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return posix_spawnattr_init(attributes) == 0 && posix_spawnattr_setsigmask(attributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(attributes, &all) == 0 &&
           posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

// [main-thread] Only our socket end is passed on, at kHelperFd; every other
// file of the host stays in the host.
bool set_up_files(posix_spawn_file_actions_t* files, int helper_end) {
    return posix_spawn_file_actions_init(files) == 0 &&
           posix_spawn_file_actions_adddup2(files, helper_end, kHelperFd) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(files, kHelperFd + 1) == 0;
}

// [main-thread] Waits up to kStartWaitMs for the first frame. False when
// the socket closed (the helper has ended) or failed.
bool helper_came_up(int fd) {
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, kStartWaitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return ready == 0;
    char byte;
    const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0;
}

void close_quietly(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace

char* helper_program_in(const char* folder) {
    const char* chosen = std::getenv(kProgramVariable);
    if (chosen != nullptr && chosen[0] != '\0') return strdup(chosen);
    return crier_concat(folder, "/", kProgramName, nullptr);
}

bool helper_start(const char* program, unsigned long parent, const char* page, HelperProcess* out) {
    *out = HelperProcess{};
    if (program == nullptr || page == nullptr || parent == 0) return false;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const int ours = ends[0];
    int theirs = ends[1];
    if (theirs == kHelperFd) {
        // Moving a file onto its own number would leave it closed on exec.
        theirs = fcntl(ends[1], F_DUPFD_CLOEXEC, kHelperFd + 1);
        close(ends[1]);
        if (theirs < 0) {
            close(ours);
            return false;
        }
    }

    char parent_text[24];
    char fd_text[8];
    std::snprintf(parent_text, sizeof parent_text, "0x%lx", parent);
    std::snprintf(fd_text, sizeof fd_text, "%d", kHelperFd);
    char* arguments[] = {const_cast<char*>(kProgramName), parent_text, fd_text, const_cast<char*>(page), nullptr};

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t files;
    const bool attributes_ready = set_up_attributes(&attributes);
    const bool files_ready = set_up_files(&files, theirs);
    pid_t pid = -1;
    const bool spawned = attributes_ready && files_ready &&
                         posix_spawn(&pid, program, &files, &attributes, arguments, environ) == 0;
    if (attributes_ready) posix_spawnattr_destroy(&attributes);
    if (files_ready) posix_spawn_file_actions_destroy(&files);
    close_quietly(theirs);
    if (!spawned) {
        close_quietly(ours);
        return false;
    }
    if (!helper_came_up(ours)) {
        close_quietly(ours);
        reap_helper(pid);
        return false;
    }
    *out = HelperProcess{pid, ours};
    return true;
}

void helper_stop(HelperProcess* helper) {
    close_quietly(helper->fd);
    if (helper->pid > 0) reap_helper(helper->pid);
    *helper = HelperProcess{};
}

}  // namespace yawp::x11editor
