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

// transposed.m[x][u] = basis.m[u][x]
const DctBasis &Transposed()
{
    static const DctBasis transposed = [] {
        DctBasis t = Basis();
        for (size_t u = 0; u < 8; ++u) {
            for (size_t x = 0; x < 8; ++x)
                t.m[x][u] = Basis().m[u][x];
        }
        return t;
    }();
    return transposed;
}

} // namespace

// Both transforms are written as sums of scaled rows of eight, so that each
// inner loop runs over eight neighbouring values and the compiler can do it
// in vector registers without reordering any sum.

void InverseDctBlock(const int16_t *coefficients, const uint16_t *quantTable, float *samples)
{
    const auto &m = Basis().m;
    // Vertical pass: columns[y][u] = sum over v of m[v][y] * F[v][u].
    float columns[64] = {};
    for (int v = 0; v < 8; ++v) {
        float in[8];
        bool zero = true;
        for (int u = 0; u < 8; ++u) {
            in[u] = float(coefficients[v * 8 + u]) * float(quantTable[v * 8 + u]);
            zero = zero && in[u] == 0.0f;
        }
        if (zero)
            continue; // most high-frequency rows are
        for (int y = 0; y < 8; ++y) {
            const float weight = m[size_t(v)][size_t(y)];
            for (int u = 0; u < 8; ++u)
                columns[y * 8 + u] += weight * in[u];
        }
    }
    // Horizontal pass: samples[y][x] = sum over u of m[u][x] * columns[y][u].
    for (int y = 0; y < 8; ++y) {
        float row[8] = {};
        for (int u = 0; u < 8; ++u) {
            const float weight = columns[y * 8 + u];
            for (int x = 0; x < 8; ++x)
                row[x] += weight * m[size_t(u)][size_t(x)];
        }
        for (int x = 0; x < 8; ++x)
            samples[y * 8 + x] = std::clamp(row[x] + 128.0f, 0.0f, 255.0f);
    }
}

void ForwardDctBlock(const float *samples, const uint16_t *quantTable, int16_t *coefficients)
{
    const auto &t = Transposed().m;
    // Horizontal pass: rows[y][u] = sum over x of m[u][x] * (s[y][x] - 128).
    float rows[64] = {};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const float sample = samples[y * 8 + x] - 128.0f;
            for (int u = 0; u < 8; ++u)
                rows[y * 8 + u] += sample * t[size_t(x)][size_t(u)];
        }
    }
    // Vertical pass: out[v][u] = sum over y of m[v][y] * rows[y][u].
    for (int v = 0; v < 8; ++v) {
        float out[8] = {};
        for (int y = 0; y < 8; ++y) {
            const float weight = t[size_t(y)][size_t(v)];
            for (int u = 0; u < 8; ++u)
                out[u] += weight * rows[y * 8 + u];
        }
        // Half away from zero, as libjpeg rounds; without branches, so that
        // the row is quantised in vector registers too.
        int levels[8];
        for (int u = 0; u < 8; ++u) {
            const float scaled = out[u] / float(std::max<uint16_t>(quantTable[v * 8 + u], 1));
            levels[u] = int(scaled + std::copysign(0.5f, scaled));
        }
        for (int u = 0; u < 8; ++u)
            coefficients[v * 8 + u] = int16_t(std::clamp(levels[u], -32767, 32767));
    }
}

} // namespace kw
