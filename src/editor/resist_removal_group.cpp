#include "editor/resist_removal_group.h"

#include "editor/editor_session.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

QDoubleSpinBox *numberBox(QWidget *parent, const QString &name, double low, double high,
                          double step, int decimals, const QString &suffix)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false); // one save per finished number, not per digit
    return box;
}

} // namespace

ResistRemovalGroup::ResistRemovalGroup(EditorSession &session, QWidget *parent)
    : QGroupBox(u"Whole template"_s, parent), m_session(session)
{
    setObjectName(u"resistRemovalGroup"_s);
    m_enabled = new QCheckBox(u"Resist removal across photos"_s, this);
    m_enabled->setObjectName(u"resistRemovalBox"_s);
    m_enabled->setToolTip(
        u"Warps each photo's mark slightly differently (by about a pixel), so the mark "
        "cannot be estimated from many photos and removed from all of them."_s);
    m_displacement = numberBox(this, u"warpDisplacementBox"_s, 0.0,
                               MarkWarpSetting::kMaxDisplacementLimit, 0.1, 1, u" px"_s);
    m_smoothness = numberBox(this, u"warpSmoothnessBox"_s, MarkWarpSetting::kSmoothnessMin,
                             MarkWarpSetting::kSmoothnessMax, 1, 0, u" px"_s);
    m_offset = numberBox(this, u"warpOffsetBox"_s, 0.0, MarkWarpSetting::kMaxOffsetLimit, 0.5, 1,
                         u" px"_s);
    m_opacity = numberBox(this, u"warpOpacityBox"_s, 0.0, MarkWarpSetting::kOpacityVariationLimit,
                          1, 0, u" %"_s);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_enabled, 0, 0, 1, 4);
    const auto add = [&](int row, int column, const QString &label, QWidget *box) {
        auto *text = new QLabel(label, this);
        text->setBuddy(box);
        grid->addWidget(text, row, column);
        grid->addWidget(box, row, column + 1);
    };
    add(1, 0, u"Largest warp:"_s, m_displacement);
    add(1, 2, u"Smoothness:"_s, m_smoothness);
    add(2, 0, u"Largest shift:"_s, m_offset);
    add(2, 2, u"Opacity change:"_s, m_opacity);

    showStored();
    connect(&m_session, &EditorSession::filesRestored, this, &ResistRemovalGroup::showStored);

    connect(m_enabled, &QCheckBox::toggled, this, [this](bool on) {
        for (QDoubleSpinBox *box : {m_displacement, m_smoothness, m_offset, m_opacity})
            box->setEnabled(on);
        save({}); // each click a step of its own
    });
    for (QDoubleSpinBox *box : {m_displacement, m_smoothness, m_offset, m_opacity})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, box] { save(box->objectName()); });
}

MarkWarpSetting ResistRemovalGroup::setting() const
{
    MarkWarpSetting setting;
    setting.enabled = m_enabled->isChecked();
    setting.maxDisplacement = m_displacement->value();
    setting.smoothness = m_smoothness->value();
    setting.maxOffset = m_offset->value();
    setting.opacityVariation = m_opacity->value();
    return setting;
}

void ResistRemovalGroup::showStored()
{
    const QScopedValueRollback showing(m_showing, true);
    const Result<MarkWarpSetting> stored =
        ReadMarkWarpSetting(m_session.templatesFolder(), m_session.templateName());
    const MarkWarpSetting shown = stored.valueOr(MarkWarpSetting{});
    m_enabled->setChecked(shown.enabled);
    m_displacement->setValue(shown.maxDisplacement);
    m_smoothness->setValue(shown.smoothness);
    m_offset->setValue(shown.maxOffset);
    m_opacity->setValue(shown.opacityVariation);
    for (QDoubleSpinBox *box : {m_displacement, m_smoothness, m_offset, m_opacity})
        box->setEnabled(shown.enabled);
}

void ResistRemovalGroup::save(const QString &mergeKey)
{
    if (m_showing)
        return;
    const Status saved = m_session.editTemplate(u"Change removal resistance"_s, mergeKey, [this] {
        return SaveMarkWarpSetting(m_session.templatesFolder(), m_session.templateName(),
                                   setting());
    });
    if (!saved)
        m_session.showStatus(saved.error());
}

} // namespace kw
