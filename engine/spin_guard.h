// The one-byte guard around an engine's parameter intake.
//
// The audio thread only ever tries it once per block and never waits; the
// state calls (save and restore, on another thread) spin on it, yielding
// the processor between attempts. They hold it only while copying 32
// values, so the spin is short.
#pragma once

#include <atomic>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

namespace yawp {

class SpinGuard {
public:
    // [audio-thread] One atomic exchange; true when the caller now holds it.
    bool try_take() { return flag_.exchange(1, std::memory_order_acquire) == 0; }

    // [main-thread] Spins until taken, yielding between attempts.
    void take() {
        while (!try_take()) yield();
    }

    // [any-thread] Only by the holder.
    void release() { flag_.exchange(0, std::memory_order_release); }

private:
    static void yield() {
#ifdef _WIN32
        SwitchToThread();
#else
        sched_yield();
#endif
    }

    std::atomic<uint8_t> flag_{0};
};

}  // namespace yawp
