// Reading the numbers in the page's texts ("b|s|e %08x %08x"), shared by the
// editor bridges of both platforms: the fields are read the way "%x"
// reads them, except that a number beyond 32 bits is refused instead of
// being cut down.
#pragma once

#include <cstdint>

namespace yawp::page_numbers {

inline int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// [any-thread] One field: blanks, a sign, a "0x", hex digits. On success
// `at` moves past the field.
inline bool scan_hex(const char*& at, uint32_t* value) {
    const char* p = at;
    while (is_blank(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // "0x" alone is only the start of a number, which "%x" does not accept.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    if (hex_digit(*p) < 0) return false;
    uint64_t number = 0;
    for (; hex_digit(*p) >= 0; ++p) {
        number = number * 16 + uint64_t(hex_digit(*p));
        if (number > 0xFFFFFFFFu) return false;
    }
    *value = negative ? 0u - uint32_t(number) : uint32_t(number);
    at = p;
    return true;
}

}  // namespace yawp::page_numbers
