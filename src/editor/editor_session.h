#pragma once

#include "editor/live_preview.h"
#include "model/watermark_conf.h"

#include <QObject>
#include <QString>

namespace kw {

class UserPrompts;

// What the editor and its two pages share while it is open: the template
// being edited, the editing record (the layer both pages show and write
// into), the prompts, and the live preview. Owned by the editor; the pages
// hold a reference. UI thread only.
class EditorSession : public QObject
{
    Q_OBJECT
public:
    EditorSession(QString templatesFolder, QString templateName, UserPrompts &prompts,
                  QObject *parent = nullptr);

    const QString &templatesFolder() const { return m_templatesFolder; }
    const QString &templateName() const { return m_templateName; }
    CWatermarkConf &record() { return m_record; }
    UserPrompts &prompts() { return m_prompts; }
    LivePreview &preview() { return m_preview; }

    // Saves the editing record into the layer's file in place and reads it
    // back. A failure (no layer, a missing or unwritable file, settings whose
    // elements the file lacks) is reported through statusChanged(), and the
    // next full success clears it.
    bool saveRecord(const QString &layerName);
    // Asks for a new preview of the template as its files now are.
    void redrawPreview() { m_preview.requestRedraw(); }

    QString status() const { return m_status; }
    // Tells the user about a problem (until the next save clears it).
    void showStatus(const QString &text) { setStatus(text); }

signals:
    // A message for the user about saving; empty when all is well.
    void statusChanged(const QString &text);

private:
    void setStatus(const QString &text);

    const QString m_templatesFolder;
    const QString m_templateName;
    UserPrompts &m_prompts;
    CWatermarkConf m_record;
    LivePreview m_preview;
    QString m_status;
};

} // namespace kw
