#include "removal_attack.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace kw::attack {

namespace {

float channel(QRgb pixel, int c)
{
    return float(c == 0 ? qRed(pixel) : c == 1 ? qGreen(pixel) : qBlue(pixel));
}

QRgb pixelAt(const QImage &image, int x, int y)
{
    x = std::clamp(x, 0, image.width() - 1);
    y = std::clamp(y, 0, image.height() - 1);
    return reinterpret_cast<const QRgb *>(image.constScanLine(y))[x];
}

void resizeField(GradientField &field, QRect region)
{
    field.region = region;
    const size_t size = size_t(region.width()) * region.height();
    for (int c = 0; c < 3; ++c) {
        field.gx[c].assign(size, 0.0f);
        field.gy[c].assign(size, 0.0f);
    }
}

bool isPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// In-place radix-2 FFT; the size must be a power of two.
void fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * std::numbers::pi / double(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w(1);
            for (size_t j = 0; j < length / 2; ++j) {
                const std::complex<double> u = a[i + j], v = a[i + j + length / 2] * w;
                a[i + j] = u + v;
                a[i + j + length / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Discrete sine transform I of `n` values taken `stride` apart, in place:
// S_k = sum_j v_j sin(pi (j+1) (k+1) / (n+1)). n + 1 must be a power of two.
void dst(double *values, int n, int stride, std::vector<std::complex<double>> &work)
{
    const size_t m = size_t(2 * (n + 1));
    work.assign(m, 0.0);
    for (int j = 0; j < n; ++j) {
        work[size_t(j + 1)] = values[size_t(j) * stride];
        work[m - size_t(j + 1)] = -values[size_t(j) * stride];
    }
    fft(work);
    for (int k = 0; k < n; ++k)
        values[size_t(k) * stride] = -work[size_t(k + 1)].imag() / 2;
}

} // namespace

GradientField Gradients(const QImage &picture, QRect region)
{
    GradientField field;
    resizeField(field, region);
    size_t i = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x, ++i) {
            const QRgb here = pixelAt(picture, x, y);
            const QRgb right = pixelAt(picture, x + 1, y);
            const QRgb below = pixelAt(picture, x, y + 1);
            for (int c = 0; c < 3; ++c) {
                field.gx[c][i] = channel(right, c) - channel(here, c);
                field.gy[c][i] = channel(below, c) - channel(here, c);
            }
        }
    }
    return field;
}

GradientField MedianGradients(const std::vector<QImage> &pictures, QRect region)
{
    std::vector<GradientField> each;
    each.reserve(pictures.size());
    for (const QImage &picture : pictures)
        each.push_back(Gradients(picture, region));
    GradientField median;
    resizeField(median, region);
    if (each.empty())
        return median;
    std::vector<float> values(each.size());
    const auto medianOf = [&](bool x, int c, size_t i) {
        for (size_t k = 0; k < each.size(); ++k)
            values[k] = x ? each[k].gx[c][i] : each[k].gy[c][i];
        const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
        std::nth_element(values.begin(), middle, values.end());
        return *middle;
    };
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < median.gx[c].size(); ++i) {
            median.gx[c][i] = medianOf(true, c, i);
            median.gy[c][i] = medianOf(false, c, i);
        }
    }
    return median;
}

GradientField MeanDifferenceGradients(const std::vector<QImage> &marked,
                                      const std::vector<QImage> &originals, QRect region)
{
    GradientField mean;
    resizeField(mean, region);
    const size_t count = std::min(marked.size(), originals.size());
    for (size_t k = 0; k < count; ++k) {
        const GradientField a = Gradients(marked[k], region);
        const GradientField b = Gradients(originals[k], region);
        for (int c = 0; c < 3; ++c) {
            for (size_t i = 0; i < mean.gx[c].size(); ++i) {
                mean.gx[c][i] += (a.gx[c][i] - b.gx[c][i]) / float(count);
                mean.gy[c][i] += (a.gy[c][i] - b.gy[c][i]) / float(count);
            }
        }
    }
    return mean;
}

