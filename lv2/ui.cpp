// The LV2 UI: the editor's page in a web view host. Like every LV2 UI it
// shares nothing with the plug-in instance; it writes control ports through
// the host and hears of port values through port_event. Windows only, since
// the browser is Microsoft's WebView2.
#include <cstdlib>
#include <cstring>

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include "lv2/ports.h"
#include "lv2/ui_ports.h"
#include "lv2/ui_size.h"
#include "lv2/uris.h"
#include "news/crier.h"
#include "webui/host.h"

namespace yawp::lv2 {
namespace {

using catalogue::kCount;

constexpr WV2MessageHandler kNewsHandler = crier_handle_message;

struct Ui {
    WV2Host* host;
    const void* instance;  // the plug-in instance, when the host tells it
    char* bundle_path;  // malloc'ed, UTF-8: the page is found here
    char* loader_path;  // malloc'ed, the same folder in the system code page
    UiPortWriter ports;  // the page's gestures, as port writes
};

char* copy_of(const char* text) {
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

// The host gives the bundle path in UTF-8, but the web view host loads
// WebView2Loader.dll through the system code page (as the VST3 module's own
// folder comes). A path such as C:\Users\José\... must be converted, or the
// editor would never open there. Null when the path has no form in the code
// page (or memory runs out).
char* code_page_copy_of(const char* utf8) {
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (wide <= 0) return nullptr;
    auto* text = static_cast<wchar_t*>(std::malloc(static_cast<size_t>(wide) * sizeof(wchar_t)));
    char* out = nullptr;
    if (text != nullptr && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text, wide) == wide) {
        BOOL lossy = FALSE;
        const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
        if (size > 0 && !lossy) {
            out = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
            if (out != nullptr &&
                WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, size, nullptr, &lossy) != size) {
                std::free(out);
                out = nullptr;
            }
        }
    }
    std::free(text);
    return out;
}

void free_ui(Ui* ui) {
    std::free(ui->bundle_path);
    std::free(ui->loader_path);
    std::free(ui);
}

// Both folders are the bundle itself: WebView2Loader.dll and index.html lie
// beside the module.
const char* bundle_folder(void* ui) { return static_cast<Ui*>(ui)->bundle_path; }
const char* loader_folder(void* ui) { return static_cast<Ui*>(ui)->loader_path; }

// [main-thread] The page's gestures.
void begin_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.begin(index, value); }
void perform_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.perform(index, value); }
void end_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.end(index, value); }

// [main-thread] A missing parent gives the browser a top-level window of
// its own; a missing touch feature leaves edits without notifications.
void read_features(Ui* ui, const LV2_Feature* const* features, HWND* parent, const LV2UI_Resize** resize) {
    for (size_t i = 0; features != nullptr && features[i] != nullptr; ++i) {
        const LV2_Feature* f = features[i];
        if (f->URI == nullptr) continue;
        if (std::strcmp(f->URI, LV2_UI__parent) == 0) {
            *parent = static_cast<HWND>(f->data);
        } else if (std::strcmp(f->URI, LV2_UI__touch) == 0) {
            ui->ports.take_touch(f);
        } else if (std::strcmp(f->URI, LV2_UI__resize) == 0 && f->data != nullptr) {
            *resize = static_cast<const LV2UI_Resize*>(f->data);
        }
    }
    ui->instance = ui_instance(features);
}

// [main-thread] The size the editor has now, kept for when it opens again.
void keep_size(const Ui* ui) {
    RECT rect{};
    if (GetClientRect(wv2_host_window(ui->host), &rect)) keep_ui_size(ui->instance, {rect.right, rect.bottom});
}

// [main-thread]
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char* bundle_path, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (widget == nullptr) return nullptr;
    *widget = nullptr;
    if (bundle_path == nullptr || write == nullptr) return nullptr;
    auto* ui = static_cast<Ui*>(std::calloc(1, sizeof(Ui)));
    if (ui == nullptr) return nullptr;
    ui->bundle_path = copy_of(bundle_path);
    // Without a code page form the loader cannot be loaded, but an installed
    // runtime still can.
    ui->loader_path = code_page_copy_of(bundle_path);
    if (ui->bundle_path == nullptr) {
        free_ui(ui);
        return nullptr;
    }
    HWND parent = nullptr;
    const LV2UI_Resize* resize = nullptr;
    read_features(ui, features, &parent, &resize);
    const bool embed = parent != nullptr;
    ui->ports.write = write;
    ui->ports.controller = controller;

    // At the host's scale, or where the musician left this instance's editor.
    const double scale = ui_scale_factor(features);
    const UiSize size = first_ui_size(ui->instance, scale);
    const WV2HostCallbacks callbacks{ui, "lv2", loader_folder, bundle_folder, begin_edit, perform_edit, end_edit};
    ui->host = wv2_host_create(embed, parent, &callbacks, &kNewsHandler, size.width, size.height, kCount);
    if (ui->host == nullptr) {
        free_ui(ui);
        return nullptr;
    }
    if (scale > 0) wv2_host_set_scale(ui->host, scale);
    if (resize != nullptr && resize->ui_resize != nullptr) resize->ui_resize(resize->handle, size.width, size.height);
    *widget = wv2_host_window(ui->host);
    return ui;
}

// [main-thread]
void cleanup(LV2UI_Handle handle) {
    Ui* ui = static_cast<Ui*>(handle);
    keep_size(ui);
    wv2_host_destroy(ui->host);
    free_ui(ui);
}

// [main-thread]
void port_event(LV2UI_Handle handle, uint32_t port, uint32_t, uint32_t, const void* buffer) {
    Ui* ui = static_cast<Ui*>(handle);
    uint32_t index = 0;
    float value = 0;
    if (page_value_of_port(port, buffer, &index, &value)) wv2_host_set_parameter(ui->host, index, value);
}

// [main-thread] Every message is handled as it arrives; the UI never asks
// to be closed.
int idle(LV2UI_Handle handle) {
    wv2_host_idle(static_cast<Ui*>(handle)->host);
    return 0;
}

// [main-thread] The host gives the editor a size (it was dragged): the
// browser's window takes it, and the page scales to fill it.
int resize(LV2UI_Feature_Handle handle, int width, int height) {
    if (handle == nullptr || width <= 0 || height <= 0) return 1;
    const Ui* ui = static_cast<const Ui*>(handle);
    // Only the size changes; the host keeps the focus.
    constexpr UINT kSizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE;
    if (!SetWindowPos(wv2_host_window(ui->host), nullptr, 0, 0, width, height, kSizeOnly)) return 1;
    keep_ui_size(ui->instance, {width, height});
    return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};
const LV2UI_Resize kResizeInterface = {nullptr, resize};

// [any-thread]
const void* extension_data(const char* uri) {
    if (uri == nullptr) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    if (std::strcmp(uri, LV2_UI__resize) == 0) return &kResizeInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {YAWP_LV2_UI_URI, instantiate, cleanup, port_event, extension_data};

}  // namespace
}  // namespace yawp::lv2

// [any-thread]
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &yawp::lv2::kDescriptor : nullptr;
}
