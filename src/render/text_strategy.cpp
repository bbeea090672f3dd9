#include "render/text_strategy.h"

#include "render/stroke_halo.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QStringList>

#include <algorithm>

namespace kw {

namespace {
QStringList textLines(const QString &text)
{
    QString unified = text;
    unified.remove(u'\r');
    return unified.split(u'\n');
}
} // namespace

QPainterPath TextOutline(const QFont &font, const QString &text, QPointF origin)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    if (text.isEmpty())
        return path;
    const QFontMetricsF metrics(font);
    qreal baseline = origin.y() + metrics.ascent();
    for (const QString &line : textLines(text)) {
        if (!line.isEmpty())
            path.addText(QPointF(origin.x(), baseline), font, line);
        baseline += metrics.lineSpacing();
    }
    return path;
}

QSizeF MeasureTextBox(const QFont &font, const QString &text)
{
    if (text.isEmpty())
        return {0, 0};
    QString unified = text;
    unified.remove(u'\r');
    // Unwrapped: only the text's own line breaks start a line, so a line of
    // any length is measured whole.
    const QRectF box =
        QFontMetricsF(font).boundingRect(QRectF(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, unified);
    return {std::max(box.width(), 0.0), std::max(box.height(), 0.0)};
}

void CTextStrokeStrategy::SetStrokeStyle(QColor fill, QColor outline, int thickness)
{
    m_fill = fill;
    m_outline = outline;
    m_thickness = thickness;
}

bool CTextStrokeStrategy::DrawString(QPainter &painter, const QFont &font, const QString &text,
                                     QPoint origin)
{
    const QPainterPath path = kw::TextOutline(font, text, origin);
    if (path.isEmpty())
        return false;
    kw::PaintStrokeHalo(painter, path, m_outline, std::min(m_thickness, kMaxThickness));
    if (m_fill.alpha() != 0)
        painter.fillPath(path, m_fill);
    return true;
}

void CShadowTextPainter::SetShadow(QColor color, int thickness, QPoint offset)
{
    m_color = color;
    m_thickness = thickness;
    m_offset = offset;
    auto strategy = std::make_unique<CTextStrokeStrategy>();
    strategy->SetStrokeStyle(QColor(0, 0, 0, 0), color, thickness);
    m_strategy = std::move(strategy);
}

void CShadowTextPainter::DrawString(QPainter &painter, const QFont &font, const QString &text,
                                    QPoint origin)
{
    if (!m_enabled || !m_strategy)
        return;
    m_strategy->DrawString(painter, font, text, origin + m_offset);
}

} // namespace kw
