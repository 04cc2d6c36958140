// The CLAP editor on Linux, in our own X11 host under Xvfb: the built
// module from its CLAP folder, a host with clap.posix-fd-support and
// clap.timer-support driven by poll(), and the real helper showing the page
// in the host's window; a stand-in helper (x11editor_fake_helper) plays the
// page for gestures and records what the page is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "engine/catalogue.h"
#include "gui_host.h"
#include "tests/x11editor/framed.h"
#include "tests/x11editor/processes.h"
#include "tests/x11editor/x11_test_host.h"
#include "x11editor/reaper.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;
namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::X11TestHost;

constexpr char kHelperName[] = "yawp-wah-editor";
constexpr int kHostAttempts = 5;
constexpr milliseconds kPageLimit(30000);
constexpr milliseconds kHelperEnds(x11editor::kHelperGraceMs + 200);
// The pedal column on the page at 700 x 677, where a new position shows.
constexpr int kPedalLeft = 20, kPedalTop = 80, kPedalWidth = 110, kPedalHeight = 300;
constexpr float kFirstOutputs[cat::kOutputCount] = {50, 0, 0, 0};

std::string screenshot_path(const std::string& name) {
    fs::create_directories(YAWP_SCREENSHOT_DIR);
    return std::string(YAWP_SCREENSHOT_DIR) + "/" + name;
}

std::string hex_of(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    char text[16];
    std::snprintf(text, sizeof text, "%08x", bits);
    return text;
}

// "s IIIIIIII VVVVVVVV" as the plug-in sends a value; a page gesture as the
// page writes one.
std::string value_text(uint32_t index, float value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", index);
    return "s " + std::string(text) + " " + hex_of(value);
}

std::string gesture_text(char kind, uint32_t index, float value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", index);
    return std::string(1, kind) + " " + text + " " + hex_of(value);
}

// Every value a fresh page is sent, in index order: the defaults and the
// meters at rest.
std::vector<std::string> first_values() {
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) texts.push_back(value_text(i, float(cat::entry(i)->def)));
    for (uint32_t k = 0; k < cat::kOutputCount; ++k) texts.push_back(value_text(cat::kInputCount + k, kFirstOutputs[k]));
    return texts;
}

// Keys for the test host's loop: one per timer and one per descriptor.
void* timer_key(clap_id id) { return reinterpret_cast<void*>(uintptr_t(id) + 1); }
void* fd_key(int fd) { return reinterpret_cast<void*>(uintptr_t(fd) + 1); }

class ClapEditorX11 : public ::testing::Test {
protected:
    void SetUp() override {
        // Xvfb turns a connection away now and then while clients come and
        // go quickly (its queue of new ones is full): the host tries again.
        for (int attempt = 0; attempt < kHostAttempts && !host_window_->ok(); ++attempt) {
            std::this_thread::sleep_for(milliseconds(50));
            host_window_ = std::make_unique<X11TestHost>();
        }
        ASSERT_TRUE(x().ok()) << "no X display: run under xvfb-run";
        unsetenv("YAWP_WAH_EDITOR");
        gui_host_.timer_added = [this](clap_id id, uint32_t period) {
            x().add_timer(period, timer_key(id), [this, id] { gui_host_.timer_due(id); });
        };
        gui_host_.timer_removed = [this](clap_id id) { x().remove_timer(timer_key(id)); };
        gui_host_.fd_added = [this](int fd) { x().watch_fd(fd, fd_key(fd), [this, fd] { gui_host_.fd_ready(fd); }); };
        gui_host_.fd_removed = [this](int fd) { x().unwatch_fd(fd_key(fd)); };
        instance_ = std::make_unique<Instance>(host_);
        ASSERT_NE(instance_->plugin, nullptr);
        plugin_ = instance_->plugin;
        gui_host_.serve(plugin_);
        gui_ = static_cast<const clap_plugin_gui*>(plugin_->get_extension(plugin_, CLAP_EXT_GUI));
        ASSERT_NE(gui_, nullptr);
    }

