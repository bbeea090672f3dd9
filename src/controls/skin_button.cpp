#include "controls/skin_button.h"

#include "controls/artwork.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Drawing vector art is slow next to a paint; keep each size once.
QPixmap CachedBuiltInPixmap(int id, QSize size, qreal devicePixelRatio)
{
    const QString key = u"CSkinButton/%1/%2x%3@%4"_s.arg(id)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(devicePixelRatio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = kw::BuiltInPixmap(id, size, devicePixelRatio);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

} // namespace

CSkinButton::CSkinButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    SetCaptionFont(kDefaultCaptionHeight);
    LoadBitmaps(kNormalBitmap, kHotBitmap, kPressedBitmap, kDisabledBitmap);
}

bool CSkinButton::Face::isNull() const
{
    return image.isNull() && kw::BuiltInImageSize(id).isEmpty();
}

QImage CSkinButton::Face::natural() const
{
    return image.isNull() ? kw::BuiltInImage(id) : image;
}

bool CSkinButton::LoadBitmaps(int normal, int hot, int pressed, int disabled)
{
    if (normal == 0 || hot == 0 || pressed == 0 || disabled == 0)
        return false;
    m_normal = {normal, {}};
    m_hot = {hot, {}};
    m_pressed = {pressed, {}};
    m_disabled = {disabled, {}};
    updateGeometry();
    update();
    return true;
}

void CSkinButton::SetBitmaps(const QImage &normal, const QImage &hot, const QImage &pressed,
                             const QImage &disabled)
{
    m_normal = {0, normal};
    m_hot = {0, hot};
    m_pressed = {0, pressed};
    m_disabled = {0, disabled};
    updateGeometry();
    update();
}

void CSkinButton::SetCaptionFont(int height)
{
    if (height < 1)
        height = kDefaultCaptionHeight;
    QFont font(u"Tahoma"_s);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    // `height` is the character cell; Qt sizes fonts by their em.
    font.setPixelSize(height);
    const int cell = QFontMetrics(font).height();
    if (cell > 0)
        font.setPixelSize(std::max(1, (height * height + cell / 2) / cell));
    m_captionFont = font;
    updateGeometry();
    update();
}

const CSkinButton::Face &CSkinButton::currentFace() const
{
    if (!isEnabled())
        return m_disabled;
    if (isCheckable() && isChecked())
        return m_pressed;
    switch (m_state) {
    case Hot:
        return m_hot;
    case Pressed:
        return m_pressed;
    case Normal:
        break;
    }
    return m_normal;
}

QImage CSkinButton::currentBitmap() const
{
    return currentFace().natural();
}

QSize CSkinButton::sizeHint() const
{
    QSize size = m_normal.image.isNull() ? kw::BuiltInImageSize(m_normal.id)
                                         : m_normal.image.deviceIndependentSize().toSize();
    if (size.isEmpty())
        size = QSize(75, 23);
    const QFontMetrics metrics(m_captionFont);
    size.setWidth(std::max(size.width(), metrics.horizontalAdvance(text()) + 16));
    size.setHeight(std::max(size.height(), metrics.height() + 6));
    return size;
}

void CSkinButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Face &chosen = currentFace();
    const Face &face = chosen.isNull() ? m_normal : chosen;
    if (!face.image.isNull()) {
        if (face.image.deviceIndependentSize().toSize() == size()) {
            painter.drawImage(QPoint(0, 0), face.image);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect(), face.image);
        }
    } else if (!face.isNull()) {
        // Built-in pictures are vector art: drawn at the button's size they
        // stretch without blurring.
        painter.drawPixmap(QPoint(0, 0), CachedBuiltInPixmap(face.id, size(), devicePixelRatioF()));
    } else {
        painter.fillRect(rect(), QColor(62, 65, 71));
    }

    painter.setFont(m_captionFont);
    painter.setPen(QColor(255, 255, 255));
    const QFontMetrics metrics(m_captionFont);
    const int x = (width() - metrics.horizontalAdvance(text())) / 2;
    const int y = (height() - metrics.height()) / 2;
    painter.drawText(x, y + metrics.ascent(), text());

    if (hasFocus()) {
        QPen pen(QColor(255, 255, 255, 150), 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void CSkinButton::setMouseState(MouseState state)
{
    if (m_state == state)
        return;
    m_state = state;
    update();
}

void CSkinButton::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    if (m_state == Normal)
        setMouseState(Hot);
}

void CSkinButton::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    setMouseState(Normal);
}

void CSkinButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setMouseState(Pressed);
    QPushButton::mousePressEvent(event);
}

void CSkinButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setMouseState(rect().contains(event->position().toPoint()) ? Hot : Normal);
    QPushButton::mouseReleaseEvent(event);
}

} // namespace kw
