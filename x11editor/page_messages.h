// The texts the page sends, read the same way the Windows bridge reads
// them: the first character says what it is, the arguments start at the
// third character.
//
//   "b|s|e IIII VVVV"  begin, set or end a gesture: index and float bits in
//                      hex, each read as "%x" reads it, up to 32 bits
//   "g"                send me every value
//   "m TEXT"           a request for the news store
#pragma once

#include <cstdint>

namespace yawp::x11editor {

enum class PageMessageKind { kIgnored, kBegin, kPerform, kEnd, kGetAll, kNews };

struct PageMessage {
    PageMessageKind kind = PageMessageKind::kIgnored;
    uint32_t index = 0;      // kBegin, kPerform, kEnd
    float value = 0;         // kBegin, kPerform, kEnd
    const char* text = nullptr;  // kNews: inside the given text, after "m "
};

// Reads one NUL-ended text. Anything malformed is kIgnored; an index at or
// above `count` too.
PageMessage read_page_message(const char* text, uint32_t count);

// "s %08x %08x" of an index and a value's bits: always 19 characters.
void format_value_message(char (&text)[20], uint32_t index, float value);

}  // namespace yawp::x11editor