    void TearDown() override {
        if (!x().ok()) return;
        if (gui_ != nullptr) gui_->destroy(plugin_);
        instance_.reset();
        EXPECT_TRUE(gui_host_.timers.empty()) << "a timer was left registered";
        EXPECT_TRUE(gui_host_.fds.empty()) << "a descriptor was left watched";
        EXPECT_EQ(gui_host_.wrong_calls, 0);
        EXPECT_TRUE(test::wait_until_no_children(x(), milliseconds(5000))) << "a process was left behind";
        unsetenv("YAWP_WAH_EDITOR");
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    // create, get_size, set_parent in the host's window and show, as a host
    // opens an editor.
    bool open() {
        if (!gui_->create(plugin_, CLAP_WINDOW_API_X11, false)) return false;
        uint32_t width = 0, height = 0;
        EXPECT_TRUE(gui_->get_size(plugin_, &width, &height));
        const clap_window parent = window_of(CLAP_WINDOW_API_X11, x().window());
        if (!gui_->set_parent(plugin_, &parent)) return false;
        return gui_->show(plugin_);
    }

    // The stand-in helper, which sends the page's texts and records what
    // it receives.
    void use_fake_helper(const std::string& page_sends) {
        folder_ = fs::temp_directory_path() / ("yawp-clap-editor-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(folder_ / "send", std::ios::binary) << page_sends;
        setenv("YAWP_WAH_EDITOR", YAWP_FAKE_HELPER, 1);
        setenv("YAWP_FAKE_MODE", "talk", 1);
        setenv("YAWP_FAKE_SEND", (folder_ / "send").c_str(), 1);
        setenv("YAWP_FAKE_LOG", (folder_ / "log").c_str(), 1);
    }

    // What the stand-in helper received, once it has ended.
    std::vector<std::string> page_received() {
        std::ifstream in(folder_ / "log", std::ios::binary);
        std::vector<std::string> texts;
        uint32_t n;
        while (in.read(reinterpret_cast<char*>(&n), 4)) {
            std::string text(n, '\0');
            in.read(text.data(), n);
            texts.push_back(text);
        }
        return texts;
    }

    // Our editor's window in the host's: its only child.
    Window editor_window() {
        Window root = 0, parent = 0, found = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(looker(), x().window(), &root, &parent, &children, &count) != 0) {
            if (count == 1) found = children[0];
            if (children != nullptr) XFree(children);
        }
        return found;
    }

    // The size and whether it is mapped, of a window.
    struct Geometry {
        int width = 0, height = 0;
        bool mapped = false;
    };
    static Geometry geometry_of(Window window) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(looker(), window, &attributes) == 0) return {};
        return {attributes.width, attributes.height, attributes.map_state != IsUnmapped};
    }

    // One connection of the test's own to look at windows with, for the
    // whole run: every new one is a chance for Xvfb to turn it away.
    static Display* looker() {
        static Display* display = XOpenDisplay(nullptr);
        XSync(display, False);
        return display;
    }

    // The host sets a parameter while no audio runs.
    void host_sets(clap_id id, double value) {
        EventQueue in;
        in.param_value(0, id, value);
        flush(*instance_, &in);
    }

    X11TestHost& x() { return *host_window_; }

    std::unique_ptr<X11TestHost> host_window_ = std::make_unique<X11TestHost>();
    TestHost host_;
    GuiHost gui_host_{host_};
    std::unique_ptr<Instance> instance_;
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_gui* gui_ = nullptr;
    fs::path folder_;
};

// --- What the editor needs of the host ------------------------------------------------

