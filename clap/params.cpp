// The 32 inputs as CLAP parameters. Each parameter's id is its catalogue
// index, for good: hosts store it in their projects and automation.
#include <cmath>
#include <cstring>

#include "clap/extensions.h"
#include "clap/modulation.h"
#include "clap/plugin.h"
#include "clap/process.h"

namespace yawp::clap {

namespace cat = catalogue;

namespace {

constexpr uint32_t kSteppedKinds = cat::kKindToggle | cat::kKindInteger | cat::kKindBypass;

// The catalogue's UTF-16 text as UTF-8, cut at a character boundary to fit
// `size` bytes with the terminator. False when it does not fit whole.
bool utf8_of(const char16_t* text, char* out, uint32_t size) {
    uint32_t used = 0;
    for (; *text != 0; ++text) {
        const uint32_t c = *text;  // the catalogue's texts are all in the BMP
        char bytes[3];
        uint32_t n = 0;
        if (c < 0x80) {
            bytes[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (used + n + 1 > size) {
            out[used] = 0;
            return false;
        }
        std::memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = 0;
    return true;
}

// A host's UTF-8 text as the catalogue reads it. Only ASCII can be part of
// a number, so any other character becomes U+FFFD, which ends the reading.
void utf16_of(const char* text, char16_t* out, size_t capacity) {
    size_t n = 0;
    for (; text[n] != 0 && n + 1 < capacity; ++n) {
        const auto byte = static_cast<unsigned char>(text[n]);
        out[n] = byte < 0x80 ? static_cast<char16_t>(byte) : u'\uFFFD';
    }
    out[n] = 0;
}

uint32_t flags_of(uint32_t index, const cat::RangeEntry& e) {
    uint32_t flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (e.kind & kSteppedKinds) flags |= CLAP_PARAM_IS_STEPPED;
    if (e.kind & cat::kKindBypass) flags |= CLAP_PARAM_IS_BYPASS;
    if (is_modulatable(index)) flags |= CLAP_PARAM_IS_MODULATABLE;
    return flags;
}

}  // namespace

struct ParamsCalls {
    // [main-thread]
    static uint32_t count(const clap_plugin*) { return cat::kInputCount; }

    // [main-thread]
    static bool get_info(const clap_plugin*, uint32_t index, clap_param_info* info) {
        cat::Presentation p;
        if (info == nullptr || index >= cat::kInputCount || !cat::presentation(index, &p)) return false;
        const cat::RangeEntry& e = *cat::entry(index);
        *info = {};
        info->id = index;
        info->flags = flags_of(index, e);
        info->cookie = nullptr;
        utf8_of(p.title, info->name, sizeof info->name);
        info->module[0] = 0;
        info->min_value = e.minimum;
        info->max_value = e.maximum;
        info->default_value = e.def;
        return true;
    }

    // [main-thread] The base value, as the audio thread last applied it or
    // as a state, preset or gesture set it since: never the modulation.
    static bool get_value(const clap_plugin* plugin, clap_id id, double* value) {
        if (value == nullptr || id >= cat::kInputCount) return false;
        *value = Plugin::of(plugin)->shown_value(id);
        return true;
    }

    // [main-thread] The VST3 controller's texts, for the same value.
    static bool value_to_text(const clap_plugin*, clap_id id, double value, char* display, uint32_t size) {
        if (display == nullptr || size == 0 || id >= cat::kInputCount) return false;
        char16_t text[cat::kTextCapacity];
        if (!cat::value_to_text(id, cat::plain_to_normalized(id, value), text, cat::kTextCapacity)) return false;
        return utf8_of(text, display, size);
    }

    // [main-thread]
    static bool text_to_value(const clap_plugin*, clap_id id, const char* display, double* value) {
        if (display == nullptr || value == nullptr || id >= cat::kInputCount) return false;
        char16_t text[cat::kTextCapacity];
        utf16_of(display, text, cat::kTextCapacity);
        double normalized = 0;
        if (!cat::text_to_value(id, text, &normalized)) return false;
        *value = cat::normalized_to_plain(id, normalized);
        return true;
    }
};

const clap_plugin_params* params_extension() {
    static constexpr clap_plugin_params kParams = {
        ParamsCalls::count,         ParamsCalls::get_info,      ParamsCalls::get_value,
        ParamsCalls::value_to_text, ParamsCalls::text_to_value, ProcessCalls::flush,
    };
    return &kParams;
}

}  // namespace yawp::clap
