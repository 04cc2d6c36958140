// The editor view in a host's window: sizes, the values the page is shown,
// the page's gestures as host edits, host values on the page, removal and
// re-attachment, release, two editors at once, and the news store. The
// module comes from a staged bundle whose loader is the WebView2 test
// double, so the test can play the page.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <thread>

#include "tests/editor/page_double.h"
#include "frame_double.h"
#include "tests/webui/runtime_registry.h"
#include "vst3_host.h"

namespace Steinberg {
DEF_CLASS_IID(IPlugFrame)
}

namespace yawp::test {
namespace {

namespace cat = catalogue;
using editor_test::gesture;
using editor_test::pump_until;
using editor_test::value_message;

const ParamID kMix = cat::vst3_id(cat::kMix);
const ParamID kSyncRate = cat::vst3_id(cat::kLfoSyncRate);
const ParamID kModPosition = cat::vst3_id(cat::kOutModPosition);
constexpr ParamID kModPositionId = 2095569830;
constexpr float kFirstOutputs[cat::kOutputCount] = {50, 0, 0, 0};

const editor_test::PageDouble& page() {
    static const editor_test::PageDouble loaded(editor_test::windows_path(YAWP_EDITOR_LOADER));
    return loaded;
}

// What the page of a fresh editor receives: every value in index order.
std::vector<std::wstring> first_messages(const std::vector<float>& values) {
    std::vector<std::wstring> texts;
    for (uint32_t i = 0; i < values.size(); ++i) texts.push_back(value_message(i, values[i]));
    return texts;
}

std::vector<float> default_values() {
    std::vector<float> values;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) values.push_back(static_cast<float>(cat::entry(i)->def));
    values.insert(values.end(), std::begin(kFirstOutputs), std::end(kFirstOutputs));
    return values;
}

class Vst3Editor : public testing::Test {
protected:
    void SetUp() override {
        page().reset();
        ASSERT_NE(plugin.controller, nullptr) << module_path();
        plugin.controller->setComponentHandler(&handler);
    }

    void TearDown() override {
        for (HWND frame : frames) DestroyWindow(frame);
        EXPECT_EQ(page().stray_calls(), 0) << page().log(nullptr);
        EXPECT_EQ(page().live_objects(), 0);
    }

    IPlugView* create_view() {
        IPlugView* view = plugin.controller->createView(ViewType::kEditor);
        EXPECT_NE(view, nullptr);
        return view;
    }

    HWND frame() {
        HWND window = editor_test::make_parent_window();
        frames.push_back(window);
        return window;
    }

    // Attaches the view to a new frame; the browser's window, or null.
    HWND attach(IPlugView* view, HWND parent) {
        EXPECT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
        return editor_test::browser_window_in(parent);
    }

    bool page_has(HWND browser, size_t count) {
        return pump_until([&] { return page().sent(browser).size() >= count; }, 10000);
    }

    bool host_has(size_t count) {
        return pump_until([&] { return handler.calls.size() >= count; }, 10000);
    }

