// The text bridge between page and plug-in: value messages, the all-values
// request, gestures reaching the wrapper on the UI thread, pushes from every
// kind of thread, "m" texts both ways, and page messages that must be
// refused without touching anything.
#include <algorithm>
#include <atomic>
#include <bit>
#include <thread>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

constexpr unsigned kCount = 36;

class BridgeTest : public WebuiTest {
protected:
    void SetUp() override {
        WebuiTest::SetUp();
        host = wv2_host_create(false, nullptr, &wrapper.callbacks, &kTextHandler, 700, 677, kCount);
        ASSERT_NE(host, nullptr);
        window = wv2_host_window(host);
        // The page's own navigation has been seen.
        ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= 1; }));
        handled_ = 1;
    }

    void TearDown() override {
        if (host) wv2_host_destroy(host);
        WebuiTest::TearDown();
    }

    // Posts page messages and serves the UI thread until the browser has
    // handled all of them.
    void page_says(std::initializer_list<std::wstring> texts, BOOL as_string = TRUE) {
        for (const std::wstring& text : texts) ASSERT_TRUE(browser.post_page_message(window, text.c_str(), as_string));
        handled_ += int(texts.size());
        ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= handled_; }));
    }

    std::vector<std::wstring> sent() const { return browser.sent_texts(window); }
    int sent_count() const { return browser.state(window).sent; }

    // The cache as the page reads it back with "g".
    std::vector<std::wstring> read_back() {
        size_t before = sent().size();
        page_says({L"g"});
        std::vector<std::wstring> all = sent();
        return std::vector<std::wstring>(all.begin() + long(before), all.end());
    }

    std::vector<std::wstring> value_messages(const std::vector<float>& values) const {
        std::vector<std::wstring> texts;
        for (size_t i = 0; i < values.size(); ++i) texts.push_back(value_message(uint32_t(i), values[i]));
        return texts;
    }

    Wrapper wrapper;
    WV2Host* host = nullptr;
    HWND window = nullptr;
    int handled_ = 0;
};

std::vector<float> some_values() {
    std::vector<float> values;
    for (unsigned i = 0; i < kCount; ++i) values.push_back(float(i) * 1.5f - 7.0f);
    return values;
}

TEST_F(BridgeTest, ValuesFromTheUiThreadReachThePageAsValueMessages) {
    std::vector<float> values = some_values();
    for (unsigned i = 0; i < kCount; ++i) wv2_host_set_parameter(host, i, values[i]);
    EXPECT_EQ(sent(), value_messages(values));
    // Exactly eight lower-case hexadecimal digits per field. (A meter this
    // soon after its last value is held back a moment.)
    wv2_host_set_parameter(host, 35, -0.0f);
    EXPECT_TRUE(pump_until([&] { return sent().back() == L"s 00000023 80000000"; }, 5000));
}

TEST_F(BridgeTest, ValuesBeyondTheCountAreIgnored) {
    wv2_host_set_parameter(host, kCount, 1.0f);
    wv2_host_set_parameter(host, 0xFFFFFFFFu, 1.0f);
    EXPECT_TRUE(sent().empty());
}

TEST_F(BridgeTest, AllValuesRequestGetsThirtySixRepliesInIndexOrder) {
    std::vector<float> values = some_values();
    for (unsigned i = 0; i < kCount; ++i) wv2_host_set_parameter(host, i, values[i]);
    EXPECT_EQ(read_back(), value_messages(values));
    size_t before = sent().size();
    page_says({L"g and whatever follows"});
    EXPECT_EQ(sent().size(), before + kCount);
}

TEST_F(BridgeTest, CacheStartsCleared) {
    EXPECT_EQ(read_back(), value_messages(std::vector<float>(kCount, 0.0f)));
}

TEST_F(BridgeTest, GestureReachesTheWrapperOnTheUiThreadAndTheCache) {
    page_says({L"s 13 40400000"});
    std::vector<Edit> edits = wrapper.edits();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].kind, 's');
    EXPECT_EQ(edits[0].thread, GetCurrentThreadId());
    EXPECT_EQ(edits[0].index, 19u);
    EXPECT_EQ(edits[0].value, 3.0f);
    EXPECT_EQ(host->page.values[19], 3.0f);
    EXPECT_EQ(read_back()[19], L"s 00000013 40400000");
}

