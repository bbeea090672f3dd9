#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>

#include <functional>

// Measurements of rendered pictures, so tests check geometry and colour
// rather than compare against stored images.
namespace kw::test {

using PixelPredicate = std::function<bool(QRgb)>;

// Pixels whose alpha is above zero.
bool HasInk(QRgb pixel);

// The smallest rectangle holding every pixel that matches; null when none does.
QRect InkBounds(const QImage &image, const PixelPredicate &matches = HasInk);

// The centre of mass of matching pixels, each weighted by its alpha; (-1, -1)
// when none matches.
QPointF InkCentroid(const QImage &image, const PixelPredicate &matches = HasInk);

// Number of matching pixels.
int InkCount(const QImage &image, const PixelPredicate &matches = HasInk);

// The largest difference of any channel between the two pictures, which must
// be the same size (libvips' abs().max()); 256 when the sizes differ.
int MaxChannelDifference(const QImage &a, const QImage &b);

// The mean absolute difference over all channels of two pictures of one size.
double MeanChannelDifference(const QImage &a, const QImage &b);

// A transparent ARGB32 premultiplied canvas.
QImage TransparentCanvas(int width, int height);

} // namespace kw::test
