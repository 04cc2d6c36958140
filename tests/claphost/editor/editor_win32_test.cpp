// The CLAP editor on Windows, in the host's window: the module comes from a
// staged CLAP folder whose WebView2 loader is the test double, so the test
// plays the page. Sizes and scale, the values the page is shown, the page's
// gestures as host events, the host's timer or our own, hide and show, the
// news store, and no editor where no browser can start.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "gui_host.h"
#include "tests/editor/page_double.h"
#include "tests/webui/runtime_registry.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;
using editor_test::gesture;
using editor_test::pump_for;
using editor_test::pump_until;
using editor_test::value_message;

constexpr float kFirstOutputs[cat::kOutputCount] = {50, 0, 0, 0};

const editor_test::PageDouble& page() {
    static const editor_test::PageDouble loaded(editor_test::windows_path(YAWP_EDITOR_LOADER));
    return loaded;
}

// What a fresh page is sent: every value in index order.
std::vector<std::wstring> first_messages(std::vector<float> values) {
    std::vector<std::wstring> texts;
    for (uint32_t i = 0; i < values.size(); ++i) texts.push_back(value_message(i, values[i]));
    return texts;
}

std::vector<float> default_values() {
    std::vector<float> values;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) values.push_back(float(cat::entry(i)->def));
    values.insert(values.end(), std::begin(kFirstOutputs), std::end(kFirstOutputs));
    return values;
}

SIZE window_size(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

bool sized(HWND window, LONG width, LONG height) {
    const SIZE size = window_size(window);
    return size.cx == width && size.cy == height;
}

// A module folder loaded and entered by its own path, as a host finds it.
struct EnteredFolder {
    explicit EnteredFolder(const std::string& path) : module(path) {
        if (module.entry == nullptr) return;
        entered = module.entry->init(path.c_str());
        if (entered)
            factory = static_cast<const clap_plugin_factory*>(module.entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
    ~EnteredFolder() {
        if (entered) module.entry->deinit();
    }
    LoadedModule module;
    bool entered = false;
    const clap_plugin_factory* factory = nullptr;
};

EnteredFolder& staged() {
    static EnteredFolder folder(editor_test::windows_path(YAWP_EDITOR_MODULE));
    return folder;
}

// The host's timers as a Windows host keeps them: thread timers of its
// message loop.
std::map<UINT_PTR, std::pair<GuiHost*, clap_id>> g_host_timers;

void CALLBACK host_timer_fired(HWND, UINT, UINT_PTR timer, DWORD) {
    const auto at = g_host_timers.find(timer);
    if (at != g_host_timers.end()) at->second.first->timer_due(at->second.second);
}

// The host's side: a top-level window to embed in, timers in the message
// loop, and one instance of the plug-in from `factory`.
class ClapEditorWin32 : public testing::Test {
protected:
    void SetUp() override {
        page().reset();
        ASSERT_NE(factory(), nullptr) << YAWP_EDITOR_MODULE;
        gui_host_.timer_added = [this](clap_id id, uint32_t period) {
            g_host_timers[SetTimer(nullptr, 0, period, host_timer_fired)] = {&gui_host_, id};
        };
        gui_host_.timer_removed = [](clap_id id) {
            for (auto at = g_host_timers.begin(); at != g_host_timers.end(); ++at)
                if (at->second.second == id) {
                    KillTimer(nullptr, at->first);
                    g_host_timers.erase(at);
                    return;
                }
        };
        instance_ = std::make_unique<Instance>(host_, factory());
        ASSERT_NE(instance_->plugin, nullptr);
        plugin_ = instance_->plugin;
        gui_host_.serve(plugin_);
        gui_ = static_cast<const clap_plugin_gui*>(plugin_->get_extension(plugin_, CLAP_EXT_GUI));
        ASSERT_NE(gui_, nullptr);
    }

    void TearDown() override {
        if (gui_ != nullptr) gui_->destroy(plugin_);
        instance_.reset();
        for (HWND frame : frames_) DestroyWindow(frame);
        EXPECT_TRUE(gui_host_.timers.empty()) << "a timer was left registered";
        EXPECT_TRUE(g_host_timers.empty());
        EXPECT_EQ(gui_host_.wrong_calls, 0);
        EXPECT_EQ(page().stray_calls(), 0) << page().log(nullptr);
        EXPECT_EQ(page().live_objects(), 0);
    }

    virtual const clap_plugin_factory* factory() { return staged().factory; }

    HWND frame() {
        HWND window = editor_test::make_parent_window();
        frames_.push_back(window);
        return window;
    }

    // create, set_parent in a new frame and show, as a host opens an
    // editor; the browser's window, or null.
    HWND open(HWND parent) {
        if (!gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false)) return nullptr;
        const clap_window window = window_of(CLAP_WINDOW_API_WIN32, reinterpret_cast<uintptr_t>(parent));
        if (!gui_->set_parent(plugin_, &window)) return nullptr;
        EXPECT_TRUE(gui_->show(plugin_));
        return editor_test::browser_window_in(parent);
    }

    bool page_has(HWND browser, size_t count) {
        return pump_until([&] { return page().sent(browser).size() >= count; }, 10000);
    }

    // The host sets a parameter while no audio runs.
    void host_sets(clap_id id, double value) {
        EventQueue in;
        in.param_value(0, id, value);
        flush(*instance_, &in);
    }

    TestHost host_;
    GuiHost gui_host_{host_};
    std::unique_ptr<Instance> instance_;
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_gui* gui_ = nullptr;
    std::vector<HWND> frames_;
};

TEST_F(ClapEditorWin32, IsEmbeddedInWin32Only) {
    EXPECT_NE(plugin_->get_extension(plugin_, CLAP_EXT_TIMER_SUPPORT), nullptr);
    EXPECT_EQ(plugin_->get_extension(plugin_, CLAP_EXT_POSIX_FD_SUPPORT), nullptr) << "no descriptors on Windows";
    const char* api = nullptr;
    bool floating = true;
    ASSERT_TRUE(gui_->get_preferred_api(plugin_, &api, &floating));
    EXPECT_STREQ(api, CLAP_WINDOW_API_WIN32);
    EXPECT_FALSE(floating);
    EXPECT_TRUE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_WIN32, true)) << "no floating windows";
    for (const char* other : {CLAP_WINDOW_API_X11, CLAP_WINDOW_API_COCOA, CLAP_WINDOW_API_WAYLAND, ""})
        EXPECT_FALSE(gui_->is_api_supported(plugin_, other, false)) << other;
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, true));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_X11, false));
    // A host without timers still gets the editor: it ticks itself.
    gui_host_.offer_timers = false;
    EXPECT_TRUE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_WIN32, false));

    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false)) << "one editor at a time";
    const clap_window other = window_of(CLAP_WINDOW_API_X11, 1);
    EXPECT_FALSE(gui_->set_parent(plugin_, &other));
    EXPECT_FALSE(gui_->set_parent(plugin_, nullptr));
    EXPECT_FALSE(gui_->set_transient(plugin_, &other));
    gui_->suggest_title(plugin_, "Yawp Wah");
    EXPECT_FALSE(gui_->show(plugin_)) << "nothing to show before set_parent";
    gui_->destroy(plugin_);
    gui_->destroy(plugin_);
}

