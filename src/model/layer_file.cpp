#include "model/layer_file.h"

#include "model/appended_element.h"
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

// Enters the root and the group of `field`; false when either is missing.
bool EnterGroup(CXmlDocument &doc, LayerGroup group)
{
    doc.ResetPosition();
    return doc.FindElement(kRootElement) && doc.EnterElement() &&
           doc.FindElement(GroupElement(group)) && doc.EnterElement();
}

// Reads the optional fields, each searched from the first child of its
// group.
void ReadOptionalFields(CXmlDocument &doc, CWatermarkConf &conf)
{
    for (const OptionalLayerField &field : OptionalLayerFields()) {
        // Without its element (or its group) a field means 0.
        conf.*field.member =
            EnterGroup(doc, field.group) && doc.FindElement(field.element)
                ? BoundedOptionalValue(field, ParseLayerInteger(doc.GetElementText()))
                : 0;
    }
    doc.ResetPosition();
}

// Writes each optional field into the document: set in the first element of
// its name, appended at the end of its group when there is none, and every
// element of its name removed when the value is 0. Returns the names of the
// fields that found no group to go into; `changed` tells whether the text
// changed.
QStringList WriteOptionalFields(CXmlDocument &doc, const CWatermarkConf &conf, bool &changed)
{
    QStringList homeless;
    for (const OptionalLayerField &field : OptionalLayerFields()) {
        const int32_t value = BoundedOptionalValue(field, conf.*field.member);
        if (!EnterGroup(doc, field.group)) {
            if (value != 0)
                homeless << field.element.toString();
            continue;
        }
        if (value == 0) {
            while (doc.FindElement(field.element))
                changed = doc.RemoveElement() || changed;
            continue;
        }
        if (doc.FindElement(field.element)) {
            if (BoundedOptionalValue(field, ParseLayerInteger(doc.GetElementText())) != value)
                changed = doc.SetElementText(FormatLayerInteger(value)) || changed;
        } else if (AppendElementKeepingLineBreaks(doc, field.element, FormatLayerInteger(value))) {
            changed = true;
        } else {
            homeless << field.element.toString();
        }
    }
    doc.ResetPosition();
    return homeless;
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
    bool changed = false;
    built = built && WriteOptionalFields(doc, conf, changed).isEmpty();
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
    ReadOptionalFields(doc, loaded);
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
    const QStringList homeless = WriteOptionalFields(doc, conf, changed);
    if (changed) {
        if (const Status written = WriteWithoutLoss(doc, *path); !written)
            return written;
    }
    if (!homeless.isEmpty())
        return Failure{
            u"layer file \"%1\" has no place for %2"_s.arg(*path, homeless.join(u", "_s))};
    return Status{};
}

} // namespace kw
