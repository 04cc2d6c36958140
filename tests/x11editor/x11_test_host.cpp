#include "x11_test_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <unistd.h>

namespace yawp::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kIdlePeriod(33);
constexpr int kDragSteps = 12;
constexpr double kPageCover = 0.98;  // share of the window the page must cover

uint32_t channel(unsigned long pixel, unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return uint32_t((pixel >> shift) & mask);
}

}  // namespace

double Screenshot::share(int x, int y, int w, int h, const std::function<bool(uint32_t)>& test) const {
    long hits = 0;
    long all = 0;
    for (int j = y; j < y + h && j < height; ++j)
        for (int i = x; i < x + w && i < width; ++i, ++all) hits += test(at(i, j)) ? 1 : 0;
    return all > 0 ? double(hits) / double(all) : 0.0;
}

int Screenshot::differences(const Screenshot& other, int x, int y, int w, int h) const {
    int count = 0;
    for (int j = y; j < y + h && j < height && j < other.height; ++j)
        for (int i = x; i < x + w && i < width && i < other.width; ++i) count += at(i, j) != other.at(i, j);
    return count;
}

bool Screenshot::save_png(const std::string& path) const {
    const std::string ppm = path + ".ppm";
    FILE* f = std::fopen(ppm.c_str(), "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (uint32_t p : pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
    const std::string command = "convert '" + ppm + "' '" + path + "' && rm -f '" + ppm + "'";
    return std::system(command.c_str()) == 0;
}

bool is_page_dark(uint32_t p) { return ((p >> 16) & 255) < 0x50 && ((p >> 8) & 255) < 0x50 && (p & 255) < 0x50; }
bool is_host_background(uint32_t p) { return p == kHostBackground; }

X11TestHost::X11TestHost() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, kEditorWidth, kEditorHeight, 0, 0,
                                  kHostBackground);
    // Keys too: what the editor hands on to the host arrives here.
    XSelectInput(display_, window_, StructureNotifyMask | ExposureMask | KeyPressMask | KeyReleaseMask);
    XStoreName(display_, window_, "Yawp test host");
    XMapWindow(display_, window_);
    XSync(display_, False);
    pump(milliseconds(50));
}

X11TestHost::~X11TestHost() {
    if (display_ == nullptr) return;
    if (window_ != 0) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

void X11TestHost::resize(int width, int height) {
    XResizeWindow(display_, window_, unsigned(width), unsigned(height));
    XSync(display_, False);
}

Window X11TestHost::parent_of(Window window, unsigned* child_count) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display_, window, &root, &parent, &children, &count) == 0) return 0;
    if (children != nullptr) XFree(children);
    if (child_count != nullptr) *child_count = count;
    return parent;
}

Screenshot X11TestHost::screenshot() {
    XSync(display_, False);
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window_, &attributes);
    Screenshot shot;
    XImage* image =
        XGetImage(display_, window_, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return shot;
    shot.width = attributes.width;
    shot.height = attributes.height;
    shot.pixels.resize(size_t(shot.width) * size_t(shot.height));
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.pixels[size_t(y) * size_t(shot.width) + size_t(x)] = channel(p, image->red_mask) << 16 |
                                                                      channel(p, image->green_mask) << 8 |
                                                                      channel(p, image->blue_mask);
        }
    XDestroyImage(image);
    return shot;
}

void X11TestHost::drag(int x, int y, int dy) {
    int root_x = 0;
    int root_y = 0;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &root_x, &root_y, &child);
    const int screen = DefaultScreen(display_);
    XTestFakeMotionEvent(display_, screen, root_x, root_y, CurrentTime);
    XSync(display_, False);
    pump(milliseconds(100));
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
    pump(milliseconds(60));
    for (int step = 1; step <= kDragSteps; ++step) {
        XTestFakeMotionEvent(display_, screen, root_x, root_y + dy * step / kDragSteps, CurrentTime);
        XSync(display_, False);
        pump(milliseconds(30));
    }
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    // Away from the page, so that no tooltip covers later screenshots.
    XTestFakeMotionEvent(display_, screen, DisplayWidth(display_, screen) - 1, DisplayHeight(display_, screen) - 1,
                         CurrentTime);
    XSync(display_, False);
}

