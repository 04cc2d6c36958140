// Frames written by hand, as a peer would send them: the four-byte
// little-endian length, then the text. Independent of FrameWriter, so that
// the tests check the reader against the wire format itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace yawp::test {

// The length prefix of a frame of `n` bytes (`n` may be any length, even
// one no reader takes).
inline std::string frame_header(uint32_t n) {
    std::string out(4, '\0');
    for (size_t i = 0; i < out.size(); ++i) out[i] = char((n >> (8 * i)) & 0xff);
    return out;
}

// `text` as one frame.
inline std::string framed(const std::string& text) { return frame_header(uint32_t(text.size())) + text; }

}  // namespace yawp::test
