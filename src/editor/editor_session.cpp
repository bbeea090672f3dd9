#include "editor/editor_session.h"

#include "model/layer_file.h"

using namespace Qt::StringLiterals;

namespace kw {

EditorSession::EditorSession(QString templatesFolder, QString templateName, UserPrompts &prompts,
                             QObject *parent)
    : QObject(parent), m_templatesFolder(std::move(templatesFolder)),
      m_templateName(std::move(templateName)), m_prompts(prompts),
      m_preview(m_templatesFolder, m_templateName, PreviewFrame::kSize)
{}

bool EditorSession::saveRecord(const QString &layerName)
{
    if (layerName.isEmpty()) {
        setStatus(u"This template has no layer to edit: changes are not saved."_s);
        return false;
    }
    const ModelResult saved = SaveLayerConf(m_templatesFolder, layerName, m_record);
    setStatus(saved ? QString() : u"Changes are not saved: %1"_s.arg(saved.reason));
    return bool(saved);
}

void EditorSession::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

} // namespace kw
