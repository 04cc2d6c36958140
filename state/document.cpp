#include "state/document.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>

#include "product_version.h"
#include "state/little_endian.h"
#include "state/map_file.h"
#include "state/tar.h"

namespace yawp::state {
namespace {

constexpr std::string_view kIdKey = "id";
constexpr std::string_view kFormatKey = "format";
constexpr std::string_view kPlatformKey = "platform";
constexpr std::string_view kSampleRateKey = "sample_rate";

struct VersionNumber {
    std::string_view key;
    int32_t value;
};

// The product version that every saved state carries.
constexpr VersionNumber kVersionNumbers[] = {
    {"version_major", version::kMajor},
    {"version_minor", version::kMinor},
    {"version_revision", version::kRevision},
    {"version_build", version::kBuild},
};
constexpr size_t kVersionCount = std::size(kVersionNumbers);

constexpr std::string_view kReservedInner[] = {kInfoMember, kParametersMember, kVersionMember};

// What may follow "1.0" in the version member.
constexpr std::string_view kWhiteSpace = "\t\n\v\f\r ";

constexpr uint32_t kFloatMagnitudeBits = 0x7fffffffu;
constexpr uint32_t kFloatInfinityBits = 0x7f800000u;

using WordBytes = uint8_t[kU32Bytes];  // one little-endian number

// By the bits, so that no floating-point mode can hide a NaN.
bool is_nan_bits(uint32_t bits) { return (bits & kFloatMagnitudeBits) > kFloatInfinityBits; }

ByteView view(const std::vector<uint8_t>& bytes) { return {bytes.data(), bytes.size()}; }

bool takes_reserved_name(const Document& doc) {
    for (std::string_view name : kReservedInner) {
        if (doc.extra_inner.lookup(name)) return true;
    }
    return doc.extra_outer.lookup(kDspMember).has_value();
}

int write_inner(const Document& doc, std::vector<uint8_t>* inner) {
    std::vector<uint8_t> info;
    std::vector<uint8_t> parameters;
    Map members;
    int err = serialise_map(doc.info, &info);
    if (!err) err = serialise_map(doc.parameters, &parameters);
    if (!err) err = members.insert(kVersionMember, kLayoutVersion);
    if (!err) err = members.insert(kInfoMember, view(info));
    if (!err) err = members.insert(kParametersMember, view(parameters));
    if (!err) err = members.insert_all(doc.extra_inner);
    if (!err) err = write_archive(members, inner);
    return err;
}

int write_outer(const Document& doc, const std::vector<uint8_t>& inner, std::vector<uint8_t>* out) {
    Map members;
    int err = members.insert(kDspMember, view(inner));
    if (!err) err = members.insert_all(doc.extra_outer);
    if (!err) err = write_archive(members, out);
    return err;
}

// "1.0", optionally followed by white space: a trailing line feed from a
// hand-edited file must not make a state unreadable.
bool version_accepted(std::optional<ByteView> version) {
    if (!version || version->size < kLayoutVersion.size()) return false;
    if (std::memcmp(version->data, kLayoutVersion.data(), kLayoutVersion.size()) != 0) return false;
    for (size_t i = kLayoutVersion.size(); i < version->size; ++i) {
        if (kWhiteSpace.find(static_cast<char>(version->data[i])) == kWhiteSpace.npos) return false;
    }
    return true;
}

int parse_member_map(const Map& members, std::string_view name, Map* out) {
    std::optional<ByteView> bytes = members.lookup(name);
    if (!bytes) return EINVAL;
    return parse_map(*bytes, out);
}

// Views of the save values; they live in the caller's frame.
struct SaveBytes {
    WordBytes sample_rate;
    WordBytes versions[kVersionCount];
    WordBytes parameters[catalogue::kInputCount];
};

int insert_info(Map& info, std::string_view format, std::string_view platform, const SaveBytes& bytes) {
    int err = info.insert(kIdKey, kProductId);
    for (size_t i = 0; i < kVersionCount && !err; ++i) {
        err = info.insert(kVersionNumbers[i].key, {bytes.versions[i], kU32Bytes});
    }
    if (!err) err = info.insert(kFormatKey, format);
    if (!err) err = info.insert(kPlatformKey, platform);
    if (!err) err = info.insert(kSampleRateKey, {bytes.sample_rate, kU32Bytes});
    return err;
}

int insert_parameters(Map& parameters, const SaveBytes& bytes) {
    int err = 0;
    for (uint32_t i = 0; i < catalogue::kInputCount && !err; ++i) {
        err = parameters.insert(catalogue::state_key(i), {bytes.parameters[i], kU32Bytes});
    }
    return err;
}

}  // namespace

int serialise_document(const Document& doc, std::vector<uint8_t>* out) noexcept {
    // A second member under a reserved name would be written and then shadow
    // or be shadowed by the real one when read back.
    if (takes_reserved_name(doc)) return EINVAL;
    std::vector<uint8_t> inner;
    if (int err = write_inner(doc, &inner)) return err;
    return write_outer(doc, inner, out);
}

int parse_document(ByteView bytes, Document* out) noexcept {
    Map outer;
    if (int err = read_archive(bytes, &outer)) return err;
    std::optional<ByteView> dsp = outer.lookup(kDspMember);
    if (!dsp) return EINVAL;

    Map inner;
    if (int err = read_archive(*dsp, &inner)) return err;
    if (!version_accepted(inner.lookup(kVersionMember))) return EINVAL;

    Document doc;
    if (int err = parse_member_map(inner, kInfoMember, &doc.info)) return err;
    if (int err = parse_member_map(inner, kParametersMember, &doc.parameters)) return err;

    // What is left of the member lists are the extras; no copy is needed.
    for (std::string_view name : kReservedInner) inner.erase(name);
    outer.erase(kDspMember);
    doc.extra_inner = std::move(inner);
    doc.extra_outer = std::move(outer);
    *out = std::move(doc);
    return 0;
}

int check_document(const Document& doc, ParameterValues* values, Refusal* why) noexcept {
    Refusal ignored;
    Refusal& r = why ? *why : ignored;
    auto refuse = [&r](Refusal::Kind kind, uint32_t index) {
        r = {kind, index};
        return EINVAL;
    };
    std::optional<ByteView> id = doc.info.lookup(kIdKey);
    if (!id || !equal_bytes(*id, kProductId)) return refuse(Refusal::kWrongId, 0);

    ParameterValues read{};
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        std::optional<ByteView> value = doc.parameters.lookup(catalogue::state_key(i));
        if (!value) return refuse(Refusal::kMissingValue, i);
        if (value->size != kU32Bytes) return refuse(Refusal::kWrongSize, i);
        const uint32_t bits = load_u32le(value->data);
        if (is_nan_bits(bits)) return refuse(Refusal::kNotANumber, i);
        read[i] = std::bit_cast<float>(bits);
    }
    r = {};
    *values = read;
    return 0;
}

