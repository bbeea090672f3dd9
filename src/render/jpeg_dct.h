#pragma once

#include <cstdint>

// The 8 x 8 transforms of the JPEG coefficient path: libjpeg keeps its own
// DCT and quantisation private, so blocks that take a watermark are decoded
// and encoded again here. Blocks are 64 values row by row (natural order, as
// libjpeg's coefficient arrays and quantisation tables hold them). Pure
// functions; any thread.
namespace kw {

inline constexpr int kDctBlockSize = 64;

// Dequantises `coefficients` with `quantTable` and inverse-transforms them to
// samples on the 0..255 scale (the level shift undone), clamped to that range
// as a decoder clamps, but not rounded: re-encoding loses less that way.
void InverseDctBlock(const int16_t *coefficients, const uint16_t *quantTable, float *samples);

// Forward-transforms samples on the 0..255 scale and quantises them with
// `quantTable`, rounding to the nearest step as libjpeg does.
void ForwardDctBlock(const float *samples, const uint16_t *quantTable, int16_t *coefficients);

} // namespace kw