TEST_F(BridgeTest, GesturesArriveOneByOneInTheOrderThePageSentThem) {
    std::vector<Edit> expected;
    std::vector<std::wstring> texts;
    for (uint32_t i = 0; i < 30; ++i) {
        char kind = "bse"[i % 3];
        float value = float(i) + 0.25f;
        texts.push_back(gesture(kind, i % kCount, value));
        expected.push_back({kind, GetCurrentThreadId(), i % kCount, value});
    }
    for (const std::wstring& text : texts) ASSERT_TRUE(browser.post_page_message(window, text.c_str(), TRUE));
    handled_ += int(texts.size());
    ASSERT_TRUE(pump_until([&] { return browser.state(window).events_handled >= handled_; }));
    std::vector<Edit> edits = wrapper.edits();
    ASSERT_EQ(edits.size(), expected.size());
    for (size_t i = 0; i < edits.size(); ++i) {
        EXPECT_EQ(edits[i].kind, expected[i].kind) << i;
        EXPECT_EQ(edits[i].thread, expected[i].thread) << i;
        EXPECT_EQ(edits[i].index, expected[i].index) << i;
        EXPECT_EQ(edits[i].value, expected[i].value) << i;
    }
}

TEST_F(BridgeTest, EditCallbacksGetTheWrappersUserData) {
    static void* seen = nullptr;
    wrapper.callbacks.perform_edit = [](void* user_data, uint32_t, float) { seen = user_data; };
    wv2_host_destroy(host);
    host = wv2_host_create(false, nullptr, &wrapper.callbacks, nullptr, 700, 677, kCount);
    ASSERT_NE(host, nullptr);
    window = wv2_host_window(host);
    handled_ = 1;
    page_says({L"s 1 3f800000"});
    EXPECT_EQ(seen, &wrapper);
}

// The plug-in answers a change with its own (clamped) value of the same
// parameter from inside the callback; that value reaches the page before
// the next gesture reaches the plug-in. A value the page already has is
// not sent again.
TEST_F(BridgeTest, CallbackPushingTheValueBackReachesThePageWithoutDeadlock) {
    std::vector<int> sent_at_callback;
    wrapper.on_edit = [&](char, uint32_t index, float value) {
        sent_at_callback.push_back(sent_count());
        wv2_host_set_parameter(host, index, std::min(value, 2.0f));
        wv2_host_set_parameter(host, index + 1, value);  // and a second one, to be sure
    };
    page_says({L"b 13 40400000", L"s 13 40400000", L"e 13 3f800000"});
    // Each time the page shows 3 the host puts 2 back, and the page must
    // hear it; the 1 it took needs no answer.
    EXPECT_EQ(sent(), (std::vector<std::wstring>{
                          L"s 00000013 40000000", L"s 00000014 40400000",  //
                          L"s 00000013 40000000", L"s 00000014 3f800000"}));
    EXPECT_EQ(sent_at_callback, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(host->page.values[19], 1.0f);  // the value pushed last wins
}

// The page shows a value it sent. A host that takes it sends nothing back;
// one that keeps or clamps the old value must send that again, though it
// is what the page was last sent.
TEST_F(BridgeTest, AValueTheHostPutsBackAfterAGestureReachesThePage) {
    wv2_host_set_parameter(host, 19, 2.0f);
    page_says({L"s 13 40400000"});           // the page shows 3
    wv2_host_set_parameter(host, 19, 3.0f);  // taken
    EXPECT_EQ(sent(), std::vector<std::wstring>{L"s 00000013 40000000"});
    page_says({L"s 13 40800000"});           // the page shows 4
    wv2_host_set_parameter(host, 19, 3.0f);  // kept at 3
    EXPECT_EQ(sent(), (std::vector<std::wstring>{L"s 00000013 40000000", L"s 00000013 40400000"}));
    EXPECT_EQ(read_back()[19], L"s 00000013 40400000");
}

TEST_F(BridgeTest, PushFromTheWebViewThreadIsSentAtOnce) {
    int before = -1;
    int after = -1;
    DWORD thread = 0;
    g_text_hook = [&](WV2Host* from, const char* text) {
        EXPECT_EQ(from, host);
        EXPECT_STREQ(text, "push");
        thread = GetCurrentThreadId();
        before = sent_count();
        wv2_host_set_parameter(from, 7, 1.5f);
        after = sent_count();
    };
    page_says({L"m push"});
    EXPECT_EQ(thread, GetWindowThreadProcessId(window, nullptr));
    EXPECT_EQ(after, before + 1);
    EXPECT_EQ(sent(), std::vector<std::wstring>{value_message(7, 1.5f)});
}

TEST_F(BridgeTest, PushFromAWorkerThreadReturnsOnceThePageHasIt) {
    std::atomic<bool> done{false};
    std::vector<bool> present;
    std::thread worker([&] {
        for (uint32_t i = 0; i < 20; ++i) {
            wv2_host_set_parameter(host, i, float(i));
            std::vector<std::wstring> texts = sent();
            present.push_back(!texts.empty() && texts.back() == value_message(i, float(i)));
        }
        done = true;
    });
    ASSERT_TRUE(pump_until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(present, std::vector<bool>(20, true));
}

TEST_F(BridgeTest, TextsGoToThePageWithTheirPrefix) {
    wv2_host_send_text(host, "");
    wv2_host_send_text(host, "crierV1 initDone ");
    wv2_host_send_text(host, "r\xc3\xa9sum\xc3\xa9 \xf0\x9f\x98\x80");
    std::thread worker([&] { wv2_host_send_text(host, "from a worker"); });
    worker.join();
    EXPECT_EQ(sent(), (std::vector<std::wstring>{L"m ", L"m crierV1 initDone ", L"m r\u00e9sum\u00e9 \U0001F600",
                                                 L"m from a worker"}));
}

TEST_F(BridgeTest, InvalidUtf8TextsSendNothing) {
    for (const char* text : {"\xff", "abc\xc3", "\xc0\xaf", "\xed\xa0\x80", "a\x80z"}) wv2_host_send_text(host, text);
    std::thread worker([&] { wv2_host_send_text(host, "\xfe"); });
    worker.join();
    EXPECT_TRUE(sent().empty());
}

TEST_F(BridgeTest, HandlerRepliesFromTheWebViewThreadComeAfterThePrefix) {
    g_text_hook = [&](WV2Host* from, const char* text) {
        if (strcmp(text, "crierV1 init wah") == 0) wv2_host_send_text(from, "crierV1 initDone ");
    };
    page_says({L"m crierV1 init wah"});
    EXPECT_EQ(sent(), std::vector<std::wstring>{L"m crierV1 initDone "});
}

TEST_F(BridgeTest, LongAndShortTextsReachTheHandlerWhole) {
    std::vector<std::string> seen;
    g_text_hook = [&](WV2Host*, const char* text) { seen.emplace_back(text); };
    std::wstring sizes[] = {
        L"m " + std::wstring(1998, L'x'),  // 2000 bytes: on the heap
        L"m " + std::wstring(1021, L'y'),  // 1023 bytes and the terminator: fits the buffer
        L"m " + std::wstring(1022, L'z'),  // one more: on the heap
        L"m " + std::wstring(700, L'\u00e9') + L"\U0001F600",
        L"m ",
        L"m\u00e9x",  // whatever the second character is
    };
    for (const std::wstring& text : sizes) page_says({text});
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], std::string(1998, 'x'));
    EXPECT_EQ(seen[1], std::string(1021, 'y'));
    EXPECT_EQ(seen[2], std::string(1022, 'z'));
    std::string accents;
    for (int i = 0; i < 700; ++i) accents += "\xc3\xa9";
    EXPECT_EQ(seen[3], accents + "\xf0\x9f\x98\x80");
    EXPECT_EQ(seen[4], "");
    EXPECT_EQ(seen[5], "\xa9x");  // the arguments start at the third byte
}

