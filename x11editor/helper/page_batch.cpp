#include "x11editor/helper/page_batch.h"

#include <glib.h>

namespace {

constexpr char kCallStart[] = "window.__yawpDeliver && window.__yawpDeliver(";
constexpr char kCallEnd[] = ")";

// A JavaScript string literal's inside: quotes, backslashes and control
// characters escaped, everything else (valid UTF-8) as it is.
void append_escaped(GString* script, const char* text, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            g_string_append_c(script, '\\');
            g_string_append_c(script, char(c));
        } else if (c < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15], '\0'};
            g_string_append(script, escape);
        } else {
            g_string_append_c(script, char(c));
        }
    }
}

}  // namespace

struct PageBatch {
    GString* texts;   // the call's arguments so far: quoted texts, comma-separated
    GString* script;  // the last script made of them
};

PageBatch* page_batch_new() { return new PageBatch{g_string_new(nullptr), g_string_new(nullptr)}; }

void page_batch_free(PageBatch* batch) {
    if (batch == nullptr) return;
    g_string_free(batch->texts, TRUE);
    g_string_free(batch->script, TRUE);
    delete batch;
}

bool page_batch_add(PageBatch* batch, const char* text, size_t length) {
    if (!g_utf8_validate(text, gssize(length), nullptr)) return false;
    if (batch->texts->len > 0) g_string_append_c(batch->texts, ',');
    g_string_append_c(batch->texts, '"');
    append_escaped(batch->texts, text, length);
    g_string_append_c(batch->texts, '"');
    return true;
}

bool page_batch_empty(const PageBatch* batch) { return batch->texts->len == 0; }

const char* page_batch_script(PageBatch* batch, size_t* length) {
    g_string_assign(batch->script, kCallStart);
    g_string_append_len(batch->script, batch->texts->str, gssize(batch->texts->len));
    g_string_append(batch->script, kCallEnd);
    *length = batch->script->len;
    return batch->script->str;
}

void page_batch_clear(PageBatch* batch) { g_string_truncate(batch->texts, 0); }
