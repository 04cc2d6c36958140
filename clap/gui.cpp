// The gui extension and the host's timer and descriptor calls, handed to
// the instance's editor (editor.h). The host calls all of them on its main
// thread. The page's window is embedded in the host's: floating windows are
// not offered, so set_transient and suggest_title have nothing to do.
#include <cstring>

#include "clap/editor.h"
#include "clap/extensions.h"
#include "clap/page_window.h"
#include "clap/plugin.h"

namespace yawp::clap {

namespace {

// [main-thread] The instance's editor, or null when there is none (or no
// instance).
Editor* editor_of(const clap_plugin* plugin) {
    return plugin != nullptr && plugin->plugin_data != nullptr ? Plugin::of(plugin)->editor : nullptr;
}

// --- clap.gui ---------------------------------------------------------------------------

// [main-thread] Asked of the api alone, not of the host: hosts such as
// Qtractor ask it once, of an instance made for a host that offers no
// extensions, and would never offer our editor. Whether this host can run
// it is gui.create's question.
bool gui_is_api_supported(const clap_plugin* plugin, const char* api, bool is_floating) {
    return plugin != nullptr && plugin->plugin_data != nullptr && Editor::offers(api, is_floating);
}

// [main-thread]
bool gui_get_preferred_api(const clap_plugin*, const char** api, bool* is_floating) {
    if (api == nullptr || is_floating == nullptr) return false;
    *api = page_window_api();
    *is_floating = false;
    return true;
}

// [main-thread] One editor per instance. A host that cannot run ours (no
// browser on Windows, no descriptor watch or timers on Linux) hears so now
// and can show its own controls.
bool gui_create(const clap_plugin* plugin, const char* api, bool is_floating) {
    if (plugin == nullptr || plugin->plugin_data == nullptr) return false;
    Plugin* instance = Plugin::of(plugin);
    if (instance->editor != nullptr || !Editor::supports(instance->host(), api, is_floating)) return false;
    instance->editor = Editor::create(instance);
    return instance->editor != nullptr;
}

// [main-thread]
void gui_destroy(const clap_plugin* plugin) {
    if (plugin != nullptr && plugin->plugin_data != nullptr) close_editor(Plugin::of(plugin));
}

// [main-thread]
bool gui_set_scale(const clap_plugin* plugin, double scale) {
    Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->set_scale(scale);
}

// [main-thread]
bool gui_get_size(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    const Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->get_size(width, height);
}

// [main-thread] The musician may drag the editor to any size the page fills.
bool gui_can_resize(const clap_plugin*) { return true; }

// [main-thread]
bool gui_get_resize_hints(const clap_plugin*, clap_gui_resize_hints_t* hints) {
    if (hints == nullptr) return false;
    *hints = EditorSize::resize_hints();
    return true;
}

// [main-thread]
bool gui_adjust_size(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    const Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->adjust_size(width, height);
}

// [main-thread]
bool gui_set_size(const clap_plugin* plugin, uint32_t width, uint32_t height) {
    Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->set_size(width, height);
}

// [main-thread]
bool gui_set_parent(const clap_plugin* plugin, const clap_window* window) {
    Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->set_parent(window);
}

// [main-thread] Only for floating windows, which we do not make.
bool gui_set_transient(const clap_plugin*, const clap_window*) { return false; }
void gui_suggest_title(const clap_plugin*, const char*) {}

// [main-thread]
bool gui_show(const clap_plugin* plugin) {
    Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->set_visible(true);
}

// [main-thread]
bool gui_hide(const clap_plugin* plugin) {
    Editor* editor = editor_of(plugin);
    return editor != nullptr && editor->set_visible(false);
}

constexpr clap_plugin_gui kGui = {
    gui_is_api_supported, gui_get_preferred_api, gui_create,   gui_destroy,       gui_set_scale,
    gui_get_size,         gui_can_resize,        gui_get_resize_hints, gui_adjust_size, gui_set_size,
    gui_set_parent,       gui_set_transient,     gui_suggest_title,    gui_show,        gui_hide,
};

// --- clap.timer-support and clap.posix-fd-support ------------------------------------

// [main-thread]
void timer_on_timer(const clap_plugin* plugin, clap_id timer) {
    if (Editor* editor = editor_of(plugin)) editor->on_timer(timer);
}

constexpr clap_plugin_timer_support kTimerSupport = {timer_on_timer};

#ifndef _WIN32
// [main-thread]
void posix_fd_on_fd(const clap_plugin* plugin, int fd, clap_posix_fd_flags_t) {
    if (Editor* editor = editor_of(plugin)) editor->on_fd(fd);
}

constexpr clap_plugin_posix_fd_support kPosixFdSupport = {posix_fd_on_fd};
#endif

}  // namespace

const clap_plugin_gui* gui_extension() { return &kGui; }

const clap_plugin_timer_support* timer_extension() { return &kTimerSupport; }

// Windows has no descriptors to watch: the browser lives on a thread of
// its own.
const clap_plugin_posix_fd_support* posix_fd_extension() {
#ifdef _WIN32
    return nullptr;
#else
    return &kPosixFdSupport;
#endif
}

void close_editor(Plugin* plugin) {
    if (plugin == nullptr || plugin->editor == nullptr) return;
    delete plugin->editor;
    plugin->editor = nullptr;
}

}  // namespace yawp::clap
