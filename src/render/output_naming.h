#pragma once

#include "platform/result.h"
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
    int32_t index;         // 0 JPG, 1 PNG, 2 BMP, 3 TIFF, 4 WebP, 5 AVIF
    QStringView mimeType;  // "image/jpeg", ...
    QStringView extension; // lower case, without the dot: "jpg", "png", "bmp", "tiff", ...
};

// The format of `outputFormat`; nullptr when it is outside 0 to 5.
const OutputFormatInfo *FindOutputFormat(int32_t outputFormat);

// The position of the first image writer whose MIME type equals `mimeType`
// exactly (case-sensitive) in Qt's list of writers, and in `encoder` the
// writer's format name; -1 and `encoder` untouched when there is none.
int GetEncoderClsid(QStringView mimeType, QByteArray *encoder = nullptr);

// The source's base name: the file name (the text after the last '/')
// without its extension. A name without a dot, or whose only dot is its
// first character (".jpg", a hidden file), has no extension and is kept
// whole, so distinct sources never lose their whole name.
QString OutputBaseName(QStringView sourcePath);

// Why `suffix` cannot follow a base name in an output name: it holds a
// folder separator ('/' or '\\', which would write elsewhere) or a control
// character. Accepted when empty.
Status CheckOutputSuffix(QStringView suffix);

// Whether `fileName` is named as this naming names outputs: a name ending in
// `suffix`, or in `suffix` and " (n)", then '.' and `extension` (any letter
// case). Never true for an empty suffix.
bool IsNamedLikeOutput(QStringView fileName, QStringView suffix, QStringView extension);

struct OutputTarget
{
    QString folder; // the output folder, as given (not created here)
    QString path;   // folder, '/', name, '.', extension
    const OutputFormatInfo *format = nullptr;
};

// Where the output of `sourcePath` goes, from the preferences, without
// touching the file system: the source's own folder (OutputFolderOpts 0) or
// OutputFolderPath (1); the base name, followed directly by
// OutputFileNameSuffix with OutputFileNameOpts 1; the format's extension.
// Refused with a reason: an option or format outside its range, folder
// option 1 with no folder set, and a suffix CheckOutputSuffix refuses.
Result<OutputTarget> ResolveOutputTarget(const QString &sourcePath, const CPreferences &prefs);

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
// With LinkHandling::Own, a symbolic link is itself, not the file it names.
enum class LinkHandling { Follow, Own };
FileIdentity IdentifyFile(const QString &path, LinkHandling links = LinkHandling::Follow);

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
// one of `protectedFiles`. Empty when it may be written. A symbolic link at
// `outputPath` is judged as itself: writing replaces the link, never the
// file it names.
QString RefuseOutputPath(const QString &outputPath, const QString &sourcePath,
                         const ProtectedFiles *protectedFiles = nullptr);

} // namespace kw