TEST_F(BridgeTest, TextsWithoutAHandlerAreDropped) {
    wv2_host_destroy(host);
    host = wv2_host_create(false, nullptr, &wrapper.callbacks, nullptr, 700, 677, kCount);
    ASSERT_NE(host, nullptr);
    window = wv2_host_window(host);
    handled_ = 1;
    page_says({L"m crierV1 init wah"});
    EXPECT_TRUE(sent().empty());
}

TEST_F(BridgeTest, MessagesThatAreNotStringsOrNotUnicodeAreRefused) {
    page_says({L"s 13 40400000"}, FALSE);
    page_says({std::wstring(L"s 13 40400000") + L'\xD800'});
    page_says({std::wstring(L"m ") + L'\xDC00' + L"x"});
    EXPECT_TRUE(wrapper.edits().empty());
    std::wstring log = browser.log_text(window);
    EXPECT_NE(log.find(L"WebMessageReceived -> 80070057"), std::wstring::npos) << log;  // returned unchanged
    EXPECT_NE(log.find(L"WebMessageReceived -> 80070459"), std::wstring::npos) << log;  // no Unicode translation
}

TEST_F(BridgeTest, MalformedGesturesTouchNothing) {
    std::vector<float> values = some_values();
    for (unsigned i = 0; i < kCount; ++i) wv2_host_set_parameter(host, i, values[i]);
    bool handler_called = false;
    g_text_hook = [&](WV2Host*, const char*) { handler_called = true; };
    page_says({L"s", L"b", L"e", L"m", L"", L"s ", L"s 13", L"s 13 ", L"s zz 40400000", L"s 13 zz",
               L"s 24 0",            // index 36, not below the count
               L"s ffffffff 0",      // far beyond it
               L"s 100000000 0",     // more than 32 bits
               L"s 13 100000000",    // more than 32 bits
               L"s -",               // a sign alone
               L"x 13 40400000", L"S 13 40400000", L"G", L"M hello"});
    EXPECT_TRUE(wrapper.edits().empty());
    EXPECT_FALSE(handler_called);
    EXPECT_EQ(read_back(), value_messages(values));
}

