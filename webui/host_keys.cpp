// Keys the page does not use, handed to the host. Inside the browser every
// key would stay with the page, and the DAW's space bar and shortcuts would
// die while the editor has the focus; so the page passes on what it does
// not need ("k" texts), and they are posted to the top-level window of the
// host's editor frame as the keyboard would have sent them. The host's own
// message loop makes the characters (TranslateMessage), as it does for keys
// from the keyboard, so none are posted here: they would arrive twice.
#include "webui/host_record.h"

namespace {

using yawp::page_messages::PageKey;

// The bits of a key message's lParam.
constexpr LPARAM kRepeatCountOne = 1;
constexpr int kScanCodeShift = 16;
constexpr LPARAM kAltHeld = LPARAM(1) << 29;
constexpr LPARAM kWasDown = LPARAM(1) << 30;
constexpr LPARAM kReleased = LPARAM(1) << 31;

// [web-view-thread]
LPARAM key_flags(const PageKey& key, bool down, bool alt) {
    LPARAM flags = kRepeatCountOne | LPARAM(MapVirtualKeyW(key.code, MAPVK_VK_TO_VSC)) << kScanCodeShift;
    if (alt) flags |= kAltHeld;
    if (!down || (key.modifiers & yawp::page_messages::kKeyRepeat) != 0) flags |= kWasDown;
    if (!down) flags |= kReleased;
    return flags;
}

}  // namespace

// [web-view-thread] A press is a key-down, a release a key-up; with Alt they
// are the system messages, as Windows sends them.
void wv2_hand_key_to_host(const WV2Host* host, const PageKey& key, bool down) {
    HWND target = host->parent != nullptr ? GetAncestor(host->parent, GA_ROOTOWNER) : nullptr;
    if (target == nullptr) return;  // a free-standing editor has no host window
    const bool alt = (key.modifiers & yawp::page_messages::kKeyAlt) != 0;
    const UINT message = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    PostMessageW(target, message, WPARAM(key.code), key_flags(key, down, alt));
}
