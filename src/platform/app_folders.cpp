#include "platform/app_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace kw {

namespace {

// The platform's per-user folder of the given kind + "Kelvane Watermark", or
// the Profile folder beside the executable when the platform's folder is
// unknown or cannot be created.
QString ResolveUserFolder(QStandardPaths::StandardLocation location,
                          const QString &executableFolder)
{
    const QString base = QStandardPaths::writableLocation(location);
    QString folder;
    if (!base.isEmpty() && CreateFolderPath(base))
        folder = JoinPath(base, kAppFolderName);
    else if (!executableFolder.isEmpty())
        folder = JoinPath(executableFolder, kProfileFolderName);
    CreateFolderPath(folder);
    return folder;
}

} // namespace

QString JoinPath(QStringView folder, QStringView name)
{
    if (folder.isEmpty())
        return name.toString();
    QString path = folder.toString();
    if (!folder.endsWith(kPathSeparator))
        path += kPathSeparator;
    path += name;
    return path;
}

QString ExecutableFolder()
{
    if (!QCoreApplication::instance())
        return QString();
    return QCoreApplication::applicationDirPath();
}

bool CreateFolderPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    QString folder = path;
    if (folder.size() > 1 && folder.endsWith(kPathSeparator))
        folder.chop(1);
    return QDir().mkpath(folder);
}

QString GetAppDataFolder(const QString &executableFolder)
{
    return ResolveUserFolder(QStandardPaths::GenericDataLocation, executableFolder);
}

QString GetDocumentsOutputFolder(const QString &executableFolder)
{
    return ResolveUserFolder(QStandardPaths::DocumentsLocation, executableFolder);
}

QString GetTemplatesFolder(const QString &executableFolder)
{
    return JoinPath(GetAppDataFolder(executableFolder), kTemplatesFolderName);
}

} // namespace kw
