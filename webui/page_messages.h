// The texts the page sends, and the one text the plug-in sends back, read
// and written the same way by the editor bridges of both platforms (the
// WebView2 host on Windows, the helper's link on Linux). The first
// character says what a text is; the arguments start at the third.
//
//   "b|s|e IIII VVVV"  begin, set or end a gesture: index and float bits in
//                      hex, each read as "%x" reads it, up to 32 bits
//   "g"                send me every value
//   "m TEXT"           a request for the news store
//
// The plug-in answers with "s %08x %08x", the index and the value's bits.
#pragma once

#include <bit>
#include <cstdint>

#include "webui/page_numbers.h"

namespace yawp::page_messages {

enum class PageMessageKind { kIgnored, kBegin, kPerform, kEnd, kGetAll, kNews };

struct PageMessage {
    PageMessageKind kind = PageMessageKind::kIgnored;
    uint32_t index = 0;          // kBegin, kPerform, kEnd
    float value = 0;             // kBegin, kPerform, kEnd
    const char* text = nullptr;  // kNews: inside the given text, after "m "
};

// [any-thread] Reads one NUL-ended text. Anything malformed is kIgnored; an
// index at or above `count` too.
inline PageMessage read_page_message(const char* text, uint32_t count) {
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
            if (!page_numbers::scan_hex(fields, &index) || !page_numbers::scan_hex(fields, &bits) || index >= count)
                return message;
            message.kind = text[0] == 'b' ? PageMessageKind::kBegin
                           : text[0] == 's' ? PageMessageKind::kPerform
                                            : PageMessageKind::kEnd;
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

// [any-thread] "s %08x %08x" of an index and a value's bits: always 19
// characters, in the bridge's own character type (WebView2 takes wide
// texts).
template <class Char>
void format_value_message(Char (&text)[20], uint32_t index, float value) {
    constexpr char kDigits[] = "0123456789abcdef";
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    text[0] = Char('s');
    text[1] = Char(' ');
    text[10] = Char(' ');
    for (int i = 0; i < 8; ++i) {
        text[2 + i] = Char(kDigits[(index >> (28 - 4 * i)) & 15]);
        text[11 + i] = Char(kDigits[(bits >> (28 - 4 * i)) & 15]);
    }
    text[19] = Char('\0');
}

}  // namespace yawp::page_messages
