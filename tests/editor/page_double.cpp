#include "tests/editor/page_double.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include <shellapi.h>

namespace editor_test {

namespace {

template <class F>
F find(HMODULE module, const char* name) {
    auto function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    if (function == nullptr) {
        std::fprintf(stderr, "the test double lacks %s\n", name);
        std::abort();
    }
    return function;
}

HMODULE load(const std::string& path) {
    HMODULE module = LoadLibraryW(widen(path).c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load the test double from %s\n", path.c_str());
        std::abort();
    }
    return module;
}

BOOL CALLBACK note_foreign_child(HWND window, LPARAM found) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

PageDouble::PageDouble(const std::string& dll_path) {
    HMODULE module = load(dll_path);
    reset_ = find<WV2DoubleReset>(module, "wv2double_reset");
    live_objects_ = find<WV2DoubleLiveObjects>(module, "wv2double_live_objects");
    stray_calls_ = find<WV2DoubleStrayCalls>(module, "wv2double_stray_calls");
    post_ = find<WV2DoublePostPageMessage>(module, "wv2double_post_page_message");
    get_state_ = find<WV2DoubleGetState>(module, "wv2double_get_state");
    sent_ = find<WV2DoubleSent>(module, "wv2double_sent");
    log_ = find<WV2DoubleLog>(module, "wv2double_log");
}

bool PageDouble::post(HWND browser, const std::wstring& text) const { return post_(browser, text.c_str(), TRUE); }

WV2DoubleState PageDouble::state(HWND browser) const {
    WV2DoubleState state{};
    get_state_(browser, &state);
    return state;
}

std::vector<std::wstring> PageDouble::sent(HWND browser) const {
    std::vector<std::wstring> texts;
    for (int i = 0;; ++i) {
        const int length = sent_(browser, i, nullptr, 0);
        if (length < 0) break;
        std::wstring text(size_t(length) + 1, L'\0');
        sent_(browser, i, text.data(), length + 1);
        text.resize(size_t(length));
        texts.push_back(text);
    }
    return texts;
}

std::wstring PageDouble::log(HWND browser) const {
    const int length = log_(browser, nullptr, 0);
    if (length < 0) return L"";
    std::wstring text(size_t(length) + 1, L'\0');
    log_(browser, text.data(), length + 1);
    text.resize(size_t(length));
    return text;
}

HWND browser_window_in(HWND parent) {
    HWND found = nullptr;
    EnumChildWindows(parent, note_foreign_child, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Paths of the build tree are ASCII.
bool wait_until_visible(HWND window) {
    constexpr DWORD kStepMs = 10;
    constexpr int kSteps = 500;
    for (int i = 0; i < kSteps; ++i) {
        if (IsWindowVisible(window)) return true;
        pump_for(kStepMs);
    }
    return IsWindowVisible(window) != FALSE;
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string windows_path(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::wstring make_temp_folder(const wchar_t* prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    const std::wstring folder = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void remove_folder(const std::wstring& folder) {
    std::wstring from = folder;
    from.push_back(L'\0');  // the list ends with two zeros
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&operation);
}

std::string file_text(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return "<missing>";
    std::string text;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

TemporaryAppData::TemporaryAppData() : folder_(make_temp_folder(L"yawp-editor-appdata-")) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", value, MAX_PATH);
    had_value_ = length > 0 && length < MAX_PATH;
    if (had_value_) saved_ = value;
    SetEnvironmentVariableW(L"APPDATA", folder_.c_str());
}

TemporaryAppData::~TemporaryAppData() {
    SetEnvironmentVariableW(L"APPDATA", had_value_ ? saved_.c_str() : nullptr);
    remove_folder(folder_);
}

}  // namespace editor_test
