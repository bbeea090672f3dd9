#pragma once

#include "editor/editor_history.h"
#include "editor/editor_page_support.h"
#include "editor/live_preview.h"
#include "model/watermark_conf.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUndoStack>

#include <functional>

class QWidget;

namespace kw {

class UserPrompts;

// The layer menu's commands.
enum class LayerCommand : int { Add = 32774, Rename = 32775, Remove = 32776 };

// One open editor: the template being edited, its layer list, the selected
// layer and the editing record that holds it, saving, the layer commands,
// the prompts and the live preview. Owned by the editor; both pages are
// views of it: they write into the record, ask for commits, and show the
// record again whenever layerChanged() fires.
//
// Every change that reaches a file is a step of history(): undo and redo put
// the files back as they were (saving them, as every change does) and show
// the layer the step touched. Steps are kept as file contents, so any field
// of a layer file is covered. Consecutive commits that change the same
// fields of the same layer are one step until breakBurst(). UI thread only.
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

    // Sets fields of the selected layer from outside the pages (dragging the
    // mark): the pages show the record again, then it is committed once.
    void editRecord(const std::function<void(CWatermarkConf &)> &edit);

    // Saves a template-wide setting through `save` as one step of history.
    // Steps with the same non-empty `mergeKey` in one burst are one step.
    Status editTemplate(const QString &text, const QString &mergeKey,
                        const std::function<Status()> &save);

    QUndoStack &history() { return m_history; }
    // The next change starts a new step (the user moved to another control,
    // or a gesture ended).
    void breakBurst() { ++m_burst; }
    // While not empty, commits merge under this name instead of the fields
    // they change (a drag that moves both offsets is one step).
    void setGesture(const QString &name) { m_gesture = name; }

    QString status() const { return m_status; }
    // Tells the user about a problem (until the next save clears it).
    void showStatus(const QString &text) { setStatus(text); }

signals:
    // The layer list or the selected layer changed, and the record holds the
    // selected layer. Pages refill their lists and show the record.
    void layerChanged();
    // A message for the user about saving; empty when all is well.
    void statusChanged(const QString &text);
    // Undo or redo put files back; views of template-wide settings read
    // them again.
    void filesRestored();

private:
    // Reads the layer list again and selects `select`, or the last layer
    // when the list is shorter.
    void reloadLayers(int select);
    void addLayer(QWidget *parent);
    void renameLayer(QWidget *parent);
    void removeLayer(QWidget *parent);
    void setStatus(const QString &text);
    QString layerPath(const QString &layerName) const;
    QString templatePath() const;
    // The merge key of a commit of the record: the burst, the layer and the
    // fields that differ from the last commit (or the gesture).
    QString commitMergeKey() const;
    // Pushes a step already made, when the files changed.
    void recordStep(const QString &text, Result<std::vector<FileState>> before,
                    const QStringList &paths, int layerBefore, const QString &mergeKey);
    // Undo and redo: writes the states back and shows `layer`.
    void restoreFiles(const std::vector<FileState> &states, int layer);

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
    QUndoStack m_history;
    CWatermarkConf m_committed; // the record as last committed or loaded
    bool m_quiet = false;       // commits are not steps of history
    int m_burst = 0;
    QString m_gesture;
};

} // namespace kw
