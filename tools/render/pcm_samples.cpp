#include "pcm_samples.h"

#include <sndfile.h>

#include <cmath>

namespace yawp::render {
namespace {

constexpr int kWordBits = 32;
constexpr float kWordScale = 1.0f / 2147483648.0f;  // 2^-31

struct PcmWidth {
    int subtype;
    int bits;
};

constexpr PcmWidth kWidths[] = {
    {SF_FORMAT_PCM_S8, 8},  {SF_FORMAT_PCM_U8, 8},  {SF_FORMAT_PCM_16, 16},
    {SF_FORMAT_PCM_24, 24}, {SF_FORMAT_PCM_32, 32},
};

}  // namespace

int pcm_bits(int sndfile_format) {
    const int subtype = sndfile_format & SF_FORMAT_SUBMASK;
    for (const PcmWidth& w : kWidths)
        if (w.subtype == subtype) return w.bits;
    return 0;
}

void pcm_to_float(const int32_t* in, float* out, size_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<float>(in[i]) * kWordScale;
}

void float_to_pcm(const float* in, int32_t* out, size_t count, int bits) {
    const double full_scale = std::ldexp(1.0, bits - 1);
    const double step = std::ldexp(1.0, kWordBits - bits);
    for (size_t i = 0; i < count; ++i) {
        double v = std::nearbyint(static_cast<double>(in[i]) * full_scale);
        if (!(v > -full_scale)) v = std::isnan(v) ? 0.0 : -full_scale;
        if (v > full_scale - 1) v = full_scale - 1;
        out[i] = static_cast<int32_t>(v * step);
    }
}

}  // namespace yawp::render
