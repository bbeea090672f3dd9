#include "editor/color_swatch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kw {

ColorSwatch::ColorSwatch(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ColorSwatch::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_color);
    // A thin frame keeps a white swatch visible on the white page.
    painter.setPen(hasFocus() ? palette().color(QPalette::Highlight) : QColor(128, 128, 128));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ColorSwatch::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kw
