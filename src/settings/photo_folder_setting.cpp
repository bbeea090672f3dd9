#include "settings/photo_folder_setting.h"

#include "platform/ini_file.h"
#include "settings/settings_files.h"

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kPhotoFolderKey = u"photoFolder";

} // namespace

Result<QString> LoadLastPhotoFolder(const QString &dataFolder)
{
    const Result<IniFile> ini = LoadSettingsIni(dataFolder, kTemplateConfigFileName);
    if (!ini)
        return Failure{ini.error()};
    return ini->value(kGeneralSection, kPhotoFolderKey);
}

Status SaveLastPhotoFolder(const QString &dataFolder, const QString &folder)
{
    Result<IniFile> ini = LoadSettingsIni(dataFolder, kTemplateConfigFileName);
    if (!ini)
        return Failure{ini.error()};
    if (ini->value(kGeneralSection, kPhotoFolderKey) == folder &&
        ini->contains(kGeneralSection, kPhotoFolderKey))
        return {};
    if (Status set = ini->setValue(kGeneralSection, kPhotoFolderKey, folder); !set)
        return set;
    return ini->save();
}

} // namespace kw
