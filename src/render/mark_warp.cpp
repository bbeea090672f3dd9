#include "render/mark_warp.h"

#include "model/layer_values.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPainter>

#include <openssl/evp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// xoshiro256**: small, fast, and the same sequence on every platform and
// standard library (the std distributions are not).
class SeededRandom
{
public:
    explicit SeededRandom(const MarkWarpSeed &seed)
    {
        for (int i = 0; i < 4; ++i)
            std::memcpy(&m_state[i], seed.data() + 8 * i, 8);
        if (!(m_state[0] | m_state[1] | m_state[2] | m_state[3]))
            m_state[0] = 0x9E3779B97F4A7C15ull;
    }

    uint64_t next()
    {
        const uint64_t result = rotl(m_state[1] * 5, 7) * 9;
        const uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = rotl(m_state[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double unit() { return double(next() >> 11) * 0x1.0p-53; }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t m_state[4] = {};
};

MarkWarpSeed toSeed(const QByteArray &digest)
{
    MarkWarpSeed seed{};
    std::memcpy(seed.data(), digest.constData(), std::min<size_t>(seed.size(), digest.size()));
    return seed;
}

void addLayerRecords(QCryptographicHash &hash, std::span<const CWatermarkConf> layers)
{
    for (const CWatermarkConf &layer : layers) {
        for (const LayerField &field : LayerFields()) {
            QString value;
            switch (field.kind) {
            case LayerFieldKind::Text:
                value = layer.*field.text;
                break;
            case LayerFieldKind::Font:
                value = FormatFontList(layer.*field.font);
                break;
            case LayerFieldKind::Color:
                value = FormatLayerColor(layer.*field.color);
                break;
            case LayerFieldKind::Integer:
            case LayerFieldKind::Flag:
            case LayerFieldKind::Code:
                value = FormatLayerInteger(layer.*field.integer);
                break;
            }
            // Name, length and value: no two records give the same bytes.
            hash.addData(field.element.toUtf8());
            const QByteArray bytes = value.toUtf8();
            hash.addData(QByteArray::number(bytes.size()) + ':');
            hash.addData(bytes);
        }
        hash.addData(QByteArrayView("\n"));
    }
}

// Separable Gaussian blur of a row-major grid, values beyond the edges
// taken as zero (the grid carries a border of its own for that).
std::vector<float> gaussianKernel(double sigma)
{
    const int radius = std::max(1, int(std::ceil(3.0 * sigma)));
    std::vector<float> kernel(size_t(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[size_t(i + radius)] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float &k : kernel)
        k = float(k / sum);
    return kernel;
}

void gaussianBlur(std::vector<float> &grid, int columns, int rows, double sigma)
{
    const std::vector<float> kernel = gaussianKernel(sigma);
    const int radius = int(kernel.size() / 2);

    std::vector<float> pass(grid.size(), 0.0f);
    for (int y = 0; y < rows; ++y) {
        const float *in = grid.data() + size_t(y) * columns;
        float *out = pass.data() + size_t(y) * columns;
        for (int x = 0; x < columns; ++x) {
            float v = 0;
            for (int k = std::max(-radius, -x); k <= std::min(radius, columns - 1 - x); ++k)
                v += kernel[size_t(k + radius)] * in[x + k];
            out[x] = v;
        }
    }
    for (int y = 0; y < rows; ++y) {
        float *out = grid.data() + size_t(y) * columns;
        for (int x = 0; x < columns; ++x) {
            float v = 0;
            for (int k = std::max(-radius, -y); k <= std::min(radius, rows - 1 - y); ++k)
                v += kernel[size_t(k + radius)] * pass[size_t(y + k) * columns + x];
            out[x] = v;
        }
    }
}

} // namespace

Result<QByteArray> FileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{u"cannot read \"%1\": %2"_s.arg(path, file.errorString())};
    // OpenSSL rather than QCryptographicHash: it uses the processor's SHA
    // instructions, about ten times faster on a 24 MP photo's file.
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return Failure{u"cannot digest \"%1\": no SHA-256"_s.arg(path)};
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return Failure{u"cannot read \"%1\": %2"_s.arg(path, file.errorString())};
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.constData(), size_t(got));
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char *>(digest.data()),
                           &length) != 1)
        return Failure{u"cannot digest \"%1\""_s.arg(path)};
    digest.resize(int(length));
    return digest;
}

