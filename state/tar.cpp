#include "state/tar.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

namespace yawp::state {
namespace {

struct Field {
    size_t offset;
    size_t width;
};

// The header fields this code touches; every other byte stays 0.
constexpr Field kName{0, kTarNameField};
constexpr Field kMode{100, 8};
constexpr Field kUid{108, 8};
constexpr Field kGid{116, 8};
constexpr Field kSize{124, 12};
constexpr Field kMtime{136, 12};
constexpr Field kChecksum{148, 8};
constexpr Field kTypeflag{156, 1};
constexpr Field kMagic{257, 6};
constexpr Field kVersion{263, 2};

struct FixedText {
    Field field;
    std::string_view text;  // the rest of the field stays NUL
};

constexpr FixedText kFixedFields[] = {
    {kMode, "0000644"},     {kUid, "0000000"}, {kGid, "0000000"}, {kMtime, "00000000000"},
    {kTypeflag, "0"},       {kMagic, "ustar"}, {kVersion, "00"},
};

constexpr size_t kSizeDigits = 11;  // then a NUL
constexpr size_t kChecksumMinDigits = 5;
constexpr uint32_t kChecksumMask = (1u << 18) - 1;  // the sum is kept modulo 2^18
constexpr size_t kChecksumTerminator = 6;           // byte 154 is always NUL
constexpr uint8_t kSpace = ' ';
constexpr size_t kEndBlocks = 2;
constexpr unsigned kOctalBits = 3;
constexpr uint64_t kOctalDigitMask = 7;

size_t padded(uint64_t size) {
    return static_cast<size_t>((size + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize);
}

size_t octal_digits(uint64_t value) {
    size_t n = 1;
    while (value >>= kOctalBits) ++n;
    return n;
}

// Exactly `digits` octal digits, zero-padded; the value must fit.
void write_octal(uint8_t* at, uint64_t value, size_t digits) {
    for (size_t i = digits; i-- > 0; value >>= kOctalBits) at[i] = static_cast<uint8_t>('0' + (value & kOctalDigitMask));
}

// Each byte counts as a signed 8-bit value, as the historical tars summed
// them; for ASCII headers this equals the unsigned sum.
uint32_t checksum(const uint8_t* header) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kTarBlockSize; ++i) sum += static_cast<uint32_t>(static_cast<int8_t>(header[i]));
    return sum & kChecksumMask;
}

// The header lands in a zeroed block.
void write_header(uint8_t* header, ByteView name, uint64_t size) {
    std::memcpy(header + kName.offset, name.data, name.size);
    for (const FixedText& f : kFixedFields) std::memcpy(header + f.field.offset, f.text.data(), f.text.size());
    write_octal(header + kSize.offset, size, kSizeDigits);

    std::memset(header + kChecksum.offset, kSpace, kChecksum.width);
    const uint32_t sum = checksum(header);
    const size_t digits = std::max(kChecksumMinDigits, octal_digits(sum));
    uint8_t* field = header + kChecksum.offset;
    write_octal(field, sum, digits);
    field[digits] = 0;
    field[kChecksumTerminator] = 0;  // byte 155 keeps its space
}

bool writable_name(ByteView name) {
    return name.size > 0 && name.size < kTarNameField && std::memchr(name.data, 0, name.size) == nullptr;
}

// Size of the whole archive, or EINVAL for a member it cannot hold.
int measure(const Map& members, size_t* total) {
    size_t sum = kEndBlocks * kTarBlockSize;
    int err = members.for_each([&](ByteView name, ByteView data) {
        if (!writable_name(name) || data.size >= kTarMaxMemberSize) return EINVAL;
        const size_t member = kTarBlockSize + padded(data.size);
        if (member > std::numeric_limits<size_t>::max() - sum) return EINVAL;
        sum += member;
        return 0;
    });
    *total = sum;
    return err;
}

// The member size, or false when the field is not 11 octal digits and a NUL
// or the value is not below the limit.
bool read_size(const uint8_t* header, uint64_t* size) {
    const uint8_t* field = header + kSize.offset;
    if (field[kSizeDigits] != 0) return false;
    uint64_t value = 0;
    for (size_t i = 0; i < kSizeDigits; ++i) {
        if (field[i] < '0' || field[i] > '7') return false;
        value = (value << kOctalBits) | static_cast<uint64_t>(field[i] - '0');
    }
    if (value >= kTarMaxMemberSize) return false;
    *size = value;
    return true;
}

ByteView read_name(const uint8_t* header) {
    const uint8_t* field = header + kName.offset;
    const void* nul = std::memchr(field, 0, kName.width);
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : kName.width;
    return {field, length};
}

}  // namespace

int write_archive(const Map& members, std::vector<uint8_t>* out) noexcept {
    size_t total = 0;
    if (int err = measure(members, &total)) return err;

    std::vector<uint8_t> archive;
    try {
        archive.resize(total);  // zero-filled: padding and end blocks are done
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (const std::length_error&) {
        return ENOMEM;
    }

    uint8_t* at = archive.data();
    members.for_each_oldest_first([&](ByteView name, ByteView data) {
        write_header(at, name, data.size);
        if (data.size != 0) std::memcpy(at + kTarBlockSize, data.data, data.size);
        at += kTarBlockSize + padded(data.size);
        return 0;
    });
    *out = std::move(archive);
    return 0;
}

int read_archive(ByteView bytes, Map* out) noexcept {
    Map members;
    size_t offset = 0;
    while (offset < bytes.size) {
        const uint8_t* header = bytes.data + offset;
        // Only this one byte is needed to see the end, so a short final zero
        // block is still an end.
        if (header[0] == 0) break;
        if (bytes.size - offset < kTarBlockSize) return EINVAL;

        uint64_t size = 0;
        if (!read_size(header, &size)) return EINVAL;
        const size_t data_offset = offset + kTarBlockSize;
        const size_t left = bytes.size - data_offset;
        if (size > left) return EINVAL;

        if (members.insert(read_name(header), {bytes.data + data_offset, static_cast<size_t>(size)}) != 0) {
            return ENOMEM;
        }
        // The padding of the last member need not be there.
        const size_t step = padded(size);
        if (step >= left) break;
        offset = data_offset + step;
    }
    *out = std::move(members);
    return 0;
}

}  // namespace yawp::state
