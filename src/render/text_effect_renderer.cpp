#include "render/text_effect_renderer.h"

#include "platform/codes.h"
#include "render/font_mapping.h"
#include "render/stroke_halo.h"
#include "render/text_strategy.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <optional>
#include <system_error>

namespace kw {

QPointF LocationAnchor(int location, qreal centreX, qreal centreY, qreal right, qreal bottom)
{
    const qreal xs[] = {0, centreX, right};
    const qreal ys[] = {0, centreY, bottom};
    if (location < Code(LocationCode::TopLeft) || location > Code(LocationCode::BottomRight))
        return {0, 0};
    return {xs[location % 3], ys[location / 3]};
}

QPointF TextAnchor(int location, int canvasWidth, int canvasHeight, QSizeF box)
{
    return LocationAnchor(location, canvasWidth / 2 - box.width() / 2,
                          canvasHeight / 2 - box.height() / 2, canvasWidth - box.width(),
                          canvasHeight - box.height());
}

QColor LayerColor(ColorRef color, int32_t alpha)
{
    return QColor(RedOf(color), GreenOf(color), BlueOf(color), int(uint32_t(alpha) & 0xFF));
}

namespace {

QPen roundPen(QColor color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
}

// Where a layer's text is drawn. The outline is laid out with the top-left
// corner of its layout box at `origin`, in the mark's own units (the layer's
// pixel values); the painter then maps `pivot` to `pivotOnCanvas`, turned by
// the layer's rotation and scaled by `scale`. Without the added options the
// mark's units are canvas pixels and the text turns about its origin.
struct TextPlacement
{
    QPointF origin;
    QPointF pivot;
    QPointF pivotOnCanvas;
    qreal scale = 1;
};

void applyPlacement(QPainter &painter, const TextPlacement &placement, int32_t degrees)
{
    painter.translate(placement.pivotOnCanvas);
    painter.rotate(-qreal(degrees));
    if (placement.scale != 1)
        painter.scale(placement.scale, placement.scale);
    painter.translate(-placement.pivot);
}

// The extrusion direction of a TDTextPos code; (0, 0) for codes that draw none.
QPoint extrusionStep(int code)
{
    switch (code) {
    case kw::Code(kw::TDTextPosCode::TopLeft):
        return {-1, -1};
    case kw::Code(kw::TDTextPosCode::TopRight):
        return {1, -1};
    case kw::Code(kw::TDTextPosCode::BottomLeft):
        return {-1, 1};
    case kw::Code(kw::TDTextPosCode::BottomRight):
        return {1, 1};
    default:
        return {0, 0};
    }
}

// Canvas pixels per unit of the mark: 1, or what makes the font's em size
// the layer's share of the canvas's shorter side. 0 for a canvas without area.
qreal markScale(const CWatermarkConf &layer, const QFont &font, int canvasWidth, int canvasHeight)
{
    if (layer.RelativeSize <= 0)
        return 1;
    const qreal shorter = std::max(0, std::min(canvasWidth, canvasHeight));
    return layer.RelativeSize * shorter / 10000.0 / std::max(1, font.pixelSize());
}

// The rotation and scale that take the mark's units to canvas pixels.
QTransform turnAndScale(int32_t degrees, qreal scale)
{
    QTransform turn;
    turn.rotate(-qreal(degrees));
    if (scale != 1)
        turn.scale(scale, scale);
    return turn;
}

// Everything the text part paints, turned and scaled as drawn with the
// layout box's corner at (0, 0): the glyphs, the edge pen around them, the
// shadow halo and the extrusion.
QRectF turnedMarkBounds(const CWatermarkConf &layer, const QPainterPath &glyphs, QSizeF box,
                        const QTransform &turn, qreal scale)
{
    const QRectF ink = glyphs.isEmpty() ? turn.mapRect(QRectF(QPointF(0, 0), box))
                                        : turn.map(glyphs).boundingRect();
    QRectF bounds = ink;
    if (layer.BDrawEdge && layer.EdgeLineThickness > 0) {
        // Half the pen, and the anti-aliased pixel beyond.
        const qreal half = layer.EdgeLineThickness * scale / 2 + 0.5;
        bounds.adjust(-half, -half, half, half);
    }
    if (layer.BAddShadow) {
        // The widest pen reaches half its width and half a pixel beyond.
        const qreal halo = std::clamp<int64_t>(int64_t(layer.ShadowBR) + 8, 0,
                                               CTextStrokeStrategy::kMaxThickness) *
                               scale / 2 +
                           0.5;
        bounds |= ink.translated(turn.map(QPointF(layer.ShadowH, layer.ShadowV)))
                      .adjusted(-halo, -halo, halo, halo);
    }
    const QPoint step = extrusionStep(layer.TDTextPos);
    const int copies = std::min(layer.TDTextOffset, CTextEffectRenderer::kMaxExtrusionCopies);
    if (layer.B3DText && !step.isNull() && copies > 0)
        bounds |= ink.translated(turn.map(QPointF(step * (copies + 1))));
    return bounds;
}

TextPlacement placeText(const CWatermarkConf &layer, const QPainterPath &glyphs, QSizeF box,
                        qreal scale, int canvasWidth, int canvasHeight)
{
    const bool relative = layer.RelativeSize > 0;
    const QPointF offset = relative ? QPointF(layer.RelativeOffsetH * canvasWidth / 10000.0,
                                              layer.RelativeOffsetV * canvasHeight / 10000.0)
                                    : QPointF(layer.OffsetH, layer.OffsetV);
    QPointF corner;
    if (!layer.TurnAboutAnchor) {
        // The layout box is anchored and the text turns about its corner.
        corner = TextAnchor(layer.Location, canvasWidth, canvasHeight, box * scale) + offset;
    } else {
        // The mark is turned (about any point: its centre, say) and its
        // turned bounding box anchored as an unturned box would be.
        const QRectF turned =
            turnedMarkBounds(layer, glyphs, box, turnAndScale(layer.Rotation, scale), scale);
        const QPointF boxCorner =
            LocationAnchor(layer.Location, canvasWidth / 2.0 - turned.width() / 2,
                           canvasHeight / 2.0 - turned.height() / 2, canvasWidth - turned.width(),
                           canvasHeight - turned.height()) +
            offset;
        corner = boxCorner - turned.topLeft();
    }
    TextPlacement placement;
    placement.scale = scale;
    placement.origin = relative ? QPointF(0, 0) : corner;
    placement.pivot = placement.origin;
    placement.pivotOnCanvas = corner;
    return placement;
}

// Everything `shape` covers as it moves along `sweep`: the shape itself and,
// for each edge of its outline (flattened as `device` draws it), the
// parallelogram the edge sweeps. The parallelograms take the turning sense
// of the shape's outer outlines, so under the winding rule they add to the
// shape and to each other and fill its holes where the sweep covers them;
// one fill, without seams between the pieces.
QPainterPath sweptSolid(const QPainterPath &shape, QPointF sweep, const QTransform &device)
{
    const QList<QPolygonF> outlines = shape.toSubpathPolygons(device);
    const auto signedArea = [](const QPolygonF &polygon) {
        qreal area = 0;
        for (qsizetype i = 0; i < polygon.size(); ++i) {
            const QPointF a = polygon.at(i), b = polygon.at((i + 1) % polygon.size());
            area += a.x() * b.y() - b.x() * a.y();
        }
        return area / 2;
    };
    // The largest outline is an outer one.
    qreal outerSense = 1, largest = 0;
    for (const QPolygonF &outline : outlines) {
        const qreal area = signedArea(outline);
        if (std::abs(area) > largest) {
            largest = std::abs(area);
            outerSense = area < 0 ? -1 : 1;
        }
    }
    const QPointF move = device.map(sweep) - device.map(QPointF(0, 0));
    const QTransform back = device.inverted();
    QPainterPath solid;
    solid.setFillRule(Qt::WindingFill);
    for (const QPolygonF &outline : outlines) {
        solid.addPolygon(back.map(outline));
        solid.closeSubpath();
        for (qsizetype i = 0; i < outline.size(); ++i) {
            const QPointF from = outline.at(i), to = outline.at((i + 1) % outline.size());
            if (from == to)
                continue;
            QPolygonF piece{from, to, to + move, from + move};
            if (signedArea(piece) * outerSense < 0)
                std::reverse(piece.begin(), piece.end());
            solid.addPolygon(back.map(piece));
            solid.closeSubpath();
        }
    }
    return solid;
}

// The shadow of a scaled mark: the halo is made in canvas pixels (it cannot
// be scaled as a picture), with its passes scaled and each pass's alpha
// chosen so the stacked halo is as dark as the unscaled one.
void drawScaledShadow(QPainter &painter, const QTransform &canvasFrame,
                      const TextPlacement &placement, int32_t degrees, const QFont &shadowFont,
                      const QString &text, QPoint shadowOrigin, QColor color, int passes)
{
    const qreal scale = placement.scale;
    const int scaledPasses =
        int(std::min<qreal>(std::lround(passes * scale), CTextStrokeStrategy::kMaxThickness));
    if (scaledPasses <= 0 || passes <= 0)
        return;
    const qreal alpha = color.alphaF();
    color.setAlphaF(float(1.0 - std::pow(1.0 - alpha, qreal(passes) / scaledPasses)));
    QTransform toTurnedFrame;
    toTurnedFrame.scale(scale, scale);
    toTurnedFrame.translate(-placement.pivot.x(), -placement.pivot.y());
    const QPainterPath path =
        toTurnedFrame.map(TextOutline(shadowFont, text, QPointF(shadowOrigin)));
    painter.save();
    painter.setTransform(canvasFrame);
    painter.translate(placement.pivotOnCanvas);
    painter.rotate(-qreal(degrees));
    PaintStrokeHalo(painter, path, color, scaledPasses);
    painter.restore();
}

// Tile (j, r) of the cover lies at j * colStep + r * rowStep, for j and r
// from firstCol and firstRow on.
struct CoverTileGrid
{
    int firstRow = 0;
    int firstCol = 0;
    int rows = 0;
    int cols = 0;
    QPointF rowStep;
    QPointF colStep;
};

// Layers saved before text was measured at its real size drew their tiles
// on this grid; those whose text fits the 1000 x 1000 box those versions
// measured in keep it exactly. Turned text on it can overlap its neighbours.
constexpr qreal kEarlierMeasureBox = 1000;

CoverTileGrid upright(QSizeF box, int canvasWidth, int canvasHeight)
{
    CoverTileGrid grid;
    grid.rows = int(canvasHeight / (box.height() + 10));
    grid.cols = int(canvasWidth / (box.width() + 10));
    grid.rowStep = QPointF(0, box.height() + 55);
    grid.colStep = QPointF(box.width() + 100, 0);
    return grid;
}

// The same spacing in the mark's units (`box` and the gaps), turned and
// scaled with the text by `turn`, so tiles never overlap at any angle; over
// every tile that reaches the canvas.
CoverTileGrid turnedWithText(QSizeF box, const QTransform &turn, int canvasWidth, int canvasHeight)
{
    CoverTileGrid grid;
    grid.colStep = turn.map(QPointF(box.width() + 100, 0));
    grid.rowStep = turn.map(QPointF(0, box.height() + 55));
    // The canvas's corners in tile steps, one tile more on every side.
    const qreal det = grid.colStep.x() * grid.rowStep.y() - grid.colStep.y() * grid.rowStep.x();
    if (!(std::abs(det) > 0))
        return grid;
    qreal minJ = 0, maxJ = 0, minR = 0, maxR = 0;
    bool first = true;
    for (const QPointF corner : {QPointF(0, 0), QPointF(canvasWidth, 0), QPointF(0, canvasHeight),
                                 QPointF(canvasWidth, canvasHeight)}) {
        const qreal j = (corner.x() * grid.rowStep.y() - corner.y() * grid.rowStep.x()) / det;
        const qreal r = (grid.colStep.x() * corner.y() - grid.colStep.y() * corner.x()) / det;
        minJ = first ? j : std::min(minJ, j);
        maxJ = first ? j : std::max(maxJ, j);
        minR = first ? r : std::min(minR, r);
        maxR = first ? r : std::max(maxR, r);
        first = false;
    }
    // Text scaled to a few pixels on a large photo would ask for millions of
    // tiles of a pixel or two each: such a cover is not drawn.
    constexpr qreal kMaxTiles = 1 << 22;
    if ((maxJ - minJ + 3) * (maxR - minR + 3) > kMaxTiles)
        return grid;
    grid.firstCol = int(std::floor(minJ) - 1);
    grid.firstRow = int(std::floor(minR) - 1);
    grid.cols = int(std::ceil(maxJ) + 1 - grid.firstCol);
    grid.rows = int(std::ceil(maxR) + 1 - grid.firstRow);
    return grid;
}

// The cover: one outline drawn at every place of a grid, with a pen or a brush.
struct CoverTiles
{
    CoverTileGrid grid;
    QPainterPath tile;
    QPen pen = QPen(Qt::NoPen);
    QBrush brush = QBrush(Qt::NoBrush);
};

// Every tile is the same turned outline at another place. It is drawn once
// per half-pixel phase into a small picture (a sprite) that is then copied
// to each place, instead of being rasterised thousands of times; a tile
// lands within a quarter pixel of its exact position. Tiles too big for
// that are drawn directly.
struct CoverSprites
{
    bool usable = false; // false: the tiles are drawn directly
    QRect bounds;        // a sprite's place relative to its tile's origin
    QTransform base;     // the painter's transform (identity or a scale)
    qreal sx = 1;
    qreal sy = 1;
    QRect canvas;
    QPainter::RenderHints hints;
    QImage phases[2][2];
};

CoverSprites coverSpriteLayout(const CoverTiles &cover, const QTransform &base, QSize device,
                               QPainter::RenderHints hints)
{
    constexpr qint64 kMaxSpritePixels = 4 * 1024 * 1024;
    CoverSprites sprites;
    // The painter may scale (a preview of a larger photo): the sprite is
    // drawn at the device's scale and the steps are scaled with it.
    sprites.base = base;
    sprites.sx = base.m11();
    sprites.sy = base.m22();
    sprites.canvas = QRect(QPoint(0, 0), device);
    sprites.hints = hints;
    const qreal margin = cover.pen.style() == Qt::NoPen ? 0 : cover.pen.widthF() / 2;
    const QRectF userBounds = cover.tile.boundingRect().adjusted(-margin, -margin, margin, margin);
    sprites.bounds = QRectF(userBounds.left() * sprites.sx, userBounds.top() * sprites.sy,
                            userBounds.width() * sprites.sx, userBounds.height() * sprites.sy)
                         .adjusted(-2, -2, 2, 2)
                         .toAlignedRect()
                         .adjusted(0, 0, 1, 1);
    sprites.usable = qint64(sprites.bounds.width()) * sprites.bounds.height() <= kMaxSpritePixels &&
                     base.type() <= QTransform::TxScale && sprites.sx > 0 && sprites.sy > 0;
    return sprites;
}

// Calls f(at, phaseX, phaseY) for each tile whose sprite reaches the canvas.
template <typename F>
void forEachSpriteTile(const CoverTileGrid &grid, const CoverSprites &sprites, F f)
{
    const QPointF deviceOrigin = sprites.base.map(QPointF(0, 0));
    for (int r = grid.firstRow; r < grid.firstRow + grid.rows; ++r) {
        for (int j = grid.firstCol; j < grid.firstCol + grid.cols; ++j) {
            const qreal y =
                deviceOrigin.y() + (r * grid.rowStep.y() + j * grid.colStep.y()) * sprites.sy;
            const qreal rowFloor = std::floor(y + 0.25);
            const int phaseY = y + 0.25 - rowFloor >= 0.5 ? 1 : 0;
            const qreal x =
                deviceOrigin.x() + (j * grid.colStep.x() + r * grid.rowStep.x()) * sprites.sx;
            const qreal colFloor = std::floor(x + 0.25);
            const int phaseX = x + 0.25 - colFloor >= 0.5 ? 1 : 0;
            const QPoint at(int(colFloor) + sprites.bounds.left(),
                            int(rowFloor) + sprites.bounds.top());
            if (sprites.canvas.intersects(QRect(at, sprites.bounds.size())))
                f(at, phaseX, phaseY);
        }
    }
}

// Draws the sprite of every phase some visible tile needs. Touches no
// painter of the canvas, so it may run on another thread while the other
// effects are drawn.
void renderCoverSprites(const CoverTiles &cover, CoverSprites &sprites)
{
    if (!sprites.usable || cover.grid.rows <= 0 || cover.grid.cols <= 0)
        return;
    bool needed[2][2] = {{false, false}, {false, false}};
    forEachSpriteTile(cover.grid, sprites,
                      [&](QPoint, int phaseX, int phaseY) { needed[phaseY][phaseX] = true; });
    // Unscaled, a pen wider than a pixel has the same outline at every phase:
    // it is built once and each sprite fills it, as drawing with the pen
    // would. Thinner pens are drawn by another stroker and keep drawPath.
    const QPen &pen = cover.pen;
    const bool strokeOnce =
        pen.style() != Qt::NoPen && pen.widthF() > 1 && sprites.sx == 1 && sprites.sy == 1;
    QPainterPath strokeOutline;
    for (int phaseY = 0; phaseY < 2; ++phaseY) {
        for (int phaseX = 0; phaseX < 2; ++phaseX) {
            if (!needed[phaseY][phaseX])
                continue;
            if (strokeOnce && strokeOutline.isEmpty())
                strokeOutline = QPainterPathStroker(pen).createStroke(cover.tile);
            QImage &image = sprites.phases[phaseY][phaseX];
            image = QImage(sprites.bounds.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter spritePainter(&image);
            spritePainter.setRenderHints(sprites.hints);
            spritePainter.setPen(pen);
            spritePainter.setBrush(cover.brush);
            spritePainter.translate(-sprites.bounds.left() + phaseX * 0.5,
                                    -sprites.bounds.top() + phaseY * 0.5);
            spritePainter.scale(sprites.sx, sprites.sy);
            if (strokeOnce) {
                spritePainter.fillPath(cover.tile, cover.brush);
                spritePainter.fillPath(strokeOutline, pen.brush());
            } else {
                spritePainter.drawPath(cover.tile);
            }
        }
    }
}

// Copies the sprites to every visible tile, or draws the tiles directly
// where sprites are not usable.
void drawCoverTiles(QPainter &painter, const CoverTiles &cover, const CoverSprites &sprites)
{
    const CoverTileGrid &grid = cover.grid;
    if (grid.rows <= 0 || grid.cols <= 0)
        return;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    if (sprites.usable) {
        painter.resetTransform();
        forEachSpriteTile(grid, sprites, [&](QPoint at, int phaseX, int phaseY) {
            painter.drawImage(at, sprites.phases[phaseY][phaseX]);
        });
        painter.restore();
        return;
    }
    // The outline is stroked once; each tile fills it.
    const QTransform base = painter.transform();
    const QRect canvas(0, 0, painter.device()->width(), painter.device()->height());
    QPainterPath outline = cover.tile;
    QBrush fill = cover.brush;
    if (cover.pen.style() != Qt::NoPen) {
        QPainterPathStroker stroker(cover.pen);
        outline = stroker.createStroke(cover.tile);
        fill = cover.pen.brush();
    }
    painter.setPen(Qt::NoPen);
    const QRectF outlineBounds = outline.boundingRect();
    for (int r = grid.firstRow; r < grid.firstRow + grid.rows; ++r) {
        for (int j = grid.firstCol; j < grid.firstCol + grid.cols; ++j) {
            const QTransform at =
                QTransform(base).translate(j * grid.colStep.x() + r * grid.rowStep.x(),
                                           j * grid.colStep.y() + r * grid.rowStep.y());
            if (!at.mapRect(outlineBounds).intersects(QRectF(canvas)))
                continue; // out of sight: not stroked at all
            painter.setTransform(at);
            painter.fillPath(outline, fill);
        }
    }
    painter.restore();
}

// The layer's cover tiles, if it has any: each tile turned once about its
// own origin, spaced from the text's real (scaled) size.
std::optional<CoverTiles> coverTiles(const CWatermarkConf &layer, const QPainterPath &glyphs,
                                     QSizeF box, qreal scale, QColor fillColor, int canvasWidth,
                                     int canvasHeight)
{
    const bool stroked = layer.coverImgMethod == kw::Code(kw::CoverImgMethodCode::Stroke);
    const bool filled = layer.coverImgMethod == kw::Code(kw::CoverImgMethodCode::Fill);
    if (!layer.BCoverImage || !(stroked || filled) || glyphs.isEmpty() ||
        (stroked && layer.EdgeLineThickness < 0))
        return std::nullopt;
    const QTransform turn = turnAndScale(layer.Rotation, scale);
    const bool earlierLayout = layer.RelativeSize <= 0 && !layer.TurnAboutAnchor &&
                               box.width() <= kEarlierMeasureBox &&
                               box.height() <= kEarlierMeasureBox;
    CoverTiles cover;
    cover.grid = earlierLayout ? upright(box, canvasWidth, canvasHeight)
                               : turnedWithText(box, turn, canvasWidth, canvasHeight);
    cover.tile = turn.map(glyphs);
    // Its own copy of the outline (unturned, it would share the glyphs'):
    // the sprites are drawn from it on another thread, and a path keeps
    // caches that drawing fills in.
    const QPainterPath::Element first = cover.tile.elementAt(0);
    cover.tile.setElementPositionAt(0, first.x, first.y);
    if (stroked)
        cover.pen = roundPen(LayerColor(layer.EdgeColor, layer.Transparency),
                             layer.EdgeLineThickness * scale);
    else
        cover.brush = QBrush(fillColor);
    return cover;
}

} // namespace

void CTextEffectRenderer::DrawTextLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                                        const CWatermarkConf &layer)
{
    using kw::LayerColor;
    const QFont font = kw::FontFromLogFont(layer.Font);
    const QString &text = layer.textContent;
    const QColor fillColor = LayerColor(layer.TextColor, layer.Transparency);

    // The text at its real size, unwrapped.
    const QSizeF box = kw::MeasureTextBox(font, text);
    const qreal scale = markScale(layer, font, canvasWidth, canvasHeight);
    if (!(scale > 0) || !std::isfinite(scale))
        return;
    // The glyph outline is built once at (0, 0) and moved where it is needed.
    const QPainterPath glyphs = kw::TextOutline(font, text, QPointF(0, 0));
    const TextPlacement placement = placeText(layer, glyphs, box, scale, canvasWidth, canvasHeight);
    const QPointF origin = placement.origin;
    const QPainterPath path = glyphs.translated(origin);

    const QTransform canvasFrame = painter.transform();

    // The cover's sprites are drawn first, on another thread while the other
    // effects are painted.
    const std::optional<CoverTiles> cover =
        coverTiles(layer, glyphs, box, placement.scale, fillColor, canvasWidth, canvasHeight);
    CoverSprites sprites;
    std::future<void> spritesReady;
    if (cover) {
        sprites = coverSpriteLayout(
            *cover, canvasFrame, QSize(painter.device()->width(), painter.device()->height()),
            painter.renderHints() | QPainter::Antialiasing | QPainter::TextAntialiasing |
                QPainter::SmoothPixmapTransform);
        // Another thread only pays when other effects are drawn meanwhile.
        const bool overlapped =
            layer.BAddShadow || layer.BDrawEdge || layer.B3DText || layer.BGradientText;
        if (sprites.usable && overlapped) {
            try {
                spritesReady = std::async(std::launch::async, [&cover, &sprites] {
                    renderCoverSprites(*cover, sprites);
                });
            } catch (const std::system_error &) {
                // No thread to be had: they are drawn here.
            }
        }
        if (!spritesReady.valid())
            renderCoverSprites(*cover, sprites);
    }

    painter.save();
    applyPlacement(painter, placement, layer.Rotation);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);

