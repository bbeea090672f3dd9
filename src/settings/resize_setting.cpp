#include "settings/resize_setting.h"

#include "platform/ini_file.h"
#include "settings/settings_files.h"

#include <array>
#include <limits>

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

QSize ComputeResizedSize(const CResizeSetting &setting, QSize source, QString *error)
{
    if (!setting.resizeRequested() || setting.scaleType < 1 || setting.scaleType > 3)
        return source;
    if (source.width() <= 0 || source.height() <= 0) {
        SetError(error, u"the photo has no pixels to resize"_s);
        return {};
    }
    const bool usesWidth = setting.scaleType != 2;
    const bool usesHeight = setting.scaleType != 1;
    if ((usesWidth && setting.targetWidth <= 0) || (usesHeight && setting.targetHeight <= 0)) {
        SetError(error,
                 u"the resize target %1 x %2 is not a positive size"_s.arg(setting.targetWidth)
                     .arg(setting.targetHeight));
        return {};
    }
    // 64-bit products: a large target times a large side must not wrap.
    int64_t width = setting.targetWidth;
    int64_t height = setting.targetHeight;
    if (setting.scaleType == 1)
        height = int64_t(setting.targetWidth) * source.height() / source.width();
    else if (setting.scaleType == 2)
        width = int64_t(source.width()) * setting.targetHeight / source.height();
    constexpr int64_t kMaxSide = std::numeric_limits<int>::max();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        SetError(error, u"resizing %1 x %2 would give %3 x %4 pixels"_s.arg(source.width())
                            .arg(source.height())
                            .arg(width)
                            .arg(height));
        return {};
    }
    return QSize(int(width), int(height));
}

} // namespace kw