void X11TestHost::click(int x, int y) {
    int root_x = 0;
    int root_y = 0;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &root_x, &root_y, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), root_x, root_y, CurrentTime);
    XSync(display_, False);
    pump(milliseconds(100));
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

unsigned X11TestHost::keycode_of(unsigned long keysym) { return XKeysymToKeycode(display_, keysym); }

void X11TestHost::type_key(unsigned long keysym) {
    const unsigned keycode = keycode_of(keysym);
    XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XSync(display_, False);
    pump(milliseconds(30));
    XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
    XSync(display_, False);
}

void X11TestHost::watch_fd(int fd, void* key, Handler handler) { watches_.push_back({fd, key, std::move(handler)}); }

void X11TestHost::unwatch_fd(void* key) {
    std::erase_if(watches_, [key](const Watch& w) { return w.key == key; });
}

void X11TestHost::add_timer(uint64_t period_ms, void* key, Handler handler) {
    timers_.push_back({period_ms, Clock::now() + milliseconds(period_ms), key, std::move(handler)});
}

void X11TestHost::remove_timer(void* key) {
    std::erase_if(timers_, [key](const Timer& t) { return t.key == key; });
}

// One turn: wait for a descriptor or the next timer, then run what is due.
// Handlers may add or remove watches, so each is looked up again by key.
void X11TestHost::run_once(milliseconds wait) {
    const auto now = Clock::now();
    auto until = now + wait;
    for (const Timer& t : timers_) until = std::min(until, t.next);
    if (idle) until = std::min(until, next_idle_);
    std::vector<pollfd> fds;
    std::vector<void*> keys;
    for (const Watch& w : watches_) {
        fds.push_back({w.fd, POLLIN, 0});
        keys.push_back(w.key);
    }
    const auto timeout = std::chrono::duration_cast<milliseconds>(until - now).count();
    poll(fds.data(), fds.size(), int(std::max<long>(0, long(timeout))));
    for (size_t i = 0; i < fds.size(); ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        for (const Watch& w : watches_)
            if (w.key == keys[i]) {
                Handler handler = w.handler;
                handler();
                break;
            }
    }
    const auto after = Clock::now();
    std::vector<void*> due;
    for (Timer& t : timers_)
        if (t.next <= after) {
            t.next = after + milliseconds(t.period_ms);
            due.push_back(t.key);
        }
    for (void* key : due)
        for (const Timer& t : timers_)
            if (t.key == key) {
                Handler handler = t.handler;
                handler();
                break;
            }
    if (idle && next_idle_ <= after) {
        next_idle_ = after + kIdlePeriod;
        idle();
    }
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == KeyPress || event.type == KeyRelease)
            keys_.push_back({event.type == KeyPress, event.xkey.keycode, event.xkey.state, event.xkey.send_event != 0});
    }
}

void X11TestHost::pump(milliseconds time) {
    const auto end = Clock::now() + time;
    while (Clock::now() < end)
        run_once(std::chrono::duration_cast<milliseconds>(std::min<Clock::duration>(end - Clock::now(), milliseconds(10))));
}

bool X11TestHost::pump_until(const std::function<bool()>& done, milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end) return false;
        run_once(milliseconds(10));
    }
    return true;
}

bool X11TestHost::page_covers_window() {
    const Screenshot shot = screenshot();
    return shot.width > 0 && shot.share(0, 0, shot.width, shot.height, is_page_dark) > 0.5 &&
           shot.share(0, 0, shot.width, shot.height, is_host_background) < 1.0 - kPageCover;
}

milliseconds X11TestHost::wait_for_page(milliseconds limit) {
    const auto start = Clock::now();
    const auto end = start + limit;
    while (Clock::now() < end) {
        if (page_covers_window()) return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        pump(milliseconds(20));
    }
    return milliseconds(-1);
}

bool wait_until_no_children(X11TestHost& host, milliseconds limit) {
    const bool none = host.pump_until([] { return children_of(getpid()).empty(); }, limit);
    for (pid_t pid : children_of(getpid())) {
        std::string name;
        char state = 0;
        process_name_and_state(pid, &name, &state);
        std::printf("left behind: %d %s (%c)\n", int(pid), name.c_str(), state);
    }
    return none;
}

}  // namespace yawp::test
