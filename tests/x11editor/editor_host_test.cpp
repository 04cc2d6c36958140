// The Linux editors in our own X11 host: the LV2 UI and the VST3 view each
// start the real helper, and the page must show in the host's window,
// follow the host's values and size, turn a drag on the pedal into the
// format's edit calls, and end with its helper however it is closed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/ui/ui.h>

#include "engine/catalogue.h"
#include "lv2/ports.h"
#include "lv2/uris.h"
#include "vst3_host.h"
#include "x11_test_host.h"
#include "x11editor/reaper.h"

namespace Steinberg {
DEF_CLASS_IID(IPlugFrame)
}

namespace yawp::test {
namespace {

using std::chrono::milliseconds;
namespace cat = catalogue;

constexpr char kHelperName[] = "yawp-wah-editor";
constexpr milliseconds kPageLimit(30000);
// Where the pedal's plate is on the page at 700 x 677, and a drag up it
// from the middle.
constexpr int kPedalX = 75;
constexpr int kPedalY = 219;
constexpr int kDragUp = -70;
// The pedal column, where a new position shows.
constexpr int kPedalLeft = 20, kPedalTop = 80, kPedalWidth = 110, kPedalHeight = 300;
// Closing must end the helper within a second; the reaper looks every 10 ms.
constexpr milliseconds kHelperEnds(x11editor::kHelperGraceMs + 200);

std::string screenshot_path(const std::string& name) {
    std::filesystem::create_directories(YAWP_SCREENSHOT_DIR);
    return std::string(YAWP_SCREENSHOT_DIR) + "/" + name;
}

// The LV2 bundle's library and its UI entry point, as a host finds them;
// null members when either is missing.
using Lv2UiEntry = const LV2UI_Descriptor* (*)(uint32_t);
struct Lv2UiLibrary {
    void* module = nullptr;
    Lv2UiEntry entry = nullptr;
};

Lv2UiLibrary load_lv2_ui_library() {
    Lv2UiLibrary library;
    library.module = dlopen(YAWP_LV2_BUNDLE "/tallow-yawp-wah.so", RTLD_NOW | RTLD_LOCAL);
    if (library.module) library.entry = reinterpret_cast<Lv2UiEntry>(dlsym(library.module, "lv2ui_descriptor"));
    return library;
}

// --- The two formats behind one face --------------------------------------------

class Editor {
public:
    virtual ~Editor() = default;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual void push_position(float plain) = 0;
    virtual void host_resized(int, int) {}
    // The calls a drag on the pedal made: begin, changes and end, ending
    // above `above` (a plain position).
    virtual void expect_pedal_gesture(float above) = 0;
    virtual const char* name() const = 0;
};

// The LV2 UI as a host loads it: the module from the bundle, the parent,
// touch and resize features, port events and idle calls.
class Lv2Editor final : public Editor {
public:
    explicit Lv2Editor(X11TestHost& host) : host_(host) {
        const Lv2UiLibrary library = load_lv2_ui_library();
        module_ = library.module;
        descriptor_ = library.entry ? library.entry(0) : nullptr;
    }
    ~Lv2Editor() override {
        close();
        if (module_) dlclose(module_);
    }

