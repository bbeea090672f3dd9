#include "settings/settings_files.h"

#include "platform/app_folders.h"

#include <cstdint>
#include <limits>

using namespace Qt::StringLiterals;

namespace kw {

QString SettingsFilePath(const QString &dataFolder, QStringView fileName)
{
    if (dataFolder.isEmpty())
        return {};
    return JoinPath(dataFolder, fileName);
}

QString NoDataFolderReason()
{
    return u"no application data folder"_s;
}

Result<IniFile> LoadSettingsIni(const QString &dataFolder, QStringView fileName)
{
    const QString path = SettingsFilePath(dataFolder, fileName);
    if (path.isEmpty())
        return Failure{NoDataFolderReason()};
    IniFile ini = IniFile::load(path);
    if (ini.state() == IniFile::State::Unreadable)
        return Failure{u"cannot read %1: %2"_s.arg(path, ini.errorString())};
    return ini;
}

int ParseDecimalInt(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // One past INT_MAX, so INT_MIN itself is reachable.
    constexpr int64_t kLimit = int64_t(std::numeric_limits<int>::max()) + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude > kLimit)
            magnitude = kLimit; // saturated; keep reading the digits
    }
    if (negative)
        return int(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<int>::max() : int(magnitude);
}

} // namespace kw
