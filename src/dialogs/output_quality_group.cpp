#include "dialogs/output_quality_group.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QSpinBox>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

QSpinBox *QualityBox(const QString &name, int minimum, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, 100);
    return box;
}

} // namespace

COutputQualityGroup::COutputQualityGroup(QWidget *parent) : QGroupBox(u"Output Quality"_s, parent)
{
    setObjectName(u"outputQualityGroup"_s);
    m_jpeg = QualityBox(u"jpegQualitySpin"_s, 1, this);
    m_webp = QualityBox(u"webpQualitySpin"_s, 0, this);
    m_webpLossless = new QCheckBox(u"Lossless"_s, this);
    m_webpLossless->setObjectName(u"webpLosslessCheck"_s);
    m_webpLossless->setToolTip(u"Exact pixels; the quality is then the compression effort."_s);
    m_avif = QualityBox(u"avifQualitySpin"_s, 0, this);

    auto *webpRow = new QHBoxLayout;
    webpRow->addWidget(m_webp);
    webpRow->addWidget(m_webpLossless);
    webpRow->addStretch(1);

    m_form = new QFormLayout(this);
    m_form->addRow(u"JPEG quality:"_s, m_jpeg);
    m_form->addRow(u"WebP quality:"_s, webpRow);
    m_form->addRow(u"AVIF quality:"_s, m_avif);
    load(OutputQuality());
}

void COutputQualityGroup::load(const OutputQuality &quality)
{
    m_jpeg->setValue(quality.jpeg);
    m_webp->setValue(quality.webp);
    m_webpLossless->setChecked(quality.webpLossless != 0);
    m_avif->setValue(quality.avif);
    m_shown = {m_jpeg->value(), m_webp->value(), m_webpLossless->isChecked() ? 1 : 0,
               m_avif->value()};
}

OutputQuality COutputQualityGroup::changed(const OutputQuality &stored) const
{
    OutputQuality out = stored;
    if (m_jpeg->value() != m_shown.jpeg)
        out.jpeg = m_jpeg->value();
    if (m_webp->value() != m_shown.webp)
        out.webp = m_webp->value();
    if ((m_webpLossless->isChecked() ? 1 : 0) != m_shown.webpLossless)
        out.webpLossless = m_webpLossless->isChecked() ? 1 : 0;
    if (m_avif->value() != m_shown.avif)
        out.avif = m_avif->value();
    return out;
}

} // namespace kw
