// Interoperability with GNU tar: it lists and extracts what we write, and we
// read the ustar archives it makes. Linux only; skipped in the Windows build.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support.h"

namespace yawp::state::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(("LC_ALL=C TZ=UTC " + command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        if (pclose(pipe) != 0) out += "\n(command failed)";
    }
    return out;
}
bool have_gnu_tar() { return run("tar --version").find("GNU tar") != std::string::npos; }
#else
std::string run(const std::string&) { return {}; }
bool have_gnu_tar() { return false; }
#endif

class GnuTar : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_gnu_tar()) GTEST_SKIP() << "needs GNU tar on Linux";
        dir_ = fs::temp_directory_path() / ("yawp-state-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, ByteView bytes) const {
        std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data), bytes.size);
    }
    Bytes get(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

TEST_F(GnuTar, ListsAndExtractsOurDocument) {
    const Bytes doc = saved();
    put("state.tar", view(doc));
    EXPECT_EQ(run("tar -tvf " + path("state.tar")),
              "-rw-r--r-- 0/0            4608 1970-01-01 00:00 dsp.tar\n");
    ASSERT_EQ(run("tar -xOf " + path("state.tar") + " dsp.tar >" + path("dsp.tar")), "");
    EXPECT_EQ(get("dsp.tar"), Bytes(doc.begin() + 512, doc.begin() + 5120));

    const std::string listing = run("tar -tvf " + path("dsp.tar"));
    EXPECT_NE(listing.find("0/0             661 1970-01-01 00:00 parameters.map\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("tar:"), std::string::npos) << listing;  // no checksum or format warning
    EXPECT_EQ(run("tar -tf " + path("dsp.tar")), "info.map\nparameters.map\nversion\n");
    EXPECT_EQ(run("tar -xOf " + path("dsp.tar") + " version"), "1.0");

    Document parsed;
    ASSERT_EQ(parse_document(view(doc), &parsed), 0);
    Bytes parameters;
    ASSERT_EQ(serialise_map(parsed.parameters, &parameters), 0);
    ASSERT_EQ(run("tar -xOf " + path("dsp.tar") + " parameters.map >" + path("p.map")), "");
    EXPECT_EQ(get("p.map"), parameters);
}

TEST_F(GnuTar, AcceptsOurSignedChecksumOfNonAsciiNames) {
    put("names.tar", view(archive_of({{"caf\xc3\xa9.txt", "x"}})));
    EXPECT_EQ(run("tar --quoting-style=literal -tf " + path("names.tar")), "caf\xc3\xa9.txt\n");
}

TEST_F(GnuTar, ItsUstarArchivesRestore) {
    ParameterValues values = default_values();
    values[catalogue::kMix] = 33.0f;
    values[catalogue::kEnvOn] = 1.0f;
    EditableDocument source;
    Bytes mine;
    ASSERT_EQ(save_document(kFormatLv2, 96000.0f, values, &mine), 0);
    Document doc;
    ASSERT_EQ(parse_document(view(mine), &doc), 0);
    Bytes info, parameters;
    ASSERT_EQ(serialise_map(doc.info, &info), 0);
    ASSERT_EQ(serialise_map(doc.parameters, &parameters), 0);
    const std::string big(70000, 'b');  // several blocks, padded by GNU tar
    fs::create_directories(dir_ / "inner");
    fs::create_directories(dir_ / "outer");
    put("inner/info.map", view(info));
    put("inner/parameters.map", view(parameters));
    put("inner/version", "1.0\n");
    put("inner/big.bin", std::string_view(big));
    const std::string ustar = "tar --format=ustar ";
    ASSERT_EQ(run(ustar + "-cf " + path("outer/dsp.tar") + " -C " + path("inner") +
                  " version big.bin parameters.map info.map"), "");
    ASSERT_EQ(run(ustar + "-cf " + path("state.tar") + " -C " + path("outer") + " dsp.tar"), "");

    const Bytes state = get("state.tar");
    ASSERT_EQ(state.size() % 10240, 0u);  // GNU tar's records, zero-filled
    Document read;
    ASSERT_EQ(parse_document(view(state), &read), 0);
    EXPECT_EQ(text(*read.extra_inner.lookup("big.bin")), big);
    FakePlugin plugin;
    ASSERT_EQ(plugin.restore(state), 0);
    EXPECT_EQ(plugin.values, values);
}

}  // namespace
}  // namespace yawp::state::test
