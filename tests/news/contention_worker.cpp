// One of several processes that the contention tests start at once on the
// same store (inherited from the test's environment). Exits 0 when all it
// saw was right, 1 otherwise, saying why on stderr.
//
//   news_contention_worker lockstep ID COUNT ROUNDS
//     ROUNDS rounds of check-and-replace of "crier-news", in step with the
//     COUNT workers: in round r every worker sends the tag of round r, so
//     exactly one must win; the others must get a conflict carrying the
//     winner's content. Before each attempt the news is read, and must be
//     whole. The outcome of each round goes to "log\wID".
//
//   news_contention_worker overwrite ID COUNT TIMES
//     TIMES forced writes of this worker's own content, each followed by a
//     get-news whose answer must be someone's whole content.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "contention.h"
#include "fake_host.h"
#include "news/crier.h"

namespace {

using namespace news_test::contention;

constexpr auto kBarrierTimeout = std::chrono::seconds(120);
constexpr char kConflictPrefix[] = "m crierV1 syncNewsConflict ";
constexpr char kGetNewsPrefix[] = "m crierV1 getNews ";

int fail(const std::string& why) {
    std::fprintf(stderr, "news_contention_worker: %s\n", why.c_str());
    return 1;
}

std::optional<std::string> read_news() {
    const char* parts[] = {"crier-news", nullptr};
    char* text = nullptr;
    if (crier_read_file(&text, parts) != 0 || text == nullptr) return std::nullopt;
    std::string result(text);
    std::free(text);
    return result;
}

bool marker_exists(const std::string& name) {
    const char* parts[] = {"barrier", name.c_str(), nullptr};
    char* text = nullptr;
    const bool found = crier_read_file(&text, parts) == 0 && text != nullptr;
    std::free(text);
    return found;
}

std::string marker(int round, int id) { return "r" + std::to_string(round) + "w" + std::to_string(id); }

// Returns once every worker has finished `round`, or false after the time-out.
bool barrier(int round, int id, int count) {
    const std::string mine = marker(round, id);
    const char* parts[] = {"barrier", mine.c_str(), nullptr};
    if (crier_write_file("", parts) != 0) return false;
    const auto give_up = std::chrono::steady_clock::now() + kBarrierTimeout;
    for (int other = 0; other < count; ++other) {
        while (!marker_exists(marker(round, other))) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

int lockstep(int id, int count, int rounds) {
    WV2Host host;
    std::string winners;  // the winner of each round so far
    std::string log;
    for (int round = 0; round < rounds; ++round) {
        const auto before = read_news();
        const auto seen = before ? parse(*before) : std::nullopt;
        if (!seen || (seen->round != round && seen->round != round + 1))
            return fail("round " + std::to_string(round) + ": read a news file that is not whole");

        const std::string mine = content(round + 1, winners + std::to_string(id));
        host.page.clear();
        crier_handle_message(&host, ("crierV1 syncNews " + tag(round) + " " + mine).c_str());

        if (host.page.empty()) {
            if (read_news() != mine) return fail("round " + std::to_string(round) + ": no conflict, but no win");
            winners += std::to_string(id);
            log += std::to_string(round) + " won\n";
        } else {
            const std::string& reply = host.page.front();
            const size_t n = std::strlen(kConflictPrefix);
            const auto theirs = reply.compare(0, n, kConflictPrefix) == 0 ? parse(reply.substr(n)) : std::nullopt;
            if (host.page.size() != 1 || !theirs || theirs->round != round + 1 ||
                theirs->winners.compare(0, winners.size(), winners) != 0 ||
                theirs->winners.size() != winners.size() + 1)
                return fail("round " + std::to_string(round) + ": conflict without the winner's content");
            winners = theirs->winners;
            log += std::to_string(round) + " lost " + winners.back() + "\n";
        }
        if (!barrier(round, id, count)) return fail("round " + std::to_string(round) + ": barrier timed out");
    }
    const std::string name = "w" + std::to_string(id);
    const char* parts[] = {"log", name.c_str(), nullptr};
    return crier_write_file(log.c_str(), parts) == 0 ? 0 : fail("cannot write the log");
}

int overwrite(int id, int times) {
    WV2Host host;
    const std::string mine = own_content(id);
    for (int i = 0; i < times; ++i) {
        crier_handle_message(&host, ("crierV1 syncNewsForce " + mine).c_str());
        host.page.clear();
        crier_handle_message(&host, "crierV1 getNews ");
        const size_t n = std::strlen(kGetNewsPrefix);
        if (host.page.size() != 1 || host.page.front().compare(0, n, kGetNewsPrefix) != 0 ||
            !is_someones_own_content(host.page.front().substr(n)))
            return fail("time " + std::to_string(i) + ": got news that is not whole");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return fail("usage: lockstep|overwrite ID COUNT ROUNDS");
    const std::string mode = argv[1];
    const int id = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    const int rounds = std::atoi(argv[4]);
    if (id < 0 || id > 9 || count < 1 || count > 10 || rounds < 1) return fail("bad arguments");
    if (mode == "lockstep") return lockstep(id, count, rounds);
    if (mode == "overwrite") return overwrite(id, rounds);
    return fail("unknown mode " + mode);
}
