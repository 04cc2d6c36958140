// The checks of the fuzz targets: a failed one aborts, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "state/byte_view.h"

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

namespace yawp::state::fuzz {

// Every view must lie inside the input; reading each byte lets the address
// sanitizer confirm it.
inline void check_inside(ByteView part, ByteView input) {
    FUZZ_CHECK(part.size == 0 || (part.data >= input.data && part.size <= input.size &&
                                  part.data - input.data <= static_cast<std::ptrdiff_t>(input.size - part.size)));
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < part.size; ++i) sink = sink ^ part.data[i];
}

inline void check_failure(int err) { FUZZ_CHECK(err == EINVAL || err == ENOMEM); }

}  // namespace yawp::state::fuzz
