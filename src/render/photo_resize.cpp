#include "render/photo_resize.h"

#include "settings/resize_setting.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace kw {

namespace {

WorkingSize Refused(QString why)
{
    return {QSize(), std::move(why)};
}

QString SizeText(int64_t width, int64_t height)
{
    return u"%1 x %2"_s.arg(width).arg(height);
}

// Whether the request would make a photo of `photo` size wider or taller.
bool WouldEnlarge(QSize photo, const ResizeRequest &request)
{
    if (request.targetLongEdge)
        return *request.targetLongEdge > std::max(photo.width(), photo.height());
    switch (request.scaleType) {
    case Code(ScaleType::ToWidth):
        return request.targetWidth > photo.width();
    case Code(ScaleType::ToHeight):
        return request.targetHeight > photo.height();
    case Code(ScaleType::Exact):
        return request.targetWidth > photo.width() || request.targetHeight > photo.height();
    default:
        return false;
    }
}

} // namespace

ResizeRequest ResizeRequestFrom(const CResizeSetting &setting)
{
    ResizeRequest request;
    request.resize = setting.resizeRequested();
    request.scaleType = setting.scaleType;
    request.targetWidth = setting.targetWidth;
    request.targetHeight = setting.targetHeight;
    request.targetLongEdge = setting.targetLongEdge;
    request.neverEnlarge = setting.neverEnlarge;
    return request;
}

WorkingSize ComputeWorkingSize(QSize photo, const ResizeRequest &request)
{
    const int32_t w = photo.width();
    const int32_t h = photo.height();
    if (w <= 0 || h <= 0)
        return Refused(u"the photo has no pixels (%1)"_s.arg(SizeText(w, h)));

    int32_t tw = w;
    int32_t th = h;
    int32_t product = 0;
    if (request.resize && request.neverEnlarge && WouldEnlarge(photo, request)) {
        // Kept at its own size; only the limits below apply.
    } else if (request.resize && request.targetLongEdge) {
        // The other side is never longer than the edge, so it fits in 32 bits.
        const int32_t edge = *request.targetLongEdge;
        const auto other = int32_t(int64_t(edge) * std::min(w, h) / std::max(w, h));
        tw = w >= h ? edge : other;
        th = w >= h ? other : edge;
    } else if (request.resize) {
        switch (request.scaleType) {
        case Code(ScaleType::ToWidth):
            tw = request.targetWidth;
            if (__builtin_mul_overflow(tw, h, &product))
                return Refused(u"a target width of %1 is too large for a %2 photo"_s.arg(tw).arg(
                    SizeText(w, h)));
            th = product / w;
            break;
        case Code(ScaleType::ToHeight):
            th = request.targetHeight;
            if (__builtin_mul_overflow(w, th, &product))
                return Refused(u"a target height of %1 is too large for a %2 photo"_s.arg(th).arg(
                    SizeText(w, h)));
            tw = product / h;
            break;
        case Code(ScaleType::Exact):
            tw = request.targetWidth;
            th = request.targetHeight;
            break;
        default:
            break;
        }
    }
    if (tw <= 0 || th <= 0)
        return Refused(
            u"resizing a %1 photo gives %2 pixels"_s.arg(SizeText(w, h), SizeText(tw, th)));
    if (int64_t(tw) * th > kMaxPhotoPixels)
        return Refused(u"a working size of %1 pixels is more than %2 megapixels"_s.arg(
            SizeText(tw, th), QString::number(kMaxPhotoPixels / 1'000'000)));
    return {QSize(tw, th), QString()};
}

int ChooseDctScaleDenominator(QSize stored, QSize target)
{
    if (target.width() <= 0 || target.height() <= 0)
        return 1;
    for (int d : {8, 4, 2}) {
        if (stored.width() / d >= target.width() && stored.height() / d >= target.height())
            return d;
    }
    return 1;
}

