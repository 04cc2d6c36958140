// Stands in for the system's rundll32.exe beside the test program: process
// creation looks in the program's own folder first, so the host's external
// opener starts this one. It only writes down how it was started, one
// UTF-16 line per start, into the file named by YAWP_WEBUI_OPENER_LOG, and
// can be told to take its time (YAWP_WEBUI_OPENER_WAIT_MS).
#include <windows.h>

#include <cwchar>

namespace {

DWORD number_from_environment(const wchar_t* name) {
    wchar_t text[32] = {};
    DWORD length = GetEnvironmentVariableW(name, text, 32);
    return length > 0 && length < 32 ? DWORD(wcstoul(text, nullptr, 10)) : 0;
}

}  // namespace

int main() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"YAWP_WEBUI_OPENER_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    Sleep(number_from_environment(L"YAWP_WEBUI_OPENER_WAIT_MS"));
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, DWORD(wcslen(line) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