    bool open() override {
        if (descriptor_ == nullptr) return false;
        calls_.clear();
        touch_ = {this, [](LV2UI_Feature_Handle self, uint32_t port, bool grabbed) {
                      static_cast<Lv2Editor*>(self)->calls_.push_back({'t', port, grabbed ? 1.0f : 0.0f});
                  }};
        resize_ = {this, [](LV2UI_Feature_Handle self, int w, int h) {
                       static_cast<Lv2Editor*>(self)->asked_size_ = {w, h};
                       return 0;
                   }};
        const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(host_.window())};
        const LV2_Feature touch{LV2_UI__touch, &touch_};
        const LV2_Feature resize{LV2_UI__resize, &resize_};
        const LV2_Feature* features[] = {&parent, &touch, &resize, nullptr};
        LV2UI_Widget widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(1));
        ui_ = descriptor_->instantiate(descriptor_, YAWP_LV2_URI, YAWP_LV2_BUNDLE, write, this, &widget, features);
        if (ui_ == nullptr) {
            EXPECT_EQ(widget, nullptr) << "a failed UI leaves no widget";
            return false;
        }
        EXPECT_EQ(host_.parent_of(reinterpret_cast<uintptr_t>(widget)), host_.window())
            << "the UI's window is a child of the parent it was given";
        EXPECT_EQ(asked_size_, (std::pair<int, int>{kEditorWidth, kEditorHeight}));
        const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor_->extension_data(LV2_UI__idleInterface));
        EXPECT_NE(idle, nullptr);
        host_.idle = [this, idle] { EXPECT_EQ(idle->idle(ui_), 0); };
        // Hosts send every control port's value first; the enable port is on.
        for (uint32_t i = 0; i < cat::kCount; ++i) {
            const bool input = i < cat::kInputCount;
            const float value = i == cat::kBypass ? 1.0f : input ? cat::entry(i)->def : 0.0f;
            const uint32_t port = input ? lv2::port_of_parameter(i) : lv2::port_of_output(i);
            descriptor_->port_event(ui_, port, sizeof value, 0, &value);
        }
        return true;
    }

    void close() override {
        if (ui_ == nullptr) return;
        host_.idle = nullptr;
        descriptor_->cleanup(ui_);
        ui_ = nullptr;
        unsigned windows = 1;
        host_.parent_of(host_.window(), &windows);
        EXPECT_EQ(windows, 0u) << "cleanup destroys the UI's window";
    }

    void push_position(float plain) override { descriptor_->port_event(ui_, kPedalPort, sizeof plain, 0, &plain); }

    void expect_pedal_gesture(float above) override {
        ASSERT_GE(calls_.size(), 4u);
        EXPECT_EQ(calls_.front(), (Call{'t', kPedalPort, 1}));
        EXPECT_EQ(calls_.back(), (Call{'t', kPedalPort, 0}));
        for (size_t i = 1; i + 1 < calls_.size(); ++i) {
            EXPECT_EQ(calls_[i].kind, 'w');
            EXPECT_EQ(calls_[i].port, kPedalPort) << "only the pedal's port";
        }
        EXPECT_GT(calls_[calls_.size() - 2].value, above);
    }

    const char* name() const override { return "lv2"; }

private:
    static constexpr uint32_t kPedalPort = lv2::port_of_parameter(cat::kPosition);

    struct Call {
        char kind;  // 't'ouch, 'w'rite
        uint32_t port;
        float value;
        bool operator==(const Call&) const = default;
    };

    static void write(LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(protocol, 0u);
        float value;
        std::memcpy(&value, buffer, 4);
        static_cast<Lv2Editor*>(self)->calls_.push_back({'w', port, value});
    }

    X11TestHost& host_;
    void* module_ = nullptr;
    const LV2UI_Descriptor* descriptor_ = nullptr;
    LV2UI_Handle ui_ = nullptr;
    LV2UI_Touch touch_{};
    LV2UI_Resize resize_{};
    std::pair<int, int> asked_size_{};
    std::vector<Call> calls_;
};

// The host's run loop, as VST3 hosts offer it through their plug frame.
struct TestRunLoop : HostObject<Linux::IRunLoop> {
    explicit TestRunLoop(X11TestHost& host) : host(host) {}
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override {
        if (handler == nullptr) return kInvalidArgument;
        handler->addRef();
        ++handlers;
        host.watch_fd(fd, handler, [handler, fd] { handler->onFDIsSet(fd); });
        return kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
        host.unwatch_fd(handler);
        --handlers;
        handler->release();
        return kResultOk;
    }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override {
        handler->addRef();
        ++timers;
        host.add_timer(ms, handler, [handler] { handler->onTimer(); });
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        host.remove_timer(handler);
        --timers;
        handler->release();
        return kResultOk;
    }
    X11TestHost& host;
    int handlers = 0;
    int timers = 0;
};

struct TestFrame : HostObject<IPlugFrame> {
    explicit TestFrame(TestRunLoop* loop) : loop(loop) {}
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (loop != nullptr && vst3::same_id(iid, Linux::IRunLoop::iid)) {
            loop->addRef();
            *obj = static_cast<Linux::IRunLoop*>(loop);
            return kResultOk;
        }
        return HostObject<IPlugFrame>::queryInterface(iid, obj);
    }
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultOk; }
    TestRunLoop* loop;
};

// The VST3 view as a host attaches it: the controller from the built
// module, a component handler that records, a frame with the run loop.
class Vst3Editor final : public Editor {
public:
    explicit Vst3Editor(X11TestHost& host) : host_(host), loop_(host), frame_(&loop_) {
        if (plugin_.controller) plugin_.controller->setComponentHandler(&handler_);
    }
    ~Vst3Editor() override {
        close();
        if (plugin_.controller) plugin_.controller->setComponentHandler(nullptr);
    }

