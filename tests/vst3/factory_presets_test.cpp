// The factory presets as .vstpreset files: each read back by the VST3 SDK's
// own reader, naming our processor, and its component state restoring
// exactly the preset's 32 values in the processor and the controller.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "presets/factory.h"
#include "vst3/factory.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;
namespace fs = std::filesystem;

struct ReaderResult {
    int status = -1;
    std::string said;                  // class id line, then the meta XML
    std::vector<uint8_t> component;    // the Comp chunk
};

// A word for sh: in single quotes, each quote in it written as '\''.
std::string shell_word(const std::string& text) {
    std::string s = "'";
    for (char c : text) s += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return s + "'";
}

ReaderResult read_with_sdk(const fs::path& preset) {
    const fs::path chunk = fs::temp_directory_path() / ("yawp-comp-" + std::to_string(::getpid()));
    // The SDK's reader keeps some objects to the end; a sanitizer build must
    // not call that a failure of the file.
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 " + shell_word(YAWP_PRESET_READER) + " " +
                                shell_word(preset.string()) + " " + shell_word(chunk.string());
    ReaderResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe)) r.said += buf;
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(chunk, std::ios::binary);
    r.component.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove(chunk);
    return r;
}

// The processor's class id as the SDK prints it: 32 upper-case hex digits
// of the GUID in its written order, which is the TUID's byte order here.
std::string processor_class_id() {
    std::string s;
    char two[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned>(static_cast<uint8_t>(vst3::kProcessorCid[i])));
        s += two;
    }
    return s;
}

TEST(Vst3FactoryPresets, OneFilePerPresetInItsCategoryFolder) {
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(YAWP_VST3_PRESETS))
        if (entry.is_regular_file()) ++files;
    EXPECT_EQ(files, presets::factory().size());
    for (const presets::Preset& p : presets::factory())
        EXPECT_TRUE(fs::is_regular_file(fs::path(YAWP_VST3_PRESETS) / p.category / (std::string(p.name) + ".vstpreset")))
            << p.name;
}

TEST(Vst3FactoryPresets, TheSdkReadsEachAndItsStateRestoresTheValues) {
    const std::string cid = processor_class_id();
    EXPECT_EQ(cid, "FDEF4AACEADD4EFAA4C00EC372FE9602");
    for (const presets::Preset& p : presets::factory()) {
        SCOPED_TRACE(p.name);
        const ReaderResult r =
            read_with_sdk(fs::path(YAWP_VST3_PRESETS) / p.category / (std::string(p.name) + ".vstpreset"));
        ASSERT_EQ(r.status, 0) << r.said;
        EXPECT_EQ(r.said.substr(0, 33), cid + "\n");
        EXPECT_NE(r.said.find("<Attr id=\"MediaType\" value=\"VstPreset\""), std::string::npos) << r.said;
        EXPECT_NE(r.said.find("<Attr id=\"PlugInName\" value=\"Yawp Wah\""), std::string::npos) << r.said;

        Plugin plugin;
        ASSERT_EQ(plugin.restore(r.component), kResultOk);
        const std::vector<float> saved = values_of(plugin.save());
        ASSERT_EQ(saved.size(), cat::kInputCount);
        for (uint32_t i = 0; i < cat::kInputCount; ++i) EXPECT_EQ(saved[i], p.values[i]) << cat::state_key(i);

        // A host hands the same chunk to the controller.
        MemoryStream stream(r.component);
        ASSERT_EQ(plugin.controller->setComponentState(&stream), kResultOk);
        for (uint32_t i = 0; i < cat::kInputCount; ++i) {
            const double shown = cat::normalized_to_plain(i, plugin.controller->getParamNormalized(cat::vst3_id(i)));
            EXPECT_NEAR(shown, p.values[i], 1e-4 * (1 + std::fabs(p.values[i]))) << cat::state_key(i);
        }
    }
}

TEST(Vst3FactoryPresets, TheSdkRefusesACutFile) {
    const presets::Preset& p = presets::factory()[0];
    const fs::path whole = fs::path(YAWP_VST3_PRESETS) / p.category / (std::string(p.name) + ".vstpreset");
    const fs::path cut = fs::temp_directory_path() / ("yawp-cut-" + std::to_string(::getpid()) + ".vstpreset");
    fs::copy_file(whole, cut, fs::copy_options::overwrite_existing);
    fs::resize_file(cut, fs::file_size(whole) / 2);  // the chunk list is gone
    EXPECT_NE(read_with_sdk(cut).status, 0);
    fs::remove(cut);
}

}  // namespace
}  // namespace yawp::test
