// The LV2 UI as a host meets it: the module of a staged bundle, loaded by
// path, its UI descriptor, the parent and touch features, page gestures as
// port writes and port events as page values. The bundle's WebView2 loader
// is the test double, so the test plays the page.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>
#include <string>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/ui/ui.h>

#include "engine/catalogue.h"
#include "lv2/ports.h"
#include "lv2/uris.h"
#include "tests/editor/page_double.h"
#include "tests/webui/runtime_registry.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;
using editor_test::gesture;
using editor_test::pump_until;
using editor_test::value_message;

// The bundle path as hosts hand it over: with a trailing separator.
const std::string kBundle = editor_test::windows_path(YAWP_EDITOR_LV2_BUNDLE) + "\\";
const std::string kBareBundle = editor_test::windows_path(YAWP_EDITOR_LV2_BARE_BUNDLE) + "\\";

const editor_test::PageDouble& page() {
    static const editor_test::PageDouble loaded(kBundle + "WebView2Loader.dll");
    return loaded;
}

const LV2UI_Descriptor* ui_descriptor(uint32_t index) {
    static HMODULE module = LoadLibraryW(editor_test::widen(kBundle + "tallow-yawp-wah.dll").c_str());
    if (module == nullptr) return nullptr;
    using Get = const LV2UI_Descriptor* (*)(uint32_t);
    auto get = reinterpret_cast<Get>(reinterpret_cast<void (*)()>(GetProcAddress(module, "lv2ui_descriptor")));
    return get != nullptr ? get(index) : nullptr;
}

// What the UI asked of the host, in order: writes, and touches.
struct HostCall {
    char kind;  // 'w'rite, 'T'ouch grabbed, 't'ouch released
    uint32_t port;
    float value;  // written value
    uint32_t size;
    uint32_t format;
    bool operator==(const HostCall&) const = default;
};

HostCall write_of(uint32_t port, float value) { return {'w', port, value, 4, 0}; }
HostCall grab(uint32_t port) { return {'T', port, 0, 0, 0}; }
HostCall let_go(uint32_t port) { return {'t', port, 0, 0, 0}; }

struct Host {
    std::vector<HostCall> calls;
    std::vector<DWORD> threads;

    void note(HostCall call) {
        calls.push_back(call);
        threads.push_back(GetCurrentThreadId());
    }
    static void write(LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        float value = 0;
        if (size == sizeof value) std::memcpy(&value, buffer, sizeof value);
        static_cast<Host*>(self)->note({'w', port, value, size, format});
    }
    static void touch(LV2UI_Feature_Handle self, uint32_t port, bool grabbed) {
        static_cast<Host*>(self)->note({grabbed ? 'T' : 't', port, 0, 0, 0});
    }
};

class Lv2Ui : public testing::Test {
protected:
    void SetUp() override {
        page().reset();
        descriptor = ui_descriptor(0);
        ASSERT_NE(descriptor, nullptr) << kBundle;
        touch_record = {&host, Host::touch};
        parent_feature = {LV2_UI__parent, nullptr};
        touch_feature = {LV2_UI__touch, &touch_record};
    }

    void TearDown() override {
        if (frame != nullptr) DestroyWindow(frame);
        EXPECT_EQ(page().stray_calls(), 0) << page().log(nullptr);
        EXPECT_EQ(page().live_objects(), 0);
    }

    // Instantiates with the features asked for; the widget goes to `widget`.
    LV2UI_Handle open(bool with_parent, bool with_touch, const std::string& bundle = kBundle) {
        std::vector<const LV2_Feature*> features;
        if (with_parent) {
            frame = editor_test::make_parent_window();
            parent_feature.data = frame;
            features.push_back(&parent_feature);
        }
        if (with_touch) features.push_back(&touch_feature);
        features.push_back(nullptr);
        widget = reinterpret_cast<LV2UI_Widget>(1);
        return descriptor->instantiate(descriptor, YAWP_LV2_URI, bundle.c_str(), Host::write, &host, &widget,
                                       features.data());
    }

    HWND browser() const { return static_cast<HWND>(widget); }

    void port_event(LV2UI_Handle ui, uint32_t port, float value) {
        descriptor->port_event(ui, port, sizeof value, 0, &value);
    }

    bool host_has(size_t count) {
        return pump_until([&] { return host.calls.size() >= count; }, 10000);
    }

