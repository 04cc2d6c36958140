// The host's side of what the CLAP editor talks to, for the editor tests:
// timers (clap.timer-support), watched descriptors (clap.posix-fd-support)
// and the gui requests (clap.gui), each offered or withheld at will, with
// everything the plug-in registered and asked for. What makes timers fire
// and descriptors ready is the platform's loop: the X11 test host's poll()
// on Linux, thread timers in the message loop on Windows. It tells this
// host through the hooks below and hands the plug-in its calls back through
// timer_due and fd_ready.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <clap/clap.h>

#include "clap_host.h"

namespace yawp::clap_test {

class GuiHost {
public:
    // Adds the extensions to `host` (through its more_extensions).
    explicit GuiHost(TestHost& host);
    ~GuiHost();
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;

    bool offer_timers = true;
    bool offer_fds = true;
    bool offer_gui = true;
    bool accept_resize = true;  // request_resize's answer

    // The instance whose timer and descriptor calls the host makes.
    void serve(const clap_plugin* plugin);

    struct Timer {
        clap_id id;
        uint32_t period_ms;
    };
    // Registered now.
    std::vector<Timer> timers;
    std::vector<int> fds;
    // Every request_resize, in order.
    std::vector<std::pair<uint32_t, uint32_t>> resize_requests;
    // Calls that made no sense: unregistering what is not registered,
    // registering a descriptor twice, and any call off the main thread.
    int wrong_calls = 0;

    // [main-thread] The loop's calls into the plug-in.
    void timer_due(clap_id id);
    void fd_ready(int fd);

    // The loop starts and stops watching as the plug-in registers.
    std::function<void(clap_id id, uint32_t period_ms)> timer_added;
    std::function<void(clap_id id)> timer_removed;
    std::function<void(int fd)> fd_added;
    std::function<void(int fd)> fd_removed;

private:
    static GuiHost* of(const clap_host* h);
    const void* extension(const char* id) const;
    bool on_main_thread();

    static bool register_timer(const clap_host* h, uint32_t period_ms, clap_id* id);
    static bool unregister_timer(const clap_host* h, clap_id id);
    static bool register_fd(const clap_host* h, int fd, clap_posix_fd_flags_t flags);
    static bool modify_fd(const clap_host* h, int fd, clap_posix_fd_flags_t flags);
    static bool unregister_fd(const clap_host* h, int fd);
    static void resize_hints_changed(const clap_host* h);
    static bool request_resize(const clap_host* h, uint32_t width, uint32_t height);
    static bool request_show(const clap_host* h);
    static bool request_hide(const clap_host* h);
    static void closed(const clap_host* h, bool was_destroyed);

    TestHost& host_;
    std::thread::id main_thread_ = std::this_thread::get_id();
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_timer_support* plugin_timers_ = nullptr;
    const clap_plugin_posix_fd_support* plugin_fds_ = nullptr;
    clap_id next_timer_ = 1;

    const clap_host_timer_support timer_support_{register_timer, unregister_timer};
    const clap_host_posix_fd_support fd_support_{register_fd, modify_fd, unregister_fd};
    const clap_host_gui gui_{resize_hints_changed, request_resize, request_show, request_hide, closed};
};

// An event the plug-in sent the host, as far as the editor's tests look.
struct OutEvent {
    uint16_t type;
    clap_id id;
    double value;  // CLAP_EVENT_PARAM_VALUE's; 0 for the others
    bool operator==(const OutEvent&) const = default;
};

// [main-thread] params.flush of an inactive instance with `in` (null: no
// events): what the plug-in sent back.
std::vector<OutEvent> flush(const Instance& instance, const EventQueue* in = nullptr);

// [main-thread] A clap_window of an api around a window of its system.
clap_window window_of(const char* api, uintptr_t handle);

}  // namespace yawp::clap_test
