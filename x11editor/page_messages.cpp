#include "x11editor/page_messages.h"

#include <bit>

#include "webui/page_numbers.h"

namespace yawp::x11editor {
namespace {

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
            if (!page_numbers::scan_hex(fields, &index) || !page_numbers::scan_hex(fields, &bits) || index >= count) return message;
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
