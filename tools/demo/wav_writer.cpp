#include "wav_writer.h"

#include <sndfile.h>

namespace yawp::demo {

bool write_wav(const std::string& path, const std::vector<float>& samples, uint32_t sample_rate,
               std::string* error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sample_rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        *error = sf_strerror(nullptr);
        return false;
    }
    const sf_count_t count = static_cast<sf_count_t>(samples.size());
    const bool written = sf_writef_float(f, samples.data(), count) == count;
    if (!written) *error = sf_strerror(f);
    if (sf_close(f) != 0 && written) {
        *error = "could not finish the file";
        return false;
    }
    return written;
}

}  // namespace yawp::demo
