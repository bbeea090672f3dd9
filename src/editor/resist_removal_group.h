#pragma once

#include "model/template_file.h"

#include <QGroupBox>

class QCheckBox;
class QDoubleSpinBox;

namespace kw {

class EditorSession;

// The template-wide "Resist removal across photos" option in the editor,
// below the layer pages: a check box and the perturbation's four numbers.
// Every change is saved into the template file at once (the element is
// removed when the box is cleared; the numbers stay in the boxes until the
// editor closes) and the preview redrawn, which then shows one example warp.
// A failed save is shown through the session's status. UI thread only.
class ResistRemovalGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit ResistRemovalGroup(EditorSession &session, QWidget *parent = nullptr);

    // The setting the controls show.
    MarkWarpSetting setting() const;

private:
    // Shows the setting the template file holds (at start, and after undo).
    void showStored();
    // Saves as a step of the session's history; steps of one box in a burst
    // (`mergeKey`, its name) merge.
    void save(const QString &mergeKey);

    EditorSession &m_session;
    QCheckBox *m_enabled = nullptr;
    QDoubleSpinBox *m_displacement = nullptr;
    QDoubleSpinBox *m_smoothness = nullptr;
    QDoubleSpinBox *m_offset = nullptr;
    QDoubleSpinBox *m_opacity = nullptr;
    bool m_showing = false;
};

} // namespace kw
