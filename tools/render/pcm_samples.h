// Exact conversion between integer PCM samples and floats.
//
// libsndfile's own float conversion scales 16-bit samples by 1/32768 when
// reading but by 32767 when writing, so a sample read and written back can
// come out one step smaller. The renderer instead moves integer files
// through libsndfile's 32-bit integer interface, where a sample of any
// width arrives left-aligned, and scales here by powers of two: a sample
// that the engine leaves alone is written back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yawp::render {

// Bits per sample of a plain integer PCM format (8, 16, 24 or 32); 0 for
// every other sample format (float, compressed, companded).
int pcm_bits(int sndfile_format);

// Left-aligned 32-bit samples to floats in [-1, 1).
void pcm_to_float(const int32_t* in, float* out, size_t count);

// Floats to left-aligned samples of the given width: rounded to the nearest
// step, clipped to full scale, NaN written as silence.
void float_to_pcm(const float* in, int32_t* out, size_t count, int bits);

}  // namespace yawp::render
