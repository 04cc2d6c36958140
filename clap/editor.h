// The editor of one instance, from gui.create to gui.destroy: its size, the
// page's window once the host gives a parent, the timer that keeps the page
// up to date, and what the page was last sent. Owned through the instance's
// `editor` pointer; everything here runs on the host's main thread.
#pragma once

#include <cstdint>

#include <clap/clap.h>

#include "clap/editor_size.h"
#include "webui/page_value_gate.h"

namespace yawp::clap {

class Plugin;
struct PageWindow;

class Editor {
public:
    // How often the page is brought up to date: often enough for the
    // meters' 30 updates a second.
    static constexpr uint32_t kTickMs = 20;

    // [main-thread] Whether this build offers an editor in this api,
    // embedded (floating windows are not offered), whatever the host.
    static bool offers(const char* api, bool is_floating);
    // [main-thread] Whether it runs for this host, too.
    static bool supports(const clap_host* host, const char* api, bool is_floating);

    // [main-thread] A new editor at the size the musician left the
    // instance's last one, or null when memory is short.
    static Editor* create(Plugin* plugin);
    ~Editor();

    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // The gui extension's calls. [main-thread]
    bool set_parent(const clap_window* parent);
    bool set_scale(double scale);
    bool get_size(uint32_t* width, uint32_t* height) const;
    bool adjust_size(uint32_t* width, uint32_t* height) const { return size_.adjust(width, height); }
    bool set_size(uint32_t width, uint32_t height);
    bool set_visible(bool visible);

    // The host's timer and descriptor calls. [main-thread]
    void on_timer(clap_id timer);
    void on_fd(int fd);

    // [main-thread] Reads what the page sent and sends it what changed.
    void tick();

    // [main-thread] The page's gestures, handed to the instance. The page
    // shows what it sent already: it is sent back only if the instance
    // takes another value (one out of range, say).
    void begin_edit(uint32_t index, float value);
    void perform_edit(uint32_t index, float value);
    void end_edit(uint32_t index, float value);

private:
    explicit Editor(Plugin* plugin);

    bool start_timer();
    void stop_timer();
    void close_window();
    void ask_host_for_size(page_zoom::Size before);
    void show_all_values();
    void show_changed_values();
    void page_has(uint32_t index, float value);

    Plugin* plugin_;
    const clap_host_timer_support* host_timers_;  // null: our own timer
    const clap_host_gui* host_gui_;               // null: the host asks no sizes of us
    EditorSize size_;
    page_values::ValueGate gate_;  // what the page was sent
    PageWindow* window_ = nullptr;  // set once the host gave a parent
    clap_id timer_ = CLAP_INVALID_ID;
    bool own_timer_ = false;
    bool visible_ = true;
};

}  // namespace yawp::clap
