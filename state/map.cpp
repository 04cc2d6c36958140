#include "state/map.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace yawp::state {

int compare_keys(ByteView a, ByteView b) {
    const size_t common = std::min(a.size, b.size);
    for (size_t i = 0; i < common; ++i) {
        const uint8_t x = a.data[i];
        const uint8_t y = b.data[i];
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) break;  // both hold a NUL: the rest is not compared
    }
    if (a.size == b.size) return 0;
    return a.size < b.size ? -1 : 1;
}

int Map::insert(ByteView key, ByteView value) noexcept {
    try {
        // The hint is the first equal entry (or the first larger one), and
        // emplace_hint puts the new entry right before it.
        entries_.emplace_hint(entries_.lower_bound(key), key, value);
        return 0;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

std::optional<ByteView> Map::lookup(ByteView key) const noexcept {
    auto it = entries_.lower_bound(key);
    if (it == entries_.end() || compare_keys(it->first, key) != 0) return std::nullopt;
    return it->second;
}

size_t Map::erase(ByteView key) noexcept { return entries_.erase(key); }

}  // namespace yawp::state
