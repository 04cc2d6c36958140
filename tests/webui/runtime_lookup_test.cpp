// Finding an installed WebView2 runtime when the bundle carries no loader:
// the lookup itself against registry records, variables and folders made in
// the wine prefix, then the host starting browsers through the runtime
// double, and the loader taking precedence over it.
#include <cwchar>
#include <string>
#include <vector>

#include "tests/webui/support.h"
#include "webui/environment_source.h"
#include "webui/runtime_lookup.h"

namespace webui_test {
namespace {

constexpr unsigned kCount = 36;
const wchar_t kLibrary[] = L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
const wchar_t kLibrary32[] = L"\\EBWebView\\x86\\EmbeddedBrowserWebView.dll";

std::wstring temp_folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"yawp-runtimes-" + std::to_wstring(GetCurrentProcessId());
}

// Makes every folder of path and an empty file at its end.
void make_file(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// One registry record; "@" in the folder stands for the case's own
// temporary folder.
struct Record {
    HKEY root;
    Channel channel;
    std::wstring folder;
    View view = View::bits32;
};

struct Case {
    const char* name;
    std::vector<Record> records;
    std::vector<std::wstring> files;  // below "@"
    std::wstring fixed_folder;        // WEBVIEW2_BROWSER_EXECUTABLE_FOLDER
    std::wstring preference;          // WEBVIEW2_RELEASE_CHANNEL_PREFERENCE
    std::wstring expected;            // the library found, or empty for none
    WV2RuntimeType type = WV2_RUNTIME_INSTALLED;
};

const HKEY kMachine = HKEY_LOCAL_MACHINE;
const HKEY kUser = HKEY_CURRENT_USER;
const std::wstring kStable = L"@\\stable\\131.0.2903.86";
const std::wstring kOther = L"@\\other\\132.0.2957.11";
const std::wstring kLong(1100, L'x');

std::vector<Case> cases() {
    return {
        {"nothing installed", {}, {}, L"", L"", L""},
        {"stable per machine, 32-bit view", {{kMachine, Channel::stable, kStable}}, {kStable + kLibrary}, L"", L"",
         kStable + kLibrary},
        {"per user only", {{kUser, Channel::stable, kStable}}, {kStable + kLibrary}, L"", L"", kStable + kLibrary},
        {"per machine wins over per user",
         {{kUser, Channel::stable, kOther}, {kMachine, Channel::stable, kStable}},
         {kStable + kLibrary, kOther + kLibrary}, L"", L"", kStable + kLibrary},
        {"only in the 64-bit view", {{kMachine, Channel::stable, kStable, View::bits64}}, {kStable + kLibrary}, L"",
         L"", L""},
        {"x86-only installation skipped for the next",
         {{kMachine, Channel::stable, kStable}, {kUser, Channel::stable, kOther}},
         {kStable + kLibrary32, kOther + kLibrary}, L"", L"", kOther + kLibrary},
        {"version 85 skipped", {{kMachine, Channel::stable, L"@\\85.0.564.70"}}, {L"@\\85.0.564.70" + std::wstring(kLibrary)},
         L"", L"", L""},
        {"just below the oldest usable version", {{kMachine, Channel::stable, L"@\\86.0.615.99"}},
         {L"@\\86.0.615.99" + std::wstring(kLibrary)}, L"", L"", L""},
        {"the oldest usable version", {{kMachine, Channel::stable, L"@\\86.0.616.0"}},
         {L"@\\86.0.616.0" + std::wstring(kLibrary)}, L"", L"", L"@\\86.0.616.0" + std::wstring(kLibrary)},
        {"beta only", {{kMachine, Channel::beta, kOther}}, {kOther + kLibrary}, L"", L"", kOther + kLibrary},
        {"stable before canary", {{kUser, Channel::canary, kOther}, {kUser, Channel::stable, kStable}},
         {kStable + kLibrary, kOther + kLibrary}, L"", L"", kStable + kLibrary},
        {"canary first when preferred", {{kUser, Channel::canary, kOther}, {kUser, Channel::stable, kStable}},
         {kStable + kLibrary, kOther + kLibrary}, L"", L"1", kOther + kLibrary},
        {"a preference other than 1 keeps the order",
         {{kUser, Channel::canary, kOther}, {kUser, Channel::stable, kStable}},
         {kStable + kLibrary, kOther + kLibrary}, L"", L"0", kStable + kLibrary},
        {"fixed folder, absolute, before any installation", {{kMachine, Channel::stable, kStable}},
         {kStable + kLibrary, L"@\\fixed" + std::wstring(kLibrary)}, L"@\\fixed", L"",
         L"@\\fixed" + std::wstring(kLibrary), WV2_RUNTIME_FIXED},
        {"fixed folder without its library finds nothing", {{kMachine, Channel::stable, kStable}},
         {kStable + kLibrary}, L"@\\empty", L"", L""},
        {"empty value skipped", {{kMachine, Channel::stable, L""}, {kMachine, Channel::dev, kOther}},
         {kOther + kLibrary}, L"", L"", kOther + kLibrary},
        {"trailing backslash", {{kMachine, Channel::stable, kStable + L"\\"}}, {kStable + kLibrary}, L"", L"",
         kStable + kLibrary},
        {"over-long value skipped", {{kMachine, Channel::stable, L"C:\\" + kLong + L"\\131.0.2903.86"}}, {}, L"", L"",
         L""},
        {"relative value skipped", {{kMachine, Channel::stable, L"131.0.2903.86"}}, {}, L"", L"", L""},
        {"malformed version skipped", {{kMachine, Channel::stable, L"@\\131.0.beta.86"}},
         {L"@\\131.0.beta.86" + std::wstring(kLibrary)}, L"", L"", L""},
        {"non-ASCII folder", {{kMachine, Channel::stable, L"@\\Programm\u00e9 \u65e5\u672c\\131.0.2903.86"}},
         {L"@\\Programm\u00e9 \u65e5\u672c\\131.0.2903.86" + std::wstring(kLibrary)}, L"", L"",
         L"@\\Programm\u00e9 \u65e5\u672c\\131.0.2903.86" + std::wstring(kLibrary)},
    };
}

std::wstring placed(const std::wstring& text, const std::wstring& folder) {
    std::wstring out = text;
    for (size_t at = out.find(L'@'); at != std::wstring::npos; at = out.find(L'@', at + folder.size()))
        out.replace(at, 1, folder);
    return out;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? char(c) : '?';
    return out;
}

TEST(RuntimeLookup, FindsWhatTheLoaderWouldFind) {
    RuntimeRegistry registry;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        RuntimeRegistry::clear();
        const std::wstring folder = temp_folder();
        for (const std::wstring& file : c.files) make_file(placed(file, folder));
        for (const Record& record : c.records)
            ASSERT_TRUE(registry.install(record.root, record.channel, placed(record.folder, folder), record.view));
        RuntimeRegistry::set_fixed_folder(placed(c.fixed_folder, folder));
        RuntimeRegistry::set_channel_preference(c.preference);

        WV2Runtime found{};
        const bool any = wv2_find_runtime(wv2_this_system(), &found);
        const std::wstring expected = placed(c.expected, folder);
        EXPECT_EQ(any, !expected.empty());
        if (any && !expected.empty()) {
            EXPECT_EQ(std::wstring(found.library), expected) << narrow(found.library);
            EXPECT_EQ(found.type, c.type);
        }
        remove_tree(folder);
    }
}

TEST(RuntimeLookup, RelativeFixedFolderIsTheHostProgramsNotThePlugins) {
    RuntimeRegistry registry;
    const std::wstring folder = program_folder() + L"\\fixed-runtime";
    make_file(folder + kLibrary);
    for (const wchar_t* named : {L"fixed-runtime", L"fixed-runtime\\", L".\\fixed-runtime"}) {
        RuntimeRegistry::set_fixed_folder(named);
        WV2Runtime found{};
        ASSERT_TRUE(wv2_find_runtime(wv2_this_system(), &found)) << narrow(named);
        EXPECT_EQ(found.type, WV2_RUNTIME_FIXED);
        // The same file, whichever way the folder was named.
        const DWORD attributes = GetFileAttributesW(found.library);
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << narrow(found.library);
        EXPECT_EQ(std::wstring(found.library).rfind(program_folder(), 0), 0u) << narrow(found.library);
    }
    remove_tree(folder);
}

// A system that answers from the test: values the real registry cannot
// hold (a value that fills the buffer to its last character).
TEST(RuntimeLookup, ValuesAtTheBuffersEdgeAreRefusedWithoutOverrun) {
    struct Fake {
        std::wstring value;
    } fake;
    WV2RuntimeSystem system{
        &fake,
        [](void* self, HKEY root, const wchar_t*, wchar_t* text, size_t capacity) -> size_t {
            const std::wstring& value = static_cast<Fake*>(self)->value;
            if (root != HKEY_LOCAL_MACHINE || value.size() >= capacity) return 0;
            wmemcpy(text, value.c_str(), value.size() + 1);
            return value.size();
        },
        [](void*, const wchar_t*, wchar_t*, size_t) -> size_t { return 0; },
        [](void*, wchar_t*, size_t) -> size_t { return 0; },
        [](void*, const wchar_t*) { return true; },
    };
    const size_t room = kWV2RuntimePathChars - 1 - (sizeof(kLibrary) / sizeof(wchar_t) - 1);
    for (size_t length : {room - 1, room, room + 1, kWV2RuntimePathChars - 1}) {
        SCOPED_TRACE(length);
        const std::wstring version = L"\\131.0.2903.86";
        fake.value = L"C:\\" + std::wstring(length - 3 - version.size(), L'a') + version;
        WV2Runtime found{};
        const bool any = wv2_find_runtime(system, &found);
        EXPECT_EQ(any, length <= room);
        if (any) {
            EXPECT_EQ(wcslen(found.library), length + wcslen(kLibrary));
        }
    }
}

// --- Browsers through the runtime double ---------------------------------------------

class RuntimeFallback : public WebuiTest {
protected:
    void SetUp() override {
        WebuiTest::SetUp();
        runtime.reset();
        wrapper.loader_folder = program_folder_narrow() + "\\missing";
    }

