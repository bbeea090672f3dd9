#pragma once

#include "model/template_file.h"

#include <QGroupBox>

class QCheckBox;
class QLineEdit;

namespace kw {

class EditorSession;

// The template-wide choices for the outputs' metadata in the editor: remove
// the GPS position, remove serial numbers, and an artist and a copyright
// text (which may use text variables) written into EXIF and XMP. Every change
// is saved into the template file at once (elements removed when off or
// empty); a failed save is shown through the session's status. The output
// preview does not show metadata, so nothing is redrawn. UI thread only.
class OutputMetadataGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit OutputMetadataGroup(EditorSession &session, QWidget *parent = nullptr);

    // The choices the controls show.
    OutputMetadataSetting setting() const;

private:
    void showStored();
    void save(const QString &mergeKey);

    EditorSession &m_session;
    QCheckBox *m_stripLocation = nullptr;
    QCheckBox *m_stripSerials = nullptr;
    QLineEdit *m_artist = nullptr;
    QLineEdit *m_copyright = nullptr;
};

} // namespace kw
