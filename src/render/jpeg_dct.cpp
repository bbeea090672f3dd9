#include "render/jpeg_dct.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kw {

namespace {

// basis[u][x] = C(u) / 2 * cos((2x + 1) u pi / 16), C(0) = 1 / sqrt(2): the
// JPEG DCT is this matrix applied to rows and to columns, and the inverse is
// its transpose (the matrix is orthonormal).
struct DctBasis
{
    std::array<std::array<float, 8>, 8> m;
    DctBasis()
    {
        const double pi = std::acos(-1.0);
        for (int u = 0; u < 8; ++u) {
            const double scale = u == 0 ? std::sqrt(0.125) : 0.5;
            for (int x = 0; x < 8; ++x)
                m[size_t(u)][size_t(x)] = float(scale * std::cos((2 * x + 1) * u * pi / 16));
        }
    }
};

const DctBasis &Basis()
{
    static const DctBasis basis;
    return basis;
}

} // namespace

void InverseDctBlock(const int16_t *coefficients, const uint16_t *quantTable, float *samples)
{
    const auto &m = Basis().m;
    float columns[64]; // after the vertical pass: [y][u]
    for (int u = 0; u < 8; ++u) {
        float in[8];
        bool zero = true;
        for (int v = 0; v < 8; ++v) {
            in[v] = float(coefficients[v * 8 + u]) * float(quantTable[v * 8 + u]);
            zero = zero && in[v] == 0.0f;
        }
        for (int y = 0; y < 8; ++y) {
            float sum = 0.0f;
            if (!zero) {
                for (int v = 0; v < 8; ++v)
                    sum += m[size_t(v)][size_t(y)] * in[v];
            }
            columns[y * 8 + u] = sum;
        }
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            float sum = 0.0f;
            for (int u = 0; u < 8; ++u)
                sum += m[size_t(u)][size_t(x)] * columns[y * 8 + u];
            samples[y * 8 + x] = std::clamp(sum + 128.0f, 0.0f, 255.0f);
        }
    }
}

void ForwardDctBlock(const float *samples, const uint16_t *quantTable, int16_t *coefficients)
{
    const auto &m = Basis().m;
    float rows[64]; // after the horizontal pass: [y][u]
    for (int y = 0; y < 8; ++y) {
        for (int u = 0; u < 8; ++u) {
            float sum = 0.0f;
            for (int x = 0; x < 8; ++x)
                sum += m[size_t(u)][size_t(x)] * (samples[y * 8 + x] - 128.0f);
            rows[y * 8 + u] = sum;
        }
    }
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            float sum = 0.0f;
            for (int y = 0; y < 8; ++y)
                sum += m[size_t(v)][size_t(y)] * rows[y * 8 + u];
            const float q = float(std::max<uint16_t>(quantTable[v * 8 + u], 1));
            const long level = std::lround(sum / q);
            coefficients[v * 8 + u] = int16_t(std::clamp(level, -32767L, 32767L));
        }
    }
}

} // namespace kw
