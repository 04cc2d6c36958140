// Whole state documents through a host's IBStream.
#pragma once

#include <cstdint>
#include <vector>

#include "vst3/sdk.h"

namespace yawp::vst3 {

// A state document is 6 KiB; a stream far beyond that is not one of ours,
// and refusing it early keeps a lying stream from making us allocate
// whatever it claims.
inline constexpr int64_t kMaxStateBytes = 16 << 20;

// [main-thread] The stream's bytes from its very beginning, whatever its
// position. False when a call fails, a read comes up short, the stream is
// larger than kMaxStateBytes or memory is short. A stream of length 0 or
// less gives no bytes.
bool read_stream(Steinberg::IBStream* stream, std::vector<uint8_t>* bytes) noexcept;

// [main-thread] True when the stream took every byte.
bool write_stream(Steinberg::IBStream* stream, const std::vector<uint8_t>& bytes) noexcept;

}  // namespace yawp::vst3