TEST_F(ClapEditorX11, IsEmbeddedInX11AndNeedsTheHostsDescriptorWatchAndTimers) {
    EXPECT_NE(plugin_->get_extension(plugin_, CLAP_EXT_TIMER_SUPPORT), nullptr);
    EXPECT_NE(plugin_->get_extension(plugin_, CLAP_EXT_POSIX_FD_SUPPORT), nullptr);
    const char* api = nullptr;
    bool floating = true;
    ASSERT_TRUE(gui_->get_preferred_api(plugin_, &api, &floating));
    EXPECT_STREQ(api, CLAP_WINDOW_API_X11);
    EXPECT_FALSE(floating);

    EXPECT_TRUE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, true)) << "no floating windows";
    for (const char* other : {CLAP_WINDOW_API_WIN32, CLAP_WINDOW_API_COCOA, CLAP_WINDOW_API_WAYLAND, "", "X11"})
        EXPECT_FALSE(gui_->is_api_supported(plugin_, other, false)) << other;
    EXPECT_FALSE(gui_->is_api_supported(plugin_, nullptr, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui_->create(plugin_, nullptr, true));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_WAYLAND, false));

    // Nobody would read the helper's socket: the editor is still offered
    // (hosts such as Qtractor ask that once, of a host with no extensions),
    // but it is not created.
    gui_host_.offer_fds = false;
    EXPECT_TRUE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    gui_host_.offer_fds = true;
    gui_host_.offer_timers = false;
    EXPECT_TRUE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    gui_host_.offer_timers = true;
    EXPECT_TRUE(test::children_named(kHelperName).empty()) << "nothing started";

    // One editor at a time; a destroyed one can be created again.
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    gui_->destroy(plugin_);
    gui_->destroy(plugin_);
    EXPECT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    // Floating calls have nothing to do.
    const clap_window parent = window_of(CLAP_WINDOW_API_X11, x().window());
    EXPECT_FALSE(gui_->set_transient(plugin_, &parent));
    gui_->suggest_title(plugin_, "Yawp Wah");
    gui_->destroy(plugin_);
}

TEST_F(ClapEditorX11, CallsWithoutAnEditorOrWithABadParentDoNothing) {
    uint32_t width = 1, height = 2;
    EXPECT_FALSE(gui_->get_size(plugin_, &width, &height));
    EXPECT_FALSE(gui_->adjust_size(plugin_, &width, &height));
    EXPECT_FALSE(gui_->set_size(plugin_, 800, 600));
    EXPECT_FALSE(gui_->set_scale(plugin_, 2.0));
    EXPECT_FALSE(gui_->show(plugin_));
    EXPECT_FALSE(gui_->hide(plugin_));
    const clap_window parent = window_of(CLAP_WINDOW_API_X11, x().window());
    EXPECT_FALSE(gui_->set_parent(plugin_, &parent));
    EXPECT_EQ(width, 1u);
    EXPECT_TRUE(gui_->can_resize(plugin_));
    EXPECT_FALSE(gui_->get_resize_hints(plugin_, nullptr));

    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui_->get_size(plugin_, nullptr, &height));
    EXPECT_FALSE(gui_->set_parent(plugin_, nullptr));
    const clap_window other_api = window_of(CLAP_WINDOW_API_WIN32, x().window());
    EXPECT_FALSE(gui_->set_parent(plugin_, &other_api));
    const clap_window nowhere = window_of(CLAP_WINDOW_API_X11, 0);
    EXPECT_FALSE(gui_->set_parent(plugin_, &nowhere));
    // A window id that names no window: no helper starts.
    const clap_window gone = window_of(CLAP_WINDOW_API_X11, 0x3fffff0);
    EXPECT_FALSE(gui_->set_parent(plugin_, &gone));
    EXPECT_TRUE(test::children_named(kHelperName).empty());
    EXPECT_TRUE(gui_host_.timers.empty());
    EXPECT_TRUE(gui_host_.fds.empty());
    EXPECT_FALSE(gui_->show(plugin_)) << "nothing to show yet";
}

// --- The page -----------------------------------------------------------------------

