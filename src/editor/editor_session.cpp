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
{}

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
        const ModelResult result = LoadLayerOverDefaults(m_templatesFolder, name, layer);
        if (result)
            m_record = layer;
        else
            showStatus(u"The layer \"%1\" cannot be read: %2"_s.arg(name, result.reason));
        loaded = bool(result);
    }
    m_layerLoaded = loaded;
    // The pages show the record through their controls, which clamp what is
    // out of range; the clamped record is then saved and drawn once. A layer
    // that was not read is left as its file is.
    CommitBatcher::Scope batch(m_commits);
    emit layerChanged();
    if (loaded)
        m_commits.request();
}

bool EditorSession::saveRecord()
{
    const QString layerName = currentLayerName();
    if (layerName.isEmpty()) {
        setStatus(u"This template has no layer to edit: changes are not saved."_s);
        return false;
    }
    const ModelResult saved = SaveLayerConf(m_templatesFolder, layerName, m_record);
    if (!saved) {
        setStatus(u"Changes are not saved: %1"_s.arg(saved.reason));
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
    }
    setStatus(lost.isEmpty() ? QString()
                             : u"The layer file has no place for %1: those settings are not "
                               u"saved."_s.arg(lost.join(u", "_s)));
    return lost.isEmpty();
}

void EditorSession::commitChange()
{
    saveRecord();
    m_preview.requestRedraw();
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
    const Status added = AddTemplateLayer(folder, m_templateName, *name);
    if (!added) {
        m_prompts.message(parent, added.error(), MessageIcon::Critical);
        return;
    }
    reloadLayers(kLastLayer);
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
    const Status renamed = RenameTemplateLayer(folder, m_templateName, index, *name);
    if (!renamed) {
        m_prompts.message(parent, renamed.error(), MessageIcon::Critical);
        return;
    }
    reloadLayers(index);
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
    const Result<QString> removed = RemoveTemplateLayer(m_templatesFolder, m_templateName, index);
    if (!removed) {
        m_prompts.message(parent, removed.error(), MessageIcon::Critical);
        return;
    }
    if (!removed->isEmpty())
        m_prompts.message(parent, *removed, MessageIcon::Information);
    reloadLayers(index); // the layer that took its place, or the new last one
}

} // namespace kw
