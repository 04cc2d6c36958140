// Helpers shared by the state tests.
#pragma once

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "state/document.h"
#include "state/map.h"
#include "state/map_file.h"
#include "state/tar.h"

namespace yawp::state::test {

using Bytes = std::vector<uint8_t>;

inline ByteView view(const Bytes& b) { return {b.data(), b.size()}; }
inline std::string text(ByteView v) { return {reinterpret_cast<const char*>(v.data), v.size}; }
inline std::string text(const Bytes& b) { return text(view(b)); }

inline std::vector<std::string> keys_of(const Map& map) {
    std::vector<std::string> keys;
    map.for_each([&](ByteView key, ByteView) { return keys.push_back(text(key)), 0; });
    return keys;
}

inline ParameterValues default_values() {
    ParameterValues v{};
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) v[i] = static_cast<float>(catalogue::entry(i)->def);
    return v;
}

inline Bytes saved(const ParameterValues& values = default_values(), std::string_view format = kFormatVst3) {
    Bytes out;
    EXPECT_EQ(save_document(format, 48000.0f, values, &out), 0);
    return out;
}

inline Bytes archive_of(std::initializer_list<std::pair<std::string_view, ByteView>> members) {
    Map map;
    for (const auto& [name, data] : members) EXPECT_EQ(map.insert(name, data), 0);
    Bytes out;
    EXPECT_EQ(write_archive(map, &out), 0);
    return out;
}

// A saved document opened up so that a test can change one thing in it and
// serialise it again. It owns every byte its maps point at.
struct EditableDocument {
    Bytes original = saved();
    Document doc;
    std::list<std::string> owned;

    EditableDocument() { EXPECT_EQ(parse_document(view(original), &doc), 0); }

    ByteView keep(std::string bytes) { return std::string_view(owned.emplace_back(std::move(bytes))); }
    void replace(Map& map, std::string_view key, std::string value) {
        map.erase(key);
        EXPECT_EQ(map.insert(key, keep(std::move(value))), 0);
    }
    Bytes bytes() const {
        Bytes out;
        EXPECT_EQ(serialise_document(doc, &out), 0);
        return out;
    }
};

// Stands in for a plug-in: the hooks coerce into its values like the VST3
// module does and log every call.
struct FakePlugin {
    ParameterValues values;
    ParameterValues received{};
    std::vector<std::string> calls;

    explicit FakePlugin(float start = 7.0f) { values.fill(start); }

    RestoreHooks hooks() {
        RestoreHooks h;
        h.user = this;
        h.begin = [](void* u) { static_cast<FakePlugin*>(u)->calls.push_back("begin"); };
        h.set = [](void* u, uint32_t i, float v) {
            auto* self = static_cast<FakePlugin*>(u);
            self->calls.push_back("set " + std::to_string(i));
            self->received[i] = v;
            self->values[i] = static_cast<float>(catalogue::coerce(i, v));
        };
        h.end = [](void* u) { static_cast<FakePlugin*>(u)->calls.push_back("end"); };
        return h;
    }
    int restore(const Bytes& bytes) { return restore_document(view(bytes), hooks()); }
};

}  // namespace yawp::state::test
