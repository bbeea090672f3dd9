#include "render/mark_warp.h"

#include "model/layer_values.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

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
void gaussianBlur(std::vector<float> &grid, int columns, int rows, double sigma)
{
    const int radius = std::max(1, int(std::ceil(3.0 * sigma)));
    std::vector<float> kernel(size_t(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[size_t(i + radius)] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float &k : kernel)
        k = float(k / sum);

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
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return Failure{u"cannot read \"%1\": %2"_s.arg(path, file.errorString())};
    return hash.result();
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

    // Noise on a grid of half the smoothness: bilinear between its nodes is
    // indistinguishable from a field blurred pixel by pixel, at a fraction of
    // the cost. The grid carries a border of three sigmas so that the blur is
    // the same at the area's edges as inside.
    const double smoothness = std::max(setting.smoothness, MarkWarpSetting::kSmoothnessMin);
    m_step = std::max(1, int(std::lround(smoothness / 2)));
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
    double largest = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < m_columns; ++x) {
            const size_t from = size_t(y + border) * noiseColumns + size_t(x + border);
            const size_t to = size_t(y) * m_columns + size_t(x);
            m_dx[to] = noiseX[from];
            m_dy[to] = noiseY[from];
            largest = std::max(largest, std::hypot(double(m_dx[to]), double(m_dy[to])));
        }
    }
    // Scaled so that the largest node reaches the largest displacement;
    // bilinear mixing of nodes never goes beyond the largest of them.
    const double scale = largest > 0 ? setting.maxDisplacement / largest : 0.0;
    for (size_t i = 0; i < m_dx.size(); ++i) {
        m_dx[i] = float(m_dx[i] * scale + m_shift.x());
        m_dy[i] = float(m_dy[i] * scale + m_shift.y());
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

QRect OpaqueBounds(const QImage &overlay)
{
    int top = -1, bottom = -1, left = overlay.width(), right = -1;
    for (int y = 0; y < overlay.height(); ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(overlay.constScanLine(y));
        int first = 0;
        while (first < overlay.width() && line[first] == 0)
            ++first;
        if (first == overlay.width())
            continue;
        int last = overlay.width() - 1;
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

QImage WarpOverlay(const QImage &overlay, const MarkWarpField &field)
{
    const QRect area = field.area();
    QImage warped(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (warped.isNull())
        return warped;
    warped.fill(0);
    const QImage source = overlay.format() == QImage::Format_ARGB32_Premultiplied
                              ? overlay
                              : overlay.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = source.width(), height = source.height();
    const auto pixel = [&](int x, int y) -> uint32_t {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0;
        return reinterpret_cast<const uint32_t *>(source.constScanLine(y))[x];
    };
    // Weights in 1/256 steps; with the opacity in 1/256 too the sum of a
    // channel fits 32 bits (255 * 65536 * 256 < 2^32).
    const uint32_t fade = uint32_t(std::lround(std::clamp(field.opacity(), 0.0, 1.0) * 256));
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *out = reinterpret_cast<uint32_t *>(warped.scanLine(y - area.top()));
        for (int x = area.left(); x <= area.right(); ++x) {
            const QPointF d = field.displacementAt(x, y);
            const double sx = x + d.x(), sy = y + d.y();
            const double fx0 = std::floor(sx), fy0 = std::floor(sy);
            const int x0 = int(fx0), y0 = int(fy0);
            const uint32_t p00 = pixel(x0, y0), p10 = pixel(x0 + 1, y0);
            const uint32_t p01 = pixel(x0, y0 + 1), p11 = pixel(x0 + 1, y0 + 1);
            if ((p00 | p10 | p01 | p11) == 0)
                continue;
            const uint32_t wx = uint32_t(std::lround((sx - fx0) * 256));
            const uint32_t wy = uint32_t(std::lround((sy - fy0) * 256));
            const uint32_t w00 = (256 - wx) * (256 - wy), w10 = wx * (256 - wy);
            const uint32_t w01 = (256 - wx) * wy, w11 = wx * wy;
            uint32_t result = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const uint32_t sum = ((p00 >> shift) & 0xFF) * w00 + ((p10 >> shift) & 0xFF) * w10 +
                                     ((p01 >> shift) & 0xFF) * w01 + ((p11 >> shift) & 0xFF) * w11;
                const uint32_t channel = (sum * fade + (1u << 23)) >> 24;
                result |= std::min<uint32_t>(channel, 255) << shift;
            }
            out[x - area.left()] = result;
        }
    }
    return warped;
}

void DrawWarpedMark(QImage &canvas, const MarkWarpSetting &setting, const MarkWarpSeed &seed,
                    const std::function<void(QPainter &)> &drawMark)
{
    QImage overlay(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    if (overlay.isNull())
        return;
    overlay.fill(0);
    {
        QPainter painter(&overlay);
        drawMark(painter);
    }
    const QRect ink = OpaqueBounds(overlay);
    if (ink.isNull())
        return;
    // Ink can move outwards by the largest displacement and shift.
    const int margin = int(std::ceil(setting.maxDisplacement + setting.maxOffset)) + 1;
    const QRect area = ink.adjusted(-margin, -margin, margin, margin) & canvas.rect();
    const MarkWarpField field(setting, seed, area);
    const QImage warped = WarpOverlay(overlay, field);
    QPainter painter(&canvas);
    painter.drawImage(area.topLeft(), warped);
}

} // namespace kw