TEST_F(ClapEditorWin32, ThePageOpensInTheHostsWindowWithEveryValueAndClosesWithDestroy) {
    host_sets(cat::kMix, 25);
    std::vector<float> expected = default_values();
    expected[cat::kMix] = 25;

    HWND parent = frame();
    HWND browser = open(parent);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(GetAncestor(browser, GA_PARENT), parent);
    EXPECT_TRUE(editor_test::wait_until_visible(browser));
    EXPECT_TRUE(sized(browser, 700, 677));
    // The values went out before set_parent returned.
    EXPECT_EQ(page().sent(browser), first_messages(expected));
    const WV2DoubleState state = page().state(browser);
    const std::wstring uri = state.current_uri;
    EXPECT_NE(uri.find(L"/stage/clap/"), std::wstring::npos) << uri;
    EXPECT_NE(uri.find(L"/Resources/index.html"), std::wstring::npos) << uri;
    ASSERT_EQ(gui_host_.timers.size(), 1u) << "the host's timer";
    EXPECT_EQ(gui_host_.timers[0].period_ms, 20u);

    // Hidden and shown again: the browser's window with it.
    EXPECT_TRUE(gui_->hide(plugin_));
    EXPECT_FALSE(IsWindowVisible(browser));
    EXPECT_TRUE(gui_->show(plugin_));
    EXPECT_TRUE(IsWindowVisible(browser));

    gui_->destroy(plugin_);
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_TRUE(page().state(nullptr).closed);
    EXPECT_EQ(page().live_objects(), 0);
    EXPECT_TRUE(gui_host_.timers.empty());
}

