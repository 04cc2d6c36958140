// Our own X11 test host for the Linux editors: a plain Xlib window to embed
// into, a run loop over file descriptors and timers, screenshots read back
// from the server, pointer gestures through XTest, and a wait for the
// editor's processes to end (processes.h looks at them). Runs under Xvfb.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <sys/types.h>

#include "processes.h"

namespace yawp::test {

inline constexpr int kEditorWidth = 700;
inline constexpr int kEditorHeight = 677;
// The host window's own colour, which the page must cover.
inline constexpr uint32_t kHostBackground = 0xff00ff;

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, row by row

    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    // Share of pixels in the rectangle that satisfy `test`.
    double share(int x, int y, int w, int h, const std::function<bool(uint32_t)>& test) const;
    // How many pixels differ from another screenshot's in the rectangle.
    int differences(const Screenshot& other, int x, int y, int w, int h) const;
    // Written as PNG (through ImageMagick's convert).
    bool save_png(const std::string& path) const;
};

// The page's panels are dark; the host's background is not.
bool is_page_dark(uint32_t pixel);
bool is_host_background(uint32_t pixel);

// A key event that reached the host's window.
struct HostKey {
    bool press;
    unsigned keycode;
    unsigned state;
    bool sent;  // by a client's XSendEvent, not by the keyboard
};

class X11TestHost {
public:
    X11TestHost();
    ~X11TestHost();

    bool ok() const { return display_ != nullptr && window_ != 0; }
    Window window() const { return window_; }

    void resize(int width, int height);
    // The window's parent (XQueryTree) and how many children it has; 0
    // when there is no such window.
    Window parent_of(Window window, unsigned* child_count = nullptr);
    Screenshot screenshot();

    // A press at (x, y) inside the window, a move to (x, y + dy) in steps,
    // and a release, as a hand would do it.
    void drag(int x, int y, int dy);
    // A click at (x, y) inside the window; the pointer stays there.
    void click(int x, int y);
    // A key pressed and released on the keyboard (XTest), as xdotool does.
    void type_key(unsigned long keysym);
    unsigned keycode_of(unsigned long keysym);
    // The key events the host's window received since the last clear.
    const std::vector<HostKey>& keys() const { return keys_; }
    void clear_keys() { keys_.clear(); }

    // The run loop. Handlers run on this thread when their descriptor is
    // readable or their timer is due; `idle` runs at about 30 Hz, as LV2
    // hosts call a UI's idle.
    using Handler = std::function<void()>;
    void watch_fd(int fd, void* key, Handler handler);
    void unwatch_fd(void* key);
    void add_timer(uint64_t period_ms, void* key, Handler handler);
    void remove_timer(void* key);
    std::function<void()> idle;

    // Runs the loop for a while, or until `done` says so.
    void pump(std::chrono::milliseconds time);
    bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Waits for the page to cover most of the window; the time it took, or
    // a negative one.
    std::chrono::milliseconds wait_for_page(std::chrono::milliseconds limit);

private:
    bool page_covers_window();
    struct Watch {
        int fd;
        void* key;
        Handler handler;
    };
    struct Timer {
        uint64_t period_ms;
        std::chrono::steady_clock::time_point next;
        void* key;
        Handler handler;
    };
    void run_once(std::chrono::milliseconds wait);

    Display* display_ = nullptr;
    Window window_ = 0;
    std::vector<Watch> watches_;
    std::vector<Timer> timers_;
    std::chrono::steady_clock::time_point next_idle_{};
    std::vector<HostKey> keys_;
};

// --- The editor's processes -----------------------------------------------------

// Waits until no child of ours is left, zombies included, running the
// host's loop meanwhile. The plug-in's helpers are our only children.
bool wait_until_no_children(X11TestHost& host, std::chrono::milliseconds limit);

}  // namespace yawp::test
