#include "model/template_library.h"

#include "model/layer_file.h"
#include "model/library_files.h"
#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "platform/app_folders.h"
#include "xml/xml_document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kIndexRoot = u"Templates";
constexpr QStringView kIndexEntry = u"template";
// Longest file name, in bytes of the file-name encoding, that Linux and
// Windows file systems take.
constexpr qsizetype kMaxFileNameBytes = 255;

// A change made in full, or made with a note about a part left undone.
LibraryChange Done(QString note = {})
{
    return note;
}

QString FoldCase(QStringView name)
{
    return name.toString().toCaseFolded();
}

QString IndexBaseName()
{
    return kTemplateIndexFileName.chopped(kModelFileSuffix.size()).toString();
}

// Moves into the index's root. False when the document has none.
bool EnterIndexRoot(CXmlDocument &index)
{
    index.ResetPosition();
    return index.FindElement(kIndexRoot) && index.EnterElement();
}

QStringList IndexNames(CXmlDocument &index)
{
    QStringList names;
    if (!EnterIndexRoot(index))
        return names;
    while (index.FindElement(kIndexEntry))
        names.append(index.GetElementText());
    return names;
}

// Positions the document on the first entry whose text is exactly `name`.
bool FindIndexEntry(CXmlDocument &index, QStringView name)
{
    if (!EnterIndexRoot(index))
        return false;
    while (index.FindElement(kIndexEntry)) {
        if (index.GetElementText() == name)
            return true;
    }
    return false;
}

// A new index holding `names`, in the form every index file is written.
CXmlDocument NewIndex(const QStringList &names)
{
    CXmlDocument index;
    index.SetDocumentText(kXmlDeclarationLine);
    index.AddElement(kIndexRoot);
    index.EnterElement();
    for (const QString &name : names)
        index.AddElement(kIndexEntry, name);
    return index;
}

// The existing index, or why it cannot be used. A missing index is only
// acceptable to a caller that passes `missingIsEmpty`.
bool LoadIndex(const QString &folder, CXmlDocument &index, bool missingIsEmpty, QString *message)
{
    const QString path = TemplateIndexPath(folder);
    if (missingIsEmpty && !QFileInfo::exists(path)) {
        index = NewIndex({});
        return true;
    }
    if (!index.LoadFile(path)) {
        *message = u"The template list (%1) cannot be read."_s.arg(path);
        return false;
    }
    if (!EnterIndexRoot(index)) {
        *message = u"The template list (%1) has no Templates element."_s.arg(path);
        return false;
    }
    return true;
}

bool HoldsRefusedCharacter(QStringView name)
{
    static constexpr QStringView kRefused = u"/\\:*?\"<>|";
    for (const QChar c : name) {
        if (kRefused.contains(c) || c.category() == QChar::Other_Control)
            return true;
    }
    // Unpaired surrogates and the like cannot become a file name and back.
    return QFile::decodeName(QFile::encodeName(name.toString())) != name;
}

// Every base name the folder's ".xml" files and the index take, case-folded,
// leaving out `except` (compared exactly).
QSet<QString> TakenNames(const QString &folder, QStringView except)
{
    QSet<QString> taken{FoldCase(IndexBaseName())};
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!entry.endsWith(kModelFileSuffix, Qt::CaseInsensitive))
            continue;
        const QStringView base = QStringView(entry).chopped(kModelFileSuffix.size());
        if (except.isNull() || base != except)
            taken.insert(FoldCase(base));
    }
    CXmlDocument index;
    if (index.LoadFile(TemplateIndexPath(folder))) {
        for (const QString &name : IndexNames(index)) {
            if (except.isNull() || name != except)
                taken.insert(FoldCase(name));
        }
    }
    return taken;
}

// The rules shared by template and layer names, apart from clashes.
QString CheckNameForm(QStringView name, QStringView noun, QStringView longestSuffix)
{
    if (name.trimmed().isEmpty())
        return u"Please input a valid %1 name."_s.arg(noun);
    if (HoldsRefusedCharacter(name))
        return u"A %1 name cannot contain control characters or any of / \\ : * ? \" < > |"_s.arg(
            noun);
    if (name == u"." || name == u"..")
        return u"\"%1\" cannot be used as a %2 name."_s.arg(name, noun);
    QString longest = name.toString();
    longest.append(longestSuffix);
    longest.append(kModelFileSuffix);
    if (QFile::encodeName(longest).size() > kMaxFileNameBytes)
        return u"This %1 name is too long."_s.arg(noun);
    return {};
}

