#include "settings/preferences.h"

#include "platform/app_folders.h"
#include "settings/settings_files.h"
#include "xml/xml_document.h"

#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kRootName = u"Preferences";
constexpr QStringView kDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

constexpr std::array<QStringView, kPreferenceElementCount> kElementNames = {
    u"OutputFolderOpts", u"OutputFolderPath", u"OutputFileNameOpts", u"OutputFileNameSuffix",
    u"OutputFormat",     u"JpegQuality",      u"OpenQuickStartDlg",
};

constexpr std::array<PreferenceElement, kPreferenceElementCount> kAllElements = {
    PreferenceElement::OutputFolderOpts,   PreferenceElement::OutputFolderPath,
    PreferenceElement::OutputFileNameOpts, PreferenceElement::OutputFileNameSuffix,
    PreferenceElement::OutputFormat,       PreferenceElement::JpegQuality,
    PreferenceElement::OpenQuickStartDlg,
};

int IndexOf(PreferenceElement element)
{
    return int(element);
}

// Characters XML 1.0 allows in element text; anything else would make a file
// that other readers refuse.
bool FindUnwritableCharacter(QStringView text, char32_t *found)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // a pair is a character above U+FFFF, always allowed
            continue;
        }
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD);
        if (!allowed) {
            *found = c;
            return true;
        }
    }
    return false;
}

Status CheckWritable(PreferenceElement element, QStringView text)
{
    char32_t c = 0;
    if (!FindUnwritableCharacter(text, &c))
        return {};
    return Failure{u"the %1 text holds the character U+%2, which an XML file cannot carry"_s.arg(
        PreferenceElementName(element),
        QString::number(uint(c), 16).toUpper().rightJustified(4, u'0'))};
}

// Loads preference.xml and steps into Preferences; gives the file's path.
Result<QString> OpenPreferences(const QString &dataFolder, CXmlDocument &doc)
{
    const QString path = SettingsFilePath(dataFolder, kPreferencesFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    if (!doc.LoadFile(path)) {
        const QFileInfo info(path);
        if (!info.exists())
            return Failure{u"%1 does not exist"_s.arg(path)};
        if (!doc.GetDocumentText().isEmpty())
            return Failure{u"%1 is not a well-formed XML document"_s.arg(path)};
        return Failure{u"cannot read %1"_s.arg(path)};
    }
    doc.ResetPosition();
    if (!doc.FindElement(kRootName) || !doc.EnterElement())
        return Failure{u"%1 has no %2 element"_s.arg(path, kRootName)};
    return path;
}

// Moves to before the first child of Preferences.
bool EnterRoot(CXmlDocument &doc)
{
    doc.ResetPosition();
    return doc.FindElement(kRootName) && doc.EnterElement();
}

// The number in the child `name` of Preferences; `defaultValue` without one.
int32_t ReadOptionalNumber(CXmlDocument &doc, QStringView name, int32_t defaultValue)
{
    if (EnterRoot(doc) && doc.FindElement(name))
        return ParseDecimalInt(doc.GetElementText());
    return defaultValue;
}

// An element outside the fixed order, present only when its value is not
// the default.
struct OptionalNumber
{
    QStringView name;
    int32_t value;
    int32_t defaultValue;
};

// Sets, appends (as the last child of Preferences) or removes (when at the
// default) each element; saves only when the text changed.
Status SaveOptionalNumbers(const QString &dataFolder, std::initializer_list<OptionalNumber> numbers)
{
    CXmlDocument doc;
    const Result<QString> opened = OpenPreferences(dataFolder, doc);
    if (!opened)
        return Failure{opened.error()};
    const QString &path = *opened;
    const QString before = doc.GetDocumentText();
    for (const OptionalNumber &number : numbers) {
        const bool found = EnterRoot(doc) && doc.FindElement(number.name);
        if (number.value == number.defaultValue) {
            if (found && !doc.RemoveElement())
                return Failure{u"cannot remove %1 from %2"_s.arg(number.name, path)};
        } else if (found) {
            if (!doc.SetElementText(int(number.value)))
                return Failure{
                    u"%1 holds other elements in %2; not changed"_s.arg(number.name, path)};
        } else if (!EnterRoot(doc) || !doc.AddElement(number.name, int(number.value))) {
            return Failure{u"cannot add %1 to %2"_s.arg(number.name, path)};
        }
    }
    if (doc.GetDocumentText() != before) {
        if (Status saved = doc.SaveFile(path); !saved)
            return saved;
    }
    return {};
}

} // namespace

