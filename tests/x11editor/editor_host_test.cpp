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
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "engine/catalogue.h"
#include "lv2/ports.h"
#include "lv2/uris.h"
#include "vst3_host.h"
#include "x11_test_host.h"
#include "x11editor/reaper.h"

#include <X11/keysym.h>

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

// URIDs as a host hands them out: a number per URI, from 1.
LV2_URID map_uri(LV2_URID_Map_Handle, const char* uri) {
    static std::vector<std::string> uris;
    const auto at = std::find(uris.begin(), uris.end(), uri);
    if (at != uris.end()) return LV2_URID(at - uris.begin() + 1);
    uris.push_back(uri);
    return LV2_URID(uris.size());
}

// The LV2 UI as a host loads it: the module from the bundle, the parent,
// touch and resize features (the host takes the size the UI asks for),
// the URID map, the scale among the options and the instance when the
// test gives them, port events and idle calls.
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
                       auto* editor = static_cast<Lv2Editor*>(self);
                       editor->asked_size_ = {w, h};
                       editor->host_.resize(w, h);
                       return 0;
                   }};
        const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(host_.window())};
        const LV2_Feature touch{LV2_UI__touch, &touch_};
        const LV2_Feature resize{LV2_UI__resize, &resize_};
        LV2_URID_Map map{nullptr, map_uri};
        const LV2_Feature map_feature{LV2_URID__map, &map};
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, map_uri(nullptr, LV2_UI__scaleFactor), sizeof scale_,
             map_uri(nullptr, LV2_ATOM__Float), &scale_},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature options_feature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature instance{LV2_INSTANCE_ACCESS_URI, const_cast<void*>(instance_)};
        std::vector<const LV2_Feature*> features = {&parent, &touch, &resize, &map_feature};
        if (scale_ > 0) features.push_back(&options_feature);
        if (instance_ != nullptr) features.push_back(&instance);
        features.push_back(nullptr);
        LV2UI_Widget widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(1));
        ui_ = descriptor_->instantiate(descriptor_, YAWP_LV2_URI, bundle_.c_str(), write, this, &widget,
                                       features.data());
        if (ui_ == nullptr) {
            EXPECT_EQ(widget, nullptr) << "a failed UI leaves no widget";
            return false;
        }
        EXPECT_EQ(host_.parent_of(reinterpret_cast<uintptr_t>(widget)), host_.window())
            << "the UI's window is a child of the parent it was given";
        EXPECT_EQ(asked_size_, expected_size_);
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

    // For the next open: the host's scale (0 for none), the instance it
    // says the UI belongs to (null for none), the size the UI must ask
    // for, and the bundle to load the page from.
    void set_scale(float scale) { scale_ = scale; }
    void set_instance(const void* instance) { instance_ = instance; }
    void expect_size(int width, int height) { expected_size_ = {width, height}; }
    void set_bundle(const std::string& bundle) { bundle_ = bundle; }
    // The host's drag on its window's corner: the parent changes size.
    void drag_host_to(int width, int height) { host_.resize(width, height); }

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
    std::pair<int, int> expected_size_{kEditorWidth, kEditorHeight};
    std::vector<Call> calls_;
    float scale_ = 0;
    const void* instance_ = nullptr;
    std::string bundle_ = YAWP_LV2_BUNDLE;
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

// --- The LV2 editor's scale, size and keys ------------------------------------------------

struct ScaleCase {
    float scale;
    int width;
    int height;
    const char* name;
};

// The page's 700 x 677 times the scale, rounded.
constexpr ScaleCase kScales[] = {{1.0f, 700, 677, "1"}, {1.5f, 1050, 1016, "1.5"}, {2.0f, 1400, 1354, "2"}};
constexpr int kDraggedWidth = 1050, kDraggedHeight = 1016;
// A strip this wide along each edge must be the page's: no host colour,
// and the page's dark background nearly all of it.
constexpr int kEdgeStrip = 2;
constexpr double kEdgeDark = 0.7;
// On the page at 700 x 677: a label that takes no keys, and the value
// under the heel's jaw knob, which opens a text field when clicked.
constexpr int kLabelX = 205, kLabelY = 66;
constexpr int kValueX = 34, kValueY = 498;

