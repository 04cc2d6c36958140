// The helper's own pieces that need no display: the scale text the plug-in
// sends it, and the table that names the page's keys for X.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "x11editor/helper/key_symbols.h"
#include "webui/page_size.h"
#include "x11editor/helper_texts.h"

// Last: Xlib's macros (None) must not reach the headers above.
#include <X11/X.h>
#include <X11/keysym.h>

namespace {

using namespace yawp::x11editor;
using yawp::page_messages::PageKey;
using yawp::page_messages::read_page_message;

std::string scale_text(double scale) {
    char text[kScaleTextLength + 1];
    format_scale_text(text, scale);
    return text;
}

double read_back(const std::string& text) {
    double scale = -1;
    EXPECT_TRUE(read_scale_text(text.c_str(), &scale)) << text;
    return scale;
}

TEST(ScaleText, CarriesTheFloatsBitsAndReadsBack) {
    EXPECT_EQ(scale_text(2.0), "z 40000000");
    EXPECT_EQ(scale_text(1.5), "z 3fc00000");
    EXPECT_EQ(scale_text(1.0), "z 3f800000");
    for (double scale : {0.75, 1.0, 1.25, 1.5, 2.0, 3.0}) EXPECT_EQ(read_back(scale_text(scale)), scale);
}

TEST(ScaleText, NoUsableScaleIsSentAndReadAsNone) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double none : {0.0, -1.0, nan, inf, -inf}) EXPECT_EQ(scale_text(none), "z 00000000") << none;
    EXPECT_EQ(read_back("z 7f800000"), 0.0) << "infinity";
    EXPECT_EQ(read_back("z 7fc00000"), 0.0) << "NaN";
    EXPECT_EQ(read_back("z bf800000"), 0.0) << "-1";
    EXPECT_EQ(read_back("z "), 0.0);
    EXPECT_EQ(read_back("z 40000000 1"), 0.0) << "anything after the number";
    EXPECT_EQ(read_back("z zz"), 0.0);
}

TEST(ScaleText, OnlyScaleTextsAreTakenOutOfTheStream) {
    double scale = 0;
    for (const char* page_text : {"s 00000000 40000000", "m crierV1 initDone ", "z", "zz 40000000", ""})
        EXPECT_FALSE(read_scale_text(page_text, &scale)) << page_text;
    EXPECT_FALSE(read_scale_text(nullptr, &scale));
}

TEST(PageSize, TheEditorsSizeIsThePagesTimesTheScaleRounded) {
    using yawp::page_size::scaled_length;
    EXPECT_EQ(scaled_length(700, 1), 700);
    EXPECT_EQ(scaled_length(677, 1), 677);
    EXPECT_EQ(scaled_length(700, 1.5), 1050);
    EXPECT_EQ(scaled_length(677, 1.5), 1016);
    EXPECT_EQ(scaled_length(700, 2), 1400);
    EXPECT_EQ(scaled_length(677, 2), 1354);
    EXPECT_EQ(scaled_length(677, 0), 677) << "no scale: the page's own size";
    EXPECT_EQ(scaled_length(677, std::nan("")), 677);
}

using Keysym = unsigned long;

PageKey key(uint32_t code, uint32_t character, uint32_t modifiers = 0) { return PageKey{code, character, modifiers}; }

TEST(KeySymbols, ACharacterNamesItsKey) {
    EXPECT_EQ(keysym_of(key(0x20, ' ')), Keysym(XK_space));
    EXPECT_EQ(keysym_of(key(0x41, 'a')), Keysym(XK_a));
    EXPECT_EQ(keysym_of(key(0x41, 'A', 1)), Keysym(XK_A));
    EXPECT_EQ(keysym_of(key(0x31, '!', 1)), Keysym(XK_exclam));
    EXPECT_EQ(keysym_of(key(0xBA, 0xE9)), Keysym(XK_eacute)) << "Latin-1: the code point";
    EXPECT_EQ(keysym_of(key(0x45, 0x20AC)), 0x10020ACul) << "the rest of Unicode";
    EXPECT_EQ(keysym_of(key(0x41, 0x1F600)), 0x101F600ul);
}

