#pragma once

#include "platform/result.h"
#include "render/loaded_template.h"
#include "render/text_variables.h"

#include <QColorSpace>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

// The watermark alone, drawn on a transparent canvas: what the JPEG
// coefficient path blends into the few blocks it re-encodes. Any thread.
namespace kw {

// The drawn part of a transparent canvas: `image` (premultiplied ARGB32) is
// a rectangle holding every pixel with alpha above 0 (the smallest one, or
// the whole canvas when that covers most of it), and `origin` is where its
// top-left corner lies on the canvas. A null image when nothing was drawn.
struct MarkOverlay
{
    QImage image;
    QPoint origin;
};

// Draws every layer of `mark` onto a transparent upright canvas of `upright`
// size, exactly as it is drawn over the photo, and keeps the drawn part.
// `facts` fill the text variables (see CWatermarkRenderer::DrawTemplate);
// `space` is the photo's colour space, which the mark's colours are turned
// into. Fails only when memory runs out.
Result<MarkOverlay> RenderMarkOverlay(QSize upright, const LoadedTemplate &mark,
                                      const PhotoFacts *facts = nullptr,
                                      const QColorSpace &space = QColorSpace());

// Turns an overlay of an upright canvas of `upright` size into the layout a
// JPEG with EXIF `orientation` stores (see OrientToStored): the same pixels
// on the stored canvas. Orientations outside 2 to 8 leave it as it is.
MarkOverlay OverlayToStored(const MarkOverlay &overlay, QSize upright, int orientation);

} // namespace kw
