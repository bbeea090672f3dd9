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
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    const IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    return ini.value(kGeneralSection, kPhotoFolderKey);
}

Status SaveLastPhotoFolder(const QString &dataFolder, const QString &folder)
{
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    if (ini.value(kGeneralSection, kPhotoFolderKey) == folder &&
        ini.contains(kGeneralSection, kPhotoFolderKey))
        return {};
    if (Status set = ini.setValue(kGeneralSection, kPhotoFolderKey, folder); !set)
        return set;
    return ini.save();
}

} // namespace kw