namespace {

// Fixed-point weights in 16 bits (so SSE2 multiplies two taps at once), 13
// of them fractional: a weight renormalised at a picture's edge can exceed 1,
// never 4, and every sum of 8-bit samples times weights stays far inside 32
// bits.
constexpr int kWeightBits = 13;
constexpr int32_t kWeightOne = 1 << kWeightBits;
constexpr int32_t kRounding = kWeightOne / 2;

double CatmullRom(double x)
{
    x = std::abs(x);
    if (x < 1.0)
        return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0)
        return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

// The input pixels and weights that make each output pixel along one axis.
struct AxisTaps
{
    int stride = 0;               // weights stored per output pixel
    std::vector<int> first;       // first input index of each output pixel
    std::vector<int> count;       // number of inputs of each output pixel
    std::vector<int16_t> weights; // fixed point, each pixel's weights sum to kWeightOne
    // The same weights two by two in one 32-bit word (first in the low half),
    // as a two-tap multiply takes them; an odd count ends with a zero.
    int pairStride = 0;
    std::vector<int32_t> pairs;
};

// `inExtent` is the span of input pixels that maps onto the output; it is
// inSize except after a box reduction whose last block was partial.
AxisTaps MakeTaps(int inSize, double inExtent, int outSize)
{
    const double scale = inExtent / outSize;
    // Shrinking widens the kernel by the reduction so that it low-passes;
    // enlarging keeps the plain bicubic.
    const double filterScale = std::max(scale, 1.0);
    const double support = 2.0 * filterScale;

    AxisTaps taps;
    taps.stride = std::min(inSize, int(std::ceil(2.0 * support)) + 2);
    taps.first.resize(outSize);
    taps.count.resize(outSize);
    taps.weights.assign(size_t(outSize) * taps.stride, 0);
    std::vector<double> w(taps.stride);

    for (int i = 0; i < outSize; ++i) {
        const double center = (i + 0.5) * scale;
        int lo = std::max(0, int(std::floor(center - support)));
        int hi = std::min(inSize, int(std::ceil(center + support)));
        hi = std::min(hi, lo + taps.stride);
        double sum = 0.0;
        for (int j = lo; j < hi; ++j) {
            w[j - lo] = CatmullRom((j + 0.5 - center) / filterScale);
            sum += w[j - lo];
        }
        // Drop taps that contribute nothing at either end.
        while (hi - lo > 1 && w[0] == 0.0) {
            std::copy(w.begin() + 1, w.begin() + (hi - lo), w.begin());
            ++lo;
        }
        while (hi - lo > 1 && w[hi - lo - 1] == 0.0)
            --hi;
        const int n = hi - lo;
        int16_t *out = &taps.weights[size_t(i) * taps.stride];
        if (sum <= 0.0) {
            // Cannot happen for an input pixel under the centre; stay safe.
            const int nearest = std::clamp(int(center), lo, hi - 1);
            out[nearest - lo] = kWeightOne;
        } else {
            int32_t total = 0;
            int largest = 0;
            for (int k = 0; k < n; ++k) {
                out[k] = int16_t(std::lround(w[k] / sum * kWeightOne));
                total += out[k];
                if (out[k] > out[largest])
                    largest = k;
            }
            // Exact unit sum: a flat area stays exactly flat.
            out[largest] = int16_t(out[largest] + kWeightOne - total);
        }
        taps.first[i] = lo;
        taps.count[i] = n;
    }
    taps.pairStride = (taps.stride + 1) / 2;
    taps.pairs.assign(size_t(outSize) * taps.pairStride, 0);
    for (int i = 0; i < outSize; ++i) {
        const int16_t *weights = &taps.weights[size_t(i) * taps.stride];
        int32_t *pair = &taps.pairs[size_t(i) * taps.pairStride];
        for (int k = 0; k < taps.count[i]; k += 2) {
            const uint16_t second = k + 1 < taps.count[i] ? uint16_t(weights[k + 1]) : 0;
            pair[k / 2] = int32_t(uint32_t(uint16_t(weights[k])) | uint32_t(second) << 16);
        }
    }
    return taps;
}

#if defined(__SSE2__)

// Two taps per multiply: pmaddwd takes pairs of 16-bit samples, each pair
// holding one channel of two input pixels, and the matching pair of weights
// (AxisTaps::pairs). Same integer sums as the portable code below, so both
// give identical pixels.

// Shifts the sums of four pixels to 8 bits with saturation, then keeps each
// colour at or below its pixel's alpha (the kernel's negative lobes can
// overshoot at sharp edges).
inline __m128i PackFour(__m128i p0, __m128i p1, __m128i p2, __m128i p3)
{
    const __m128i lo =
        _mm_packs_epi32(_mm_srai_epi32(p0, kWeightBits), _mm_srai_epi32(p1, kWeightBits));
    const __m128i hi =
        _mm_packs_epi32(_mm_srai_epi32(p2, kWeightBits), _mm_srai_epi32(p3, kWeightBits));
    const __m128i px = _mm_packus_epi16(lo, hi);
    __m128i alpha = _mm_srli_epi32(px, 24);
    alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
    alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
    return _mm_min_epu8(px, alpha);
}

// The four sums of one output pixel of a row.
inline __m128i RowPixel(const uint32_t *in, const AxisTaps &taps, int x)
{
    const __m128i zero = _mm_setzero_si128();
    const uint32_t *p = in + taps.first[x];
    const int32_t *pairs = &taps.pairs[size_t(x) * taps.pairStride];
    const int n = taps.count[x];
    __m128i acc = _mm_set1_epi32(kRounding);
    int k = 0;
    for (; k + 2 <= n; k += 2) {
        const __m128i two =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + k)), zero);
        const __m128i paired = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
        acc = _mm_add_epi32(acc, _mm_madd_epi16(paired, _mm_set1_epi32(pairs[k / 2])));
    }
    if (k < n) {
        const __m128i one = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[k])), zero);
        acc = _mm_add_epi32(
            acc, _mm_madd_epi16(_mm_unpacklo_epi16(one, zero), _mm_set1_epi32(pairs[k / 2])));
    }
    return acc;
}

