#include "render/photo_collection.h"

#include "platform/system_errors.h"

#include "platform/printable_names.h"
#include "render/output_naming.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

struct PhotoKind
{
    QStringView description;
    QStringView patterns;
};

// The kinds the dialog lists one by one, after all of them together.
constexpr PhotoKind kPhotoKinds[] = {
    {u"Joint Photographic Experts", u"*.jpg"},
    {u"Windows Bitmap Image", u"*.bmp"},
    {u"Portable Network Graphics", u"*.png"},
    {u"Tagged Image File Format", u"*.tif *.tiff"},
    {u"High Efficiency Image File", u"*.heic *.heif *.hif"},
    {u"AV1 Image File", u"*.avif"},
};

QString NotRegularReason(mode_t mode)
{
    return u"not a regular file but "_s + NonRegularKind(mode);
}

const QString kNotUtf8 =
    u"the name is not valid UTF-8, which this program cannot open; rename it to process it"_s;

// `path` made absolute and cleaned of ".", ".." and doubled separators,
// byte by byte, so names that are not UTF-8 survive.
QByteArray AbsoluteCleanPath(const QByteArray &path)
{
    QByteArray absolute = path;
    if (!absolute.startsWith('/')) {
        const QByteArray here = QFile::encodeName(QDir::currentPath());
        absolute = here + '/' + absolute;
    }
    QList<QByteArray> parts;
    for (const QByteArray &part : absolute.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

QByteArray Child(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

std::optional<struct stat> StatOf(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return std::nullopt;
    return st;
}

bool SameFile(const struct stat &a, const std::optional<struct stat> &b)
{
    return b && a.st_dev == b->st_dev && a.st_ino == b->st_ino;
}

struct FolderEntry
{
    QByteArray name;
    QString shownName; // also the sort key
    bool link = false;
    bool dangling = false;
    struct stat target = {}; // the entry, links followed
};

class Collector
{
public:
    Collector(const PhotoCollectionOptions &options) : m_options(options)
    {
        const CPreferences *prefs = options.outputs;
        const OutputFormatInfo *format = prefs ? FindOutputFormat(prefs->outputFormat) : nullptr;
        if (!format)
            return;
        if (prefs->outputFolderOpts == Code(OutputFolderOption::ChosenFolder) &&
            !prefs->outputFolderPath.isEmpty())
            m_outputFolder = StatOf(QFile::encodeName(prefs->outputFolderPath));
        if (prefs->outputFileNameOpts == Code(OutputNameOption::AddSuffix) &&
            !prefs->outputFileNameSuffix.isEmpty()) {
            m_suffix = prefs->outputFileNameSuffix;
            m_extension = format->extension.toString();
            m_outputsBesideSources =
                prefs->outputFolderOpts == Code(OutputFolderOption::SourceFolder);
        }
    }

    void addOperand(const QByteArray &operand)
    {
        const QByteArray path = AbsoluteCleanPath(operand);
        const std::optional<struct stat> st = StatOf(path);
        const bool utf8 = IsValidUtf8(path);
        if (st && S_ISDIR(st->st_mode)) {
            if (!utf8)
                refuse(path, kNotUtf8);
            else
                expandFolder(path, *st);
        } else if (!utf8) {
            refuse(path, kNotUtf8);
        } else if (st && !S_ISREG(st->st_mode)) {
            refuse(path, NotRegularReason(st->st_mode));
        } else {
            addPhoto(path); // a missing file fails later, with the decoder's reason
        }
    }

    PhotoCollection take()
    {
        if (m_collection.earlierOutputsLeftOut > 0) {
            const int n = m_collection.earlierOutputsLeftOut;
            m_collection.notes.prepend(
                u"%1 earlier output%2 left out (named like this run's outputs, *%3.%4)"_s.arg(
                    QString::number(n), n == 1 ? QString() : u"s"_s,
                    EscapeControlCharacters(m_suffix), m_extension));
        }
        return std::move(m_collection);
    }

private:
    void refuse(const QByteArray &path, const QString &reason)
    {
        m_collection.refused.push_back({EscapedFileName(path), reason});
    }

    void addPhoto(const QByteArray &path)
    {
        const QString decoded = QFile::decodeName(path);
        if (!m_seen.contains(decoded)) {
            m_seen.insert(decoded);
            m_collection.photos << decoded;
        }
    }

    std::vector<FolderEntry> readFolder(const QByteArray &folder)
    {
        std::vector<FolderEntry> entries;
        DIR *dir = ::opendir(folder.constData());
        if (!dir) {
            refuse(folder, u"cannot read the folder: "_s + ErrnoText(errno));
            return entries;
        }
        const int fd = ::dirfd(dir);
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name.startsWith('.'))
                continue; // ".", ".." and hidden entries
            FolderEntry e;
            e.name = name;
            e.shownName = EscapedFileName(name);
            struct stat own;
            if (::fstatat(fd, name.constData(), &own, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since it was listed
            e.link = S_ISLNK(own.st_mode);
            e.target = own;
            if (e.link && ::fstatat(fd, name.constData(), &e.target, 0) != 0)
                e.dangling = true;
            entries.push_back(std::move(e));
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(), [](const FolderEntry &a, const FolderEntry &b) {
            return NaturalPathLess(a.shownName, b.shownName);
        });
        return entries;
    }

    void expandFolder(const QByteArray &folder, const struct stat &self)
    {
        const bool outputsHere =
            !m_suffix.isEmpty() && (m_outputsBesideSources || SameFile(self, m_outputFolder));
        for (const FolderEntry &e : readFolder(folder)) {
            const QByteArray path = Child(folder, e.name);
            if (!e.dangling && S_ISDIR(e.target.st_mode)) {
                if (e.link || !m_options.recursive)
                    continue; // links to folders could lead round in circles
                if (SameFile(e.target, m_outputFolder)) {
                    m_collection.notes << u"the output folder %1 is left out of %2"_s.arg(
                        EscapedFileName(path), EscapedFileName(folder));
                    continue;
                }
                if (!IsValidUtf8(e.name))
                    refuse(path, kNotUtf8);
                else
                    expandFolder(path, e.target);
                continue;
            }
            if (!HasPhotoExtension(e.shownName))
                continue;
            if (e.dangling)
                refuse(path, u"a symbolic link to a file that does not exist"_s);
            else if (!S_ISREG(e.target.st_mode))
                refuse(path, NotRegularReason(e.target.st_mode));
            else if (!IsValidUtf8(e.name))
                refuse(path, kNotUtf8);
            else if (outputsHere && IsNamedLikeOutput(e.shownName, m_suffix, m_extension))
                ++m_collection.earlierOutputsLeftOut;
            else
                addPhoto(path);
        }
    }

    const PhotoCollectionOptions &m_options;
    std::optional<struct stat> m_outputFolder;
    QString m_suffix; // empty: no output is named apart from its source
    QString m_extension;
    bool m_outputsBesideSources = false;
    PhotoCollection m_collection;
    QSet<QString> m_seen;
};

} // namespace

bool HasPhotoExtension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView extension = fileName.mid(dot + 1);
    return std::any_of(
        std::begin(kPhotoExtensions), std::end(kPhotoExtensions),
        [&](QStringView known) { return extension.compare(known, Qt::CaseInsensitive) == 0; });
}

QString PhotoOpenDialogFilter()
{
    QStringList all;
    for (QStringView extension : kPhotoExtensions)
        all << u"*."_s + extension.toString();
    QStringList entries{u"All Supported Files ("_s + all.join(u' ') + u')'};
    for (const PhotoKind &kind : kPhotoKinds)
        entries << kind.description.toString() + u" ("_s + kind.patterns.toString() + u')';
    return entries.join(u";;"_s);
}

bool NaturalPathLess(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Runs of digits compare by their value: "p2" before "p10".
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            QStringView runA = a.mid(i, endA - i);
            QStringView runB = b.mid(j, endB - j);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (const int c = runA.compare(runB); c != 0)
                return c < 0;
            i = endA;
            j = endB;
            continue;
        }
        // A folder's contents come before names that merely share its prefix.
        const QChar ca = a[i] == u'/' ? QChar(u'\x01') : a[i].toCaseFolded();
        const QChar cb = b[j] == u'/' ? QChar(u'\x01') : b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b; // the same but for letter case or leading zeros: a fixed order still
}

PhotoCollection CollectPhotos(const QList<QByteArray> &operands,
                              const PhotoCollectionOptions &options)
{
    Collector collector(options);
    for (const QByteArray &operand : operands) {
        if (!operand.isEmpty())
            collector.addOperand(operand);
    }
    return collector.take();
}

PhotoCollection CollectPhotos(const QStringList &operands, const PhotoCollectionOptions &options)
{
    QList<QByteArray> bytes;
    bytes.reserve(operands.size());
    for (const QString &operand : operands)
        bytes << QFile::encodeName(operand);
    return CollectPhotos(bytes, options);
}

} // namespace kw