QStringView PreferenceElementName(PreferenceElement element)
{
    return kElementNames[IndexOf(element)];
}

void PreferenceTexts::set(PreferenceElement element, const QString &text)
{
    m_texts[IndexOf(element)] = text;
}

void PreferenceTexts::set(PreferenceElement element, int value)
{
    m_texts[IndexOf(element)] = QString::number(value);
}

bool PreferenceTexts::contains(PreferenceElement element) const
{
    return m_texts[IndexOf(element)].has_value();
}

const std::optional<QString> &PreferenceTexts::text(PreferenceElement element) const
{
    return m_texts[IndexOf(element)];
}

bool PreferenceTexts::isEmpty() const
{
    for (const std::optional<QString> &text : m_texts) {
        if (text)
            return false;
    }
    return true;
}

Status CreateDefaultPreferences(const QString &dataFolder,
                                const std::function<QString()> &resolveOutputFolder)
{
    const QString path = SettingsFilePath(dataFolder, kPreferencesFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    const QFileInfo info(path);
    if (info.exists()) {
        if (info.isFile())
            return {};
        return Failure{u"%1 is not a file"_s.arg(path)};
    }

    const QString outputFolder =
        resolveOutputFolder ? resolveOutputFolder() : GetDocumentsOutputFolder();
    if (Status writable = CheckWritable(PreferenceElement::OutputFolderPath, outputFolder);
        !writable)
        return writable;

    CXmlDocument doc;
    doc.SetDocumentText(kDeclaration);
    bool built = doc.AddElement(kRootName) && doc.EnterElement();
    for (PreferenceElement element : kAllElements) {
        const QStringView name = PreferenceElementName(element);
        switch (element) {
        case PreferenceElement::OutputFolderPath:
            built = built && doc.AddElement(name, outputFolder);
            break;
        case PreferenceElement::OutputFileNameSuffix:
            built = built && doc.AddElement(name, u"_new");
            break;
        case PreferenceElement::OutputFileNameOpts:
            built = built && doc.AddElement(name, 1);
            break;
        case PreferenceElement::JpegQuality:
            built = built && doc.AddElement(name, 100);
            break;
        case PreferenceElement::OutputFolderOpts:
        case PreferenceElement::OutputFormat:
        case PreferenceElement::OpenQuickStartDlg:
            built = built && doc.AddElement(name, 0);
            break;
        }
    }
    built = built && doc.LeaveElement();
    if (!built)
        return Failure{u"cannot build the default preferences"_s};
    return doc.SaveFile(path);
}

Result<PreferenceTexts> ReadPreferenceTexts(const QString &dataFolder,
                                            std::initializer_list<PreferenceElement> wanted)
{
    CXmlDocument doc;
    if (const Result<QString> opened = OpenPreferences(dataFolder, doc); !opened)
        return Failure{opened.error()};
    PreferenceTexts found;
    std::array<bool, kPreferenceElementCount> isWanted{};
    for (PreferenceElement element : wanted)
        isWanted[IndexOf(element)] = true;
    for (PreferenceElement element : kAllElements) {
        if (isWanted[IndexOf(element)] && doc.FindElement(PreferenceElementName(element)))
            found.set(element, doc.GetElementText());
    }
    return found;
}

Status LoadPreferences(const QString &dataFolder, CPreferences &prefs)
{
    using E = PreferenceElement;
    const Result<PreferenceTexts> read = ReadPreferenceTexts(
        dataFolder, {E::OutputFolderOpts, E::OutputFolderPath, E::OutputFileNameOpts,
                     E::OutputFileNameSuffix, E::OutputFormat, E::JpegQuality});
    if (!read)
        return Failure{read.error()};
    const PreferenceTexts &texts = *read;
    const auto number = [&texts](E element, int32_t &field) {
        if (const std::optional<QString> &text = texts.text(element))
            field = ParseDecimalInt(*text);
    };
    const auto text = [&texts](E element, QString &field) {
        if (const std::optional<QString> &value = texts.text(element))
            field = *value;
    };
    number(E::OutputFolderOpts, prefs.outputFolderOpts);
    text(E::OutputFolderPath, prefs.outputFolderPath);
    number(E::OutputFileNameOpts, prefs.outputFileNameOpts);
    text(E::OutputFileNameSuffix, prefs.outputFileNameSuffix);
    number(E::OutputFormat, prefs.outputFormat);
    number(E::JpegQuality, prefs.jpegQuality);
    if (const Result<JpegOutputSetting> jpeg = LoadJpegOutputSetting(dataFolder))
        prefs.jpegOutput = *jpeg;

    // Each by its own search from the first child: they may stand anywhere.
    CXmlDocument doc;
    if (!OpenPreferences(dataFolder, doc)) {
        prefs.collisionPolicy = OutputCollisionPolicy::Overwrite;
        prefs.quality = OutputQuality();
        return {};
    }
    prefs.collisionPolicy = OutputCollisionPolicy(
        ReadOptionalNumber(doc, kCollisionPolicyElement, int(OutputCollisionPolicy::Overwrite)));
    const OutputQuality defaults;
    prefs.quality.jpeg = ReadOptionalNumber(doc, kJpegQualityElement, defaults.jpeg);
    prefs.quality.webp = ReadOptionalNumber(doc, kWebpQualityElement, defaults.webp);
    prefs.quality.webpLossless =
        ReadOptionalNumber(doc, kWebpLosslessElement, defaults.webpLossless);
    prefs.quality.avif = ReadOptionalNumber(doc, kAvifQualityElement, defaults.avif);
    return {};
}

Status SaveCollisionPolicy(const QString &dataFolder, OutputCollisionPolicy policy)
{
    return SaveOptionalNumbers(dataFolder, {{kCollisionPolicyElement, int(policy),
                                             int(OutputCollisionPolicy::Overwrite)}});
}

Status SaveOutputQuality(const QString &dataFolder, const OutputQuality &quality)
{
    const OutputQuality defaults;
    return SaveOptionalNumbers(dataFolder,
                               {{kJpegQualityElement, quality.jpeg, defaults.jpeg},
                                {kWebpQualityElement, quality.webp, defaults.webp},
                                {kWebpLosslessElement, quality.webpLossless, defaults.webpLossless},
                                {kAvifQualityElement, quality.avif, defaults.avif}});
}

Status UpdatePreferences(const QString &dataFolder, const PreferenceTexts &changes)
{
    for (PreferenceElement element : kAllElements) {
        if (const std::optional<QString> &text = changes.text(element)) {
            if (Status writable = CheckWritable(element, *text); !writable)
                return writable;
        }
    }
    CXmlDocument doc;
    const Result<QString> opened = OpenPreferences(dataFolder, doc);
    if (!opened)
        return Failure{opened.error()};
    const QString &path = *opened;

    const QString before = doc.GetDocumentText();
    QStringList missing;
    QStringList refused;
    for (PreferenceElement element : kAllElements) {
        const std::optional<QString> &text = changes.text(element);
        if (!text)
            continue;
        const QStringView name = PreferenceElementName(element);
        if (!doc.FindElement(name))
            missing << name.toString();
        else if (!doc.SetElementText(*text))
            refused << name.toString();
    }
    // An unchanged document is not rewritten: the file already says all of it.
    if (doc.GetDocumentText() != before) {
        if (Status saved = doc.SaveFile(path); !saved)
            return saved;
    }

    QStringList problems;
    if (!missing.isEmpty())
        problems << u"%1 has no %2 where it is looked for; not added"_s.arg(path,
                                                                            missing.join(u", "_s));
    if (!refused.isEmpty())
        problems << u"%1 holds other elements in %2; not changed"_s.arg(path,
                                                                        refused.join(u", "_s));
    if (!problems.isEmpty())
        return Failure{problems.join(u"; "_s)};
    return {};
}

Status SaveQuickStartChoice(const QString &dataFolder, bool dontShowAgain)
{
    PreferenceTexts changes;
    changes.set(PreferenceElement::OpenQuickStartDlg, dontShowAgain ? 1 : 0);
    return UpdatePreferences(dataFolder, changes);
}

bool ShouldOpenQuickStart(const QString &dataFolder)
{
    const Result<PreferenceTexts> texts =
        ReadPreferenceTexts(dataFolder, {PreferenceElement::OpenQuickStartDlg});
    if (!texts)
        return false;
    const std::optional<QString> &text = texts->text(PreferenceElement::OpenQuickStartDlg);
    return text && ParseDecimalInt(*text) == 0;
}

} // namespace kw
