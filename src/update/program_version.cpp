#include "update/program_version.h"

#include "platform/ini_file.h"

#include "kw_version.h"

using namespace Qt::StringLiterals;

namespace kw {

bool GetProgramVersion(VersionTriple &version)
{
    version = {KW_VERSION_MAJOR, KW_VERSION_MINOR, KW_VERSION_PATCH};
    return true;
}

QString FormatVersion(const VersionTriple &version)
{
    return u"%1.%2.%3"_s.arg(version.major).arg(version.minor).arg(version.build);
}

bool IsNewerVersion(const VersionTriple &latest, const VersionTriple &running)
{
    return latest > running;
}

VersionTriple ReadVersionDescriptor(const QString &path)
{
    const IniFile file = IniFile::load(path);
    return {file.intValue(kVersionDescriptorSection, u"major_version", 0),
            file.intValue(kVersionDescriptorSection, u"minor_version", 0),
            file.intValue(kVersionDescriptorSection, u"build", 0)};
}

} // namespace kw
