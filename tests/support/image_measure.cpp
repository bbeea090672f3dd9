#include "support/image_measure.h"

#include <algorithm>
#include <cstdlib>

namespace kw::test {

bool HasInk(QRgb pixel)
{
    return qAlpha(pixel) > 0;
}

QRect InkBounds(const QImage &source, const PixelPredicate &matches)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!matches(line[x]))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QPointF InkCentroid(const QImage &source, const PixelPredicate &matches)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    double sumX = 0, sumY = 0, weight = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!matches(line[x]))
                continue;
            const double w = std::max(1, qAlpha(line[x]));
            sumX += w * x;
            sumY += w * y;
            weight += w;
        }
    }
    return weight == 0 ? QPointF(-1, -1) : QPointF(sumX / weight, sumY / weight);
}

int InkCount(const QImage &source, const PixelPredicate &matches)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        count += int(std::count_if(line, line + image.width(), matches));
    }
    return count;
}

int MaxChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 4; ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

double MeanChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double total = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 4; ++i)
            total += std::abs(int(p[i]) - int(q[i]));
    }
    return total / (double(x.width()) * x.height() * 4);
}

QImage TransparentCanvas(int width, int height)
{
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    return canvas;
}

} // namespace kw::test