    bool open() override {
        if (plugin_.controller == nullptr) return false;
        handler_.calls.clear();
        view_ = plugin_.controller->createView(ViewType::kEditor);
        if (view_ == nullptr) return false;
        EXPECT_EQ(view_->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
        view_->setFrame(&frame_);
        if (view_->attached(reinterpret_cast<void*>(host_.window()), kPlatformTypeX11EmbedWindowID) != kResultOk) {
            EXPECT_EQ(loop_.handlers, 0);
            EXPECT_EQ(loop_.timers, 0);
            view_->setFrame(nullptr);
            view_->release();
            view_ = nullptr;
            return false;
        }
        EXPECT_EQ(loop_.handlers, 1);
        EXPECT_EQ(loop_.timers, 1);
        return true;
    }

    void close() override {
        if (view_ == nullptr) return;
        EXPECT_EQ(view_->removed(), kResultOk);
        EXPECT_EQ(loop_.handlers, 0) << "the socket's handler is unregistered";
        EXPECT_EQ(loop_.timers, 0) << "the timer is unregistered";
        view_->setFrame(nullptr);
        EXPECT_EQ(view_->release(), 0u);
        view_ = nullptr;
    }

    void push_position(float plain) override {
        plugin_.controller->setParamNormalized(cat::vst3_id(0), cat::plain_to_normalized(0, plain));
    }

    void host_resized(int width, int height) override {
        ViewRect rect(0, 0, width, height);
        EXPECT_EQ(view_->onSize(&rect), kResultOk);
        ViewRect back;
        EXPECT_EQ(view_->getSize(&back), kResultOk);
        EXPECT_EQ(back.getWidth(), width);
        EXPECT_EQ(back.getHeight(), height);
    }

    void expect_pedal_gesture(float above) override {
        const auto& calls = handler_.calls;
        const ParamID id = cat::vst3_id(0);
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls.front().kind, 'b');
        EXPECT_EQ(calls.back().kind, 'e');
        for (const auto& c : calls) EXPECT_EQ(c.id, id) << "only the pedal";
        for (size_t i = 1; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i].kind, 'p');
        EXPECT_GT(calls[calls.size() - 2].value, cat::plain_to_normalized(0, above));
    }

    const char* name() const override { return "vst3"; }

private:
    X11TestHost& host_;
    Plugin plugin_;
    RecordingHandler handler_;
    TestRunLoop loop_;
    TestFrame frame_;
    IPlugView* view_ = nullptr;
};

// --- The checks, the same for both formats -------------------------------------------

enum class Format { kLv2, kVst3 };

class EditorInHost : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.ok()) << "no X display: run under xvfb-run";
        unsetenv("YAWP_WAH_EDITOR");
        if (GetParam() == Format::kLv2)
            editor_ = std::make_unique<Lv2Editor>(host_);
        else
            editor_ = std::make_unique<Vst3Editor>(host_);
    }
    void TearDown() override {
        if (editor_ == nullptr) return;
        editor_->close();
        EXPECT_TRUE(wait_until_no_children(host_, milliseconds(5000))) << "a process was left behind";
    }

    pid_t the_helper() {
        const auto helpers = children_named(kHelperName);
        EXPECT_EQ(helpers.size(), 1u);
        return helpers.empty() ? -1 : helpers[0];
    }

    std::string prefix() const { return editor_->name(); }

    X11TestHost host_;
    std::unique_ptr<Editor> editor_;
};

