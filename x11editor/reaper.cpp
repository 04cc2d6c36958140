#include "x11editor/reaper.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/wait.h>

namespace yawp::x11editor {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPeriod = std::chrono::milliseconds(10);

struct Watched {
    pid_t pid;
    Clock::time_point deadline;
    bool killed;
};

// [any-thread] True when the process is gone and reaped. A host that
// ignores SIGCHLD has its children reaped by the system: ECHILD then.
bool reaped(pid_t pid) {
    for (;;) {
        const pid_t result = waitpid(pid, nullptr, WNOHANG);
        if (result == pid) return true;
        if (result < 0 && errno == EINTR) continue;
        return result < 0;
    }
}

// The reaper thread runs while anything is watched, and the module waits
// for it when it is unloaded, so its code is never unmapped under it.
class Reaper {
public:
    ~Reaper() {
        std::unique_lock lock(mutex_);
        for (Watched& w : watched_) w.deadline = Clock::now();
        lock.unlock();
        if (thread_.joinable()) thread_.join();
    }

    // False when there is no memory or thread to watch with.
    bool watch(pid_t pid) noexcept {
        std::lock_guard lock(mutex_);
        try {
            watched_.push_back({pid, Clock::now() + std::chrono::milliseconds(kHelperGraceMs), false});
        } catch (...) {
            return false;
        }
        if (running_) return true;
        if (thread_.joinable()) thread_.join();  // it has ended or is just ending
        try {
            thread_ = std::thread([this] { run(); });
        } catch (...) {
            watched_.pop_back();
            return false;
        }
        running_ = true;
        return true;
    }

    bool busy() {
        std::lock_guard lock(mutex_);
        return running_;
    }

private:
    // [any-thread] The reaper thread.
    void run() {
        std::unique_lock lock(mutex_);
        while (!watched_.empty()) {
            for (size_t i = 0; i < watched_.size();) {
                Watched& w = watched_[i];
                if (reaped(w.pid)) {
                    watched_.erase(watched_.begin() + long(i));
                    continue;
                }
                if (!w.killed && Clock::now() >= w.deadline) {
                    kill(w.pid, SIGKILL);
                    w.killed = true;
                }
                ++i;
            }
            if (watched_.empty()) break;
            lock.unlock();
            std::this_thread::sleep_for(kPollPeriod);
            lock.lock();
        }
        running_ = false;
    }

    std::mutex mutex_;
    std::vector<Watched> watched_;
    std::thread thread_;
    bool running_ = false;
};

Reaper g_reaper;

}  // namespace

void reap_helper(pid_t pid) {
    if (pid <= 0 || reaped(pid)) return;
    if (g_reaper.watch(pid)) return;
    // Nothing can watch it: end it now rather than leave a zombie.
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool reaper_busy() { return g_reaper.busy(); }

}  // namespace yawp::x11editor
