#pragma once

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

class QAction;

namespace kw {

class LanguageFile;

// One button of a button bar: its command number, its rectangle inside the
// bar, the number of its tooltip text (0: none) and whether it takes clicks.
struct BarButton
{
    int command = 0;
    QRect rect;
    int tooltipId = 0;
    bool enabled = true;
};

// A bar of buttons drawn from four pictures of the whole bar: normal, hot,
// pressed and disabled. A button is drawn by copying its rectangle out of the
// picture of its state. When more than half of the buttons are enabled the
// bar starts from the normal picture and copies each disabled button from the
// disabled one; otherwise it starts from the disabled picture and copies each
// enabled button from the normal one. Then the pressed button (while the
// pointer is on it) or else the hot button is copied from its picture.
//
// Pointing at an enabled button makes it hot; pressing the left mouse button
// on it presses it; releasing the mouse over the same button emits
// commandClicked after the current event has been handled (the bar's owner
// may open a modal dialog from it). A disabled button ignores the mouse.
// Tooltips show each button's text over its rectangle.
//
// A button may stand for a QAction (setAction): it is then enabled exactly
// when the action is, a click triggers the action instead of emitting
// commandClicked, and its tooltip names the action's shortcut. Given a focus
// policy, the bar takes the keyboard: the arrow keys move a focus frame over
// the enabled buttons, Space and Enter click the framed one.
//
// User-interface thread only.
class CButtonBar : public QWidget
{
    Q_OBJECT
public:
    enum class State { Normal, Hot, Pressed, Disabled };

    explicit CButtonBar(QWidget *parent = nullptr);

    // The four picture numbers, normal, hot, pressed, disabled: each is the
    // picture the language file names for it when that loads, else the
    // built-in picture (drawn for the screen's pixel ratio).
    void setBitmaps(int normal, int hot, int pressed, int disabled,
                    const LanguageFile *language = nullptr);
    // Pictures given directly, at their own pixel ratio. A null picture leaves
    // that state without one (its buttons are not drawn).
    void setBitmapImages(const QImage &normal, const QImage &hot, const QImage &pressed,
                         const QImage &disabled);

    void addButton(const BarButton &button);
    // Reads every button's tooltip text: the language file's text for its
    // number, else the built-in one; an empty text for number 0.
    void setupTooltips(const LanguageFile &language);

    // Enables or disables the button of `command` and redraws the bar.
    void enableButton(int command, bool enabled);
    bool isButtonEnabled(int command) const;
    QRect buttonRect(int command) const;
    QString tooltipText(int command) const;
    QList<int> commands() const;

    // The hot and pressed buttons' commands; -1 when none.
    int hotCommand() const { return m_hot; }
    int pressedCommand() const { return m_pressed; }

    // Emits commandClicked(command) as a click would, if the button exists
    // and is enabled (keyboard shortcuts use it). Returns whether it did.
    bool trigger(int command);

    // Makes the button of `command` stand for `action` (not owned).
    void setAction(int command, QAction *action);
    QAction *action(int command) const;

    // The button framed for the keyboard; -1 when none is.
    int focusCommand() const { return m_focus; }

signals:
    void commandClicked(int command);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;

private:
    struct Button
    {
        BarButton data;
        QString tooltip;
        QPointer<QAction> action;
    };

    QString shownTooltip(const Button &button) const;
    void moveFocus(int step);

    int enabledButtonAt(QPoint pos) const;
    const Button *find(int command) const;
    Button *find(int command);
    void setHot(int command);
    void renderBuiltIns();
    void postClick(int command);

    QList<Button> m_buttons;
    std::array<QPixmap, 4> m_pictures;
    std::array<int, 4>
        m_builtInIds{}; // per state: built-in number to redraw on a ratio change, or 0
    qreal m_picturesRatio = 0;
    int m_hot = -1;
    int m_pressed = -1;
    bool m_pressedInside = false;
    int m_focus = -1;
};

} // namespace kw