int restore_document(ByteView bytes, const RestoreHooks& hooks) noexcept {
    ParameterValues values{};
    {
        // Parsed and dropped before any hook runs: a begin hook may take a
        // lock, and nothing is freed while it is held.
        Document doc;
        if (int err = parse_document(bytes, &doc)) return err;
        if (int err = check_document(doc, &values)) return err;
    }
    if (hooks.begin) hooks.begin(hooks.user);
    if (hooks.set) {
        for (uint32_t i = 0; i < catalogue::kInputCount; ++i) hooks.set(hooks.user, i, values[i]);
    }
    if (hooks.end) hooks.end(hooks.user);
    return 0;
}

int save_document(std::string_view format, float sample_rate, const ParameterValues& values,
                  std::vector<uint8_t>* out) noexcept {
    return save_document_for(kPlatform, format, sample_rate, values, out);
}

int save_document_for(std::string_view platform, std::string_view format, float sample_rate,
                      const ParameterValues& values, std::vector<uint8_t>* out) noexcept {
    SaveBytes bytes{};
    store_f32le(bytes.sample_rate, sample_rate);
    for (size_t i = 0; i < kVersionCount; ++i) store_i32le(bytes.versions[i], kVersionNumbers[i].value);
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        if (is_nan_bits(std::bit_cast<uint32_t>(values[i]))) return EINVAL;
        store_f32le(bytes.parameters[i], values[i]);
    }

    Document doc;
    int err = insert_info(doc.info, format, platform, bytes);
    if (!err) err = insert_parameters(doc.parameters, bytes);
    if (!err) err = serialise_document(doc, out);
    return err;
}

}  // namespace yawp::state