QString ClashMessage(QStringView name)
{
    return u"The name \"%1\" is already used by a template or layer. Please choose another name."_s
        .arg(name);
}

QString NameNotStorable(QStringView name, const Status &why)
{
    return u"The template list cannot be saved with the name \"%1\": %2"_s.arg(name, why.error());
}

// True when the file is gone afterwards; a dangling link is removed too.
bool RemoveFileIfPresent(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

} // namespace

QString TemplateIndexPath(const QString &folder)
{
    return JoinPath(folder, kTemplateIndexFileName);
}

QString CheckNewTemplateName(const QString &folder, QStringView name, QStringView renamedFrom)
{
    const bool renaming = !renamedFrom.isNull();
    QString message = CheckNameForm(name, u"template", renaming ? QStringView() : u"_Layer 1");
    if (!message.isEmpty())
        return message;
    const QSet<QString> taken = TakenNames(folder, renamedFrom);
    if (taken.contains(FoldCase(name)))
        return ClashMessage(name);
    if (!renaming) {
        const QString layer = FirstLayerName(name);
        if (taken.contains(FoldCase(layer)))
            return u"The first layer's name \"%1\" is already used. Please choose another name."_s
                .arg(layer);
    }
    return {};
}

QString CheckNewLayerName(const QString &folder, QStringView name)
{
    QString message = CheckNameForm(name, u"layer", {});
    if (message.isEmpty() && TakenNames(folder, {}).contains(FoldCase(name)))
        message = ClashMessage(name);
    return message;
}

LibraryChange SeedFirstRun(const QString &folder)
{
    if (folder.isEmpty())
        return Failure{u"There is no folder for the templates."_s};
    const QFileInfo info(folder);
    if (info.exists() || info.isSymLink())
        return info.isDir() ? Done()
                            : Failure{u"The templates folder %1 is not a folder."_s.arg(folder)};
    if (!CreateFolderPath(folder))
        return Failure{u"The templates folder %1 cannot be created."_s.arg(folder)};

    const QString name = kFirstRunTemplateName.toString();
    const QString layer = FirstLayerName(name);
    CWatermarkConf conf;
    ApplyNewLayerDefaults(conf, kFirstRunLayerText);
    CXmlDocument index = NewIndex({name});

    Status result = CreateLayerFile(folder, layer, conf);
    if (result)
        result = CreateTemplateFile(folder, name, layer);
    if (result) {
        if (const Status saved = index.SaveFile(TemplateIndexPath(folder)); !saved)
            result = Failure{saved.error()};
    }
    if (result)
        return Done();
    // Leave no half-seeded folder behind: its absence is what makes the next
    // start seed again.
    QFile::remove(ModelFilePath(folder, layer));
    QFile::remove(ModelFilePath(folder, name));
    QDir().rmdir(folder);
    return Failure{u"The first template cannot be written: %1"_s.arg(result.error())};
}

Result<QStringList> LoadTemplateIndex(const QString &folder)
{
    CXmlDocument index;
    const QString path = TemplateIndexPath(folder);
    if (folder.isEmpty() || !index.LoadFile(path)) {
        const QString problem = XmlLogProblem(index.GetResult());
        return Failure{u"cannot read the template list %1: %2"_s.arg(
            path, problem.isEmpty() ? u"not a well-formed XML document"_s : problem)};
    }
    return IndexNames(index);
}