MarkWarpSeed MarkWarpSeedFor(const QByteArray &photoDigest, std::span<const CWatermarkConf> layers)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView("kelvane mark warp 1 photo\n"));
    hash.addData(photoDigest);
    addLayerRecords(hash, layers);
    return toSeed(hash.result());
}

MarkWarpSeed ExampleMarkWarpSeed(std::span<const CWatermarkConf> layers)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView("kelvane mark warp 1 example\n"));
    addLayerRecords(hash, layers);
    return toSeed(hash.result());
}

MarkWarpSeed MarkWarpSeedForRender(const QString &sourcePath,
                                   std::span<const CWatermarkConf> layers)
{
    if (sourcePath.isEmpty())
        return ExampleMarkWarpSeed(layers);
    const Result<QByteArray> digest = FileDigest(sourcePath);
    return MarkWarpSeedFor(
        digest ? *digest
               : QCryptographicHash::hash(sourcePath.toUtf8(), QCryptographicHash::Sha256),
        layers);
}

MarkWarpField::MarkWarpField(const MarkWarpSetting &setting, const MarkWarpSeed &seed, QRect area)
    : m_area(area)
{
    SeededRandom random(seed);
    // The shift: uniform over the disc of the largest offset.
    const double angle = 2.0 * std::numbers::pi * random.unit();
    const double radius = setting.maxOffset * std::sqrt(random.unit());
    m_shift = QPointF(radius * std::cos(angle), radius * std::sin(angle));
    m_opacity = 1.0 - setting.opacityVariation * 0.01 * random.unit();
    m_reach = radius;
    if (area.isEmpty())
        return;

    // Noise on a grid as fine as the smoothness: bilinear between its nodes
    // differs from a field blurred pixel by pixel by a small fraction of the
    // displacement, at a small fraction of the cost. The grid carries a
    // border of three sigmas so that the blur is the same at the area's edges
    // as inside.
    const double smoothness = std::max(setting.smoothness, MarkWarpSetting::kSmoothnessMin);
    m_step = std::max(1, int(std::lround(smoothness)));
    const double sigma = smoothness / m_step;
    const int border = int(std::ceil(3.0 * sigma));
    m_columns = (area.width() - 1) / m_step + 2;
    const int rows = (area.height() - 1) / m_step + 2;
    const int noiseColumns = m_columns + 2 * border;
    const int noiseRows = rows + 2 * border;
    std::vector<float> noiseX(size_t(noiseColumns) * noiseRows);
    std::vector<float> noiseY(noiseX.size());
    for (size_t i = 0; i < noiseX.size(); ++i) {
        noiseX[i] = float(2.0 * random.unit() - 1.0);
        noiseY[i] = float(2.0 * random.unit() - 1.0);
    }
    gaussianBlur(noiseX, noiseColumns, noiseRows, sigma);
    gaussianBlur(noiseY, noiseColumns, noiseRows, sigma);

    m_dx.resize(size_t(m_columns) * rows);
    m_dy.resize(m_dx.size());
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < m_columns; ++x) {
            const size_t from = size_t(y + border) * noiseColumns + size_t(x + border);
            const size_t to = size_t(y) * m_columns + size_t(x);
            m_dx[to] = noiseX[from];
            m_dy[to] = noiseY[from];
        }
    }
    // The smoothed noise's spread is known from the kernel (uniform noise
    // has variance 1/3 a component), so every area, small or large, gets the
    // same strength. Scaled so that the typical point moves by 0.7 of the
    // largest displacement, then eased towards it (max * tanh(r / max)): no
    // point goes beyond it, and most move by about half of it, which blurs
    // a collection's median more than a field whose rare peak alone reached
    // the largest displacement.
    double spread = 0;
    for (const float k : gaussianKernel(sigma))
        spread += double(k) * k;
    const double componentDeviation = spread / std::sqrt(3.0);
    const double largestMove = setting.maxDisplacement;
    const double scale =
        largestMove > 0 ? 0.7 * largestMove / (std::sqrt(2.0) * componentDeviation) : 0.0;
    for (size_t i = 0; i < m_dx.size(); ++i) {
        const double x = m_dx[i] * scale, y = m_dy[i] * scale;
        const double r = std::hypot(x, y);
        const double eased = r > 0 ? largestMove * std::tanh(r / largestMove) / r : 0.0;
        // Bilinear mixing of nodes never goes beyond the largest of them.
        m_dx[i] = float(x * eased + m_shift.x());
        m_dy[i] = float(y * eased + m_shift.y());
    }
    m_reach = setting.maxDisplacement + radius;
}