    void TearDown() override {
        EXPECT_EQ(runtime.stray_calls(), 0) << narrow(runtime.log_text(nullptr));
        EXPECT_EQ(runtime.live_objects(), 0);
        WebuiTest::TearDown();
    }

    WV2Host* create() { return wv2_host_create(false, nullptr, &wrapper.callbacks, nullptr, 700, 677, kCount); }

    // How often the runtime's log has line.
    int lines_in_log(const std::wstring& line) const {
        const std::wstring log = L"\n" + runtime.log_text(nullptr);
        int count = 0;
        for (size_t at = log.find(L"\n" + line); at != std::wstring::npos; at = log.find(L"\n" + line, at + 1))
            ++count;
        return count;
    }

    RuntimeRegistry registry;
    const Double& runtime = the_runtime_double();
    Wrapper wrapper;
};

TEST_F(RuntimeFallback, WithoutLoaderOrRuntimeNothingStarts) {
    const int windows = thread_window_count();
    const int calls = runtime_calls();
    EXPECT_FALSE(wv2_host_can_start(wrapper.loader_folder.c_str()));
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(runtime_calls(), calls);
    EXPECT_EQ(thread_window_count(), windows);
}

TEST_F(RuntimeFallback, TheInstalledRuntimeStartsTheBrowserWhenTheHandlerAnswersLaterOrAtOnce) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, Channel::stable, runtime_double_folder()));
    EXPECT_TRUE(wv2_host_can_start(wrapper.loader_folder.c_str()));
    for (bool at_once : {false, true}) {
        SCOPED_TRACE(at_once ? "at once" : "later");
        runtime.reset();
        if (at_once) runtime.fail("environment-at-once", S_OK);
        const int calls = runtime_calls();
        WV2Host* host = create();
        ASSERT_NE(host, nullptr) << narrow(runtime.log_text(nullptr));
        int flag = -1;
        int type = -1;
        EXPECT_EQ(runtime_calls(&flag, &type), calls + 1);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(type, WV2_RUNTIME_INSTALLED);
        const WV2DoubleState state = runtime.state(wv2_host_window(host));
        EXPECT_TRUE(state.apartment_ok);
        EXPECT_NE(state.profile_folder[0], L'\0');
        EXPECT_EQ(std::wstring(state.browser_version), L"131.0.2903.40");
        // Each completion ran exactly once.
        EXPECT_EQ(lines_in_log(L"CreateWebViewEnvironmentWithOptionsInternal"), 1);
        EXPECT_EQ(lines_in_log(L"environment completed"), 1);
        EXPECT_EQ(lines_in_log(L"CreateCoreWebView2Controller"), 1);
        wv2_host_destroy(host);
    }
}