    Plugin plugin;
    RecordingHandler handler;
    std::vector<HWND> frames;
};

TEST_F(Vst3Editor, AnswersSizeAndTypeQuestionsBeforeItIsAttached) {
    EXPECT_EQ(plugin.controller->createView("generic"), nullptr);
    EXPECT_EQ(plugin.controller->createView(nullptr), nullptr);
    IPlugView* view = create_view();
    ASSERT_NE(view, nullptr);

    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    for (FIDString other : {kPlatformTypeHIView, kPlatformTypeNSView, kPlatformTypeUIView,
                            kPlatformTypeX11EmbedWindowID, "WaylandSurfaceID", ""})
        EXPECT_EQ(view->isPlatformTypeSupported(other), kResultFalse) << other;

    ViewRect size(1, 2, 3, 4);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.left, 0);
    EXPECT_EQ(size.top, 0);
    EXPECT_EQ(size.right, 700);
    EXPECT_EQ(size.bottom, 677);
    EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);
    ViewRect wish(0, 0, 900, 500);
    EXPECT_EQ(view->onSize(&wish), kResultFalse);
    EXPECT_EQ(view->canResize(), kResultTrue);
    EXPECT_EQ(view->checkSizeConstraint(&wish), kResultTrue);
    EXPECT_EQ(wish.right, 900);
    EXPECT_EQ(view->onWheel(1), kResultFalse);
    EXPECT_EQ(view->onKeyDown(u'a', 0, 0), kResultFalse);
    EXPECT_EQ(view->onKeyUp(u'a', 0, 0), kResultFalse);
    EXPECT_EQ(view->onFocus(true), kResultFalse);
    EXPECT_EQ(view->setFrame(nullptr), kResultOk);
    EXPECT_EQ(view->attached(frame(), kPlatformTypeNSView), kInvalidArgument);

    void* face = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugView::iid, &face), kResultOk);
    EXPECT_EQ(face, view);
    static_cast<IPlugView*>(face)->release();
    EXPECT_EQ(view->queryInterface(IEditController::iid, &face), kNoInterface);
    EXPECT_EQ(face, nullptr);
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, AttachedPageReceivesTheInputsThenTheOutputs) {
    ASSERT_EQ(plugin.controller->setParamNormalized(kMix, 0.25), kResultOk);
    ASSERT_EQ(plugin.controller->setParamNormalized(kModPosition, 0.42), kResultOk);
    std::vector<float> expected = default_values();
    expected[cat::kMix] = 25;
    expected[cat::kOutModPosition] = 42;

    IPlugView* view = create_view();
    HWND parent = frame();
    HWND browser = attach(view, parent);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(GetAncestor(browser, GA_PARENT), parent);
    // Shown right after the browser's start is reported, on its own thread.
    EXPECT_TRUE(editor_test::wait_until_visible(browser));
    // The values went out before attached returned.
    EXPECT_EQ(page().sent(browser), first_messages(expected));
    const WV2DoubleState state = page().state(browser);
    EXPECT_TRUE(state.visible);
    EXPECT_NE(std::wstring(state.current_uri).find(L"/Contents/Resources/index.html"), std::wstring::npos)
        << state.current_uri;

    // A second attach leaves the first editor alone.
    EXPECT_EQ(view->attached(frame(), kPlatformTypeHWND), kInvalidArgument);
    EXPECT_TRUE(IsWindow(browser));
    EXPECT_FALSE(page().state(browser).closed);
    EXPECT_EQ(page().sent(browser).size(), 36u);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, PageGesturesBecomeHostEditsOnTheUiThread) {
    IPlugView* view = create_view();
    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);

    ASSERT_TRUE(page().post(browser, gesture('b', cat::kMix, 150)));
    ASSERT_TRUE(page().post(browser, gesture('s', cat::kMix, 40)));
    ASSERT_TRUE(page().post(browser, gesture('e', cat::kMix, 40)));
    ASSERT_TRUE(page().post(browser, gesture('b', cat::kMidOn, 0.3f)));
    ASSERT_TRUE(page().post(browser, gesture('e', cat::kLfoSyncRate, 12.5f)));
    ASSERT_TRUE(host_has(9));
    const ParamID mid_on = cat::vst3_id(cat::kMidOn);
    using Call = RecordingHandler::Call;
    EXPECT_EQ(handler.calls, (std::vector<Call>{{'b', kMix, 0},
                                                {'p', kMix, 1.0},
                                                {'p', kMix, 0.4},
                                                {'p', kMix, 0.4},
                                                {'e', kMix, 0},
                                                {'b', mid_on, 0},
                                                {'p', mid_on, 0.0},
                                                {'p', kSyncRate, 12.0 / 23.0},
                                                {'e', kSyncRate, 0}}));
    for (std::thread::id thread : handler.threads) EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(kMix), 0.4);
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(kSyncRate), 12.0 / 23.0);
    // Edits are not echoed: the host sets the value back if it wants to.
    EXPECT_EQ(page().sent(browser).size(), 36u);

    // The meters are not the page's to change, and nothing reaches the host.
    ASSERT_TRUE(page().post(browser, gesture('s', 40, 1)));
    ASSERT_TRUE(page().post(browser, gesture('s', cat::kMix, 50)));
    ASSERT_TRUE(host_has(10));
    EXPECT_EQ(handler.calls.back(), (Call{'p', kMix, 0.5}));

    view->removed();
    view->release();
}