    const LV2UI_Descriptor* descriptor = nullptr;
    Host host;
    LV2UI_Touch touch_record{};
    LV2_Feature parent_feature{};
    LV2_Feature touch_feature{};
    HWND frame = nullptr;
    LV2UI_Widget widget = nullptr;
};

TEST_F(Lv2Ui, TheDescriptorNamesTheUiAndOffersIdle) {
    EXPECT_STREQ(descriptor->URI, YAWP_LV2_URI "#ui");
    EXPECT_EQ(ui_descriptor(1), nullptr);
    EXPECT_NE(descriptor->extension_data(LV2_UI__resize), nullptr);
    auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    LV2UI_Handle ui = open(true, true);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(idle->idle(ui), 0);
    EXPECT_EQ(idle->idle(ui), 0);
    descriptor->cleanup(ui);
}

TEST_F(Lv2Ui, WithAParentTheBrowserIsItsChild) {
    LV2UI_Handle ui = open(true, false);
    ASSERT_NE(ui, nullptr);
    ASSERT_TRUE(IsWindow(browser()));
    EXPECT_EQ(GetAncestor(browser(), GA_PARENT), frame);
    // Shown right after the browser's start is reported, on its own thread.
    EXPECT_TRUE(editor_test::wait_until_visible(browser()));
    const WV2DoubleState state = page().state(browser());
    EXPECT_TRUE(state.visible);
    // Loader and page both come from the bundle folder.
    EXPECT_NE(std::wstring(state.current_uri).find(L"/yawp-wah.lv2/"), std::wstring::npos) << state.current_uri;
    EXPECT_NE(std::wstring(state.current_uri).find(L"index.html"), std::wstring::npos) << state.current_uri;
    descriptor->cleanup(ui);
    EXPECT_FALSE(IsWindow(browser()));
    EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr);
}

TEST_F(Lv2Ui, WithoutAParentTheBrowserHasAWindowOfItsOwn) {
    LV2UI_Handle ui = open(false, true);
    ASSERT_NE(ui, nullptr);
    ASSERT_TRUE(IsWindow(browser()));
    EXPECT_EQ(GetAncestor(browser(), GA_PARENT), GetDesktopWindow());
    // Shown right after the browser's start is reported, on its own thread.
    EXPECT_TRUE(editor_test::wait_until_visible(browser()));
    EXPECT_EQ(GetWindowLongPtrW(browser(), GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    RECT rect{};
    GetWindowRect(browser(), &rect);
    EXPECT_EQ(rect.right - rect.left, 700);
    EXPECT_EQ(rect.bottom - rect.top, 677);
    descriptor->cleanup(ui);
    EXPECT_FALSE(IsWindow(browser()));
}

TEST_F(Lv2Ui, GesturesWriteConvertedValuesBetweenTouches) {
    LV2UI_Handle ui = open(true, true);
    ASSERT_NE(ui, nullptr);
    const uint32_t sync_rate = lv2::port_of_parameter(cat::kLfoSyncRate);
    ASSERT_EQ(sync_rate, 28u);
    ASSERT_TRUE(page().post(browser(), gesture('b', cat::kLfoSyncRate, 7.6f)));
    ASSERT_TRUE(page().post(browser(), gesture('s', cat::kLfoSyncRate, 9.4f)));
    ASSERT_TRUE(page().post(browser(), gesture('e', cat::kLfoSyncRate, 30)));
    ASSERT_TRUE(page().post(browser(), gesture('b', cat::kBypass, 1)));
    ASSERT_TRUE(page().post(browser(), gesture('e', cat::kBypass, 0)));
    ASSERT_TRUE(page().post(browser(), gesture('s', cat::kMix, -3)));
    // The meters are read-only, so nothing is written for them.
    ASSERT_TRUE(page().post(browser(), gesture('b', 32, 50)));
    ASSERT_TRUE(page().post(browser(), gesture('s', cat::kPosition, 25)));
    ASSERT_TRUE(host_has(11));
    editor_test::pump_for(50);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{grab(28), write_of(28, 8), write_of(28, 9), write_of(28, 24),
                                                 let_go(28), grab(34), write_of(34, 0), write_of(34, 1), let_go(34),
                                                 write_of(4, 0), write_of(3, 25)}));
    for (DWORD thread : host.threads) EXPECT_EQ(thread, GetCurrentThreadId());
    // Gestures are not echoed to the page.
    EXPECT_TRUE(page().sent(browser()).empty());
    descriptor->cleanup(ui);
}

