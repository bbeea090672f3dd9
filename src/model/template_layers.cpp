#include "model/template_layers.h"

#include "model/layer_file.h"
#include "model/library_files.h"
#include "model/template_file.h"
#include "model/template_library.h"
#include "model/watermark_conf.h"
#include "xml/xml_document.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kLayersRoot = u"Layers";
constexpr QStringView kLayerEntry = u"layer";

Failure NoSuchLayer()
{
    return Failure{u"The template has no such layer."_s};
}

// Loads the template file and moves into its layer list.
Status OpenLayerList(const QString &folder, const QString &templateName, CXmlDocument &doc)
{
    const QString path = ModelFilePath(folder, templateName);
    if (path.isEmpty())
        return Failure{u"No template is selected."_s};
    if (!doc.LoadFile(path) || !doc.FindElement(kLayersRoot) || !doc.EnterElement())
        return Failure{u"The template file %1 cannot be read."_s.arg(path)};
    return {};
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

Status SaveTemplate(const QString &folder, const QString &templateName, CXmlDocument &doc)
{
    if (const Status saved = doc.SaveFile(ModelFilePath(folder, templateName)); !saved)
        return Failure{u"The template file cannot be written: %1"_s.arg(saved.error())};
    return {};
}

// A template of the template list other than `except` that names the layer;
// empty when there is none.
QString OtherTemplateNaming(const QString &folder, const QString &except, const QString &layer)
{
    const QStringList names = LoadTemplateIndex(folder).valueOr({});
    for (const QString &name : names) {
        if (name != except && ReadTemplateLayers(folder, name).contains(layer))
            return name;
    }
    return {};
}

} // namespace

Status AddTemplateLayer(const QString &folder, const QString &templateName,
                        const QString &layerName)
{
    const QString refusal = CheckNewLayerName(folder, layerName);
    if (!refusal.isEmpty())
        return Failure{refusal};
    CXmlDocument doc;
    if (Status opened = OpenLayerList(folder, templateName, doc); !opened)
        return opened;
    while (doc.FindElement(u"")) {
        // to the last child, so the new entry comes after every other one
    }
    if (!doc.AddElement(kLayerEntry, layerName))
        return Failure{u"The template's layer list cannot take the name \"%1\"."_s.arg(layerName)};

    CWatermarkConf conf;
    ApplyNewLayerDefaults(conf, kAddedLayerText);
    // Layers added in the editor turn about their anchor, so a centred mark
    // stays centred at any angle; first-run files keep the corner turn.
    conf.TurnAboutAnchor = 1;
    conf.ImageTurnAboutAnchor = 1;
    const Status written = CreateLayerFile(folder, layerName, conf);
    if (!written)
        return Failure{u"The new layer cannot be written: %1"_s.arg(written.error())};
    const Status saved = SaveTemplate(folder, templateName, doc);
    if (!saved)
        QFile::remove(ModelFilePath(folder, layerName)); // no file that no list names
    return saved;
}

QString CheckLayerRename(const QString &folder, const QString &templateName, int index,
                         const QString &newName)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (index < 0 || index >= layers.size() || newName == layers.at(index))
        return {};
    const QString refusal = CheckNewLayerName(folder, newName);
    if (!refusal.isEmpty())
        return refusal;
    const QString oldName = layers.at(index);
    const QString other = OtherTemplateNaming(folder, templateName, oldName);
    if (!other.isEmpty())
        return u"The layer \"%1\" is also used by the template \"%2\", so it cannot be renamed."_s
            .arg(oldName, other);
    return {};
}

Status RenameTemplateLayer(const QString &folder, const QString &templateName, int index,
                           const QString &newName)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (index < 0 || index >= layers.size())
        return NoSuchLayer();
    const QString oldName = layers.at(index);
    if (newName == oldName)
        return {};
    const QString refusal = CheckLayerRename(folder, templateName, index, newName);
    if (!refusal.isEmpty())
        return Failure{refusal};

    CXmlDocument doc;
    if (Status opened = OpenLayerList(folder, templateName, doc); !opened)
        return opened;
    while (doc.FindElement(kLayerEntry)) {
        if (doc.GetElementText() == oldName)
            doc.SetElementText(newName);
    }
    return RenameFileThenCommit(ModelFilePath(folder, oldName), ModelFilePath(folder, newName),
                                u"layer", [&] { return SaveTemplate(folder, templateName, doc); });
}

QString CheckLayerRemoval(const QString &folder, const QString &templateName, int index)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (layers.size() == 1 && index == 0)
        return u"A template needs at least one layer, so its last layer cannot be removed."_s;
    return {};
}

Result<QString> RemoveTemplateLayer(const QString &folder, const QString &templateName, int index)
{
    const QStringList layers = ReadTemplateLayers(folder, templateName);
    if (index < 0 || index >= layers.size())
        return NoSuchLayer();
    const QString refusal = CheckLayerRemoval(folder, templateName, index);
    if (!refusal.isEmpty())
        return Failure{refusal};
    const QString name = layers.at(index);

    CXmlDocument doc;
    if (Status opened = OpenLayerList(folder, templateName, doc); !opened)
        return Failure{opened.error()};
    if (!FindLayerEntry(doc, index) || !doc.RemoveElement())
        return NoSuchLayer();
    if (Status saved = SaveTemplate(folder, templateName, doc); !saved)
        return Failure{saved.error()};

    QStringList remaining = layers;
    remaining.removeAt(index);
    const QString path = ModelFilePath(folder, name);
    if (path.isEmpty() || remaining.contains(name) ||
        !OtherTemplateNaming(folder, templateName, name).isEmpty())
        return QString();
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return u"The layer was removed, but its file %1 could not be deleted."_s.arg(path);
    return QString();
}

} // namespace kw
