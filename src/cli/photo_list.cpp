#include "cli/photo_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

using namespace Qt::StringLiterals;

namespace kw::cli {

namespace {

void AddFolder(const QString &folder, bool recursive, QStringList &out)
{
    QDir dir(folder);
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files, order)) {
        if (HasPhotoExtension(file.fileName()))
            out << file.absoluteFilePath();
    }
    if (!recursive)
        return;
    for (const QFileInfo &sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, order)) {
        if (!sub.isSymLink())
            AddFolder(sub.absoluteFilePath(), recursive, out);
    }
}

} // namespace

bool HasPhotoExtension(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    static const QStringList known = {u"jpg"_s, u"jpeg"_s, u"png"_s, u"bmp"_s,
                                      u"tif"_s, u"tiff"_s, u"gif"_s};
    return known.contains(suffix);
}

QStringList CollectPhotos(const QStringList &operands, bool recursive)
{
    QStringList found;
    for (const QString &operand : operands) {
        const QFileInfo info(operand);
        if (info.isDir())
            AddFolder(info.absoluteFilePath(), recursive, found);
        else
            found << QDir::cleanPath(info.absoluteFilePath());
    }
    QStringList unique;
    QSet<QString> seen;
    for (const QString &path : std::as_const(found)) {
        if (!seen.contains(path)) {
            seen.insert(path);
            unique << path;
        }
    }
    return unique;
}

} // namespace kw::cli
