#include "render/output_naming.h"

#include "platform/app_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <array>
#include <tuple>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr std::array<OutputFormatInfo, 4> kOutputFormats = {{
    {0, u"image/jpeg", u"jpg"},
    {1, u"image/png", u"png"},
    {2, u"image/bmp", u"bmp"},
    {3, u"image/tiff", u"tiff"},
}};

} // namespace

const OutputFormatInfo *FindOutputFormat(int32_t outputFormat)
{
    if (outputFormat < 0 || outputFormat >= int32_t(kOutputFormats.size()))
        return nullptr;
    return &kOutputFormats[size_t(outputFormat)];
}

int GetEncoderClsid(QStringView mimeType, QByteArray *encoder)
{
    const QList<QByteArray> writers = QImageWriter::supportedMimeTypes();
    for (qsizetype i = 0; i < writers.size(); ++i) {
        if (QString::fromLatin1(writers.at(i)) != mimeType)
            continue;
        const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(writers.at(i));
        if (formats.isEmpty())
            return -1;
        if (encoder)
            *encoder = formats.first();
        return int(i);
    }
    return -1;
}

QString OutputBaseName(QStringView sourcePath)
{
    const qsizetype slash = sourcePath.lastIndexOf(kPathSeparator);
    const qsizetype dot = sourcePath.lastIndexOf(u'.');
    const qsizetype count = dot - slash - 1;
    return count > 0 ? sourcePath.mid(slash + 1, count).toString() : QString();
}

OutputTarget ResolveOutputTarget(const QString &sourcePath, const CPreferences &prefs)
{
    OutputTarget target;
    const OutputFormatInfo *format = FindOutputFormat(prefs.outputFormat);
    if (!format) {
        target.error =
            u"output format %1 is not one of 0 (JPG) to 3 (TIFF)"_s.arg(prefs.outputFormat);
        return target;
    }
    QString folder;
    switch (prefs.outputFolderOpts) {
    case 0:
        folder = sourcePath.left(std::max<qsizetype>(sourcePath.lastIndexOf(kPathSeparator), 0));
        if (folder.isEmpty() && sourcePath.startsWith(kPathSeparator))
            folder = QString(kPathSeparator);
        break;
    case 1:
        if (prefs.outputFolderPath.isEmpty()) {
            target.error = u"no output folder is set"_s;
            return target;
        }
        folder = prefs.outputFolderPath;
        break;
    default:
        target.error = u"output folder option %1 is not 0 or 1"_s.arg(prefs.outputFolderOpts);
        return target;
    }
    QString name = OutputBaseName(sourcePath);
    switch (prefs.outputFileNameOpts) {
    case 0:
        break;
    case 1:
        name += prefs.outputFileNameSuffix;
        break;
    default:
        target.error = u"output file name option %1 is not 0 or 1"_s.arg(prefs.outputFileNameOpts);
        return target;
    }
    target.folder = folder;
    target.path = JoinPath(folder, name + u'.' + format->extension.toString());
    target.format = format;
    return target;
}

FileIdentity IdentifyFile(const QString &path)
{
    FileIdentity id;
    if (path.isEmpty())
        return id;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
#else
    id.canonicalPath = QFileInfo(path).canonicalFilePath();
    if (id.canonicalPath.isEmpty())
        return id;
#endif
    id.valid = true;
    return id;
}

void ProtectedFiles::add(const QString &path)
{
    FileIdentity id = IdentifyFile(path);
    if (!id.valid)
        return;
    const auto key = [](const FileIdentity &f) {
        return std::tie(f.device, f.inode, f.canonicalPath);
    };
    const auto at = std::lower_bound(
        m_files.begin(), m_files.end(), id,
        [&](const FileIdentity &a, const FileIdentity &b) { return key(a) < key(b); });
    if (at == m_files.end() || !(*at == id))
        m_files.insert(at, std::move(id));
}

bool ProtectedFiles::contains(const FileIdentity &file) const
{
    if (!file.valid)
        return false;
    const auto key = [](const FileIdentity &f) {
        return std::tie(f.device, f.inode, f.canonicalPath);
    };
    return std::binary_search(
        m_files.begin(), m_files.end(), file,
        [&](const FileIdentity &a, const FileIdentity &b) { return key(a) < key(b); });
}

QString RefuseOutputPath(const QString &outputPath, const QString &sourcePath,
                         const ProtectedFiles *protectedFiles)
{
    // A source photo is never replaced, whichever path names it.
    const FileIdentity existing = IdentifyFile(outputPath);
    if (QDir::cleanPath(QFileInfo(outputPath).absoluteFilePath()) ==
            QDir::cleanPath(QFileInfo(sourcePath).absoluteFilePath()) ||
        (existing.valid && existing == IdentifyFile(sourcePath)))
        return u"the output would replace the source photo"_s;
    if (protectedFiles && protectedFiles->contains(existing))
        return u"the output would replace another source photo of this batch"_s;
    return {};
}

} // namespace kw
