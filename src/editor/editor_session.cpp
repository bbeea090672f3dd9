#include "editor/editor_session.h"

#include "controls/user_prompts.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_layers.h"
#include "model/template_library.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace kw {

EditorSession::EditorSession(QString templatesFolder, QString templateName, UserPrompts &prompts,
                             QObject *parent)
    : QObject(parent), m_templatesFolder(std::move(templatesFolder)),
      m_templateName(std::move(templateName)), m_prompts(prompts),
      m_preview(m_templatesFolder, m_templateName, PreviewFrame::kSize),
      m_commits([this] { commitChange(); })
{
    m_history.setParent(this); // found by the window's tests; destroyed as a member
    m_history.setObjectName(QStringLiteral("editorHistory"));
}

namespace {

constexpr int kLastLayer = std::numeric_limits<int>::max();

bool SameValue(const LayerField &field, const CWatermarkConf &a, const CWatermarkConf &b)
{
    if (field.text)
        return a.*field.text == b.*field.text;
    if (field.font)
        return a.*field.font == b.*field.font;
    if (field.integer)
        return a.*field.integer == b.*field.integer;
    return a.*field.color == b.*field.color;
}

// The elements whose fields differ; "other" for a difference outside the
// field table.
QStringList ChangedFields(const CWatermarkConf &before, const CWatermarkConf &after)
{
    QStringList changed;
    for (const LayerField &field : LayerFields()) {
        if (!SameValue(field, before, after))
            changed << field.element.toString();
    }
    if (changed.isEmpty() && !(before == after))
        changed << u"other"_s;
    return changed;
}

// Typing and sliding change numbers and texts a little at a time, and those
// steps merge; a click on a check box, a list entry, a colour or a font is a
// step of its own, so clicking twice is two steps.
bool ChangedByTyping(const CWatermarkConf &before, const CWatermarkConf &after)
{
    for (const LayerField &field : LayerFields()) {
        if (SameValue(field, before, after))
            continue;
        if (field.kind != LayerFieldKind::Text && field.kind != LayerFieldKind::Integer)
            return false;
    }
    return true;
}

} // namespace

void EditorSession::open()
{
    reloadLayers(0);
}

QString EditorSession::currentLayerName() const
{
    return m_current >= 0 ? m_layers.at(m_current) : QString();
}

void EditorSession::reloadLayers(int select)
{
    m_layers = ReadTemplateLayers(m_templatesFolder, m_templateName);
    selectLayer(std::min(select, int(m_layers.size()) - 1));
}

void EditorSession::selectLayer(int index)
{
    m_current = index >= 0 && index < m_layers.size() ? index : -1;
    bool loaded = true;
    const QString name = currentLayerName();
    if (!name.isEmpty()) {
        CWatermarkConf layer;
        const Status result = LoadLayerOverDefaults(m_templatesFolder, name, layer);
        if (result)
            m_record = layer;
        else
            showStatus(u"The layer \"%1\" cannot be read: %2"_s.arg(name, result.error()));
        loaded = bool(result);
    }
    m_layerLoaded = loaded;
    // The pages show the record through their controls, which clamp what is
    // out of range; the clamped record is then saved and drawn once. A layer
    // that was not read is left as its file is.
    {
        // Showing a layer is not a change of the user's.
        const FlagScope quiet(m_quiet);
        CommitBatcher::Scope batch(m_commits);
        emit layerChanged();
        if (loaded)
            m_commits.request();
    }
    m_committed = m_record;
    breakBurst();
}

