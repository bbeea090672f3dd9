#include "controls/hyperlink_label.h"

#include "controls/user_prompts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace kw {

QString HyperlinkFailureMessage(const QString &reason)
{
    return u"Unable to open hyperlink:\n\n"_s + reason;
}

CHyperLinkLabel::CHyperLinkLabel(const QString &text, kw::UserPrompts &prompts, QWidget *parent)
    : QLabel(text, parent), m_prompts(prompts)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    SetFitToText(true);
    updateLook();
}

void CHyperLinkLabel::SetAddress(const QString &address)
{
    m_address = address;
    if (text().isEmpty())
        setText(address);
    updateLook();
}

QString CHyperLinkLabel::address() const
{
    return m_address.isEmpty() ? text() : m_address;
}

void CHyperLinkLabel::SetUnderlineMode(int mode)
{
    m_underlineMode = mode < 0 ? UnderlineHover : (mode > 0 ? UnderlineAlways : UnderlineNever);
    updateLook();
}

void CHyperLinkLabel::SetVisited(bool visited)
{
    m_visited = visited;
    updateLook();
}

void CHyperLinkLabel::SetFitToText(bool fit)
{
    setSizePolicy(fit ? QSizePolicy::Fixed : QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateGeometry();
}

QColor CHyperLinkLabel::textColour() const
{
    if (m_over)
        return kHoverColour;
    return m_visited ? kVisitedColour : kLinkColour;
}

bool CHyperLinkLabel::open()
{
    setOver(false);
    const QString target = address();
    const kw::Status result = m_prompts.openAddress(QUrl::fromUserInput(target));
    if (result) {
        SetVisited(true);
        emit opened(target);
        return true;
    }
    QApplication::beep();
    const QString reason =
        result.error().isEmpty() ? u"No program could open the address."_s : result.error();
    m_prompts.message(this, HyperlinkFailureMessage(reason), kw::MessageIcon::Warning);
    return false;
}

void CHyperLinkLabel::setOver(bool over)
{
    if (m_over == over)
        return;
    m_over = over;
    updateLook();
}

void CHyperLinkLabel::updateLook()
{
    QFont f = font();
    f.setUnderline(m_underlineMode == UnderlineAlways ||
                   (m_underlineMode == UnderlineHover && m_over));
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, textColour());
    setPalette(p);
    setToolTip(address());
    update();
}

void CHyperLinkLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    setOver(true);
}

void CHyperLinkLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    setOver(false);
}

void CHyperLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        open();
}

void CHyperLinkLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        open();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CHyperLinkLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

} // namespace kw
