#pragma once

#include <QImage>
#include <QLineEdit>
#include <QRect>

namespace kw {

// A one-line edit box drawn from two pictures, with an area of the picture
// that acts as a button (for example a "clear" cross at its right end).
//
// The box shows the "empty" picture while it holds no text and the "with
// text" picture otherwise, and takes the size of the picture it shows. Its
// text is laid out in the formatting rectangle; the text cursor is shown only
// there, the standard arrow elsewhere. Releasing the left mouse button inside
// the button rectangle emits buttonClicked() while the box holds text (also
// while it is empty when setNotifyWhenEmpty(true) was called).
//
// The rectangles are given in the box's edit area, which starts inside the
// picture's frame at kEditAreaOrigin of the widget: the picture lies at
// (-3, -2) of the edit area. They are left, top, right, bottom with right and
// bottom exclusive. UI thread only.
class CEditWithButton : public QLineEdit
{
    Q_OBJECT
public:
    explicit CEditWithButton(QWidget *parent = nullptr);

    // The picture shown while the box is empty and the one shown while it
    // holds text. Always succeeds.
    bool SetBitmaps(const QImage &emptyPicture, const QImage &textPicture);
    void SetButtonRect(int left, int top, int right, int bottom);
    // Lays the text out in this rectangle from now on and applies the layout
    // at once. Always succeeds.
    bool SetFormatRect(int left, int top, int right, int bottom);
    void SetNotifyWhenEmpty(bool notify) { m_notifyWhenEmpty = notify; }

    static constexpr QPoint kEditAreaOrigin{3, 2};

    // The rectangles in the widget's coordinates.
    QRect buttonRect() const { return m_buttonRect.translated(kEditAreaOrigin); }
    QRect formatRect() const { return m_formatRect.translated(kEditAreaOrigin); }
    // The picture that matches the current content.
    const QImage &currentPicture() const;

signals:
    void buttonClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Resizes the box to the matching picture and places the text in the
    // formatting rectangle; nothing happens while that rectangle is empty.
    void applyLayout();
    void updateCursor(const QPoint &position);

    QImage m_emptyPicture;
    QImage m_textPicture;
    QRect m_buttonRect;
    QRect m_formatRect;
    bool m_notifyWhenEmpty = false;
    bool m_inLayout = false;
};

} // namespace kw
