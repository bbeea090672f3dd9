#pragma once

#include "platform/result.h"

#include <QString>

// config.ini: the index (0-based) of the template that was selected in the
// main window's template list when the program last closed. Section
// [General], key "template". Functions take the application data folder,
// share no state and may run on any thread.
namespace kw {

inline constexpr int kDefaultTemplateIndex = 0;

// The stored index; kDefaultTemplateIndex when the file, section or key is
// missing. The index may be negative or beyond the list (the caller then
// selects nothing). A file that exists but cannot be read, or no data folder,
// is a failure (callers then take kDefaultTemplateIndex).
Result<int> LoadSelectedTemplateIndex(const QString &dataFolder);

// Stores `index` in decimal (-1 when nothing is selected), in place; every
// other line of the file is kept. Written through a temporary file.
Status SaveSelectedTemplateIndex(const QString &dataFolder, int index);

} // namespace kw
