#include "x11editor/helper/key_symbols.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace yawp::x11editor {

using namespace page_messages;

namespace {

struct KeyName {
    uint32_t code;  // Windows virtual-key code
    unsigned long keysym;
};

// The keys that type no character, and the punctuation keys of a US
// layout for a page that sent no character with them. Letters, digits and
// F1 to F24 are runs, handled below.
constexpr KeyName kKeyNames[] = {
    {0x08, XK_BackSpace}, {0x09, XK_Tab},         {0x0C, XK_Clear},       {0x0D, XK_Return},
    {0x10, XK_Shift_L},   {0x11, XK_Control_L},   {0x12, XK_Alt_L},       {0x13, XK_Pause},
    {0x14, XK_Caps_Lock}, {0x1B, XK_Escape},      {0x20, XK_space},       {0x21, XK_Prior},
    {0x22, XK_Next},      {0x23, XK_End},         {0x24, XK_Home},        {0x25, XK_Left},
    {0x26, XK_Up},        {0x27, XK_Right},       {0x28, XK_Down},        {0x29, XK_Select},
    {0x2A, XK_Print},     {0x2B, XK_Execute},     {0x2C, XK_Print},       {0x2D, XK_Insert},
    {0x2E, XK_Delete},    {0x2F, XK_Help},        {0x5B, XK_Super_L},     {0x5C, XK_Super_R},
    {0x5D, XK_Menu},      {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},      {0x6C, XK_KP_Separator},
    {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},  {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock}, {0xA0, XK_Shift_L},   {0xA1, XK_Shift_R},     {0xA2, XK_Control_L},
    {0xA3, XK_Control_R}, {0xA4, XK_Alt_L},       {0xA5, XK_Alt_R},       {0xBA, XK_semicolon},
    {0xBB, XK_equal},     {0xBC, XK_comma},       {0xBD, XK_minus},       {0xBE, XK_period},
    {0xBF, XK_slash},     {0xC0, XK_grave},       {0xDB, XK_bracketleft}, {0xDC, XK_backslash},
    {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
};

struct KeyRun {
    uint32_t first_code;
    uint32_t last_code;
    unsigned long first_keysym;
};

constexpr KeyRun kKeyRuns[] = {
    {0x30, 0x39, XK_0},     // digits
    {0x41, 0x5A, XK_a},     // letters: the unshifted keysym, Shift is in the state
    {0x60, 0x69, XK_KP_0},  // the number pad's digits
    {0x70, 0x87, XK_F1},    // F1 to F24
};

struct ModifierMask {
    uint32_t bit;
    unsigned mask;
};

constexpr ModifierMask kModifierMasks[] = {
    {kKeyShift, ShiftMask},
    {kKeyControl, ControlMask},
    {kKeyAlt, Mod1Mask},
    {kKeyMeta, Mod4Mask},
};

// Unicode's C0 and C1 controls and DEL: a character no keysym stands for.
constexpr uint32_t kFirstPrintable = 0x20;
constexpr uint32_t kDelete = 0x7F;
constexpr uint32_t kLastControl = 0x9F;
constexpr uint32_t kLastLatin1 = 0xFF;
constexpr unsigned long kUnicodeKeysyms = 0x1000000;

bool printable(uint32_t character) {
    return character >= kFirstPrintable && !(character >= kDelete && character <= kLastControl);
}

}  // namespace

unsigned long keysym_of_code(uint32_t code) {
    for (const KeyName& name : kKeyNames)
        if (name.code == code) return name.keysym;
    for (const KeyRun& run : kKeyRuns)
        if (code >= run.first_code && code <= run.last_code) return run.first_keysym + (code - run.first_code);
    return NoSymbol;
}

unsigned long keysym_of(const PageKey& key) {
    if (!printable(key.character)) return keysym_of_code(key.code);
    return key.character <= kLastLatin1 ? key.character : kUnicodeKeysyms + key.character;
}

unsigned x_state_of(uint32_t modifiers) {
    unsigned state = 0;
    for (const ModifierMask& m : kModifierMasks)
        if ((modifiers & m.bit) != 0) state |= m.mask;
    return state;
}

}  // namespace yawp::x11editor