TEST_F(Lv2Ui, WithoutTouchGesturesOnlyWrite) {
    LV2UI_Handle ui = open(true, false);
    ASSERT_NE(ui, nullptr);
    ASSERT_TRUE(page().post(browser(), gesture('b', cat::kMix, 10)));
    ASSERT_TRUE(page().post(browser(), gesture('s', cat::kMix, 20)));
    ASSERT_TRUE(page().post(browser(), gesture('e', cat::kMix, 150)));
    ASSERT_TRUE(host_has(3));
    EXPECT_EQ(host.calls, (std::vector<HostCall>{write_of(4, 10), write_of(4, 20), write_of(4, 100)}));
    descriptor->cleanup(ui);
}

TEST_F(Lv2Ui, PortEventsReachThePageAsParameterValues) {
    LV2UI_Handle ui = open(true, true);
    ASSERT_NE(ui, nullptr);
    port_event(ui, lv2::kPortEnable, 0);
    port_event(ui, lv2::kPortEnable, 1);
    port_event(ui, 35, 73.5f);
    port_event(ui, 38, -0.25f);
    port_event(ui, 28, 7.6f);
    port_event(ui, 3, 150);
    port_event(ui, lv2::port_of_parameter(cat::kMidOn), 0.2f);  // a toggle
    // Audio, atom and unknown ports mean nothing to the page.
    for (uint32_t port : {0u, 1u, 2u, 39u, 1000u}) port_event(ui, port, 1);
    const std::vector<std::wstring> expected = {
        value_message(cat::kBypass, 1), value_message(cat::kBypass, 0), value_message(32, 73.5f),
        value_message(35, -0.25f),      value_message(25, 8),          value_message(0, 100),
        value_message(cat::kMidOn, 1)};
    EXPECT_EQ(page().sent(browser()), expected);
    EXPECT_TRUE(host.calls.empty());
    descriptor->cleanup(ui);
}

// Hosts hand a UI every port about 30 times a second, changed or not: the
// page hears only of changes, and of a meter at most about 30 times a
// second, ending on its last value.
TEST_F(Lv2Ui, RepeatedPortEventsReachThePageOnlyWhenTheyChange) {
    LV2UI_Handle ui = open(true, true);
    ASSERT_NE(ui, nullptr);
    const uint32_t mix = lv2::port_of_parameter(cat::kMix);
    for (int i = 0; i < 1000; ++i) port_event(ui, mix, 40);
    port_event(ui, mix, 41);
    const uint32_t envelope = lv2::port_of_parameter(cat::kOutEnvOutput);
    const DWORD start = GetTickCount();
    float last = 0;
    for (int i = 0; i < 1000; ++i) {
        last = -1.0f + float(i) * 0.002f;
        port_event(ui, envelope, last);
    }
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(pump_until([&] { return !page().sent(browser()).empty() && page().sent(browser()).back() ==
                                                                             value_message(cat::kOutEnvOutput, last); },
                           5000));
    std::vector<std::wstring> mixes;
    size_t envelopes = 0;
    for (const std::wstring& text : page().sent(browser())) {
        if (text.rfind(L"s 00000001 ", 0) == 0) mixes.push_back(text);
        if (text.rfind(L"s 00000023 ", 0) == 0) ++envelopes;
    }
    EXPECT_EQ(mixes, (std::vector<std::wstring>{value_message(cat::kMix, 40), value_message(cat::kMix, 41)}));
    EXPECT_LE(envelopes, size_t(elapsed / 33 + 3)) << elapsed << " ms";
    descriptor->cleanup(ui);
}

TEST_F(Lv2Ui, PageNewsRequestsReachTheStore) {
    editor_test::TemporaryAppData appdata;
    LV2UI_Handle ui = open(false, false);
    ASSERT_NE(ui, nullptr);
    ASSERT_TRUE(page().post(browser(), L"m crierV1 syncNewsForce 0000000a news"));
    ASSERT_TRUE(page().post(browser(), L"m crierV1 getNews "));
    ASSERT_TRUE(pump_until([&] { return !page().sent(browser()).empty(); }, 10000));
    EXPECT_EQ(page().sent(browser()), std::vector<std::wstring>{L"m crierV1 getNews 0000000a news"});
    EXPECT_EQ(editor_test::file_text(appdata.folder() + L"\\Tallow.AUDIO\\crier-news"), "0000000a news");
    descriptor->cleanup(ui);
}

