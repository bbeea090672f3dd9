#include "model/template_file.h"

#include "model/appended_element.h"
#include "platform/app_folders.h"
#include "xml/xml_document.h"
#include "xml/xml_result_log.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// The elements of the metadata choices, each with its text when set (empty
// when not).
std::array<std::pair<QStringView, QString>, 4>
OutputMetadataElements(const OutputMetadataSetting &setting)
{
    return {{{kStripLocationElement, setting.stripLocation ? u"1"_s : QString()},
             {kStripSerialNumbersElement, setting.stripSerialNumbers ? u"1"_s : QString()},
             {kOutputArtistElement, setting.artist},
             {kOutputCopyrightElement, setting.copyright}}};
}

// Enters "Layers" of the template file loaded into `doc`.
Status EnterLayers(CXmlDocument &doc, const QString &path, const QString &templateName)
{
    if (path.isEmpty() || !doc.LoadFile(path))
        return Failure{u"cannot read template file \"%1\""_s.arg(templateName)};
    if (!doc.FindElement(u"Layers") || !doc.EnterElement())
        return Failure{u"template file \"%1\" has no layer list"_s.arg(templateName)};
    return {};
}

double clampedNumber(QStringView item, double fallback, double low, double high)
{
    bool ok = false;
    const double value = item.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return fallback;
    return std::clamp(value, low, high);
}

// Sets the child `name` of "Layers" to `text`, appended in the file's line
// breaks when missing; an empty text removes every copy, so that no later one
// is read in its place. `changed` is set when the document changed.
Status SetLayersChild(CXmlDocument &doc, QStringView name, const QString &text,
                      const QString &templateName, bool &changed)
{
    doc.ResetPosition();
    doc.FindElement(u"Layers");
    doc.EnterElement();
    if (text.isEmpty()) {
        while (doc.FindElement(name))
            changed = doc.RemoveElement() || changed;
        return {};
    }
    if (!doc.FindElement(name)) {
        if (!AppendElementKeepingLineBreaks(doc, name, text))
            return Failure{u"cannot add %1 to \"%2\""_s.arg(name, templateName)};
        changed = true;
        return {};
    }
    if (doc.GetElementText() != text) {
        if (!doc.SetElementText(text))
            return Failure{u"cannot change %1 of \"%2\""_s.arg(name, templateName)};
        changed = true;
    }
    return {};
}

Status SaveTemplateDocument(CXmlDocument &doc, const QString &path)
{
    if (const Status saved = doc.SaveFile(path); !saved)
        return Failure{u"cannot write template file \"%1\": %2"_s.arg(path, saved.error())};
    return {};
}

} // namespace

bool IsUsableBaseName(QStringView baseName)
{
    if (baseName.isEmpty() || baseName == u"." || baseName == u"..")
        return false;
    for (const QChar c : baseName) {
        if (c == u'/' || c == u'\\' || c == QChar(0))
            return false;
    }
    return true;
}

QString ModelFilePath(QStringView folder, QStringView baseName)
{
    if (folder.isEmpty() || !IsUsableBaseName(baseName))
        return {};
    QString path = JoinPath(folder, baseName);
    path.append(kModelFileSuffix);
    return path;
}

QString FirstLayerName(QStringView templateName)
{
    QString name = templateName.toString();
    name.append(u"_Layer 1");
    return name;
}

Status CreateTemplateFile(const QString &folder, const QString &templateName,
                          const QString &firstLayerName)
{
    const QString path = ModelFilePath(folder, templateName);
    if (path.isEmpty())
        return Failure{u"\"%1\" cannot be used as a file name"_s.arg(templateName)};
    CXmlDocument doc;
    doc.SetDocumentText(kXmlDeclarationLine);
    if (!doc.AddElement(u"Layers") || !doc.EnterElement() ||
        !doc.AddElement(u"layer", firstLayerName))
        return Failure{u"cannot build template file \"%1\""_s.arg(templateName)};
    if (const Status saved = doc.SaveFile(path); !saved)
        return Failure{saved.error()};
    return Status{};
}

QStringList ReadTemplateLayers(const QString &folder, const QString &templateName)
{
    const QString path = ModelFilePath(folder, templateName);
    CXmlDocument doc;
    if (path.isEmpty() || !doc.LoadFile(path) || !doc.FindElement(u"Layers") || !doc.EnterElement())
        return {};
    QStringList layers;
    while (doc.FindElement(u"layer"))
        layers.append(doc.GetElementText());
    return layers;
}

