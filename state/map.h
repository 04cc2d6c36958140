// The map: an ordered table of byte-string keys to byte-string values.
//
// It is the in-memory form of the ".map" files and the member list of every
// archive. Entries are views: the map never copies, owns or frees key or
// value bytes. A map is used by one thread at a time.
#pragma once

#include <cstddef>
#include <map>
#include <optional>

#include "state/byte_view.h"

namespace yawp::state {

// Key order: bytes compared unsigned over the common length, stopping early
// where both keys hold a NUL; when that part is equal the shorter key comes
// first and keys of equal length are equal. Returns <0, 0 or >0.
int compare_keys(ByteView a, ByteView b);

struct KeyOrder {
    bool operator()(ByteView a, ByteView b) const { return compare_keys(a, b) < 0; }
};

class Map {
public:
    Map() = default;
    Map(Map&&) noexcept = default;
    Map& operator=(Map&&) noexcept = default;
    Map(const Map&) = delete;
    Map& operator=(const Map&) = delete;

    // Adds an entry even when an equal key exists; the new entry goes before
    // the equal ones, so equal keys enumerate newest first.
    // Returns 0, or ENOMEM with the map unchanged.
    int insert(ByteView key, ByteView value) noexcept;

    // The value of the first entry with an equal key, or nothing. An empty
    // value is a view of length 0, not nothing.
    std::optional<ByteView> lookup(ByteView key) const noexcept;

    // Removes every entry with an equal key; returns how many went.
    size_t erase(ByteView key) noexcept;

    // Visits the entries in ascending key order. `visit(key, value)` returns
    // an int; a non-zero result stops the walk and is returned.
    template <typename Visit>
    int for_each(Visit&& visit) const {
        for (const auto& [key, value] : entries_) {
            if (int stop = visit(key, value)) return stop;
        }
        return 0;
    }

    // Ascending key order too, but each run of equal keys oldest first: the
    // order in which a reader, inserting as it meets them, rebuilds the same
    // map. Writers use it so that a map read back and written again keeps
    // its bytes and which duplicate a lookup finds.
    template <typename Visit>
    int for_each_oldest_first(Visit&& visit) const {
        for (auto run = entries_.begin(); run != entries_.end();) {
            const auto run_end = entries_.upper_bound(run->first);
            for (auto it = run_end; it != run;) {
                --it;
                if (int stop = visit(it->first, it->second)) return stop;
            }
            run = run_end;
        }
        return 0;
    }

    // Inserts every entry of `other`, keeping its order of equal keys.
    // Returns 0, or ENOMEM with some entries inserted.
    int insert_all(const Map& other) noexcept {
        return other.for_each_oldest_first([&](ByteView key, ByteView value) { return insert(key, value); });
    }

    size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

private:
    std::multimap<ByteView, ByteView, KeyOrder> entries_;
};

}  // namespace yawp::state
