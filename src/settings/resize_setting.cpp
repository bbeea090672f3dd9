#include "settings/resize_setting.h"

#include "platform/ini_file.h"
#include "settings/settings_files.h"

#include <array>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kScaleTypeKey = u"ScaleType";
constexpr QStringView kTargetWidthKey = u"TargetWidth";
constexpr QStringView kTargetHeightKey = u"TargetHeight";
constexpr QStringView kResizeEveryTimeKey = u"ResizeEveryTime";

void SetError(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
}

int ReadInt(const IniFile &ini, QStringView key, int defaultValue)
{
    if (!ini.contains(kGeneralSection, key))
        return defaultValue;
    return ParseDecimalInt(ini.value(kGeneralSection, key));
}

bool IsDigitsOnly(QStringView text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

bool LoadResizeSetting(const QString &dataFolder, CResizeSetting &setting, QString *error)
{
    const QString path = SettingsFilePath(dataFolder, kResizingConfigFileName);
    const IniFile ini = path.isEmpty() ? IniFile() : IniFile::load(path);
    setting.scaleType = ReadInt(ini, kScaleTypeKey, kDefaultScaleType);
    setting.targetWidth = ReadInt(ini, kTargetWidthKey, kDefaultTargetWidth);
    setting.targetHeight = ReadInt(ini, kTargetHeightKey, kDefaultTargetHeight);
    setting.resizeEveryTime = ReadInt(ini, kResizeEveryTimeKey, kDefaultResizeEveryTime);
    if (path.isEmpty()) {
        SetError(error, NoDataFolderReason());
        return false;
    }
    if (ini.state() == IniFile::State::Unreadable) {
        SetError(error, u"cannot read %1: %2"_s.arg(path, ini.errorString()));
        return false;
    }
    return true;
}

bool SaveResizeSetting(const QString &dataFolder, const ResizeSettingInput &input, QString *error)
{
    if (input.scaleType < 1 || input.scaleType > 3) {
        SetError(error, u"scale type %1 is not 1, 2 or 3"_s.arg(input.scaleType));
        return false;
    }
    if (!IsDigitsOnly(input.targetWidth) || !IsDigitsOnly(input.targetHeight)) {
        SetError(error, u"a target size may hold digits only"_s);
        return false;
    }
    const QString path = SettingsFilePath(dataFolder, kResizingConfigFileName);
    if (path.isEmpty()) {
        SetError(error, NoDataFolderReason());
        return false;
    }
    IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable) {
        SetError(error, u"cannot read %1: %2"_s.arg(path, ini.errorString()));
        return false;
    }
    const std::array<std::pair<QStringView, QString>, 4> values = {{
        {kScaleTypeKey, QString::number(input.scaleType)},
        {kTargetWidthKey, input.targetWidth},
        {kTargetHeightKey, input.targetHeight},
        {kResizeEveryTimeKey, input.resizeEveryTime ? u"1"_s : u"0"_s},
    }};
    for (const auto &[key, value] : values) {
        if (!ini.setValue(kGeneralSection, key, value, error))
            return false;
    }
    return ini.save(error);
}

} // namespace kw
