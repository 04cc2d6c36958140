// A libsndfile handle that closes itself and moves samples as floats.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace yawp::render {

class SoundFile {
public:
    SoundFile() = default;
    ~SoundFile() { close(); }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // Each returns false with a one-line description in *error.
    bool open_read(const std::string& path, std::string* error);
    // A file with the same container, rate and channel count as `like`;
    // 32-bit float samples when `as_float`, else the same sample format.
    // Messages name the file `shown_as`.
    bool open_write(const std::string& path, const std::string& shown_as, const SoundFile& like,
                    bool as_float, std::string* error);

    const SF_INFO& info() const { return info_; }

    // Interleaved frames. Integer PCM files go through pcm_samples.h, so
    // their samples survive a read and a write unchanged. read returns the
    // number of frames read (0 at the end) or -1 on a read error.
    int64_t read(float* frames, int64_t count);
    bool write(const float* frames, int64_t count);

    // False if the file could not be finished (its last data not written).
    bool close();

    const char* last_error() const { return sf_strerror(file_); }

private:
    void opened();

    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    int pcm_bits_ = 0;  // 0: libsndfile converts to and from float itself
    std::vector<int32_t> words_;
};

}  // namespace yawp::render