TEST_F(Lv2Ui, ABundlePathWithoutTrailingSeparatorWorksAlike) {
    LV2UI_Handle ui = open(true, true, kBundle.substr(0, kBundle.size() - 1));
    ASSERT_NE(ui, nullptr);
    EXPECT_TRUE(IsWindow(browser()));
    descriptor->cleanup(ui);
}

// --- Scale and size ------------------------------------------------------------------

// What a host with its own scale (Ardour, Carla, jalv) passes: options with
// ui:scaleFactor, read through its URID map; ui:resize; instance-access.
struct SizingHost {
    std::vector<std::string> uris;
    float scale = 2.0f;
    std::vector<std::pair<int, int>> asked;  // ui:resize requests
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle self, const char* uri) -> LV2_URID {
                         auto& uris = static_cast<SizingHost*>(self)->uris;
                         for (size_t i = 0; i < uris.size(); ++i)
                             if (uris[i] == uri) return LV2_URID(i + 1);
                         uris.emplace_back(uri);
                         return LV2_URID(uris.size());
                     }};
    LV2_Options_Option options[2]{};
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle self, int width, int height) {
                            static_cast<SizingHost*>(self)->asked.push_back({width, height});
                            return 0;
                        }};
    LV2_Feature map_feature{LV2_URID__map, &map};
    LV2_Feature options_feature{LV2_OPTIONS__options, options};
    LV2_Feature resize_feature{LV2_UI__resize, &resize};
    LV2_Feature instance_feature{LV2_INSTANCE_ACCESS_URI, nullptr};

    explicit SizingHost(const void* instance) {
        options[0] = {LV2_OPTIONS_INSTANCE, 0, map.map(this, LV2_UI__scaleFactor), sizeof(float),
                      map.map(this, LV2_ATOM__Float), &scale};
        instance_feature.data = const_cast<void*>(instance);
    }
};

