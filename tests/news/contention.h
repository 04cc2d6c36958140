// The contents the contention workers write, and how the tests check them.
// Every content ends in a marker, so that a file caught half written, or
// empty, is told apart from a whole one.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace news_test::contention {

constexpr size_t kTagLength = 8;
constexpr size_t kFillerLength = 4096;  // long enough that a write takes a while
constexpr size_t kOwnLength = 65536;
constexpr char kEnd[] = "#end";

inline std::string tag(int round) {
    char text[16];
    std::snprintf(text, sizeof text, "%08d", round);
    return text;
}

// The news after `round` rounds: its tag, then the id of each round's
// winner, one digit per round.
inline std::string content(int round, const std::string& winners) {
    return tag(round) + " " + winners + " " + std::string(kFillerLength, 'x') + kEnd;
}

struct Parsed {
    int round = 0;
    std::string winners;
};

inline bool all_digits(const std::string& text) {
    return text.find_first_not_of("0123456789") == std::string::npos;
}

inline std::optional<Parsed> parse(const std::string& text) {
    const std::string tail = " " + std::string(kFillerLength, 'x') + kEnd;
    if (text.size() < kTagLength + 1 + tail.size() || text[kTagLength] != ' ') return std::nullopt;
    if (text.compare(text.size() - tail.size(), tail.size(), tail) != 0) return std::nullopt;
    const std::string digits = text.substr(0, kTagLength);
    const std::string winners = text.substr(kTagLength + 1, text.size() - tail.size() - kTagLength - 1);
    if (!all_digits(digits) || !all_digits(winners)) return std::nullopt;
    return Parsed{std::stoi(digits), winners};
}

// What worker `id` (0 to 9) writes when it overwrites.
inline std::string own_content(int id) {
    return "w" + std::to_string(id) + " " + std::string(kOwnLength, static_cast<char>('a' + id)) + kEnd;
}

inline bool is_someones_own_content(const std::string& text) {
    if (text.size() < 2 || text[0] != 'w' || text[1] < '0' || text[1] > '9') return false;
    return text == own_content(text[1] - '0');
}

}  // namespace news_test::contention
