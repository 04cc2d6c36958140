#include "state_file.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "pending_file.h"
#include "state/document.h"
#include "state/little_endian.h"

namespace yawp::render {
namespace {

// Far more than any state document; a bigger file is not one.
constexpr size_t kMaxStateBytes = 16u << 20;

bool read_bytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open state '" + path + "': " + std::strerror(errno);
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read state '" + path + "'";
        return false;
    }
    if (bytes->size() > kMaxStateBytes) {
        *error = "state '" + path + "' is refused: far too large for a state document";
        return false;
    }
    return true;
}

std::string refusal_text(const state::Refusal& r) {
    const std::string key = catalogue::state_key(r.index) ? catalogue::state_key(r.index) : "?";
    switch (r.kind) {
        case state::Refusal::kWrongId: return "it was not saved by Yawp Wah (its \"id\" differs)";
        case state::Refusal::kMissingValue: return "the value of " + key + " is missing";
        case state::Refusal::kWrongSize: return "the value of " + key + " is not a 4-byte number";
        case state::Refusal::kNotANumber: return "the value of " + key + " is not a number (NaN)";
        case state::Refusal::kNone: break;
    }
    return "it is damaged";
}

// Reads and checks the document; on refusal *error says why.
bool read_document(const std::string& path, std::vector<uint8_t>* bytes, state::Document* doc,
                   state::ParameterValues* values, std::string* error) {
    if (!read_bytes(path, bytes, error)) return false;
    const int err = state::parse_document({bytes->data(), bytes->size()}, doc);
    if (err != 0) {
        *error = "state '" + path + "' is refused: " +
                 (err == ENOMEM ? std::string("out of memory")
                                : "not a Yawp Wah state document (a damaged archive, a missing member "
                                  "or another layout version)");
        return false;
    }
    state::Refusal why;
    if (state::check_document(*doc, values, &why) != 0) {
        *error = "state '" + path + "' is refused: " + refusal_text(why);
        return false;
    }
    return true;
}

bool printable(state::ByteView v) {
    for (size_t i = 0; i < v.size; ++i)
        if (!std::isprint(v.data[i])) return false;
    return true;
}

// Info values carry no type: the key says what they are.
void print_info_value(std::FILE* to, std::string_view key, state::ByteView v) {
    if (key == "sample_rate" && v.size == 4) {
        std::fprintf(to, "%.9g", state::load_f32le(v.data));
    } else if (key.starts_with("version_") && v.size == 4) {
        std::fprintf(to, "%d", static_cast<int32_t>(state::load_u32le(v.data)));
    } else if (printable(v)) {
        std::fprintf(to, "\"%.*s\"", static_cast<int>(v.size), reinterpret_cast<const char*>(v.data));
    } else {
        for (size_t i = 0; i < v.size; ++i) std::fprintf(to, "%02x", v.data[i]);
    }
}

}  // namespace

bool load_state(const std::string& path, float values[catalogue::kInputCount], std::string* error) {
    std::vector<uint8_t> bytes;
    state::Document doc;
    state::ParameterValues stored;
    if (!read_document(path, &bytes, &doc, &stored, error)) return false;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
        values[i] = static_cast<float>(catalogue::coerce(i, stored[i]));
    return true;
}

bool save_state(const std::string& path, std::string_view format, float sample_rate,
                const float values[catalogue::kInputCount], std::string* error) {
    state::ParameterValues v;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) v[i] = values[i];
    std::vector<uint8_t> bytes;
    if (state::save_document(format, sample_rate, v, &bytes) != 0) {
        *error = "cannot build the state document for '" + path + "'";
        return false;
    }
    PendingFile file(path);
    std::FILE* f = file.create() ? std::fopen(file.path().c_str(), "wb") : nullptr;
    bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr) ok = std::fclose(f) == 0 && ok;
    if (!ok || !file.commit()) {
        *error = "cannot write state '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool show_state(const std::string& path, std::FILE* to, std::string* error) {
    std::vector<uint8_t> bytes;
    state::Document doc;
    state::ParameterValues values;
    if (!read_document(path, &bytes, &doc, &values, error)) return false;
    std::fprintf(to, "%s: Yawp Wah state, %zu bytes\n", path.c_str(), bytes.size());
    doc.info.for_each([to](state::ByteView key, state::ByteView value) {
        const std::string_view k(reinterpret_cast<const char*>(key.data), key.size);
        std::fprintf(to, "  %-16.*s ", static_cast<int>(k.size()), k.data());
        print_info_value(to, k, value);
        std::fputc('\n', to);
        return 0;
    });
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
        std::fprintf(to, "  %-16s %.9g %s\n", catalogue::state_key(i), values[i], catalogue::unit_text(i));
    return true;
}

}  // namespace yawp::render
