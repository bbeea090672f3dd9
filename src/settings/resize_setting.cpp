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
constexpr QStringView kTargetLongEdgeKey = u"TargetLongEdge";
constexpr QStringView kNeverEnlargeKey = u"NeverEnlarge";

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

Status LoadResizeSetting(const QString &dataFolder, CResizeSetting &setting)
{
    const QString path = SettingsFilePath(dataFolder, kResizingConfigFileName);
    const IniFile ini = path.isEmpty() ? IniFile() : IniFile::load(path);
    setting.scaleType = ReadInt(ini, kScaleTypeKey, kDefaultScaleType);
    setting.targetWidth = ReadInt(ini, kTargetWidthKey, kDefaultTargetWidth);
    setting.targetHeight = ReadInt(ini, kTargetHeightKey, kDefaultTargetHeight);
    setting.resizeEveryTime = ReadInt(ini, kResizeEveryTimeKey, kDefaultResizeEveryTime);
    setting.targetLongEdge.reset();
    if (ini.contains(kGeneralSection, kTargetLongEdgeKey))
        setting.targetLongEdge = ReadInt(ini, kTargetLongEdgeKey, 0);
    setting.neverEnlarge = ReadInt(ini, kNeverEnlargeKey, 0) != 0;
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    return {};
}

Status SaveResizeSetting(const QString &dataFolder, const ResizeSettingInput &input)
{
    if (input.scaleType < Code(ScaleType::ToWidth) || input.scaleType > Code(ScaleType::Exact))
        return Failure{u"scale type %1 is not 1, 2 or 3"_s.arg(input.scaleType)};
    if (!IsDigitsOnly(input.targetWidth) || !IsDigitsOnly(input.targetHeight) ||
        (input.toLongEdge && !IsDigitsOnly(input.targetLongEdge)))
        return Failure{u"a target size may hold digits only"_s};
    Result<IniFile> ini = LoadSettingsIni(dataFolder, kResizingConfigFileName);
    if (!ini)
        return Failure{ini.error()};
    const std::array<std::pair<QStringView, QString>, 4> values = {{
        {kScaleTypeKey, QString::number(input.scaleType)},
        {kTargetWidthKey, input.targetWidth},
        {kTargetHeightKey, input.targetHeight},
        {kResizeEveryTimeKey, input.resizeEveryTime ? u"1"_s : u"0"_s},
    }};
    for (const auto &[key, value] : values) {
        if (Status set = ini->setValue(kGeneralSection, key, value); !set)
            return set;
    }
    // The two later keys are present exactly when set.
    if (input.toLongEdge) {
        if (Status set = ini->setValue(kGeneralSection, kTargetLongEdgeKey, input.targetLongEdge);
            !set)
            return set;
    } else {
        ini->removeKey(kGeneralSection, kTargetLongEdgeKey);
    }
    if (input.neverEnlarge) {
        if (Status set = ini->setValue(kGeneralSection, kNeverEnlargeKey, u"1"); !set)
            return set;
    } else {
        ini->removeKey(kGeneralSection, kNeverEnlargeKey);
    }
    return ini->save();
}

} // namespace kw
