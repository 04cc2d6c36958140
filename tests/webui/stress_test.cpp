// Everything at once: two worker threads and the UI thread push values
// while the page sends gestures and texts and the plug-in pushes back from
// inside its callbacks. Nothing may deadlock (a watchdog ends the program
// if it does), every push must have reached the page when its call returns,
// and each thread's pushes must arrive in the order they were made.
#include <algorithm>
#include <atomic>
#include <bit>
#include <thread>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

constexpr int kPushes = 2000;    // per pushing thread
constexpr int kGestures = 1500;  // from the page
constexpr uint32_t kUiIndex = 29;
constexpr uint32_t kWorkerIndex[2] = {30, 31};
constexpr uint32_t kGestureIndex = 5;
constexpr float kPushedBack = 100000.0f;
constexpr DWORD kPatienceMs = 100000;  // the suite's watchdog steps in after two minutes

// Follows the page's messages from one thread's point of view.
class PageReader {
public:
    PageReader(const Double& browser, HWND window) : browser_(browser), window_(window) {}

    // Whether the text is among the messages after the ones seen so far.
    bool saw(const std::wstring& text) {
        wchar_t message[64];
        for (;;) {
            int length = browser_.sent(window_, next_, message, 64);
            if (length < 0) return false;
            ++next_;
            if (text == message) return true;
        }
    }

private:
    const Double& browser_;
    HWND window_;
    int next_ = 0;
};

// Pushes 1..kPushes to one index, each checked on the page before the next.
int push_all(WV2Host* host, const Double& browser, HWND window, uint32_t index,
             const std::function<void()>& between = nullptr) {
    PageReader reader(browser, window);
    int missing = 0;
    for (int i = 1; i <= kPushes; ++i) {
        wv2_host_set_parameter(host, index, float(i));
        if (!reader.saw(value_message(index, float(i)))) ++missing;
        if (between) between();
    }
    return missing;
}

void serve_ui_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The values the page received for one index, in arrival order.
std::vector<float> values_for(const std::vector<std::wstring>& sent, uint32_t index) {
    std::vector<float> values;
    for (const std::wstring& text : sent) {
        unsigned got_index = 0;
        unsigned bits = 0;
        if (swscanf(text.c_str(), L"s %8x %8x", &got_index, &bits) == 2 && got_index == index)
            values.push_back(std::bit_cast<float>(bits));
    }
    return values;
}

std::vector<float> one_to(int n, float offset = 0.0f) {
    std::vector<float> values;
    for (int i = 1; i <= n; ++i) values.push_back(float(i) + offset);
    return values;
}

TEST_F(WebuiTest, StressPushesAndGesturesFromEveryThreadNeitherDeadlockNorGetLost) {
    Wrapper wrapper;
    WV2Host* host = nullptr;
    wrapper.on_edit = [&](char, uint32_t index, float value) { wv2_host_set_parameter(host, index, value + kPushedBack); };
    std::atomic<int> pongs{0};
    g_text_hook = [&](WV2Host* from, const char* text) {
        if (strcmp(text, "ping") == 0) {
            wv2_host_send_text(from, "pong");
            ++pongs;
        }
    };
    host = wv2_host_create(false, nullptr, &wrapper.callbacks, &kTextHandler, 700, 677, 36);
    ASSERT_NE(host, nullptr);
    HWND window = wv2_host_window(host);
    ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= 1; }));

    std::atomic<int> missing{0};
    std::atomic<int> running{3};
    std::thread workers[2];
    for (int w = 0; w < 2; ++w) {
        workers[w] = std::thread([&, w] {
            missing += push_all(host, browser, window, kWorkerIndex[w]);
            --running;
        });
    }
    int pings = 0;
    std::thread page([&] {
        for (int k = 1; k <= kGestures; ++k) {
            browser.post_page_message(window, gesture("bse"[k % 3], kGestureIndex, float(k)).c_str(), TRUE);
            if (k % 50 == 0) {
                browser.post_page_message(window, L"m ping", TRUE);
                ++pings;
            }
            if (k % 8 == 0) Sleep(0);
        }
        --running;
    });
    missing += push_all(host, browser, window, kUiIndex, serve_ui_messages);
    int expected_events = 1 + kGestures + kGestures / 50;
    EXPECT_TRUE(pump_until([&] { return running == 0 && browser.state(window).events_handled >= expected_events; },
                           kPatienceMs));
    for (std::thread& worker : workers) worker.join();
    page.join();

    EXPECT_EQ(missing, 0) << "pushes returned before the page had them";
    std::vector<std::wstring> sent = browser.sent_texts(window);
    EXPECT_EQ(values_for(sent, kUiIndex), one_to(kPushes));
    EXPECT_EQ(values_for(sent, kWorkerIndex[0]), one_to(kPushes));
    EXPECT_EQ(values_for(sent, kWorkerIndex[1]), one_to(kPushes));
    EXPECT_EQ(values_for(sent, kGestureIndex), one_to(kGestures, kPushedBack));
    EXPECT_EQ(pongs, pings);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), L"m pong"), pings);

    std::vector<Edit> edits = wrapper.edits();
    ASSERT_EQ(edits.size(), size_t(kGestures));
    for (int k = 1; k <= kGestures; ++k) {
        const Edit& edit = edits[size_t(k - 1)];
        EXPECT_EQ(edit.kind, "bse"[k % 3]);
        EXPECT_EQ(edit.index, kGestureIndex);
        EXPECT_EQ(edit.value, float(k));
        EXPECT_EQ(edit.thread, GetCurrentThreadId());
    }
    wv2_host_destroy(host);
}

}  // namespace
}  // namespace webui_test
