// The file operations: paths, folders, reading, overwriting and
// check-and-replace.
#include <cstdlib>
#include <memory>

#include "temp_store.h"

#ifdef _WIN32
#include <windows.h>

#include "news/platform.h"
#endif

namespace news_test {
namespace {

struct FreeText {
    void operator()(void* p) const { std::free(p); }
};
using PathText = std::unique_ptr<CrierPathChar, FreeText>;

std::string built(bool folder_only, std::initializer_list<const char*> parts) {
    std::vector<const char*> list(parts);
    list.push_back(nullptr);
    PathText path(crier_build_path(folder_only, list.data()));
    return text_of(path.get());
}

struct ReadResult {
    int status;
    std::optional<std::string> text;
};

ReadResult read(std::initializer_list<const char*> parts) {
    std::vector<const char*> list(parts);
    list.push_back(nullptr);
    char* text = reinterpret_cast<char*>(1);  // must be overwritten either way
    const int status = crier_read_file(&text, list.data());
    ReadResult result{status, text ? std::optional<std::string>(text) : std::nullopt};
    std::free(text);
    return result;
}

using PathTest = StoreTest;

TEST_F(PathTest, PartsFollowTheStoreFolder) {
    EXPECT_EQ(built(false, {"crier-news"}), utf8(store / "crier-news"));
    EXPECT_EQ(built(false, {"wah", "latest"}), utf8(store / "wah" / "latest"));
    EXPECT_EQ(built(false, {}), utf8(store));
}

TEST_F(PathTest, FolderOnlyLeavesOutTheLastPart) {
    EXPECT_EQ(built(true, {"wah", "latest"}), utf8(store / "wah"));
    EXPECT_EQ(built(true, {"crier-news"}), utf8(store));
    EXPECT_EQ(built(true, {}), utf8(store));
}

TEST_F(PathTest, EveryPartIsCheckedEvenTheOneLeftOut) {
    EXPECT_EQ(built(false, {"wah", ""}), "(null)");
    EXPECT_EQ(built(true, {"wah", ""}), "(null)");
    EXPECT_EQ(built(true, {"wah", "\xff"}), "(null)");
}

TEST_F(PathTest, NonAsciiNamesAreKept) {
    EXPECT_EQ(built(false, {"W\xC3\xA4h \xE2\x82\xAC", "latest"}),
              utf8(store / fs::path(u8"W\u00e4h \u20ac") / "latest"));
}

TEST_F(PathTest, NoBaseFolderNoPath) {
    clear_base_folder();
    EXPECT_EQ(built(false, {"crier-news"}), "(null)");
    EXPECT_EQ(crier_make_dirs(false, std::vector<const char*>{nullptr}.data()), -1);
    EXPECT_EQ(read({"crier-news"}).status, -1);
}

#ifdef _WIN32

TEST_F(PathTest, EmptyAppDataIsNoBaseFolder) {
    SetEnvironmentVariableW(L"APPDATA", L"");
    EXPECT_EQ(built(false, {"crier-news"}), "(null)");
}

TEST_F(PathTest, PartsAreAppendedUnchanged) {
    EXPECT_EQ(built(false, {"a/b", "latest"}), utf8(base) + "\\Tallow.AUDIO\\a/b\\latest");
}

TEST(RootLength, SkipsDrivesSharesAndDevicePrefixes) {
    using yawp::news::root_length;
    EXPECT_EQ(root_length(L"C:\\Users\\x"), 2u);
    EXPECT_EQ(root_length(L"C:x"), 2u);
    EXPECT_EQ(root_length(L"\\\\server\\share\\x"), 14u);
    EXPECT_EQ(root_length(L"\\\\server\\share"), 14u);
    EXPECT_EQ(root_length(L"\\\\server"), 8u);
    EXPECT_EQ(root_length(L"\\\\?\\C:\\x"), 6u);
    EXPECT_EQ(root_length(L"\\\\.\\C:\\x"), 6u);
    EXPECT_EQ(root_length(L"\\\\?\\UNC\\server\\share\\x"), 20u);
    EXPECT_EQ(root_length(L"\\\\?\\Volume{1}\\x"), 4u);
    EXPECT_EQ(root_length(L"\\x"), 0u);
    EXPECT_EQ(root_length(L"x"), 0u);
    EXPECT_EQ(root_length(L""), 0u);
}

TEST_F(PathTest, StoreUnderADevicePath) {
    const std::wstring device = L"\\\\?\\" + base.wstring();
    SetEnvironmentVariableW(L"APPDATA", device.c_str());
    const char* parts[] = {"a", "b", "latest", nullptr};
    EXPECT_EQ(crier_write_file("x", parts), 0);
    EXPECT_EQ(get(store / "a" / "b" / "latest"), "x");
}

#else

TEST_F(PathTest, BackslashesBecomeFolders) {
    EXPECT_EQ(built(false, {"a\\b", "latest"}), utf8(store / "a" / "b" / "latest"));
}

TEST_F(PathTest, WithoutDataHomeTheStoreIsInHome) {
    setenv("HOME", utf8(root).c_str(), 1);
    const fs::path fallback = root / ".local" / "share" / "Tallow.AUDIO" / "crier-news";
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(built(false, {"crier-news"}), utf8(fallback));
    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(built(false, {"crier-news"}), utf8(fallback));
    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(built(false, {"crier-news"}), utf8(fallback));
    setenv("HOME", "relative", 1);
    EXPECT_EQ(built(false, {"crier-news"}), "(null)");
    unsetenv("HOME");
    EXPECT_EQ(built(false, {"crier-news"}), "(null)");
}

#endif

using FolderTest = StoreTest;

TEST_F(FolderTest, MakesEveryFolderAlongThePath) {
    fs::remove(base);
    const char* parts[] = {"a\\b", "latest", nullptr};
    EXPECT_EQ(crier_make_dirs(true, parts), 0);
    EXPECT_TRUE(fs::is_directory(store / "a" / "b"));
    EXPECT_FALSE(fs::exists(store / "a" / "b" / "latest"));
    EXPECT_EQ(crier_make_dirs(false, parts), 0);
    EXPECT_TRUE(fs::is_directory(store / "a" / "b" / "latest"));
}

TEST_F(FolderTest, ExistingFoldersAreFine) {
    const char* parts[] = {"wah", nullptr};
    EXPECT_EQ(crier_make_dirs(false, parts), 0);
    EXPECT_EQ(crier_make_dirs(false, parts), 0);
    EXPECT_TRUE(fs::is_directory(store / "wah"));
}

TEST_F(FolderTest, AFileInTheWayFails) {
    put(store / "a", "file");
    const char* parts[] = {"a", "b", nullptr};
    EXPECT_EQ(crier_make_dirs(false, parts), -1);
    EXPECT_EQ(get(store / "a"), "file");
}

using ReadTest = StoreTest;

TEST_F(ReadTest, MissingFileGivesNoText) {
    const ReadResult result = read({"crier-news"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.text, std::nullopt);
}

TEST_F(ReadTest, MissingFolderGivesNoText) {
    const ReadResult result = read({"wah", "latest"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.text, std::nullopt);
}

TEST_F(ReadTest, EmptyFileGivesEmptyText) {
    put(store / "crier-news", "");
    const ReadResult result = read({"crier-news"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.text, "");
}

TEST_F(ReadTest, GivesTheWholeFile) {
    const std::string content = "ABCDEFGH{\"items\":[1,2,3]} \xC3\xA4\xE2\x82\xAC";
    put(store / "wah" / "latest", content);
    EXPECT_EQ(read({"wah", "latest"}).text, content);
}

TEST_F(ReadTest, AFolderCannotBeRead) {
    fs::create_directories(store / "crier-news");
    const ReadResult result = read({"crier-news"});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.text, std::nullopt);
}

TEST_F(ReadTest, ReadingCreatesNothing) {
    read({"wah", "latest"});
    EXPECT_FALSE(fs::exists(store));
}

using WriteTest = StoreTest;

TEST_F(WriteTest, CreatesFoldersAndFile) {
    fs::remove(base);
    const char* parts[] = {"a\\b", "latest", nullptr};
    EXPECT_EQ(crier_write_file("hello", parts), 0);
    EXPECT_EQ(get(store / "a" / "b" / "latest"), "hello");
}

TEST_F(WriteTest, ReplacesALongerContentWhole) {
    put(store / "crier-system", "a much longer old content");
    const char* parts[] = {"crier-system", nullptr};
    EXPECT_EQ(crier_write_file("abc", parts), 0);
    EXPECT_EQ(get(store / "crier-system"), "abc");
    EXPECT_EQ(crier_write_file("", parts), 0);
    EXPECT_EQ(get(store / "crier-system"), "");
}

// Text-mode streams, as the store's files are text: on Windows a line ends
// in CR LF on disk and in LF in memory.
TEST_F(WriteTest, FilesAreText) {
    const char* parts[] = {"crier-news", nullptr};
    EXPECT_EQ(crier_write_file("a\nb\n", parts), 0);
#ifdef _WIN32
    EXPECT_EQ(get(store / "crier-news"), "a\r\nb\r\n");
#else
    EXPECT_EQ(get(store / "crier-news"), "a\nb\n");
#endif
    EXPECT_EQ(read({"crier-news"}).text, "a\nb\n");
}

TEST_F(WriteTest, RefusedPartWritesNothing) {
    const char* parts[] = {"..", "latest", nullptr};
    EXPECT_EQ(crier_write_file("x", parts), -1);
    EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"});
}

// Check-and-replace, on "crier-news" unless a name is given.
class SyncTest : public StoreTest {
protected:
    void sync(const char* data, const char* name = nullptr) {
        crier_sync_file(&host, name, name ? "latest" : "crier-news", data, "syncNewsConflict");
    }
    std::optional<std::string> news() { return get(store / "crier-news"); }
};

TEST_F(SyncTest, MissingFileTakesTaggedDataWhateverTheTag) {
    sync("ZZZZZZZZ ABCDEFGHnews");
    EXPECT_EQ(news(), "ABCDEFGHnews");
    EXPECT_TRUE(page().empty());
}

TEST_F(SyncTest, EmptyFileTakesTaggedDataWhateverTheTag) {
    put(store / "crier-news", "");
    sync("12345678 ABCDEFGHnews");
    EXPECT_EQ(news(), "ABCDEFGHnews");
    EXPECT_TRUE(page().empty());
}

TEST_F(SyncTest, MissingOrEmptyFileTakesUntaggedData) {
    sync("- xyz");
    EXPECT_EQ(news(), "xyz");
    put(store / "wah" / "latest", "");
    sync("- {}", "wah");
    EXPECT_EQ(get(store / "wah" / "latest"), "{}");
    EXPECT_TRUE(page().empty());
}

TEST_F(SyncTest, MatchingTagReplacesTheWholeFile) {
    put(store / "crier-news", "ABCDEFGH and a long old body that must go");
    sync("ABCDEFGH IJKLMNOP-new");
    EXPECT_EQ(news(), "IJKLMNOP-new");
    EXPECT_TRUE(page().empty());
}

TEST_F(SyncTest, AnySeparatorCharacter) {
    put(store / "crier-news", "ABCDEFGHold");
    sync("ABCDEFGH|IJKLMNOP");
    EXPECT_EQ(news(), "IJKLMNOP");
}

TEST_F(SyncTest, TagsCompareByteForByte) {
    put(store / "crier-news", "\xFF\x80\xC3\xA4\x01\x7F  body");
    sync("\xFF\x80\xC3\xA4\x01\x7F   IJKLMNOP");
    EXPECT_EQ(news(), "IJKLMNOP");
}

TEST_F(SyncTest, OtherTagConflictsWithTheWholeContent) {
    put(store / "crier-news", "ABCDEFGHcurrent news");
    sync("ABCDEFGX IJKLMNOP-new");
    EXPECT_EQ(news(), "ABCDEFGHcurrent news");
    EXPECT_EQ(page(), std::vector<std::string>{"m crierV1 syncNewsConflict ABCDEFGHcurrent news"});
}

TEST_F(SyncTest, UntaggedDataConflictsWithAnyContent) {
    put(store / "crier-news", "ABCDEFGHcurrent");
    sync("- xyz");
    EXPECT_EQ(news(), "ABCDEFGHcurrent");
    EXPECT_EQ(page(), std::vector<std::string>{"m crierV1 syncNewsConflict ABCDEFGHcurrent"});
}

TEST_F(SyncTest, ShortFileConflictsWithEveryTag) {
    put(store / "crier-news", "ABC");
    for (const char* data : {"ABCDEFGH new-content", "ABC      new-content", "ABCABCAB new-content"}) {
        page().clear();
        sync(data);
        EXPECT_EQ(news(), "ABC");
        EXPECT_EQ(page(), std::vector<std::string>{"m crierV1 syncNewsConflict ABC"}) << data;
    }
}

TEST_F(SyncTest, ConflictWordIsTheCallers) {
    put(store / "wah" / "latest", "ABCDEFGH{}");
    crier_sync_file(&host, "wah", "latest", "XXXXXXXX YYYYYYYY", "syncLatestConflict");
    EXPECT_EQ(page(), std::vector<std::string>{"m crierV1 syncLatestConflict ABCDEFGH{}"});
}

TEST_F(SyncTest, CreatesTheStoreAndNameFolders) {
    fs::remove(base);
    sync("- {}", "a\\b");
    EXPECT_EQ(get(store / "a" / "b" / "latest"), "{}");
}

TEST_F(SyncTest, DataShorterThanItsFormIsIgnored) {
    for (const char* data : {"", "-", "A", "ABCDEFGH", "ABCDEFGH "}) {
        sync(data);
        EXPECT_TRUE(page().empty()) << data;
        EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"}) << data;
    }
    put(store / "crier-news", "ABCDEFGH");
    sync("ABCDEFGH ");
    EXPECT_EQ(news(), "ABCDEFGH");
    EXPECT_TRUE(page().empty());
}

TEST_F(SyncTest, ShortestDataOfEachForm) {
    sync("- ");
    EXPECT_EQ(news(), "");
    sync("ZZZZZZZZ A");
    EXPECT_EQ(news(), "A");
}

}  // namespace
}  // namespace news_test
