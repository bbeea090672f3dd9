#include "controls/edit_with_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace kw {

CEditWithButton::CEditWithButton(QWidget *parent) : QLineEdit(parent)
{
    // The pictures are the box's whole look: no frame, and the text is drawn
    // straight over the picture.
    setFrame(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);
    setMouseTracking(true);
    connect(this, &QLineEdit::textChanged, this, [this] {
        applyLayout();
        update();
    });
}

bool CEditWithButton::SetBitmaps(const QImage &emptyPicture, const QImage &textPicture)
{
    m_emptyPicture = emptyPicture;
    m_textPicture = textPicture;
    applyLayout();
    update();
    return true;
}

void CEditWithButton::SetButtonRect(int left, int top, int right, int bottom)
{
    m_buttonRect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

bool CEditWithButton::SetFormatRect(int left, int top, int right, int bottom)
{
    m_formatRect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    applyLayout();
    return true;
}

const QImage &CEditWithButton::currentPicture() const
{
    return text().isEmpty() ? m_emptyPicture : m_textPicture;
}

void CEditWithButton::applyLayout()
{
    if (m_formatRect.isEmpty() || m_inLayout)
        return;
    m_inLayout = true;
    const QImage &picture = currentPicture();
    if (!picture.isNull())
        setFixedSize(picture.size());
    const QRect text = formatRect().intersected(rect());
    setTextMargins(text.left(), text.top(), std::max(0, width() - text.right() - 1),
                   std::max(0, height() - text.bottom() - 1));
    m_inLayout = false;
}

void CEditWithButton::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.drawImage(0, 0, currentPicture()); // (-3, -2) of the edit area
    }
    QLineEdit::paintEvent(event);
}

void CEditWithButton::updateCursor(const QPoint &position)
{
    setCursor(formatRect().contains(position) ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void CEditWithButton::mouseMoveEvent(QMouseEvent *event)
{
    updateCursor(event->position().toPoint());
    QLineEdit::mouseMoveEvent(event);
}

void CEditWithButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && buttonRect().contains(event->position().toPoint()) &&
        (!text().isEmpty() || m_notifyWhenEmpty))
        emit buttonClicked();
    QLineEdit::mouseReleaseEvent(event);
}

void CEditWithButton::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    applyLayout();
}

void CEditWithButton::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyLayout();
}

} // namespace kw
