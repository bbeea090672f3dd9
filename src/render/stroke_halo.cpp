#include "render/stroke_halo.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kw {

namespace {

constexpr double kFar = std::numeric_limits<double>::infinity();

// Squared Euclidean distance transform along one line (Felzenszwalb and
// Huttenlocher's lower envelope of parabolas), over the finite samples only.
void distanceTransform1D(const double *f, int n, double *out, std::vector<int> &v,
                         std::vector<double> &z)
{
    v.resize(size_t(n));
    z.resize(size_t(n) + 1);
    int k = -1;
    for (int q = 0; q < n; ++q) {
        if (f[q] == kFar)
            continue;
        double s = -kFar;
        while (k >= 0) {
            const int p = v[size_t(k)];
            s = ((f[q] + double(q) * q) - (f[p] + double(p) * p)) / (2.0 * q - 2.0 * p);
            if (s > z[size_t(k)])
                break;
            --k;
        }
        ++k;
        v[size_t(k)] = q;
        z[size_t(k)] = k == 0 ? -kFar : s;
        z[size_t(k) + 1] = kFar;
    }
    if (k < 0) {
        std::fill(out, out + n, kFar);
        return;
    }
    int j = 0;
    for (int q = 0; q < n; ++q) {
        while (z[size_t(j) + 1] < q)
            ++j;
        const int p = v[size_t(j)];
        out[q] = double(q - p) * (q - p) + f[p];
    }
}

// Alpha of the stacked strokes at distance d (sampled every 1/8 pixel).
std::vector<float> haloAlphaTable(double alpha, int passes)
{
    constexpr int kSteps = 8;
    const int size = (passes / 2 + 2) * kSteps + 1;
    std::vector<float> table(size_t(size), 0.0f);
    for (int s = 0; s < size; ++s) {
        const double d = double(s) / kSteps;
        double clear = 1.0;
        for (int i = std::max(1, int(std::floor(2 * (d - 0.5)))); i <= passes; ++i)
            clear *= 1.0 - alpha * std::clamp(i / 2.0 + 0.5 - d, 0.0, 1.0);
        table[size_t(s)] = float(1.0 - clear);
    }
    return table;
}

} // namespace