TEST_F(ClapEditorX11, WithTheRealHelperThePageShowsFollowsTheHostAndEndsWithIt) {
    ASSERT_TRUE(open());
    ASSERT_EQ(gui_host_.timers.size(), 1u);
    EXPECT_EQ(gui_host_.timers[0].period_ms, 20u);
    EXPECT_EQ(gui_host_.fds.size(), 1u) << "the helper's socket is watched";
    const Window editor = editor_window();
    ASSERT_NE(editor, 0u) << "the editor's window is a child of the host's";
    EXPECT_EQ(geometry_of(editor).width, 700);
    EXPECT_EQ(geometry_of(editor).height, 677);
    const auto helpers = test::children_named(kHelperName);
    ASSERT_EQ(helpers.size(), 1u);
    const pid_t helper = helpers[0];

    const milliseconds painted = x().wait_for_page(kPageLimit);
    ASSERT_GE(painted.count(), 0) << "the page never covered the host's window";
    x().pump(milliseconds(500));  // fonts and pictures settle
    std::printf("[ clap ] the page covered the window %lld ms after set_parent returned\n",
                static_cast<long long>(painted.count()));
    test::Screenshot shown = x().screenshot();
    EXPECT_LT(shown.share(0, 0, shown.width, shown.height, test::is_host_background), 0.02);
    shown.save_png(screenshot_path("clap-700x677.png"));

    // The host's values reach the page: the pedal to the heel, then the toe.
    host_sets(cat::kPosition, 0);
    x().pump(milliseconds(400));
    const test::Screenshot heel = x().screenshot();
    host_sets(cat::kPosition, 100);
    x().pump(milliseconds(400));
    const test::Screenshot toe = x().screenshot();
    EXPECT_GT(heel.differences(toe, kPedalLeft, kPedalTop, kPedalWidth, kPedalHeight), 500)
        << "the pedal did not move with the host's value";

    // Hidden, the host's window shows; shown, the page again.
    EXPECT_TRUE(gui_->hide(plugin_));
    EXPECT_FALSE(geometry_of(editor).mapped);
    x().pump(milliseconds(200));
    const test::Screenshot hidden = x().screenshot();
    EXPECT_GT(hidden.share(0, 0, hidden.width, hidden.height, test::is_host_background), 0.9);
    EXPECT_TRUE(gui_->show(plugin_));
    EXPECT_TRUE(geometry_of(editor).mapped);
    EXPECT_GE(x().wait_for_page(milliseconds(10000)).count(), 0) << "the page did not come back";

    // The musician drags the host's window larger: the host asks, then
    // gives the size, and the page fills it.
    uint32_t width = 1050, height = 900;
    ASSERT_TRUE(gui_->adjust_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1050u);
    EXPECT_EQ(height, 1016u);
    x().resize(int(width), int(height));
    ASSERT_TRUE(gui_->set_size(plugin_, width, height));
    EXPECT_EQ(geometry_of(editor).width, 1050);
    EXPECT_EQ(geometry_of(editor).height, 1016);
    const auto fills = [&] {
        const test::Screenshot shot = x().screenshot();
        return shot.width == 1050 && shot.share(0, 0, shot.width, shot.height, test::is_host_background) < 0.02 &&
               shot.share(0, 0, shot.width, shot.height, test::is_page_dark) > 0.5;
    };
    EXPECT_TRUE(x().pump_until(fills, milliseconds(10000))) << "the page did not fill 1050 x 1016";
    x().pump(milliseconds(300));
    x().screenshot().save_png(screenshot_path("clap-1050x1016.png"));

    // Destroyed, the host lets go of socket and timer, and the helper ends
    // within the second, its web processes with it.
    const std::vector<pid_t> web_processes = test::children_of(helper);
    gui_->destroy(plugin_);
    EXPECT_TRUE(gui_host_.timers.empty());
    EXPECT_TRUE(gui_host_.fds.empty());
    EXPECT_EQ(editor_window(), 0u) << "the editor's window is gone";
    EXPECT_TRUE(x().pump_until([&] { return !test::process_exists(helper); }, kHelperEnds))
        << "the helper outlived its editor";
    EXPECT_TRUE(x().pump_until(
        [&] { return std::all_of(web_processes.begin(), web_processes.end(), test::process_ended); },
        milliseconds(5000)))
        << "a web process outlived the helper";
}

// A host that destroys the instance with its editor open: the instance
// closes it, and no helper stays.
TEST_F(ClapEditorX11, WithTheRealHelperAnInstanceDestroyedWithItsEditorOpenLeavesNothing) {
    ASSERT_TRUE(open());
    ASSERT_EQ(test::children_named(kHelperName).size(), 1u);
    x().pump(milliseconds(300));
    instance_.reset();
    EXPECT_TRUE(gui_host_.timers.empty());
    EXPECT_TRUE(gui_host_.fds.empty());
    gui_ = nullptr;
}

