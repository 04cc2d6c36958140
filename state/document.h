// The state document: the one byte string a host keeps for a plug-in
// instance, the same for the VST3, the LV2 and the CLAP module.
//
//   outer ustar archive
//     "dsp.tar"          inner ustar archive
//       "info.map"         map file: who wrote the state
//       "parameters.map"   map file: the 32 input values, f32 LE, plain units
//       "version"          the text "1.0"
//     ...extra outer members, kept but unused
//
// A parsed document is made of views into the caller's bytes, which must
// outlive it. Nothing here may run on the audio thread: everything allocates.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/catalogue.h"
#include "state/byte_view.h"
#include "state/map.h"

namespace yawp::state {

inline constexpr std::string_view kProductId = "tallow-yawp-wah";
inline constexpr std::string_view kLayoutVersion = "1.0";

inline constexpr std::string_view kFormatVst3 = "vst3";
inline constexpr std::string_view kFormatLv2 = "lv2";
inline constexpr std::string_view kFormatClap = "clap";
#ifdef _WIN32
inline constexpr std::string_view kPlatform = "windows";
#else
inline constexpr std::string_view kPlatform = "linux";
#endif

// Member names.
inline constexpr std::string_view kDspMember = "dsp.tar";
inline constexpr std::string_view kInfoMember = "info.map";
inline constexpr std::string_view kParametersMember = "parameters.map";
inline constexpr std::string_view kVersionMember = "version";

using ParameterValues = std::array<float, catalogue::kInputCount>;

// A default-constructed document is the empty one: creating it cannot fail.
struct Document {
    Map info;
    Map parameters;
    Map extra_inner;  // inner members other than info.map, parameters.map, version
    Map extra_outer;  // outer members other than dsp.tar
};

// [any-thread] The document's bytes. Returns 0, EINVAL when a map or member
// cannot be written or an extra member takes one of the names above, or
// ENOMEM. `out` is only written on success.
int serialise_document(const Document& doc, std::vector<uint8_t>* out) noexcept;

// [any-thread] Reads both archives, checks "version" and parses both maps.
// Returns 0, EINVAL for malformed bytes, a missing member or another layout
// version, or ENOMEM. `out` is only written on success.
int parse_document(ByteView bytes, Document* out) noexcept;

// [any-thread] The checks every restore makes before applying anything: the
// "id" is exactly kProductId, and each of the 32 keys holds a 4-byte float
// that is not NaN. Other info entries are ignored, so either module loads the
// other's states. Returns 0 with `values` filled in catalogue order, or
// EINVAL with `values` untouched.
//
// `why`, when given, says which rule refused the document.
struct Refusal {
    enum Kind { kNone, kWrongId, kMissingValue, kWrongSize, kNotANumber };
    Kind kind = kNone;
    uint32_t index = 0;  // the parameter, for the last three
};
int check_document(const Document& doc, ParameterValues* values, Refusal* why = nullptr) noexcept;

// Supplied by the caller of a restore. `set` gets the stored value as it is
// and converts and clamps it on the way to its parameter. Any hook may be
// null; none may throw.
struct RestoreHooks {
    void* user = nullptr;
    void (*begin)(void* user) = nullptr;
    void (*set)(void* user, uint32_t index, float value) = nullptr;
    void (*end)(void* user) = nullptr;
};

// [any-thread] Parses and checks the document, and only when all of it
// passed calls begin, set for indices 0 to 31 in order, then end. A refused
// document calls no hook at all. Returns 0, EINVAL or ENOMEM.
int restore_document(ByteView bytes, const RestoreHooks& hooks) noexcept;

// [any-thread] The save steps both modules share: a document with the info
// entries ("format" is kFormatVst3, kFormatLv2 or kFormatClap) and the 32 values in
// catalogue order, serialised. Returns 0, EINVAL for a NaN value (it could
// never be restored), or ENOMEM. `out` is only written on success.
int save_document(std::string_view format, float sample_rate, const ParameterValues& values,
                  std::vector<uint8_t>* out) noexcept;

// [any-thread] The same document as a module built for `platform` (one of
// the kPlatform values) saves it: what a build tool writes for another
// platform's bundle, such as the factory presets.
int save_document_for(std::string_view platform, std::string_view format, float sample_rate,
                      const ParameterValues& values, std::vector<uint8_t>* out) noexcept;

}  // namespace yawp::state