Result<CWatermarkTemplate> ReadTemplate(const QString &folder, const QString &templateName)
{
    const QString path = ModelFilePath(folder, templateName);
    if (path.isEmpty())
        return Failure{u"\"%1\" cannot be used as a template file name"_s.arg(templateName)};
    CXmlDocument doc;
    if (!doc.LoadFile(path)) {
        if (!QFileInfo::exists(path))
            return Failure{u"the template file %1 cannot be read: no such file"_s.arg(path)};
        const QString problem = XmlLogProblem(doc.GetResult());
        const QString why = problem.isEmpty() ? u"not a well-formed XML document"_s : problem;
        return Failure{u"the template file %1 cannot be read: %2"_s.arg(path, why)};
    }
    if (!doc.FindElement(u"Layers") || !doc.EnterElement())
        return Failure{
            u"the template file %1 cannot be read: it has no Layers element"_s.arg(path)};
    CWatermarkTemplate read{templateName, {}};
    while (doc.FindElement(u"layer"))
        read.layers.append(doc.GetElementText());
    return read;
}

QString FormatMarkWarpSetting(const MarkWarpSetting &setting)
{
    const auto number = [](double value) { return QString::number(value, 'g', 6); };
    return number(setting.maxDisplacement) + u',' + number(setting.smoothness) + u',' +
           number(setting.maxOffset) + u',' + number(setting.opacityVariation);
}

MarkWarpSetting ParseMarkWarpSetting(QStringView text)
{
    MarkWarpSetting setting;
    setting.enabled = true;
    const QList<QStringView> items = text.split(u',');
    const auto item = [&](int i) { return i < items.size() ? items.at(i) : QStringView(); };
    setting.maxDisplacement = clampedNumber(item(0), setting.maxDisplacement, 0.0,
                                            MarkWarpSetting::kMaxDisplacementLimit);
    setting.smoothness = clampedNumber(item(1), setting.smoothness, MarkWarpSetting::kSmoothnessMin,
                                       MarkWarpSetting::kSmoothnessMax);
    setting.maxOffset =
        clampedNumber(item(2), setting.maxOffset, 0.0, MarkWarpSetting::kMaxOffsetLimit);
    setting.opacityVariation = clampedNumber(item(3), setting.opacityVariation, 0.0,
                                             MarkWarpSetting::kOpacityVariationLimit);
    return setting;
}

Result<MarkWarpSetting> ReadMarkWarpSetting(const QString &folder, const QString &templateName)
{
    const QString path = ModelFilePath(folder, templateName);
    CXmlDocument doc;
    if (path.isEmpty() || !doc.LoadFile(path))
        return Failure{u"cannot read template file \"%1\""_s.arg(templateName)};
    if (!doc.FindElement(u"Layers") || !doc.EnterElement())
        return Failure{u"template file \"%1\" has no layer list"_s.arg(templateName)};
    if (!doc.FindElement(kMarkWarpElement))
        return MarkWarpSetting{};
    return ParseMarkWarpSetting(doc.GetElementText());
}

Status SaveMarkWarpSetting(const QString &folder, const QString &templateName,
                           const MarkWarpSetting &setting)
{
    const QString path = ModelFilePath(folder, templateName);
    CXmlDocument doc;
    if (const Status entered = EnterLayers(doc, path, templateName); !entered)
        return entered;
    bool changed = false;
    const QString text = setting.enabled ? FormatMarkWarpSetting(setting) : QString();
    if (const Status set = SetLayersChild(doc, kMarkWarpElement, text, templateName, changed); !set)
        return set;
    return changed ? SaveTemplateDocument(doc, path) : Status{};
}

Result<OutputMetadataSetting> ReadOutputMetadataSetting(const QString &folder,
                                                        const QString &templateName)
{
    const QString path = ModelFilePath(folder, templateName);
    CXmlDocument doc;
    if (const Status entered = EnterLayers(doc, path, templateName); !entered)
        return Failure{entered.error()};
    // Each element by its own search from the first child.
    const auto text = [&](QStringView name) {
        doc.ResetPosition();
        doc.FindElement(u"Layers");
        doc.EnterElement();
        return doc.FindElement(name) ? doc.GetElementText() : QString();
    };
    const auto flag = [&](QStringView name) {
        const QString value = text(name).trimmed();
        return !value.isEmpty() && value != u"0"_s;
    };
    OutputMetadataSetting setting;
    setting.stripLocation = flag(kStripLocationElement);
    setting.stripSerialNumbers = flag(kStripSerialNumbersElement);
    setting.artist = text(kOutputArtistElement);
    setting.copyright = text(kOutputCopyrightElement);
    return setting;
}

Status SaveOutputMetadataSetting(const QString &folder, const QString &templateName,
                                 const OutputMetadataSetting &setting)
{
    const QString path = ModelFilePath(folder, templateName);
    CXmlDocument doc;
    if (const Status entered = EnterLayers(doc, path, templateName); !entered)
        return entered;
    bool changed = false;
    for (const auto &[name, text] : OutputMetadataElements(setting)) {
        if (const Status set = SetLayersChild(doc, name, text, templateName, changed); !set)
            return set;
    }
    return changed ? SaveTemplateDocument(doc, path) : Status{};
}

} // namespace kw
