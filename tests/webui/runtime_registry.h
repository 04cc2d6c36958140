// The registry records of installed WebView2 runtimes, written for a test
// into the wine prefix and removed again, with the two environment
// variables that steer the lookup.
#pragma once

#include <windows.h>

#include <string>

namespace webui_test {

enum class Channel { stable, beta, dev, canary };

// Which registry view a record is written to: the runtime's installer
// writes to the 32-bit one.
enum class View { bits32, bits64 };

// While it lives, the runtime records and variables are the test's own:
// none on creation (whatever an earlier test left), none after.
class RuntimeRegistry {
public:
    RuntimeRegistry();
    ~RuntimeRegistry();
    RuntimeRegistry(const RuntimeRegistry&) = delete;
    RuntimeRegistry& operator=(const RuntimeRegistry&) = delete;

    // Writes the "EBWebView" value of channel's record.
    bool install(HKEY root, Channel channel, const std::wstring& version_folder, View view = View::bits32);
    // WEBVIEW2_BROWSER_EXECUTABLE_FOLDER and WEBVIEW2_RELEASE_CHANNEL_PREFERENCE;
    // an empty text removes the variable.
    static void set_fixed_folder(const std::wstring& folder);
    static void set_channel_preference(const std::wstring& preference);

    static void clear();
};

// The runtime double's version folder in the build tree (its library is
// EBWebView\x64\EmbeddedBrowserWebView.dll below it), and one whose library
// lacks the export.
std::wstring runtime_double_folder();
std::wstring runtime_without_entry_folder();
// "<folder>\EBWebView\x64\EmbeddedBrowserWebView.dll"
std::wstring runtime_library_in(const std::wstring& folder);

}  // namespace webui_test