void ResampleRow(const uint32_t *in, uint32_t *out, int outSize, const AxisTaps &taps)
{
    int x = 0;
    for (; x + 4 <= outSize; x += 4) {
        const __m128i four = PackFour(RowPixel(in, taps, x), RowPixel(in, taps, x + 1),
                                      RowPixel(in, taps, x + 2), RowPixel(in, taps, x + 3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), four);
    }
    for (; x < outSize; ++x) {
        const __m128i acc = RowPixel(in, taps, x);
        out[x] = uint32_t(_mm_cvtsi128_si32(PackFour(acc, acc, acc, acc)));
    }
}

// One output row from the input rows `rows` (one per tap) and their weights.
void ResampleColumn(const uint32_t *const *rows, const AxisTaps &taps, int y, uint32_t *out,
                    int width)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i rounding = _mm_set1_epi32(kRounding);
    const int32_t *pairs = &taps.pairs[size_t(y) * taps.pairStride];
    const int n = taps.count[y];
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        __m128i acc0 = rounding, acc1 = rounding, acc2 = rounding, acc3 = rounding;
        for (int k = 0; k < n; k += 2) {
            // Rows k and k + 1 interleaved byte by byte, then widened to 16 bits.
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[k] + x));
            const __m128i b =
                k + 1 < n ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[k + 1] + x))
                          : zero;
            const __m128i weights = _mm_set1_epi32(pairs[k / 2]);
            const __m128i lo = _mm_unpacklo_epi8(a, b);
            const __m128i hi = _mm_unpackhi_epi8(a, b);
            acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights));
            acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights));
            acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights));
            acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), PackFour(acc0, acc1, acc2, acc3));
    }
    for (; x < width; ++x) {
        __m128i acc = rounding;
        for (int k = 0; k < n; k += 2) {
            const __m128i a = _mm_cvtsi32_si128(int(rows[k][x]));
            const __m128i b = k + 1 < n ? _mm_cvtsi32_si128(int(rows[k + 1][x])) : zero;
            const __m128i paired = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);
            acc = _mm_add_epi32(acc, _mm_madd_epi16(paired, _mm_set1_epi32(pairs[k / 2])));
        }
        out[x] = uint32_t(_mm_cvtsi128_si32(PackFour(acc, acc, acc, acc)));
    }
}

#else

