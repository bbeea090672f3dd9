#include "controls/button_bar.h"

#include "controls/artwork.h"
#include "i18n/language_file.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace kw {

namespace {

constexpr int kStateCount = 4;

int StateIndex(CButtonBar::State state)
{
    return static_cast<int>(state);
}

} // namespace

CButtonBar::CButtonBar(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
}

void CButtonBar::setBitmaps(int normal, int hot, int pressed, int disabled,
                            const LanguageFile *language)
{
    const std::array<int, kStateCount> ids{normal, hot, pressed, disabled};
    for (int i = 0; i < kStateCount; ++i) {
        m_builtInIds[i] = 0;
        m_pictures[i] = QPixmap();
        const QString replacement = language ? language->bitmapPath(ids[i]) : QString();
        if (!replacement.isEmpty()) {
            // The replacement is a picture of the whole bar at its own size.
            const QImage image = language->bitmap(ids[i]);
            if (!image.isNull()) {
                m_pictures[i] = QPixmap::fromImage(image);
                continue;
            }
        }
        m_builtInIds[i] = ids[i];
    }
    m_picturesRatio = 0;
    renderBuiltIns();
    update();
}

void CButtonBar::setBitmapImages(const QImage &normal, const QImage &hot, const QImage &pressed,
                                 const QImage &disabled)
{
    const std::array<const QImage *, kStateCount> images{&normal, &hot, &pressed, &disabled};
    for (int i = 0; i < kStateCount; ++i) {
        m_builtInIds[i] = 0;
        m_pictures[i] = images[i]->isNull() ? QPixmap() : QPixmap::fromImage(*images[i]);
    }
    update();
}

void CButtonBar::renderBuiltIns()
{
    const qreal ratio = devicePixelRatioF();
    if (ratio == m_picturesRatio)
        return;
    m_picturesRatio = ratio;
    for (int i = 0; i < kStateCount; ++i) {
        if (m_builtInIds[i] != 0)
            m_pictures[i] = BuiltInPixmap(m_builtInIds[i], ratio);
    }
}

void CButtonBar::addButton(const BarButton &button)
{
    m_buttons.append({button, QString(), nullptr});
    update();
}

void CButtonBar::setupTooltips(const LanguageFile &language)
{
    for (Button &button : m_buttons)
        button.tooltip =
            button.data.tooltipId != 0 ? language.string(button.data.tooltipId) : QString();
}

void CButtonBar::enableButton(int command, bool enabled)
{
    Button *button = find(command);
    if (!button)
        return;
    button->data.enabled = enabled;
    if (!enabled) {
        if (m_focus == command)
            moveFocus(+1);
        if (m_hot == command)
            m_hot = -1;
        if (m_pressed == command) {
            m_pressed = -1;
            m_pressedInside = false;
        }
    }
    update();
}

bool CButtonBar::isButtonEnabled(int command) const
{
    const Button *button = find(command);
    return button && button->data.enabled;
}

QRect CButtonBar::buttonRect(int command) const
{
    const Button *button = find(command);
    return button ? button->data.rect : QRect();
}

QString CButtonBar::tooltipText(int command) const
{
    const Button *button = find(command);
    if (!button)
        return {};
    return button->action ? shownTooltip(*button) : button->tooltip;
}

QList<int> CButtonBar::commands() const
{
    QList<int> list;
    for (const Button &button : m_buttons)
        list << button.data.command;
    return list;
}

void CButtonBar::setAction(int command, QAction *action)
{
    Button *button = find(command);
    if (!button)
        return;
    button->action = action;
    enableButton(command, action->isEnabled());
    connect(action, &QAction::changed, this, [this, command, action] {
        if (isButtonEnabled(command) != action->isEnabled())
            enableButton(command, action->isEnabled());
    });
}

QAction *CButtonBar::action(int command) const
{
    const Button *button = find(command);
    return button ? button->action.data() : nullptr;
}

QString CButtonBar::shownTooltip(const Button &button) const
{
    QString text = button.tooltip.trimmed();
    if (text.isEmpty() && button.action)
        text = button.action->text().remove(u'&').remove(QChar(0x2026)); // no "…"

    if (button.action && !button.action->shortcut().isEmpty())
        text += QStringLiteral(" (%1)").arg(
            button.action->shortcut().toString(QKeySequence::NativeText));
    return text;
}

bool CButtonBar::trigger(int command)
{
    if (!isButtonEnabled(command))
        return false;
    postClick(command);
    return true;
}

const CButtonBar::Button *CButtonBar::find(int command) const
{
    for (const Button &button : m_buttons) {
        if (button.data.command == command)
            return &button;
    }
    return nullptr;
}

CButtonBar::Button *CButtonBar::find(int command)
{
    return const_cast<Button *>(std::as_const(*this).find(command));
}

