#pragma once

#include <QAbstractSpinBox>

#include <cstdint>

namespace kw {

// A box for a whole number with spin arrows at its right edge. Unlike a
// QSpinBox it keeps whatever text it is given: the owner reads the number
// with value() and decides what to store, and may put the text back.
//
// The keyboard enters digits only, plus a leading minus sign when the range
// reaches below 0. The arrows, the Up and Down keys and the wheel step the
// box's current number by one within the range and set the text. Text set by
// the program is not checked. textChanged() fires for every change of the
// text, typed or set. UI thread only.
class NumberBox : public QAbstractSpinBox
{
    Q_OBJECT
public:
    explicit NumberBox(QWidget *parent = nullptr);

    // The range the arrows step within; also sizes the box.
    void setRange(int32_t minimum, int32_t maximum);
    int32_t minimum() const { return m_minimum; }
    int32_t maximum() const { return m_maximum; }

    void setText(const QString &text);
    void setNumber(int32_t value) { setText(QString::number(value)); }

    // The leading decimal number of the text with an optional sign; 0 when
    // the text holds none; the nearest limit beyond the 32-bit range.
    int32_t value() const;

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void textChanged(const QString &text);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    StepEnabled stepEnabled() const override;

private:
    int32_t m_minimum = 0;
    int32_t m_maximum = 99;
};

} // namespace kw
