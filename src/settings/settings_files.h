#pragma once

#include "platform/ini_file.h"
#include "platform/result.h"

#include <QString>
#include <QStringView>

// Where the settings files live and how their numbers read. Every settings
// function takes the application data folder from its caller (normally
// GetAppDataFolder()), so separate folders can be used side by side and
// nothing here holds process-wide state. All functions are reentrant.
namespace kw {

inline constexpr QStringView kPreferencesFileName = u"preference.xml";
inline constexpr QStringView kTemplateConfigFileName = u"config.ini";
inline constexpr QStringView kResizingConfigFileName = u"resizing_config.ini";
// The one section of both INI files.
inline constexpr QStringView kGeneralSection = u"General";

// `fileName` in `dataFolder`. Empty when `dataFolder` is empty: with no data
// folder there is no settings file, rather than one in the working folder.
QString SettingsFilePath(const QString &dataFolder, QStringView fileName);

// The reason given when a settings operation is asked to work without a data
// folder.
QString NoDataFolderReason();

// The INI file `fileName` of `dataFolder`, loaded (a missing file loads
// empty); a failure without a data folder or when the file cannot be read.
Result<IniFile> LoadSettingsIni(const QString &dataFolder, QStringView fileName);

// Decimal conversion of a stored number: leading white space and one '+' or
// '-' are skipped, digits are read up to the first other character, and text
// without digits gives 0. A number beyond 32 bits gives the nearest of
// INT_MIN and INT_MAX, so a huge value never comes back as a small or
// negative one.
int ParseDecimalInt(QStringView text);

} // namespace kw