TEST_F(Vst3Editor, HostValuesReachThePageFromAnyThread) {
    IPlugView* view = create_view();
    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);

    ASSERT_EQ(plugin.controller->setParamNormalized(kSyncRate, 0.5), kResultOk);
    ASSERT_EQ(plugin.controller->setParamNormalized(kModPositionId, 0.42), kResultOk);
    std::thread([&] { plugin.controller->setParamNormalized(kMix, 0.25); }).join();
    ASSERT_TRUE(page_has(browser, 39));
    std::vector<std::wstring> sent = page().sent(browser);
    // The meter, so soon after the first values, is held back a moment.
    EXPECT_EQ(sent[36], value_message(cat::kLfoSyncRate, 13));
    EXPECT_EQ(sent[37], value_message(cat::kMix, 25));
    EXPECT_EQ(sent[38], value_message(32, 42));

    // A state from the processor: the 32 inputs, and no meters. Only what
    // it changes reaches the page: the pedal, and the two set above going
    // back to their defaults.
    MemoryStream stream(document(30));
    ASSERT_EQ(plugin.controller->setComponentState(&stream), kResultOk);
    ASSERT_TRUE(page_has(browser, 39 + 3));
    editor_test::pump_for(100);
    sent = page().sent(browser);
    EXPECT_EQ(std::vector<std::wstring>(sent.begin() + 39, sent.end()),
              (std::vector<std::wstring>{value_message(cat::kPosition, 30),
                                         value_message(cat::kMix, float(cat::entry(cat::kMix)->def)),
                                         value_message(cat::kLfoSyncRate, float(cat::entry(cat::kLfoSyncRate)->def))}));

    // The same values again, as hosts hand them over all the time: nothing.
    for (int i = 0; i < 1000; ++i) plugin.controller->setParamNormalized(kMix, cat::plain_to_normalized(cat::kMix, cat::entry(cat::kMix)->def));
    editor_test::pump_for(100);
    EXPECT_EQ(page().sent(browser).size(), 39u + 3u);

    view->removed();
    view->release();
}

TEST_F(Vst3Editor, FollowsTheHostsSize) {
    IPlugView* view = create_view();
    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 700);
    EXPECT_EQ(size.getHeight(), 677);

    ViewRect wish(10, 20, 910, 520);
    ASSERT_EQ(view->onSize(&wish), kResultOk);
    RECT rect{};
    GetWindowRect(browser, &rect);
    EXPECT_EQ(rect.right - rect.left, 900);
    EXPECT_EQ(rect.bottom - rect.top, 500);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.left, 0);
    EXPECT_EQ(size.top, 0);
    EXPECT_EQ(size.right, 900);
    EXPECT_EQ(size.bottom, 500);
    // The browser inside follows its window.
    const RECT bounds = page().state(browser).bounds;
    EXPECT_EQ(bounds.right - bounds.left, 900);
    EXPECT_EQ(bounds.bottom - bounds.top, 500);

    // Closed, it keeps the size at which the page fitted the host's window.
    view->removed();
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right, 517);
    EXPECT_EQ(size.bottom, 500);
    view->release();
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

IPlugViewContentScaleSupport* scale_of(IPlugView* view) {
    IPlugViewContentScaleSupport* scale = nullptr;
    EXPECT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)), kResultOk);
    return scale;
}

