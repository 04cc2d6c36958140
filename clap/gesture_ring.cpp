#include "clap/plugin.h"

namespace yawp::clap {

// One writer and one reader: each index is written only by its own side,
// and the release store of head_ publishes the slot before the reader can
// see it (and tail_ gives the slot back the same way).
bool GestureRing::push(const Gesture& g) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kSize) return false;
    slots_[head % kSize] = g;
    head_.store(head + 1, std::memory_order_release);
    return true;
}

bool GestureRing::pop(Gesture* g) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    *g = slots_[tail % kSize];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

}  // namespace yawp::clap
