// A fresh, empty store for each test: a temporary root folder, with the
// store's base folder (APPDATA on Windows, XDG_DATA_HOME on Linux) inside it,
// so that anything a test makes outside the store is still under the root
// and can be seen.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fake_host.h"
#include "news/crier.h"

namespace news_test {

namespace fs = std::filesystem;

// The store's base folder, as the store looks it up. Clearing it on Linux
// also clears HOME, the fallback.
void set_base_folder(const fs::path& folder);
void clear_base_folder();

std::string utf8(const fs::path& path);
std::string text_of(const CrierPathChar* path);

// Raw file access that bypasses the store.
void put(const fs::path& file, const std::string& bytes);
std::optional<std::string> get(const fs::path& file);
// Every file and folder under `folder`, relative, in order.
std::vector<std::string> tree(const fs::path& folder);

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void send(const std::string& text) { crier_handle_message(&host, text.c_str()); }
    std::vector<std::string>& page() { return host.page; }

    fs::path root;   // everything a test makes lives here
    fs::path base;   // root/appdata
    fs::path store;  // base/Tallow.AUDIO
    WV2Host host;

private:
    std::optional<std::string> saved_home;
};

}  // namespace news_test