TEST_F(Vst3Editor, OpensAtTheHostsScaleAndFollowsItWhileAttached) {
    IPlugView* view = create_view();
    IPlugViewContentScaleSupport* scale = scale_of(view);
    ASSERT_NE(scale, nullptr);
    FrameDouble host_frame;
    ASSERT_EQ(view->setFrame(&host_frame), kResultOk);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 1400);
    EXPECT_EQ(size.getHeight(), 1354);
    EXPECT_TRUE(host_frame.asked.empty()) << "nothing to resize before it is attached";

    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(sized(browser, 1400, 1354));
    EXPECT_TRUE(pump_until([&] { return page().state(browser).rasterization_scale == 2.0; }, 5000));

    // The host answers with onSize inside its resizeView.
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    ASSERT_EQ(host_frame.asked.size(), 1u);
    EXPECT_EQ(host_frame.asked[0].getWidth(), 1050);
    EXPECT_EQ(host_frame.asked[0].getHeight(), 1016);
    EXPECT_EQ(host_frame.deepest, 1);
    EXPECT_TRUE(sized(browser, 1050, 1016));
    EXPECT_TRUE(pump_until([&] { return page().state(browser).rasterization_scale == 1.5; }, 5000));
    // ... later: the window is made consistent at once, and the late onSize
    // changes nothing.
    host_frame.answer = FrameDouble::Answer::kLater;
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_TRUE(sized(browser, 1400, 1354));
    ViewRect late = host_frame.asked.back();
    EXPECT_EQ(view->onSize(&late), kResultOk);
    EXPECT_TRUE(sized(browser, 1400, 1354));
    // ... never.
    host_frame.answer = FrameDouble::Answer::kNever;
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
    EXPECT_TRUE(sized(browser, 700, 677));
    // ... or refuses: the window stays as the host has it.
    host_frame.answer = FrameDouble::Answer::kRefuse;
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_TRUE(sized(browser, 700, 677));
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 700);
    EXPECT_EQ(host_frame.deepest, 1);

    EXPECT_EQ(view->removed(), kResultOk);
    scale->release();
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, ReopensAtTheSizeTheMusicianLeftItWhileThePluginLives) {
    IPlugView* view = create_view();
    HWND parent = frame();
    HWND browser = attach(view, parent);
    ASSERT_NE(browser, nullptr);
    // The musician drags a corner: the host checks the size, then gives it.
    ViewRect dragged(0, 0, 1060, 990);
    ASSERT_EQ(view->checkSizeConstraint(&dragged), kResultTrue);
    EXPECT_EQ(dragged.getWidth(), 1060);
    EXPECT_EQ(dragged.getHeight(), 1025);
    ASSERT_EQ(view->onSize(&dragged), kResultOk);
    EXPECT_TRUE(sized(browser, 1060, 1025));
    EXPECT_EQ(view->removed(), kResultOk);

    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 1060);
    EXPECT_EQ(size.getHeight(), 1025);
    browser = attach(view, parent);
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(sized(browser, 1060, 1025));
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);

    // A new view of the same plug-in opens there too, at the host's scale.
    IPlugView* again = create_view();
    ASSERT_EQ(again->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 1060);
    IPlugViewContentScaleSupport* scale = scale_of(again);
    ASSERT_NE(scale, nullptr);
    scale->setContentScaleFactor(2.0f);
    ASSERT_EQ(again->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 2120);
    EXPECT_EQ(size.getHeight(), 2050);
    scale->release();
    EXPECT_EQ(again->release(), 0u);

    // Another instance starts at the page's own size.
    Plugin other;
    ASSERT_NE(other.controller, nullptr);
    IPlugView* fresh = other.controller->createView(ViewType::kEditor);
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(fresh->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 700);
    EXPECT_EQ(size.getHeight(), 677);
    EXPECT_EQ(fresh->release(), 0u);
}

TEST_F(Vst3Editor, IsRemovedAndAttachedAgainWithAFreshBrowser) {
    IPlugView* view = create_view();
    HWND parent = frame();
    HWND first = attach(view, parent);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(editor_test::browser_window_in(parent), nullptr);
    EXPECT_TRUE(page().state(nullptr).closed);
    EXPECT_EQ(page().live_objects(), 0);
    ViewRect wish(0, 0, 800, 600);
    EXPECT_EQ(view->onSize(&wish), kResultFalse);

    ASSERT_EQ(plugin.controller->setParamNormalized(kMix, 0.75), kResultOk);
    HWND second = attach(view, parent);
    ASSERT_NE(second, nullptr);
    std::vector<float> expected = default_values();
    expected[cat::kMix] = 75;
    EXPECT_EQ(page().sent(second), first_messages(expected));
    ASSERT_TRUE(page().post(second, gesture('s', cat::kMix, 20)));
    ASSERT_TRUE(host_has(1));
    EXPECT_EQ(handler.calls[0], (RecordingHandler::Call{'p', kMix, 0.2}));

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, ReleasingAnAttachedViewClosesItsEditor) {
    IPlugView* view = create_view();
    HWND parent = frame();
    HWND browser = attach(view, parent);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(view->addRef(), 2u);
    EXPECT_EQ(view->release(), 1u);
    EXPECT_TRUE(IsWindow(browser));
    EXPECT_EQ(view->release(), 0u);
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_TRUE(page().state(nullptr).closed);
    EXPECT_EQ(page().live_objects(), 0);
    // The timer went with it: nothing ticks into a freed view.
    editor_test::pump_for(100);
    // The controller no longer pushes to it.
    EXPECT_EQ(plugin.controller->setParamNormalized(kMix, 0.1), kResultOk);
}

