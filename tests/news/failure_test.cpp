// Failing reads and memory running out: the page gets nothing, or a prefix
// of the answer that never ends in "initDone", and no file is left half
// changed.
#include <cstdlib>
#include <cstring>

#include "temp_store.h"

namespace news_test {
namespace {

using Page = std::vector<std::string>;

// An allocator that fails the n-th call (counting from 1) and counts all.
int g_calls = 0;
int g_fail_at = 0;

void* failing_allocator(size_t size) {
    ++g_calls;
    return g_calls == g_fail_at ? nullptr : std::malloc(size);
}

class FailureTest : public StoreTest {
protected:
    // Runs `request` once with every allocation allowed, then once failing
    // each allocation it made in turn, calling `reset` before each run.
    // Returns the whole answer.
    template <typename Check, typename Reset = void (*)()>
    Page sweep(const std::string& request, Check check, Reset reset = [] {}) {
        g_calls = 0;
        g_fail_at = 0;
        crier_set_allocator(failing_allocator);
        send(request);
        const Page whole = page();
        const int allocations = g_calls;
        EXPECT_GT(allocations, 0) << request;
        for (g_fail_at = 1; g_fail_at <= allocations; ++g_fail_at) {
            reset();
            g_calls = 0;
            page().clear();
            send(request);
            check(whole, page());
        }
        crier_set_allocator(nullptr);
        page().clear();
        return whole;
    }
};

bool is_prefix(const Page& part, const Page& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

TEST_F(FailureTest, InitSendsNothingWhenTheNewsCannotBeRead) {
    put(store / "crier-system", "sid");
    fs::create_directories(store / "crier-news");
    send("crierV1 init wah");
    EXPECT_TRUE(page().empty());
}

TEST_F(FailureTest, InitSendsNothingWhenTheLatestCannotBeRead) {
    put(store / "crier-system", "sid");
    put(store / "crier-news", "ABCDEFGHnews");
    fs::create_directories(store / "wah" / "latest");
    send("crierV1 init wah");
    EXPECT_TRUE(page().empty());
}

TEST_F(FailureTest, InitSendsNothingWithoutABaseFolder) {
    clear_base_folder();
    send("crierV1 init wah");
    send("crierV1 getNews ");
    EXPECT_TRUE(page().empty());
}

TEST_F(FailureTest, GetNewsSendsNothingWhenTheNewsCannotBeRead) {
    fs::create_directories(store / "crier-news");
    send("crierV1 getNews ");
    EXPECT_TRUE(page().empty());
}

TEST_F(FailureTest, InitRunningOutOfMemoryNeverSaysDone) {
    put(store / "crier-system", "sid");
    put(store / "crier-news", "ABCDEFGHnews");
    put(store / "wah" / "latest", "12345678{}");
    const Page whole = sweep("crierV1 init wah", [](const Page& all, const Page& got) {
        EXPECT_TRUE(is_prefix(got, all));
        EXPECT_LT(got.size(), all.size());
    });
    EXPECT_EQ(whole, (Page{"m crierV1 initSid sid", "m crierV1 initNews ABCDEFGHnews",
                           "m crierV1 initLatest 12345678{}", "m crierV1 initDone "}));
}

TEST_F(FailureTest, InitOnFirstRunRunningOutOfMemory) {
    const Page whole = sweep("crierV1 init wah", [](const Page&, const Page& got) { EXPECT_TRUE(got.empty()); });
    EXPECT_EQ(whole, Page{"m crierV1 initDone "});
}

TEST_F(FailureTest, GetNewsRunningOutOfMemorySendsNothing) {
    put(store / "crier-news", "ABCDEFGHnews");
    const Page whole = sweep("crierV1 getNews ", [](const Page&, const Page& got) { EXPECT_TRUE(got.empty()); });
    EXPECT_EQ(whole, Page{"m crierV1 getNews ABCDEFGHnews"});
}

TEST_F(FailureTest, ConflictRunningOutOfMemorySendsNothingAndKeepsTheFile) {
    put(store / "wah" / "latest", "ABCDEFGHkept");
    const Page whole = sweep("crierV1 syncLatest wah XXXXXXXX YYYYYYYYnew", [&](const Page&, const Page& got) {
        EXPECT_TRUE(got.empty());
        EXPECT_EQ(get(store / "wah" / "latest"), "ABCDEFGHkept");
    });
    EXPECT_EQ(whole, Page{"m crierV1 syncLatestConflict ABCDEFGHkept"});
}

TEST_F(FailureTest, WritesRunningOutOfMemoryLeaveTheOldContent) {
    const auto old_content = [&] {
        put(store / "wah" / "latest", "ABCDEFGHold");
        put(store / "crier-news", "ABCDEFGHold");
        fs::remove(store / "crier-system");
    };
    for (const char* request : {"crierV1 syncLatestForce wah IJKLMNOPnew", "crierV1 syncNews ABCDEFGH IJKLMNOPnew",
                                "crierV1 newSid sid"}) {
        old_content();
        sweep(request, [&](const Page&, const Page& got) {
            EXPECT_TRUE(got.empty());
            EXPECT_EQ(get(store / "wah" / "latest"), "ABCDEFGHold") << request;
            EXPECT_EQ(get(store / "crier-news"), "ABCDEFGHold") << request;
            EXPECT_FALSE(fs::exists(store / "crier-system")) << request;
        }, old_content);
    }
}

TEST(Concat, JoinsEveryStringUpToTheNull) {
    char* joined = crier_concat("crierV1 ", "syncNewsConflict", " ", "", "text", nullptr);
    ASSERT_NE(joined, nullptr);
    EXPECT_STREQ(joined, "crierV1 syncNewsConflict text");
    std::free(joined);
    char* empty = crier_concat("", nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    std::free(empty);
}

TEST(Concat, NullWhenMemoryRunsOut) {
    crier_set_allocator([](size_t) -> void* { return nullptr; });
    EXPECT_EQ(crier_concat("a", "b", nullptr), nullptr);
    crier_set_allocator(nullptr);
}

}  // namespace
}  // namespace news_test
