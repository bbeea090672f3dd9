#include "i18n/language_file.h"

#include "i18n/string_table.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

QString LanguageFileUnder(const QString &folder, QStringView language)
{
    return JoinPath(JoinPath(folder, u"Lang"), u"lang_"_s + language.toString() + u".ini"_s);
}

} // namespace

QString GetLanguageFile(const QString &executableFolder, QStringView language)
{
    const QString exeFolder = executableFolder.isEmpty() ? u"."_s : executableFolder;
    QStringList folders = {
        exeFolder,
        QDir::cleanPath(JoinPath(JoinPath(exeFolder, u"../share"), kInstalledDataFolderName)),
    };
    for (const QString &dataFolder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(JoinPath(dataFolder, kInstalledDataFolderName));
    for (const QString &folder : folders) {
        const QString candidate = LanguageFileUnder(folder, language);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return LanguageFileUnder(exeFolder, language);
}

LanguageFile LanguageFile::open(const QString &path)
{
    LanguageFile file;
    file.m_ini = IniFile::load(path);
    // <base>/Lang/lang_xx.ini -> <base>
    file.m_baseFolder = QFileInfo(QFileInfo(path).path()).path();
    return file;
}

QString LanguageFile::entry(QStringView section, int id) const
{
    return m_ini.value(section, QString::number(id)).left(kLanguageValueBuffer - 1);
}

QString LanguageFile::string(int id) const
{
    QString text = entry(u"STRING", id);
    text.replace(u"\\n"_s, u"\n"_s);
    text.replace(u"\\t"_s, u"\t"_s);
    if (!text.isEmpty())
        return text;
    return ResourceString(id);
}

QString LanguageFile::bitmapPath(int id) const
{
    QString relative = entry(u"BITMAP", id);
    if (relative.isEmpty())
        return QString();
    // Language files written on Windows separate folders with backslashes.
    relative.replace(u'\\', kPathSeparator);
    return JoinPath(m_baseFolder, relative);
}

QImage LanguageFile::bitmap(int id, const BuiltInBitmap &builtIn) const
{
    const QString path = bitmapPath(id);
    if (!path.isEmpty()) {
        QImageReader reader(path);
        reader.setAutoTransform(false);
        QImage image = reader.read();
        if (!image.isNull())
            return image;
    }
    return builtIn ? builtIn(id) : QImage();
}

QString LoadLocalizedString(int id)
{
    return LanguageFile::open(GetLanguageFile()).string(id);
}

} // namespace kw
