// The browser stays on local files; everything else is cancelled (or, for a
// new window, handled) and handed to the system's URL handler with an exact
// command line. The rundll32.exe beside this program records that line.

#include <sstream>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

class NavigationTest : public WebuiTest {
protected:
    void SetUp() override {
        WebuiTest::SetUp();
        wchar_t folder[MAX_PATH + 2];
        GetTempPathW(MAX_PATH + 2, folder);
        opener_log_ = std::wstring(folder) + L"webui-opener-" + std::to_wstring(GetCurrentProcessId()) + L".log";
        DeleteFileW(opener_log_.c_str());
        SetEnvironmentVariableW(L"YAWP_WEBUI_OPENER_LOG", opener_log_.c_str());
        host = wv2_host_create(false, nullptr, &wrapper.callbacks, nullptr, 700, 677, 36);
        ASSERT_NE(host, nullptr);
        window = wv2_host_window(host);
        ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= 1; }));
        handled_ = 1;
    }

    void TearDown() override {
        if (host) wv2_host_destroy(host);
        SetEnvironmentVariableW(L"YAWP_WEBUI_OPENER_LOG", nullptr);
        SetEnvironmentVariableW(L"YAWP_WEBUI_OPENER_WAIT_MS", nullptr);
        DeleteFileW(opener_log_.c_str());
        WebuiTest::TearDown();
    }

    void wait_for_event() {
        ++handled_;
        ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= handled_; }));
    }

    void navigate(const std::wstring& uri) {
        ASSERT_TRUE(browser.navigate(window, uri.c_str()));
        wait_for_event();
    }

    void request_window(const std::wstring& uri) {
        ASSERT_TRUE(browser.request_window(window, uri.c_str()));
        wait_for_event();
    }

    // The command lines the opener was started with.
    std::vector<std::wstring> opened() const {
        std::vector<std::wstring> lines;
        HANDLE file = CreateFileW(opener_log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return lines;
        std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
        DWORD read = 0;
        ReadFile(file, text.data(), DWORD(text.size() * sizeof(wchar_t)), &read, nullptr);
        CloseHandle(file);
        std::wstringstream stream(text);
        for (std::wstring line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }

    std::wstring last_log_line() const {
        std::wstring log = browser.log_text(window);
        log.pop_back();
        return log.substr(log.find_last_of(L'\n') + 1);
    }

    static std::wstring command_for(const std::wstring& uri) {
        return L"rundll32 url.dll,FileProtocolHandler \"" + uri + L"\"";
    }

    Wrapper wrapper;
    WV2Host* host = nullptr;
    HWND window = nullptr;
    int handled_ = 0;
    std::wstring opener_log_;
};

TEST_F(NavigationTest, TheOwnPageLoads) {
    std::wstring page = L"file:///" + program_folder() + L"/resources/index.html";
    for (wchar_t& c : page)
        if (c == L'\\') c = L'/';
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"NavigationStarting " + page + L" -> 00000000 cancel 0"), std::wstring::npos) << log;
    EXPECT_EQ(std::wstring(browser.state(window).current_uri), page);
    EXPECT_TRUE(opened().empty());
}

TEST_F(NavigationTest, WebAddressIsCancelledAndOpenedOutside) {
    std::wstring before = browser.state(window).current_uri;
    std::wstring uri = L"https://example.com/a b?c=1&d=\u00e9#top";
    navigate(uri);
    EXPECT_EQ(last_log_line(), L"NavigationStarting " + uri + L" -> 00000000 cancel 1");
    EXPECT_EQ(opened(), std::vector<std::wstring>{command_for(uri)});
    EXPECT_EQ(std::wstring(browser.state(window).current_uri), before);  // the page stays
}

TEST_F(NavigationTest, OnlyLowerCaseFileAddressesAreLocal) {
    const wchar_t* const kLocal[] = {L"file:", L"file:///C:/page.html", L"file://server/share/x.html"};
    const wchar_t* const kExternal[] = {L"FILE:///C:/page.html", L"File:///C:/page.html", L"about:blank",
                                        L"data:text/html,<p>hi</p>", L"file", L"fil", L"",
                                        L"mailto:someone@example.com", L" file:///C:/x"};
    for (const wchar_t* uri : kLocal) {
        navigate(uri);
        EXPECT_EQ(last_log_line(), L"NavigationStarting " + std::wstring(uri) + L" -> 00000000 cancel 0");
    }
    EXPECT_TRUE(opened().empty());
    std::vector<std::wstring> expected;
    for (const wchar_t* uri : kExternal) {
        navigate(uri);
        EXPECT_EQ(last_log_line(), L"NavigationStarting " + std::wstring(uri) + L" -> 00000000 cancel 1");
        expected.push_back(command_for(uri));
    }
    EXPECT_EQ(opened(), expected);
}

TEST_F(NavigationTest, NewWindowForAWebAddressIsHandledAndOpenedOutside) {
    std::wstring uri = L"https://example.com/news";
    request_window(uri);
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"NewWindowRequested " + uri + L" -> 00000000 handled 1"), std::wstring::npos) << log;
    EXPECT_EQ(log.find(L"a new browser window opens"), std::wstring::npos);
    EXPECT_EQ(opened(), std::vector<std::wstring>{command_for(uri)});
}

TEST_F(NavigationTest, NewWindowForALocalFileIsLeftToTheBrowser) {
    request_window(L"file:///C:/help.html");
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"NewWindowRequested file:///C:/help.html -> 00000000 handled 0"), std::wstring::npos) << log;
    EXPECT_NE(log.find(L"a new browser window opens"), std::wstring::npos);
    EXPECT_TRUE(opened().empty());
}

TEST_F(NavigationTest, AnAddressThatCannotBeReadIsLeftAlone) {
    browser.fail("get_Uri", E_FAIL);
    navigate(L"https://example.com/");
    EXPECT_EQ(last_log_line(), L"NavigationStarting https://example.com/ -> 80004005 cancel 0");
    request_window(L"https://example.com/");
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"NewWindowRequested https://example.com/ -> 80004005 handled 0"), std::wstring::npos) << log;
    EXPECT_TRUE(opened().empty());
}

// The opener waits for the started process: its record is complete by the
// time the browser sees the event handled.
TEST_F(NavigationTest, TheOpenerWaitsForTheProcessToEnd) {
    SetEnvironmentVariableW(L"YAWP_WEBUI_OPENER_WAIT_MS", L"300");
    DWORD start = GetTickCount();
    navigate(L"https://example.com/slow");
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_EQ(opened(), std::vector<std::wstring>{command_for(L"https://example.com/slow")});
}

}  // namespace
}  // namespace webui_test