LibraryChange AddTemplate(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return Failure{u"There is no folder for the templates."_s};
    const QString refusal = CheckNewTemplateName(folder, name);
    if (!refusal.isEmpty())
        return Failure{refusal};

    CXmlDocument index;
    QString message;
    if (!LoadIndex(folder, index, true, &message))
        return Failure{message};
    EnterIndexRoot(index);
    while (index.FindElement(u"")) {
        // to the last child, whatever its name
    }
    if (!index.AddElement(kIndexEntry, name))
        return Failure{u"The template list cannot take the name \"%1\"."_s.arg(name)};
    // A name the list's encoding cannot hold would be saved damaged and orphan
    // the template's files: refuse it before anything is written.
    if (const Status savable = index.CheckSave(TemplateIndexPath(folder)); !savable)
        return Failure{NameNotStorable(name, savable)};

    CreateFolderPath(folder);
    const QString layer = FirstLayerName(name);
    CWatermarkConf conf;
    ApplyNewLayerDefaults(conf, kAddedLayerText);
    Status result = CreateLayerFile(folder, layer, conf);
    if (!result)
        return Failure{u"The new template cannot be written: %1"_s.arg(result.error())};
    result = CreateTemplateFile(folder, name, layer);
    if (result) {
        if (const Status saved = index.SaveFile(TemplateIndexPath(folder)); !saved)
            result = Failure{saved.error()};
    }
    if (!result) {
        QFile::remove(ModelFilePath(folder, layer));
        QFile::remove(ModelFilePath(folder, name));
        return Failure{u"The new template cannot be written: %1"_s.arg(result.error())};
    }
    return Done();
}

LibraryChange RenameTemplate(const QString &folder, const QString &oldName, const QString &newName)
{
    if (newName == oldName)
        return Done();
    const QString oldPath = ModelFilePath(folder, oldName);
    if (oldPath.isEmpty())
        return Failure{u"The template \"%1\" cannot be renamed."_s.arg(oldName)};
    const QString refusal = CheckNewTemplateName(folder, newName, oldName);
    if (!refusal.isEmpty())
        return Failure{refusal};

    CXmlDocument index;
    QString message;
    if (!LoadIndex(folder, index, false, &message))
        return Failure{message};
    if (!FindIndexEntry(index, oldName))
        return Failure{u"The template \"%1\" is not in the template list."_s.arg(oldName)};
    index.SetElementText(newName);
    if (const Status savable = index.CheckSave(TemplateIndexPath(folder)); !savable)
        return Failure{NameNotStorable(newName, savable)};

    const Status renamed =
        RenameFileThenCommit(oldPath, ModelFilePath(folder, newName), u"template", [&]() -> Status {
            if (const Status saved = index.SaveFile(TemplateIndexPath(folder)); !saved)
                return Failure{u"The template list cannot be written: %1"_s.arg(saved.error())};
            return {};
        });
    return renamed ? Done() : Failure{renamed.error()};
}

LibraryChange RemoveTemplate(const QString &folder, const QString &name)
{
    CXmlDocument index;
    QString message;
    if (folder.isEmpty() || !LoadIndex(folder, index, false, &message))
        return Failure{message.isEmpty() ? u"There is no folder for the templates."_s : message};
    if (!FindIndexEntry(index, name))
        return Failure{u"The template \"%1\" is not in the template list."_s.arg(name)};
    const QStringList layers = ReadTemplateLayers(folder, name);
    index.RemoveElement();
    if (const Status saved = index.SaveFile(TemplateIndexPath(folder)); !saved)
        return Failure{u"The template list cannot be written: %1"_s.arg(saved.error())};

    // Files that the remaining templates still name stay.
    QSet<QString> kept{FoldCase(IndexBaseName())};
    for (const QString &other : IndexNames(index)) {
        kept.insert(FoldCase(other));
        for (const QString &layer : ReadTemplateLayers(folder, other))
            kept.insert(FoldCase(layer));
    }
    QStringList notDeleted;
    QStringList files = layers;
    files.append(name);
    for (const QString &file : files) {
        const QString path = ModelFilePath(folder, file);
        if (path.isEmpty() || kept.contains(FoldCase(file)))
            continue;
        if (!RemoveFileIfPresent(path))
            notDeleted.append(QFileInfo(path).fileName());
        kept.insert(FoldCase(file)); // a layer named twice is deleted once
    }
    if (!notDeleted.isEmpty())
        return Done(u"These files of the template could not be deleted: %1"_s.arg(
            notDeleted.join(u", "_s)));
    return Done();
}

} // namespace kw
