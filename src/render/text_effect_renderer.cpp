#include "render/text_effect_renderer.h"

#include "platform/codes.h"
#include "render/font_mapping.h"
#include "render/text_strategy.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>

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

QPen roundPen(QColor color, int width)
{
    return QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
}

void turnAbout(QPainter &painter, QPointF centre, int32_t degrees)
{
    painter.translate(centre);
    painter.rotate(-qreal(degrees));
    painter.translate(-centre);
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

struct CoverTileGrid
{
    int rows = 0;
    int cols = 0;
    qreal rowStep = 0;
    qreal colStep = 0;
};

// Every tile is the same turned outline at another place. It is drawn once
// per half-pixel phase into a small picture that is then copied to each
// place, instead of being rasterised thousands of times; a tile lands within
// a quarter pixel of its exact position. Tiles too big for that are drawn
// directly.
void drawCoverTiles(QPainter &painter, const CoverTileGrid &grid, const QPainterPath &tile,
                    const QPen &pen, const QBrush &brush)
{
    if (grid.rows <= 0 || grid.cols <= 0)
        return;
    constexpr qint64 kMaxSpritePixels = 4 * 1024 * 1024;
    // The painter may scale (a preview of a larger photo): the sprite is
    // drawn at the device's scale and the steps are scaled with it.
    const QTransform base = painter.transform();
    const qreal sx = base.m11();
    const qreal sy = base.m22();
    const qreal penMargin = pen.style() == Qt::NoPen ? 0 : pen.widthF() / 2;
    const QRectF userBounds =
        tile.boundingRect().adjusted(-penMargin, -penMargin, penMargin, penMargin);
    const QRect spriteBounds = QRectF(userBounds.left() * sx, userBounds.top() * sy,
                                      userBounds.width() * sx, userBounds.height() * sy)
                                   .adjusted(-2, -2, 2, 2)
                                   .toAlignedRect()
                                   .adjusted(0, 0, 1, 1);
    const QRect canvas(0, 0, painter.device()->width(), painter.device()->height());

    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.setPen(pen);
    painter.setBrush(brush);
    if (qint64(spriteBounds.width()) * spriteBounds.height() > kMaxSpritePixels ||
        base.type() > QTransform::TxScale || sx <= 0 || sy <= 0) {
        for (int r = 0; r < grid.rows; ++r) {
            for (int j = 0; j < grid.cols; ++j) {
                painter.setTransform(
                    QTransform(base).translate(j * grid.colStep, r * grid.rowStep));
                painter.drawPath(tile);
            }
        }
        painter.restore();
        return;
    }

    QImage sprites[2][2];
    auto sprite = [&](int phaseX, int phaseY) -> const QImage & {
        QImage &image = sprites[phaseY][phaseX];
        if (image.isNull()) {
            image = QImage(spriteBounds.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter spritePainter(&image);
            spritePainter.setRenderHints(painter.renderHints());
            spritePainter.setPen(pen);
            spritePainter.setBrush(brush);
            spritePainter.translate(-spriteBounds.left() + phaseX * 0.5,
                                    -spriteBounds.top() + phaseY * 0.5);
            spritePainter.scale(sx, sy);
            spritePainter.drawPath(tile);
        }
        return image;
    };
    const QPointF deviceOrigin = base.map(QPointF(0, 0));
    for (int r = 0; r < grid.rows; ++r) {
        const qreal y = deviceOrigin.y() + r * grid.rowStep * sy;
        const qreal rowFloor = std::floor(y + 0.25);
        const int phaseY = y + 0.25 - rowFloor >= 0.5 ? 1 : 0;
        for (int j = 0; j < grid.cols; ++j) {
            const qreal x = deviceOrigin.x() + j * grid.colStep * sx;
            const qreal colFloor = std::floor(x + 0.25);
            const int phaseX = x + 0.25 - colFloor >= 0.5 ? 1 : 0;
            const QPoint at(int(colFloor) + spriteBounds.left(),
                            int(rowFloor) + spriteBounds.top());
            if (!canvas.intersects(QRect(at, spriteBounds.size())))
                continue;
            painter.resetTransform();
            painter.drawImage(at, sprite(phaseX, phaseY));
        }
    }
    painter.restore();
}

} // namespace

void CTextEffectRenderer::DrawTextLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                                        const CWatermarkConf &layer)
{
    using kw::LayerColor;
    const QFont font = kw::FontFromLogFont(layer.Font);
    const QString &text = layer.textContent;
    const QColor fillColor = LayerColor(layer.TextColor, layer.Transparency);

    const QSizeF box = kw::MeasureTextBox(font, text);
    const QPointF origin = kw::TextAnchor(layer.Location, canvasWidth, canvasHeight, box) +
                           QPointF(layer.OffsetH, layer.OffsetV);
    // The glyph outline is built once at (0, 0) and moved where it is needed.
    const QPainterPath glyphs = kw::TextOutline(font, text, QPointF(0, 0));
    const QPainterPath path = glyphs.translated(origin);

    painter.save();
    turnAbout(painter, origin, layer.Rotation);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);

    if (layer.BAddShadow) {
        // A regular-weight shadow at a whole em size, as the shadow strokes are built.
        QFont shadowFont = font;
        shadowFont.setWeight(QFont::Normal);
        shadowFont.setItalic(false);
        CShadowTextPainter shadow;
        shadow.EnableShadow(true);
        shadow.ResetShadow();
        shadow.SetShadow(
            QColor(0, 0, 0, int(uint32_t(layer.ShadowAlpha) & 0xFF)),
            int(std::clamp<int64_t>(int64_t(layer.ShadowBR) + 8, INT32_MIN, INT32_MAX)),
            QPoint(layer.ShadowH, layer.ShadowV));
        shadow.DrawString(painter, shadowFont, text,
                          QPoint(int(std::trunc(origin.x())), int(std::trunc(origin.y()))));
    }

    if (layer.BDrawEdge && layer.EdgeLineThickness >= 0)
        painter.strokePath(
            path, roundPen(LayerColor(layer.EdgeColor, layer.EdgeAlpha), layer.EdgeLineThickness));

    const QPoint step = extrusionStep(layer.TDTextPos);
    if (layer.B3DText && !step.isNull()) {
        const QColor extrusion = LayerColor(layer.TDTextColor, 255);
        const int copies = std::min(layer.TDTextOffset, kMaxExtrusionCopies);
        for (int i = 0; i < copies; ++i)
            painter.fillPath(path.translated(step * (i + 2)), extrusion);
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

    // Cover tiles: drawn from the unturned canvas frame, each turned once
    // about its own origin.
    painter.restore();
    const bool stroked = layer.coverImgMethod == kw::Code(kw::CoverImgMethodCode::Stroke);
    const bool filled = layer.coverImgMethod == kw::Code(kw::CoverImgMethodCode::Fill);
    if (layer.BCoverImage && (stroked || filled) && !glyphs.isEmpty() &&
        (!stroked || layer.EdgeLineThickness >= 0)) {
        CoverTileGrid grid;
        grid.rows = int(canvasHeight / (box.height() + 10));
        grid.cols = int(canvasWidth / (box.width() + 10));
        grid.rowStep = box.height() + 55;
        grid.colStep = box.width() + 100;
        QTransform turn;
        turn.rotate(-qreal(layer.Rotation));
        const QPainterPath tile = turn.map(glyphs);
        if (stroked)
            drawCoverTiles(
                painter, grid, tile,
                roundPen(LayerColor(layer.EdgeColor, layer.Transparency), layer.EdgeLineThickness),
                QBrush(Qt::NoBrush));
        else
            drawCoverTiles(painter, grid, tile, QPen(Qt::NoPen), QBrush(fillColor));
    }
}

} // namespace kw
