#pragma once

#include "settings/preferences.h"

#include <QGroupBox>

class QCheckBox;
class QFormLayout;
class QSpinBox;

namespace kw {

// The "Output Quality" group of the General page: one row a setting (JPEG
// quality, WebP quality or lossless, AVIF quality) in a form layout that
// further rows join. UI thread only.
class COutputQualityGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit COutputQualityGroup(QWidget *parent = nullptr);

    // Shows `quality`; a stored number outside a control's range shows
    // clamped, and stays stored unless the user changes that control.
    void load(const OutputQuality &quality);
    // `stored` with the settings the user changed since load().
    OutputQuality changed(const OutputQuality &stored) const;

    QFormLayout *form() const { return m_form; }

private:
    QFormLayout *m_form = nullptr;
    QSpinBox *m_jpeg = nullptr;
    QSpinBox *m_webp = nullptr;
    QCheckBox *m_webpLossless = nullptr;
    QSpinBox *m_avif = nullptr;
    OutputQuality m_shown; // what load() showed
};

} // namespace kw