void PaintStrokeHalo(QPainter &painter, const QPainterPath &path, QColor color, int passes)
{
    if (passes <= 0 || path.isEmpty() || color.alpha() == 0 || !painter.device())
        return;
    const QTransform toDevice = painter.worldTransform();
    const QPainterPath devicePath = toDevice.map(path);
    // Device pixels per pixel of the path: the halo keeps its width in the
    // path's pixels on a scaled painter (a preview of a larger photo).
    const double unit = std::max(std::sqrt(std::abs(toDevice.determinant())), 1e-6);
    const int reach = int(std::ceil((passes / 2 + 2) * unit));
    const QRect canvas(0, 0, painter.device()->width(), painter.device()->height());
    const QRect area =
        devicePath.boundingRect().toAlignedRect().adjusted(-reach, -reach, reach, reach) & canvas;
    if (area.isEmpty())
        return;
    // The outline may lie outside the canvas while the halo reaches in; only
    // outline within reach of the painted area can matter. Every seed lies
    // within a pixel or two of the outline's box, so the mask need not reach
    // further than that box.
    const QRect seeds = devicePath.boundingRect().toAlignedRect().adjusted(-2, -2, 2, 2);
    const QRect maskArea = area.adjusted(-reach, -reach, reach, reach) & (area | seeds);
    const int w = maskArea.width();
    const int h = maskArea.height();
    if (int64_t(w) * h > int64_t(32) * 1024 * 1024)
        return; // a halo over more than a 32-megapixel area is not drawn

    // The distances start from the anti-aliased coverage of the glyphs, which
    // places the outline within a fraction of a pixel.
    QImage mask(w, h, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.translate(-maskArea.topLeft());
        maskPainter.fillPath(devicePath, Qt::black);
    }
    // Seeds: a partly covered pixel lies about |coverage - 1/2| from the
    // outline; a covered or empty pixel next to the other kind, half a pixel.
    std::vector<double> grid(size_t(w) * h, kFar);
    for (int y = 0; y < h; ++y) {
        const uchar *row = mask.constScanLine(y);
        const uchar *above = y > 0 ? mask.constScanLine(y - 1) : row;
        const uchar *below = y + 1 < h ? mask.constScanLine(y + 1) : row;
        double *out = &grid[size_t(y) * w];
        for (int x = 0; x < w; ++x) {
            const int c = row[x];
            if (c > 0 && c < 255) {
                const double offset = c / 255.0 - 0.5;
                out[x] = offset * offset;
                continue;
            }
            const bool full = c == 255;
            const bool edge = (row[x > 0 ? x - 1 : x] == 255) != full ||
                              (row[x + 1 < w ? x + 1 : x] == 255) != full ||
                              (above[x] == 255) != full || (below[x] == 255) != full;
            if (edge)
                out[x] = 0.25;
        }
    }
    // Only distances up to the halo's reach matter: beyond `farDistance` every
    // pixel gets the table's last, empty entry. Column distances past it are
    // dropped, which leaves the nearer ones exact and spares the row pass
    // every sample that cannot be the nearest to a pixel within reach.
    const std::vector<float> table = haloAlphaTable(color.alphaF(), passes);
    const double last = double(table.size() - 1);
    const double farDistance = last / 8 * unit + 1;
    const double farSquared = farDistance * farDistance;
    std::vector<double> line(size_t(std::max(w, h)));
    std::vector<double> result(size_t(std::max(w, h)));
    std::vector<int> v;
    std::vector<double> z;
    for (int x = 0; x < w; ++x) {
        bool seeded = false;
        for (int y = 0; y < h; ++y) {
            const double value = grid[size_t(y) * w + x];
            line[size_t(y)] = value;
            seeded = seeded || value != kFar;
        }
        if (!seeded)
            continue; // stays far
        distanceTransform1D(line.data(), h, result.data(), v, z);
        for (int y = 0; y < h; ++y) {
            const double value = result[size_t(y)];
            grid[size_t(y) * w + x] = value > farSquared ? kFar : value;
        }
    }
    for (int y = 0; y < h; ++y) {
        double *row = &grid[size_t(y) * w];
        if (std::all_of(row, row + w, [](double value) { return value == kFar; }))
            continue;
        distanceTransform1D(row, w, result.data(), v, z);
        std::copy(result.begin(), result.begin() + w, row);
    }

    // Each table entry as a byte of alpha and a premultiplied pixel.
    std::vector<int> tableAlpha(table.size());
    for (size_t s = 0; s < table.size(); ++s)
        tableAlpha[s] = int(std::lround(table[s] * 255));
    const int r = color.red(), g = color.green(), b = color.blue();
    QRgb pixelOfAlpha[256];
    for (int a = 0; a < 256; ++a)
        pixelOfAlpha[a] = qRgba(r * a / 255, g * a / 255, b * a / 255, a);
    const QRgb farPixel = pixelOfAlpha[tableAlpha[size_t(last)]];

    QImage halo(area.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < area.height(); ++y) {
        auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
        const double *distances =
            &grid[size_t(y + area.top() - maskArea.top()) * w + (area.left() - maskArea.left())];
        for (int x = 0; x < area.width(); ++x) {
            const double squared = distances[x];
            if (squared >= farSquared) {
                out[x] = farPixel;
                continue;
            }
            const double step = std::min(std::sqrt(squared) / unit * 8, last);
            out[x] = pixelOfAlpha[tableAlpha[size_t(step)]];
        }
    }
    painter.save();
    painter.resetTransform();
    painter.drawImage(area.topLeft(), halo);
    painter.restore();
}

} // namespace kw