TEST_F(ClapEditorWin32, PageGesturesBecomeHostEventsAtTheNextFlushAndHostValuesReachThePage) {
    HWND browser = open(frame());
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(page().post(browser, gesture('b', cat::kPosition, 40)));
    ASSERT_TRUE(page().post(browser, gesture('s', cat::kPosition, 55)));
    ASSERT_TRUE(page().post(browser, gesture('e', cat::kPosition, 150)));
    ASSERT_TRUE(page().post(browser, gesture('s', cat::kOutModPosition, 1)));  // a meter is not the page's
    ASSERT_TRUE(pump_until([&] { return host_.calls(HostFunction::kParamsRequestFlush) >= 3; }, 10000));
    pump_for(100);
    EXPECT_EQ(flush(*instance_), (std::vector<OutEvent>{{CLAP_EVENT_PARAM_GESTURE_BEGIN, cat::kPosition, 0},
                                                        {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 40},
                                                        {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 55},
                                                        {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 100},
                                                        {CLAP_EVENT_PARAM_GESTURE_END, cat::kPosition, 0}}));
    EXPECT_EQ(host_.misplaced_calls(), std::vector<std::string>{});
    // The page had 150: it is sent what the plug-in took.
    ASSERT_TRUE(page_has(browser, 37));
    EXPECT_EQ(page().sent(browser)[36], value_message(cat::kPosition, 100));

    host_sets(cat::kLfoSyncRate, 13);
    ASSERT_TRUE(page_has(browser, 38));
    EXPECT_EQ(page().sent(browser)[37], value_message(cat::kLfoSyncRate, 13));
    // The same value again: nothing.
    host_sets(cat::kLfoSyncRate, 13);
    pump_for(100);
    EXPECT_EQ(page().sent(browser).size(), 38u);
}

// Without the host's timers, a thread timer of the editor's own keeps the
// page up to date, and goes with the editor.
TEST_F(ClapEditorWin32, WithoutTheHostsTimersTheEditorTicksItself) {
    gui_host_.offer_timers = false;
    HWND browser = open(frame());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(gui_host_.timers.empty());
    host_sets(cat::kMix, 30);
    ASSERT_TRUE(page_has(browser, 37));
    EXPECT_EQ(page().sent(browser)[36], value_message(cat::kMix, 30));
    gui_->destroy(plugin_);
    // Nothing ticks into the closed editor.
    host_sets(cat::kMix, 40);
    pump_for(100);
}

TEST_F(ClapEditorWin32, SizesFollowTheHostsScaleAndTheMusiciansZoom) {
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1400u);
    EXPECT_EQ(height, 1354u);
    EXPECT_FALSE(gui_->set_scale(plugin_, -1.0));
    const HWND parent = frame();
    const clap_window window = window_of(CLAP_WINDOW_API_WIN32, reinterpret_cast<uintptr_t>(parent));
    ASSERT_TRUE(gui_->set_parent(plugin_, &window));
    HWND browser = editor_test::browser_window_in(parent);
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(sized(browser, 1400, 1354));
    EXPECT_TRUE(pump_until([&] { return page().state(browser).rasterization_scale == 2.0; }, 5000));

    // A new scale while open: the host agrees to the new size...
    EXPECT_TRUE(gui_->set_scale(plugin_, 1.5));
    ASSERT_EQ(gui_host_.resize_requests.size(), 1u);
    EXPECT_EQ(gui_host_.resize_requests[0], (std::pair<uint32_t, uint32_t>{1050, 1016}));
    EXPECT_TRUE(sized(browser, 1050, 1016));
    EXPECT_TRUE(pump_until([&] { return page().state(browser).rasterization_scale == 1.5; }, 5000));
    // ... or refuses, and the window stays as the host has it.
    gui_host_.accept_resize = false;
    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    EXPECT_EQ(gui_host_.resize_requests.size(), 2u);
    EXPECT_TRUE(sized(browser, 1050, 1016));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1050u);
    EXPECT_EQ(height, 1016u);

    // The musician drags: the host asks, then gives the size; the browser
    // inside follows.
    width = 1500;
    height = 1200;
    ASSERT_TRUE(gui_->adjust_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1500u);
    EXPECT_EQ(height, 1451u);
    ASSERT_TRUE(gui_->set_size(plugin_, width, height));
    EXPECT_TRUE(sized(browser, 1500, 1451));
    EXPECT_TRUE(pump_until([&] {
        const RECT bounds = page().state(browser).bounds;
        return bounds.right - bounds.left == 1500 && bounds.bottom - bounds.top == 1451;
    }, 5000));
    gui_->destroy(plugin_);

    // The next editor of the instance comes back at that zoom.
    ASSERT_TRUE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_TRUE(gui_->set_scale(plugin_, 2.0));
    ASSERT_TRUE(gui_->get_size(plugin_, &width, &height));
    EXPECT_EQ(width, 1500u);
    EXPECT_EQ(height, 1451u);
    gui_->destroy(plugin_);
}

