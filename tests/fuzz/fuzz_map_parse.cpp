// Map file parsing: views stay inside the input, and a parsed map writes back
// to exactly the records it came from, sorted.
#include <vector>

#include "fuzz_check.h"
#include "state/map_file.h"

using namespace yawp::state;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView input{data, size};
    Map map;
    if (int err = parse_map(input, &map)) {
        fuzz::check_failure(err);
        return 0;
    }
    map.for_each([&](ByteView key, ByteView value) {
        fuzz::check_inside(key, input);
        fuzz::check_inside(value, input);
        FUZZ_CHECK(map.lookup(key).has_value());
        return 0;
    });

    std::vector<uint8_t> once;
    FUZZ_CHECK(serialise_map(map, &once) == 0);
    FUZZ_CHECK(once.size() == size);  // the same records, maybe in another order
    Map again;
    FUZZ_CHECK(parse_map({once.data(), once.size()}, &again) == 0);
    FUZZ_CHECK(again.size() == map.size());
    std::vector<uint8_t> twice;
    FUZZ_CHECK(serialise_map(again, &twice) == 0);
    FUZZ_CHECK(twice == once);
    return 0;
}
