#include "model/template_file.h"

#include "platform/app_folders.h"
#include "xml/xml_document.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kw {

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

ModelResult CreateTemplateFile(const QString &folder, const QString &templateName,
                               const QString &firstLayerName)
{
    const QString path = ModelFilePath(folder, templateName);
    if (path.isEmpty())
        return ModelResult::Failure(u"\"%1\" cannot be used as a file name"_s.arg(templateName));
    CXmlDocument doc;
    doc.SetDocumentText(kXmlDeclarationLine);
    if (!doc.AddElement(u"Layers") || !doc.EnterElement() ||
        !doc.AddElement(u"layer", firstLayerName))
        return ModelResult::Failure(u"cannot build template file \"%1\""_s.arg(templateName));
    if (const Status saved = doc.SaveFile(path); !saved)
        return ModelResult::Failure(saved.error());
    return ModelResult::Success();
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
        const QString why =
            doc.GetResult().isEmpty() ? u"not a well-formed XML document"_s : doc.GetResult();
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

} // namespace kw