TEST_F(RuntimeFallback, AFixedFolderRuntimeIsCalledAsOne) {
    RuntimeRegistry::set_fixed_folder(runtime_double_folder());
    WV2Host* host = create();
    ASSERT_NE(host, nullptr);
    int type = -1;
    runtime_calls(nullptr, &type);
    EXPECT_EQ(type, WV2_RUNTIME_FIXED);
    wv2_host_destroy(host);
}

TEST_F(RuntimeFallback, AnExportThatFailsAtOnceIsReportedOnceAndItsHandlerNeverRuns) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, Channel::stable, runtime_double_folder()));
    runtime.fail("CreateCoreWebView2EnvironmentWithOptions", E_ACCESSDENIED);
    const int windows = thread_window_count();
    const int calls = runtime_calls();
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(runtime_calls(), calls + 1);
    pump_for(100);
    EXPECT_EQ(lines_in_log(L"environment completed"), 0);
    EXPECT_EQ(thread_window_count(), windows);
}

TEST_F(RuntimeFallback, ARuntimeLibraryWithoutTheExportFailsCleanly) {
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, Channel::stable, runtime_without_entry_folder()));
    const int windows = thread_window_count();
    // Found on disk, which is all the cheap check looks at; the start then
    // fails as a missing loader does, and leaves the library unloaded.
    EXPECT_TRUE(wv2_host_can_start(wrapper.loader_folder.c_str()));
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(GetModuleHandleW(runtime_library_in(runtime_without_entry_folder()).c_str()), nullptr);
    EXPECT_EQ(thread_window_count(), windows);
}