bool EditorSession::saveRecord()
{
    const QString layerName = currentLayerName();
    if (layerName.isEmpty()) {
        setStatus(u"This template has no layer to edit: changes are not saved."_s);
        return false;
    }
    // Optional settings are kept as the file keeps them (within bounds).
    for (const OptionalLayerField &field : OptionalLayerFields())
        m_record.*field.member = BoundedOptionalValue(field, m_record.*field.member);
    const Status saved = SaveLayerConf(m_templatesFolder, layerName, m_record);
    if (!saved) {
        setStatus(u"Changes are not saved: %1"_s.arg(saved.error()));
        return false;
    }
    // A save only rewrites elements the file has; read it back so a setting
    // that found no element is not lost without a word.
    CWatermarkConf reread;
    QStringList lost;
    if (LoadLayerOverDefaults(m_templatesFolder, layerName, reread)) {
        for (const LayerField &field : LayerFields()) {
            if (!SameValue(field, m_record, reread))
                lost << field.element.toString();
        }
        for (const OptionalLayerField &field : OptionalLayerFields()) {
            if (m_record.*field.member != reread.*field.member)
                lost << field.element.toString();
        }
    }
    setStatus(lost.isEmpty() ? QString()
                             : u"The layer file has no place for %1: those settings are not "
                               u"saved."_s.arg(lost.join(u", "_s)));
    return lost.isEmpty();
}

void EditorSession::commitChange()
{
    const QString name = currentLayerName();
    if (m_quiet || name.isEmpty()) {
        saveRecord();
    } else {
        const QString path = layerPath(name);
        Result<std::vector<FileState>> before = CaptureFiles({path});
        const QString key = commitMergeKey();
        const QStringList changed = ChangedFields(m_committed, m_record);
        saveRecord();
        recordStep(changed.isEmpty() ? u"Change"_s : u"Change %1"_s.arg(changed.join(u", "_s)),
                   std::move(before), {path}, m_current, key);
    }
    m_committed = m_record;
    m_preview.requestRedraw();
}

void EditorSession::editRecord(const std::function<void(CWatermarkConf &)> &edit)
{
    CommitBatcher::Scope batch(m_commits);
    edit(m_record);
    emit layerChanged();
    m_commits.request();
}

Status EditorSession::editTemplate(const QString &text, const QString &mergeKey,
                                   const std::function<Status()> &save)
{
    const QString path = templatePath();
    Result<std::vector<FileState>> before = CaptureFiles({path});
    const Status saved = save();
    recordStep(text, std::move(before), {path}, m_current,
               mergeKey.isEmpty() ? QString() : u"%1|template|%2"_s.arg(m_burst).arg(mergeKey));
    m_preview.requestRedraw();
    return saved;
}

QString EditorSession::layerPath(const QString &layerName) const
{
    return ModelFilePath(m_templatesFolder, layerName);
}

QString EditorSession::templatePath() const
{
    return ModelFilePath(m_templatesFolder, m_templateName);
}

QString EditorSession::commitMergeKey() const
{
    if (m_gesture.isEmpty() && !ChangedByTyping(m_committed, m_record))
        return {};
    const QString what = m_gesture.isEmpty() ? ChangedFields(m_committed, m_record).join(u',')
                                             : u"gesture:"_s + m_gesture;
    return u"%1|%2|%3"_s.arg(m_burst).arg(currentLayerName(), what);
}

void EditorSession::recordStep(const QString &text, Result<std::vector<FileState>> before,
                               const QStringList &paths, int layerBefore, const QString &mergeKey)
{
    Result<std::vector<FileState>> after = CaptureFiles(paths);
    if (!before || !after) {
        // The change stands, but it cannot be taken back: say so, and do not
        // let an older step undo across it.
        m_history.clear();
        setStatus(
            u"This change cannot be undone: %1"_s.arg(before ? after.error() : before.error()));
        return;
    }
    if (*before == *after)
        return;
    m_history.push(new FileEditCommand(
        text, std::move(before).value(), std::move(after).value(), {layerBefore, m_current},
        mergeKey,
        [this](const std::vector<FileState> &states, int layer) { restoreFiles(states, layer); }));
}

void EditorSession::restoreFiles(const std::vector<FileState> &states, int layer)
{
    breakBurst();
    const Status restored = RestoreFiles(states);
    reloadLayers(layer);
    emit filesRestored();
    if (!restored)
        setStatus(u"Undo could not put every file back: %1"_s.arg(restored.error()));
}

