#include "x11editor/page_messages.h"

#include <bit>

namespace yawp::x11editor {
namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One field as "%x" reads it (blanks, a sign, a "0x", hex digits), except
// that a number beyond 32 bits is refused instead of being cut down.
bool scan_hex(const char*& at, uint32_t* value) {
    const char* p = at;
    while (is_blank(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
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

PageMessageKind gesture_kind(char c) {
    switch (c) {
        case 'b': return PageMessageKind::kBegin;
        case 's': return PageMessageKind::kPerform;
        default: return PageMessageKind::kEnd;
    }
}

}  // namespace

PageMessage read_page_message(const char* text, uint32_t count) {
    PageMessage message;
    if (text == nullptr) return message;
    switch (text[0]) {
        case 'b':
        case 's':
        case 'e': {
            if (text[1] == '\0') return message;
            const char* fields = text + 2;
            uint32_t index = 0;
            uint32_t bits = 0;
            if (!scan_hex(fields, &index) || !scan_hex(fields, &bits) || index >= count) return message;
            message.kind = gesture_kind(text[0]);
            message.index = index;
            message.value = std::bit_cast<float>(bits);
            return message;
        }
        case 'g': message.kind = PageMessageKind::kGetAll; return message;
        case 'm':
            if (text[1] == '\0') return message;
            message.kind = PageMessageKind::kNews;
            message.text = text + 2;
            return message;
        default: return message;
    }
}

void format_value_message(char (&text)[20], uint32_t index, float value) {
    static const char kDigits[] = "0123456789abcdef";
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    text[0] = 's';
    text[1] = ' ';
    text[10] = ' ';
    for (int i = 0; i < 8; ++i) {
        text[2 + i] = kDigits[(index >> (28 - 4 * i)) & 15];
        text[11 + i] = kDigits[(bits >> (28 - 4 * i)) & 15];
    }
    text[19] = '\0';
}

}  // namespace yawp::x11editor
