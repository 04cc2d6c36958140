// The preset generator refuses every broken preset file with the file's
// name and the reason, and then writes nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace yawp::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGood = R"({
  "name": "Test Wah",
  "category": "Wah",
  "description": "A preset for the tests.",
  "voice": "man",
  "vowels": { "heel": "oo", "toe": "ah" },
  "values": { "mix": 50, "heel_jaw": 22, "lfo_sync_rate": 11, "mid_on": 0 }
})";

class GeneratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("yawp-presets-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs the generator on the files, asked for the compiled table; returns
    // its exit status and puts what it said in *said.
    int run(const std::vector<std::string>& files, std::string* said) {
        std::string command = std::string("'") + YAWP_PRESETS_GENERATOR + "' --cpp '" + table() + "'";
        for (const std::string& f : files) command += " '" + f + "'";
        command += " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return -1;
        char buf[512];
        said->clear();
        while (fgets(buf, sizeof buf, pipe)) *said += buf;
        const int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string table() const { return (dir_ / "table.cpp").string(); }

    // A copy of the good file with one text replaced.
    std::string good_but(const std::string& from, const std::string& to) {
        std::string text = kGood;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    }

    void expect_refused(const std::string& file_name, const std::string& text, const std::string& reason) {
        const std::string path = write(file_name, text);
        std::string said;
        EXPECT_EQ(run({path}, &said), 1) << said;
        EXPECT_NE(said.find(path + ": "), std::string::npos) << said;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(table())) << "wrote the table for a refused file";
    }

    fs::path dir_;
};

TEST_F(GeneratorTest, AGoodFilePasses) {
    std::string said;
    ASSERT_EQ(run({write("test-wah.json", kGood)}, &said), 0) << said;
    std::ifstream in(table());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"Test Wah\""), std::string::npos);
    // Keys left out keep the catalogue's defaults: position 50, bypass 0.
    EXPECT_NE(text.find("{50.0, 50.0, 22.0,"), std::string::npos) << text;
}

TEST_F(GeneratorTest, RefusesUnknownKeys) {
    expect_refused("a.json", good_but("\"mix\": 50", "\"mixx\": 50"), "unknown key 'mixx'");
    expect_refused("b.json", good_but("\"voice\"", "\"author\": \"me\", \"voice\""), "unknown key 'author'");
}

TEST_F(GeneratorTest, RefusesValuesOutOfRange) {
    expect_refused("a.json", good_but("\"mix\": 50", "\"mix\": 100.5"), "'mix' is out of range");
    expect_refused("b.json", good_but("\"mix\": 50", "\"env_attack\": 0.5"), "'env_attack' is out of range");
    expect_refused("c.json", good_but("\"mid_on\": 0", "\"mid_on\": 0.5"), "'mid_on' is a switch");
    expect_refused("d.json", good_but("\"lfo_sync_rate\": 11", "\"lfo_sync_rate\": 10.5"), "whole number");
    expect_refused("e.json", good_but("\"mix\": 50", "\"mix\": \"50\""), "'mix' is not a number");
    expect_refused("f.json", good_but("\"mix\": 50", "\"mix\": true"), "'mix' is not a number");
}

TEST_F(GeneratorTest, RefusesADuplicateKey) {
    expect_refused("a.json", good_but("\"mix\": 50", "\"mix\": 50, \"mix\": 60"), "duplicate key 'mix'");
    expect_refused("b.json", good_but("\"voice\"", "\"name\": \"Other\", \"voice\""), "duplicate key 'name'");
}

TEST_F(GeneratorTest, RefusesADuplicateName) {
    const std::string first = write("first.json", kGood);
    const std::string second = write("second.json", good_but("Test Wah", "TEST WAH"));
    std::string said;
    EXPECT_EQ(run({first, second}, &said), 1);
    EXPECT_NE(said.find(second + ": duplicate name 'TEST WAH' (also in " + first + ")"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(table()));
}

TEST_F(GeneratorTest, RefusesBrokenDocuments) {
    expect_refused("a.json", "{ \"name\": ", "not valid JSON");
    expect_refused("b.json", "[1, 2]", "not a JSON object");
    expect_refused("c.json", good_but("\"name\": \"Test Wah\",", ""), "no \"name\"");
    expect_refused("d.json", good_but("\"Wah\"", "\"Funk\""), "unknown category 'Funk'");
    expect_refused("e.json", good_but("Test Wah", "AC/DC Wah"), "a character a file name cannot: '/'");
    expect_refused("f.json", good_but("\"A preset for the tests.\"", "\"\""), "the description is empty");
    expect_refused("Upper.json", kGood, "lower-case letters");
}

TEST_F(GeneratorTest, RefusesVowelsItCannotCheck) {
    expect_refused("a.json", good_but("\"toe\": \"ah\"", "\"toe\": \"oh\""), "the vowel at the toe is not one of");
    expect_refused("b.json", good_but("\"voice\": \"man\",", ""), "no \"voice\"");
    expect_refused("c.json", good_but("\"voice\": \"man\"", "\"voice\": \"robot\""), "unknown voice 'robot'");
    expect_refused("d.json", good_but("\"heel\": \"oo\"", "\"mid\": \"oo\""), "a mid vowel with mid_on off");
}

TEST_F(GeneratorTest, RefusesAnEmptyCommand) {
    std::string said;
    EXPECT_EQ(run({}, &said), 2) << said;
    EXPECT_NE(said.find("usage:"), std::string::npos) << said;
}

}  // namespace
}  // namespace yawp::test