std::string size_name(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

void expect_page_reaches_edges(const Screenshot& shot) {
    const struct {
        int x, y, w, h;
        const char* side;
    } strips[] = {{0, 0, shot.width, kEdgeStrip, "top"},
                  {0, shot.height - kEdgeStrip, shot.width, kEdgeStrip, "bottom"},
                  {0, 0, kEdgeStrip, shot.height, "left"},
                  {shot.width - kEdgeStrip, 0, kEdgeStrip, shot.height, "right"}};
    for (const auto& s : strips) {
        EXPECT_EQ(shot.share(s.x, s.y, s.w, s.h, is_host_background), 0.0) << "the host shows at the " << s.side;
        EXPECT_GT(shot.share(s.x, s.y, s.w, s.h, is_page_dark), kEdgeDark) << "the page misses the " << s.side;
    }
}

// Whether the window is `width` x `height` with the page out to its edges.
bool page_fills(X11TestHost& host, int width, int height) {
    const Screenshot shot = host.screenshot();
    if (shot.width != width || shot.height != height) return false;
    for (int x : {0, width - 1})
        for (int y : {0, height / 2, height - 1})
            if (!is_page_dark(shot.at(x, y))) return false;
    return shot.share(0, 0, width, height, is_host_background) == 0.0;
}

// A bundle folder whose page hands keys on to the host: the built one
// once the page has keys.js; until then a copy whose page gets a stand-in
// that hands on every key pressed outside a text field, as keys.js does.
constexpr char kKeysStandIn[] = R"(<script>
(function () {
  function handOn(kind) {
    return function (e) {
      if (e.target && e.target.tagName === 'INPUT') return;
      var c = e.key && e.key.length === 1 ? e.key.codePointAt(0) : 0;
      window.chrome.webview.postMessage('k ' + kind + ' ' + e.keyCode.toString(16) + ' ' + c.toString(16) + ' 0');
    };
  }
  document.addEventListener('keydown', handOn('d'), true);
  document.addEventListener('keyup', handOn('u'), true);
})();
</script>
</head>)";

std::string bundle_with_keys() {
    namespace fs = std::filesystem;
    const fs::path built = YAWP_LV2_BUNDLE;
    std::ifstream in(built / "index.html");
    std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (page.find("js/keys.js") != std::string::npos) return built;
    const fs::path copy = fs::temp_directory_path() / ("yawp-keys-bundle-" + std::to_string(getpid()));
    fs::remove_all(copy);
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(built))
        if (entry.path().filename() != "index.html") fs::create_directory_symlink(entry.path(), copy / entry.path().filename());
    const size_t head = page.find("</head>");
    if (head != std::string::npos) page.replace(head, 7, kKeysStandIn);
    std::ofstream(copy / "index.html") << page;
    std::printf("[ lv2 ] the page has no keys.js yet: a stand-in hands the keys on\n");
    return copy;
}

class Lv2EditorInHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.ok()) << "no X display: run under xvfb-run";
        unsetenv("YAWP_WAH_EDITOR");
    }
    void TearDown() override {
        editor_.close();
        EXPECT_TRUE(wait_until_no_children(host_, milliseconds(5000))) << "a process was left behind";
    }
    X11TestHost host_;
    Lv2Editor editor_{host_};
};

TEST_F(Lv2EditorInHost, AtEachScaleTheWindowIsThePagesSizeTimesTheScaleAndThePageFillsIt) {
    for (const ScaleCase& c : kScales) {
        SCOPED_TRACE(c.name);
        editor_.set_scale(c.scale);
        editor_.expect_size(c.width, c.height);
        ASSERT_TRUE(editor_.open());
        ASSERT_GE(host_.wait_for_page(kPageLimit).count(), 0) << "the page never covered the window";
        EXPECT_TRUE(host_.pump_until([&] { return page_fills(host_, c.width, c.height); }, milliseconds(10000)));
        host_.pump(milliseconds(500));  // fonts and pictures settle
        const Screenshot shot = host_.screenshot();
        EXPECT_EQ(shot.width, c.width);
        EXPECT_EQ(shot.height, c.height);
        expect_page_reaches_edges(shot);
        const std::string path = screenshot_path(std::string("lv2-scale-") + c.name + "-" + size_name(c.width, c.height) + ".png");
        shot.save_png(path);
        std::printf("[ lv2 ] scale %s: %dx%d, %s\n", c.name, shot.width, shot.height, path.c_str());
        editor_.close();
    }
}

