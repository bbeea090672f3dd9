#pragma once

#include "editor/editor_page_support.h"
#include "editor/live_preview.h"
#include "model/watermark_conf.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace kw {

class UserPrompts;

// The layer menu's commands.
enum class LayerCommand : int { Add = 32774, Rename = 32775, Remove = 32776 };

// One open editor: the template being edited, its layer list, the selected
// layer and the editing record that holds it, saving, the layer commands,
// the prompts and the live preview. Owned by the editor; both pages are
// views of it: they write into the record, ask for commits, and show the
// record again whenever layerChanged() fires. UI thread only.
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

    // Reads the template's layer list and selects its first layer. Called
    // once, after the pages listen.
    void open();

    // The template's layers as last read, and the selected one (-1 and an
    // empty name when the list is empty).
    const QStringList &layers() const { return m_layers; }
    int currentIndex() const { return m_current; }
    QString currentLayerName() const;

    // Loads the layer at `index` into the record and tells the pages. A
    // layer that cannot be read is shown with the values held before and not
    // saved over until the user changes something; layerLoaded() says which.
    void selectLayer(int index);
    bool layerLoaded() const { return m_layerLoaded; }

    // Saves the record into the selected layer's file in place and reads it
    // back. A failure (no layer, a missing or unwritable file, settings whose
    // elements the file lacks) is reported through statusChanged(), and the
    // next full success clears it.
    bool saveRecord();
    // Saves, then asks for a new preview.
    void commitChange();
    // Commits now, or once when the outermost CommitBatcher::Scope on
    // commits() ends.
    void requestCommit() { m_commits.request(); }
    CommitBatcher &commits() { return m_commits; }

    // The layer menu's commands; prompts and messages are shown over `parent`.
    void runLayerCommand(LayerCommand command, QWidget *parent);

    QString status() const { return m_status; }
    // Tells the user about a problem (until the next save clears it).
    void showStatus(const QString &text) { setStatus(text); }

signals:
    // The layer list or the selected layer changed, and the record holds the
    // selected layer. Pages refill their lists and show the record.
    void layerChanged();
    // A message for the user about saving; empty when all is well.
    void statusChanged(const QString &text);

private:
    // Reads the layer list again and selects `select`, or the last layer
    // when the list is shorter.
    void reloadLayers(int select);
    void addLayer(QWidget *parent);
    void renameLayer(QWidget *parent);
    void removeLayer(QWidget *parent);
    void setStatus(const QString &text);

    const QString m_templatesFolder;
    const QString m_templateName;
    UserPrompts &m_prompts;
    CWatermarkConf m_record;
    LivePreview m_preview;
    CommitBatcher m_commits;
    QStringList m_layers;
    int m_current = -1;
    bool m_layerLoaded = true;
    QString m_status;
};

} // namespace kw