TEST_F(ClapEditorWin32, PageNewsRequestsReachTheStore) {
    editor_test::TemporaryAppData appdata;
    HWND browser = open(frame());
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(page().post(browser, L"m crierV1 newSid sid-0042"));
    ASSERT_TRUE(page().post(browser, L"m crierV1 init yawp-wah"));
    ASSERT_TRUE(page_has(browser, 38));
    const std::vector<std::wstring> sent = page().sent(browser);
    EXPECT_EQ(sent[36], L"m crierV1 initSid sid-0042");
    EXPECT_EQ(sent[37], L"m crierV1 initDone ");
    EXPECT_EQ(editor_test::file_text(appdata.folder() + L"\\Tallow.AUDIO\\crier-system"), "sid-0042");
}

// The folders we ship carry no WebView2Loader.dll: the editor comes from the
// installed runtime, found through the registry, or not at all.
class ClapEditorWithoutLoader : public ClapEditorWin32 {
protected:
    void SetUp() override {
        runtime_page().reset();
        ClapEditorWin32::SetUp();
    }

    void TearDown() override {
        ClapEditorWin32::TearDown();
        EXPECT_EQ(runtime_page().stray_calls(), 0) << runtime_page().log(nullptr);
        EXPECT_EQ(runtime_page().live_objects(), 0);
    }

    const clap_plugin_factory* factory() override { return bare().factory; }

    static const editor_test::PageDouble& runtime_page() {
        static const editor_test::PageDouble loaded(
            narrow(webui_test::runtime_library_in(webui_test::runtime_double_folder())));
        return loaded;
    }

    static std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    // The installer check points YAWP_CLAP_TEST_MODULE at the installed
    // module, which carries no loader either.
    static EnteredFolder& bare() {
        static EnteredFolder folder([] {
            const char* chosen = std::getenv("YAWP_CLAP_TEST_MODULE");
            return chosen != nullptr && chosen[0] != '\0' ? std::string(chosen)
                                                          : editor_test::windows_path(YAWP_EDITOR_BARE_MODULE);
        }());
        return folder;
    }

    webui_test::RuntimeRegistry registry;  // nothing installed until a test says so
};

TEST_F(ClapEditorWithoutLoader, WithoutARuntimeThereIsNoEditorSoTheHostShowsItsOwn) {
    const int windows = editor_test::thread_window_count();
    EXPECT_FALSE(gui_->is_api_supported(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui_->create(plugin_, CLAP_WINDOW_API_WIN32, false));
    EXPECT_EQ(editor_test::thread_window_count(), windows);
}

TEST_F(ClapEditorWithoutLoader, TheInstalledRuntimeOpensThePageAndCarriesAPedalGesture) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, webui_test::Channel::stable, webui_test::runtime_double_folder()));
    HWND browser = open(frame());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(editor_test::wait_until_visible(browser));
    EXPECT_EQ(runtime_page().sent(browser), first_messages(default_values()));
    ASSERT_TRUE(runtime_page().post(browser, gesture('b', cat::kPosition, 10)));
    ASSERT_TRUE(runtime_page().post(browser, gesture('e', cat::kPosition, 80)));
    ASSERT_TRUE(pump_until([&] { return host_.calls(HostFunction::kParamsRequestFlush) >= 2; }, 10000));
    EXPECT_EQ(flush(*instance_), (std::vector<OutEvent>{{CLAP_EVENT_PARAM_GESTURE_BEGIN, cat::kPosition, 0},
                                                        {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 10},
                                                        {CLAP_EVENT_PARAM_VALUE, cat::kPosition, 80},
                                                        {CLAP_EVENT_PARAM_GESTURE_END, cat::kPosition, 0}}));
    EXPECT_EQ(page().state(nullptr).thread, 0u) << "the loader double was never asked";
    gui_->destroy(plugin_);
    EXPECT_FALSE(IsWindow(browser));
}

}  // namespace
}  // namespace yawp::clap_test
