#include "cpu_features.h"

#include <atomic>

namespace yawp::cpu_features {
namespace {

std::atomic<bool> baseline_forced{false};

bool processor_has_avx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    // libgcc's answer also checks that the system saves the wide registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

bool avx2() {
    static const bool has = processor_has_avx2();
    return has && !baseline_forced.load(std::memory_order_relaxed);
}

void force_baseline(bool on) { baseline_forced.store(on, std::memory_order_relaxed); }

}  // namespace yawp::cpu_features
