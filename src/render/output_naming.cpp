#include "render/output_naming.h"

#include "platform/app_folders.h"
#include "platform/printable_names.h"

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

// In the order of OutputFormat: a format's number is its position.
constexpr std::array<OutputFormatInfo, 6> kOutputFormats = {{
    {Code(OutputFormatCode::Jpeg), u"image/jpeg", u"jpg"},
    {Code(OutputFormatCode::Png), u"image/png", u"png"},
    {Code(OutputFormatCode::Bmp), u"image/bmp", u"bmp"},
    {Code(OutputFormatCode::Tiff), u"image/tiff", u"tiff"},
    {Code(OutputFormatCode::Webp), u"image/webp", u"webp"},
    {Code(OutputFormatCode::Avif), u"image/avif", u"avif"},
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
    const QStringView name = sourcePath.mid(sourcePath.lastIndexOf(kPathSeparator) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot > 0 ? name.left(dot) : name).toString();
}

Status CheckOutputSuffix(QStringView suffix)
{
    for (QChar c : suffix) {
        if (c == u'/' || c == u'\\')
            return Failure{u"the file name suffix '%1' holds a folder separator '%2'"_s.arg(
                EscapeControlCharacters(suffix), c)};
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            return Failure{u"the file name suffix '%1' holds a control character"_s.arg(
                EscapeControlCharacters(suffix))};
    }
    return {};
}

bool IsNamedLikeOutput(QStringView fileName, QStringView suffix, QStringView extension)
{
    if (suffix.isEmpty())
        return false;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0 || fileName.mid(dot + 1).compare(extension, Qt::CaseInsensitive) != 0)
        return false;
    QStringView stem = fileName.left(dot);
    // A numbered output: "<base><suffix> (n)".
    if (stem.endsWith(u')')) {
        const qsizetype open = stem.lastIndexOf(u" (");
        const QStringView number =
            open >= 0 ? stem.mid(open + 2, stem.size() - open - 3) : QStringView();
        if (!number.isEmpty() &&
            std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); }))
            stem = stem.left(open);
    }
    return stem.endsWith(suffix);
}

Result<OutputTarget> ResolveOutputTarget(const QString &sourcePath, const CPreferences &prefs)
{
    const OutputFormatInfo *format = FindOutputFormat(prefs.outputFormat);
    if (!format)
        return Failure{
            u"output format %1 is not one of 0 (JPG) to 5 (AVIF)"_s.arg(prefs.outputFormat)};
    QString folder;
    switch (prefs.outputFolderOpts) {
    case Code(OutputFolderOption::SourceFolder):
        folder = sourcePath.left(std::max<qsizetype>(sourcePath.lastIndexOf(kPathSeparator), 0));
        if (folder.isEmpty() && sourcePath.startsWith(kPathSeparator))
            folder = QString(kPathSeparator);
        break;
    case Code(OutputFolderOption::ChosenFolder):
        if (prefs.outputFolderPath.isEmpty())
            return Failure{u"no output folder is set"_s};
        folder = prefs.outputFolderPath;
        break;
    default:
        return Failure{u"output folder option %1 is not 0 or 1"_s.arg(prefs.outputFolderOpts)};
    }
    QString name = OutputBaseName(sourcePath);
    switch (prefs.outputFileNameOpts) {
    case Code(OutputNameOption::KeepName):
        break;
    case Code(OutputNameOption::AddSuffix):
        if (const Status suffix = CheckOutputSuffix(prefs.outputFileNameSuffix); !suffix)
            return Failure{suffix.error()};
        name += prefs.outputFileNameSuffix;
        break;
    default:
        return Failure{u"output file name option %1 is not 0 or 1"_s.arg(prefs.outputFileNameOpts)};
    }
    return OutputTarget{folder, JoinPath(folder, name + u'.' + format->extension.toString()),
                        format};
}

FileIdentity IdentifyFile(const QString &path, LinkHandling links)
{
    FileIdentity id;
    if (path.isEmpty())
        return id;
#ifdef Q_OS_UNIX
    struct stat st;
    const QByteArray bytes = QFile::encodeName(path);
    if ((links == LinkHandling::Own ? ::lstat(bytes.constData(), &st)
                                    : ::stat(bytes.constData(), &st)) != 0)
        return id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
#else
    Q_UNUSED(links);
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
    const FileIdentity existing = IdentifyFile(outputPath, LinkHandling::Own);
    if (QDir::cleanPath(QFileInfo(outputPath).absoluteFilePath()) ==
            QDir::cleanPath(QFileInfo(sourcePath).absoluteFilePath()) ||
        (existing.valid && existing == IdentifyFile(sourcePath)))
        return u"the output would replace the source photo"_s;
    if (protectedFiles && protectedFiles->contains(existing))
        return u"the output would replace another source photo of this batch"_s;
    return {};
}

} // namespace kw
