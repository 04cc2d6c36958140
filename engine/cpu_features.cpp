#include "cpu_features.h"

#include <atomic>

namespace yawp::cpu_features {
namespace {

std::atomic<Level> capped{Level::kAvx512};

// libgcc's answers also check that the system saves the wide registers.
Level processor_level() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vbmi2"))
        return Level::kAvx512;
    if (__builtin_cpu_supports("avx2")) return Level::kAvx2;
#endif
    return Level::kBaseline;
}

Level level() {
    static const Level processor = processor_level();
    const Level cap = capped.load(std::memory_order_relaxed);
    return cap < processor ? cap : processor;
}

}  // namespace

bool avx2() { return level() >= Level::kAvx2; }
bool avx512() { return level() >= Level::kAvx512; }

void cap(Level level) { capped.store(level, std::memory_order_relaxed); }

}  // namespace yawp::cpu_features
