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
    const Result<IniFile> ini = LoadSettingsIni(dataFolder, kTemplateConfigFileName);
    if (!ini)
        return Failure{ini.error()};
    if (!ini->contains(kGeneralSection, kTemplateKey))
        return kDefaultTemplateIndex;
    return ParseDecimalInt(ini->value(kGeneralSection, kTemplateKey));
}

Status SaveSelectedTemplateIndex(const QString &dataFolder, int index)
{
    Result<IniFile> ini = LoadSettingsIni(dataFolder, kTemplateConfigFileName);
    if (!ini)
        return Failure{ini.error()};
    if (Status set = ini->setValue(kGeneralSection, kTemplateKey, QString::number(index)); !set)
        return set;
    return ini->save();
}

} // namespace kw