    if (layer.BAddShadow) {
        // A regular-weight shadow at a whole em size, as the shadow strokes are built.
        QFont shadowFont = font;
        shadowFont.setWeight(QFont::Normal);
        shadowFont.setItalic(false);
        const QColor shadowColor(0, 0, 0, int(uint32_t(layer.ShadowAlpha) & 0xFF));
        const int passes =
            int(std::clamp<int64_t>(int64_t(layer.ShadowBR) + 8, INT32_MIN, INT32_MAX));
        const QPoint shadowOrigin(int(std::trunc(origin.x())), int(std::trunc(origin.y())));
        if (placement.scale != 1) {
            drawScaledShadow(painter, canvasFrame, placement, layer.Rotation, shadowFont, text,
                             shadowOrigin + QPoint(layer.ShadowH, layer.ShadowV), shadowColor,
                             std::min(passes, CTextStrokeStrategy::kMaxThickness));
        } else {
            CShadowTextPainter shadow;
            shadow.EnableShadow(true);
            shadow.ResetShadow();
            shadow.SetShadow(shadowColor, passes, QPoint(layer.ShadowH, layer.ShadowV));
            shadow.DrawString(painter, shadowFont, text, shadowOrigin);
        }
    }

    if (layer.BDrawEdge && layer.EdgeLineThickness >= 0)
        painter.strokePath(
            path, roundPen(LayerColor(layer.EdgeColor, layer.EdgeAlpha), layer.EdgeLineThickness));

