// Shared by the editor tests of both plug-in formats: the test double of
// WebView2Loader.dll that the staged test bundles carry, seen from the test
// program, and the Win32 chores around a hosted editor.
//
// The plug-in loads the double from its bundle by path; the test loads the
// same file, so both talk to one module and the test can play the page:
// post what the page would send, and read what the page was sent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/webui/loader_double.h"

#include "tests/webui/test_windows.h"
#include "tests/webui/page_text.h"

namespace editor_test {

class PageDouble {
public:
    // Loads the double and keeps it loaded for the rest of the run, so that
    // its records outlive every browser. Aborts when it cannot.
    explicit PageDouble(const std::string& dll_path);

    void reset() const { reset_(); }
    int live_objects() const { return live_objects_(); }
    int stray_calls() const { return stray_calls_(); }
    // The browser is named by its window (any window of the thread it lives
    // on); a null window means the latest browser.
    bool post(HWND browser, const std::wstring& text) const;
    WV2DoubleState state(HWND browser) const;
    std::vector<std::wstring> sent(HWND browser) const;
    std::wstring log(HWND browser) const;

private:
    WV2DoubleReset reset_;
    WV2DoubleLiveObjects live_objects_;
    WV2DoubleStrayCalls stray_calls_;
    WV2DoublePostPageMessage post_;
    WV2DoubleGetState get_state_;
    WV2DoubleSent sent_;
    WV2DoubleLog log_;
};

using test_windows::make_parent_window;
using test_windows::pump_for;
using test_windows::pump_until;

// Serves this thread's messages until the window is visible; false after
// five seconds.
bool wait_until_visible(HWND window);

// The browser's window inside a parent: the child that another thread owns.
HWND browser_window_in(HWND parent);
using page_text::bits_of;
using page_text::gesture;
using page_text::thread_window_count;
using page_text::value_message;
std::wstring widen(const std::string& text);

// A Unix path of the build tree as wine shows it to Windows programs.
std::string windows_path(const std::string& unix_path);

// A fresh folder in the temporary folder, and its removal with contents.
std::wstring make_temp_folder(const wchar_t* prefix);
void remove_folder(const std::wstring& folder);
// The whole content of a file, or "<missing>".
std::string file_text(const std::wstring& path);

// Points APPDATA, where the news store lives, at a folder of its own for
// as long as it exists.
class TemporaryAppData {
public:
    TemporaryAppData();
    ~TemporaryAppData();
    TemporaryAppData(const TemporaryAppData&) = delete;
    TemporaryAppData& operator=(const TemporaryAppData&) = delete;
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
    std::wstring saved_;
    bool had_value_ = false;
};

}  // namespace editor_test
