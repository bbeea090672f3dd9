#pragma once

#include <QColor>
#include <QLabel>

namespace kw {
class UserPrompts;
}

// A text label that opens an address when clicked: the link colour, red while
// the pointer is on it, the visited colour once opened; underlined while the
// pointer is on it (or always, or never); the address as its tooltip; the
// pointing-hand cursor. Enter or Space opens it from the keyboard.
//
// The address is opened through the prompt interface given to the label.
// When that fails, the label beeps and shows, through the same interface and
// with the warning icon, "Unable to open hyperlink:\n\n" and the reason, and
// it stays unvisited. UI thread only; `prompts` must outlive the label.
class CHyperLinkLabel : public QLabel
{
    Q_OBJECT
public:
    enum UnderlineMode {
        UnderlineHover = -1, // underlined while the pointer is on the label
        UnderlineNever = 0,
        UnderlineAlways = 1,
    };

    static inline const QColor kLinkColour{0, 0, 238};
    static inline const QColor kVisitedColour{85, 26, 139};
    static inline const QColor kHoverColour{255, 0, 0};

    CHyperLinkLabel(const QString &text, kw::UserPrompts &prompts, QWidget *parent = nullptr);

    // The address opened by a click. While it is empty the label's text is
    // the address; a label without text shows its address.
    void SetAddress(const QString &address);
    QString address() const;
    void SetUnderlineMode(int mode); // -1, 0 or 1
    void SetVisited(bool visited);
    // Whether the label takes the size of its text (the default) or may grow.
    void SetFitToText(bool fit);

    bool isVisited() const { return m_visited; }
    bool isUnderlined() const { return font().underline(); }
    QColor textColour() const;

    // Opens the address as a click does; true when it opened.
    bool open();

signals:
    void opened(const QString &address);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setOver(bool over);
    void updateLook();

    kw::UserPrompts &m_prompts;
    QString m_address;
    int m_underlineMode = UnderlineHover;
    bool m_visited = false;
    bool m_over = false;
};

// The message shown when an address cannot be opened.
QString HyperlinkFailureMessage(const QString &reason);
