// The texts the plug-in sends to the helper itself rather than to the page.
// They travel in the same frames as the page's texts; the helper takes them
// out of the stream and never hands them on, so the page never sees a text
// it would not know.
//
//   "z BBBBBBBB"  the host's scale for the editor, a float's bits in hex
//                 (the way the value texts carry theirs, so no locale's
//                 decimal point can get in between); 0, or any value that
//                 is not a finite number above 0, means the host gave none
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "webui/page_numbers.h"

namespace yawp::x11editor {

inline constexpr char kScaleTag = 'z';
inline constexpr size_t kScaleTextLength = 10;

// [any-thread] A usable scale, or 0 for "none".
inline double usable_scale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 0.0; }

// [any-thread] "z %08x" of the scale as a float, 0 for none.
inline void format_scale_text(char (&text)[kScaleTextLength + 1], double scale) {
    constexpr char kDigits[] = "0123456789abcdef";
    const uint32_t bits = std::bit_cast<uint32_t>(float(usable_scale(scale)));
    text[0] = kScaleTag;
    text[1] = ' ';
    for (int i = 0; i < 8; ++i) text[2 + i] = kDigits[(bits >> (28 - 4 * i)) & 15];
    text[kScaleTextLength] = '\0';
}

// [any-thread] True when `text` is a scale text; *scale is then the host's
// scale, or 0 when it gave none (or sent something that is no scale).
inline bool read_scale_text(const char* text, double* scale) {
    if (text == nullptr || text[0] != kScaleTag || text[1] != ' ') return false;
    const char* field = text + 2;
    uint32_t bits = 0;
    const bool read = page_numbers::scan_hex(field, &bits) && *field == '\0';
    *scale = read ? usable_scale(double(std::bit_cast<float>(bits))) : 0.0;
    return true;
}

}  // namespace yawp::x11editor
