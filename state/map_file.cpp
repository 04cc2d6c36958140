#include "state/map_file.h"

#include <cerrno>
#include <limits>
#include <new>
#include <stdexcept>

#include "state/little_endian.h"

namespace yawp::state {
namespace {

constexpr size_t kLengthBytes = kU32Bytes;
constexpr size_t kRecordHeaderBytes = 2 * kLengthBytes;  // key length, value length
constexpr uint64_t kMaxLength = std::numeric_limits<uint32_t>::max();

// Size of the whole file, or EINVAL for an entry the format cannot hold.
int measure(const Map& map, size_t* total) {
    size_t sum = 0;
    int err = map.for_each([&](ByteView key, ByteView value) {
        if (key.size == 0 || key.size > kMaxLength || value.size > kMaxLength) return EINVAL;
        const size_t record = kRecordHeaderBytes + key.size + value.size;  // at most 8 + 2 x 4 GiB
        if (record > std::numeric_limits<size_t>::max() - sum) return EINVAL;
        sum += record;
        return 0;
    });
    *total = sum;
    return err;
}

uint8_t* append(uint8_t* at, ByteView bytes) {
    if (bytes.size != 0) std::memcpy(at, bytes.data, bytes.size);
    return at + bytes.size;
}

}  // namespace

int serialise_map(const Map& map, std::vector<uint8_t>* out) noexcept {
    size_t total = 0;
    if (int err = measure(map, &total)) return err;

    std::vector<uint8_t> file;
    try {
        file.resize(total);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (const std::length_error&) {
        return ENOMEM;
    }

    uint8_t* at = file.data();
    map.for_each_oldest_first([&](ByteView key, ByteView value) {
        store_u32le(at, static_cast<uint32_t>(key.size));
        store_u32le(at + kLengthBytes, static_cast<uint32_t>(value.size));
        at = append(at + kRecordHeaderBytes, key);
        at = append(at, value);
        return 0;
    });
    *out = std::move(file);
    return 0;
}

int parse_map(ByteView bytes, Map* out) noexcept {
    Map map;
    size_t offset = 0;
    while (offset < bytes.size) {
        // Every length is checked against what is left before it is used, so
        // no sum can overflow and nothing past the end is ever read.
        size_t left = bytes.size - offset;
        if (left < kRecordHeaderBytes) return EINVAL;
        const uint8_t* record = bytes.data + offset;
        const size_t key_size = load_u32le(record);
        const size_t value_size = load_u32le(record + kLengthBytes);
        left -= kRecordHeaderBytes;
        if (key_size == 0 || key_size > left || value_size > left - key_size) return EINVAL;

        const uint8_t* key = record + kRecordHeaderBytes;
        if (map.insert({key, key_size}, {key + key_size, value_size}) != 0) return ENOMEM;
        offset += kRecordHeaderBytes + key_size + value_size;
    }
    *out = std::move(map);
    return 0;
}

}  // namespace yawp::state
