// Names from the page become folders under the store folder, and nothing
// the page sends may reach outside it.

#include "temp_store.h"

namespace news_test {
namespace {

const char* const kAcceptedNames[] = {
    "wah", "a\\b", "a/b", "a\\b/c", ".hidden", "a.b", "a..b", "with space", "W\xC3\xA4h",
    "\xF0\x9F\x8E\xB8", "CONSOLE", "COM10", "LPT", "nul-ish", "con-tent.txt", "-", "~", "$x",
};

const char* const kRefusedNames[] = {
    // empty components, "." and ".."
    "", ".", "..", "a\\..", "..\\escape", "../escape", "a\\..\\..\\escape", "a/../../escape",
    "a/./b", "a\\\\b", "a//b", "a\\", "a/",
    // absolute, UNC and device paths
    "\\a", "/a", "\\\\server\\share\\x", "//server/share/x", "\\\\?\\C:\\x", "\\\\.\\C:\\x",
    "\\\\?\\UNC\\server\\share\\x", "\\\\.\\pipe\\x", "\\??\\C:\\x",
    // drives and alternate data streams
    "C:", "C:x", "C:\\x", "c:/x", "latest:stream", "a:b", "a::$DATA",
    // devices, with any extension or case
    "CON", "con", "Nul.txt", "COM1", "lpt9.log", "aux\\x", "x\\PRN", "CONIN$", "COM\xC2\xB9", "nul ",
    // names Windows would change
    "...", "a.", "a ", "a. ", "a\\b.\\c",
    // control and reserved characters
    "a\x01" "b", "a\tb", "a\nb", "\x7f", "a*b", "a?b", "a<b", "a>b", "a|b", "a\"b",
    // invalid UTF-8: stray bytes, overlong forms, surrogates, beyond U+10FFFF, cut sequences
    "\xff", "\x80", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc3", "a\xe2\x82",
};

std::string generic(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

// Names that would land inside the test's root folder, but outside the
// store, if they were taken as paths.
std::vector<std::string> escapes(const fs::path& root) {
    const std::string target = utf8(root / "escape");
    std::vector<std::string> names = {target, generic(root / "escape"),
                                      "..\\escape", "..\\..\\escape", "../../escape"};
#ifdef _WIN32
    names.push_back("\\\\?\\" + target);
    names.push_back("\\\\.\\" + target);
    names.push_back(target.substr(2));                     // rooted on the current drive
    names.push_back(target.substr(0, 2) + "escape");       // relative to the drive's folder
#endif
    return names;
}

std::vector<std::string> all_refused(const fs::path& root) {
    std::vector<std::string> names(std::begin(kRefusedNames), std::end(kRefusedNames));
    for (const std::string& name : escapes(root)) names.push_back(name);
    return names;
}

TEST(PartCheck, AcceptsPlainAndNestedNames) {
    for (const char* name : kAcceptedNames) EXPECT_TRUE(crier_part_is_acceptable(name)) << name;
}

TEST(PartCheck, RefusesEverythingThatCouldLeaveTheStore) {
    for (const char* name : kRefusedNames) EXPECT_FALSE(crier_part_is_acceptable(name)) << name;
    EXPECT_FALSE(crier_part_is_acceptable(nullptr));
}

using NameTest = StoreTest;

TEST_F(NameTest, AcceptedNamesAreFoldersInTheStore) {
    for (const char* name : kAcceptedNames) {
        const char* parts[] = {name, "latest", nullptr};
        EXPECT_EQ(crier_write_file(name, parts), 0) << name;
        std::u8string folder(reinterpret_cast<const char8_t*>(name));
        for (char8_t& c : folder)
            if (c == u8'\\') c = u8'/';
        EXPECT_EQ(get(store / fs::path(folder) / "latest"), name);
    }
}

TEST_F(NameTest, RefusedNamesBuildNoPath) {
    for (const std::string& name : all_refused(root)) {
        const char* parts[] = {name.c_str(), "latest", nullptr};
        EXPECT_EQ(crier_build_path(false, parts), nullptr) << name;
        EXPECT_EQ(crier_build_path(true, parts), nullptr) << name;
        EXPECT_EQ(crier_make_dirs(true, parts), -1) << name;
        EXPECT_EQ(crier_write_file("x", parts), -1) << name;
        char* text = nullptr;
        EXPECT_EQ(crier_read_file(&text, parts), -1) << name;
        EXPECT_EQ(text, nullptr);
    }
    EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"});
}

TEST_F(NameTest, RequestsWithRefusedNamesAreIgnored) {
    // The store's own files exist, so that init would have something to send.
    put(store / "crier-system", "sid");
    put(store / "crier-news", "ABCDEFGHnews");
    const std::vector<std::string> before = tree(root);
    for (const std::string& name : all_refused(root)) {
        send("crierV1 init " + name);
        if (name.find(' ') == std::string::npos) {
            send("crierV1 syncLatest " + name + " - {}");
            send("crierV1 syncLatest " + name + " 12345678 12345678{}");
            send("crierV1 syncLatestForce " + name + " x");
        }
        EXPECT_TRUE(page().empty()) << name;
        EXPECT_EQ(tree(root), before) << name;
        page().clear();
    }
}

TEST_F(NameTest, SyncWithRefusedNameCreatesNothing) {
    for (const std::string& name : all_refused(root)) {
        crier_sync_file(&host, name.c_str(), "latest", "- {}", "syncLatestConflict");
        crier_sync_file(&host, name.c_str(), "latest", "12345678 12345678{}", "syncLatestConflict");
    }
    EXPECT_TRUE(page().empty());
    EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"});
}

TEST_F(NameTest, SyncWithRefusedFileNameMakesOnlyTheStoreFolder) {
    crier_sync_file(&host, nullptr, "..", "- {}", "syncNewsConflict");
    crier_sync_file(&host, nullptr, "a\\..\\..\\escape", "- {}", "syncNewsConflict");
    EXPECT_TRUE(page().empty());
    EXPECT_EQ(tree(root), (std::vector<std::string>{"appdata/", "appdata/Tallow.AUDIO/"}));
}

}  // namespace
}  // namespace news_test
