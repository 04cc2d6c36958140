#include "sound_file.h"

#include "pcm_samples.h"

namespace yawp::render {
namespace {

bool is_float_format(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

}  // namespace

void SoundFile::opened() {
    pcm_bits_ = pcm_bits(info_.format);
    // Companded and compressed integer files still go through libsndfile's
    // float conversion; the wah's resonances can push samples past full
    // scale, and those should clip rather than wrap around.
    if (pcm_bits_ == 0 && !is_float_format(info_.format))
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

bool SoundFile::open_read(const std::string& path, std::string* error) {
    info_ = SF_INFO{};
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) {
        *error = "cannot read '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    opened();
    return true;
}

bool SoundFile::open_write(const std::string& path, const std::string& shown_as,
                           const SoundFile& like, bool as_float, std::string* error) {
    info_ = SF_INFO{};
    info_.samplerate = like.info_.samplerate;
    info_.channels = like.info_.channels;
    info_.format = like.info_.format;
    if (as_float) info_.format = (info_.format & SF_FORMAT_TYPEMASK) | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info_)) {
        *error = as_float ? "this file format cannot hold float samples; leave out --float"
                          : "libsndfile cannot write this file format";
        return false;
    }
    file_ = sf_open(path.c_str(), SFM_WRITE, &info_);
    if (file_ == nullptr) {
        *error = "cannot write '" + shown_as + "': " + sf_strerror(nullptr);
        return false;
    }
    opened();
    return true;
}

int64_t SoundFile::read(float* frames, int64_t count) {
    sf_count_t got = 0;
    if (pcm_bits_ == 0) {
        got = sf_readf_float(file_, frames, count);
    } else {
        words_.resize(static_cast<size_t>(count * info_.channels));
        got = sf_readf_int(file_, words_.data(), count);
        if (got > 0) pcm_to_float(words_.data(), frames, static_cast<size_t>(got * info_.channels));
    }
    if (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
    return got;
}

bool SoundFile::write(const float* frames, int64_t count) {
    if (pcm_bits_ == 0) return sf_writef_float(file_, frames, count) == count;
    const size_t samples = static_cast<size_t>(count * info_.channels);
    words_.resize(samples);
    float_to_pcm(frames, words_.data(), samples, pcm_bits_);
    return sf_writef_int(file_, words_.data(), count) == count;
}

bool SoundFile::close() {
    if (file_ == nullptr) return true;
    const int status = sf_close(file_);
    file_ = nullptr;
    return status == 0;
}

}  // namespace yawp::render
