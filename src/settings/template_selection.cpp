#include "settings/template_selection.h"

#include "platform/ini_file.h"
#include "settings/settings_files.h"

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kTemplateKey = u"template";

void SetError(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
}

} // namespace

int LoadSelectedTemplateIndex(const QString &dataFolder, QString *error)
{
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty()) {
        SetError(error, NoDataFolderReason());
        return kDefaultTemplateIndex;
    }
    const IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        SetError(error, u"cannot read %1: %2"_s.arg(path, ini.errorString()));
    if (!ini.contains(kGeneralSection, kTemplateKey))
        return kDefaultTemplateIndex;
    return ParseDecimalInt(ini.value(kGeneralSection, kTemplateKey));
}

bool SaveSelectedTemplateIndex(const QString &dataFolder, int index, QString *error)
{
    const QString path = SettingsFilePath(dataFolder, kTemplateConfigFileName);
    if (path.isEmpty()) {
        SetError(error, NoDataFolderReason());
        return false;
    }
    IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable) {
        SetError(error, u"cannot read %1: %2"_s.arg(path, ini.errorString()));
        return false;
    }
    return ini.setValue(kGeneralSection, kTemplateKey, QString::number(index), error) &&
           ini.save(error);
}

} // namespace kw
