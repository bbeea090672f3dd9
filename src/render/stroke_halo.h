#pragma once

#include <QColor>
#include <QPainterPath>

class QPainter;

namespace kw {

// Paints what stroking `path` with pens of widths 1, 2, ..., passes (round
// joins, each pen in `color`) one after the other would paint, in one pass:
// a pixel at distance d from the outline is covered by the pen of width i to
// the extent clamp(i/2 + 0.5 - d, 0, 1), and stacked layers of one colour
// composite to 1 - product(1 - alpha * coverage). The distance comes from a
// Euclidean distance transform of the anti-aliased outline in device pixels,
// so the cost no longer grows with the number of passes. `path` is in the
// painter's world coordinates; the world transform may turn and move but not
// scale. Draws nothing for passes <= 0.
void PaintStrokeHalo(QPainter &painter, const QPainterPath &path, QColor color, int passes);

} // namespace kw