TEST(KeySymbols, KeysWithoutACharacterHaveTheirOwnNames) {
    const struct {
        uint32_t code;
        unsigned long keysym;
    } named[] = {
        {0x08, XK_BackSpace}, {0x09, XK_Tab},   {0x0D, XK_Return}, {0x1B, XK_Escape}, {0x20, XK_space},
        {0x21, XK_Prior},     {0x22, XK_Next},  {0x23, XK_End},    {0x24, XK_Home},   {0x25, XK_Left},
        {0x26, XK_Up},        {0x27, XK_Right}, {0x28, XK_Down},   {0x2D, XK_Insert}, {0x2E, XK_Delete},
        {0x70, XK_F1},        {0x7B, XK_F12},   {0x87, XK_F24},    {0x60, XK_KP_0},   {0x69, XK_KP_9},
        {0x6B, XK_KP_Add},    {0x30, XK_0},     {0x39, XK_9},      {0x41, XK_a},      {0x5A, XK_z},
        {0x10, XK_Shift_L},   {0x11, XK_Control_L}, {0x12, XK_Alt_L}, {0x5B, XK_Super_L}, {0xBD, XK_minus},
    };
    for (const auto& n : named) EXPECT_EQ(keysym_of(key(n.code, 0)), n.keysym) << std::hex << n.code;
    for (const auto& n : named) EXPECT_EQ(keysym_of_code(n.code), n.keysym) << std::hex << n.code;
}

TEST(KeySymbols, ControlCharactersGoByTheKeysCode) {
    EXPECT_EQ(keysym_of(key(0x0D, 0x0D)), Keysym(XK_Return));
    EXPECT_EQ(keysym_of(key(0x08, 0x08)), Keysym(XK_BackSpace));
    EXPECT_EQ(keysym_of(key(0x09, 0x09)), Keysym(XK_Tab));
    EXPECT_EQ(keysym_of(key(0x1B, 0x1B)), Keysym(XK_Escape));
    EXPECT_EQ(keysym_of(key(0x2E, 0x7F)), Keysym(XK_Delete));
    EXPECT_EQ(keysym_of(key(0x41, 0x85)), Keysym(XK_a)) << "a C1 control";
}

TEST(KeySymbols, KeysXHasNoNameForHaveNone) {
    for (uint32_t code : {0x01u, 0x07u, 0x0Au, 0x3Au, 0x40u, 0x88u, 0xE5u, 0xFEu})
        EXPECT_EQ(keysym_of(key(code, 0)), Keysym(NoSymbol)) << std::hex << code;
}

TEST(KeySymbols, ModifiersBecomeTheStateMask) {
    EXPECT_EQ(x_state_of(0), 0u);
    EXPECT_EQ(x_state_of(1), unsigned(ShiftMask));
    EXPECT_EQ(x_state_of(2), unsigned(ControlMask));
    EXPECT_EQ(x_state_of(4), unsigned(Mod1Mask));
    EXPECT_EQ(x_state_of(8), unsigned(Mod4Mask));
    EXPECT_EQ(x_state_of(16), 0u) << "repeat is no modifier";
    EXPECT_EQ(x_state_of(31), unsigned(ShiftMask | ControlMask | Mod1Mask | Mod4Mask));
}

TEST(KeySymbols, ThePagesKeyTextsReadIntoKeys) {
    const auto space = read_page_message("k d 20 20 0", 0);
    EXPECT_EQ(keysym_of(space.key), Keysym(XK_space));
    const auto f5 = read_page_message("k u 74 0 3", 0);
    EXPECT_EQ(keysym_of(f5.key), Keysym(XK_F5));
    EXPECT_EQ(x_state_of(f5.key.modifiers), unsigned(ShiftMask | ControlMask));
}

}  // namespace
