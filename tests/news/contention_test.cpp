// Several hosts on the same files at once: separate processes (the worker
// program), and threads of one process.
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

#include "contention.h"
#include "spawn.h"
#include "temp_store.h"

namespace news_test {
namespace {

using namespace contention;

constexpr int kWorkers = 4;
constexpr int kRounds = 12;
constexpr int kOverwrites = 40;

std::vector<std::vector<std::string>> worker_arguments(const char* mode, int times) {
    std::vector<std::vector<std::string>> arguments;
    for (int id = 0; id < kWorkers; ++id)
        arguments.push_back({mode, std::to_string(id), std::to_string(kWorkers), std::to_string(times)});
    return arguments;
}

// Round → what the worker's log says about it: "won", or "lost W".
std::map<int, std::string> outcomes(const std::string& log) {
    std::map<int, std::string> result;
    std::istringstream lines(log);
    int round = 0;
    std::string rest;
    while (lines >> round && std::getline(lines, rest)) result[round] = rest.substr(1);
    return result;
}

using ContentionTest = StoreTest;

TEST_F(ContentionTest, ProcessesCheckAndReplaceOneAtATime) {
    put(store / "crier-news", content(0, ""));
    const std::vector<int> codes = run_workers(worker_arguments("lockstep", kRounds));
    EXPECT_EQ(codes, std::vector<int>(kWorkers, 0));

    // No update lost: the news holds one winner per round.
    const auto last = get(store / "crier-news");
    ASSERT_TRUE(last);
    const auto final_news = parse(*last);
    ASSERT_TRUE(final_news);
    EXPECT_EQ(final_news->round, kRounds);
    ASSERT_EQ(final_news->winners.size(), static_cast<size_t>(kRounds));

    std::vector<std::map<int, std::string>> logs;
    for (int id = 0; id < kWorkers; ++id) {
        const std::string name = "w" + std::to_string(id);
        const char* parts[] = {"log", name.c_str(), nullptr};
        char* log = nullptr;
        ASSERT_EQ(crier_read_file(&log, parts), 0);  // a text file: its lines end as the platform's do
        ASSERT_NE(log, nullptr) << id;
        logs.push_back(outcomes(log));
        std::free(log);
    }
    for (int round = 0; round < kRounds; ++round) {
        const int winner = final_news->winners[static_cast<size_t>(round)] - '0';
        for (int id = 0; id < kWorkers; ++id) {
            const std::string expected = id == winner ? "won" : "lost " + std::to_string(winner);
            EXPECT_EQ(logs[static_cast<size_t>(id)][round], expected) << "round " << round << ", worker " << id;
        }
    }
}

TEST_F(ContentionTest, OverwritesAreNeverSeenHalfDone) {
    const std::vector<int> codes = run_workers(worker_arguments("overwrite", kOverwrites));
    EXPECT_EQ(codes, std::vector<int>(kWorkers, 0));
    const auto last = get(store / "crier-news");
    ASSERT_TRUE(last);
    EXPECT_TRUE(is_someones_own_content(*last));
}

// Each thread adds its share to a counter kept as the tag, retrying with the
// tag a conflict tells it, as the page does.
int count_up(int times) {
    WV2Host host;
    int known = 0;
    int wins = 0;
    const std::string prefix = "m crierV1 syncNewsConflict ";
    while (wins < times) {
        host.page.clear();
        const std::string data = tag(known) + " " + tag(known + 1) + " counter";
        crier_sync_file(&host, nullptr, "crier-news", data.c_str(), "syncNewsConflict");
        if (host.page.empty()) {
            ++known;
            ++wins;
        } else if (host.page.front().compare(0, prefix.size(), prefix) == 0) {
            known = std::stoi(host.page.front().substr(prefix.size(), kTagLength));
        }
    }
    return wins;
}

TEST_F(ContentionTest, ThreadsOfOneProcessCheckAndReplaceOneAtATime) {
    constexpr size_t kThreads = 4;
    constexpr int kTimes = 50;
    put(store / "crier-news", tag(0) + " counter");
    std::vector<std::thread> threads;
    std::vector<int> wins(kThreads);
    for (size_t i = 0; i < kThreads; ++i) threads.emplace_back([&wins, i] { wins[i] = count_up(kTimes); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wins, std::vector<int>(kThreads, kTimes));
    EXPECT_EQ(get(store / "crier-news"), tag(static_cast<int>(kThreads) * kTimes) + " counter");
}

}  // namespace
}  // namespace news_test
