// The keys the page hands on to the host, as X names them: a Windows
// virtual-key code and a character become a keysym, the page's modifier
// bits an X state mask. Nothing here talks to the X server, so the tables
// can be tested without a display.
#pragma once

#include <cstdint>

#include "webui/page_messages.h"

namespace yawp::x11editor {

// The keysym of the character the key types when it types one (Latin-1
// keysyms are their code points, the rest of Unicode is 0x1000000 plus the
// code point), else the keysym of the key itself (Return, F5, Page Up...);
// 0 (NoSymbol) for a key X has no name for.
unsigned long keysym_of(const page_messages::PageKey& key);

// The keysym of the key itself, by its Windows code alone: what
// XKeysymToKeycode is asked next when the keyboard has no key for the
// character (an "é" on a US layout still comes from the E key). 0 for none.
unsigned long keysym_of_code(uint32_t code);

// ShiftMask, ControlMask, Mod1Mask (Alt) and Mod4Mask (Super) for the
// page's modifier bits; the repeat bit has no X counterpart.
unsigned x_state_of(uint32_t modifiers);

}  // namespace yawp::x11editor
