#pragma once

#include <QColor>
#include <QWidget>

namespace kw {

// A small area painted in one colour that reports clicks, for picking the
// colours of a layer. UI thread only.
class ColorSwatch : public QWidget
{
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QColor m_color = Qt::black;
};

} // namespace kw
