#include "settings/template_selection.h"

#include "platform/ini_file.h"
#include "settings/settings_files.h"

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kTemplateKey = u"template";

} // namespace

Result<int> LoadSelectedTemplateIndex(const QString &dataFolder)
{
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    const IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    if (!ini.contains(kGeneralSection, kTemplateKey))
        return kDefaultTemplateIndex;
    return ParseDecimalInt(ini.value(kGeneralSection, kTemplateKey));
}

Status SaveSelectedTemplateIndex(const QString &dataFolder, int index)
{
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    if (Status set = ini.setValue(kGeneralSection, kTemplateKey, QString::number(index)); !set)
        return set;
    return ini.save();
}

} // namespace kw
