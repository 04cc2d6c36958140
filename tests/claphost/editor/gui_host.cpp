#include "gui_host.h"

#include <algorithm>
#include <string_view>

namespace yawp::clap_test {

namespace {

// Every GuiHost is the extension of one TestHost; the TestHost's data is
// its own, so the GuiHost is found through this table.
std::vector<std::pair<const TestHost*, GuiHost*>> g_hosts;

}  // namespace

GuiHost::GuiHost(TestHost& host) : host_(host) {
    g_hosts.emplace_back(&host, this);
    host.more_extensions = [this](const char* id) { return extension(id); };
}

GuiHost::~GuiHost() {
    host_.more_extensions = nullptr;
    std::erase_if(g_hosts, [this](const auto& entry) { return entry.second == this; });
}

GuiHost* GuiHost::of(const clap_host* h) {
    for (const auto& [test_host, gui_host] : g_hosts)
        if (test_host->clap() == h) return gui_host;
    return nullptr;
}

const void* GuiHost::extension(const char* id) const {
    const std::string_view want = id;
    if (want == CLAP_EXT_TIMER_SUPPORT) return offer_timers ? &timer_support_ : nullptr;
    if (want == CLAP_EXT_POSIX_FD_SUPPORT) return offer_fds ? &fd_support_ : nullptr;
    if (want == CLAP_EXT_GUI) return offer_gui ? &gui_ : nullptr;
    return nullptr;
}

bool GuiHost::on_main_thread() {
    if (std::this_thread::get_id() == main_thread_) return true;
    ++wrong_calls;
    return false;
}

void GuiHost::serve(const clap_plugin* plugin) {
    plugin_ = plugin;
    plugin_timers_ = static_cast<const clap_plugin_timer_support*>(plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    plugin_fds_ = static_cast<const clap_plugin_posix_fd_support*>(plugin->get_extension(plugin, CLAP_EXT_POSIX_FD_SUPPORT));
}

void GuiHost::timer_due(clap_id id) {
    if (plugin_timers_ != nullptr) plugin_timers_->on_timer(plugin_, id);
}

void GuiHost::fd_ready(int fd) {
    if (plugin_fds_ != nullptr) plugin_fds_->on_fd(plugin_, fd, CLAP_POSIX_FD_READ);
}

bool GuiHost::register_timer(const clap_host* h, uint32_t period_ms, clap_id* id) {
    GuiHost* self = of(h);
    if (!self->on_main_thread() || id == nullptr) return false;
    *id = self->next_timer_++;
    self->timers.push_back({*id, period_ms});
    if (self->timer_added) self->timer_added(*id, period_ms);
    return true;
}

bool GuiHost::unregister_timer(const clap_host* h, clap_id id) {
    GuiHost* self = of(h);
    self->on_main_thread();
    const auto at = std::find_if(self->timers.begin(), self->timers.end(), [id](const Timer& t) { return t.id == id; });
    if (at == self->timers.end()) {
        ++self->wrong_calls;
        return false;
    }
    self->timers.erase(at);
    if (self->timer_removed) self->timer_removed(id);
    return true;
}

bool GuiHost::register_fd(const clap_host* h, int fd, clap_posix_fd_flags_t flags) {
    GuiHost* self = of(h);
    self->on_main_thread();
    if (fd < 0 || (flags & CLAP_POSIX_FD_READ) == 0 ||
        std::find(self->fds.begin(), self->fds.end(), fd) != self->fds.end()) {
        ++self->wrong_calls;
        return false;
    }
    self->fds.push_back(fd);
    if (self->fd_added) self->fd_added(fd);
    return true;
}

bool GuiHost::modify_fd(const clap_host* h, int fd, clap_posix_fd_flags_t) {
    GuiHost* self = of(h);
    self->on_main_thread();
    return std::find(self->fds.begin(), self->fds.end(), fd) != self->fds.end();
}

bool GuiHost::unregister_fd(const clap_host* h, int fd) {
    GuiHost* self = of(h);
    self->on_main_thread();
    const auto at = std::find(self->fds.begin(), self->fds.end(), fd);
    if (at == self->fds.end()) {
        ++self->wrong_calls;
        return false;
    }
    self->fds.erase(at);
    if (self->fd_removed) self->fd_removed(fd);
    return true;
}

void GuiHost::resize_hints_changed(const clap_host*) {}

bool GuiHost::request_resize(const clap_host* h, uint32_t width, uint32_t height) {
    GuiHost* self = of(h);
    self->resize_requests.emplace_back(width, height);
    return self->accept_resize;
}

bool GuiHost::request_show(const clap_host*) { return false; }
bool GuiHost::request_hide(const clap_host*) { return false; }
void GuiHost::closed(const clap_host*, bool) {}

std::vector<OutEvent> flush(const Instance& instance, const EventQueue* in) {
    EventQueue none;
    EventQueue out;
    instance.params->flush(instance.plugin, (in != nullptr ? in : &none)->input(), out.output());
    std::vector<OutEvent> events;
    for (uint32_t i = 0; i < out.size(); ++i) {
        const clap_event_header* h = out.get(i);
        if (h->type == CLAP_EVENT_PARAM_VALUE) {
            const auto* e = reinterpret_cast<const clap_event_param_value*>(h);
            events.push_back({h->type, e->param_id, e->value});
        } else if (h->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h->type == CLAP_EVENT_PARAM_GESTURE_END) {
            events.push_back({h->type, reinterpret_cast<const clap_event_param_gesture*>(h)->param_id, 0});
        } else {
            events.push_back({h->type, CLAP_INVALID_ID, 0});
        }
    }
    return events;
}

clap_window window_of(const char* api, uintptr_t handle) {
    clap_window window{};
    window.api = api;
    if (api != nullptr && std::string_view(api) == CLAP_WINDOW_API_X11)
        window.x11 = clap_xwnd(handle);
    else
        window.ptr = reinterpret_cast<void*>(handle);
    return window;
}

}  // namespace yawp::clap_test
