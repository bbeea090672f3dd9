#include "settings/jpeg_output_setting.h"

#include "settings/settings_files.h"
#include "xml/xml_document.h"

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kRootName = u"Preferences";
constexpr QStringView kModeName = u"JpegOutputMode";
constexpr QStringView kHuffmanName = u"JpegOptimizedHuffman";

Result<QString> Open(const QString &dataFolder, CXmlDocument &doc)
{
    const QString path = SettingsFilePath(dataFolder, kPreferencesFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    if (!doc.LoadFile(path))
        return Failure{u"cannot read %1"_s.arg(path)};
    return path;
}

// Makes the element `name` among the children of Preferences current,
// searching from the first child. False when Preferences or the element is
// missing; the position is then inside Preferences (when it exists), with no
// current element.
bool FindSetting(CXmlDocument &doc, QStringView name, bool *hasRoot = nullptr)
{
    doc.ResetPosition();
    const bool root = doc.FindElement(kRootName) && doc.EnterElement();
    if (hasRoot)
        *hasRoot = root;
    return root && doc.FindElement(name);
}

int ValueOf(CXmlDocument &doc, QStringView name)
{
    return FindSetting(doc, name) ? ParseDecimalInt(doc.GetElementText()) : 0;
}

// Sets, adds or removes one element: present exactly when `value` is not 0.
bool Store(CXmlDocument &doc, QStringView name, int value)
{
    bool hasRoot = false;
    const bool found = FindSetting(doc, name, &hasRoot);
    if (!hasRoot)
        return false;
    if (value == 0)
        return !found || doc.RemoveElement();
    if (found)
        return ParseDecimalInt(doc.GetElementText()) == value || doc.SetElementText(value);
    return doc.AddElement(name, value);
}

} // namespace

Result<JpegOutputSetting> LoadJpegOutputSetting(const QString &dataFolder)
{
    CXmlDocument doc;
    if (const Result<QString> opened = Open(dataFolder, doc); !opened)
        return Failure{opened.error()};
    bool hasRoot = false;
    FindSetting(doc, kModeName, &hasRoot);
    if (!hasRoot)
        return Failure{u"preference.xml has no Preferences element"_s};
    JpegOutputSetting setting;
    if (ValueOf(doc, kModeName) == int(JpegOutputMode::KeepOriginal))
        setting.mode = JpegOutputMode::KeepOriginal;
    setting.optimizedHuffman = ValueOf(doc, kHuffmanName) == 1;
    return setting;
}

Status SaveJpegOutputSetting(const QString &dataFolder, const JpegOutputSetting &setting)
{
    CXmlDocument doc;
    const Result<QString> opened = Open(dataFolder, doc);
    if (!opened)
        return Failure{opened.error()};
    const QString before = doc.GetDocumentText();
    if (!Store(doc, kModeName, int(setting.mode)) ||
        !Store(doc, kHuffmanName, setting.optimizedHuffman ? 1 : 0))
        return Failure{u"cannot store the JPEG output setting in %1"_s.arg(*opened)};
    if (doc.GetDocumentText() == before)
        return {};
    return doc.SaveFile(*opened);
}

} // namespace kw