// Packs four fixed-point sums into one premultiplied pixel: alpha clamped to
// 0..255 and each colour to 0..alpha, since the kernel's negative lobes can
// overshoot at sharp edges.
inline uint32_t PackPremultiplied(int32_t b, int32_t g, int32_t r, int32_t a)
{
    const int32_t alpha = std::clamp(a >> kWeightBits, 0, 255);
    const int32_t blue = std::clamp(b >> kWeightBits, 0, alpha);
    const int32_t green = std::clamp(g >> kWeightBits, 0, alpha);
    const int32_t red = std::clamp(r >> kWeightBits, 0, alpha);
    return uint32_t(alpha) << 24 | uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
}

void ResampleRow(const uint32_t *in, uint32_t *out, int outSize, const AxisTaps &taps)
{
    for (int x = 0; x < outSize; ++x) {
        const uint32_t *p = in + taps.first[x];
        const int16_t *w = &taps.weights[size_t(x) * taps.stride];
        const int n = taps.count[x];
        int32_t b = kRounding, g = kRounding, r = kRounding, a = kRounding;
        for (int k = 0; k < n; ++k) {
            const uint32_t px = p[k];
            b += w[k] * int32_t(px & 0xff);
            g += w[k] * int32_t((px >> 8) & 0xff);
            r += w[k] * int32_t((px >> 16) & 0xff);
            a += w[k] * int32_t(px >> 24);
        }
        out[x] = PackPremultiplied(b, g, r, a);
    }
}

void ResampleColumn(const uint32_t *const *rows, const AxisTaps &taps, int y, uint32_t *out,
                    int width)
{
    const int16_t *w = &taps.weights[size_t(y) * taps.stride];
    const int n = taps.count[y];
    for (int x = 0; x < width; ++x) {
        int32_t b = kRounding, g = kRounding, r = kRounding, a = kRounding;
        for (int k = 0; k < n; ++k) {
            const uint32_t px = rows[k][x];
            b += w[k] * int32_t(px & 0xff);
            g += w[k] * int32_t((px >> 8) & 0xff);
            r += w[k] * int32_t((px >> 16) & 0xff);
            a += w[k] * int32_t(px >> 24);
        }
        out[x] = PackPremultiplied(b, g, r, a);
    }
}

#endif

// One source row of 32-bit pixels: the picture's own, or a row of the
// horizontally resampled intermediate.
class RowSource
{
public:
    RowSource(const QImage &image) : m_image(&image) {}
    RowSource(const std::vector<uint32_t> &pixels, int width)
        : m_pixels(pixels.data()), m_width(width)
    {}
    const uint32_t *row(int y) const
    {
        if (m_image)
            return reinterpret_cast<const uint32_t *>(m_image->constScanLine(y));
        return m_pixels + size_t(y) * m_width;
    }

private:
    const QImage *m_image = nullptr;
    const uint32_t *m_pixels = nullptr;
    int m_width = 0;
};

// Adds `count` bytes to as many running sums.
void AddBytes(uint32_t *sums, const uchar *bytes, int count)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        const __m128i lo = _mm_unpacklo_epi8(v, zero);
        const __m128i hi = _mm_unpackhi_epi8(v, zero);
        const __m128i parts[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                  _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        for (int j = 0; j < 4; ++j) {
            auto *at = reinterpret_cast<__m128i *>(sums + i + 4 * j);
            _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), parts[j]));
        }
    }
#endif
    for (; i < count; ++i)
        sums[i] += bytes[i];
}

