// The browser on high-DPI displays (the web view thread's DPI awareness, the
// rasterization scale) and the keys the page hands on to the host's window.
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

constexpr unsigned kCount = 36;

// --- The host's top-level window, recording the keyboard messages it gets ----------

struct KeyMessage {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    bool operator==(const KeyMessage&) const = default;
};

std::vector<KeyMessage> g_keys;

bool is_key_message(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR || message == WM_SYSKEYDOWN ||
           message == WM_SYSKEYUP || message == WM_SYSCHAR;
}

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (is_key_message(message)) {
        g_keys.push_back({message, wparam, lparam});
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// A top-level window as a DAW's main window, and the frame inside it that
// the editor is embedded in.
struct HostWindows {
    HostWindows() {
        static const bool registered = [] {
            WNDCLASSEXW window_class{};
            window_class.cbSize = sizeof(window_class);
            window_class.lpfnWndProc = recording_proc;
            window_class.hInstance = GetModuleHandleW(nullptr);
            window_class.lpszClassName = L"yawp-test-daw";
            return RegisterClassExW(&window_class) != 0;
        }();
        EXPECT_TRUE(registered);
        top = CreateWindowExW(0, L"yawp-test-daw", L"daw", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 900, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
        frame = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 800, 700, top, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        g_keys.clear();
    }
    ~HostWindows() { DestroyWindow(top); }

    HWND top = nullptr;
    HWND frame = nullptr;
};

LPARAM scan_code_of(LPARAM lparam) { return (lparam >> 16) & 0xFF; }

class KeysForTheHost : public WebuiTest {
protected:
    WV2Host* open(HWND parent) {
        return wv2_host_create(parent != nullptr, parent, &wrapper.callbacks, nullptr, 700, 677, kCount);
    }

    // Posts page texts, then a gesture as a marker, and waits until the
    // marker has arrived: every key before it has been handed on by then.
    void page_says(WV2Host* host, std::initializer_list<const wchar_t*> texts) {
        const size_t marks = wrapper.edit_count();
        for (const wchar_t* text : texts) ASSERT_TRUE(browser.post_page_message(wv2_host_window(host), text, TRUE));
        ASSERT_TRUE(browser.post_page_message(wv2_host_window(host), gesture('s', 0, 1).c_str(), TRUE));
        ASSERT_TRUE(pump_until([&] { return wrapper.edit_count() > marks; }, 10000));
        pump_for(20);
    }

    static std::vector<UINT> kinds() {
        std::vector<UINT> out;
        for (const KeyMessage& key : g_keys) out.push_back(key.message);
        return out;
    }

    Wrapper wrapper;
};

// The test's own message loop translates key-downs into characters, as a
// host's does: the character arrives through it, not from us.
TEST_F(KeysForTheHost, ASpaceBarReachesTheTopLevelWindowAsTheKeyboardWouldSendIt) {
    HostWindows daw;
    WV2Host* host = open(daw.frame);
    ASSERT_NE(host, nullptr);
    // Released a moment after it was pressed, as fingers do.
    page_says(host, {L"k d 20 20 0"});
    page_says(host, {L"k u 20 20 0"});
    EXPECT_EQ(kinds(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    if (g_keys.size() == 3) {
        EXPECT_EQ(g_keys[0].wparam, WPARAM(VK_SPACE));
        EXPECT_EQ(g_keys[0].lparam & 0xFFFF, 1);  // one press
        EXPECT_EQ(scan_code_of(g_keys[0].lparam), LPARAM(MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC)));
        EXPECT_EQ(g_keys[0].lparam & (LPARAM(3) << 30), 0);  // was up, goes down
        EXPECT_EQ(g_keys[1].wparam, WPARAM(' '));
        EXPECT_EQ(g_keys[2].wparam, WPARAM(VK_SPACE));
        EXPECT_EQ(g_keys[2].lparam & (LPARAM(3) << 30), LPARAM(3) << 30);  // was down, goes up
    }
    wv2_host_destroy(host);
}

TEST_F(KeysForTheHost, AltRepeatsAndFunctionKeysAreSentAsWindowsSendsThem) {
    HostWindows daw;
    WV2Host* host = open(daw.frame);
    ASSERT_NE(host, nullptr);
    // Alt+F: the system messages. F5: a key without a character. A held
    // "a": the repeat bit.
    page_says(host, {L"k d 46 66 4", L"k u 46 66 4", L"k d 74 0 0", L"k u 74 0 0", L"k d 41 61 10"});
    std::vector<KeyMessage> keys;
    for (const KeyMessage& key : g_keys)
        if (key.message != WM_CHAR && key.message != WM_SYSCHAR) keys.push_back(key);
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].message, UINT(WM_SYSKEYDOWN));
    EXPECT_EQ(keys[0].wparam, WPARAM('F'));
    EXPECT_NE(keys[0].lparam & (LPARAM(1) << 29), 0);  // Alt held
    EXPECT_EQ(keys[1].message, UINT(WM_SYSKEYUP));
    EXPECT_EQ(keys[2].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(keys[2].wparam, WPARAM(VK_F5));
    EXPECT_EQ(keys[3].message, UINT(WM_KEYUP));
    EXPECT_EQ(keys[4].message, UINT(WM_KEYDOWN));
    EXPECT_NE(keys[4].lparam & (LPARAM(1) << 30), 0);  // a repeat: was down already
    wv2_host_destroy(host);
}

TEST_F(KeysForTheHost, MalformedKeysAndFreeStandingEditorsSendNothing) {
    HostWindows daw;
    WV2Host* host = open(daw.frame);
    ASSERT_NE(host, nullptr);
    page_says(host, {L"k d 0 20 0", L"k x 20 20 0", L"k d 20 d800 0", L"k d 20 20 40", L"k d 20 20"});
    EXPECT_TRUE(g_keys.empty());
    wv2_host_destroy(host);

    WV2Host* alone = open(nullptr);
    ASSERT_NE(alone, nullptr);
    page_says(alone, {L"k d 20 20 0"});
    EXPECT_TRUE(g_keys.empty());
    wv2_host_destroy(alone);
}

// --- DPI awareness and the rasterization scale ------------------------------------------

using GetWindowAwareness = HANDLE(WINAPI*)(HWND);
using SetThreadAwareness = HANDLE(WINAPI*)(HANDLE);

template <class Function>
Function user32_function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// What a new thread starts with.
int process_awareness() {
    int awareness = -1;
    std::thread([&] {
        using GetThreadContext = HANDLE(WINAPI*)();
        using AwarenessOf = int(WINAPI*)(HANDLE);
        const auto context = user32_function<GetThreadContext>("GetThreadDpiAwarenessContext");
        const auto level = user32_function<AwarenessOf>("GetAwarenessFromDpiAwarenessContext");
        if (context != nullptr && level != nullptr) awareness = level(context());
    }).join();
    return awareness;
}

class DisplayScale : public WebuiTest {
protected:
    WV2Host* open(HWND parent) {
        return wv2_host_create(parent != nullptr, parent, &wrapper.callbacks, nullptr, 700, 677, kCount);
    }

    // Waits until the browser has drawn at scale.
    bool draws_at(WV2Host* host, double scale) {
        return pump_until([&] { return browser.state(wv2_host_window(host)).rasterization_scale == scale; }, 5000);
    }

    Wrapper wrapper;
};

// Wine gives a child window its parent's awareness by itself, so what is
// checked is the web view thread's own awareness when it asked for the
// environment, after its window was made: the one Windows gives its windows.
TEST_F(DisplayScale, TheWebViewThreadTakesTheParentsDpiAwareness) {
    const auto awareness_of = user32_function<GetWindowAwareness>("GetWindowDpiAwarenessContext");
    const auto set_awareness = user32_function<SetThreadAwareness>("SetThreadDpiAwarenessContext");
    if (awareness_of == nullptr || set_awareness == nullptr)
        GTEST_SKIP() << "this Windows has one DPI awareness per process";
    // DPI_AWARENESS_CONTEXT_UNAWARE (-1), SYSTEM_AWARE (-2) and
    // PER_MONITOR_AWARE (-3); and what each is.
    const std::pair<intptr_t, int> kContexts[] = {{-3, 2}, {-1, 0}, {-2, 1}};
    for (const auto& [context, awareness] : kContexts) {
        SCOPED_TRACE(context);
        HANDLE before = set_awareness(reinterpret_cast<HANDLE>(context));
        HWND parent = make_parent_window();
        set_awareness(before);  // the host's window keeps its awareness; this thread goes back to its own
        WV2Host* host = open(parent);
        ASSERT_NE(host, nullptr);
        EXPECT_EQ(browser.state(wv2_host_window(host)).thread_dpi_awareness, awareness);
        wv2_host_destroy(host);
        DestroyWindow(parent);
    }
    // A free-standing editor keeps the process's own, whatever the
    // creating thread had.
    HANDLE before = set_awareness(reinterpret_cast<HANDLE>(-1));
    WV2Host* alone = open(nullptr);
    set_awareness(before);
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(browser.state(wv2_host_window(alone)).thread_dpi_awareness, process_awareness());
    wv2_host_destroy(alone);
}

TEST_F(DisplayScale, TheBrowserDrawsAtTheLargerOfTheHostsScaleAndTheMonitors) {
    HWND parent = make_parent_window();
    WV2Host* host = open(parent);
    ASSERT_NE(host, nullptr);
    // At start the monitor's (this X server's is 1), and the runtime's own
    // following of the monitor is off, since we follow it.
    EXPECT_TRUE(draws_at(host, 1.0));
    EXPECT_FALSE(browser.state(wv2_host_window(host)).detects_monitor_scale);
    wv2_host_set_scale(host, 2.0);
    EXPECT_TRUE(draws_at(host, 2.0));
    wv2_host_set_scale(host, 1.5);
    EXPECT_TRUE(draws_at(host, 1.5));
    // Never below the monitor's, and nonsense is ignored.
    wv2_host_set_scale(host, 0.5);
    EXPECT_TRUE(draws_at(host, 1.0));
    wv2_host_set_scale(host, 2.0);
    for (double nonsense : {0.0, -2.0, double(NAN), double(INFINITY)}) wv2_host_set_scale(host, nonsense);
    EXPECT_TRUE(draws_at(host, 2.0));
    pump_for(50);
    EXPECT_EQ(browser.state(wv2_host_window(host)).rasterization_scale, 2.0);
    // A move to another monitor brings a new scale to the window.
    PostMessageW(wv2_host_window(host), WM_DPICHANGED_AFTERPARENT, 0, 0);
    pump_for(50);
    EXPECT_EQ(browser.state(wv2_host_window(host)).rasterization_scale, 2.0);
    wv2_host_destroy(host);
    DestroyWindow(parent);
}

TEST_F(DisplayScale, AnOlderRuntimeWithoutTheScaleInterfaceStillOpens) {
    browser.fail("QueryInterface ICoreWebView2Controller3", E_NOINTERFACE);
    browser.fail("QueryInterface ICoreWebView2Controller4", E_NOINTERFACE);
    HWND parent = make_parent_window();
    WV2Host* host = open(parent);
    ASSERT_NE(host, nullptr);
    wv2_host_set_scale(host, 2.0);
    pump_for(50);
    EXPECT_EQ(browser.state(wv2_host_window(host)).rasterization_scale, 0.0);
    wv2_host_destroy(host);
    DestroyWindow(parent);
}

}  // namespace
}  // namespace webui_test