int CButtonBar::enabledButtonAt(QPoint pos) const
{
    for (const Button &button : m_buttons) {
        if (button.data.enabled && button.data.rect.contains(pos))
            return button.data.command;
    }
    return -1;
}

void CButtonBar::setHot(int command)
{
    if (m_hot == command)
        return;
    m_hot = command;
    update();
}

void CButtonBar::postClick(int command)
{
    // Like a posted notification: the owner handles it after this event, so a
    // modal dialog it opens does not run inside the bar's mouse handler.
    QMetaObject::invokeMethod(
        this,
        [this, command] {
            const Button *button = find(command);
            if (button && button->action)
                button->action->trigger(); // nothing when it was disabled meanwhile
            else
                emit commandClicked(command);
        },
        Qt::QueuedConnection);
}

void CButtonBar::paintEvent(QPaintEvent *)
{
    renderBuiltIns();
    const qreal ratio = devicePixelRatioF();
    QImage canvas((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        // Copies replace what is under them, as a bitmap copy would.
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        auto copy = [&](State state, const QRect &rect) {
            const QPixmap &picture = m_pictures[StateIndex(state)];
            if (picture.isNull())
                return;
            const qreal pr = picture.devicePixelRatio();
            const QRectF source(rect.x() * pr, rect.y() * pr, rect.width() * pr,
                                rect.height() * pr);
            p.drawPixmap(QRectF(rect), picture, source);
        };
        int enabledCount = 0;
        for (const Button &button : m_buttons)
            enabledCount += button.data.enabled ? 1 : 0;
        const bool mostlyEnabled = enabledCount * 2 > m_buttons.size();
        copy(mostlyEnabled ? State::Normal : State::Disabled, rect());
        for (const Button &button : m_buttons) {
            if (button.data.enabled != mostlyEnabled)
                copy(mostlyEnabled ? State::Disabled : State::Normal, button.data.rect);
        }
        if (m_pressed != -1 && m_pressedInside)
            copy(State::Pressed, buttonRect(m_pressed));
        else if (m_hot != -1)
            copy(State::Hot, buttonRect(m_hot));
        else if (m_focus != -1 && hasFocus())
            copy(State::Hot, buttonRect(m_focus));
        if (m_focus != -1 && hasFocus()) {
            // The keyboard's button: a dotted frame inside it.
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            QPen pen(QColor(20, 32, 30), 1, Qt::DotLine);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(buttonRect(m_focus)).adjusted(2.5, 2.5, -2.5, -2.5));
        }
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), canvas);
}

void CButtonBar::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed != -1) {
        const bool inside = buttonRect(m_pressed).contains(pos);
        if (inside != m_pressedInside) {
            m_pressedInside = inside;
            update();
        }
        return;
    }
    setHot(enabledButtonAt(pos));
}

void CButtonBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int hit = enabledButtonAt(event->position().toPoint());
    m_pressed = hit;
    m_pressedInside = hit != -1;
    update();
}

void CButtonBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int hit = enabledButtonAt(event->position().toPoint());
    const int pressed = m_pressed;
    m_pressed = -1;
    m_pressedInside = false;
    m_hot = -1;
    update();
    // Only a release over the button that was pressed clicks it, so sliding
    // off a button is a way to change one's mind.
    if (hit != -1 && hit == pressed)
        postClick(hit);
}

void CButtonBar::leaveEvent(QEvent *event)
{
    if (m_pressed == -1)
        setHot(-1);
    QWidget::leaveEvent(event);
}

void CButtonBar::moveFocus(int step)
{
    // The next enabled button in `step`'s direction, wrapping around; none
    // when every button is disabled.
    const int count = int(m_buttons.size());
    int at = -1;
    for (int i = 0; i < count; ++i) {
        if (m_buttons[i].data.command == m_focus)
            at = i;
    }
    if (at < 0)
        at = step > 0 ? -1 : count;
    int found = -1;
    for (int n = 1; n <= count && found < 0; ++n) {
        const int i = ((at + step * n) % count + count) % count;
        if (m_buttons[i].data.enabled)
            found = m_buttons[i].data.command;
    }
    m_focus = found;
    update();
}

void CButtonBar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        moveFocus(-1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        moveFocus(+1);
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_focus != -1 && event->modifiers() == Qt::NoModifier) {
            trigger(m_focus);
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void CButtonBar::focusInEvent(QFocusEvent *event)
{
    if (m_focus == -1 || !isButtonEnabled(m_focus)) {
        m_focus = -1;
        moveFocus(+1);
    }
    QWidget::focusInEvent(event);
    update();
}

void CButtonBar::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool CButtonBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        for (const Button &button : m_buttons) {
            const QString tip = shownTooltip(button);
            if (button.data.rect.contains(help->pos()) && !tip.isEmpty()) {
                QToolTip::showText(help->globalPos(), tip, this, button.data.rect);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

} // namespace kw