TEST_F(RuntimeFallback, TheLoaderInTheBundleComesFirstAndTheRuntimeIsNeverLoaded) {
    // A copy of the runtime double that this test program has not loaded,
    // so that its being loaded at all can be seen.
    const std::wstring folder = temp_folder() + L"\\131.0.2903.86";
    make_file(folder + kLibrary);
    ASSERT_TRUE(CopyFileW(runtime_library_in(runtime_double_folder()).c_str(), (folder + kLibrary).c_str(), FALSE));
    ASSERT_TRUE(registry.install(HKEY_LOCAL_MACHINE, Channel::stable, folder));

    wrapper.loader_folder = program_folder_narrow() + "\\loader";
    WV2Host* host = create();
    ASSERT_NE(host, nullptr);
    EXPECT_NE(browser.log_text(wv2_host_window(host)).find(L"CreateCoreWebView2EnvironmentWithOptions"),
              std::wstring::npos);
    EXPECT_EQ(GetModuleHandleW((folder + kLibrary).c_str()), nullptr);
    wv2_host_destroy(host);

    // Without the loader, the same copy starts the browser, and stays loaded
    // exactly as long as the host.
    wrapper.loader_folder = program_folder_narrow() + "\\missing";
    host = create();
    ASSERT_NE(host, nullptr);
    EXPECT_NE(GetModuleHandleW((folder + kLibrary).c_str()), nullptr);
    wv2_host_destroy(host);
    EXPECT_EQ(GetModuleHandleW((folder + kLibrary).c_str()), nullptr);
    remove_tree(temp_folder());
}

}  // namespace
}  // namespace webui_test
