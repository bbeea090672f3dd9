#pragma once

#include <QString>

#include <compare>
#include <cstdint>

// Version numbers of the running program and of the version descriptor that
// the update check downloads. Plain values and functions: any thread.
namespace kw {

struct VersionTriple
{
    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;

    // Ordered by major, then minor, then build.
    auto operator<=>(const VersionTriple &) const = default;
};

// The running program's version, as the build was numbered. Returns whether
// it could be had; `version` is left alone when it could not.
bool GetProgramVersion(VersionTriple &version);

// "major.minor.build" in decimal, e.g. "2.1.5".
QString FormatVersion(const VersionTriple &version);

// Whether a descriptor naming `latest` offers something newer than `running`:
// a greater major; or the same major and a greater minor; or the same major
// and minor and a greater build.
bool IsNewerVersion(const VersionTriple &latest, const VersionTriple &running);

// The version descriptor kw_version.ini: an INI file whose section "Gerneral"
// (spelled so) holds the integer keys major_version, minor_version and build.
inline constexpr QStringView kVersionDescriptorFileName = u"kw_version.ini";
inline constexpr QStringView kVersionDescriptorSection = u"Gerneral";

// Reads the descriptor at `path`. Missing keys, and a file that is missing,
// unreadable or not an INI file at all, read as 0.
VersionTriple ReadVersionDescriptor(const QString &path);

} // namespace kw
