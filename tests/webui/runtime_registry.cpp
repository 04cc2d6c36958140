#include "tests/webui/runtime_registry.h"

namespace webui_test {

namespace {

const wchar_t kClientState[] = L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\";
const wchar_t* const kChannelKeys[] = {
    L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
    L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",
    L"{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}",
    L"{65C35B14-6C1D-4122-AC46-7148CC9D6497}",
};
const wchar_t kDoubleVersion[] = L"131.0.2903.86";

REGSAM view_flag(View view) { return view == View::bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::wstring key_of(Channel channel) { return std::wstring(kClientState) + kChannelKeys[int(channel)]; }

// The doubles are built in the web view host's test folder of the build
// tree; wine shows it below drive Z:.
std::wstring doubles_folder() {
    const char unix_path[] = YAWP_WEBUI_TEST_FOLDER;
    std::wstring folder = L"Z:";
    for (const char* c = unix_path; *c != '\0'; ++c) folder += *c == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*c));
    return folder;
}

}  // namespace

RuntimeRegistry::RuntimeRegistry() { clear(); }
RuntimeRegistry::~RuntimeRegistry() { clear(); }

bool RuntimeRegistry::install(HKEY root, Channel channel, const std::wstring& version_folder, View view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, key_of(channel).c_str(), 0, nullptr, 0, KEY_WRITE | view_flag(view), nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD bytes = DWORD((version_folder.size() + 1) * sizeof(wchar_t));
    const LONG status =
        RegSetValueExW(key, L"EBWebView", 0, REG_SZ, reinterpret_cast<const BYTE*>(version_folder.c_str()), bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void RuntimeRegistry::set_fixed_folder(const std::wstring& folder) {
    SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", folder.empty() ? nullptr : folder.c_str());
}

void RuntimeRegistry::set_channel_preference(const std::wstring& preference) {
    SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE",
                            preference.empty() ? nullptr : preference.c_str());
}

void RuntimeRegistry::clear() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (View view : {View::bits32, View::bits64})
            for (int channel = 0; channel < 4; ++channel)
                RegDeleteKeyExW(root, key_of(Channel(channel)).c_str(), view_flag(view), 0);
    set_fixed_folder(L"");
    set_channel_preference(L"");
}

std::wstring runtime_double_folder() { return doubles_folder() + L"\\runtime\\" + kDoubleVersion; }

std::wstring runtime_without_entry_folder() {
    return doubles_folder() + L"\\runtime-without-entry\\" + kDoubleVersion;
}

std::wstring runtime_library_in(const std::wstring& folder) {
    return folder + L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
}

}  // namespace webui_test
