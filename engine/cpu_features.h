// Which of the engine's wider paths this processor can run. Every x86-64
// processor has SSE2, the baseline the engine is built for; AVX2 paths are
// taken only where the processor (and its operating system) support them,
// and give the same bits as the SSE2 paths.
#pragma once

namespace yawp::cpu_features {

// [any-thread] Whether the AVX2 paths may run: the processor has AVX2 and
// nobody asked for the baseline.
bool avx2();

// [main-thread] For tests and measurements: run the baseline SSE2 paths
// even where AVX2 is there. Engines read this when they are initialised.
void force_baseline(bool on);

}  // namespace yawp::cpu_features