TEST_F(Lv2EditorInHost, ADraggedSizeIsFilledAndComesBackForTheSameInstance) {
    static const char instance = 0, other = 0;
    const ScaleCase& two = kScales[2];
    editor_.set_scale(two.scale);
    editor_.set_instance(&instance);
    editor_.expect_size(two.width, two.height);
    ASSERT_TRUE(editor_.open());
    ASSERT_GE(host_.wait_for_page(kPageLimit).count(), 0);

    editor_.drag_host_to(kDraggedWidth, kDraggedHeight);
    EXPECT_TRUE(host_.pump_until([&] { return page_fills(host_, kDraggedWidth, kDraggedHeight); }, milliseconds(10000)))
        << "the page did not follow the window to " << size_name(kDraggedWidth, kDraggedHeight);
    host_.pump(milliseconds(500));
    const Screenshot dragged = host_.screenshot();
    expect_page_reaches_edges(dragged);
    dragged.save_png(screenshot_path("lv2-scale-2-dragged-" + size_name(kDraggedWidth, kDraggedHeight) + ".png"));
    editor_.close();

    // Opened again for the same instance, it asks for the size it was left at.
    editor_.expect_size(kDraggedWidth, kDraggedHeight);
    ASSERT_TRUE(editor_.open());
    EXPECT_TRUE(host_.pump_until([&] { return page_fills(host_, kDraggedWidth, kDraggedHeight); }, kPageLimit));
    editor_.close();

    // Another instance, or a host that does not say which, starts afresh.
    editor_.set_instance(&other);
    editor_.expect_size(two.width, two.height);
    ASSERT_TRUE(editor_.open());
    editor_.close();
    editor_.set_instance(nullptr);
    ASSERT_TRUE(editor_.open());
}

TEST_F(Lv2EditorInHost, KeysThePageDoesNotUseGoToTheHostsWindow) {
    const std::string bundle = bundle_with_keys();
    editor_.set_bundle(bundle);
    ASSERT_TRUE(editor_.open());
    ASSERT_GE(host_.wait_for_page(kPageLimit).count(), 0);
    host_.pump(milliseconds(800));
    const unsigned space = host_.keycode_of(XK_space);
    const auto sent = [&](bool press) {
        return std::any_of(host_.keys().begin(), host_.keys().end(), [&](const HostKey& k) {
            return k.sent && k.press == press && k.keycode == space && k.state == 0;
        });
    };

    // Clicked into, the editor hands the space bar on: a press, then a release.
    host_.click(kLabelX, kLabelY);
    host_.pump(milliseconds(300));
    host_.clear_keys();
    host_.type_key(XK_space);
    EXPECT_TRUE(host_.pump_until([&] { return sent(true) && sent(false); }, milliseconds(3000)))
        << "the host's window did not receive the space bar";
    EXPECT_EQ(host_.keys().size(), 2u);

    // Typing into a value's text field keeps the keys in the page.
    host_.click(kValueX, kValueY);
    host_.pump(milliseconds(500));
    host_.clear_keys();
    host_.type_key(XK_space);
    host_.pump(milliseconds(800));
    EXPECT_TRUE(host_.keys().empty()) << "a key typed into a value's field reached the host";
    editor_.close();
    if (bundle != YAWP_LV2_BUNDLE) std::filesystem::remove_all(bundle);
}

// --- The VST3 editor at the host's scale ---------------------------------------------

// A frame that does what a host does when the view asks for a new size:
// its window takes the size, and onSize tells the view, inside the call.
struct ResizingFrame : TestFrame {
    ResizingFrame(TestRunLoop* loop, X11TestHost& host) : TestFrame(loop), host(host) {}
    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
        ++calls;
        host.resize(rect->getWidth(), rect->getHeight());
        EXPECT_EQ(view->onSize(rect), kResultOk);
        return kResultTrue;
    }
    X11TestHost& host;
    int calls = 0;
};

ViewRect size_of(IPlugView* view) {
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultOk);
    return size;
}

// How far `shot` is from `reference` (the page at another size) scaled to
// its size: the mean difference in brightness (0 to 255) over a grid of
// blocks, each a few of the page's own pixels wide, so that lines and
// letters drawn at another scale still agree. A page laid out for its
// window comes close; one still at another scale, cut off or with a
// margin, does not. Under Xvfb the page at 1.5 against the page at 2
// differs by about 0.3; the page at 2 cut to the smaller window, as it
// shows until the helper has the new scale, by about 9.
constexpr int kBlocks = 28;
constexpr double kLaidOut = 3.0;

