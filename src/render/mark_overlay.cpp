#include "render/mark_overlay.h"

#include "render/photo_input.h"
#include "render/watermark_renderer.h"

#include <QRect>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// The rectangle of pixels with alpha above 0; empty when there are none.
// Premultiplied, so a pixel of alpha 0 is all zero: rows are scanned eight
// bytes at a time, which matters on a canvas of a whole photo.
QRect InkedRect(const QImage &canvas)
{
    const int width = canvas.width(), height = canvas.height();
    int top = -1, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(canvas.constScanLine(y));
        const QRgb *end = line + width;
        const QRgb *first = line;
        // Pairs of pixels while both are blank.
        while (end - first >= 2) {
            uint64_t pair;
            std::memcpy(&pair, first, sizeof pair);
            if (pair != 0)
                break;
            first += 2;
        }
        while (first < end && *first == 0)
            ++first;
        if (first == end)
            continue;
        const QRgb *last = end - 1;
        while (*last == 0)
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, int(first - line));
        right = std::max(right, int(last - line));
    }
    if (top < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Where upright pixel `p` of an `upright`-sized canvas lies on the stored
// canvas of a photo with EXIF `orientation`.
QPoint UprightToStored(QPoint p, QSize upright, int orientation)
{
    const int w = upright.width(), h = upright.height();
    switch (orientation) {
    case 2:
        return {w - 1 - p.x(), p.y()};
    case 3:
        return {w - 1 - p.x(), h - 1 - p.y()};
    case 4:
        return {p.x(), h - 1 - p.y()};
    case 5:
        return {p.y(), p.x()};
    case 6:
        return {p.y(), w - 1 - p.x()};
    case 7:
        return {h - 1 - p.y(), w - 1 - p.x()};
    case 8:
        return {h - 1 - p.y(), p.x()};
    default:
        return p;
    }
}

} // namespace

Result<MarkOverlay> RenderMarkOverlay(QSize upright, const LoadedTemplate &mark,
                                      const PhotoFacts *facts, const QColorSpace &space)
{
    MarkOverlay overlay;
    if (upright.isEmpty())
        return overlay;
    // Zeroed pages from the system: the untouched part of a large canvas
    // costs neither a fill nor memory.
    const qsizetype bytesPerLine = qsizetype(upright.width()) * 4;
    void *memory = std::calloc(size_t(upright.height()), size_t(bytesPerLine));
    if (!memory)
        return Failure{u"not enough memory for the watermark"_s};
    QImage canvas(static_cast<uchar *>(memory), upright.width(), upright.height(), bytesPerLine,
                  QImage::Format_ARGB32_Premultiplied, std::free, memory);
    canvas.setColorSpace(space);
    CWatermarkRenderer::DrawTemplate(canvas, upright.width(), upright.height(), mark, QString(),
                                     facts);
    const QRect inked = InkedRect(canvas);
    if (inked.isEmpty())
        return overlay;
    // A mark over most of the photo (cover tiles) keeps the whole canvas
    // rather than paying for a copy of nearly all of it.
    if (qint64(inked.width()) * inked.height() * 2 >= qint64(upright.width()) * upright.height()) {
        overlay.image = std::move(canvas);
        return overlay;
    }
    overlay.image = canvas.copy(inked);
    overlay.origin = inked.topLeft();
    if (overlay.image.isNull())
        return Failure{u"not enough memory for the watermark"_s};
    return overlay;
}

MarkOverlay OverlayToStored(const MarkOverlay &overlay, QSize upright, int orientation)
{
    if (overlay.image.isNull() || orientation < 2 || orientation > 8)
        return overlay;
    const QRect box(overlay.origin, overlay.image.size());
    const QPoint a = UprightToStored(box.topLeft(), upright, orientation);
    const QPoint b = UprightToStored(box.bottomRight(), upright, orientation);
    MarkOverlay stored;
    stored.image = OrientToStored(overlay.image, orientation);
    stored.origin = QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y()));
    return stored;
}

} // namespace kw
