// Starting and ending a web view host: windows, sizes, the browser's set-up,
// the throw-away profile, every way start-up can fail, and closing after the
// window was destroyed from outside.
#include <atomic>
#include <string>
#include <thread>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

constexpr int kWidth = 700;
constexpr int kHeight = 677;
constexpr unsigned kCount = 36;

class HostTest : public WebuiTest {
protected:
    WV2Host* create(bool embed, HWND parent, const WV2MessageHandler* handler = nullptr) {
        return wv2_host_create(embed, parent, &wrapper.callbacks, handler, kWidth, kHeight, kCount);
    }

    // Everything the host made is gone: its classes, windows and names.
    void expect_nothing_left(const WV2DoubleState& state, int windows_before) {
        std::wstring browser_class = state.class_name;
        if (!browser_class.empty()) {
            EXPECT_FALSE(class_exists(browser_class)) << browser_class;
            EXPECT_FALSE(class_exists(relay_class_of(browser_class)));
        }
        EXPECT_EQ(thread_window_count(), windows_before);
        if (state.profile_folder[0] != L'\0') {
            EXPECT_EQ(GetFileAttributesW(state.profile_folder), INVALID_FILE_ATTRIBUTES) << state.profile_folder;
        }
        EXPECT_EQ(reserved_names(), names_before_);
    }

    Wrapper wrapper;
};

SIZE window_size(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

SIZE client_size(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST_F(HostTest, EmbeddedBrowserSitsInItsParentWithThePageLoading) {
    HWND parent = make_parent_window();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), parent);
    // Shown right after wv2_host_create is let go, on the browser's thread.
    EXPECT_TRUE(pump_until([&] { return IsWindowVisible(window) != FALSE; }, 5000));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    EXPECT_EQ(client_size(window).cx, kWidth);
    EXPECT_EQ(client_size(window).cy, kHeight);
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

    WV2DoubleState state = browser.state(window);
    EXPECT_EQ(state.parent, window);
    EXPECT_TRUE(state.visible);
    EXPECT_TRUE(state.apartment_ok);
    EXPECT_EQ(state.bounds.right - state.bounds.left, kWidth);
    EXPECT_EQ(state.bounds.bottom - state.bounds.top, kHeight);
    EXPECT_STREQ(state.browser_arguments, L"--allow-file-access-from-files");
    EXPECT_STREQ(state.browser_version, L"131.0.2903.40");

    // The page path goes to the browser as a Windows path, and the browser's
    // own navigation to it (a file address) goes ahead.
    std::wstring page = program_folder() + L"\\resources\\index.html";
    ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= 1; }));
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"Navigate " + page + L"\n"), std::wstring::npos) << log;
    std::wstring uri = browser.state(window).current_uri;
    EXPECT_EQ(uri.rfind(L"file:///", 0), 0u) << uri;

    wv2_host_destroy(host);
    DestroyWindow(parent);
}

TEST_F(HostTest, BrowserSetUpHappensInOrderBeforeThePageLoads) {
    HWND parent = make_parent_window();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    std::wstring log = browser.log_text(window);
    const wchar_t* const kOrder[] = {
        L"CreateCoreWebView2EnvironmentWithOptions", L"environment completed 00000000",
        L"CreateCoreWebView2Controller",             L"controller completed 00000000",
        L"put_AreDefaultContextMenusEnabled 0",      L"put_AreDevToolsEnabled 0",
        L"put_IsStatusBarEnabled 0",                 L"put_IsZoomControlEnabled 0",
        L"put_AreDefaultScriptDialogsEnabled 0",     L"put_AreBrowserAcceleratorKeysEnabled 0",
        L"put_IsPasswordAutosaveEnabled 0",          L"put_IsGeneralAutofillEnabled 0",
        L"put_IsPinchZoomEnabled 0",                 L"put_IsSwipeNavigationEnabled 0",
        L"put_AllowExternalDrop 0",                  L"put_IsScriptEnabled 1",
        L"put_AreHostObjectsAllowed 1",              L"put_Bounds ",
        L"Navigate ",                                L"put_IsVisible 1",
    };
    size_t at = 0;
    for (const wchar_t* line : kOrder) {
        size_t found = log.find(line, at);
        EXPECT_NE(found, std::wstring::npos) << "missing or out of order: " << std::string(line, line + wcslen(line));
        if (found != std::wstring::npos) at = found;
    }
    // Made frameless when it is placed in its parent, the browser ends up
    // with the window's whole size.
    RECT bounds = browser.state(window).bounds;
    EXPECT_EQ(bounds.right - bounds.left, kWidth);
    EXPECT_EQ(bounds.bottom - bounds.top, kHeight);
    wv2_host_destroy(host);
    DestroyWindow(parent);
}