    const QPoint step = extrusionStep(layer.TDTextPos);
    if (layer.B3DText && !step.isNull()) {
        const QColor extrusion = LayerColor(layer.TDTextColor, 255);
        const int copies = std::min(layer.TDTextOffset, kMaxExtrusionCopies);
        if (placement.scale > 1 && copies > 1) {
            // Enlarged, the copies would stand apart: the solid they stand
            // for is filled instead.
            painter.fillPath(sweptSolid(path.translated(step * 2), QPointF(step) * (copies - 1),
                                        painter.transform()),
                             extrusion);
        } else {
            for (int i = 0; i < copies; ++i)
                painter.fillPath(path.translated(step * (i + 2)), extrusion);
        }
    }

    if (layer.BFillText)
        painter.fillPath(path, fillColor);

    if (layer.BGradientText) {
        QLinearGradient gradient(
            QPointF(std::trunc(origin.x()), std::trunc(origin.y())),
            QPointF(std::trunc(origin.x() + box.width()), std::trunc(origin.y() + box.height())));
        gradient.setSpread(QGradient::RepeatSpread);
        gradient.setColorAt(0, LayerColor(layer.GradientBeginColor, layer.Transparency));
        gradient.setColorAt(1, LayerColor(layer.GradientEndColor, layer.Transparency));
        painter.fillPath(path, QBrush(gradient));
    }

    // Cover tiles: drawn from the unturned canvas frame, after the other effects.
    painter.restore();
    if (cover) {
        if (spritesReady.valid())
            spritesReady.wait();
        drawCoverTiles(painter, *cover, sprites);
    }
}

} // namespace kw
