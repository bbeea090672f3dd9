#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPoint>
#include <QSizeF>
#include <QString>

#include <memory>

class QPainter;

namespace kw {

// The glyph outline of `text` with the top-left corner of its layout box at
// `origin`: each line's baseline lies one ascent below the line's top, lines
// follow one line spacing apart, and nothing wraps. Line breaks are "\n" or
// "\r\n".
QPainterPath TextOutline(const QFont &font, const QString &text, QPointF origin);

// The size of the text's layout box as measured for placement: the text laid
// out at its real size without wrapping, each "\n" (or "\r\n") starting a
// line; as wide as its widest line, as tall as its lines.
QSizeF MeasureTextBox(const QFont &font, const QString &text);

// A way of drawing a string as a graphics path.
class CTextStrategy
{
public:
    virtual ~CTextStrategy() = default;
    // Draws `text` with the top-left corner of its layout box at `origin`.
    // Returns whether anything could be drawn.
    virtual bool DrawString(QPainter &painter, const QFont &font, const QString &text,
                            QPoint origin) = 0;
};

// Strokes the glyph outline `thickness` times with pens of widths 1, 2, ...,
// thickness in the outline colour (round joins), then fills the outline once
// with the fill colour. The strokes pile up, darkest on the outline.
class CTextStrokeStrategy : public CTextStrategy
{
public:
    void SetStrokeStyle(QColor fill, QColor outline, int thickness);
    bool DrawString(QPainter &painter, const QFont &font, const QString &text,
                    QPoint origin) override;

    // A damaged layer file must not be able to ask for millions of passes.
    static constexpr int kMaxThickness = 256;

private:
    QColor m_fill = QColor(0, 0, 0, 0);
    QColor m_outline = QColor(0, 0, 0, 0);
    int m_thickness = 0;
};

// One layer's shadow: the glyph outline moved by an offset and stroked by a
// CTextStrokeStrategy with a transparent fill, so only a halo around the
// outline is painted. Owns its strategy. Use: EnableShadow(true),
// ResetShadow(), SetShadow(...), DrawString(...).
class CShadowTextPainter
{
public:
    void EnableShadow(bool enabled) { m_enabled = enabled; }
    void ResetShadow() { m_strategy.reset(); }
    void SetShadow(QColor color, int thickness, QPoint offset);
    // Draws nothing unless enabled and given a shadow.
    void DrawString(QPainter &painter, const QFont &font, const QString &text, QPoint origin);

private:
    bool m_enabled = false;
    std::unique_ptr<CTextStrategy> m_strategy;
    QPoint m_offset;
    QColor m_color = QColor(0, 0, 0);
    int m_thickness = 2;
};

} // namespace kw