// The page's gestures go to the host at its next flush, as gesture and
// value events; what the page sent is not sent back to it unless the
// plug-in took another value; the host's changes reach the page.
TEST_F(ClapEditorX11, PageGesturesReachTheHostAtTheNextFlushAndHostValuesThePage) {
    use_fake_helper(test::framed(gesture_text('b', cat::kPosition, 40)) +
                    test::framed(gesture_text('s', cat::kPosition, 55)) +
                    test::framed(gesture_text('e', cat::kPosition, 150)) +
                    test::framed(gesture_text('s', cat::kOutModPosition, 1)));
    ASSERT_TRUE(open());
    const auto asked = [&] { return host_.calls(HostFunction::kParamsRequestFlush) >= 3; };
    ASSERT_TRUE(x().pump_until(asked, milliseconds(5000))) << "the plug-in never asked for a flush";
    x().pump(milliseconds(100));

    const std::vector<OutEvent> events = flush(*instance_);
    EXPECT_EQ(events, (std::vector<OutEvent>{{CLAP_EVENT_PARAM_GESTURE_BEGIN, cat::kPosition, 0},
                                             {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 40},
                                             {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 55},
                                             {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 100},
                                             {CLAP_EVENT_PARAM_GESTURE_END, cat::kPosition, 0}}));
    double pedal = 0;
    ASSERT_TRUE(instance_->params->get_value(plugin_, cat::kPosition, &pedal));
    EXPECT_EQ(pedal, 100);
    EXPECT_TRUE(flush(*instance_).empty()) << "each gesture goes out once";

    host_sets(cat::kLfoSyncRate, 13);
    x().pump(milliseconds(200));
    gui_->destroy(plugin_);
    ASSERT_TRUE(test::wait_until_no_children(x(), milliseconds(3000)));

    std::vector<std::string> expected = {"z 00000000"};  // no scale from the host
    for (const std::string& text : first_values()) expected.push_back(text);
    expected.push_back(value_text(cat::kPosition, 100));  // the page had 150
    expected.push_back(value_text(cat::kLfoSyncRate, 13));
    EXPECT_EQ(page_received(), expected);
}

// --- Sizes and scale ------------------------------------------------------------------

