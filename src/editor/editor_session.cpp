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

namespace {

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

bool EditorSession::saveRecord(const QString &layerName)
{
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

void EditorSession::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

} // namespace kw