// Some hosts close their editor window first and remove the view after.
TEST_F(Vst3Editor, IsRemovedAfterTheHostDestroyedItsWindow) {
    IPlugView* view = create_view();
    HWND parent = editor_test::make_parent_window();
    HWND browser = attach(view, parent);
    ASSERT_NE(browser, nullptr);
    DestroyWindow(parent);
    ASSERT_TRUE(pump_until([&] { return !IsWindow(browser); }, 10000));
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(page().live_objects(), 0);
    HWND again = attach(view, frame());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, TwoEditorsRunSideBySide) {
    IPlugView* one = create_view();
    IPlugView* two = create_view();
    ASSERT_NE(one, two);
    HWND first = attach(one, frame());
    HWND second = attach(two, frame());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(page().state(first).thread, page().state(second).thread);

    ASSERT_EQ(plugin.controller->setParamNormalized(kMix, 0.5), kResultOk);
    ASSERT_TRUE(page_has(first, 37));
    ASSERT_TRUE(page_has(second, 37));
    EXPECT_EQ(page().sent(first)[36], value_message(cat::kMix, 50));
    EXPECT_EQ(page().sent(second)[36], value_message(cat::kMix, 50));

    ASSERT_TRUE(page().post(second, gesture('s', cat::kMix, 10)));
    ASSERT_TRUE(host_has(1));
    EXPECT_EQ(handler.calls[0], (RecordingHandler::Call{'p', kMix, 0.1}));

    // A closed editor's slot goes to the next view; the other keeps going.
    EXPECT_EQ(one->release(), 0u);
    IPlugView* three = create_view();
    HWND third = attach(three, frame());
    ASSERT_NE(third, nullptr);
    ASSERT_EQ(plugin.controller->setParamNormalized(kMix, 0.3), kResultOk);
    ASSERT_TRUE(page_has(second, 38));
    EXPECT_EQ(page().sent(second)[37], value_message(cat::kMix, 30));
    EXPECT_EQ(page().sent(third)[cat::kMix], value_message(cat::kMix, 10));
    EXPECT_EQ(page().sent(third)[36], value_message(cat::kMix, 30));
    EXPECT_EQ(two->release(), 0u);
    EXPECT_EQ(three->release(), 0u);
}

TEST_F(Vst3Editor, PageNewsRequestsReachTheStore) {
    editor_test::TemporaryAppData appdata;
    IPlugView* view = create_view();
    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(page().post(browser, L"m crierV1 newSid sid-0042"));
    ASSERT_TRUE(page().post(browser, L"m crierV1 init yawp-wah"));
    ASSERT_TRUE(page_has(browser, 38));
    const std::vector<std::wstring> sent = page().sent(browser);
    EXPECT_EQ(sent[36], L"m crierV1 initSid sid-0042");
    EXPECT_EQ(sent[37], L"m crierV1 initDone ");
    EXPECT_EQ(editor_test::file_text(appdata.folder() + L"\\Tallow.AUDIO\\crier-system"), "sid-0042");
    view->removed();
    view->release();
}

TEST_F(Vst3Editor, AViewOutlivingItsControllerStaysTheHosts) {
    IPlugView* held = create_view();
    IPlugView* other = create_view();
    HWND held_browser = attach(held, frame());
    HWND other_browser = attach(other, frame());
    ASSERT_NE(held_browser, nullptr);
    ASSERT_NE(other_browser, nullptr);
    held->addRef();

    plugin.controller->setComponentHandler(nullptr);
    plugin.controller->terminate();
    EXPECT_EQ(plugin.controller->release(), 0u);
    plugin.controller = nullptr;
    // The views' references are the host's: both are still alive.
    EXPECT_TRUE(IsWindow(other_browser));
    EXPECT_TRUE(IsWindow(held_browser));

    // Gestures of an orphaned editor go nowhere.
    ASSERT_TRUE(page().post(held_browser, gesture('s', cat::kMix, 10)));
    editor_test::pump_for(200);
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(held->removed(), kResultOk);
    EXPECT_EQ(held->release(), 1u);
    EXPECT_EQ(held->release(), 0u);
    // Released without removed(): the view closes its editor itself.
    EXPECT_EQ(other->release(), 0u);
    EXPECT_FALSE(IsWindow(other_browser));
}

