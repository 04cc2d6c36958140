// Shared by the web view host's tests: the test double's controls, a
// recording wrapper, message pumping and checks for leftovers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/webui/loader_double.h"
#include "tests/webui/runtime_registry.h"
#include "webui/host_record.h"

#include "test_windows.h"
#include "page_text.h"

namespace webui_test {

// The double's controls. The tests keep the double loaded for the whole run,
// so that its records outlive each host.
struct Double {
    WV2DoubleReset reset;
    WV2DoubleFail fail;
    WV2DoubleLiveObjects live_objects;
    WV2DoubleStrayCalls stray_calls;
    WV2DoublePostPageMessage post_page_message;
    WV2DoubleNavigate navigate;
    WV2DoubleRequestWindow request_window;
    WV2DoubleGetState get_state;
    WV2DoubleSent sent;
    WV2DoubleLog log;

    WV2DoubleState state(HWND window) const;
    std::vector<std::wstring> sent_texts(HWND window) const;
    std::wstring log_text(HWND window) const;
};
// The double as WebView2Loader.dll in the loader folder, and as an installed
// runtime's library (see runtime_registry.h), each a module of its own.
const Double& the_double();
const Double& the_runtime_double();
// Calls of the runtime double's export so far, with the latest flag and
// runtime type.
int runtime_calls(int* flag = nullptr, int* runtime_type = nullptr);

std::wstring program_folder();
std::string program_folder_narrow();

struct Edit {
    char kind;  // 'b', 's' or 'e'
    DWORD thread;
    uint32_t index;
    float value;
};

// The plug-in's side of a host: its callbacks record, and what reached it.
class Wrapper {
public:
    Wrapper();
    Wrapper(const Wrapper&) = delete;
    Wrapper& operator=(const Wrapper&) = delete;

    WV2HostCallbacks callbacks{};
    std::string loader_folder;
    std::string resources_folder;
    // Runs inside each edit callback, after it was recorded.
    std::function<void(char kind, uint32_t index, float value)> on_edit;

    std::vector<Edit> edits() const;
    size_t edit_count() const;

private:
    void record(char kind, uint32_t index, float value);

    mutable std::mutex mutex_;
    std::vector<Edit> edits_;
};

// The "m" text handler the tests give their hosts; it calls this hook.
extern std::function<void(WV2Host* host, const char* text)> g_text_hook;
void text_handler(WV2Host* host, const char* text);
inline const WV2MessageHandler kTextHandler = text_handler;

using test_windows::make_parent_window;
using test_windows::pump_for;
using test_windows::pump_until;

// What the host leaves behind: names in the temporary folder that start
// with "vin", window classes, windows of this thread, handles.
std::set<std::wstring> reserved_names();
bool class_exists(const std::wstring& name);
std::wstring relay_class_of(const std::wstring& browser_class);
DWORD handle_count();


using page_text::bits_of;
using page_text::gesture;
using page_text::thread_window_count;
using page_text::value_message;

// Every test starts with a clean double and ends with nothing left alive.
class WebuiTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const Double& browser = the_double();
    std::set<std::wstring> names_before_;
};

}  // namespace webui_test
