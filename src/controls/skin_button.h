#pragma once

#include <QImage>
#include <QPushButton>

// A push button drawn from four pictures (normal, hot, pressed, disabled)
// with its caption centred over them in white.
//
// The picture of the current state is stretched over the whole button when
// the button's size differs from the normal picture's. The disabled picture is
// shown whenever the button is disabled, whatever the pointer does; a
// checkable button shows the pressed picture while it is checked. A state
// without a picture shows the normal one, and a button without any picture a
// plain dark face. UI thread only.
class CSkinButton : public QPushButton
{
    Q_OBJECT
public:
    // The pointer's relation to the button.
    enum MouseState {
        Normal = 0,
        Hot = 1,     // the pointer is over the button
        Pressed = 2, // the left button went down on it
    };

    // The bitmap numbers every skin button of the program uses.
    static constexpr int kNormalBitmap = 167;
    static constexpr int kHotBitmap = 169;
    static constexpr int kPressedBitmap = 168;
    static constexpr int kDisabledBitmap = 167;
    static constexpr int kDefaultCaptionHeight = 16;

    // A button with the program's four pictures and a 16-pixel caption.
    explicit CSkinButton(const QString &text = {}, QWidget *parent = nullptr);

    // Takes the four pictures by built-in bitmap number (controls/artwork.h);
    // they are drawn at the button's size and the screen's pixel ratio. All
    // four numbers must be non-zero, or nothing changes and the result is
    // false. A number without a picture leaves that state without one.
    bool LoadBitmaps(int normal, int hot, int pressed, int disabled);
    // The same with pictures of any size, stretched over the button.
    void SetBitmaps(const QImage &normal, const QImage &hot, const QImage &pressed,
                    const QImage &disabled);
    // The caption's font: Tahoma whose cell (ascent plus descent) is `height`
    // pixels; a height below 1 gives 16.
    void SetCaptionFont(int height);

    MouseState mouseState() const { return m_state; }
    // The picture painting uses now, at its natural size (null when that
    // state has none).
    QImage currentBitmap() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // One state's picture: a built-in number, or a picture of its own.
    struct Face
    {
        int id = 0;
        QImage image;
        bool isNull() const;
        QImage natural() const;
    };

    void setMouseState(MouseState state);
    const Face &currentFace() const;

    Face m_normal;
    Face m_hot;
    Face m_pressed;
    Face m_disabled;
    QFont m_captionFont;
    MouseState m_state = Normal;
};