double block_brightness(const Screenshot& shot, int bx, int by) {
    const int x0 = bx * shot.width / kBlocks, x1 = (bx + 1) * shot.width / kBlocks;
    const int y0 = by * shot.height / kBlocks, y1 = (by + 1) * shot.height / kBlocks;
    long sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = shot.at(x, y);
            sum += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
        }
    return double(sum) / 3.0 / double(std::max(1, (x1 - x0) * (y1 - y0)));
}

double difference(const Screenshot& shot, const Screenshot& reference) {
    double sum = 0;
    for (int by = 0; by < kBlocks; ++by)
        for (int bx = 0; bx < kBlocks; ++bx)
            sum += std::abs(block_brightness(shot, bx, by) - block_brightness(reference, bx, by));
    return sum / (kBlocks * kBlocks);
}

// The window is `width` x `height`, with the page out to its edges and,
// when a reference is given, laid out as it was there. The screenshot is
// kept, and returned.
Screenshot expect_filled(X11TestHost& host, int width, int height, const std::string& name,
                         const Screenshot* reference = nullptr) {
    EXPECT_TRUE(host.pump_until([&] { return page_fills(host, width, height); }, milliseconds(10000)))
        << "the page did not fill " << size_name(width, height);
    if (reference != nullptr) {
        double score = 0;
        const bool laid_out = host.pump_until(
            [&] {
                score = difference(host.screenshot(), *reference);
                return score < kLaidOut;
            },
            milliseconds(10000));
        EXPECT_TRUE(laid_out) << "the page is not laid out for " << size_name(width, height) << " (difference " << score << ")";
    }
    host.pump(milliseconds(500));  // fonts and pictures settle
    const Screenshot shot = host.screenshot();
    EXPECT_EQ(shot.width, width);
    EXPECT_EQ(shot.height, height);
    expect_page_reaches_edges(shot);
    const std::string path = screenshot_path(name + "-" + size_name(width, height) + ".png");
    shot.save_png(path);
    std::printf("[ vst3 ] %dx%d, %s\n", shot.width, shot.height, path.c_str());
    return shot;
}

TEST(Vst3EditorScale, AtScale2ThePageFills1400x1354AndFollowsAChangeTo1_5) {
    X11TestHost host;
    ASSERT_TRUE(host.ok()) << "no X display: run under xvfb-run";
    unsetenv("YAWP_WAH_EDITOR");
    Plugin plugin;
    ASSERT_NE(plugin.controller, nullptr);
    IPlugView* view = plugin.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    void* scaling = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, &scaling), kResultOk);
    auto* scale_support = static_cast<IPlugViewContentScaleSupport*>(scaling);
    TestRunLoop loop(host);
    ResizingFrame frame(&loop, host);
    view->setFrame(&frame);

    // As hosts open an editor on a 200 % display: the scale, the size it
    // makes, the window at that size, then attached.
    EXPECT_EQ(scale_support->setContentScaleFactor(2.0f), kResultTrue);
    const ViewRect two = size_of(view);
    EXPECT_EQ(two.getWidth(), 1400);
    EXPECT_EQ(two.getHeight(), 1354);
    host.resize(two.getWidth(), two.getHeight());
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(host.window()), kPlatformTypeX11EmbedWindowID), kResultOk);
    ASSERT_GE(host.wait_for_page(kPageLimit).count(), 0) << "the page never covered the window";
    const Screenshot at_two = expect_filled(host, 1400, 1354, "vst3-scale-2");
    EXPECT_EQ(frame.calls, 0) << "a size given before attached needs no resizeView";

    // The window moves to a 150 % display: the view asks the frame, which
    // gives the window the size and tells the view with onSize.
    EXPECT_EQ(scale_support->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(frame.calls, 1);
    const ViewRect one_and_a_half = size_of(view);
    EXPECT_EQ(one_and_a_half.getWidth(), 1050);
    EXPECT_EQ(one_and_a_half.getHeight(), 1016);
    expect_filled(host, 1050, 1016, "vst3-scale-1.5", &at_two);

    EXPECT_EQ(view->removed(), kResultOk);
    view->setFrame(nullptr);
    scale_support->release();
    EXPECT_EQ(view->release(), 0u);
    EXPECT_TRUE(wait_until_no_children(host, milliseconds(5000))) << "a process was left behind";
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
