// Archive reading: views stay inside the input, and whatever was read writes
// back to an archive that reads as the same members in the same order.
#include <vector>

#include "fuzz_check.h"
#include "state/tar.h"

using namespace yawp::state;

namespace {

struct Member {
    ByteView name;
    ByteView data;
};

std::vector<Member> members_of(const Map& map) {
    std::vector<Member> out;
    map.for_each([&](ByteView name, ByteView data) { return out.push_back({name, data}), 0; });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView input{data, size};
    Map map;
    if (int err = read_archive(input, &map)) {
        fuzz::check_failure(err);
        return 0;
    }
    const std::vector<Member> first = members_of(map);
    for (const Member& m : first) {
        fuzz::check_inside(m.name, input);
        fuzz::check_inside(m.data, input);
        FUZZ_CHECK(m.name.size > 0 && m.name.size <= kTarNameField);
    }

    std::vector<uint8_t> archive;
    if (int err = write_archive(map, &archive)) {
        FUZZ_CHECK(err == EINVAL);  // only a name that fills the whole field
        return 0;
    }
    FUZZ_CHECK(archive.size() % kTarBlockSize == 0);
    Map again;
    FUZZ_CHECK(read_archive({archive.data(), archive.size()}, &again) == 0);
    const std::vector<Member> second = members_of(again);
    FUZZ_CHECK(second.size() == first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        FUZZ_CHECK(equal_bytes(first[i].name, second[i].name));
        FUZZ_CHECK(equal_bytes(first[i].data, second[i].data));
    }
    return 0;
}