double GradientNcc(const GradientField &a, const GradientField &b, QRect box)
{
    double sumA = 0, sumB = 0, sumAB = 0, sumAA = 0, sumBB = 0, n = 0;
    const auto at = [](const GradientField &f, int x, int y) {
        return size_t(y - f.region.top()) * f.region.width() + size_t(x - f.region.left());
    };
    for (int c = 0; c < 3; ++c) {
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                const size_t i = at(a, x, y), j = at(b, x, y);
                for (const auto &[p, q] :
                     {std::pair{a.gx[c][i], b.gx[c][j]}, std::pair{a.gy[c][i], b.gy[c][j]}}) {
                    sumA += p;
                    sumB += q;
                    sumAB += double(p) * q;
                    sumAA += double(p) * p;
                    sumBB += double(q) * q;
                    ++n;
                }
            }
        }
    }
    if (n == 0)
        return 0;
    const double cov = sumAB - sumA * sumB / n;
    const double varA = sumAA - sumA * sumA / n, varB = sumBB - sumB * sumB / n;
    return varA > 0 && varB > 0 ? cov / std::sqrt(varA * varB) : 0;
}

bool IsSolvableRegion(QRect region)
{
    return isPowerOfTwo(region.width() + 1) && isPowerOfTwo(region.height() + 1);
}

QRect SolvableRegionAround(QRect box)
{
    int w = 1, h = 1;
    while (w - 1 < box.width())
        w *= 2;
    while (h - 1 < box.height())
        h *= 2;
    QRect region(0, 0, w - 1, h - 1);
    region.moveCenter(box.center());
    return region;
}

std::vector<float> IntegrateGradients(const GradientField &field, int channel)
{
    const QRect region = field.region;
    if (!IsSolvableRegion(region))
        return {};
    const int n = region.width(), m = region.height();
    const std::vector<float> &gx = field.gx[channel];
    const std::vector<float> &gy = field.gy[channel];
    // The divergence with backward differences: with forward-difference
    // gradients it makes the 5-point Laplacian, so a field that is the
    // gradient of a picture zero around the region gives that picture back.
    std::vector<double> f(size_t(n) * m);
    for (int y = 0; y < m; ++y) {
        for (int x = 0; x < n; ++x) {
            const size_t i = size_t(y) * n + x;
            double div = gx[i] + gy[i];
            if (x > 0)
                div -= gx[i - 1];
            if (y > 0)
                div -= gy[i - size_t(n)];
            f[i] = div;
        }
    }
    std::vector<std::complex<double>> work;
    for (int y = 0; y < m; ++y)
        dst(f.data() + size_t(y) * n, n, 1, work);
    for (int x = 0; x < n; ++x)
        dst(f.data() + x, m, n, work);
    for (int l = 0; l < m; ++l) {
        const double ey = 2 * std::cos(std::numbers::pi * (l + 1) / (m + 1)) - 2;
        for (int k = 0; k < n; ++k) {
            const double ex = 2 * std::cos(std::numbers::pi * (k + 1) / (n + 1)) - 2;
            f[size_t(l) * n + k] /= ex + ey;
        }
    }
    for (int y = 0; y < m; ++y)
        dst(f.data() + size_t(y) * n, n, 1, work);
    for (int x = 0; x < n; ++x)
        dst(f.data() + x, m, n, work);
    const double scale = 4.0 / ((n + 1) * double(m + 1));
    std::vector<float> u(f.size());
    for (size_t i = 0; i < f.size(); ++i)
        u[i] = float(f[i] * scale);
    return u;
}

QImage RemoveEstimate(const QImage &marked, const GradientField &estimate,
                      const std::vector<float> integrated[3])
{
    QImage out = marked.convertToFormat(QImage::Format_RGB32);
    const QRect region = estimate.region & out.rect();
    for (int y = region.top(); y <= region.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            const size_t i = size_t(y - estimate.region.top()) * estimate.region.width() +
                             size_t(x - estimate.region.left());
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                const float value =
                    channel(line[x], c) - (integrated[c].empty() ? 0.0f : integrated[c][i]);
                rgb[c] = std::clamp(int(std::lround(value)), 0, 255);
            }
            line[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }
    return out;
}

double Psnr(const QImage &a, const QImage &b, QRect box)
{
    double squared = 0;
    double n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QRgb p = pixelAt(a, x, y), q = pixelAt(b, x, y);
            for (int c = 0; c < 3; ++c) {
                const double d = channel(p, c) - channel(q, c);
                squared += d * d;
                ++n;
            }
        }
    }
    if (n == 0 || squared == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 / (squared / n));
}

} // namespace kw::attack
