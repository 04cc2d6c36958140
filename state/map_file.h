// The map file: the binary form of a map, stored as "info.map" and
// "parameters.map". A plain run of records with no header, count,
// terminator or padding:
//
//   key length (u32 LE, at least 1) | value length (u32 LE) | key | value
//
// Records come in ascending key order, so equal maps give equal bytes. The
// file carries no types: the reader knows from the key what a value means.
#pragma once

#include <cstdint>
#include <vector>

#include "state/byte_view.h"
#include "state/map.h"

namespace yawp::state {

// [any-thread] The records of `map` in key order. Returns 0, EINVAL for an
// empty key or a length that does not fit 32 bits, or ENOMEM. `out` is only
// written on success.
int serialise_map(const Map& map, std::vector<uint8_t>* out) noexcept;

// [any-thread] Parses `bytes` into a map whose entries point into `bytes`,
// which must outlive it. Returns 0, EINVAL for a record with an empty key or
// one that runs past the end, or ENOMEM. `out` is only written on success.
int parse_map(ByteView bytes, Map* out) noexcept;

}  // namespace yawp::state