// Averages blocks of kx x ky pixels; the last block of a row or column may be
// partial and averages what it has. Works on the four bytes of each pixel
// alike, whatever their order.
QImage BoxReduce(const QImage &source, int kx, int ky)
{
    const int sw = source.width();
    const int sh = source.height();
    const int rw = (sw + kx - 1) / kx;
    const int rh = (sh + ky - 1) / ky;
    QImage reduced(rw, rh, QImage::Format_ARGB32_Premultiplied);
    if (reduced.isNull())
        return {};
    std::vector<uint32_t> columns(size_t(sw) * 4);
    for (int oy = 0; oy < rh; ++oy) {
        std::fill(columns.begin(), columns.end(), 0);
        const int y0 = oy * ky;
        const int rows = std::min(ky, sh - y0);
        for (int y = y0; y < y0 + rows; ++y)
            AddBytes(columns.data(), source.constScanLine(y), sw * 4);
        uchar *out = reduced.scanLine(oy);
        for (int ox = 0; ox < rw; ++ox) {
            const int x0 = ox * kx;
            const int cols = std::min(kx, sw - x0);
            // Sums stay below 2^24 (kMaxBoxFactor), exact in a float.
            const float scale = 1.0f / float(cols * rows);
#if defined(__SSE2__)
            __m128i sum = _mm_setzero_si128();
            for (int x = x0; x < x0 + cols; ++x) {
                sum = _mm_add_epi32(sum, _mm_loadu_si128(reinterpret_cast<const __m128i *>(
                                             &columns[size_t(x) * 4])));
            }
            const __m128 mean =
                _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(scale)), _mm_set1_ps(0.5f));
            __m128i bytes = _mm_cvttps_epi32(mean);
            bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
            const int32_t pixel = _mm_cvtsi128_si32(bytes);
            std::memcpy(out + ox * 4, &pixel, 4);
#else
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (int x = x0; x < x0 + cols; ++x)
                    sum += columns[size_t(x) * 4 + c];
                out[ox * 4 + c] = uchar(float(sum) * scale + 0.5f);
            }
#endif
        }
    }
    return reduced;
}

// The reduction factor for the box step: as large as possible while the
// convolution that follows still shrinks by at least 2 on that axis. Capped
// so that a block's sum of 8-bit samples stays exact in a float; beyond it
// the convolution just has more taps.
constexpr int kMaxBoxFactor = 256;

int BoxFactor(int inSize, int outSize)
{
    return std::clamp(inSize / (2 * outSize), 1, kMaxBoxFactor);
}

QImage Convolve(const QImage &source, double extentW, double extentH, QSize target)
{
    const int sw = source.width();
    const int sh = source.height();
    const int tw = target.width();
    const int th = target.height();
    const bool horizontal = !(tw == sw && extentW == sw);
    const bool vertical = !(th == sh && extentH == sh);

    std::vector<uint32_t> intermediate;
    RowSource rows(source);
    if (horizontal) {
        const AxisTaps taps = MakeTaps(sw, extentW, tw);
        intermediate.resize(size_t(tw) * sh);
        for (int y = 0; y < sh; ++y) {
            ResampleRow(reinterpret_cast<const uint32_t *>(source.constScanLine(y)),
                        intermediate.data() + size_t(y) * tw, tw, taps);
        }
        rows = RowSource(intermediate, tw);
    }

    QImage result(tw, th, QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return {};
    if (!vertical) {
        for (int y = 0; y < th; ++y)
            std::copy_n(rows.row(y), tw, reinterpret_cast<uint32_t *>(result.scanLine(y)));
        return result;
    }

    const AxisTaps taps = MakeTaps(sh, extentH, th);
    std::vector<const uint32_t *> tapRows(size_t(taps.stride));
    for (int y = 0; y < th; ++y) {
        for (int k = 0; k < taps.count[y]; ++k)
            tapRows[size_t(k)] = rows.row(taps.first[y] + k);
        ResampleColumn(tapRows.data(), taps, y, reinterpret_cast<uint32_t *>(result.scanLine(y)),
                       tw);
    }
    return result;
}

} // namespace

QImage ResamplePhoto(const QImage &source, QSize target)
{
    if (source.isNull() || target.width() <= 0 || target.height() <= 0)
        return {};
    try {
        // RGB32 has the premultiplied layout with opaque alpha: read it as is.
        QImage input = source;
        if (input.format() != QImage::Format_ARGB32_Premultiplied &&
            input.format() != QImage::Format_RGB32) {
            input = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (input.isNull())
                return {};
        }
        QImage result;
        if (input.size() == target) {
            result = input.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        } else {
            const int kx = BoxFactor(input.width(), target.width());
            const int ky = BoxFactor(input.height(), target.height());
            double extentW = input.width();
            double extentH = input.height();
            if (kx > 1 || ky > 1) {
                input = BoxReduce(input, kx, ky);
                if (input.isNull())
                    return {};
                extentW /= kx;
                extentH /= ky;
            }
            result = Convolve(input, extentW, extentH, target);
        }
        if (!result.isNull())
            result.setColorSpace(source.colorSpace());
        return result;
    } catch (const std::bad_alloc &) {
        return {};
    }
}

} // namespace kw