TEST_P(EditorInHost, ThePageFillsTheWindowFollowsTheHostAndEndsWithIt) {
    const auto opening = std::chrono::steady_clock::now();
    ASSERT_TRUE(editor_->open());
    const milliseconds opened =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - opening);
    const milliseconds painted = host_.wait_for_page(kPageLimit);
    ASSERT_GE(painted.count(), 0) << "the page never covered the host's window";
    const pid_t helper = the_helper();
    host_.pump(milliseconds(500));  // fonts and pictures settle
    std::printf("[ %s ] open returned after %lld ms, first paint after %lld ms; resident: helper %ld KiB, "
                "with its web processes %ld KiB\n",
                prefix().c_str(), static_cast<long long>(opened.count()),
                static_cast<long long>(painted.count() + opened.count()), resident_kib(helper),
                family_resident_kib(helper));

    Screenshot shown = host_.screenshot();
    EXPECT_EQ(shown.width, kEditorWidth);
    EXPECT_LT(shown.share(0, 0, shown.width, shown.height, is_host_background), 0.02);
    shown.save_png(screenshot_path(prefix() + "-700x677.png"));

    // The host's values reach the page: the pedal moves to the heel, then
    // to the toe.
    editor_->push_position(0);
    host_.pump(milliseconds(400));
    const Screenshot heel = host_.screenshot();
    editor_->push_position(100);
    host_.pump(milliseconds(400));
    const Screenshot toe = host_.screenshot();
    EXPECT_GT(heel.differences(toe, kPedalLeft, kPedalTop, kPedalWidth, kPedalHeight), 500)
        << "the pedal did not move with the host's value";
    EXPECT_LT(heel.differences(toe, 200, 420, 480, 240), heel.differences(toe, kPedalLeft, kPedalTop, kPedalWidth,
                                                                            kPedalHeight))
        << "the change belongs to the pedal";

    // A drag up the pedal from its middle becomes one gesture.
    editor_->push_position(50);
    host_.pump(milliseconds(300));
    host_.drag(kPedalX, kPedalY, kDragUp);
    host_.pump(milliseconds(500));
    editor_->expect_pedal_gesture(55);

    // The page follows the host window's size.
    host_.resize(900, 500);
    editor_->host_resized(900, 500);
    // The page fits itself to its view: drawn things appear right of x 700.
    const auto fitted = [&] {
        const Screenshot shot = host_.screenshot();
        return shot.width == 900 && shot.share(720, 40, 160, 420, [](uint32_t p) { return !is_page_dark(p); }) > 0.01;
    };
    EXPECT_TRUE(host_.pump_until(fitted, milliseconds(10000))) << "the page did not follow the window to 900 x 500";
    host_.pump(milliseconds(300));
    const Screenshot resized = host_.screenshot();
    EXPECT_EQ(resized.width, 900);
    EXPECT_LT(resized.share(0, 0, resized.width, resized.height, is_host_background), 0.02);
    resized.save_png(screenshot_path(prefix() + "-900x500.png"));

    // Closing ends the helper within the second, and its web processes
    // with it.
    const std::vector<pid_t> web_processes = children_of(helper);
    EXPECT_FALSE(web_processes.empty());
    editor_->close();
    EXPECT_TRUE(host_.pump_until([&] { return !process_exists(helper); }, kHelperEnds))
        << "the helper outlived its editor";
    EXPECT_TRUE(host_.pump_until(
        [&] { return std::all_of(web_processes.begin(), web_processes.end(), process_ended); }, milliseconds(5000)))
        << "a web process outlived the helper";
}

TEST_P(EditorInHost, TwentyOpenCloseCyclesLeaveNoHelperOrZombie) {
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(editor_->open()) << "cycle " << cycle;
        host_.pump(milliseconds(cycle % 5 == 0 ? 600 : 30));
        editor_->close();
    }
    EXPECT_TRUE(wait_until_no_children(host_, milliseconds(5000)));
    EXPECT_TRUE(children_named(kHelperName).empty());
}

TEST_P(EditorInHost, AKilledHelperLeavesTheHostRunningAndTheEditorReopens) {
    ASSERT_TRUE(editor_->open());
    ASSERT_GE(host_.wait_for_page(kPageLimit).count(), 0);
    const pid_t helper = the_helper();
    const std::vector<pid_t> web_processes = children_of(helper);
    ASSERT_EQ(kill(helper, SIGKILL), 0);
    EXPECT_TRUE(host_.pump_until([&] { return !process_exists(helper); }, milliseconds(2000)))
        << "the killed helper was not reaped";
    EXPECT_TRUE(host_.pump_until(
        [&] { return std::all_of(web_processes.begin(), web_processes.end(), process_ended); }, milliseconds(5000)))
        << "a web process outlived the killed helper";
    host_.pump(milliseconds(300));
    const Screenshot empty = host_.screenshot();
    EXPECT_GT(empty.share(0, 0, empty.width, empty.height, is_host_background), 0.9) << "an empty window remains";
    editor_->push_position(10);  // values after the crash go nowhere, harmlessly
    host_.pump(milliseconds(100));
    editor_->close();

    ASSERT_TRUE(editor_->open()) << "opening again starts a new helper";
    EXPECT_GE(host_.wait_for_page(kPageLimit).count(), 0);
}

