// Document parsing and the common restore: a refused document calls no hook,
// an accepted one calls all 34 with no NaN, and a parsed document written
// back restores to the same values.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "state/document.h"

using namespace yawp::state;

namespace {

struct Calls {
    int begin = 0;
    int set = 0;
    int end = 0;
    ParameterValues values{};
};

int restore(ByteView bytes, Calls* calls) {
    RestoreHooks hooks;
    hooks.user = calls;
    hooks.begin = [](void* u) { static_cast<Calls*>(u)->begin++; };
    hooks.set = [](void* u, uint32_t i, float v) {
        auto* c = static_cast<Calls*>(u);
        FUZZ_CHECK(i == static_cast<uint32_t>(c->set) && c->begin == 1 && c->end == 0);
        FUZZ_CHECK(!std::isnan(v));
        c->values[i] = v;
        c->set++;
    };
    hooks.end = [](void* u) { static_cast<Calls*>(u)->end++; };
    return restore_document(bytes, hooks);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView input{data, size};
    Calls calls;
    const int restored = restore(input, &calls);
    if (restored != 0) {
        fuzz::check_failure(restored);
        FUZZ_CHECK(calls.begin == 0 && calls.set == 0 && calls.end == 0);
    } else {
        FUZZ_CHECK(calls.begin == 1 && calls.set == 32 && calls.end == 1);
    }

    Document doc;
    if (int err = parse_document(input, &doc)) {
        FUZZ_CHECK(restored != 0);
        fuzz::check_failure(err);
        return 0;
    }
    std::vector<uint8_t> bytes;
    if (serialise_document(doc, &bytes) != 0) return 0;  // a member name too long to write
    Calls again;
    const int restored_again = restore({bytes.data(), bytes.size()}, &again);
    FUZZ_CHECK(restored_again == restored);
    if (restored == 0) FUZZ_CHECK(std::memcmp(&again.values, &calls.values, sizeof calls.values) == 0);
    return 0;
}
