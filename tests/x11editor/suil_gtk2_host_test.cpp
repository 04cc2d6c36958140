// The LV2 editor in a GTK 2 host that lets suil wrap our X11 UI as a
// GtkWidget, the way Ardour shows it. suil's X11-in-GTK2 wrapper sizes the
// UI's window only when it is a child of the parent it gave the UI; with
// any other window every size request schedules another, the host spins,
// and a request still pending when the editor closes lands on a destroyed
// widget. So: the UI's window must be that child, the host must idle while
// the editor is open and untouched, and closing must log nothing. Runs
// under Xvfb.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lv2/ui/ui.h>
#include <suil/suil.h>
#include <unistd.h>

#include "engine/catalogue.h"
#include "lv2/ports.h"
#include "lv2/uris.h"
#include "processes.h"

// Last: Xlib's macros (None, Bool) must not reach the headers above.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace yawp::test {
namespace {

using std::chrono::milliseconds;
namespace cat = catalogue;

constexpr char kHelperName[] = "yawp-wah-editor";
constexpr milliseconds kPageLimit(30000);
constexpr int kPageWidth = 700;
constexpr int kPageHeight = 677;
// A host showing an untouched editor should be asleep; Ardour with the
// parent handed back as the UI's window used about a third of a core.
constexpr double kIdleCpuLimit = 0.05;
constexpr milliseconds kIdleMeasured(10000);

// Every GLib and GTK message at warning level or worse, from any domain.
std::vector<std::string> g_warnings;

GLogWriterOutput record_log(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
    if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) != 0) {
        std::string domain = "?", message;
        for (gsize i = 0; i < count; ++i) {
            if (fields[i].length >= 0) continue;  // not text
            const std::string key = fields[i].key;
            if (key == "GLIB_DOMAIN") domain = static_cast<const char*>(fields[i].value);
            if (key == "MESSAGE") message = static_cast<const char*>(fields[i].value);
        }
        g_warnings.push_back(domain + ": " + message);
    }
    return g_log_writer_default(level, fields, count, data);
}

// --- GTK's loop ------------------------------------------------------------------

// Runs GTK's loop for a while, sleeping when there is nothing to do.
void pump(milliseconds time) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add(guint(time.count()), [](gpointer l) { g_main_loop_quit(static_cast<GMainLoop*>(l)); return FALSE; },
                  loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
}

template <typename Done>
bool pump_until(Done done, milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        pump(milliseconds(20));
    }
    return true;
}