// The bundles we ship carry no WebView2Loader.dll: the editor comes from the
// installed runtime, found through the registry.
class Vst3EditorWithoutLoader : public Vst3Editor {
protected:
    void SetUp() override {
        Vst3Editor::SetUp();
        runtime_page().reset();
        ASSERT_NE(bare.factory, nullptr);
        ASSERT_NE(other.controller, nullptr);
        other.controller->setComponentHandler(&handler);
    }

    void TearDown() override {
        Vst3Editor::TearDown();
        EXPECT_EQ(runtime_page().stray_calls(), 0) << runtime_page().log(nullptr);
        EXPECT_EQ(runtime_page().live_objects(), 0);
    }

    static const editor_test::PageDouble& runtime_page() {
        static const editor_test::PageDouble loaded(
            narrow(webui_test::runtime_library_in(webui_test::runtime_double_folder())));
        return loaded;
    }

    static std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    // The installer check points YAWP_VST3_TEST_MODULE at the installed
    // bundle's module, which carries no loader either.
    static std::string bare_module() {
        const char* chosen = std::getenv("YAWP_VST3_TEST_MODULE");
        return chosen != nullptr && chosen[0] != '\0' ? chosen : editor_test::windows_path(YAWP_EDITOR_BARE_MODULE);
    }

    webui_test::RuntimeRegistry registry;  // nothing installed until a test says so
    LoadedModule bare{bare_module()};
    Plugin other{bare.factory};
};

TEST_F(Vst3EditorWithoutLoader, WithoutARuntimeThereIsNoEditorSoTheHostShowsItsOwn) {
    const int windows = editor_test::thread_window_count();
    EXPECT_EQ(other.controller->createView(ViewType::kEditor), nullptr);
    EXPECT_EQ(editor_test::thread_window_count(), windows);
}

TEST_F(Vst3EditorWithoutLoader, TheInstalledRuntimeOpensThePageAndCarriesAPedalGesture) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, webui_test::Channel::stable, webui_test::runtime_double_folder()));
    ASSERT_EQ(other.controller->setParamNormalized(kMix, 0.25), kResultOk);
    std::vector<float> expected = default_values();
    expected[cat::kMix] = 25;

    IPlugView* view = other.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    HWND browser = attach(view, frame());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(editor_test::wait_until_visible(browser));
    EXPECT_EQ(runtime_page().sent(browser), first_messages(expected));
    EXPECT_NE(std::wstring(runtime_page().state(browser).current_uri).find(L"/Contents/Resources/index.html"),
              std::wstring::npos);

    ASSERT_TRUE(runtime_page().post(browser, gesture('b', cat::kPosition, 10)));
    ASSERT_TRUE(runtime_page().post(browser, gesture('s', cat::kPosition, 80)));
    ASSERT_TRUE(runtime_page().post(browser, gesture('e', cat::kPosition, 80)));
    ASSERT_TRUE(host_has(5));
    const ParamID pedal = cat::vst3_id(cat::kPosition);
    using Call = RecordingHandler::Call;
    EXPECT_EQ(handler.calls,
              (std::vector<Call>{{'b', pedal, 0}, {'p', pedal, 0.1}, {'p', pedal, 0.8}, {'p', pedal, 0.8}, {'e', pedal, 0}}));
    EXPECT_EQ(page().state(nullptr).thread, 0u) << "the loader double was never asked";

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_FALSE(IsWindow(browser));
}

TEST_F(Vst3EditorWithoutLoader, ARuntimeThatCannotStartLeavesTheViewUnattached) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, webui_test::Channel::stable,
                                 webui_test::runtime_without_entry_folder()));
    // Found on disk, so the view is offered; the browser then cannot start.
    IPlugView* view = other.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    HWND parent = frame();
    const int windows = editor_test::thread_window_count();
    EXPECT_EQ(view->attached(parent, kPlatformTypeHWND), kResultFalse);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr) << "no browser, no relay window";
    EXPECT_EQ(editor_test::thread_window_count(), windows);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right, 700);
    EXPECT_EQ(size.bottom, 677);
    EXPECT_EQ(view->onSize(&size), kResultFalse);
    EXPECT_EQ(view->release(), 0u);
}

}  // namespace
}  // namespace yawp::test
