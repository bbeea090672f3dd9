#include "editor/layer_commands.h"

#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "xml/xml_document.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

using Outcome = LibraryResult::Outcome;

constexpr QStringView kLayersRoot = u"Layers";
constexpr QStringView kLayerEntry = u"layer";

// Loads the template file and moves into its layer list.
bool OpenLayerList(const QString &folder, const QString &templateName, CXmlDocument &doc,
                   QString *message)
{
    const QString path = ModelFilePath(folder, templateName);
    if (path.isEmpty()) {
        *message = u"No template is selected."_s;
        return false;
    }
    if (!doc.LoadFile(path) || !doc.FindElement(kLayersRoot) || !doc.EnterElement()) {
        *message = u"The template file %1 cannot be read."_s.arg(path);
        return false;
    }
    return true;
}

// Moves to the entry at `index` of the list (after OpenLayerList).
bool FindLayerEntry(CXmlDocument &doc, int index)
{
    for (int i = 0; doc.FindElement(kLayerEntry); ++i) {
        if (i == index)
            return true;
    }
    return false;
}

bool SaveTemplate(const QString &folder, const QString &templateName, CXmlDocument &doc,
                  QString *message)
{
    const Status saved = doc.SaveFile(ModelFilePath(folder, templateName));
    if (saved)
        return true;
    *message = u"The template file cannot be written: %1"_s.arg(saved.error());
    return false;
}

// Whether any template of the template list other than `except` names the layer.
QString OtherTemplateNaming(const QString &folder, const QString &except, const QString &layer)
{
    const TemplateIndex index = LoadTemplateIndex(folder);
    for (const QString &name : index.names) {
        if (name != except && ReadTemplateLayers(folder, name).contains(layer))
            return name;
    }
    return {};
}

} // namespace

LibraryResult AddTemplateLayer(const QString &folder, const QString &templateName,
                               const QString &layerName)
{
    const QString refusal = CheckNewLayerName(folder, layerName);
    if (!refusal.isEmpty())
        return {Outcome::Refused, refusal};
    CXmlDocument doc;
    QString message;
    if (!OpenLayerList(folder, templateName, doc, &message))
        return {Outcome::Failed, message};
    while (doc.FindElement(u"")) {
        // to the last child, so the new entry comes after every other one
    }
    if (!doc.AddElement(kLayerEntry, layerName))
        return {Outcome::Failed,
                u"The template's layer list cannot take the name \"%1\"."_s.arg(layerName)};

    CWatermarkConf conf;
    ApplyNewLayerDefaults(conf, kAddedLayerText);
    const ModelResult written = CreateLayerFile(folder, layerName, conf);
    if (!written)
        return {Outcome::Failed, u"The new layer cannot be written: %1"_s.arg(written.reason)};
    if (!SaveTemplate(folder, templateName, doc, &message)) {
        QFile::remove(ModelFilePath(folder, layerName));
        return {Outcome::Failed, message};
    }
    return {};
}

LibraryResult RenameTemplateLayer(const QString &folder, const QString &templateName, int index,
                                  const QString &newName)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (index < 0 || index >= layers.size())
        return {Outcome::Failed, u"The template has no such layer."_s};
    const QString oldName = layers.at(index);
    if (newName == oldName)
        return {};
    const QString refusal = CheckNewLayerName(folder, newName);
    if (!refusal.isEmpty())
        return {Outcome::Refused, refusal};
    const QString other = OtherTemplateNaming(folder, templateName, oldName);
    if (!other.isEmpty())
        return {
            Outcome::Refused,
            u"The layer \"%1\" is also used by the template \"%2\", so it cannot be renamed."_s.arg(
                oldName, other)};

    CXmlDocument doc;
    QString message;
    if (!OpenLayerList(folder, templateName, doc, &message))
        return {Outcome::Failed, message};
    while (doc.FindElement(kLayerEntry)) {
        if (doc.GetElementText() == oldName)
            doc.SetElementText(newName);
    }

    const QString oldPath = ModelFilePath(folder, oldName);
    const QString newPath = ModelFilePath(folder, newName);
    const bool hasFile = !oldPath.isEmpty() && QFileInfo::exists(oldPath);
    if (hasFile) {
        QFile file(oldPath);
        if (!file.rename(newPath))
            return {Outcome::Failed,
                    u"The layer file cannot be renamed: %1"_s.arg(file.errorString())};
    }
    if (!SaveTemplate(folder, templateName, doc, &message)) {
        if (hasFile)
            QFile::rename(newPath, oldPath);
        return {Outcome::Failed, message};
    }
    return {};
}

LibraryResult RemoveTemplateLayer(const QString &folder, const QString &templateName, int index)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (index < 0 || index >= layers.size())
        return {Outcome::Failed, u"The template has no such layer."_s};
    if (layers.size() == 1)
        return {Outcome::Refused,
                u"A template needs at least one layer, so its last layer cannot be removed."_s};
    const QString name = layers.at(index);

    CXmlDocument doc;
    QString message;
    if (!OpenLayerList(folder, templateName, doc, &message))
        return {Outcome::Failed, message};
    if (!FindLayerEntry(doc, index) || !doc.RemoveElement())
        return {Outcome::Failed, u"The template has no such layer."_s};
    if (!SaveTemplate(folder, templateName, doc, &message))
        return {Outcome::Failed, message};

    QStringList remaining = layers;
    remaining.removeAt(index);
    const QString path = ModelFilePath(folder, name);
    if (path.isEmpty() || remaining.contains(name) ||
        !OtherTemplateNaming(folder, templateName, name).isEmpty())
        return {};
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return {Outcome::Done,
                u"The layer was removed, but its file %1 could not be deleted."_s.arg(path)};
    return {};
}

} // namespace kw