QPointF MarkWarpField::displacementAt(int x, int y) const
{
    if (m_dx.empty())
        return m_shift;
    const double u = double(std::clamp(x - m_area.left(), 0, m_area.width() - 1)) / m_step;
    const double v = double(std::clamp(y - m_area.top(), 0, m_area.height() - 1)) / m_step;
    const int i = int(u), j = int(v);
    const double fu = u - i, fv = v - j;
    const size_t at = size_t(j) * m_columns + size_t(i);
    const auto mix = [&](const std::vector<float> &grid) {
        const double top = grid[at] * (1 - fu) + grid[at + 1] * fu;
        const double bottom = grid[at + m_columns] * (1 - fu) + grid[at + m_columns + 1] * fu;
        return top * (1 - fv) + bottom * fv;
    };
    return QPointF(mix(m_dx), mix(m_dy));
}

namespace {

bool rowHasInk(const uint32_t *line, int width)
{
    int x = 0;
#ifdef __SSE2__
    __m128i any = _mm_setzero_si128();
    for (; x + 16 <= width; x += 16) {
        const auto *p = reinterpret_cast<const __m128i *>(line + x);
        any = _mm_or_si128(
            any, _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                              _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3))));
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF)
        return true;
#endif
    uint32_t rest = 0;
    for (; x < width; ++x)
        rest |= line[x];
    return rest != 0;
}

} // namespace

