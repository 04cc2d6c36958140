// Which of the engine's wider paths this processor can run. Every x86-64
// processor has SSE2, the baseline the engine is built for; AVX2 and
// AVX-512 paths are taken only where the processor (and its operating
// system) support them, and give the same bits as the SSE2 paths.
#pragma once

namespace yawp::cpu_features {

enum class Level { kBaseline, kAvx2, kAvx512 };

// [any-thread] Whether the AVX2 paths may run: the processor has AVX2 and
// nobody capped the engine below it.
bool avx2();

// [any-thread] Whether the AVX-512 paths may run. They need AVX-512 F and
// DQ, and are kept to processors whose clock 512-bit multiplies do not pull
// down much: the first Intel generations with AVX-512 (Skylake-X, Cascade
// Lake) slow the whole core for them, and they are also the ones without
// VBMI2, which later Intel generations and AMD's Zen 4 and 5 have.
bool avx512();

// [main-thread] For tests and measurements: run no path wider than
// `level`, even where the processor has more. Engines read this when they
// are initialised.
void cap(Level level);

}  // namespace yawp::cpu_features
