// Names from the page become folder names under the store folder, so each
// part is held to what is a plain relative path on every Windows and Linux
// file system. The rules are the same on both, so a name that works on one
// works on the other.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "news/crier.h"

namespace {

// Windows opens these as devices in any folder, with any extension.
// The last six end in a superscript one, two or three.
constexpr std::array<std::string_view, 32> kDeviceNames = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$",
    "COM0", "COM1", "COM2", "COM3", "COM4",   "COM5",    "COM6", "COM7", "COM8", "COM9",
    "LPT0", "LPT1", "LPT2", "LPT3", "LPT4",   "LPT5",    "LPT6", "LPT7", "LPT8", "LPT9",
    "COM\xC2\xB9", "COM\xC2\xB2", "COM\xC2\xB3", "LPT\xC2\xB9", "LPT\xC2\xB2", "LPT\xC2\xB3",
};

// Characters Windows refuses in names; ":" would also open an alternate data
// stream or make the name drive-relative.
constexpr std::string_view kForbidden = "<>:\"|?*";

struct Utf8Lead {
    uint8_t mask;
    uint8_t value;
    uint8_t length;
    uint32_t smallest;  // below this the sequence is an overlong form
};
constexpr std::array<Utf8Lead, 3> kUtf8Leads = {{
    {0xE0, 0xC0, 2, 0x80},
    {0xF0, 0xE0, 3, 0x800},
    {0xF8, 0xF0, 4, 0x10000},
}};

// Length of the UTF-8 sequence at `s`, or 0 when it is not a valid one.
size_t sequence_length(const unsigned char* s) {
    if (s[0] < 0x80) return 1;
    for (const Utf8Lead& lead : kUtf8Leads) {
        if ((s[0] & lead.mask) != lead.value) continue;
        uint32_t code = s[0] & static_cast<uint8_t>(~lead.mask);
        for (size_t i = 1; i < lead.length; ++i) {
            if ((s[i] & 0xC0) != 0x80) return 0;  // also stops at the NUL
            code = (code << 6) | (s[i] & 0x3F);
        }
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (code < lead.smallest || code > 0x10FFFF || surrogate) return 0;
        return lead.length;
    }
    return 0;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// "nul.txt" and "COM1 " are the devices too: what counts is the text before
// the first dot, without trailing spaces.
bool is_device_name(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (std::string_view device : kDeviceNames)
        if (same_ignoring_case(base, device)) return true;
    return false;
}

// Windows drops trailing dots and spaces, so "a." would alias "a" and
// "..." or ". ." could act as a parent folder.
bool is_acceptable_component(std::string_view c) {
    if (c.empty() || c == "." || c == "..") return false;
    if (c.back() == '.' || c.back() == ' ') return false;
    return !is_device_name(c);
}

}  // namespace

bool crier_part_is_acceptable(const char* part) {
    if (part == nullptr) return false;
    const auto* at = reinterpret_cast<const unsigned char*>(part);
    const auto* component = at;
    for (;;) {
        const char c = static_cast<char>(*at);
        if (c == '\0' || is_separator(c)) {
            const std::string_view text(reinterpret_cast<const char*>(component),
                                        static_cast<size_t>(at - component));
            if (!is_acceptable_component(text)) return false;
            if (c == '\0') return true;
            component = ++at;
            continue;
        }
        if (is_control(*at) || kForbidden.find(c) != std::string_view::npos) return false;
        const size_t n = sequence_length(at);
        if (n == 0) return false;
        at += n;
    }
}