QRect OpaqueBounds(const QImage &overlay)
{
    const int width = overlay.width();
    int top = -1, bottom = -1, left = width, right = -1;
    for (int y = 0; y < overlay.height(); ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(overlay.constScanLine(y));
        // Most rows are empty: one OR over the row before looking for where
        // the ink is. The scan reads the whole canvas-sized overlay, so it is
        // done 64 bytes a step.
        if (!rowHasInk(line, width))
            continue;
        int first = 0;
        while (line[first] == 0)
            ++first;
        int last = width - 1;
        while (line[last] == 0)
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (top < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

namespace {

// x * a / 255 on the red and blue (or alpha and green) bytes at once, as
// Qt's raster engine rounds it.
inline uint32_t byteMul(uint32_t x, uint32_t a)
{
    uint32_t t = (x & 0xFF00FF) * a;
    t = ((t + ((t >> 8) & 0xFF00FF) + 0x800080) >> 8) & 0xFF00FF;
    x = ((x >> 8) & 0xFF00FF) * a;
    x = (x + ((x >> 8) & 0xFF00FF) + 0x800080) & 0xFF00FF00;
    return x | t;
}

// a * (256 - w) + b * w, over 256, on each byte; w in 0 .. 256. A mix of
// valid premultiplied pixels stays valid: every byte is mixed alike.
inline uint32_t mix(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t rb = (((a & 0xFF00FF) * (256 - w) + (b & 0xFF00FF) * w) >> 8) & 0xFF00FF;
    const uint32_t ag =
        ((((a >> 8) & 0xFF00FF) * (256 - w) + ((b >> 8) & 0xFF00FF) * w)) & 0xFF00FF00;
    return rb | ag;
}

constexpr int kTile = 8;

// Warps the overlay over the field's area and composites it (source over)
// onto `target`, whose pixel (0, 0) stands for canvas pixel `origin`.
void warpOnto(const QImage &overlay, const MarkWarpField &field, QImage &target, QPoint origin)
{
    const QRect area = field.area() & overlay.rect();
    if (area.isEmpty())
        return;
    const int width = overlay.width(), height = overlay.height();

    // Tiles of the area that ink can reach: those with ink, grown by the
    // largest movement plus the bilinear neighbour.
    const int tilesX = (area.width() + kTile - 1) / kTile;
    const int tilesY = (area.height() + kTile - 1) / kTile;
    std::vector<char> inked(size_t(tilesX) * tilesY, 0);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(overlay.constScanLine(y));
        char *row = inked.data() + size_t((y - area.top()) / kTile) * tilesX;
        for (int tx = 0; tx < tilesX; ++tx) {
            if (row[tx])
                continue;
            const int x0 = area.left() + tx * kTile;
            const int x1 = std::min(x0 + kTile, area.right() + 1);
            uint32_t any = 0;
            for (int x = x0; x < x1; ++x)
                any |= line[x];
            row[tx] = any != 0;
        }
    }
    const int grow = int(std::ceil((field.reach() + 1) / kTile));
    std::vector<char> reached(inked.size(), 0);
    for (int ty = 0; ty < tilesY; ++ty) {
        for (int tx = 0; tx < tilesX; ++tx) {
            if (!inked[size_t(ty) * tilesX + tx])
                continue;
            for (int v = std::max(0, ty - grow); v <= std::min(tilesY - 1, ty + grow); ++v)
                for (int u = std::max(0, tx - grow); u <= std::min(tilesX - 1, tx + grow); ++u)
                    reached[size_t(v) * tilesX + u] = 1;
        }
    }

    // The grid position of every column and row of the area.
    const QRect fieldArea = field.area();
    const int step = field.step();
    const int columns = field.columns();
    const bool flat = field.nodesX().empty();
    std::vector<int> nodeColumn(size_t(area.width()));
    std::vector<float> columnWeight(size_t(area.width()));
    for (int x = area.left(); x <= area.right(); ++x) {
        const int offset = x - fieldArea.left();
        nodeColumn[size_t(x - area.left())] = offset / step;
        columnWeight[size_t(x - area.left())] = float(offset % step) / float(step);
    }
    const float *nodesX = field.nodesX().data();
    const float *nodesY = field.nodesY().data();
    const float shiftX = float(field.shift().x()), shiftY = float(field.shift().y());
    const uint32_t fade = uint32_t(std::lround(std::clamp(field.opacity(), 0.0, 1.0) * 256));

    const auto pixel = [&](int x, int y) -> uint32_t {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0;
        return reinterpret_cast<const uint32_t *>(overlay.constScanLine(y))[x];
    };
    const uchar *bits = overlay.constBits();
    const qsizetype stride = overlay.bytesPerLine();

    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int offsetY = y - fieldArea.top();
        const int nodeRow = offsetY / step;
        const float rowWeight = float(offsetY % step) / float(step);
        const float *upperX = flat ? nullptr : nodesX + size_t(nodeRow) * columns;
        const float *upperY = flat ? nullptr : nodesY + size_t(nodeRow) * columns;
        const char *reachedRow = reached.data() + size_t((y - area.top()) / kTile) * tilesX;
        auto *out = reinterpret_cast<uint32_t *>(target.scanLine(y - origin.y()));
        for (int tx = 0; tx < tilesX; ++tx) {
            if (!reachedRow[tx])
                continue;
            const int xEnd = std::min(area.left() + (tx + 1) * kTile, area.right() + 1);
            for (int x = area.left() + tx * kTile; x < xEnd; ++x) {
                float dx = shiftX, dy = shiftY;
                if (!flat) {
                    const size_t i = size_t(nodeColumn[size_t(x - area.left())]);
                    const float u = columnWeight[size_t(x - area.left())];
                    const float topX = upperX[i] + (upperX[i + 1] - upperX[i]) * u;
                    const float bottomX =
                        upperX[i + columns] + (upperX[i + columns + 1] - upperX[i + columns]) * u;
                    const float topY = upperY[i] + (upperY[i + 1] - upperY[i]) * u;
                    const float bottomY =
                        upperY[i + columns] + (upperY[i + columns + 1] - upperY[i + columns]) * u;
                    dx = topX + (bottomX - topX) * rowWeight;
                    dy = topY + (bottomY - topY) * rowWeight;
                }
                const float sx = float(x) + dx, sy = float(y) + dy;
                const float floorX = std::floor(sx), floorY = std::floor(sy);
                const int x0 = int(floorX), y0 = int(floorY);
                uint32_t p00, p10, p01, p11;
                if (x0 >= 0 && y0 >= 0 && x0 + 1 < width && y0 + 1 < height) {
                    const auto *upper = reinterpret_cast<const uint32_t *>(bits + y0 * stride) + x0;
                    const auto *lower =
                        reinterpret_cast<const uint32_t *>(bits + (y0 + 1) * stride) + x0;
                    p00 = upper[0];
                    p10 = upper[1];
                    p01 = lower[0];
                    p11 = lower[1];
                } else {
                    p00 = pixel(x0, y0);
                    p10 = pixel(x0 + 1, y0);
                    p01 = pixel(x0, y0 + 1);
                    p11 = pixel(x0 + 1, y0 + 1);
                }
                if ((p00 | p10 | p01 | p11) == 0)
                    continue;
                // Fractions in [0, 1): rounding by adding a half is exact.
                const uint32_t wx = uint32_t((sx - floorX) * 256.0f + 0.5f);
                const uint32_t wy = uint32_t((sy - floorY) * 256.0f + 0.5f);
                uint32_t source = mix(mix(p00, p10, wx), mix(p01, p11, wx), wy);
                if (fade < 256)
                    source = mix(0, source, fade);
                if (!source)
                    continue;
                uint32_t &destination = out[x - origin.x()];
                destination = source + byteMul(destination, 255 - (source >> 24));
            }
        }
    }
}

// The canvas-sized overlay of this thread, all transparent between uses.
struct ThreadOverlay
{
    QImage image;
    bool clean = false;
};

} // namespace

QImage WarpOverlay(const QImage &overlay, const MarkWarpField &field)
{
    QImage warped(field.area().size(), QImage::Format_ARGB32_Premultiplied);
    if (warped.isNull())
        return warped;
    warped.fill(0);
    const QImage source = overlay.format() == QImage::Format_ARGB32_Premultiplied
                              ? overlay
                              : overlay.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    warpOnto(source, field, warped, field.area().topLeft());
    return warped;
}

void DrawWarpedMark(QImage &canvas, const MarkWarpSetting &setting, const MarkWarpSeed &seed,
                    const std::function<void(QPainter &)> &drawMark)
{
    thread_local ThreadOverlay kept;
    if (kept.image.size() != canvas.size()) {
        kept.image = QImage(); // the old one goes first: two at once may not fit
        kept.image = QImage(canvas.size(), QImage::Format_ARGB32_Premultiplied);
        kept.clean = false;
        if (kept.image.isNull()) {
            // No memory for the overlay: the mark is drawn as it is rather
            // than lost.
            QPainter painter(&canvas);
            drawMark(painter);
            return;
        }
    }
    QImage &overlay = kept.image;
    if (!kept.clean)
        overlay.fill(0);
    kept.clean = false; // until the ink is cleared again, below
    {
        QPainter painter(&overlay);
        drawMark(painter);
    }
    const QRect ink = OpaqueBounds(overlay);
    if (ink.isNull()) {
        kept.clean = true;
        return;
    }
    // Ink can move outwards by the largest displacement and shift.
    const int margin = int(std::ceil(setting.maxDisplacement + setting.maxOffset)) + 1;
    const QRect area = ink.adjusted(-margin, -margin, margin, margin) & canvas.rect();
    const MarkWarpField field(setting, seed, area);
    if (canvas.format() == QImage::Format_ARGB32_Premultiplied) {
        warpOnto(overlay, field, canvas, QPoint(0, 0));
    } else {
        const QImage warped = WarpOverlay(overlay, field);
        QPainter painter(&canvas);
        painter.drawImage(area.topLeft(), warped);
    }
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        std::memset(overlay.scanLine(y) + ink.left() * 4, 0, size_t(ink.width()) * 4);
    kept.clean = true;
}

} // namespace kw
