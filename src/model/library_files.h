#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringView>

#include <functional>

// Steps the template library and the layer commands share when they change
// files in the templates folder.
namespace kw {

// Renames the file `from` to `to`, then runs `commit` (the write that records
// the new name in a list). When `commit` fails, the file gets its old name
// back, so the files and the lists that name them stay in step. A missing
// `from` is not an error: nothing moves and `commit` runs alone. `noun` names
// the file in messages ("template", "layer").
Status RenameFileThenCommit(const QString &from, const QString &to, QStringView noun,
                            const std::function<Status()> &commit);

} // namespace kw
