// Numbers in the state document are little-endian whatever the processor is,
// so they are always packed and unpacked byte by byte.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace yawp::state {

inline constexpr size_t kU32Bytes = 4;

inline void store_u32le(uint8_t* out, uint32_t v) {
    for (size_t i = 0; i < kU32Bytes; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t load_u32le(const uint8_t* in) {
    uint32_t v = 0;
    for (size_t i = 0; i < kU32Bytes; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return v;
}

inline void store_i32le(uint8_t* out, int32_t v) { store_u32le(out, static_cast<uint32_t>(v)); }

inline void store_f32le(uint8_t* out, float v) { store_u32le(out, std::bit_cast<uint32_t>(v)); }

inline float load_f32le(const uint8_t* in) { return std::bit_cast<float>(load_u32le(in)); }

}  // namespace yawp::state
