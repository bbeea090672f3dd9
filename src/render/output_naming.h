#pragma once

#include "settings/preferences.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// Output naming: which format, folder and file name a photo's output gets,
// and which existing files an output must never replace. Nothing here
// touches the file system except IdentifyFile and ProtectedFiles::add, which
// only look. Any thread.
namespace kw {

// One entry of the output format list, by the OutputFormat preference.
struct OutputFormatInfo
{
    int32_t index;         // 0 JPG, 1 PNG, 2 BMP, 3 TIFF
    QStringView mimeType;  // "image/jpeg", ...
    QStringView extension; // always lower case, without the dot: "jpg", "png", "bmp", "tiff"
};

// The format of `outputFormat`; nullptr when it is outside 0 to 3.
const OutputFormatInfo *FindOutputFormat(int32_t outputFormat);

// The position of the first image writer whose MIME type equals `mimeType`
// exactly (case-sensitive) in Qt's list of writers, and in `encoder` the
// writer's format name; -1 and `encoder` untouched when there is none.
int GetEncoderClsid(QStringView mimeType, QByteArray *encoder = nullptr);

// The source's base name: the text after the last '/' and before the last
// dot. Empty when the file name has no dot, or the last dot lies in a folder
// name.
QString OutputBaseName(QStringView sourcePath);

struct OutputTarget
{
    QString folder; // the output folder, as given (not created here)
    QString path;   // folder, '/', name, '.', extension
    const OutputFormatInfo *format = nullptr;
    QString error; // why no path can be made; folder and path are then empty

    explicit operator bool() const { return error.isEmpty(); }
};

// Where the output of `sourcePath` goes, from the preferences, without
// touching the file system: the source's own folder (OutputFolderOpts 0) or
// OutputFolderPath (1); the base name, followed directly by
// OutputFileNameSuffix with OutputFileNameOpts 1; the format's extension.
// Refused with a reason: an option or format outside its range, and folder
// option 1 with no folder set.
OutputTarget ResolveOutputTarget(const QString &sourcePath, const CPreferences &prefs);

// What makes a file itself, independent of the path that names it (device
// and inode; the canonical path where those do not exist). Invalid for a
// path that names no file.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    QString canonicalPath;
    bool valid = false;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};
FileIdentity IdentifyFile(const QString &path);

// Files an output must never replace: the sources of a batch.
class ProtectedFiles
{
public:
    void add(const QString &path); // a path that names no file is ignored
    bool contains(const FileIdentity &file) const;
    bool isEmpty() const { return m_files.empty(); }

private:
    std::vector<FileIdentity> m_files; // sorted
};

// Why the output at `outputPath` must not be written for `sourcePath`: it is
// the source file itself (by path or as the same file under another name) or
// one of `protectedFiles`. Empty when it may be written.
QString RefuseOutputPath(const QString &outputPath, const QString &sourcePath,
                         const ProtectedFiles *protectedFiles = nullptr);

} // namespace kw