TEST_F(BridgeTest, FieldsScanAsHexadecimalNumbers) {
    page_says({L"s  13\t 40400000 and more", L"sX13 40400000", L"s 0x13 0X40400000", L"s +13 40400000"});
    std::vector<Edit> edits = wrapper.edits();
    ASSERT_EQ(edits.size(), 4u);
    for (const Edit& edit : edits) {
        EXPECT_EQ(edit.index, 19u);
        EXPECT_EQ(edit.value, 3.0f);
    }
}

// A close request that a gesture meets while it waits for the exchange lock
// ends the gesture, and the close still happens.
TEST_F(BridgeTest, CloseMetByAWaitingGestureIsStillCarriedOut) {
    // Hold the lock as wv2_host_destroy does, with a gesture queued before
    // the close request.
    ASSERT_EQ(WaitForSingleObject(host->exchange_lock, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(browser.post_page_message(window, L"s 3 3f800000", TRUE));
    ASSERT_TRUE(PostMessageW(window, WV2_MSG_CLOSE, 0, 0));
    DWORD waited = WaitForSingleObject(host->reply, 10000);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    pump_for(50);
    EXPECT_TRUE(wrapper.edits().empty());  // the gesture was dropped
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_TRUE(browser.state(nullptr).closed);
    ReleaseSemaphore(host->exchange_lock, 1, nullptr);
    if (waited != WAIT_OBJECT_0) ReleaseSemaphore(host->reply, 1, nullptr);
    wv2_host_destroy(host);  // the browser is gone; the host is freed all the same
    host = nullptr;
}

// --- The dispatcher on its own, reading nothing past a text's end -------------------

struct DispatchRecord {
    std::vector<Edit> edits;
    std::vector<std::string> texts;
};
DispatchRecord* g_dispatched = nullptr;

void record_edit(char kind, uint32_t index, float value) {
    g_dispatched->edits.push_back({kind, GetCurrentThreadId(), index, value});
}

// Places each text right before a page that may not be read.
class GuardedText {
public:
    GuardedText() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        memory_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(memory_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedText() { VirtualFree(memory_, 0, MEM_RELEASE); }
    const char* place(const char* text) {
        size_t size = strlen(text) + 1;
        char* at = memory_ + page_ - size;
        memcpy(at, text, size);
        return at;
    }

private:
    size_t page_;
    char* memory_;
};

TEST(Dispatcher, ShortAndMalformedTextsAreReadNoFurtherThanTheirEnd) {
    DispatchRecord record;
    g_dispatched = &record;
    float values[kCount] = {};
    WV2Host host{};
    WV2PageBinding& page = host.page;
    page.user_data = &host;
    page.begin_edit = [](void*, uint32_t index, float value) { record_edit('b', index, value); };
    page.perform_edit = [](void*, uint32_t index, float value) { record_edit('s', index, value); };
    page.end_edit = [](void*, uint32_t index, float value) { record_edit('e', index, value); };
    page.message_handler = [](WV2Host*, const char* text) { g_dispatched->texts.emplace_back(text); };
    page.values = values;
    page.count = kCount;

    GuardedText guarded;
    for (const char* text : {"", "s", "b", "e", "m", "g", "x", "s ", "s 1", "s 1 ", "s 0x", "s 1 0x", "s 1 -",
                             "s 24 0", "s 100000000 1", "s 1 fffffffff"})
        wv2_dispatch_page_message(&host, &page, guarded.place(text));
    EXPECT_TRUE(record.edits.empty());
    EXPECT_TRUE(record.texts.empty());
    for (float value : values) EXPECT_EQ(value, 0.0f);

    for (const char* text : {"m ", "mx", "b 23 3f800000", "e 0 0", "s 0 -1"})
        wv2_dispatch_page_message(&host, &page, guarded.place(text));
    EXPECT_EQ(record.texts, (std::vector<std::string>{"", ""}));
    ASSERT_EQ(record.edits.size(), 3u);
    EXPECT_EQ(record.edits[0].kind, 'b');
    EXPECT_EQ(record.edits[0].index, 35u);
    EXPECT_EQ(values[35], 1.0f);
    EXPECT_EQ(record.edits[2].kind, 's');
    EXPECT_EQ(bits_of(record.edits[2].value), 0xFFFFFFFFu);  // "%x" reads -1 as all bits set
    g_dispatched = nullptr;
}

}  // namespace
}  // namespace webui_test
