#pragma once

#include "model/watermark_conf.h"

#include <QColor>
#include <QPointF>
#include <QSizeF>

class QPainter;

namespace kw {

// Top-left corner of a box anchored by a location code (0 top left ... 8
// bottom right), given where the box's left edge is when centred across
// (centreX) and down (centreY) and when against the right and bottom edges;
// codes outside 0 to 8 anchor at (0, 0).
QPointF LocationAnchor(int location, qreal centreX, qreal centreY, qreal right, qreal bottom);

// The text's anchor on a W x H canvas: integer halves of the canvas, exact
// halves of the box. Offsets are not included.
QPointF TextAnchor(int location, int canvasWidth, int canvasHeight, QSizeF box);

// A drawing colour from a stored colour and an alpha field (its lowest byte).
QColor LayerColor(ColorRef color, int32_t alpha);

// Draws the text part of one layer onto a canvas. Stateless; any number of
// calls may run at once on different threads, each with its own painter.
class CTextEffectRenderer
{
public:
    // Draws `layer`'s text onto the painter's device, whose canvas is
    // (0, 0, canvasWidth, canvasHeight) in pixels: shadow, edge, 3D extrusion,
    // fill, gradient fill and the tiles that cover the whole canvas, in that
    // order. The painter's transform is the identity, or a scale (a
    // shrunk preview of a larger photo, drawn in the photo's pixels); it and
    // every painter setting are as they were when the call returns.
    static void DrawTextLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                              const CWatermarkConf &layer);

    // Limits that keep a damaged layer file from asking for millions of
    // drawing passes; far above anything the editor offers.
    static constexpr int kMaxExtrusionCopies = 1000;
};

} // namespace kw
