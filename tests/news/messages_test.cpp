// The page's "crierV1" requests and the exact texts the page receives.
#include "temp_store.h"

namespace news_test {
namespace {

using Page = std::vector<std::string>;
using MessageTest = StoreTest;

TEST_F(MessageTest, FirstRunInitOnlySaysDone) {
    send("crierV1 init wah");
    EXPECT_EQ(page(), Page{"m crierV1 initDone "});
    EXPECT_FALSE(fs::exists(store));
}

TEST_F(MessageTest, InitAfterNewSid) {
    send("crierV1 newSid abc");
    EXPECT_TRUE(page().empty());
    send("crierV1 init wah");
    EXPECT_EQ(page(), (Page{"m crierV1 initSid abc", "m crierV1 initDone "}));
}

TEST_F(MessageTest, InitSendsEveryExistingFileInOrder) {
    put(store / "crier-system", "sid-1");
    put(store / "crier-news", "ABCDEFGH{news}");
    put(store / "wah" / "latest", "12345678{latest}");
    put(store / "other" / "latest", "not this one");
    send("crierV1 init wah");
    EXPECT_EQ(page(), (Page{"m crierV1 initSid sid-1", "m crierV1 initNews ABCDEFGH{news}",
                            "m crierV1 initLatest 12345678{latest}", "m crierV1 initDone "}));
}

TEST_F(MessageTest, InitSkipsOnlyMissingFiles) {
    put(store / "wah" / "latest", "L");
    send("crierV1 init wah");
    EXPECT_EQ(page(), (Page{"m crierV1 initLatest L", "m crierV1 initDone "}));
}

TEST_F(MessageTest, InitEmptyFilesCountAsExisting) {
    put(store / "crier-system", "");
    put(store / "crier-news", "");
    put(store / "wah" / "latest", "");
    send("crierV1 init wah");
    EXPECT_EQ(page(), (Page{"m crierV1 initSid ", "m crierV1 initNews ", "m crierV1 initLatest ",
                            "m crierV1 initDone "}));
}

TEST_F(MessageTest, InitNameIsTheWholeRest) {
    put(store / "my wah" / "latest", "spaced");
    send("crierV1 init my wah");
    EXPECT_EQ(page(), (Page{"m crierV1 initLatest spaced", "m crierV1 initDone "}));
}

TEST_F(MessageTest, GetNewsWithoutFile) {
    send("crierV1 getNews ");
    EXPECT_EQ(page(), Page{"m crierV1 getNews "});
}

TEST_F(MessageTest, GetNewsSendsTheFileAndIgnoresItsArguments) {
    put(store / "crier-news", "ABCDEFGH[1,2]");
    send("crierV1 getNews whatever");
    EXPECT_EQ(page(), Page{"m crierV1 getNews ABCDEFGH[1,2]"});
}

TEST_F(MessageTest, NewSidOverwritesSilently) {
    send("crierV1 newSid first-and-longer");
    send("crierV1 newSid second");
    EXPECT_EQ(get(store / "crier-system"), "second");
    EXPECT_TRUE(page().empty());
}

TEST_F(MessageTest, SyncNewsWithMatchingTagReplacesSilently) {
    put(store / "crier-news", "ABCDEFGHold");
    send("crierV1 syncNews ABCDEFGH IJKLMNOPnew");
    EXPECT_EQ(get(store / "crier-news"), "IJKLMNOPnew");
    EXPECT_TRUE(page().empty());
}

TEST_F(MessageTest, SyncNewsConflictCarriesTheCurrentNews) {
    put(store / "crier-news", "ABCDEFGHcurrent");
    send("crierV1 syncNews ZZZZZZZZ IJKLMNOPnew");
    EXPECT_EQ(get(store / "crier-news"), "ABCDEFGHcurrent");
    EXPECT_EQ(page(), Page{"m crierV1 syncNewsConflict ABCDEFGHcurrent"});
}

TEST_F(MessageTest, SyncLatestCreatesThenConflicts) {
    send("crierV1 syncLatest wah - {}");
    EXPECT_TRUE(fs::is_directory(store / "wah"));
    EXPECT_EQ(get(store / "wah" / "latest"), "{}");
    EXPECT_TRUE(page().empty());
    send("crierV1 syncLatest wah - {}");
    EXPECT_EQ(page(), Page{"m crierV1 syncLatestConflict {}"});
}

TEST_F(MessageTest, SyncLatestWithMatchingTag) {
    put(store / "wah" / "latest", "00000001{a}");
    send("crierV1 syncLatest wah 00000001 00000002{a,b}");
    EXPECT_EQ(get(store / "wah" / "latest"), "00000002{a,b}");
    EXPECT_TRUE(page().empty());
}

TEST_F(MessageTest, NestedNamesMakeNestedFolders) {
    send("crierV1 syncLatest a\\b - {}");
    EXPECT_TRUE(fs::is_directory(store / "a"));
    EXPECT_TRUE(fs::is_directory(store / "a" / "b"));
    EXPECT_EQ(get(store / "a" / "b" / "latest"), "{}");
    send("crierV1 init a\\b");
    EXPECT_EQ(page(), (Page{"m crierV1 initLatest {}", "m crierV1 initDone "}));
}

TEST_F(MessageTest, ForcedNewsReplacesWhateverItHeld) {
    put(store / "crier-news", "ABCDEFGH a long body");
    send("crierV1 syncNewsForce X");
    EXPECT_EQ(get(store / "crier-news"), "X");
    EXPECT_TRUE(page().empty());
}

TEST_F(MessageTest, ForcedLatestTakesEverythingAfterTheName) {
    put(store / "wah" / "latest", "ABCDEFGHold");
    send("crierV1 syncLatestForce wah new content with spaces");
    EXPECT_EQ(get(store / "wah" / "latest"), "new content with spaces");
    send("crierV1 syncLatestForce fresh ");
    EXPECT_EQ(get(store / "fresh" / "latest"), "");
    EXPECT_TRUE(page().empty());
}

TEST_F(MessageTest, LatestRequestsWithoutASpaceAfterTheNameAreIgnored) {
    send("crierV1 syncLatest wah");
    send("crierV1 syncLatestForce wah");
    send("crierV1 syncLatest ");
    send("crierV1 syncLatestForce ");
    EXPECT_TRUE(page().empty());
    EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"});
}

TEST_F(MessageTest, OtherTextsAreIgnored) {
    for (const char* text : {"", "crierV1", "crierV1 init", "crierV1 getNews", "crierV2 init wah",
                             "CRIERV1 init wah", "crierV1 getnews ", "crierV1  init wah",
                             "crierV1 syncNewsForce", "xcrierV1 init wah"}) {
        send(text);
        EXPECT_TRUE(page().empty()) << text;
    }
    crier_handle_message(&host, nullptr);
    EXPECT_TRUE(page().empty());
    EXPECT_EQ(tree(root), std::vector<std::string>{"appdata/"});
}

TEST_F(MessageTest, TheDataOfSyncNewsIsTheWholeRest) {
    send("crierV1 syncNews - ABCDEFGH with spaces ");
    EXPECT_EQ(get(store / "crier-news"), "ABCDEFGH with spaces ");
}

}  // namespace
}  // namespace news_test