TEST_F(ClapEditorX11, SizesFollowTheHostsScaleAndTheMusiciansZoom) {
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_TRUE(gui_->can_resize(plugin_));
    clap_gui_resize_hints_t hints{};
    ASSERT_TRUE(gui_->get_resize_hints(plugin_, &hints));
    EXPECT_TRUE(hints.can_resize_horizontally && hints.can_resize_vertically && hints.preserve_aspect_ratio);
    EXPECT_EQ(hints.aspect_ratio_width, 700u);
    EXPECT_EQ(hints.aspect_ratio_height, 677u);
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 700u);
    EXPECT_EQ(height, 677u);
    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1400u);
    EXPECT_EQ(height, 1354u);
    EXPECT_FALSE(gui_->set_scale(plugin_, 0.0));
    EXPECT_FALSE(gui_->set_scale(plugin_, double(NAN)));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1400u);
    width = 1;
    height = 1;
    ASSERT_TRUE(gui_->adjust_size(plugin_, &width, &height));
    EXPECT_EQ(width, 700u);
    EXPECT_EQ(height, 677u);

    // The size the musician leaves comes back with the next editor of the
    // instance, at whatever scale the host has then.
    EXPECT_TRUE(gui_->set_scale(plugin_, 1.0));
    EXPECT_FALSE(gui_->set_size(plugin_, 0, 600));
    ASSERT_TRUE(gui_->set_size(plugin_, 1060, 1025));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1060u);
    EXPECT_EQ(height, 1025u);
    gui_->destroy(plugin_);
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1060u);
    EXPECT_EQ(height, 1025u);
    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 2120u);
    EXPECT_EQ(height, 2050u);
    gui_->destroy(plugin_);

    // Another instance starts at the page's own size.
    Instance other(host_);
    const auto* other_gui = static_cast<const clap_plugin_gui*>(other.plugin->get_extension(other.plugin, CLAP_EXT_GUI));
    ASSERT_TRUE(other_gui->create(other.plugin, CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(other_gui->get_size(other.plugin, &width, &height));
    EXPECT_EQ(width, 700u);
    EXPECT_EQ(height, 677u);
    other_gui->destroy(other.plugin);
}

// While the editor is open a new scale asks the host for the new size; a
// host that agrees gets the window at that size, one that refuses keeps
// the window as it is. The helper draws at the host's scale.
TEST_F(ClapEditorX11, ANewScaleWhileOpenAsksTheHostForTheNewSize) {
    use_fake_helper("");
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    EXPECT_TRUE(gui_->set_scale(plugin_, 1.5));
    const clap_window parent = window_of(CLAP_WINDOW_API_X11, x().window());
    ASSERT_TRUE(gui_->set_parent(plugin_, &parent));
    const Window editor = editor_window();
    EXPECT_EQ(geometry_of(editor).width, 1050);
    EXPECT_EQ(geometry_of(editor).height, 1016);
    EXPECT_TRUE(gui_host_.resize_requests.empty());

    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    ASSERT_EQ(gui_host_.resize_requests.size(), 1u);
    EXPECT_EQ(gui_host_.resize_requests[0], (std::pair<uint32_t, uint32_t>{1400, 1354}));
    EXPECT_EQ(geometry_of(editor).width, 1400);
    EXPECT_EQ(geometry_of(editor).height, 1354);

    gui_host_.accept_resize = false;
    EXPECT_TRUE(gui_->set_scale(plugin_, 1.0));
    ASSERT_EQ(gui_host_.resize_requests.size(), 2u);
    EXPECT_EQ(gui_host_.resize_requests[1], (std::pair<uint32_t, uint32_t>{700, 677}));
    EXPECT_EQ(geometry_of(editor).width, 1400);
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1400u);
    EXPECT_EQ(height, 1354u);
    EXPECT_TRUE(gui_->set_scale(plugin_, 1.0)) << "the same scale again asks nothing";
    EXPECT_EQ(gui_host_.resize_requests.size(), 2u);

    gui_->destroy(plugin_);
    ASSERT_TRUE(test::wait_until_no_children(x(), milliseconds(3000)));
    const std::vector<std::string> received = page_received();
    const std::vector<std::string> scales(received.begin(), std::find_if(received.begin(), received.end(), [](const std::string& t) { return t[0] != 'z'; }));
    EXPECT_EQ(scales, (std::vector<std::string>{"z " + hex_of(1.5f)}));
    std::vector<std::string> later;
    for (const std::string& text : received)
        if (text[0] == 'z') later.push_back(text);
    EXPECT_EQ(later, (std::vector<std::string>{"z " + hex_of(1.5f), "z " + hex_of(2.0f), "z " + hex_of(1.0f)}));
}

// A helper that dies leaves an empty window: the host stops watching its
// socket, the timer goes on harmlessly, and destroy still cleans up.
TEST_F(ClapEditorX11, AHelperThatDiesIsLetGoOf) {
    use_fake_helper("");
    setenv("YAWP_FAKE_MODE", "crash", 1);
    ASSERT_TRUE(open());
    ASSERT_EQ(gui_host_.fds.size(), 1u);
    EXPECT_TRUE(x().pump_until([&] { return gui_host_.fds.empty(); }, milliseconds(5000)))
        << "the dead helper's socket is still watched";
    EXPECT_EQ(gui_host_.timers.size(), 1u);
    host_sets(cat::kMix, 20);
    x().pump(milliseconds(100));
    EXPECT_TRUE(gui_->hide(plugin_));
    EXPECT_TRUE(gui_->show(plugin_));
    gui_->destroy(plugin_);
    EXPECT_TRUE(gui_host_.timers.empty());
}

}  // namespace
}  // namespace yawp::clap_test
