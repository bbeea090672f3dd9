#include "model/library_files.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kw {

Status RenameFileThenCommit(const QString &from, const QString &to, QStringView noun,
                            const std::function<Status()> &commit)
{
    const bool hasFile = !from.isEmpty() && QFileInfo::exists(from);
    if (hasFile) {
        QFile file(from);
        if (!file.rename(to))
            return Failure{u"The %1 file cannot be renamed: %2"_s.arg(noun, file.errorString())};
    }
    const Status committed = commit();
    if (committed || !hasFile)
        return committed;
    if (!QFile::rename(to, from))
        return Failure{committed.error() + u" The %1 file keeps its new name %2."_s.arg(
                                               noun, QFileInfo(to).fileName())};
    return committed;
}

} // namespace kw