// CPU time this process has used (user and system), in clock ticks.
long cpu_ticks() {
    std::ifstream in("/proc/self/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fields after the name (which may hold spaces) start at "state";
    // utime and stime are the 14th and 15th fields of the line.
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

// --- The X windows -----------------------------------------------------------------

Display* x_display() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

std::vector<Window> children_of_window(Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> found;
    if (XQueryTree(x_display(), window, &root, &parent, &children, &count) == 0) return found;
    found.assign(children, children + count);
    if (children != nullptr) XFree(children);
    return found;
}

// The process a window says it belongs to (_NET_WM_PID), or 0.
pid_t pid_of_window(Window window) {
    const Atom property = XInternAtom(x_display(), "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(x_display(), window, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
        if (format == 32 && items == 1) pid = pid_t(*reinterpret_cast<const unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

bool viewable(Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(x_display(), window, &attributes) != 0 && attributes.map_state == IsViewable;
}

// Whether `pid` shows a window somewhere inside `window`.
bool shows_inside(Window window, pid_t pid) {
    for (Window w : children_of_window(window))
        if ((pid_of_window(w) == pid && viewable(w)) || shows_inside(w, pid)) return true;
    return false;
}

// --- The host ------------------------------------------------------------------------

// A GTK 2 window holding the widget suil made of our X11 UI, with every
// control port's value sent first, as hosts do.
class SuilGtk2Host {
public:
    SuilGtk2Host() {
        host_ = suil_host_new(write, port_index, nullptr, nullptr);
        const LV2_Feature* features[] = {nullptr};
        instance_ = suil_instance_new(host_, this, LV2_UI__GtkUI, YAWP_LV2_URI, YAWP_LV2_UI_URI, LV2_UI__X11UI,
                                      YAWP_LV2_BUNDLE "/", YAWP_LV2_BUNDLE "/tallow-yawp-wah.so", features);
        if (instance_ == nullptr) return;
        for (uint32_t i = 0; i < cat::kCount; ++i) {
            const bool input = i < cat::kInputCount;
            const float value = i == cat::kBypass ? 1.0f : input ? cat::entry(i)->def : 0.0f;
            const uint32_t port = input ? lv2::port_of_parameter(i) : lv2::port_of_output(i);
            suil_instance_port_event(instance_, port, sizeof value, 0, &value);
        }
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        widget_ = static_cast<GtkWidget*>(suil_instance_get_widget(instance_));
        gtk_container_add(GTK_CONTAINER(window_), widget_);
        gtk_widget_show_all(window_);
    }
    ~SuilGtk2Host() {
        close();
        suil_host_free(host_);
    }

    bool ok() const { return instance_ != nullptr; }

    // As Ardour closes an editor: the window is hidden, the UI freed, and
    // the window destroyed.
    void close() {
        if (instance_ == nullptr) return;
        gtk_widget_hide(window_);
        suil_instance_free(instance_);
        instance_ = nullptr;
        gtk_widget_destroy(window_);
        window_ = nullptr;
    }

    // The X window suil gave our UI as its parent: the plug inside suil's
    // socket widget.
    Window parent() const {
        if (!GTK_IS_SOCKET(widget_)) return 0;
        GdkWindow* plug = gtk_socket_get_plug_window(GTK_SOCKET(widget_));
        return plug != nullptr ? GDK_WINDOW_XID(plug) : 0;
    }

    GtkRequisition requisition() const {
        GtkRequisition size{};
        gtk_widget_size_request(widget_, &size);
        return size;
    }

    // Waits for the helper to show its window inside `window`.
    bool wait_for_page(Window window, milliseconds limit) {
        return pump_until(
            [&] {
                const std::vector<pid_t> helpers = children_named(kHelperName);
                return helpers.size() == 1 && shows_inside(window, helpers[0]);
            },
            limit);
    }

private:
    static void write(SuilController, uint32_t, uint32_t, uint32_t, const void*) {}
    static uint32_t port_index(SuilController, const char*) { return uint32_t(-1); }

    SuilHost* host_ = nullptr;
    SuilInstance* instance_ = nullptr;
    GtkWidget* window_ = nullptr;
    GtkWidget* widget_ = nullptr;
};

// The one window our UI made in its parent, or 0.
Window ui_window_in(Window parent) {
    const std::vector<Window> children = children_of_window(parent);
    EXPECT_EQ(children.size(), 1u) << "the UI puts one window of its own into its parent";
    return children.size() == 1 ? children[0] : 0;
}

class SuilGtk2Editor : public ::testing::Test {
protected:
    void SetUp() override { g_warnings.clear(); }
    void TearDown() override {
        EXPECT_TRUE(pump_until([] { return children_named(kHelperName).empty(); }, milliseconds(5000)))
            << "the helper outlived its editor";
    }
};

TEST_F(SuilGtk2Editor, TheUiWindowIsAChildOfItsParentAndSuilSizesIt) {
    SuilGtk2Host host;
    ASSERT_TRUE(host.ok()) << "suil could not wrap the UI";
    const Window parent = host.parent();
    ASSERT_NE(parent, 0u);
    const Window ui_window = ui_window_in(parent);
    ASSERT_NE(ui_window, 0u);
    ASSERT_TRUE(host.wait_for_page(ui_window, kPageLimit)) << "the helper's window never showed inside the UI's window";
    const GtkRequisition size = host.requisition();
    EXPECT_EQ(size.width, kPageWidth);
    EXPECT_EQ(size.height, kPageHeight);
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(x_display(), ui_window, &attributes), 0);
    EXPECT_EQ(attributes.width, kPageWidth);
    EXPECT_EQ(attributes.height, kPageHeight);
}

TEST_F(SuilGtk2Editor, TheHostIdlesWhileTheEditorIsOpen) {
    SuilGtk2Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.wait_for_page(host.parent(), kPageLimit));
    pump(milliseconds(2000));  // the page loads and settles
    const long before = cpu_ticks();
    const auto start = std::chrono::steady_clock::now();
    pump(kIdleMeasured);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double share = double(cpu_ticks() - before) / double(sysconf(_SC_CLK_TCK)) / seconds;
    std::printf("[ suil-gtk2 ] the host used %.1f %% of a core over %.1f s with the editor open\n", share * 100,
                seconds);
    EXPECT_LT(share, kIdleCpuLimit);
}

TEST_F(SuilGtk2Editor, ClosingLogsNoWarning) {
    SuilGtk2Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.wait_for_page(host.parent(), kPageLimit));
    pump(milliseconds(500));
    g_warnings.clear();
    host.close();
    pump(milliseconds(1000));  // whatever was pending runs now
    for (const std::string& warning : g_warnings) ADD_FAILURE() << "logged on close: " << warning;
}

}  // namespace
}  // namespace yawp::test

int main(int argc, char** argv) {
    // Before GTK logs anything: the writer can only be set once.
    g_log_set_writer_func(yawp::test::record_log, nullptr, nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no X display: run under xvfb-run\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