// The helper as it is on a machine without WebKitGTK: the dynamic loader
// cannot find the library and the program ends before its main.
std::string helper_without_webkit() {
    std::ifstream in(YAWP_LV2_BUNDLE "/yawp-wah-editor", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string needed = "libwebkit2gtk-4.1.so.0";
    const size_t at = bytes.find(needed);
    if (at == std::string::npos) return "";
    bytes.replace(at, needed.size(), "libwebkit2gtk-0.0.so.0");
    const std::string path = std::filesystem::temp_directory_path() / ("yawp-no-webkit-" + std::to_string(getpid()));
    std::ofstream(path, std::ios::binary) << bytes;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

TEST_P(EditorInHost, AMissingHelperFailsTheEditorCleanly) {
    setenv("YAWP_WAH_EDITOR", "/nonexistent/yawp-wah-editor", 1);
    EXPECT_FALSE(editor_->open());
    setenv("YAWP_WAH_EDITOR", "/bin/false", 1);
    EXPECT_FALSE(editor_->open()) << "a helper that ends at once";
    const std::string without_webkit = helper_without_webkit();
    ASSERT_FALSE(without_webkit.empty());
    setenv("YAWP_WAH_EDITOR", without_webkit.c_str(), 1);
    EXPECT_FALSE(editor_->open()) << "a helper whose WebKitGTK is missing";
    std::filesystem::remove(without_webkit);
    unsetenv("YAWP_WAH_EDITOR");
    EXPECT_TRUE(wait_until_no_children(host_, milliseconds(2000)));
    host_.pump(milliseconds(100));
    const Screenshot shot = host_.screenshot();
    EXPECT_GT(shot.share(0, 0, shot.width, shot.height, is_host_background), 0.99) << "nothing was shown";
}

// An LV2 host that offers no parent window gets no UI, and nothing starts.
TEST(Lv2EditorFeatures, WithoutAParentTheUiFailsAndStartsNothing) {
    const Lv2UiLibrary library = load_lv2_ui_library();
    ASSERT_NE(library.module, nullptr);
    const Lv2UiEntry get = library.entry;
    ASSERT_NE(get, nullptr);
    const LV2UI_Descriptor* d = get(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(get(1), nullptr);
    EXPECT_NE(d->extension_data(LV2_UI__idleInterface), nullptr);
    EXPECT_NE(d->extension_data(LV2_UI__resize), nullptr);
    EXPECT_EQ(d->extension_data(LV2_UI__showInterface), nullptr);
    const LV2_Feature* none[] = {nullptr};
    LV2UI_Widget widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(1));
    auto write = [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {};
    EXPECT_EQ(d->instantiate(d, "", YAWP_LV2_BUNDLE, write, nullptr, &widget, none), nullptr);
    EXPECT_EQ(widget, nullptr);
    EXPECT_TRUE(children_named(kHelperName).empty());
    dlclose(library.module);
}

// A VST3 host without a run loop gets no editor; a second attach is refused
// and leaves the first editor running.
TEST(Vst3EditorRunLoop, ARunLoopIsNeededAndOneAttachIsAllowed) {
    X11TestHost host;
    ASSERT_TRUE(host.ok());
    Plugin plugin;
    ASSERT_NE(plugin.controller, nullptr);
    IPlugView* view = plugin.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    TestFrame bare(nullptr);
    view->setFrame(&bare);
    void* parent = reinterpret_cast<void*>(host.window());
    EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_TRUE(children_named(kHelperName).empty()) << "nothing started";

    TestRunLoop loop(host);
    TestFrame frame(&loop);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kInvalidArgument);
    EXPECT_EQ(children_named(kHelperName).size(), 1u);
    EXPECT_EQ(loop.refs, 2) << "the view holds the run loop while attached";
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(loop.refs, 1);
    EXPECT_EQ(loop.handlers + loop.timers, 0);
    view->setFrame(nullptr);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_TRUE(wait_until_no_children(host, milliseconds(3000)));
}

INSTANTIATE_TEST_SUITE_P(Formats, EditorInHost, ::testing::Values(Format::kLv2, Format::kVst3),
                         [](const auto& info) { return info.param == Format::kLv2 ? "Lv2" : "Vst3"; });

}  // namespace
}  // namespace yawp::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The X server resets when its last client leaves, and refuses new ones
    // meanwhile; this connection keeps it up between the tests.
    Display* keep_alive = XOpenDisplay(nullptr);
    const int result = RUN_ALL_TESTS();
    if (keep_alive != nullptr) XCloseDisplay(keep_alive);
    return result;
}
