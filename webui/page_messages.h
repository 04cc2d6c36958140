// The texts the page sends, and the one text the plug-in sends back, read
// and written the same way by the editor bridges of both platforms (the
// WebView2 host on Windows, the helper's link on Linux). The first
// character says what a text is; the arguments start at the third.
//
//   "b|s|e IIII VVVV"  begin, set or end a gesture: index and float bits in
//                      hex, each read as "%x" reads it, up to 32 bits
//   "g"                send me every value
//   "m TEXT"           a request for the news store
//   "k d|u CCCC UUUU MMMM"  a key the page does not use, pressed (d) or
//                      released (u), for the host: its Windows virtual-key
//                      code (KeyboardEvent.keyCode), the character it types
//                      (a code point, 0 for none) and the modifier bits
//                      below, each in hex
//
// The plug-in answers with "s %08x %08x", the index and the value's bits.
#pragma once

#include <bit>
#include <cstdint>

#include "webui/page_numbers.h"

namespace yawp::page_messages {

enum class PageMessageKind { kIgnored, kBegin, kPerform, kEnd, kGetAll, kNews, kKeyDown, kKeyUp };

// The modifier bits of a key the page hands on.
enum KeyModifier : uint32_t {
    kKeyShift = 1,
    kKeyControl = 2,
    kKeyAlt = 4,
    kKeyMeta = 8,
    kKeyRepeat = 16,  // held down: the system repeats the press
};
inline constexpr uint32_t kKeyModifierMask = 31;
inline constexpr uint32_t kLastKeyCode = 0xFE;      // Windows virtual-key codes end here
inline constexpr uint32_t kLastCharacter = 0x10FFFF;  // the last Unicode code point

struct PageKey {
    uint32_t code = 0;       // Windows virtual-key code, 1 to kLastKeyCode
    uint32_t character = 0;  // the code point it types, or 0
    uint32_t modifiers = 0;  // KeyModifier bits
};

struct PageMessage {
    PageMessageKind kind = PageMessageKind::kIgnored;
    uint32_t index = 0;          // kBegin, kPerform, kEnd
    float value = 0;             // kBegin, kPerform, kEnd
    const char* text = nullptr;  // kNews: inside the given text, after "m "
    PageKey key;                 // kKeyDown, kKeyUp
};

// [any-thread] "k d|u" and three numbers; a code, character or modifier out
// of its range, a surrogate or anything after the numbers is refused.
inline bool read_key(const char* text, PageMessage* message) {
    if (text[1] != ' ' || (text[2] != 'd' && text[2] != 'u') || text[3] != ' ') return false;
    const char* fields = text + 4;
    PageKey key;
    if (!page_numbers::scan_hex(fields, &key.code) || !page_numbers::scan_hex(fields, &key.character) ||
        !page_numbers::scan_hex(fields, &key.modifiers) || *fields != '\0')
        return false;
    const bool surrogate = key.character >= 0xD800 && key.character <= 0xDFFF;
    if (key.code == 0 || key.code > kLastKeyCode || key.character > kLastCharacter || surrogate ||
        (key.modifiers & ~kKeyModifierMask) != 0)
        return false;
    message->kind = text[2] == 'd' ? PageMessageKind::kKeyDown : PageMessageKind::kKeyUp;
    message->key = key;
    return true;
}

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
        case 'k': read_key(text, &message); return message;
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