TEST_F(Lv2Ui, OpensAtTheHostsScaleAsksForThatSizeAndComesBackWhereItWasLeft) {
    int instance_a = 0;
    int instance_b = 0;
    SizingHost sizing(&instance_a);
    const LV2_Feature* features[] = {&parent_feature, &touch_feature, &sizing.map_feature, &sizing.options_feature,
                                     &sizing.resize_feature, &sizing.instance_feature, nullptr};
    frame = editor_test::make_parent_window(1600, 1500);
    parent_feature.data = frame;
    LV2UI_Handle ui = descriptor->instantiate(descriptor, YAWP_LV2_URI, kBundle.c_str(), Host::write, &host, &widget,
                                              features);
    ASSERT_NE(ui, nullptr);
    RECT rect{};
    GetClientRect(browser(), &rect);
    EXPECT_EQ(rect.right, 1400);
    EXPECT_EQ(rect.bottom, 1354);
    EXPECT_EQ(sizing.asked, (std::vector<std::pair<int, int>>{{1400, 1354}}));
    EXPECT_TRUE(pump_until([&] { return page().state(browser()).rasterization_scale == 2.0; }, 5000));

    // The host drags it smaller through the UI's own ui:resize.
    const auto* resize = static_cast<const LV2UI_Resize*>(descriptor->extension_data(LV2_UI__resize));
    ASSERT_NE(resize, nullptr);
    EXPECT_EQ(resize->ui_resize(ui, 1050, 1016), 0);
    GetClientRect(browser(), &rect);
    EXPECT_EQ(rect.right, 1050);
    EXPECT_EQ(rect.bottom, 1016);
    EXPECT_TRUE(pump_until([&] { return page().state(browser()).bounds.right == 1050; }, 5000));
    EXPECT_NE(resize->ui_resize(ui, 0, 100), 0);
    descriptor->cleanup(ui);

    // Opened again for the same instance: where it was left.
    ui = descriptor->instantiate(descriptor, YAWP_LV2_URI, kBundle.c_str(), Host::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    GetClientRect(browser(), &rect);
    EXPECT_EQ(rect.right, 1050);
    EXPECT_EQ(rect.bottom, 1016);
    EXPECT_EQ(sizing.asked.back(), (std::pair<int, int>{1050, 1016}));
    descriptor->cleanup(ui);

    // Another instance, at another scale; and a host with no scale at all.
    sizing.instance_feature.data = &instance_b;
    sizing.scale = 1.5f;
    ui = descriptor->instantiate(descriptor, YAWP_LV2_URI, kBundle.c_str(), Host::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    GetClientRect(browser(), &rect);
    EXPECT_EQ(rect.right, 1050);
    EXPECT_EQ(rect.bottom, 1016);
    descriptor->cleanup(ui);
    sizing.instance_feature.data = nullptr;
    for (float nonsense : {0.0f, -1.0f, std::nanf(""), 100.0f}) {
        sizing.scale = nonsense;
        ui = descriptor->instantiate(descriptor, YAWP_LV2_URI, kBundle.c_str(), Host::write, &host, &widget, features);
        ASSERT_NE(ui, nullptr);
        GetClientRect(browser(), &rect);
        EXPECT_EQ(rect.right, 700) << nonsense;
        EXPECT_EQ(rect.bottom, 677) << nonsense;
        descriptor->cleanup(ui);
    }
}

TEST_F(Lv2Ui, WithoutLoaderOrRuntimeInstantiationFailsCleanly) {
    webui_test::RuntimeRegistry registry;  // nothing installed
    const int windows = editor_test::thread_window_count();
    for (bool with_parent : {false, true}) {
        LV2UI_Handle ui = open(with_parent, true, kBareBundle);
        EXPECT_EQ(ui, nullptr);
        EXPECT_EQ(widget, nullptr);
        if (with_parent) {
            EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr);
        }
    }
    DestroyWindow(frame);
    frame = nullptr;
    EXPECT_EQ(editor_test::thread_window_count(), windows);
    EXPECT_TRUE(host.calls.empty());
}

// The bundles we ship carry no WebView2Loader.dll: the installed runtime,
// found through the registry, shows the page.
TEST_F(Lv2Ui, WithoutTheLoaderTheInstalledRuntimeShowsThePage) {
    webui_test::RuntimeRegistry registry;
    const std::wstring library = webui_test::runtime_library_in(webui_test::runtime_double_folder());
    static const editor_test::PageDouble runtime(std::string(library.begin(), library.end()));
    runtime.reset();
    ASSERT_TRUE(registry.install(HKEY_CURRENT_USER, webui_test::Channel::stable, webui_test::runtime_double_folder()));

    LV2UI_Handle ui = open(true, true, kBareBundle);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(GetAncestor(browser(), GA_PARENT), frame);
    EXPECT_TRUE(editor_test::wait_until_visible(browser()));
    const std::wstring uri = runtime.state(browser()).current_uri;
    EXPECT_NE(uri.find(L"/lv2-bare/yawp-wah.lv2/"), std::wstring::npos) << uri;
    EXPECT_NE(uri.find(L"index.html"), std::wstring::npos) << uri;
    port_event(ui, 3, 42);
    EXPECT_EQ(runtime.sent(browser()), std::vector<std::wstring>{value_message(cat::kPosition, 42)});
    ASSERT_TRUE(runtime.post(browser(), gesture('b', cat::kPosition, 60)));
    ASSERT_TRUE(runtime.post(browser(), gesture('e', cat::kPosition, 70)));
    ASSERT_TRUE(host_has(4));
    EXPECT_EQ(host.calls, (std::vector<HostCall>{grab(3), write_of(3, 60), write_of(3, 70), let_go(3)}));
    EXPECT_EQ(page().state(nullptr).thread, 0u) << "the loader double was never asked";
    descriptor->cleanup(ui);
    EXPECT_FALSE(IsWindow(browser()));
    EXPECT_EQ(runtime.live_objects(), 0);
    EXPECT_EQ(runtime.stray_calls(), 0);
}

TEST_F(Lv2Ui, ABundleUnderANonAsciiFolderStillFindsItsLoader) {
    // Hosts give the bundle path in UTF-8; user folders such as
    // C:\Users\José hold bundles on many machines.
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"yawp-jos\u00e9-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring from = editor_test::widen(kBundle);
    for (const wchar_t* file : {L"WebView2Loader.dll", L"index.html"})
        ASSERT_TRUE(CopyFileW((from + file).c_str(), (folder + L"\\" + file).c_str(), FALSE)) << file;

    const int size = WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size - 1));

    LV2UI_Handle ui = open(true, true, utf8 + "\\");
    EXPECT_NE(ui, nullptr);
    EXPECT_NE(widget, nullptr);
    if (ui != nullptr) descriptor->cleanup(ui);
    for (const wchar_t* file : {L"WebView2Loader.dll", L"index.html"}) DeleteFileW((folder + L"\\" + file).c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace yawp::test

