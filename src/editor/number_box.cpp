#include "editor/number_box.h"

#include "model/layer_values.h"

#include <QLineEdit>
#include <QStyleOptionSpinBox>

#include <algorithm>

namespace kw {

NumberBox::NumberBox(QWidget *parent) : QAbstractSpinBox(parent)
{
    setAccelerated(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    connect(lineEdit(), &QLineEdit::textChanged, this, &NumberBox::textChanged);
}

void NumberBox::setRange(int32_t minimum, int32_t maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    updateGeometry();
}

void NumberBox::setText(const QString &text)
{
    lineEdit()->setText(text);
}

int32_t NumberBox::value() const
{
    return ParseLayerInteger(lineEdit()->text());
}

void NumberBox::stepBy(int steps)
{
    if (m_minimum > m_maximum)
        return;
    const int64_t next = int64_t(value()) + steps;
    setNumber(int32_t(std::clamp<int64_t>(next, m_minimum, m_maximum)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    if (isReadOnly() || m_minimum > m_maximum)
        return StepNone;
    StepEnabled enabled = StepNone;
    const int32_t current = value();
    if (current < m_maximum)
        enabled |= StepUpEnabled;
    if (current > m_minimum)
        enabled |= StepDownEnabled;
    return enabled;
}

QValidator::State NumberBox::validate(QString &input, int &) const
{
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        const bool sign = i == 0 && c == u'-' && m_minimum < 0;
        if (!sign && !(c >= u'0' && c <= u'9'))
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

QSize NumberBox::sizeHint() const
{
    ensurePolished();
    const QFontMetrics metrics = fontMetrics();
    const int widest = std::max(metrics.horizontalAdvance(QString::number(m_minimum)),
                                metrics.horizontalAdvance(QString::number(m_maximum)));
    // Room for the widest number of the range and the blinking cursor.
    const QSize content(widest + metrics.horizontalAdvance(u'0') + 4,
                        lineEdit()->sizeHint().height());
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}

} // namespace kw
