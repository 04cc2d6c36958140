#include "tests/webui/support.h"

#include <atomic>
#include <bit>
#include <cwchar>
#include <string>
#include <thread>

namespace webui_test {

namespace {

// A deadlock would stop the whole suite without a word: a test that runs
// this long ends the program, naming the test.
constexpr ULONGLONG kTestTimeLimitMs = 120000;

class Watchdog : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo& test) override {
        name_ = std::string(test.test_suite_name()) + "." + test.name();
        started_ = GetTickCount64();
        running_ = true;
        if (!watching_.exchange(true)) std::thread([this] { watch(); }).detach();
    }
    void OnTestEnd(const testing::TestInfo&) override { running_ = false; }

private:
    void watch() {
        for (;;) {
            Sleep(500);
            if (!running_ || GetTickCount64() - started_ < kTestTimeLimitMs) continue;
            fprintf(stderr, "%s: no end after %llu ms, deadlocked\n", name_.c_str(), kTestTimeLimitMs);
            fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }

    std::string name_;
    std::atomic<ULONGLONG> started_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> watching_{false};
};

const bool kWatchdogInstalled = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

template <class F>
F find(HMODULE module, const char* name) {
    auto function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    if (function == nullptr) {
        fprintf(stderr, "the test double lacks %s\n", name);
        abort();
    }
    return function;
}

HMODULE load_module(const std::wstring& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        fprintf(stderr, "cannot load the test double from %ls\n", path.c_str());
        abort();
    }
    return module;
}

Double load_double(const std::wstring& path) {
    HMODULE module = load_module(path);
    return Double{find<WV2DoubleReset>(module, "wv2double_reset"),
                  find<WV2DoubleFail>(module, "wv2double_fail"),
                  find<WV2DoubleLiveObjects>(module, "wv2double_live_objects"),
                  find<WV2DoubleStrayCalls>(module, "wv2double_stray_calls"),
                  find<WV2DoublePostPageMessage>(module, "wv2double_post_page_message"),
                  find<WV2DoubleNavigate>(module, "wv2double_navigate"),
                  find<WV2DoubleRequestWindow>(module, "wv2double_request_window"),
                  find<WV2DoubleGetState>(module, "wv2double_get_state"),
                  find<WV2DoubleSent>(module, "wv2double_sent"),
                  find<WV2DoubleLog>(module, "wv2double_log")};
}

const char* loader_folder_of(void* wrapper) { return static_cast<Wrapper*>(wrapper)->loader_folder.c_str(); }
const char* resources_folder_of(void* wrapper) { return static_cast<Wrapper*>(wrapper)->resources_folder.c_str(); }

}  // namespace

WV2DoubleState Double::state(HWND window) const {
    WV2DoubleState state{};
    get_state(window, &state);
    return state;
}

std::vector<std::wstring> Double::sent_texts(HWND window) const {
    std::vector<std::wstring> texts;
    for (int i = 0;; ++i) {
        int length = sent(window, i, nullptr, 0);
        if (length < 0) break;
        std::wstring text(size_t(length) + 1, L'\0');
        sent(window, i, text.data(), length + 1);
        text.resize(size_t(length));
        texts.push_back(text);
    }
    return texts;
}

std::wstring Double::log_text(HWND window) const {
    int length = log(window, nullptr, 0);
    if (length < 0) return L"";
    std::wstring text(size_t(length) + 1, L'\0');
    log(window, text.data(), length + 1);
    text.resize(size_t(length));
    return text;
}

const Double& the_double() {
    static const Double loaded = load_double(program_folder() + L"\\loader\\WebView2Loader.dll");
    return loaded;
}

const Double& the_runtime_double() {
    static const Double loaded = load_double(runtime_library_in(runtime_double_folder()));
    return loaded;
}

int runtime_calls(int* flag, int* runtime_type) {
    using Calls = int (*)(int*, int*);
    static const Calls calls = find<Calls>(load_module(runtime_library_in(runtime_double_folder())),
                                           "wv2double_runtime_calls");
    return calls(flag, runtime_type);
}

std::wstring program_folder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string program_folder_narrow() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

Wrapper::Wrapper()
    : loader_folder(program_folder_narrow() + "\\loader"), resources_folder(program_folder_narrow() + "\\resources") {
    callbacks.user_data = this;
    callbacks.format_name = "test";
    callbacks.loader_folder = loader_folder_of;
    callbacks.resources_folder = resources_folder_of;
    callbacks.begin_edit = [](void* self, uint32_t index, float value) {
        static_cast<Wrapper*>(self)->record('b', index, value);
    };
    callbacks.perform_edit = [](void* self, uint32_t index, float value) {
        static_cast<Wrapper*>(self)->record('s', index, value);
    };
    callbacks.end_edit = [](void* self, uint32_t index, float value) {
        static_cast<Wrapper*>(self)->record('e', index, value);
    };
}

void Wrapper::record(char kind, uint32_t index, float value) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        edits_.push_back({kind, GetCurrentThreadId(), index, value});
    }
    if (on_edit) on_edit(kind, index, value);
}

std::vector<Edit> Wrapper::edits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return edits_;
}

size_t Wrapper::edit_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return edits_.size();
}

std::function<void(WV2Host*, const char*)> g_text_hook;

void text_handler(WV2Host* host, const char* text) {
    if (g_text_hook) g_text_hook(host, text);
}

std::set<std::wstring> reserved_names() {
    wchar_t folder[MAX_PATH + 2];
    GetTempPathW(MAX_PATH + 2, folder);
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"vin*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool class_exists(const std::wstring& name) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info) != 0;
}

std::wstring relay_class_of(const std::wstring& browser_class) {
    return browser_class.empty() ? browser_class : L"d" + browser_class.substr(1);
}

// The system's own input-method window comes and goes with a thread's
// top-level windows; it is not ours to count.
// Wine's GetProcessHandleCount always answers 0, so the open handles are
// counted by asking about every possible handle value instead.
DWORD handle_count() {
    constexpr ULONG_PTR kHighestHandle = 0x8000;
    DWORD count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < kHighestHandle; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    return count;
}

void WebuiTest::SetUp() {
    browser.reset();
    g_text_hook = nullptr;
    names_before_ = reserved_names();
}

void WebuiTest::TearDown() {
    g_text_hook = nullptr;
    EXPECT_EQ(browser.stray_calls(), 0) << browser.log_text(nullptr);
    EXPECT_EQ(browser.live_objects(), 0);
    EXPECT_EQ(reserved_names(), names_before_);
}

}  // namespace webui_test
