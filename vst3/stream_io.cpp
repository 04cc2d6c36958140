#include "vst3/stream_io.h"

#include <algorithm>
#include <limits>
#include <new>

namespace yawp::vst3 {

using Steinberg::IBStream;
using Steinberg::int32;
using Steinberg::int64;
using Steinberg::kResultOk;

// One stream call moves at most this many bytes.
constexpr size_t kMaxChunk = std::numeric_limits<int32>::max();
static_assert(kMaxStateBytes <= static_cast<int64>(kMaxChunk), "a state is read in one call");

bool read_stream(IBStream* stream, std::vector<uint8_t>* bytes) noexcept {
    int64 length = 0;
    if (stream->seek(0, IBStream::kIBSeekEnd, nullptr) != kResultOk) return false;
    if (stream->tell(&length) != kResultOk) return false;
    if (stream->seek(0, IBStream::kIBSeekSet, nullptr) != kResultOk) return false;
    if (length > kMaxStateBytes) return false;
    try {
        bytes->assign(static_cast<size_t>(std::max<int64>(length, 0)), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (bytes->empty()) return true;

    const int32 asked = static_cast<int32>(bytes->size());
    int32 got = 0;
    return stream->read(bytes->data(), asked, &got) == kResultOk && got == asked;
}

bool write_stream(IBStream* stream, const std::vector<uint8_t>& bytes) noexcept {
    // The stream takes a pointer to non-const bytes but only reads them.
    auto* data = const_cast<uint8_t*>(bytes.data());
    for (size_t done = 0; done < bytes.size();) {
        const int32 asked = static_cast<int32>(std::min(bytes.size() - done, kMaxChunk));
        int32 written = 0;
        if (stream->write(data + done, asked, &written) != kResultOk || written != asked) return false;
        done += static_cast<size_t>(asked);
    }
    return true;
}

}  // namespace yawp::vst3