TEST_F(HostTest, FreeStandingBrowserIsAVisibleTopLevelWindowOfTheGivenSize) {
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    // Shown right after wv2_host_create is let go, on the browser's thread.
    EXPECT_TRUE(pump_until([&] { return IsWindowVisible(window) != FALSE; }, 5000));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, LONG_PTR(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(window_size(window).cx, kWidth);
    EXPECT_EQ(window_size(window).cy, kHeight);
    wv2_host_destroy(host);
}

TEST_F(HostTest, BrowserFollowsItsWindowsSize) {
    HWND parent = make_parent_window();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    SetWindowPos(window, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(pump_until([&] {
        RECT bounds = browser.state(window).bounds;
        return bounds.right - bounds.left == 500 && bounds.bottom - bounds.top == 400;
    }));
    wv2_host_destroy(host);
    DestroyWindow(parent);
}

TEST_F(HostTest, FocusMovesIntoTheBrowser) {
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    PostMessageW(window, WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(pump_until([&] { return browser.log_text(window).find(L"MoveFocus 0") != std::wstring::npos; }));
    wv2_host_destroy(host);
}

TEST_F(HostTest, ProfileFolderIsNamedAfterTheReservedFileAndGoesAway) {
    HWND parent = make_parent_window();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    WV2DoubleState state = browser.state(wv2_host_window(host));
    std::wstring folder = state.profile_folder;
    wchar_t temp[MAX_PATH + 2];
    GetTempPathW(MAX_PATH + 2, temp);
    std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);

    // In the temporary folder, "vin" and up to four hexadecimal digits.
    EXPECT_EQ(folder.substr(0, folder.size() - name.size()), std::wstring(temp));
    EXPECT_EQ(name.rfind(L"vin", 0), 0u);
    EXPECT_GE(name.size(), 4u);
    EXPECT_LE(name.size(), 7u);
    EXPECT_EQ(name.find_first_not_of(L"0123456789ABCDEFabcdef", 3), std::wstring::npos) << name;

    // While the editor is open the folder exists and the reserved file is gone.
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    std::set<std::wstring> expected = names_before_;
    expected.insert(name);
    EXPECT_EQ(reserved_names(), expected);

    wv2_host_destroy(host);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    DestroyWindow(parent);
}

TEST_F(HostTest, ClosingReleasesEverythingTheHostMade) {
    HWND parent = make_parent_window();
    int windows_before = thread_window_count();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    HWND relay = host->relay_window;
    EXPECT_TRUE(IsWindow(relay));
    EXPECT_EQ(GetAncestor(relay, GA_PARENT), parent);
    WV2DoubleState state = browser.state(window);
    std::wstring browser_class = state.class_name;
    EXPECT_TRUE(class_exists(browser_class));
    EXPECT_TRUE(class_exists(relay_class_of(browser_class)));

    wv2_host_destroy(host);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(relay));
    EXPECT_TRUE(browser.state(nullptr).closed);
    expect_nothing_left(state, windows_before);
    DestroyWindow(parent);
}

// --- Start-up failures --------------------------------------------------------------

struct FailingStep {
    const char* point;
    HRESULT result;
};

const FailingStep kFatalSteps[] = {
    {"CreateCoreWebView2EnvironmentWithOptions", E_FAIL},
    {"environment-completed", E_ABORT},
    {"environment-null", S_OK},
    {"CreateCoreWebView2Controller", E_FAIL},
    {"controller-completed", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
    {"controller-null", S_OK},
    {"get_CoreWebView2", E_FAIL},
    {"get_Settings", E_FAIL},
    {"put_IsScriptEnabled", S_FALSE},  // anything but S_OK fails
    {"put_IsScriptEnabled", E_ACCESSDENIED},
    {"put_AreHostObjectsAllowed", E_FAIL},
    {"put_Bounds", E_INVALIDARG},
    {"add_WebMessageReceived", E_FAIL},
    {"add_NavigationStarting", E_FAIL},
    {"add_NewWindowRequested", E_FAIL},
    {"Navigate", E_INVALIDARG},
    {"put_IsVisible", E_FAIL},
};

TEST_F(HostTest, EveryFailingStartUpStepFailsCleanly) {
    for (bool embed : {true, false}) {
        for (const FailingStep& step : kFatalSteps) {
            SCOPED_TRACE(std::string(step.point) + (embed ? " embedded" : " free-standing"));
            HWND parent = embed ? make_parent_window() : nullptr;
            browser.reset();
            browser.fail(step.point, step.result);
            int windows_before = thread_window_count();
            DWORD handles_before = handle_count();
            EXPECT_EQ(create(embed, parent), nullptr);
            WV2DoubleState state = browser.state(nullptr);
            EXPECT_NE(state.class_name[0], L'\0');
            expect_nothing_left(state, windows_before);
            EXPECT_EQ(browser.live_objects(), 0);
            EXPECT_LE(handle_count(), handles_before);
            if (parent) DestroyWindow(parent);
        }
    }
}

// The user closes the window while the browser is still starting.
TEST_F(HostTest, WindowClosedDuringStartUpFailsTheStart) {
    browser.fail("environment-never", S_OK);
    int windows_before = thread_window_count();
    std::atomic<bool> closed{false};
    std::thread user([&] {
        for (int i = 0; i < 2000 && !closed; ++i) {
            HWND window = FindWindowW(browser.state(nullptr).class_name, nullptr);
            if (window != nullptr && browser.state(nullptr).class_name[0] != L'\0')
                closed = PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
            Sleep(5);
        }
    });
    EXPECT_EQ(create(false, nullptr), nullptr);
    user.join();
    EXPECT_TRUE(closed);
    expect_nothing_left(browser.state(nullptr), windows_before);
}

// Settings that only switch extras off do not decide anything, and an older
// browser without the newer settings interfaces is fine.
TEST_F(HostTest, ExtrasThatFailOrAreMissingDoNotStopTheStart) {
    const char* const kPoints[] = {"put_AreDefaultContextMenusEnabled", "put_AreDevToolsEnabled",
                                   "put_IsStatusBarEnabled",           "put_IsZoomControlEnabled",
                                   "put_AreDefaultScriptDialogsEnabled", "put_AreBrowserAcceleratorKeysEnabled",
                                   "put_IsSwipeNavigationEnabled",     "put_AllowExternalDrop",
                                   "QueryInterface ICoreWebView2Settings3", "QueryInterface ICoreWebView2Settings4",
                                   "QueryInterface ICoreWebView2Settings5", "QueryInterface ICoreWebView2Settings6",
                                   "QueryInterface ICoreWebView2Controller4"};
    for (const char* point : kPoints) browser.fail(point, E_NOTIMPL);
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    std::wstring log = browser.log_text(wv2_host_window(host));
    EXPECT_EQ(log.find(L"put_IsPasswordAutosaveEnabled"), std::wstring::npos);
    EXPECT_EQ(log.find(L"put_AllowExternalDrop"), std::wstring::npos);
    wv2_host_destroy(host);
}

TEST_F(HostTest, MissingOrForeignLoaderFailsBeforeAnythingStarts) {
    int windows_before = thread_window_count();
    for (const char* folder : {"\\missing", "\\without-entry"}) {
        SCOPED_TRACE(folder);
        wrapper.loader_folder = program_folder_narrow() + folder;
        EXPECT_EQ(create(false, nullptr), nullptr);
    }
    EXPECT_EQ(thread_window_count(), windows_before);
    EXPECT_EQ(browser.state(nullptr).thread, 0u);  // no environment was asked for
}

TEST_F(HostTest, ResourcesFolderThatIsNotUtf8FailsCleanly) {
    int windows_before = thread_window_count();
    for (const char* folder : {"C:\\Programme\\M\xfcller", "C:\\\xc3", "\xed\xa0\x80"}) {
        wrapper.resources_folder = folder;
        EXPECT_EQ(create(false, nullptr), nullptr);
    }
    EXPECT_EQ(thread_window_count(), windows_before);
    EXPECT_EQ(browser.state(nullptr).thread, 0u);
}

TEST_F(HostTest, ResourcesFolderInUtf8ReachesTheBrowserAsUtf16) {
    wrapper.resources_folder = program_folder_narrow() + "\\r\xc3\xa9sum\xc3\xa9";
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    std::wstring log = browser.log_text(wv2_host_window(host));
    EXPECT_NE(log.find(L"\\r\u00e9sum\u00e9\\index.html\n"), std::wstring::npos);
    wv2_host_destroy(host);
}

TEST_F(HostTest, MissingCallbacksFail) {
    EXPECT_EQ(wv2_host_create(false, nullptr, nullptr, nullptr, kWidth, kHeight, kCount), nullptr);
    wrapper.callbacks.loader_folder = nullptr;
    EXPECT_EQ(create(false, nullptr), nullptr);
    wrapper.callbacks.loader_folder = [](void*) -> const char* { return nullptr; };
    EXPECT_EQ(create(false, nullptr), nullptr);
}

// --- The window destroyed from outside ------------------------------------------------

TEST_F(HostTest, ParentDestroyedFirstEndsTheBrowserAndDestroyStillFreesEverything) {
    HWND parent = make_parent_window();
    int windows_before = thread_window_count();
    DWORD handles_before = handle_count();
    WV2Host* host = create(true, parent);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    HWND relay = host->relay_window;
    WV2DoubleState state = browser.state(window);

    DestroyWindow(parent);  // takes the browser window and the relay window along
    EXPECT_FALSE(IsWindow(relay));
    ASSERT_TRUE(pump_until([&] { return !IsWindow(window) && browser.state(nullptr).closed; }));

    wv2_host_destroy(host);
    expect_nothing_left(state, windows_before - 1);
    EXPECT_LE(handle_count(), handles_before);
}

TEST_F(HostTest, FreeStandingWindowClosedByTheUserEndsTheBrowser) {
    int windows_before = thread_window_count();
    DWORD handles_before = handle_count();
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    WV2DoubleState state = browser.state(window);

    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(pump_until([&] { return !IsWindow(window) && browser.state(nullptr).closed; }));
    // Pushes to a gone browser return at once.
    wv2_host_set_parameter(host, 3, 1.0f);
    wv2_host_send_text(host, "late");

    wv2_host_destroy(host);
    expect_nothing_left(state, windows_before);
    EXPECT_LE(handle_count(), handles_before);
}

// --- Many hosts -----------------------------------------------------------------------------

TEST_F(HostTest, HundredHostsInARowLeaveNothingBehind) {
    HWND parent = make_parent_window();
    int windows_before = thread_window_count();
    // A first round, so that lazily made system objects exist before counting.
    wv2_host_destroy(create(true, parent));
    DWORD handles_before = handle_count();
    std::vector<std::wstring> classes;
    for (int i = 0; i < 100; ++i) {
        WV2Host* host = create(i % 2 == 0, i % 2 == 0 ? parent : nullptr);
        ASSERT_NE(host, nullptr) << i;
        wv2_host_set_parameter(host, uint32_t(i % 36), float(i));
        classes.push_back(browser.state(wv2_host_window(host)).class_name);
        wv2_host_destroy(host);
    }
    EXPECT_LE(handle_count(), handles_before + 2);  // a little slack for the system's own caches
    EXPECT_EQ(thread_window_count(), windows_before);
    for (const std::wstring& name : classes) {
        EXPECT_FALSE(class_exists(name)) << name;
        EXPECT_FALSE(class_exists(relay_class_of(name))) << name;
    }
    DestroyWindow(parent);
}

TEST_F(HostTest, TwoHostsAtOnceKeepApart) {
    HWND parent = make_parent_window();
    WV2Host* first = create(true, parent);
    WV2Host* second = create(false, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    WV2DoubleState one = browser.state(wv2_host_window(first));
    WV2DoubleState two = browser.state(wv2_host_window(second));
    EXPECT_STRNE(one.class_name, two.class_name);
    EXPECT_STRNE(one.profile_folder, two.profile_folder);
    EXPECT_NE(one.thread, two.thread);
    wv2_host_set_parameter(first, 1, 1.0f);
    wv2_host_set_parameter(second, 2, 2.0f);
    EXPECT_EQ(browser.sent_texts(wv2_host_window(first)), std::vector<std::wstring>{value_message(1, 1.0f)});
    EXPECT_EQ(browser.sent_texts(wv2_host_window(second)), std::vector<std::wstring>{value_message(2, 2.0f)});
    wv2_host_destroy(first);
    wv2_host_destroy(second);
    DestroyWindow(parent);
}

TEST_F(HostTest, IdleDoesNothing) {
    WV2Host* host = create(false, nullptr);
    ASSERT_NE(host, nullptr);
    size_t sent = browser.sent_texts(wv2_host_window(host)).size();
    wv2_host_idle(host);
    EXPECT_EQ(browser.sent_texts(wv2_host_window(host)).size(), sent);
    wv2_host_destroy(host);
}

}  // namespace
}  // namespace webui_test
