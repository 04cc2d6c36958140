#include "state_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace yawp::test {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

state::ParameterValues values_in(const std::string& path) {
    const std::vector<uint8_t> bytes = read_file(path);
    state::Document doc;
    state::ParameterValues v{};
    EXPECT_EQ(state::parse_document({bytes.data(), bytes.size()}, &doc), 0);
    EXPECT_EQ(state::check_document(doc, &v), 0);
    return v;
}

}  // namespace yawp::test
