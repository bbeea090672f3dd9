#include "model/layer_file.h"

#include "model/layer_values.h"
#include "model/template_file.h"
#include "xml/xml_document.h"
#include "xml/xml_result_log.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kRootElement = u"WatermarkConf";

QStringView GroupElement(LayerGroup group)
{
    return group == LayerGroup::Text ? QStringView(u"Text") : QStringView(u"Image");
}

std::span<const LayerField> GroupFields(LayerGroup group)
{
    const std::span<const LayerField> all = LayerFields();
    return group == LayerGroup::Text ? all.first(kTextFieldCount) : all.last(kImageFieldCount);
}

// The field's value as element text, unescaped.
QString EncodeField(const LayerField &field, const CWatermarkConf &conf)
{
    if (field.text)
        return conf.*field.text;
    if (field.font)
        return FormatFontList(conf.*field.font);
    if (field.color)
        return FormatLayerColor(conf.*field.color);
    return FormatLayerInteger(conf.*field.integer);
}

void DecodeField(const LayerField &field, const QString &text, CWatermarkConf &conf)
{
    if (field.text)
        conf.*field.text = text;
    else if (field.font)
        DecodeFontList(text, conf.*field.font);
    else if (field.color)
        conf.*field.color = ParseLayerColor(text);
    else
        conf.*field.integer = ParseLayerInteger(text);
}

// Whether the element text already reads back as the field's value, taken on
// its own: a font list must then hold all 92 bytes.
bool ReadsAs(const LayerField &field, const QString &text, const CWatermarkConf &conf)
{
    if (field.text)
        return text == conf.*field.text;
    if (field.font) {
        LogFont font;
        return DecodeFontList(text, font) == LogFont::kSize && font == conf.*field.font;
    }
    if (field.color)
        return ParseLayerColor(text) == conf.*field.color;
    return ParseLayerInteger(text) == conf.*field.integer;
}

Result<QString> LayerFilePath(const QString &folder, const QString &layerName)
{
    const QString path = ModelFilePath(folder, layerName);
    if (path.isEmpty())
        return Failure{u"\"%1\" cannot be used as a layer file name"_s.arg(layerName)};
    return path;
}

// Reads the layer file into `doc`; its path, or why it cannot be read.
Result<QString> LoadLayerDocument(const QString &folder, const QString &layerName,
                                  CXmlDocument &doc)
{
    const Result<QString> path = LayerFilePath(folder, layerName);
    if (!path || doc.LoadFile(*path))
        return path;
    if (!QFileInfo::exists(*path))
        return Failure{u"layer file \"%1\" does not exist"_s.arg(*path)};
    const QString problem = XmlLogProblem(doc.GetResult());
    return Failure{u"cannot read layer file \"%1\": %2"_s.arg(
        *path, problem.isEmpty() ? u"not a well-formed XML document"_s : problem)};
}

// Visits the field elements of both groups of a loaded document the way the
// reader searches them: group after group, each element among the siblings
// after the previous match. `visit` is called with the document positioned on
// each element found. False when the document has no root element.
template <typename Visit>
bool ForEachFieldElement(CXmlDocument &doc, Visit visit)
{
    doc.ResetPosition();
    if (!doc.FindElement(kRootElement) || !doc.EnterElement())
        return false;
    for (const LayerGroup group : {LayerGroup::Text, LayerGroup::Image}) {
        if (!doc.FindElement(GroupElement(group)))
            continue;
        doc.EnterElement();
        for (const LayerField &field : GroupFields(group)) {
            if (doc.FindElement(field.element))
                visit(field);
        }
        doc.LeaveElement();
    }
    doc.LeaveElement();
    return true;
}

// Writes the document in its file encoding, unless that encoding cannot give
// back every character (a value the file's code page lacks, or bytes of the
// file that did not decode): then nothing is written, since the file would
// silently lose values.
Status WriteWithoutLoss(CXmlDocument &doc, const QString &path)
{
    const Status saved = doc.SaveFile(path);
    if (!saved)
        return Failure{saved.error()};
    return Status{};
}

} // namespace

Status CreateLayerFile(const QString &folder, const QString &layerName, const CWatermarkConf &conf)
{
    const Result<QString> path = LayerFilePath(folder, layerName);
    if (!path)
        return Failure{path.error()};

    CXmlDocument doc;
    doc.SetDocumentText(kXmlDeclarationLine);
    bool built = doc.AddElement(kRootElement) && doc.EnterElement();
    for (const LayerGroup group : {LayerGroup::Text, LayerGroup::Image}) {
        built = built && doc.AddElement(GroupElement(group)) && doc.EnterElement();
        for (const LayerField &field : GroupFields(group))
            built = built && doc.AddElement(field.element, EncodeField(field, conf));
        built = built && doc.LeaveElement();
    }
    if (!built)
        return Failure{u"cannot build layer file \"%1\""_s.arg(layerName)};
    return WriteWithoutLoss(doc, *path);
}

Status LoadLayerConf(const QString &folder, const QString &layerName, CWatermarkConf &conf)
{
    CXmlDocument doc;
    const Result<QString> path = LoadLayerDocument(folder, layerName, doc);
    if (!path)
        return Failure{path.error()};
    // Decode into a copy so a file without a root leaves the record whole.
    CWatermarkConf loaded = conf;
    const bool hasRoot = ForEachFieldElement(
        doc, [&](const LayerField &field) { DecodeField(field, doc.GetElementText(), loaded); });
    if (!hasRoot)
        return Failure{u"layer file \"%1\" has no %2 element"_s.arg(*path, kRootElement)};
    conf = std::move(loaded);
    return Status{};
}

Status LoadLayerOverDefaults(const QString &folder, const QString &layerName, CWatermarkConf &conf)
{
    conf = CWatermarkConf();
    ApplyNewLayerDefaults(conf, {});
    return LoadLayerConf(folder, layerName, conf);
}

Status SaveLayerConf(const QString &folder, const QString &layerName, const CWatermarkConf &conf)
{
    CXmlDocument doc;
    const Result<QString> path = LoadLayerDocument(folder, layerName, doc);
    if (!path)
        return Failure{path.error()};

    bool changed = false;
    const bool hasRoot = ForEachFieldElement(doc, [&](const LayerField &field) {
        if (ReadsAs(field, doc.GetElementText(), conf))
            return;
        // An element with child elements refuses a text and stays as it is.
        changed = doc.SetElementText(EncodeField(field, conf)) || changed;
    });
    if (!hasRoot)
        return Failure{u"layer file \"%1\" has no %2 element"_s.arg(*path, kRootElement)};
    return changed ? WriteWithoutLoss(doc, *path) : Status{};
}

} // namespace kw
