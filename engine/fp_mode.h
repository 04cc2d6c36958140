// Flush-to-zero and denormals-are-zero for the span of one block. Filter
// memories decaying into denormals would otherwise cost hundreds of cycles
// per sample on some processors. Only those two bits of the caller's
// floating-point control register are touched, and both are restored.
#pragma once

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define YAWP_HAVE_MXCSR 1
#endif

namespace yawp {

class DenormalsOff {
public:
#if YAWP_HAVE_MXCSR
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    static constexpr unsigned kBits = kFlushToZero | kDenormalsAreZero;

    DenormalsOff() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kBits); }
    ~DenormalsOff() { _mm_setcsr((_mm_getcsr() & ~kBits) | (saved_ & kBits)); }

private:
    unsigned saved_;
#else
    DenormalsOff() = default;
#endif
    DenormalsOff(const DenormalsOff&) = delete;
    DenormalsOff& operator=(const DenormalsOff&) = delete;
};

}  // namespace yawp
