// A non-owning view of bytes: what every map entry, archive member and parsed
// document is made of. Whoever creates a view keeps the bytes alive for as
// long as the view is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace yawp::state {

struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;

    constexpr ByteView() = default;
    constexpr ByteView(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}

    // Text without its terminator: keys, names and text values.
    ByteView(std::string_view text)
        : data(reinterpret_cast<const uint8_t*>(text.data())), size(text.size()) {}
    ByteView(const char* text) : ByteView(std::string_view(text ? text : "")) {}
};

// Same length and same bytes.
inline bool equal_bytes(ByteView a, ByteView b) {
    if (a.size != b.size) return false;
    return a.size == 0 || std::memcmp(a.data, b.data, a.size) == 0;
}

}  // namespace yawp::state
