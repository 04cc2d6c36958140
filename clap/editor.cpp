#include "clap/editor.h"

#include <chrono>
#include <cstring>
#include <new>

#include "clap/page_window.h"
#include "clap/plugin.h"
#include "engine/catalogue.h"

namespace yawp::clap {

namespace {

// [main-thread]
const void* host_extension(const clap_host* host, const char* id) {
    return host != nullptr && host->get_extension != nullptr ? host->get_extension(host, id) : nullptr;
}

// [main-thread] The host's extensions whose calls we make, when all of
// those calls are there; else null.
const clap_host_timer_support* timers_of(const clap_host* host) {
    const auto* timers = static_cast<const clap_host_timer_support*>(host_extension(host, CLAP_EXT_TIMER_SUPPORT));
    return timers != nullptr && timers->register_timer != nullptr && timers->unregister_timer != nullptr ? timers
                                                                                                          : nullptr;
}

// [main-thread]
const clap_host_gui* gui_of(const clap_host* host) {
    const auto* gui = static_cast<const clap_host_gui*>(host_extension(host, CLAP_EXT_GUI));
    return gui != nullptr && gui->request_resize != nullptr ? gui : nullptr;
}

bool same_size(page_zoom::Size a, page_zoom::Size b) { return a.width == b.width && a.height == b.height; }

uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

bool Editor::offers(const char* api, bool is_floating) {
    return !is_floating && api != nullptr && std::strcmp(api, page_window_api()) == 0 && page_window_offered();
}

bool Editor::supports(const clap_host* host, const char* api, bool is_floating) {
    return offers(api, is_floating) && page_window_possible(host);
}

Editor* Editor::create(Plugin* plugin) { return new (std::nothrow) Editor(plugin); }

Editor::Editor(Plugin* plugin)
    : plugin_(plugin),
      host_timers_(timers_of(plugin->host())),
      host_gui_(gui_of(plugin->host())),
      size_(plugin->editor_zoom()) {}

Editor::~Editor() { close_window(); }

// A second parent takes the page afresh: the old window goes with its
// helper or browser, and the new one starts from the current values.
bool Editor::set_parent(const clap_window* parent) {
    if (parent == nullptr || parent->api == nullptr || std::strcmp(parent->api, page_window_api()) != 0) return false;
    close_window();
    const page_zoom::Size size = size_.size();
    window_ = page_window_open(this, plugin_->host(), parent, size.width, size.height,
                               size_.scale_given() ? size_.scale() : 0);
    if (window_ == nullptr) return false;
    if (!start_timer()) {
        page_window_close(window_);
        window_ = nullptr;
        return false;
    }
    if (!visible_) page_window_set_visible(window_, false);
    show_all_values();
    return true;
}

// While the page is open the window should follow the new scale; the host
// decides, and one that refuses keeps the window at the size it has.
bool Editor::set_scale(double scale) {
    const page_zoom::Size before = size_.size();
    const bool news = !size_.scale_given() || scale != size_.scale();
    if (!size_.set_scale(scale)) return false;
    if (window_ != nullptr && news) {
        page_window_set_scale(window_, size_.scale());
        ask_host_for_size(before);
    }
    return true;
}

void Editor::ask_host_for_size(page_zoom::Size before) {
    const page_zoom::Size wanted = size_.size();
    if (same_size(wanted, before)) return;
    const clap_host* host = plugin_->host();
    if (host_gui_ != nullptr && host_gui_->request_resize(host, uint32_t(wanted.width), uint32_t(wanted.height))) {
        page_window_resize(window_, wanted.width, wanted.height);
        return;
    }
    size_.set(uint32_t(before.width), uint32_t(before.height));
}

bool Editor::get_size(uint32_t* width, uint32_t* height) const {
    if (width == nullptr || height == nullptr) return false;
    *width = uint32_t(size_.size().width);
    *height = uint32_t(size_.size().height);
    return true;
}

// The musician's zoom is the instance's to keep: an editor opened again
// comes back at it.
bool Editor::set_size(uint32_t width, uint32_t height) {
    if (!size_.set(width, height)) return false;
    plugin_->keep_editor_zoom(size_.zoom());
    if (window_ != nullptr) page_window_resize(window_, size_.size().width, size_.size().height);
    return true;
}

// A hidden page is not sent values; shown again, it catches up at once.
bool Editor::set_visible(bool visible) {
    visible_ = visible;
    if (window_ == nullptr) return false;
    const bool done = page_window_set_visible(window_, visible);
    if (visible) show_changed_values();
    return done;
}

void Editor::on_timer(clap_id timer) {
    if (!own_timer_ && timer_ != CLAP_INVALID_ID && timer == timer_) tick();
}

void Editor::on_fd(int fd) {
    if (window_ != nullptr) page_window_fd_ready(window_, fd);
}

// Values first: the poll sends them, together, on Linux.
void Editor::tick() {
    if (window_ == nullptr) return;
    if (visible_) show_changed_values();
    page_window_poll(window_);
}

void Editor::begin_edit(uint32_t index, float value) {
    page_has(index, value);
    plugin_->begin_edit(index, value);
}

void Editor::perform_edit(uint32_t index, float value) {
    page_has(index, value);
    plugin_->perform_edit(index, value);
}

void Editor::end_edit(uint32_t index, float value) {
    page_has(index, value);
    plugin_->end_edit(index, value);
}

void Editor::page_has(uint32_t index, float value) {
    if (index < catalogue::kInputCount) gate_.sent(index, value, now_ms());
}

// The host's timer when it offers one, else one of our own.
bool Editor::start_timer() {
    const clap_host* host = plugin_->host();
    if (host_timers_ != nullptr && host_timers_->register_timer(host, kTickMs, &timer_)) return true;
    timer_ = CLAP_INVALID_ID;
    own_timer_ = page_window_start_own_timer(window_, kTickMs);
    return own_timer_;
}

void Editor::stop_timer() {
    if (own_timer_) {
        page_window_stop_own_timer(window_);
        own_timer_ = false;
    } else if (timer_ != CLAP_INVALID_ID) {
        host_timers_->unregister_timer(plugin_->host(), timer_);
    }
    timer_ = CLAP_INVALID_ID;
}

// The timer stops first: nothing may tick into a window that is gone.
void Editor::close_window() {
    if (window_ == nullptr) return;
    stop_timer();
    page_window_close(window_);
    window_ = nullptr;
}

// A new page starts from every value: the 32 inputs, then the four meters.
void Editor::show_all_values() {
    gate_ = page_values::ValueGate{};
    const uint64_t now = now_ms();
    for (uint32_t i = 0; i < catalogue::kCount; ++i) {
        const float value = plugin_->shown_value(i);
        page_window_send(window_, i, value);
        gate_.sent(i, value, now);
    }
}

// Only what would change the page goes out, and the meters at their rate.
void Editor::show_changed_values() {
    const uint64_t now = now_ms();
    for (uint32_t i = 0; i < catalogue::kCount; ++i) {
        const float value = plugin_->shown_value(i);
        if (gate_.admit(i, value, now)) page_window_send(window_, i, value);
    }
    gate_.flush_due(now, [this](uint32_t index, float value) { page_window_send(window_, index, value); });
}

}  // namespace yawp::clap