void EditorSession::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

// ---------------------------------------------------------------- layer commands

void EditorSession::runLayerCommand(LayerCommand command, QWidget *parent)
{
    switch (command) {
    case LayerCommand::Add:
        addLayer(parent);
        break;
    case LayerCommand::Rename:
        renameLayer(parent);
        break;
    case LayerCommand::Remove:
        removeLayer(parent);
        break;
    }
}

void EditorSession::addLayer(QWidget *parent)
{
    const QString folder = m_templatesFolder;
    NameRequest request;
    request.caption = u"Add New Layer"_s;
    request.label = u"Input New Layer Name: "_s;
    request.check = [folder](const QString &name) { return CheckNewLayerName(folder, name); };
    const std::optional<QString> name = m_prompts.askName(parent, request);
    if (!name)
        return;
    const QStringList paths{templatePath(), layerPath(*name)};
    Result<std::vector<FileState>> before = CaptureFiles(paths);
    const int shown = m_current;
    const Status added = AddTemplateLayer(folder, m_templateName, *name);
    if (!added) {
        m_prompts.message(parent, added.error(), MessageIcon::Critical);
        return;
    }
    reloadLayers(kLastLayer);
    recordStep(u"Add layer \"%1\""_s.arg(*name), std::move(before), paths, shown, {});
}

void EditorSession::renameLayer(QWidget *parent)
{
    const int index = m_current;
    if (index < 0)
        return;
    const QString folder = m_templatesFolder;
    const QString oldName = currentLayerName();
    NameRequest request;
    request.caption = u"Rename This Layer"_s;
    request.label = u"Input New Layer Name: "_s;
    request.initialText = oldName;
    request.check = [folder, oldName](const QString &name) {
        return name == oldName ? QString() : CheckNewLayerName(folder, name);
    };
    const std::optional<QString> name = m_prompts.askName(parent, request);
    if (!name || *name == oldName)
        return;
    const QString refusal = CheckLayerRename(folder, m_templateName, index, *name);
    if (!refusal.isEmpty()) {
        m_prompts.message(parent, refusal, MessageIcon::Warning);
        return;
    }
    // The file about to move holds every change already; save once more so
    // nothing typed since is left behind.
    saveRecord();
    const QStringList paths{templatePath(), layerPath(oldName), layerPath(*name)};
    Result<std::vector<FileState>> before = CaptureFiles(paths);
    const Status renamed = RenameTemplateLayer(folder, m_templateName, index, *name);
    if (!renamed) {
        m_prompts.message(parent, renamed.error(), MessageIcon::Critical);
        return;
    }
    reloadLayers(index);
    recordStep(u"Rename layer \"%1\""_s.arg(oldName), std::move(before), paths, index, {});
}

void EditorSession::removeLayer(QWidget *parent)
{
    const int index = m_current;
    if (index < 0)
        return;
    const QString refusal = CheckLayerRemoval(m_templatesFolder, m_templateName, index);
    if (!refusal.isEmpty()) {
        m_prompts.message(parent, refusal, MessageIcon::Warning);
        return;
    }
    if (m_prompts.message(
            parent, u"Do you want to remove the layer \"%1\"?"_s.arg(m_layers.at(index)),
            MessageIcon::Question, MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return;
    const QStringList paths{templatePath(), layerPath(m_layers.at(index))};
    Result<std::vector<FileState>> before = CaptureFiles(paths);
    const QString removedName = m_layers.at(index);
    const Result<QString> removed = RemoveTemplateLayer(m_templatesFolder, m_templateName, index);
    if (!removed) {
        m_prompts.message(parent, removed.error(), MessageIcon::Critical);
        return;
    }
    if (!removed->isEmpty())
        m_prompts.message(parent, *removed, MessageIcon::Information);
    reloadLayers(index); // the layer that took its place, or the new last one
    recordStep(u"Remove layer \"%1\""_s.arg(removedName), std::move(before), paths, index, {});
}

} // namespace kw
