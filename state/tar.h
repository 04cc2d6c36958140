// A minimal POSIX ustar archive: regular files only, short names, no
// extended headers. The state document is one such archive holding another.
//
// The member list is a map of member name to member bytes; archives list
// members in the map's key order, so their order follows from the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "state/byte_view.h"
#include "state/map.h"

namespace yawp::state {

inline constexpr size_t kTarBlockSize = 512;
inline constexpr size_t kTarNameField = 100;                // names are shorter
inline constexpr uint64_t kTarMaxMemberSize = 1ull << 31;   // sizes are below

// [any-thread] Writes every member as a header block and zero-padded data
// blocks, then two zero blocks. Every field is fixed (time 0, owner 0, mode
// 644), so equal member maps give equal bytes. Returns 0, EINVAL for an empty
// name, a name of 100 bytes or more or holding a NUL, or data of 2 GiB or
// more, or ENOMEM. `out` is only written on success.
int write_archive(const Map& members, std::vector<uint8_t>* out) noexcept;

// [any-thread] Reads the members of an archive into a map whose keys point at
// the name fields and whose values point at the data inside `bytes`, which
// must outlive it. Only the name and size fields are examined; reading ends
// at a block starting with NUL or at the end of the bytes. Returns 0, EINVAL
// for a size field that is not 11 octal digits and NUL or not below 2 GiB, or
// for a header or data running past the end, or ENOMEM. `out` is only
// written on success.
int read_archive(ByteView bytes, Map* out) noexcept;

}  // namespace yawp::state
